#include <QtTest>

#include <functional>

#include "engine_probe.h"

// The MPPT frames 0x91, 0x93, 0x96 and 0x98 carry settings beside the one
// written. Those come from what this controller last reported or was last
// sent; while one of them is unknown the write is refused rather than
// overwriting the controller's setting with a guess. Also: baud rates the
// Define protocol cannot express are refused.
using Step = std::function<void(EngineProbe &)>;
Q_DECLARE_METATYPE(Step)

namespace {

// Runs one request to a successful answer under the given protocol, then
// leaves the engine speaking Define to an MPPT controller.
void answer(EngineProbe &p, int protocol, const std::function<void()> &request, const QByteArray &reply)
{
    p.engine.setProtocol(protocol);
    request();
    p.respond(reply);
    QVERIFY(p.successes == 1 && p.failures == 0);
    p.engine.setProtocol(ProtocolDefine);
    p.engine.setControllerType(ControllerMppt);
    p.reset();
}

// 0x05: float 13.80, absorb 14.40, equalize 14.60 V, absorb 3 h, equalize 2 h, battery LI.
void batterySettingsRead(EngineProbe &p)
{
    answer(p, ProtocolDefine, [&] { p.engine.defineReadBatterySettings(); },
           defineReply(0x05, "64 05 a0 05 b4 05 03 02 00 00 40 02"));
}

// 0x0A: night times 2 h and 5 h.
void nightTimesRead(EngineProbe &p)
{
    answer(p, ProtocolDefine, [&] { p.engine.defineReadLithiumAndNightTimes(); },
           defineReply(0x0A, "8c 05 52 00 00 00 00 00 00 00 00 00"));
}

// 0x06 from an MPPT controller: mode byte 3, "Light".
void loadModeRead(EngineProbe &p)
{
    answer(p, ProtocolDefine, [&] { p.engine.defineReadLoadSettings(); },
           defineReply(0x06, "00 00 00 00 00 00 00 00 00 00 03 00"));
}

// 0x0B: lithium capacity 100.0 Ah.
void lithiumCapacityRead(EngineProbe &p)
{
    answer(p, ProtocolDefine, [&] { p.engine.defineReadLithiumCapacity(); },
           defineReply(0x0B, "e8 03 00 00 00 00 00 00 00 00 00 00"));
}

// Modbus registers 29..41 (absorb 15.00 V, absorb 4 h, equalize 1 h, mode 0,
// night times 120 and 360 min), then 50 (SEAL under Modbus) and 115.
void modbusSettingsRead(EngineProbe &p)
{
    answer(p, ProtocolModbusRtu, [&] { p.engine.modbusRtuReadRegisters(29, 13); },
           rtuReadReply({1380, 1500, 1520, 4, 1, 0, 1110, 1260, 0, 0, 0, 120, 360}));
    answer(p, ProtocolModbusRtu, [&] { p.engine.modbusRtuReadRegisters(50, 1); }, rtuReadReply({2}));
    answer(p, ProtocolModbusRtu, [&] { p.engine.modbusRtuReadRegisters(115, 1); }, rtuReadReply({800}));
}

Step steps(std::initializer_list<Step> list)
{
    const QList<Step> all(list);
    return [all](EngineProbe &p) {
        for (const Step &step : all)
            step(p);
    };
}

} // namespace

class tst_mppt_companions : public QObject
{
    Q_OBJECT
private slots:
    void writes_data();
    void writes();
    void mostRecentOfReadAndWrittenIsSent();
    void refusedWriteDoesNotCountAsWritten();
    void baudRateWithoutDefineCodeIsRefused_data();
    void baudRateWithoutDefineCodeIsRefused();
};

void tst_mppt_companions::writes_data()
{
    QTest::addColumn<Step>("known");
    QTest::addColumn<Step>("write");
    QTest::addColumn<QByteArray>("expected");   // empty: refused
    const QByteArray refused;
    const Step nothing = [](EngineProbe &) {};
    auto row = [](const char *name, Step known, Step write, const QByteArray &frame) {
        QTest::newRow(name) << known << write << frame;
    };

    // A new engine knows none of them.
    row("absorb time, new engine", nothing, [](EngineProbe &p) { p.engine.writeAbsorbTime(150); }, refused);
    row("absorb voltage, new engine", nothing, [](EngineProbe &p) { p.engine.writeAbsorbVoltage(1440); }, refused);
    row("equalize voltage, new engine", nothing, [](EngineProbe &p) { p.engine.writeEqualizeVoltage(1460); }, refused);
    row("equalize time, new engine", nothing, [](EngineProbe &p) { p.engine.writeEqualizeTime(60); }, refused);
    row("battery type, new engine", nothing, [](EngineProbe &p) { p.engine.writeBatteryType(1); }, refused);
    row("lithium capacity, new engine", nothing, [](EngineProbe &p) { p.engine.writeLithiumCapacity(1000); }, refused);
    row("load mode, new engine", nothing, [](EngineProbe &p) { p.engine.writeLoadMode(0); }, refused);
    row("night time, new engine", nothing, [](EngineProbe &p) { p.engine.writeNightTime1(600); }, refused);
    row("builder 0x91 called directly, new engine", nothing, [](EngineProbe &p) { p.engine.defineWriteAbsorbSettings(); }, refused);
    row("builder 0x98 called directly, new engine", nothing, [](EngineProbe &p) { p.engine.defineWriteLoadSettings(); }, refused);
    row("night time with the load mode still unknown", nightTimesRead,
        [](EngineProbe &p) { p.engine.writeNightTime1(600); }, refused);
    row("battery type with the capacity still unknown", batterySettingsRead,
        [](EngineProbe &p) { p.engine.writeBatteryType(1); }, refused);
    row("out-of-range load mode with the mode unknown", steps({nightTimesRead}),
        [](EngineProbe &p) { p.engine.writeLoadMode(7); }, refused);

    // Taken from what the controller reported under Define.
    row("absorb time 150 min, voltage read", batterySettingsRead, [](EngineProbe &p) { p.engine.writeAbsorbTime(150); },
        defineFrame("8e 01 91 33 05 a0 02 00 00 00 00 00 00 00 ab"));
    row("absorb voltage, hours read", batterySettingsRead, [](EngineProbe &p) { p.engine.writeAbsorbVoltage(1450); },
        defineFrame("8e 01 91 33 05 aa 03 00 00 00 00 00 00 00 ab"));
    row("equalize time, voltage read", batterySettingsRead, [](EngineProbe &p) { p.engine.writeEqualizeTime(60); },
        defineFrame("8e 01 93 35 05 b4 01 00 00 00 00 00 00 00 ad"));
    row("equalize voltage, hours read", batterySettingsRead, [](EngineProbe &p) { p.engine.writeEqualizeVoltage(1470); },
        defineFrame("8e 01 93 35 05 be 02 00 00 00 00 00 00 00 ad"));
    row("builder 0x91 called directly sends what was read", batterySettingsRead,
        [](EngineProbe &p) { p.engine.defineWriteAbsorbSettings(); },
        defineFrame("8e 01 91 33 05 a0 03 00 00 00 00 00 00 00 ab"));
    row("load mode Normal, night times read", nightTimesRead, [](EngineProbe &p) { p.engine.writeLoadMode(0); },
        defineFrame("8e 01 98 3a 0f 02 05 00 00 00 00 00 00 00 00"));
    row("load mode Light, night times read", nightTimesRead, [](EngineProbe &p) { p.engine.writeLoadMode(2); },
        defineFrame("8e 01 98 3a 0e 02 05 00 00 00 00 00 00 00 00"));
    row("night time, mode Light read", steps({nightTimesRead, loadModeRead}),
        [](EngineProbe &p) { p.engine.writeNightTime1(600); },
        defineFrame("8e 01 98 3a 0e 0a 05 00 00 00 00 00 00 00 00"));
    row("out-of-range load mode resends the one read", steps({nightTimesRead, loadModeRead}),
        [](EngineProbe &p) { p.engine.writeLoadMode(7); },
        defineFrame("8e 01 98 3a 0e 02 05 00 00 00 00 00 00 00 00"));
    row("battery type, capacity read", lithiumCapacityRead, [](EngineProbe &p) { p.engine.writeBatteryType(3); },
        defineFrame("8e 01 96 38 00 03 03 e8 00 00 00 00 00 00 b0"));
    row("lithium capacity, battery type read", batterySettingsRead, [](EngineProbe &p) { p.engine.writeLithiumCapacity(1200); },
        defineFrame("8e 01 96 38 00 04 04 b0 00 00 00 00 00 00 b0"));

    // Taken from Modbus reads: converted to the unit and code of the frame.
    row("absorb time, voltage read under Modbus", modbusSettingsRead, [](EngineProbe &p) { p.engine.writeAbsorbTime(120); },
        defineFrame("8e 01 91 33 05 dc 02 00 00 00 00 00 00 00 ab"));
    row("equalize voltage, hours read under Modbus", modbusSettingsRead, [](EngineProbe &p) { p.engine.writeEqualizeVoltage(1530); },
        defineFrame("8e 01 93 35 05 fa 01 00 00 00 00 00 00 00 ad"));
    row("night time, mode and times read under Modbus", modbusSettingsRead, [](EngineProbe &p) { p.engine.writeNightTime2(600); },
        defineFrame("8e 01 98 3a 0f 02 0a 00 00 00 00 00 00 00 00"));
    row("lithium capacity, Modbus SEAL is Define code 3", modbusSettingsRead,
        [](EngineProbe &p) { p.engine.writeLithiumCapacity(1200); },
        defineFrame("8e 01 96 38 00 03 04 b0 00 00 00 00 00 00 b0"));

    // Taken from what was written under Modbus.
    row("absorb time, voltage written under Modbus",
        [](EngineProbe &p) { answer(p, ProtocolModbusRtu, [&] { p.engine.writeAbsorbVoltage(1500); }, rtuFrame("01 10 00 1e 00 01")); },
        [](EngineProbe &p) { p.engine.writeAbsorbTime(180); },
        defineFrame("8e 01 91 33 05 dc 03 00 00 00 00 00 00 00 ab"));
    row("lithium capacity, battery type SEAL written under Modbus",
        [](EngineProbe &p) { answer(p, ProtocolModbusRtu, [&] { p.engine.writeBatteryType(2); }, rtuFrame("01 10 00 32 00 01")); },
        [](EngineProbe &p) { p.engine.writeLithiumCapacity(1200); },
        defineFrame("8e 01 96 38 00 03 04 b0 00 00 00 00 00 00 b0"));
}

void tst_mppt_companions::writes()
{
    QFETCH(Step, known);
    QFETCH(Step, write);
    QFETCH(QByteArray, expected);

    EngineProbe probe(ProtocolDefine, ControllerMppt);
    known(probe);
    probe.reset();
    write(probe);
    if (expected.isEmpty()) {
        QCOMPARE(probe.sent, QList<QByteArray>());
        QCOMPARE(probe.failures, 1);
        return;
    }
    QCOMPARE(probe.failures, 0);
    QCOMPARE(probe.sent.size(), 1);
    QCOMPARE(probe.sent.first().toHex(' '), expected.toHex(' '));
}

void tst_mppt_companions::mostRecentOfReadAndWrittenIsSent()
{
    EngineProbe probe(ProtocolDefine, ControllerMppt);
    batterySettingsRead(probe);   // absorb 14.40 V

    probe.engine.writeAbsorbVoltage(1450);
    QCOMPARE(probe.sent.last().mid(4, 3).toHex(' '), QByteArray("05 aa 03"));
    probe.engine.writeAbsorbTime(60);
    QCOMPARE(probe.sent.last().mid(4, 3).toHex(' '), QByteArray("05 aa 01"));
    QCOMPARE(probe.engine.registerImage[30], 1450u);

    batterySettingsRead(probe);   // the controller reports 14.40 V and 3 h again
    probe.engine.writeAbsorbTime(120);
    QCOMPARE(probe.sent.last().mid(4, 3).toHex(' '), QByteArray("05 a0 02"));
    probe.engine.writeAbsorbVoltage(1460);
    QCOMPARE(probe.sent.last().mid(4, 3).toHex(' '), QByteArray("05 b4 02"));
    QCOMPARE(probe.failures, 0);
}

// Neither a refused write nor a write the controller type does not take puts
// a value on the controller, so neither makes a companion known.
void tst_mppt_companions::refusedWriteDoesNotCountAsWritten()
{
    EngineProbe probe(ProtocolDefine, ControllerMppt);
    probe.engine.writeAbsorbTime(150);
    probe.engine.writeAbsorbVoltage(1440);
    QCOMPARE(probe.failures, 2);

    probe.engine.setControllerType(ControllerPwm);
    probe.engine.writeNightTime1(600);
    probe.engine.writeNightTime2(600);
    probe.engine.setControllerType(ControllerMppt);
    probe.engine.writeLoadMode(1);
    QCOMPARE(probe.failures, 5);
    QVERIFY(probe.sent.isEmpty());
}

void tst_mppt_companions::baudRateWithoutDefineCodeIsRefused_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("code");
    QTest::newRow("76800 to MPPT") << int(ControllerMppt) << 7;
    QTest::newRow("76800 to PWM") << int(ControllerPwm) << 7;
    QTest::newRow("unknown code to MPPT") << int(ControllerMppt) << 9;
    QTest::newRow("negative code to MPPT") << int(ControllerMppt) << -1;
}

void tst_mppt_companions::baudRateWithoutDefineCodeIsRefused()
{
    QFETCH(int, type);
    QFETCH(int, code);
    EngineProbe probe(ProtocolDefine, type);
    probe.engine.registerImage[117] = 8;
    probe.engine.writeBaudRate(code);
    QCOMPARE(probe.sent, QList<QByteArray>());
    QCOMPARE(probe.failures, 1);
    QCOMPARE(probe.engine.registerImage[117], 8u);
    QCOMPARE(probe.engine.txLength, 0);
}

QTEST_GUILESS_MAIN(tst_mppt_companions)
#include "tst_mppt_companions.moc"
