#include <QtTest>

#include <functional>

#include "engine_probe.h"

// Every request frame, by operation x protocol x controller type, byte for byte;
// an empty expected frame means the operation is refused: receiveFailSignal
// before it returns and nothing sent.
using Request = std::function<void(EngineProbe &)>;
Q_DECLARE_METATYPE(Request)

class tst_request_frames : public QObject
{
    Q_OBJECT
private slots:
    void defaults();
    void frames_data();
    void frames();
    void refusalLeavesPendingRequestAlone();
    void transactionIds();
    void expectedResponseLength_data();
    void expectedResponseLength();
    void exceptionResponseLength_data();
    void exceptionResponseLength();
};

void tst_request_frames::defaults()
{
    com_protocol_solar engine;
    QCOMPARE(engine.protocol(), int(ProtocolDefine));
    QCOMPARE(engine.controllerType(), int(ControllerPwm));
    QCOMPARE(int(engine.slaveAddress()), 1);
    QCOMPARE(engine.responseTimeout(), 500);
    QCOMPARE(engine.maxRetries(), 2);
    QCOMPARE(int(engine.transactionId), 1);
    QCOMPARE(int(engine.frameHeader), 0x8E);
    QCOMPARE(engine.txLength, 0);
    QVERIFY(!engine.responseTimer.isActive());
    QVERIFY(!engine.responseTimer.isSingleShot());
    QCOMPARE(engine.expectedResponseLength(), 0);
}

void tst_request_frames::frames_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<int>("type");
    QTest::addColumn<Request>("request");
    QTest::addColumn<QByteArray>("expected");

    const int D = ProtocolDefine, R = ProtocolModbusRtu, T = ProtocolModbusTcp;
    const int P = ControllerPwm, M = ControllerMppt;
    const QByteArray refused;
    auto row = [](const char *name, int protocol, int type, Request request, const QByteArray &frame) {
        QTest::newRow(name) << protocol << type << request << frame;
    };
    using E = EngineProbe;

    // Define reads.
    row("0x01 run data", D, P, [](E &p) { p.engine.defineReadRunData(); },
        hexBytes("8e 01 01 00 00 00 00 00 00 00 00 00 00 00 00 84"));
    row("0x04 charge stage", D, P, [](E &p) { p.engine.defineReadChargeStage(); },
        hexBytes("8e 01 04 00 00 00 00 00 00 00 00 00 00 00 00 18"));
    row("0x01 run data, address 7", D, P, [](E &p) { p.engine.setSlaveAddress(7); p.engine.defineReadRunData(); },
        defineFrame("8e 07 01 00 00 00 00 00 00 00 00 00 00 00 00"));
    row("0x02", D, M, [](E &p) { p.engine.defineReadTotalsAndLimits(); }, defineFrame("8e 01 02 000000000000000000000000"));
    row("0x05", D, P, [](E &p) { p.engine.defineReadBatterySettings(); }, defineFrame("8e 01 05 000000000000000000000000"));
    row("0x06", D, P, [](E &p) { p.engine.defineReadLoadSettings(); }, defineFrame("8e 01 06 000000000000000000000000"));
    row("0x07", D, P, [](E &p) { p.engine.defineReadGroup07(); }, defineFrame("8e 01 07 000000000000000000000000"));
    row("0x08", D, P, [](E &p) { p.engine.defineReadGroup08(); }, defineFrame("8e 01 08 000000000000000000000000"));
    row("0x09", D, P, [](E &p) { p.engine.defineReadEnergyTotals(); }, defineFrame("8e 01 09 000000000000000000000000"));
    row("0x0A", D, M, [](E &p) { p.engine.defineReadLithiumAndNightTimes(); }, defineFrame("8e 01 0a 000000000000000000000000"));
    row("0x0B", D, M, [](E &p) { p.engine.defineReadLithiumCapacity(); }, defineFrame("8e 01 0b 000000000000000000000000"));
    row("0x77 factory", D, P, [](E &p) { p.engine.defineReadFactoryInfo(); }, defineFrame("8e 01 77 00 00 00 00 35 00 00 00 00 d6 00 00"));
    row("0x78 model", D, P, [](E &p) { p.engine.defineReadDeviceModel(); }, defineFrame("8e 01 78 00 00 00 00 00 76 00 2a 00 00 00 00"));
    row("0x79 version", D, M, [](E &p) { p.engine.defineReadVersionAndRatings(); }, defineFrame("8e 01 79 00 00 00 36 17 00 00 00 00 00 00 00"));
    row("0xC2 calibration", D, P, [](E &p) { p.engine.defineReadCalibrationState(); }, defineFrame("8e 01 c2 00 ff 00 ff 00 ff 00 ff 00 00 00 00"));
    row("0xC2 stays a plain read whatever register 136 holds", D, P,
        [](E &p) { p.engine.registerImage[136] = 0x3F; p.engine.defineReadCalibrationState(); },
        defineFrame("8e 01 c2 00 ff 00 ff 00 ff 00 ff 00 00 00 00"));
    row("0xC6 encryption", D, P, [](E &p) { p.engine.defineReadEncryptionState(); }, defineFrame("8e 01 c6 ea 15 00 00 00 00 00 00 00 00 00 00"));

    // Reads through the protocol-independent operations.
    row("readSerialNumber Define", D, P, [](E &p) { p.engine.registerImage[139] = 0x1234; p.engine.readSerialNumber(); },
        defineFrame("8e 01 81 7c 4e 12 34 00 00 00 00 00 00 00 00"));
    row("readSerialNumber RTU", R, P, [](E &p) { p.engine.readSerialNumber(); }, rtuFrame("01 03 00 54 00 0c"));
    row("readSerialNumber TCP", T, P, [](E &p) { p.engine.readSerialNumber(); }, hexBytes("00 02 00 00 00 06 01 03 00 54 00 0c"));
    row("readFactoryInfo Define", D, M, [](E &p) { p.engine.readFactoryInfo(); }, defineFrame("8e 01 77 00 00 00 00 35 00 00 00 00 d6 00 00"));
    row("readFactoryInfo RTU", R, P, [](E &p) { p.engine.readFactoryInfo(); }, rtuFrame("01 03 00 60 00 12"));
    row("readEncryptionState Define", D, P, [](E &p) { p.engine.readEncryptionState(); }, defineFrame("8e 01 c6 ea 15 00 00 00 00 00 00 00 00 00 00"));
    row("readEncryptionState TCP", T, P, [](E &p) { p.engine.readEncryptionState(); }, hexBytes("00 02 00 00 00 06 01 03 00 88 00 01"));

    // Modbus primitives.
    row("RTU read 12 from 1", R, P, [](E &p) { p.engine.modbusRtuReadRegisters(1, 12); }, hexBytes("01 03 00 01 00 0c 14 0f"));
    row("RTU read at address 0x11", R, P, [](E &p) { p.engine.setSlaveAddress(0x11); p.engine.modbusRtuReadRegisters(72, 12); },
        rtuFrame("11 03 00 48 00 0c"));
    row("TCP read 12 from 1", T, P, [](E &p) { p.engine.modbusTcpReadRegisters(1, 12); }, hexBytes("00 02 00 00 00 06 01 03 00 01 00 0c"));
    row("RTU read of 0 registers", R, P, [](E &p) { p.engine.modbusRtuReadRegisters(1, 0); }, refused);
    row("RTU read of 126 registers", R, P, [](E &p) { p.engine.modbusRtuReadRegisters(1, 126); }, refused);
    row("TCP write of 124 registers", T, P, [](E &p) { p.engine.modbusTcpWriteRegisters(0, p.engine.registerImage, 124); }, refused);
    row("RTU write of a 32-bit value sends the low word", R, P,
        [](E &p) { const quint32 v[] = {0x12345678, 0xFFFF0001}; p.engine.modbusRtuWriteRegisters(0x0102, v, 2); },
        rtuFrame("01 10 01 02 00 02 04 56 78 00 01"));

    // Protocol-independent writes.
    row("writeFloatVoltage RTU", R, P, [](E &p) { p.engine.writeFloatVoltage(1380); }, hexBytes("01 10 00 1d 00 01 02 05 64 a7 66"));
    row("writeFloatVoltage TCP as transaction 3", T, P, [](E &p) { p.engine.transactionId = 2; p.engine.writeFloatVoltage(1380); },
        hexBytes("00 03 00 00 00 09 01 10 00 1d 00 01 02 05 64"));
    row("writeFloatVoltage PWM", D, P, [](E &p) { p.engine.writeFloatVoltage(1380); },
        hexBytes("8e 01 22 64 05 9b fa 00 00 00 00 00 00 00 00 3e"));
    row("writeFloatVoltage MPPT", D, M, [](E &p) { p.engine.writeFloatVoltage(1380); }, defineFrame("8e 01 92 34 05 64 00 00 00 00 00 00 00 00 ac"));
    row("writeAbsorbVoltage PWM", D, P, [](E &p) { p.engine.writeAbsorbVoltage(1440); }, defineFrame("8e 01 25 a0 05 00 00 00 00 00 00 00 00 00 00"));
    row("writeEqualizeVoltage PWM", D, P, [](E &p) { p.engine.writeEqualizeVoltage(1460); }, defineFrame("8e 01 26 b4 05 00 00 00 00 00 00 00 00 00 00"));
    row("writeAbsorbTime PWM", D, P, [](E &p) { p.engine.writeAbsorbTime(150); }, refused);
    row("writeAbsorbTime RTU stores hours", R, P, [](E &p) { p.engine.writeAbsorbTime(150); }, rtuFrame("01 10 00 20 00 01 02 00 02"));
    row("writeEqualizeTime TCP", T, P, [](E &p) { p.engine.writeEqualizeTime(119); }, hexBytes("00 02 00 00 00 09 01 10 00 21 00 01 02 00 01"));
    row("writeTemperatureCompensation MPPT", D, M, [](E &p) { p.engine.writeTemperatureCompensation(-3); },
        defineFrame("8e 01 97 39 00 fd 00 00 00 00 00 00 00 00 b1"));
    row("writeTemperatureCompensation RTU", R, P, [](E &p) { p.engine.writeTemperatureCompensation(-3); }, rtuFrame("01 10 00 22 00 01 02 ff fd"));
    row("writeLowVoltageProtect PWM", D, P, [](E &p) { p.engine.writeLowVoltageProtect(1110); }, defineFrame("8e 01 20 56 04 a9 fb 00 00 00 00 00 00 00 00"));
    row("writeLowVoltageProtect MPPT", D, M, [](E &p) { p.engine.writeLowVoltageProtect(1110); }, defineFrame("8e 01 94 36 04 56 00 00 00 00 00 00 00 00 ae"));
    row("writeLowVoltageRecover PWM", D, P, [](E &p) { p.engine.writeLowVoltageRecover(1260); }, defineFrame("8e 01 21 ec 04 13 fb 00 00 00 00 00 00 00 00"));
    row("writeLowVoltageRecover MPPT", D, M, [](E &p) { p.engine.writeLowVoltageRecover(1260); }, defineFrame("8e 01 95 37 04 ec 00 00 00 00 00 00 00 00 af"));
    row("writeRegister37 Define", D, M, [](E &p) { p.engine.writeRegister37(5); }, refused);
    row("writeRegister38 RTU", R, P, [](E &p) { p.engine.writeRegister38(5); }, rtuFrame("01 10 00 26 00 01 02 00 05"));
    row("writeLoadMode 0 RTU", R, P, [](E &p) { p.engine.writeLoadMode(0); }, rtuFrame("01 10 00 27 00 01 02 00 00"));
    row("writeLoadMode PWM", D, P, [](E &p) { p.engine.writeLoadMode(1); }, refused);
    row("writeLoadMode out of range resends the stored code", R, P,
        [](E &p) { p.engine.writeLoadMode(3); p.reset(); p.engine.writeLoadMode(9); }, rtuFrame("01 10 00 27 00 01 02 00 03"));
    row("writeNightTime1 PWM", D, P, [](E &p) { p.engine.writeNightTime1(600); }, refused);
    row("writeNightTime2 RTU", R, P, [](E &p) { p.engine.writeNightTime2(600); }, rtuFrame("01 10 00 29 00 01 02 02 58"));
    row("writeLoadTimer1 RTU", R, P, [](E &p) { p.engine.writeLoadTimer1(6, 30); }, rtuFrame("01 10 00 2a 00 01 02 06 1e"));
    row("writeLoadTimer4 TCP", T, P, [](E &p) { p.engine.writeLoadTimer4(18, 0); }, hexBytes("00 02 00 00 00 09 01 10 00 2d 00 01 02 12 00"));
    row("writeLoadTimer2 MPPT", D, M, [](E &p) { p.engine.writeLoadTimer2(1, 2); }, refused);
    row("writeLightOnVoltage RTU", R, P, [](E &p) { p.engine.writeLightOnVoltage(500); }, rtuFrame("01 10 00 2e 00 01 02 01 f4"));
    row("writeLightOffVoltage MPPT", D, M, [](E &p) { p.engine.writeLightOffVoltage(600); }, refused);
    row("writeRegister49 RTU", R, P, [](E &p) { p.engine.writeRegister49(0xABCD); }, rtuFrame("01 10 00 31 00 01 02 ab cd"));
    row("writeBatteryType 5 RTU", R, P, [](E &p) { p.engine.writeBatteryType(5); }, rtuFrame("01 10 00 32 00 01 02 00 05"));
    row("writeBatteryType PWM", D, P, [](E &p) { p.engine.writeBatteryType(1); }, refused);
    row("writeSystemVoltage 2 MPPT", D, M, [](E &p) { p.engine.writeSystemVoltage(2); }, defineFrame("8e 01 a5 3f 09 60 00 00 00 00 00 00 00 00 b7"));
    row("writeSystemVoltage 9 RTU", R, P, [](E &p) { p.engine.writeSystemVoltage(9); }, rtuFrame("01 10 00 33 00 01 02 00 09"));
    row("writeSystemVoltage out of range resends", D, M,
        [](E &p) { p.engine.writeSystemVoltage(4); p.reset(); p.engine.writeSystemVoltage(10); },
        defineFrame("8e 01 a5 3f 12 c0 00 00 00 00 00 00 00 00 b7"));
    row("writeSystemVoltage PWM", D, P, [](E &p) { p.engine.writeSystemVoltage(2); }, refused);
    row("writeOverVoltageProtect RTU", R, P, [](E &p) { p.engine.writeOverVoltageProtect(1600); }, rtuFrame("01 10 00 34 00 01 02 06 40"));
    row("writeOverVoltageRecover PWM", D, P, [](E &p) { p.engine.writeOverVoltageRecover(1500); }, refused);
    row("writeControlWord 0xFF7 PWM", D, P, [](E &p) { p.engine.writeControlWord(0xFF7); }, defineFrame("8e 01 03 00 00 00 01 01 00 00 00 00 00 00 00"));
    row("writeControlWord 0xFF7 MPPT", D, M, [](E &p) { p.engine.writeControlWord(0xFF7); }, defineFrame("8e 01 03 00 00 00 36 01 00 00 00 00 00 00 00"));
    row("writeControlWord 0x008 PWM", D, P, [](E &p) { p.engine.writeControlWord(0x008); }, defineFrame("8e 01 03 01 01 01 00 00 01 01 00 00 00 00 00"));
    row("writeControlWord 0x008 MPPT", D, M, [](E &p) { p.engine.writeControlWord(0x008); }, defineFrame("8e 01 03 01 01 01 36 00 01 01 00 00 00 00 00"));
    row("writeControlWord RTU", R, P, [](E &p) { p.engine.writeControlWord(0xFF7); }, rtuFrame("01 10 00 36 00 01 02 0f f7"));
    row("writeRegister55 Define", D, P, [](E &p) { p.engine.writeRegister55(1); }, refused);
    row("writeClock Define", D, P, [](E &p) { p.engine.writeClock(2024, 5, 17, 9, 30, 15); },
        defineFrame("8e 01 c4 ea 15 00 00 00 00 18 05 11 09 1e 0f"));
    row("writeClock RTU writes three registers", R, P, [](E &p) { p.engine.writeClock(2024, 5, 17, 9, 30, 15); },
        rtuFrame("01 10 00 40 00 03 06 18 05 11 09 1e 0f"));
    row("writeRegister67 TCP", T, P, [](E &p) { p.engine.writeRegister67(7); }, hexBytes("00 02 00 00 00 09 01 10 00 43 00 01 02 00 07"));
    row("writeRegister68 Define", D, M, [](E &p) { p.engine.writeRegister68(7); }, refused);
    row("writeRegister69 RTU", R, P, [](E &p) { p.engine.writeRegister69(7); }, rtuFrame("01 10 00 45 00 01 02 00 07"));
    row("writeRegister114 Define", D, P, [](E &p) { p.engine.writeRegister114(7); }, refused);
    row("writeLithiumCapacity PWM", D, P, [](E &p) { p.engine.writeLithiumCapacity(1000); }, refused);
    row("writeLithiumCapacity RTU", R, P, [](E &p) { p.engine.writeLithiumCapacity(1000); }, rtuFrame("01 10 00 73 00 01 02 03 e8"));
    row("writeLithiumChargeVoltage MPPT", D, M, [](E &p) { p.engine.writeLithiumChargeVoltage(1420); }, defineFrame("8e 01 90 32 05 8c 00 00 00 00 00 00 00 00 aa"));
    row("writeLithiumChargeVoltage PWM", D, P, [](E &p) { p.engine.writeLithiumChargeVoltage(1420); }, refused);
    row("writeBaudRate 6 RTU", R, P, [](E &p) { p.engine.writeBaudRate(6); }, rtuFrame("01 10 00 75 00 01 02 16 80"));
    row("writeBaudRate 7 RTU", R, P, [](E &p) { p.engine.writeBaudRate(7); }, rtuFrame("01 10 00 75 00 01 02 1e 00"));
    row("writeBaudRate 8 TCP", T, P, [](E &p) { p.engine.writeBaudRate(8); }, hexBytes("00 02 00 00 00 09 01 10 00 75 00 01 02 2d 00"));
    row("writeBaudRate 6 MPPT sends Define code 7", D, M, [](E &p) { p.engine.writeBaudRate(6); },
        defineFrame("8e 01 99 3b 00 01 07 00 00 00 00 00 00 00 b3"));
    row("writeBaudRate 8 MPPT at address 5", D, M, [](E &p) { p.engine.setSlaveAddress(5); p.engine.writeBaudRate(8); },
        defineFrame("8e 05 99 3b 00 05 08 00 00 00 00 00 00 00 b3"));
    row("writeBaudRate PWM", D, P, [](E &p) { p.engine.writeBaudRate(1); }, refused);

    // Clears and reset.
    row("clearGeneratedChargeTotal MPPT", D, M, [](E &p) { p.engine.clearGeneratedChargeTotal(); }, defineFrame("8e 01 a1 3b 00 00 00 00 00 00 00 00 00 00 b3"));
    row("clearConsumedChargeTotal MPPT", D, M, [](E &p) { p.engine.clearConsumedChargeTotal(); }, defineFrame("8e 01 a2 3c 00 00 00 00 00 00 00 00 00 00 b4"));
    row("clearGeneratedChargeTotal PWM", D, P, [](E &p) { p.engine.clearGeneratedChargeTotal(); }, refused);
    row("clearGeneratedEnergyTotal MPPT", D, M, [](E &p) { p.engine.clearGeneratedEnergyTotal(); }, refused);
    row("clearConsumedEnergyTotal PWM", D, P, [](E &p) { p.engine.clearConsumedEnergyTotal(); }, refused);
    row("clearConsumedEnergyTotal RTU", R, P, [](E &p) { p.engine.registerImage[28] = 9; p.engine.clearConsumedEnergyTotal(); },
        rtuFrame("01 10 00 1c 00 01 02 00 00"));
    row("clearGeneratedEnergyTotal TCP", T, P, [](E &p) { p.engine.clearGeneratedEnergyTotal(); }, hexBytes("00 02 00 00 00 09 01 10 00 18 00 01 02 00 00"));
    row("clearAccumulationWord 16 is the named clear", D, M, [](E &p) { p.engine.clearAccumulationWord(16); },
        defineFrame("8e 01 a1 3b 00 00 00 00 00 00 00 00 00 00 b3"));
    row("clearAccumulationWord 14 Define", D, M, [](E &p) { p.engine.clearAccumulationWord(14); }, refused);
    row("clearAccumulationWord 14 RTU", R, P, [](E &p) { p.engine.clearAccumulationWord(14); }, rtuFrame("01 10 00 0e 00 01 02 00 00"));
    row("clearAccumulationWord 12 is no counter", R, P, [](E &p) { p.engine.clearAccumulationWord(12); }, refused);
    row("clearAccumulationWord 29 is no counter", T, P, [](E &p) { p.engine.clearAccumulationWord(29); }, refused);
    row("resetController MPPT", D, M, [](E &p) { p.engine.resetController(); }, defineFrame("8e 01 a3 3d 00 00 00 00 00 00 00 00 00 00 b5"));
    row("resetController PWM", D, P, [](E &p) { p.engine.resetController(); }, refused);
    row("resetController RTU", R, M, [](E &p) { p.engine.resetController(); }, refused);
    row("resetController TCP", T, M, [](E &p) { p.engine.resetController(); }, refused);
}

void tst_request_frames::frames()
{
    QFETCH(int, protocol);
    QFETCH(int, type);
    QFETCH(Request, request);
    QFETCH(QByteArray, expected);

    EngineProbe probe(protocol, type);
    request(probe);
    if (expected.isEmpty()) {
        QCOMPARE(probe.sent, QList<QByteArray>());
        QCOMPARE(probe.failures, 1);
        QCOMPARE(probe.engine.txLength, 0);
        QVERIFY(!probe.engine.responseTimer.isActive());
        return;
    }
    QCOMPARE(probe.sent.size(), 1);
    QCOMPARE(probe.sent.first().toHex(' '), expected.toHex(' '));
    QCOMPARE(probe.failures, 0);
    QCOMPARE(probe.engine.txLength, expected.size());
    QCOMPARE(probe.engine.retryCount, 0);
    QVERIFY(probe.engine.responseTimer.isActive());
    QCOMPARE(probe.engine.responseTimer.interval(), 500);
}

void tst_request_frames::refusalLeavesPendingRequestAlone()
{
    EngineProbe probe(ProtocolDefine, ControllerPwm);
    probe.engine.defineReadRunData();
    const QByteArray pending = probe.sent.first();
    probe.engine.writeRegister37(1);
    QCOMPARE(probe.failures, 1);
    QCOMPARE(probe.sent.size(), 1);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(probe.engine.txFrame), probe.engine.txLength), pending);
    QVERIFY(probe.engine.responseTimer.isActive());
    // The pending read still completes.
    probe.respond(defineReply(0x01, "000000000000000000000000"));
    QCOMPARE(probe.successes, 1);
}

void tst_request_frames::transactionIds()
{
    EngineProbe probe(ProtocolModbusTcp);
    probe.engine.setMaxRetries(1);
    probe.engine.modbusTcpReadRegisters(1, 12);
    probe.engine.rec_timer_slot();   // a re-send repeats the transaction
    probe.engine.modbusTcpReadRegisters(1, 12);
    QCOMPARE(probe.sent.size(), 3);
    QCOMPARE(probe.sent[0].left(2).toHex(), QByteArray("0002"));
    QCOMPARE(probe.sent[1], probe.sent[0]);
    QCOMPARE(probe.sent[2].left(2).toHex(), QByteArray("0003"));

    probe.engine.transactionId = 65535;
    probe.engine.modbusTcpReadRegisters(1, 1);
    QCOMPARE(probe.sent.last().left(2).toHex(), QByteArray("0000"));
    QCOMPARE(int(probe.engine.transactionId), 0);

    // Define and RTU leave it alone.
    probe.engine.setProtocol(ProtocolModbusRtu);
    probe.engine.modbusRtuReadRegisters(1, 1);
    QCOMPARE(int(probe.engine.transactionId), 0);
}

void tst_request_frames::expectedResponseLength_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<Request>("request");
    QTest::addColumn<int>("length");
    QTest::newRow("Define") << int(ProtocolDefine) << Request([](EngineProbe &p) { p.engine.defineReadRunData(); }) << 16;
    QTest::newRow("RTU read 18") << int(ProtocolModbusRtu) << Request([](EngineProbe &p) { p.engine.readFactoryInfo(); }) << 41;
    QTest::newRow("RTU read 125") << int(ProtocolModbusRtu) << Request([](EngineProbe &p) { p.engine.modbusRtuReadRegisters(0, 125); }) << 255;
    QTest::newRow("RTU write") << int(ProtocolModbusRtu) << Request([](EngineProbe &p) { p.engine.writeClock(24, 1, 2, 3, 4, 5); }) << 8;
    QTest::newRow("TCP read 12") << int(ProtocolModbusTcp) << Request([](EngineProbe &p) { p.engine.modbusTcpReadRegisters(1, 12); }) << 33;
    QTest::newRow("TCP write") << int(ProtocolModbusTcp) << Request([](EngineProbe &p) { p.engine.writeFloatVoltage(1); }) << 12;
    QTest::newRow("idle after a refusal") << int(ProtocolModbusTcp) << Request([](EngineProbe &p) { p.engine.resetController(); }) << 0;
}

void tst_request_frames::expectedResponseLength()
{
    QFETCH(int, protocol);
    QFETCH(Request, request);
    QFETCH(int, length);
    EngineProbe probe(protocol);
    request(probe);
    QCOMPARE(probe.engine.expectedResponseLength(), length);
}

// A short exception answer to the pending read is recognised at the end of
// whatever has gathered; anything else is left to the full-length rule.
void tst_request_frames::exceptionResponseLength_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<QByteArray>("gathered");
    QTest::addColumn<int>("length");
    const int R = ProtocolModbusRtu, T = ProtocolModbusTcp;
    QTest::newRow("RTU exception") << R << hexBytes("01 83 02 c0 f1") << 5;
    QTest::newRow("RTU exception after noise") << R << hexBytes("ff 00 01 83 02 c0 f1") << 5;
    QTest::newRow("RTU bad CRC") << R << hexBytes("01 83 02 c0 f2") << 0;
    QTest::newRow("RTU other address") << R << hexBytes("02 83 02 30 f1") << 0;
    QTest::newRow("RTU other function") << R << hexBytes("01 90 02 cd c1") << 0;
    QTest::newRow("RTU too short") << R << hexBytes("83 02 c0 f1") << 0;
    QTest::newRow("TCP exception") << T << hexBytes("00 02 00 00 00 03 01 83 02") << 9;
    QTest::newRow("TCP other transaction") << T << hexBytes("00 03 00 00 00 03 01 83 02") << 0;
    QTest::newRow("TCP wrong length") << T << hexBytes("00 02 00 00 00 04 01 83 02") << 0;
    QTest::newRow("TCP other unit") << T << hexBytes("00 02 00 00 00 03 05 83 02") << 0;
    QTest::newRow("Define never") << int(ProtocolDefine) << hexBytes("01 83 02 c0 f1") << 0;
}

void tst_request_frames::exceptionResponseLength()
{
    QFETCH(int, protocol);
    QFETCH(QByteArray, gathered);
    QFETCH(int, length);
    EngineProbe probe(protocol);
    if (protocol == ProtocolModbusRtu)
        probe.engine.modbusRtuReadRegisters(1, 12);
    else if (protocol == ProtocolModbusTcp)
        probe.engine.modbusTcpReadRegisters(1, 12);
    else
        probe.engine.defineReadRunData();
    const auto *bytes = reinterpret_cast<const quint8 *>(gathered.constData());
    QCOMPARE(probe.engine.exceptionResponseLength(bytes, gathered.size()), length);
    probe.engine.stopResponseTimer();
    probe.engine.txLength = 0;
    QCOMPARE(probe.engine.exceptionResponseLength(bytes, gathered.size()), 0);   // idle
}

QTEST_GUILESS_MAIN(tst_request_frames)
#include "tst_request_frames.moc"
