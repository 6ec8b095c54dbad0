#include <QtTest>

#include <cstdlib>
#include <cstring>
#include <functional>

#include "com_protocol_solar.h"
#include "counting_malloc.h"
#include "engine_probe.h"
#include "link_stats.h"

// A request builds its frame in place: the only heap work it may cause is Qt's
// own registration of the restarted response timer. Every allocation of this
// thread (operator new and Qt's containers both end in malloc, which this
// executable interposes) is counted while a request is issued and compared
// with a bare restart of the timer. The engines carry the link statistics'
// observer, as in the core, so counting is measured with them.

namespace {

long allocationsOf(const std::function<void()> &call)
{
    CountingMalloc::start();
    call();
    return CountingMalloc::stop();
}

using Request = std::function<void(com_protocol_solar &)>;

// Appends the Modbus CRC to the RTU answer held in rxFrame.
void sealRtuAnswer(com_protocol_solar &engine)
{
    const quint16 crc = modbusCrc16(engine.rxFrame, unsigned(engine.rxLength));
    engine.rxFrame[engine.rxLength++] = quint8(crc >> 8);
    engine.rxFrame[engine.rxLength++] = quint8(crc);
}

} // namespace

Q_DECLARE_METATYPE(Request)
using TextField = QString DeviceData::*;
Q_DECLARE_METATYPE(TextField)

class tst_request_allocations : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void requestAllocatesNothing_data();
    void requestAllocatesNothing();
    void refusalAllocatesNothing();
    void answerAllocatesNothing_data();
    void answerAllocatesNothing();
    void repeatedTextAllocatesNothing_data();
    void repeatedTextAllocatesNothing();
};

void tst_request_allocations::init()
{
    if (!CountingMalloc::available())
        QSKIP("allocations are not counted under AddressSanitizer");
}

void tst_request_allocations::requestAllocatesNothing_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<int>("type");
    QTest::addColumn<Request>("request");
    const int D = ProtocolDefine, R = ProtocolModbusRtu, T = ProtocolModbusTcp;
    const int P = ControllerPwm, M = ControllerMppt;
    QTest::newRow("Define read") << D << P << Request([](com_protocol_solar &e) { e.defineReadVersionAndRatings(); });
    QTest::newRow("Define PWM write") << D << P << Request([](com_protocol_solar &e) { e.writeFloatVoltage(1380); });
    QTest::newRow("Define MPPT baud rate") << D << M << Request([](com_protocol_solar &e) { e.writeBaudRate(6); });
    QTest::newRow("Define MPPT load settings") << D << M << Request([](com_protocol_solar &e) { e.writeLoadMode(2); });
    QTest::newRow("Define serial number") << D << M << Request([](com_protocol_solar &e) { e.readSerialNumber(); });
    QTest::newRow("RTU read") << R << P << Request([](com_protocol_solar &e) { e.modbusRtuReadRegisters(96, 18); });
    QTest::newRow("RTU clock write") << R << P << Request([](com_protocol_solar &e) { e.writeClock(2024, 5, 17, 9, 30, 0); });
    QTest::newRow("TCP read") << T << P << Request([](com_protocol_solar &e) { e.readFactoryInfo(); });
    QTest::newRow("TCP write") << T << P << Request([](com_protocol_solar &e) { e.writeBatteryType(2); });
}

void tst_request_allocations::requestAllocatesNothing()
{
    QFETCH(int, protocol);
    QFETCH(int, type);
    QFETCH(Request, request);
    com_protocol_solar engine;
    LinkStats stats;
    engine.observer = stats.mainObserver();
    engine.setProtocol(protocol);
    engine.setControllerType(type);
    // Companions of the MPPT load frame, as if read before.
    engine.setProtocol(ProtocolModbusRtu);
    engine.modbusRtuReadRegisters(39, 3);
    const quint8 reply[] = {0x01, 0x03, 0x06, 0x00, 0x00, 0x00, 0x78, 0x01, 0x2C};
    std::memcpy(engine.rxFrame, reply, sizeof reply);
    engine.rxLength = int(sizeof reply);
    sealRtuAnswer(engine);
    engine.processResponse();
    QCOMPARE(engine.txLength, 0);
    engine.setProtocol(protocol);

    request(engine);   // warm up: first registrations of the timer
    const long timerRestart = allocationsOf([&] { engine.startResponseTimer(); });
    const long requestCost = allocationsOf([&] { request(engine); });
    QVERIFY(engine.txLength > 0);
    QCOMPARE(requestCost, timerRestart);
}

void tst_request_allocations::refusalAllocatesNothing()
{
    com_protocol_solar engine;
    engine.reportFailure();
    QCOMPARE(allocationsOf([&] { engine.writeRegister37(1); }), 0L);
    QCOMPARE(allocationsOf([&] { engine.clearConsumedEnergyTotal(); }), 0L);
    QCOMPARE(engine.txLength, 0);
}

void tst_request_allocations::answerAllocatesNothing_data()
{
    QTest::addColumn<int>("protocol");
    QTest::newRow("RTU") << int(ProtocolModbusRtu);
    QTest::newRow("TCP") << int(ProtocolModbusTcp);
}

// Validating and decoding the answer to a poll of the live values, texts of
// the PV and charge states included, once each text has been seen.
void tst_request_allocations::answerAllocatesNothing()
{
    QFETCH(int, protocol);
    com_protocol_solar engine;
    LinkStats stats;
    engine.observer = stats.mainObserver();
    engine.setProtocol(protocol);
    const bool tcp = protocol == ProtocolModbusTcp;
    const auto answer = [&] {
        tcp ? engine.modbusTcpReadRegisters(1, 12) : engine.modbusRtuReadRegisters(1, 12);
        quint8 *f = engine.rxFrame;
        const int at = tcp ? 6 : 0;
        if (tcp) {
            std::memcpy(f, engine.txFrame, 4);   // transaction and protocol id
            f[4] = 0;
            f[5] = 3 + 24;
        }
        f[at] = 1;
        f[at + 1] = 3;
        f[at + 2] = 24;
        for (int i = 0; i < 24; ++i)
            f[at + 3 + i] = quint8(i % 2 ? 1 : 0);   // every register 1
        engine.rxLength = at + 3 + 24;
        if (!tcp)
            sealRtuAnswer(engine);
    };
    QSignalSpy succeeded(&engine, &com_protocol_solar::receiveSuccesSignal);
    answer();
    engine.processResponse();   // first sight of each text
    answer();
    QCOMPARE(allocationsOf([&] { engine.processResponse(); }), 0L);
    QCOMPARE(succeeded.count(), 2);
    QCOMPARE(stats.counters(RequestKind::LiveValues).answered, 2ull);
    QVERIFY(!engine.deviceData.pvStateText.isEmpty());
}

void tst_request_allocations::repeatedTextAllocatesNothing_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<Request>("request");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("changed");
    QTest::addColumn<TextField>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("changedText");
    const int D = ProtocolDefine, R = ProtocolModbusRtu;
    const auto rtuRead = [](int start, int count) {
        return Request([start, count](com_protocol_solar &e) { e.modbusRtuReadRegisters(quint16(start), count); });
    };
    QTest::newRow("Define model") << D << Request([](com_protocol_solar &e) { e.defineReadDeviceModel(); })
        << defineReply(0x78, "4d 50 50 54 2d 36 30 41 00 00 00 00") << defineReply(0x78, "4d 50 50 54 2d 34 30 41 00 00 00 00")
        << &DeviceData::deviceModel << "MPPT-60A" << "MPPT-40A";
    QTest::newRow("Define version") << D << Request([](com_protocol_solar &e) { e.defineReadVersionAndRatings(); })
        << defineReply(0x79, "30 14 17 00 00 06 00 00 00 00 00 00") << defineReply(0x79, "30 14 18 00 00 06 00 00 00 00 00 00")
        << &DeviceData::versionInfo << "HRV2.3" << "HRV2.4";
    QTest::newRow("Define encryption") << D << Request([](com_protocol_solar &e) { e.defineReadEncryptionState(); })
        << defineReply(0xC6, "00 00 00 00 00 00 00 00 00 00 00 00") << defineReply(0xC6, "00 01 00 00 00 00 00 00 00 00 00 00")
        << &DeviceData::encryptionText << "已加密" << "未加密";
    QTest::newRow("RTU version") << R << rtuRead(70, 2) << rtuReadReply({12, 105}) << rtuReadReply({12, 106})
        << &DeviceData::versionInfo << "HRV1.2,SFV10.5" << "HRV1.2,SFV10.6";
    QTest::newRow("RTU padded model") << R << rtuRead(72, 12)
        << rtuReadReply({0, 0, 0, 0, 0, 0, 'A', '0', '6', '-', 'C', 'S'})
        << rtuReadReply({0, 0, 0, 0, 0, 0, 'A', '0', '4', '-', 'C', 'S'})
        << &DeviceData::deviceModel << "SC-60A" << "SC-40A";
    QTest::newRow("RTU factory") << R << rtuRead(96, 18)
        << rtuReadReply({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x4300, 0x4142})
        << rtuReadReply({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x4400, 0x4142})
        << &DeviceData::factoryInfo << "ABC" << "ABD";
    QTest::newRow("RTU baud rate") << R << rtuRead(117, 1) << rtuReadReply({960}) << rtuReadReply({11520})
        << &DeviceData::baudRateText << "9600" << "115200";
    QTest::newRow("RTU calibration") << R << rtuRead(136, 1) << rtuReadReply({0}) << rtuReadReply({0x0F})
        << &DeviceData::calibrationText << "已校准" << "未校准";
}

// A text answered again as before is kept without building it anew; an
// answer that changes it still shows the change.
void tst_request_allocations::repeatedTextAllocatesNothing()
{
    QFETCH(int, protocol);
    QFETCH(Request, request);
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, changed);
    QFETCH(TextField, field);
    QFETCH(QString, text);
    QFETCH(QString, changedText);
    EngineProbe probe(protocol);
    com_protocol_solar &engine = probe.engine;
    request(engine);
    probe.respond(answer);
    QCOMPARE(engine.deviceData.*field, text);

    request(engine);
    std::memcpy(engine.rxFrame, answer.constData(), size_t(answer.size()));
    engine.rxLength = answer.size();
    QCOMPARE(allocationsOf([&] { engine.processResponse(); }), 0L);
    QCOMPARE(engine.deviceData.*field, text);

    request(engine);
    probe.respond(changed);
    QCOMPARE(engine.deviceData.*field, changedText);
    QCOMPARE(probe.successes, 3);
    QCOMPARE(probe.failures, 0);
}

QTEST_GUILESS_MAIN(tst_request_allocations)
#include "tst_request_allocations.moc"
