// Parameter actions by id on a bare core, against the simulated controller
// under each protocol and controller type: which frame goes out (or that
// none does), how the action ends and what the core then shows for the id.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include "monitor_core.h"
#include "monitor_core_probe.h"
#include "parameter_table.h"
#include "simulated_controller.h"
#include "temp_workdir.h"

namespace {

using Outcome = MonitorCore::ParameterOutcome;
using Id = ParameterId;

enum class Via { DefinePwm, DefineMppt, ModbusRtu, ModbusTcp };
const Via allVias[] = {Via::DefinePwm, Via::DefineMppt, Via::ModbusRtu, Via::ModbusTcp};

ProtocolKind protocolOf(Via via)
{
    switch (via) {
    case Via::ModbusRtu: return ProtocolModbusRtu;
    case Via::ModbusTcp: return ProtocolModbusTcp;
    default: return ProtocolDefine;
    }
}
ControllerType typeOf(Via via) { return via == Via::DefinePwm ? ControllerPwm : ControllerMppt; }
bool isModbus(Via via) { return protocolOf(via) != ProtocolDefine; }
const char *nameOf(Via via)
{
    static const char *const names[] = {"Define PWM", "Define MPPT", "Modbus RTU", "Modbus TCP"};
    return names[int(via)];
}

// A core connected to an in-process simulator (Modbus RTU over a pty, the
// rest over TCP), its refresh cycle held so only the actions reach the device.
struct CoreRig
{
    explicit CoreRig(Via via) : via(via), sim(protocolOf(via), typeOf(via))
    {
        const QString protocol = configProtocol(protocolOf(via));
        const QString controller = configController(typeOf(via));
        if (via == Via::ModbusRtu)
            dir.writeConfig(serialConfigText(sim.openPty(), 115200, 1, protocol, controller));
        else
            dir.writeConfig(tcpConfigText(sim.listenTcp(), protocol, controller));
        QObject::connect(&core, &MonitorCore::frameSent, &core,
                         [this](const QByteArray &f) { if (!f.isEmpty()) sent.append(f); });
    }

    bool connect()
    {
        core.refreshTimer.stop();
        core.connectLink();
        const bool up = QTest::qWaitFor([this] { return core.linkIsUp(); }, 3000);
        core.refreshTimer.stop();
        core.mainEngine.setResponseTimeout(150);
        core.mainEngine.setMaxRetries(1);
        return up;
    }

    // One action as the page runs it; the outcome the core told.
    Outcome run(const std::function<int()> &action)
    {
        QSignalSpy finished(&core, &MonitorCore::parameterFinished);
        sent.clear();
        if (!core.beginParameterAction())
            return Outcome::LinkDown;
        action();
        core.endParameterAction();
        if (finished.size() != 1)
            return Outcome(-1);
        return finished.at(0).at(0).value<Outcome>();
    }
    Outcome read(Id id) { return run([&] { return core.readParameter(id); }); }
    Outcome write(Id id, const QString &input)
    {
        return run([&] { return core.writeParameter(id, input); });
    }

    // The MPPT Define frames that carry several settings need the groups
    // they come from read first.
    bool readGroups()
    {
        for (Id id : {Id::BatteryType, Id::LithiumCapacity, Id::LoadMode, Id::LithiumChargeVoltage}) {
            if (read(id) != Outcome::Answered)
                return false;
        }
        return true;
    }

    SimulatedDevice &device() { return *sim.device(1); }

    Via via;
    TempWorkDir dir;
    SimulatedController sim;
    MonitorCore core;
    QList<QByteArray> sent;
};

// Define request frames carry their command code in byte 2.
int defineCode(const QByteArray &frame) { return frame.size() > 2 ? quint8(frame.at(2)) : -1; }

// Modbus: function, first register and count (or the first value written).
struct ModbusPdu
{
    int function = -1;
    int start = -1;
    int second = -1;
};
ModbusPdu pduOf(const QByteArray &frame, Via via)
{
    const int at = via == Via::ModbusTcp ? 7 : 1;
    ModbusPdu pdu;
    if (frame.size() < at + 5)
        return pdu;
    const auto word = [&](int i) { return quint8(frame.at(i)) << 8 | quint8(frame.at(i + 1)); };
    pdu.function = quint8(frame.at(at));
    pdu.start = word(at + 1);
    // 0x03: the count; 0x10: the first value, after count and byte count.
    pdu.second = pdu.function == 0x10 ? word(at + 6) : word(at + 3);
    return pdu;
}

} // namespace

Q_DECLARE_METATYPE(Via)
Q_DECLARE_METATYPE(ParameterId)
Q_DECLARE_METATYPE(DeviceCommand)

class tst_parameter_core : public QObject
{
    Q_OBJECT

private slots:
    void readById_data();
    void readById();
    void writeById_data();
    void writeById();
    void readOnlyIdRefusesAWrite();
    void unknownControllerSettingEndsTheDefineRead();
    void commands_data();
    void commands();
};

// --- reads ------------------------------------------------------------------

void tst_parameter_core::readById_data()
{
    QTest::addColumn<Via>("via");
    QTest::addColumn<ParameterId>("id");
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("defineCode");   // the Define read that answers, -1: none
    QTest::addColumn<QString>("shown");

    struct Case
    {
        const char *name;
        Id id;
        int reg;
        int value;
        int pwmCode;    // Define read with a PWM controller, -1: none
        int mpptCode;   // ... with an MPPT controller
        const char *modbusShown;
        const char *defineShown;
    };
    // The Define groups: 0x02 totals and limits, 0x05 battery settings,
    // 0x06 load settings, 0x0A lithium and night times, 0x0B lithium
    // capacity, 0x79 version and ratings. Times travel in hours under Define.
    const Case cases[] = {
        {"float voltage", Id::FloatVoltage, 29, 1380, 0x05, 0x02, "13.80", "13.80"},
        {"absorb voltage", Id::AbsorbVoltage, 30, 1440, 0x05, 0x05, "14.40", "14.40"},
        {"equalize voltage", Id::EqualizeVoltage, 31, 1460, 0x05, 0x05, "14.60", "14.60"},
        {"absorb time", Id::AbsorbTime, 32, 3, 0x05, 0x05, "3", "180"},
        {"equalize time", Id::EqualizeTime, 33, 2, 0x05, 0x05, "2", "120"},
        {"negative compensation", Id::TemperatureCompensation, 34, 0xFFFD, 0x05, 0x05, "-3", "-3"},
        {"lithium capacity", Id::LithiumCapacity, 115, 2000, -1, 0x0B, "200.0", "200.0"},
        {"lithium voltage", Id::LithiumChargeVoltage, 116, 1420, -1, 0x0A, "14.20", "14.20"},
        {"charge limit", Id::ChargeLimit, 68, 1440, -1, -1, "14.40", ""},
        {"low voltage protect", Id::LowVoltageProtect, 35, 1110, 0x02, 0x02, "11.10", "11.10"},
        {"low voltage recover", Id::LowVoltageRecover, 36, 1250, 0x02, 0x02, "12.50", "12.50"},
        {"over voltage protect", Id::OverVoltageProtect, 52, 1500, -1, -1, "15.00", ""},
        {"over voltage recover", Id::OverVoltageRecover, 53, 1440, -1, -1, "14.40", ""},
        {"battery type", Id::BatteryType, 50, 3, 0x05, 0x05, "FLD", "FLD"},
        {"baud rate", Id::BaudRate, 117, 960, -1, 0x79, "9600", "9600"},
        {"load mode", Id::LoadMode, 39, 1, 0x06, 0x06, "Light time", "Light time"},
        {"light on", Id::LightOn, 46, 1200, 0x06, 0x06, "12.00", "12.00"},
        {"light off", Id::LightOff, 47, 1150, -1, -1, "11.50", ""},
        {"night time 1", Id::NightTime1, 40, 180, -1, 0x0A, "180", "180"},
        {"night time 2", Id::NightTime2, 41, 240, -1, 0x0A, "240", "240"},
    };
    for (Via via : allVias) {
        for (const Case &c : cases) {
            const int code = isModbus(via) ? -1 : via == Via::DefinePwm ? c.pwmCode : c.mpptCode;
            QTest::newRow(qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(nameOf(via)),
                                                                   QLatin1String(c.name))))
                << via << c.id << c.reg << c.value << code
                << QString::fromLatin1(isModbus(via) ? c.modbusShown : c.defineShown);
        }
        // The system voltage sits in register 9 for the Define answers.
        QTest::newRow(qPrintable(QStringLiteral("%1: system voltage").arg(QLatin1String(nameOf(via)))))
            << via << Id::SystemVoltage << 51 << 2
            << (isModbus(via) ? -1 : via == Via::DefinePwm ? 0x05 : 0x79) << QStringLiteral("Fixed 24V");
    }
}

void tst_parameter_core::readById()
{
    QFETCH(Via, via);
    QFETCH(ParameterId, id);
    QFETCH(int, reg);
    QFETCH(int, value);
    QFETCH(int, defineCode);
    QFETCH(QString, shown);

    CoreRig rig(via);
    QVERIFY(rig.connect());
    rig.device().setReg(reg, quint16(value));
    if (id == Id::SystemVoltage)
        rig.device().setReg(9, quint16(value));
    const QString before = rig.core.parameterText(id);

    const Outcome outcome = rig.read(id);

    QCOMPARE(rig.core.paramRequestState, 0);
    if (!isModbus(via) && defineCode < 0) {
        // Nothing this controller can be asked: refused before any frame.
        QCOMPARE(outcome, Outcome::NotAvailable);
        QVERIFY(rig.sent.isEmpty());
        QCOMPARE(rig.core.parameterText(id), before);
        return;
    }
    QCOMPARE(outcome, Outcome::Answered);
    QCOMPARE(rig.sent.size(), 1);
    if (isModbus(via)) {
        const ModbusPdu pdu = pduOf(rig.sent.first(), via);
        QCOMPARE(pdu.function, 0x03);
        QCOMPARE(pdu.start, reg);
        QCOMPARE(pdu.second, 1);
    } else {
        QCOMPARE(::defineCode(rig.sent.first()), defineCode);
    }
    QCOMPARE(rig.core.parameterText(id), shown);
}

// --- writes -----------------------------------------------------------------

void tst_parameter_core::writeById_data()
{
    QTest::addColumn<Via>("via");
    QTest::addColumn<ParameterId>("id");
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("stored");    // the device's register afterwards
    QTest::addColumn<Outcome>("outcome");

    enum Refused { Never = 0, OnPwm = 1, Always = 7 };
    struct Case
    {
        const char *name;
        Id id;
        const char *input;
        int reg;
        int stored;
        int refused;          // where no frame goes out
        Outcome refusal;      // and why
    };
    // Single precision, truncated toward zero: 10.11 × 100 is 1010.9999.
    const Case cases[] = {
        {"float 10.11", Id::FloatVoltage, "10.11", 29, 1010, Never, Outcome::Answered},
        {"float letters", Id::FloatVoltage, "abc", 29, 0, Never, Outcome::Answered},
        {"absorb 16.05", Id::AbsorbVoltage, "16.05", 30, 1604, Never, Outcome::Answered},
        {"equalize 13.8", Id::EqualizeVoltage, "13.8", 31, 1380, Never, Outcome::Answered},
        {"absorb time 150.9", Id::AbsorbTime, "150.9", 32, 2, OnPwm, Outcome::NotAvailable},
        {"compensation -3", Id::TemperatureCompensation, "-3", 34, 0xFFFD, OnPwm, Outcome::NotAvailable},
        {"lithium capacity 16.3", Id::LithiumCapacity, "16.3", 115, 162, OnPwm, Outcome::NotAvailable},
        {"low protect 11.1", Id::LowVoltageProtect, "11.1", 35, 1110, Never, Outcome::Answered},
        {"system voltage 24 V", Id::SystemVoltage, "Fixed 24V", 51, 2, OnPwm, Outcome::NotAvailable},
        {"system voltage not a code", Id::SystemVoltage, "Unknow", 51, -1, Always, Outcome::ValueRefused},
        {"battery type SEAL", Id::BatteryType, "SEAL", 50, 2, OnPwm, Outcome::NotAvailable},
        {"battery type not a code", Id::BatteryType, "Unknow", 50, -1, Always, Outcome::ValueRefused},
        {"baud 9600", Id::BaudRate, "9600", 117, 960, OnPwm, Outcome::NotAvailable},
        {"load mode Light", Id::LoadMode, "Light", 39, 2, OnPwm, Outcome::NotAvailable},
        {"load mode not a code", Id::LoadMode, "Unknow", 39, -1, Always, Outcome::ValueRefused},
        {"night time 180.7", Id::NightTime1, "180.7", 40, 180, OnPwm, Outcome::NotAvailable},
    };
    for (Via via : allVias) {
        for (const Case &c : cases) {
            const bool refused = c.refused == Always || (c.refused == OnPwm && via == Via::DefinePwm);
            QTest::newRow(qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(nameOf(via)),
                                                                   QLatin1String(c.name))))
                << via << c.id << QString::fromLatin1(c.input) << c.reg
                << (refused ? -1 : c.stored) << (refused ? c.refusal : Outcome::Answered);
        }
    }
}

void tst_parameter_core::writeById()
{
    QFETCH(Via, via);
    QFETCH(ParameterId, id);
    QFETCH(QString, input);
    QFETCH(int, reg);
    QFETCH(int, stored);
    QFETCH(Outcome, outcome);

    CoreRig rig(via);
    QVERIFY(rig.connect());
    if (via == Via::DefineMppt)
        QVERIFY(rig.readGroups());
    const quint16 sentinel = 0x1234;
    rig.device().setReg(reg, sentinel);

    QCOMPARE(rig.write(id, input), outcome);

    QCOMPARE(rig.core.paramRequestState, 0);
    if (outcome != Outcome::Answered) {
        QVERIFY(rig.sent.isEmpty());
        QCOMPARE(rig.device().reg(reg), sentinel);
        return;
    }
    QCOMPARE(rig.sent.size(), 1);
    QCOMPARE(int(rig.device().reg(reg)), stored);
    if (isModbus(via)) {
        const ModbusPdu pdu = pduOf(rig.sent.first(), via);
        QCOMPARE(pdu.function, 0x10);
        QCOMPARE(pdu.start, reg);
        QCOMPARE(pdu.second, stored);
    }
}

// A setting the controller only reports has no frame to carry it.
void tst_parameter_core::readOnlyIdRefusesAWrite()
{
    for (Via via : {Via::DefineMppt, Via::ModbusTcp}) {
        CoreRig rig(via);
        QVERIFY(rig.connect());
        for (Id id : {Id::ChargeLimit, Id::OverVoltageProtect, Id::OverVoltageRecover, Id::LightOn,
                      Id::LightOff}) {
            QVERIFY(!ParameterTable::writable(id));
            QCOMPARE(rig.write(id, QStringLiteral("14.4")), Outcome::NotAvailable);
            QVERIFY(rig.sent.isEmpty());
            QCOMPARE(rig.core.paramRequestState, 0);
        }
    }
}

// Where the configured type picks the Define read, a type the core does not
// know must still end the action, at once and without a frame; where the
// engine's own type picks it, the read goes on.
void tst_parameter_core::unknownControllerSettingEndsTheDefineRead()
{
    CoreRig rig(Via::DefineMppt);
    QVERIFY(rig.connect());
    MonitorCoreProbe::setControllerSetting(rig.core, QStringLiteral("Hybrid"));
    for (Id id : {Id::FloatVoltage, Id::SystemVoltage, Id::BaudRate, Id::NightTime1, Id::NightTime2}) {
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(rig.read(id), Outcome::NotAvailable);
        QVERIFY(clock.elapsed() < 100);
        QVERIFY(rig.sent.isEmpty());
    }
    rig.device().setReg(116, 1420);
    QCOMPARE(rig.read(Id::LithiumChargeVoltage), Outcome::Answered);
    QCOMPARE(rig.sent.size(), 1);
    QCOMPARE(defineCode(rig.sent.first()), 0x0A);
    QCOMPARE(rig.core.parameterText(Id::LithiumChargeVoltage), QStringLiteral("14.20"));
}

// --- commands ---------------------------------------------------------------

void tst_parameter_core::commands_data()
{
    QTest::addColumn<Via>("via");
    QTest::addColumn<DeviceCommand>("command");
    QTest::addColumn<int>("reg");         // the total it clears, -1: reset
    QTest::addColumn<bool>("available");

    struct Case
    {
        const char *name;
        DeviceCommand command;
        int reg;
        bool onDefineMppt;   // Define offers only these, and only on MPPT
    };
    const Case cases[] = {
        {"clear generated charge", DeviceCommand::ClearGeneratedChargeTotal, 16, true},
        {"clear generated energy", DeviceCommand::ClearGeneratedEnergyTotal, 24, false},
        {"clear consumed charge", DeviceCommand::ClearConsumedChargeTotal, 20, true},
        {"clear consumed energy", DeviceCommand::ClearConsumedEnergyTotal, 28, false},
        {"reset", DeviceCommand::ResetController, -1, true},
    };
    for (Via via : allVias) {
        for (const Case &c : cases) {
            // The reset exists only as a Define frame.
            const bool available = via == Via::DefineMppt ? c.onDefineMppt
                                   : isModbus(via)       ? c.reg >= 0
                                                         : false;
            QTest::newRow(qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(nameOf(via)),
                                                                   QLatin1String(c.name))))
                << via << c.command << c.reg << available;
        }
    }
}

void tst_parameter_core::commands()
{
    QFETCH(Via, via);
    QFETCH(DeviceCommand, command);
    QFETCH(int, reg);
    QFETCH(bool, available);

    CoreRig rig(via);
    QVERIFY(rig.connect());
    if (reg >= 0)
        rig.device().setReg(reg, 0x0102);

    const Outcome outcome = rig.run([&] { return rig.core.runCommand(command); });

    QCOMPARE(rig.core.paramRequestState, 0);
    if (!available) {
        QCOMPARE(outcome, Outcome::NotAvailable);
        QVERIFY(rig.sent.isEmpty());
        if (reg >= 0)
            QCOMPARE(rig.device().reg(reg), quint16(0x0102));
        return;
    }
    QCOMPARE(outcome, Outcome::Answered);
    QCOMPARE(rig.sent.size(), 1);
    if (reg >= 0)
        QCOMPARE(rig.device().reg(reg), quint16(0));
    if (isModbus(via)) {
        const ModbusPdu pdu = pduOf(rig.sent.first(), via);
        QCOMPARE(pdu.function, 0x10);
        QCOMPARE(pdu.start, reg);
    }
}

QTEST_GUILESS_MAIN(tst_parameter_core)
#include "tst_parameter_core.moc"
