// The simulated controller on its own: Modbus answers and exceptions, reply
// faults, text registers, the live day and the values file.
#include <QtTest>

#include "checksums.h"
#include "engine_wire.h"
#include "simulated_controller.h"

namespace {

QByteArray withMbap(quint16 transaction, const QByteArray &unitAndPdu)
{
    QByteArray out;
    out += char(transaction >> 8);
    out += char(transaction);
    out += QByteArray(2, '\0');
    out += char(unitAndPdu.size() >> 8);
    out += char(unitAndPdu.size());
    return out + unitAndPdu;
}

// A Define frame from its first 15 bytes, CRC added.
QByteArray sealed(const char *first15)
{
    const QByteArray frame = hex(first15);
    return frame + char(crc8(reinterpret_cast<const quint8 *>(frame.constData()), 15));
}

QString spaced(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

} // namespace

Q_DECLARE_METATYPE(ProtocolKind)

class tst_sim_device : public QObject
{
    Q_OBJECT

private slots:
    void modbusAnswers_data();
    void modbusAnswers();
    void silentWhereNoDeviceAnswers_data();
    void silentWhereNoDeviceAnswers();
    void broadcastWriteReachesEveryDevice();
    void faultsShapeReplies_data();
    void faultsShapeReplies();
    void faultLimitCountsDown();
    void exceptionFaultLeavesRegistersAlone();
    void textsSitInReverseRegisterOrder();
    void liveDayMoves();
    void motionIsDeterministicAndOffByDefault();
    void valuesFile_data();
    void valuesFile();
};

// Answers of one device to RTU and TCP requests, the PDU after the address/MBAP.
void tst_sim_device::modbusAnswers_data()
{
    QTest::addColumn<QByteArray>("request");   // PDU
    QTest::addColumn<QByteArray>("answer");    // PDU
    QTest::addColumn<int>("after");            // register 143, which holds 0xBEEF before

    QTest::newRow("read the last register") << hex("03 008F 0001") << hex("03 02 BEEF") << 0xBEEF;
    QTest::newRow("read past the map") << hex("03 008F 0002") << hex("83 02") << 0xBEEF;
    QTest::newRow("read from 144") << hex("03 0090 0001") << hex("83 02") << 0xBEEF;
    QTest::newRow("read no register") << hex("03 0000 0000") << hex("83 03") << 0xBEEF;
    QTest::newRow("read 126 registers") << hex("03 0000 007E") << hex("83 03") << 0xBEEF;
    QTest::newRow("write the last register") << hex("10 008F 0001 02 1234") << hex("10 008F 0001") << 0x1234;
    QTest::newRow("write past the map") << hex("10 008F 0002 04 1111 2222") << hex("90 02") << 0xBEEF;
    QTest::newRow("write with a wrong byte count") << hex("10 008F 0001 04 0000 0000") << hex("90 03") << 0xBEEF;
    QTest::newRow("read input registers") << hex("04 0001 0001") << hex("84 01") << 0xBEEF;
    QTest::newRow("unknown function") << hex("2B 0E 01 00") << hex("AB 01") << 0xBEEF;
}

void tst_sim_device::modbusAnswers()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);
    QFETCH(int, after);

    SimulatedController rtu(ProtocolModbusRtu);
    rtu.device(1)->setReg(143, 0xBEEF);
    QCOMPARE(spaced(rtu.handleRequest(withCrc(char(1) + request))), spaced(withCrc(char(1) + answer)));
    QCOMPARE(int(rtu.device(1)->reg(143)), after);

    SimulatedController tcp(ProtocolModbusTcp);
    tcp.device(1)->setReg(143, 0xBEEF);
    QCOMPARE(spaced(tcp.handleRequest(withMbap(0xA1B2, char(1) + request))),
             spaced(withMbap(0xA1B2, char(1) + answer)));
    QCOMPARE(int(tcp.device(1)->reg(143)), after);
}

void tst_sim_device::silentWhereNoDeviceAnswers_data()
{
    QTest::addColumn<ProtocolKind>("protocol");
    QTest::addColumn<QByteArray>("request");
    const QByteArray read = hex("03 001D 0001");
    QTest::newRow("RTU, address without a device") << ProtocolModbusRtu << withCrc(char(5) + read);
    QTest::newRow("RTU, broken CRC") << ProtocolModbusRtu << (char(1) + read + hex("0000"));
    QTest::newRow("RTU, too short") << ProtocolModbusRtu << hex("01 03");
    QTest::newRow("TCP, unit without a device") << ProtocolModbusTcp << withMbap(1, char(5) + read);
    QTest::newRow("TCP, header only") << ProtocolModbusTcp << hex("0001 0000 0001 01");
    QTest::newRow("Define, address without a device")
        << ProtocolDefine << sealed("8E 05 01 000000000000000000000000");
    QTest::newRow("Define, broken CRC") << ProtocolDefine << hex("8E 01 0B 000000000000000000000000 00");
    QTest::newRow("Define, wrong header") << ProtocolDefine << sealed("8F 01 0B 000000000000000000000000");
    QTest::newRow("Define, unknown code") << ProtocolDefine << sealed("8E 01 55 000000000000000000000000");
    QTest::newRow("Define, read without its fixed bytes")
        << ProtocolDefine << sealed("8E 01 78 000000000000000000000000");
    QTest::newRow("Define, PWM write to an MPPT controller")
        << ProtocolDefine << sealed("8E 01 22 6405 9BFA 0000000000000000");
    QTest::newRow("Define, MPPT write without its signature")
        << ProtocolDefine << sealed("8E 01 92 00 0564 000000000000000000");
}

void tst_sim_device::silentWhereNoDeviceAnswers()
{
    QFETCH(ProtocolKind, protocol);
    QFETCH(QByteArray, request);
    SimulatedController sim(protocol, ControllerMppt);
    const QVector<quint16> before = sim.device(1)->registers();
    QCOMPARE(spaced(sim.handleRequest(request)), QString());
    QCOMPARE(sim.requestCount(), 1);   // logged all the same
    QCOMPARE(sim.device(1)->registers(), before);
}

void tst_sim_device::broadcastWriteReachesEveryDevice()
{
    SimulatedController sim(ProtocolModbusRtu);
    sim.addDevice(4);
    QCOMPARE(sim.handleRequest(withCrc(hex("00 10 001D 0001 02 0579"))), QByteArray());
    QCOMPARE(int(sim.device(1)->reg(29)), 1401);
    QCOMPARE(int(sim.device(4)->reg(29)), 1401);
}

// Register 29 holds 1380 (0x0564) and register 115 holds 1000 (0x03E8).
void tst_sim_device::faultsShapeReplies_data()
{
    QTest::addColumn<ProtocolKind>("protocol");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");

    const QByteArray rtuRead = hex("01 03 001D 0001 140C");
    const QByteArray tcpRead = hex("0005 0000 0006 01 03 001D 0001");
    const QByteArray defineRead = hex("8E 01 0B 000000000000000000000000 8D");
    QTest::newRow("RTU clean") << ProtocolModbusRtu << "" << rtuRead << hex("01 03 02 0564 BAFF");
    QTest::newRow("RTU silence") << ProtocolModbusRtu << "silence" << rtuRead << QByteArray();
    QTest::newRow("RTU bad CRC") << ProtocolModbusRtu << "badCrc" << rtuRead << hex("01 03 02 0564 BA00");
    QTest::newRow("RTU wrong address") << ProtocolModbusRtu << "wrongAddress" << rtuRead << hex("02 03 02 0564 FEFF");
    QTest::newRow("RTU garbage") << ProtocolModbusRtu << "garbage" << rtuRead << hex("5B 59 58 5F 3E E0 A5");
    QTest::newRow("RTU exception") << ProtocolModbusRtu << "exception" << rtuRead << hex("01 83 04 40F3");
    QTest::newRow("TCP clean") << ProtocolModbusTcp << "" << tcpRead << hex("0005 0000 0005 01 03 02 0564");
    QTest::newRow("TCP wrong transaction")
        << ProtocolModbusTcp << "wrongTransactionId" << tcpRead << hex("0006 0000 0005 01 03 02 0564");
    QTest::newRow("TCP wrong unit") << ProtocolModbusTcp << "wrongAddress" << tcpRead << hex("0005 0000 0005 02 03 02 0564");
    QTest::newRow("TCP exception") << ProtocolModbusTcp << "exception" << tcpRead << hex("0005 0000 0003 01 83 04");
    QTest::newRow("TCP bad CRC has nothing to spoil")
        << ProtocolModbusTcp << "badCrc" << tcpRead << hex("0005 0000 0005 01 03 02 0564");
    QTest::newRow("Define clean") << ProtocolDefine << "" << defineRead << hex("8E 01 0B E803 00000000000000000000 7D");
    QTest::newRow("Define bad CRC") << ProtocolDefine << "badCrc" << defineRead << hex("8E 01 0B E803 00000000000000000000 82");
    QTest::newRow("Define wrong address")
        << ProtocolDefine << "wrongAddress" << defineRead << hex("8E 02 0B E803 00000000000000000000 41");
    QTest::newRow("Define exception is Modbus only")
        << ProtocolDefine << "exception" << defineRead << hex("8E 01 0B E803 00000000000000000000 7D");
}

void tst_sim_device::faultsShapeReplies()
{
    QFETCH(ProtocolKind, protocol);
    QFETCH(QString, fault);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);

    SimulatedController sim(protocol, ControllerMppt);
    SimFaults f;
    f.silence = fault == QLatin1String("silence");
    f.badCrc = fault == QLatin1String("badCrc");
    f.wrongAddress = fault == QLatin1String("wrongAddress");
    f.wrongTransactionId = fault == QLatin1String("wrongTransactionId");
    f.garbage = fault == QLatin1String("garbage");
    f.exceptionCode = fault == QLatin1String("exception") ? 4 : 0;
    sim.setFaults(f);
    QCOMPARE(spaced(sim.handleRequest(request)), spaced(reply));
    QCOMPARE(spaced(sim.lastReply()), spaced(reply));
    QCOMPARE(spaced(sim.lastRequest()), spaced(request));
}

void tst_sim_device::faultLimitCountsDown()
{
    SimulatedController sim(ProtocolModbusRtu);
    SimFaults f;
    f.silence = true;
    f.limit = 2;
    f.closeAfter = 9;
    sim.setFaults(f);
    const QByteArray read = hex("01 03 001D 0001 140C");
    QVERIFY(sim.handleRequest(read).isEmpty());
    QCOMPARE(sim.faults().limit, 1);
    QVERIFY(sim.handleRequest(read).isEmpty());
    QCOMPARE(sim.handleRequest(read), hex("01 03 02 0564 BAFF"));
    QVERIFY(!sim.faults().silence);
    QCOMPARE(sim.faults().closeAfter, 9);   // a transport setting, not a reply fault
    QCOMPARE(sim.requestCount(), 3);
}

void tst_sim_device::exceptionFaultLeavesRegistersAlone()
{
    SimulatedController sim(ProtocolModbusRtu);
    SimFaults f;
    f.exceptionCode = 6;
    sim.setFaults(f);
    QCOMPARE(sim.handleRequest(withCrc(hex("01 10 001D 0001 02 0579"))), withCrc(hex("01 90 06")));
    QCOMPARE(int(sim.device(1)->reg(29)), 1380);
}

void tst_sim_device::textsSitInReverseRegisterOrder()
{
    SimulatedDevice d;
    d.setDeviceModel(QStringLiteral("AB"));
    QCOMPARE(int(d.reg(83)), int('A'));
    QCOMPARE(int(d.reg(82)), int('B'));
    QCOMPARE(int(d.reg(72)), int(' '));
    QCOMPARE(d.deviceModel(), QStringLiteral("AB          "));
    d.setSerialNumber(QStringLiteral("0123456789ABCDEF"));   // cut to 12
    QCOMPARE(d.serialNumber(), QStringLiteral("0123456789AB"));
    QCOMPARE(int(d.reg(84)), int('B'));
    d.setFactoryInfo(QStringLiteral("Hello"));
    QCOMPARE(int(d.reg(113)), 'H' << 8 | 'e');
    QCOMPARE(int(d.reg(111)), 'o' << 8 | ' ');
    QCOMPARE(d.factoryInfo(), QStringLiteral("Hello").leftJustified(36));

    // Define carries the same characters from byte 3 of its answer.
    SimulatedController sim(ProtocolDefine, ControllerPwm);
    sim.device(1)->setDeviceModel(QStringLiteral("AB"));
    const QByteArray reply = sim.handleRequest(sealed("8E 01 78 0000000000 76 00 2A 00000000"));
    QCOMPARE(reply.mid(3, 12), QByteArray("AB          "));
}

void tst_sim_device::liveDayMoves()
{
    SimulatedDevice d(ControllerMppt);
    d.setSecondOfDay(3 * 3600);
    d.advance(60);
    QCOMPARE(int(d.reg(SimReg::ChargeStage)), 0);   // STOP at night
    QCOMPARE(int(d.reg(SimReg::PvCurrent)), 0);
    QVERIFY(d.signedReg(SimReg::BatteryCurrent) < 0);   // the load drains the battery

    const int chargeBefore = d.reg(SimReg::GeneratedChargeTotal);
    const int energyBefore = d.reg(SimReg::GeneratedEnergyTotal);
    const int capacityAtNight = d.reg(SimReg::BatteryCapacity);
    const int dayBefore = d.reg(SimReg::ClockDayHour) >> 8;
    int highestPower = 0;
    for (int hour = 0; hour < 24; ++hour) {
        d.advance(3600);
        // What both protocols derive must hold at every moment.
        QCOMPARE(d.signedReg(SimReg::BatteryCurrent), qint16(d.reg(SimReg::PvCurrent) - d.reg(SimReg::LoadCurrent)));
        QCOMPARE(int(d.reg(SimReg::PvPower)), int(quint32(d.reg(SimReg::PvVoltage)) * d.reg(SimReg::PvCurrent) / 1000));
        if (hour == 8)   // noon
            QVERIFY(d.reg(SimReg::ChargeStage) != 0);
        highestPower = qMax(highestPower, int(d.reg(SimReg::PvPower)));
    }
    QVERIFY(highestPower > 1000);   // over 100 W at midday
    QVERIFY(d.reg(SimReg::GeneratedChargeTotal) > chargeBefore);
    QVERIFY(d.reg(SimReg::BatteryCapacity) != capacityAtNight);
    QCOMPARE(d.reg(SimReg::ClockDayHour) >> 8, dayBefore % 28 + 1);
    QCOMPARE(d.reg(SimReg::ClockDayHour) & 0xFF, 3);   // 03:01 + 24 h

    const int consumedBefore = d.reg(SimReg::ConsumedEnergyTotal);
    d.advance(30 * 24 * 3600);   // energy counts in 10 kWh steps: a month
    QVERIFY(d.reg(SimReg::GeneratedEnergyTotal) > energyBefore);
    QVERIFY(d.reg(SimReg::ConsumedEnergyTotal) > consumedBefore);

    d.setStatusBit(SimStatus::LoadOff, true);
    d.advance(60);
    QCOMPARE(int(d.reg(SimReg::LoadCurrent)), 0);
    QCOMPARE(int(d.reg(SimReg::LoadPower)), 0);
}

void tst_sim_device::motionIsDeterministicAndOffByDefault()
{
    SimulatedDevice a(ControllerPwm), b(ControllerPwm);
    a.advance(5000);
    b.advance(5000);
    QCOMPARE(a.registers(), b.registers());

    SimulatedController sim(ProtocolModbusRtu);
    QVERIFY(!sim.motionEnabled());
    sim.device(1)->setReg(SimReg::PvVoltage, 4321);
    QTest::qWait(30);
    QCOMPARE(int(sim.device(1)->reg(SimReg::PvVoltage)), 4321);
    sim.setMotionEnabled(true, 5, 60);
    QTRY_VERIFY_WITH_TIMEOUT(sim.device(1)->reg(SimReg::PvVoltage) != 4321, 2000);
    sim.setMotionEnabled(false);
    QVERIFY(!sim.motionEnabled());
}

void tst_sim_device::valuesFile_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error");   // empty when the file is good

    QTest::newRow("INI") << "ini"
        << QByteArray("[registers]\n29=1390\nbatteryCapacity=81\nTemperatureCompensation=-4\n"
                      "[texts]\nmodel=SIM-X\nfactory=\"Works, Bench 2\"\n[day]\ntimeOfDay=13:30\n")
        << QString();
    QTest::newRow("JSON") << "json"
        << QByteArray(R"({"registers": {"29": 1390, "batterycapacity": 81, "temperatureCompensation": -4},
                          "texts": {"model": "SIM-X", "factory": "Works, Bench 2"}, "timeOfDay": "13:30"})")
        << QString();
    QTest::newRow("unknown register") << "ini" << QByteArray("[registers]\n29=1390\nfoo=1\n")
                                      << "bad register value foo=1";
    QTest::newRow("register past the map") << "json" << QByteArray(R"({"registers": {"144": 1}})")
                                           << "bad register value 144=1";
    QTest::newRow("value too big") << "ini" << QByteArray("[registers]\n29=65536\n")
                                   << "bad register value 29=65536";
    QTest::newRow("unknown text") << "json" << QByteArray(R"({"texts": {"colour": "red"}})")
                                  << "unknown text colour (model, serial, factory)";
    QTest::newRow("bad time") << "ini" << QByteArray("[day]\ntimeOfDay=25:00\n") << "bad timeOfDay 25:00 (H:mm)";
    QTest::newRow("broken JSON") << "json" << QByteArray("{\"registers\": ") << "not a JSON object: ";
}

void tst_sim_device::valuesFile()
{
    QFETCH(QString, suffix);
    QFETCH(QByteArray, content);
    QFETCH(QString, error);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("values.") + suffix);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();

    SimulatedController sim(ProtocolModbusRtu);
    sim.addDevice(2);
    const QVector<quint16> before = sim.device(2)->registers();
    QString message;
    QCOMPARE(sim.loadValues(path, &message), error.isEmpty());
    if (!error.isEmpty()) {
        QVERIFY2(message.startsWith(error), qPrintable(message));
        QCOMPARE(sim.device(2)->registers(), before);   // nothing half-applied
        return;
    }
    for (quint8 address : {1, 2}) {
        SimulatedDevice &d = *sim.device(address);
        QCOMPARE(int(d.reg(29)), 1390);
        QCOMPARE(int(d.reg(SimReg::BatteryCapacity)), 81);
        QCOMPARE(int(d.signedReg(SimReg::TemperatureCompensation)), -4);
        QCOMPARE(d.deviceModel().trimmed(), QStringLiteral("SIM-X"));
        QCOMPARE(d.factoryInfo().trimmed(), QStringLiteral("Works, Bench 2"));
        QCOMPARE(d.secondOfDay(), 13 * 3600 + 30 * 60);
    }
    QVERIFY(!sim.loadValues(dir.filePath(QStringLiteral("missing.ini")), &message));
}

QTEST_GUILESS_MAIN(tst_sim_device)
#include "tst_sim_device.moc"
