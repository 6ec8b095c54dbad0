// The simulated controller against the real protocol engine, in-process: every
// read the engine sends is answered and decodes to the device's values, the
// same values whichever protocol is spoken, and every write changes the
// device's register and reads back.
#include <QtTest>

#include <functional>
#include <iterator>

#include "engine_wire.h"

namespace {

using Getter = std::function<QVariant(const DeviceData &)>;

QString clockText(const DeviceData &d)
{
    return QStringLiteral("%1-%2-%3 %4:%5:%6").arg(d.clockYear).arg(d.clockMonth).arg(d.clockDay)
        .arg(d.clockHour).arg(d.clockMinute).arg(d.clockSecond);
}

// A device state in which every value differs from the defaults and from its
// neighbours, with the codes that tell the protocol tables apart: battery
// type FLD (Modbus 3, Define 2), load mode Light (PWM 3 << 5, MPPT 3), baud
// 57600 (Define 7), a 24 V system, temperatures below zero.
void stageDevice(SimulatedDevice &d)
{
    struct Value { int reg; int value; };
    const Value values[] = {
        {SimReg::PvVoltage, 1875}, {SimReg::PvCurrent, 523}, {SimReg::PvPower, 980}, {SimReg::PvState, 1},
        {SimReg::BatteryVoltage, 2602}, {SimReg::BatteryTemperature, -7}, {SimReg::BatteryCurrent, 378},
        {SimReg::LoadCurrent, 145}, {SimReg::SystemVoltage, 2}, {SimReg::BatteryCapacity, 77},
        {SimReg::ChargeStage, 3}, {SimReg::InternalTemperature, -3},
        {SimReg::GeneratedChargeTotal, 1111}, {SimReg::ConsumedChargeTotal, 2222},
        {SimReg::GeneratedEnergyTotal, 333}, {SimReg::ConsumedEnergyTotal, 444},
        {SimReg::FloatVoltage, 2760}, {SimReg::AbsorbVoltage, 2880}, {SimReg::EqualizeVoltage, 2920},
        {SimReg::AbsorbTime, 3}, {SimReg::EqualizeTime, 2}, {SimReg::TemperatureCompensation, -5},
        {SimReg::LowVoltageProtect, 2220}, {SimReg::LowVoltageRecover, 2440}, {SimReg::LoadMode, 2},
        {SimReg::NightTime1, 480}, {SimReg::NightTime2, 120}, {SimReg::LoadTimer1, 0x0612},
        {SimReg::LoadTimer2, 0x1230}, {SimReg::LightOnVoltage, 1000}, {SimReg::BatteryType, 3},
        {SimReg::SystemVoltageSetting, 2}, {SimReg::StatusWord, 0x0005}, {SimReg::RatedChargeCurrent, 30},
        {SimReg::RatedDischargeCurrent, 30}, {SimReg::Register59, 9}, {SimReg::Register62, 11},
        {SimReg::LoadPower, 377}, {SimReg::ClockYearMonth, 0x1905}, {SimReg::ClockDayHour, 0x0C0D},
        {SimReg::ClockMinuteSecond, 0x0E0F}, {SimReg::ChargeLimit, 2400}, {SimReg::HardwareVersion, 23},
        {SimReg::SoftwareVersion, 105}, {SimReg::LithiumCapacity, 1500}, {SimReg::LithiumChargeVoltage, 1410},
        {SimReg::BaudRate, 5760}, {SimReg::Security, 0x0030},
    };
    for (const Value &v : values)
        d.setReg(v.reg, quint16(v.value));
    d.setDeviceModel(QStringLiteral("MODEL-ABCDEF"));
    d.setSerialNumber(QStringLiteral("SER-12345678"));
    d.setFactoryInfo(QStringLiteral("Factory text of thirty-six letters.."));
}

struct Field
{
    const char *name;
    Getter get;
    QVariant modbus;   // what the Modbus decoder makes of the staged registers
    bool shared;       // Define shows the same
};

#define FIELD(member, expected, shared) \
    Field{#member, [](const DeviceData &d) { return QVariant::fromValue(d.member); }, QVariant::fromValue(expected), shared}

QList<Field> fields()
{
    return {
        FIELD(pvVoltage, 1875u, true), FIELD(pvCurrent, 523u, true), FIELD(pvPower, 980u, true),
        FIELD(batteryVoltage, 2602u, true), FIELD(batteryTemperature, -7, true),
        FIELD(batteryCurrent, 378, true), FIELD(loadCurrent, 145u, true), FIELD(systemVoltage, 24u, true),
        FIELD(batteryCapacity, 77u, true), FIELD(chargeStageText, QStringLiteral("Float"), true),
        FIELD(internalTemperature, -3, true), FIELD(floatVoltage, 2760u, true),
        FIELD(absorbVoltage, 2880u, true), FIELD(equalizeVoltage, 2920u, true),
        FIELD(absorbTime, 3u, false), FIELD(equalizeTime, 2u, false),
        FIELD(temperatureCompensation, -5, true), FIELD(lowVoltageProtect, 2220u, true),
        FIELD(lowVoltageRecover, 2440u, true), FIELD(loadModeText, QStringLiteral("Light"), true),
        FIELD(nightTime1, 480u, true), FIELD(nightTime2, 120u, true), FIELD(loadTimer1, 0x0612u, true),
        FIELD(loadTimer2, 0x1230u, true), FIELD(lightOnVoltage, 1000u, true),
        FIELD(batteryTypeText, QStringLiteral("FLD"), true),
        FIELD(systemVoltageText, QStringLiteral("Fixed 24V"), true), FIELD(statusWord, 5u, true),
        FIELD(ratedChargeCurrent, 30u, true), FIELD(ratedDischargeCurrent, 30u, true),
        FIELD(register59, 9u, true), FIELD(register62, 11u, true), FIELD(loadPower, 377u, true),
        FIELD(chargeLimit, 2400u, false), FIELD(versionInfo, QStringLiteral("HRV2.3,SFV10.5"), false),
        FIELD(deviceModel, QStringLiteral("MODEL-ABCDEF"), true),
        FIELD(serialNumber, QStringLiteral("SER-12345678"), true),
        FIELD(factoryInfo, QStringLiteral("Factory text of thirty-six letters.."), false),
        FIELD(lithiumCapacity, 1500u, true), FIELD(lithiumChargeVoltage, 1410u, true),
        FIELD(baudRateText, QStringLiteral("57600"), true),
        FIELD(encryptionText, QStringLiteral("未加密"), true), FIELD(calibrationText, QStringLiteral("已校准"), true),
        FIELD(generatedChargeTotal(), 1111u, true), FIELD(consumedChargeTotal(), 2222u, true),
        FIELD(generatedEnergyTotal(), 333u, true), FIELD(consumedEnergyTotal(), 444u, true),
        Field{"clock", [](const DeviceData &d) { return QVariant(clockText(d)); },
              QStringLiteral("25-5-12 13:14:15"), true},
    };
}

using Op = void (com_protocol_solar::*)();

struct DefineRead
{
    const char *name;
    Op op;
};

const DefineRead defineReads[] = {
    {"0x01", &com_protocol_solar::defineReadRunData},
    {"0x02", &com_protocol_solar::defineReadTotalsAndLimits},
    {"0x04", &com_protocol_solar::defineReadChargeStage},
    {"0x05", &com_protocol_solar::defineReadBatterySettings},
    {"0x06", &com_protocol_solar::defineReadLoadSettings},
    {"0x07", &com_protocol_solar::defineReadGroup07},
    {"0x08", &com_protocol_solar::defineReadGroup08},
    {"0x09", &com_protocol_solar::defineReadEnergyTotals},
    {"0x0A", &com_protocol_solar::defineReadLithiumAndNightTimes},
    {"0x0B", &com_protocol_solar::defineReadLithiumCapacity},
    {"0x77", &com_protocol_solar::defineReadFactoryInfo},
    {"0x78", &com_protocol_solar::defineReadDeviceModel},
    {"0x79", &com_protocol_solar::defineReadVersionAndRatings},
    {"0x81", &com_protocol_solar::readSerialNumber},
    {"0xC2", &com_protocol_solar::defineReadCalibrationState},
    {"0xC6", &com_protocol_solar::defineReadEncryptionState},
};

// --- writes ------------------------------------------------------------------

enum Link { DefinePwm = 1, DefineMppt = 2, ModbusRtu = 4, ModbusTcp = 8 };
constexpr int AnyModbus = ModbusRtu | ModbusTcp;
constexpr int AllLinks = DefinePwm | DefineMppt | AnyModbus;
constexpr int MpptOrModbus = DefineMppt | AnyModbus;

struct WriteCase
{
    const char *name;
    int links;
    std::function<void(com_protocol_solar &)> write;
    int reg;
    int before;          // register value staged before the write
    int modbusValue;     // register value after a Modbus write
    int defineValue;     // after a Define write
    Op defineRead;       // reads it back under Define
    Getter field;
    QVariant modbusField;
    QVariant defineField;
    int readCount = 1;   // registers read back under Modbus
};

#define GET(member) [](const DeviceData &d) { return QVariant::fromValue(d.member); }
#define CALL(expr) [](com_protocol_solar &e) { e.expr; }

QList<WriteCase> writeCases()
{
    using E = com_protocol_solar;
    return {
        {"float voltage", AllLinks, CALL(writeFloatVoltage(1390)), 29, 0x7777, 1390, 1390,
         &E::defineReadTotalsAndLimits, GET(floatVoltage), 1390u, 1390u},
        {"absorb voltage", AllLinks, CALL(writeAbsorbVoltage(1450)), 30, 0x7777, 1450, 1450,
         &E::defineReadBatterySettings, GET(absorbVoltage), 1450u, 1450u},
        {"equalize voltage", AllLinks, CALL(writeEqualizeVoltage(1470)), 31, 0x7777, 1470, 1470,
         &E::defineReadBatterySettings, GET(equalizeVoltage), 1470u, 1470u},
        {"absorb time", MpptOrModbus, CALL(writeAbsorbTime(180)), 32, 0x77, 3, 3,
         &E::defineReadBatterySettings, GET(absorbTime), 3u, 180u},
        {"equalize time", MpptOrModbus, CALL(writeEqualizeTime(120)), 33, 0x77, 2, 2,
         &E::defineReadBatterySettings, GET(equalizeTime), 2u, 120u},
        {"temperature compensation", MpptOrModbus, CALL(writeTemperatureCompensation(-4)), 34, 0x77,
         0xFFFC, 0xFFFC, &E::defineReadBatterySettings, GET(temperatureCompensation), -4, -4},
        {"low voltage protect", AllLinks, CALL(writeLowVoltageProtect(1105)), 35, 0x7777, 1105, 1105,
         &E::defineReadTotalsAndLimits, GET(lowVoltageProtect), 1105u, 1105u},
        {"low voltage recover", AllLinks, CALL(writeLowVoltageRecover(1225)), 36, 0x7777, 1225, 1225,
         &E::defineReadTotalsAndLimits, GET(lowVoltageRecover), 1225u, 1225u},
        {"load mode", MpptOrModbus, CALL(writeLoadMode(2)), 39, 1, 2, 2,
         &E::defineReadLoadSettings, GET(loadModeText), QStringLiteral("Light"), QStringLiteral("Light")},
        {"night time 1", MpptOrModbus, CALL(writeNightTime1(420)), 40, 0x77, 420, 420,
         &E::defineReadLithiumAndNightTimes, GET(nightTime1), 420u, 420u},
        {"night time 2", MpptOrModbus, CALL(writeNightTime2(180)), 41, 0x77, 180, 180,
         &E::defineReadLithiumAndNightTimes, GET(nightTime2), 180u, 180u},
        // Code 3 is FLD in register 50 but SEAL in the Define frames.
        {"battery type", MpptOrModbus, CALL(writeBatteryType(3)), 50, 1, 3, 2,
         &E::defineReadBatterySettings, GET(batteryTypeText), QStringLiteral("FLD"), QStringLiteral("SEAL")},
        {"system voltage", MpptOrModbus, CALL(writeSystemVoltage(2)), 51, 1, 2, 2,
         &E::defineReadVersionAndRatings, GET(systemVoltageText), QStringLiteral("Fixed 24V"),
         QStringLiteral("Fixed 24V")},
        // The fault bits of the control word do not raise faults on the device.
        {"load on", AllLinks, CALL(writeControlWord(0xFF7)), 54, 0x0008, 0, 0,
         &E::defineReadRunData, GET(statusWord), 0u, 0u},
        {"load off", AllLinks, CALL(writeControlWord(0x008)), 54, 0, 8, 8,
         &E::defineReadRunData, GET(statusWord), 8u, 8u},
        {"clock", AllLinks, CALL(writeClock(2025, 3, 4, 5, 6, 7)), 64, 0x7777, 0x1903, 0x1903,
         &E::defineReadLithiumAndNightTimes, clockText, QStringLiteral("25-3-4 5:6:7"),
         QStringLiteral("25-3-4 5:6:7"), 3},
        {"lithium capacity", MpptOrModbus, CALL(writeLithiumCapacity(1600)), 115, 0x7777, 1600, 1600,
         &E::defineReadLithiumCapacity, GET(lithiumCapacity), 1600u, 1600u},
        {"lithium charge voltage", MpptOrModbus, CALL(writeLithiumChargeVoltage(1430)), 116, 0x7777, 1430,
         1430, &E::defineReadLithiumAndNightTimes, GET(lithiumChargeVoltage), 1430u, 1430u},
        {"baud rate", MpptOrModbus, CALL(writeBaudRate(6)), 117, 960, 5760, 5760,
         &E::defineReadVersionAndRatings, GET(baudRateText), QStringLiteral("57600"), QStringLiteral("57600")},
        {"clear generated charge", MpptOrModbus, CALL(clearGeneratedChargeTotal()), 16, 1234, 0, 0,
         &E::defineReadTotalsAndLimits, GET(generatedChargeTotal()), 0u, 0u},
        {"clear consumed charge", MpptOrModbus, CALL(clearConsumedChargeTotal()), 20, 1234, 0, 0,
         &E::defineReadTotalsAndLimits, GET(consumedChargeTotal()), 0u, 0u},
        {"clear generated energy", AnyModbus, CALL(clearGeneratedEnergyTotal()), 24, 1234, 0, 0,
         nullptr, GET(generatedEnergyTotal()), 0u, {}},
        {"clear consumed energy", AnyModbus, CALL(clearConsumedEnergyTotal()), 28, 1234, 0, 0,
         nullptr, GET(consumedEnergyTotal()), 0u, {}},
        {"load timer 1", AnyModbus, CALL(writeLoadTimer1(6, 30)), 42, 0x7777, 0x061E, 0,
         nullptr, GET(loadTimer1), 0x061Eu, {}},
        {"light on voltage", AnyModbus, CALL(writeLightOnVoltage(520)), 46, 0x7777, 520, 0,
         nullptr, GET(lightOnVoltage), 520u, {}},
        {"over voltage protect", AnyModbus, CALL(writeOverVoltageProtect(1620)), 52, 0x7777, 1620, 0,
         nullptr, GET(overVoltageProtect), 1620u, {}},
    };
}

struct LinkInfo
{
    Link link;
    const char *name;
    ProtocolKind protocol;
    ControllerType type;
};

const LinkInfo links[] = {
    {DefinePwm, "Define PWM", ProtocolDefine, ControllerPwm},
    {DefineMppt, "Define MPPT", ProtocolDefine, ControllerMppt},
    {ModbusRtu, "Modbus RTU", ProtocolModbusRtu, ControllerMppt},
    {ModbusTcp, "Modbus TCP", ProtocolModbusTcp, ControllerPwm},
};

} // namespace

Q_DECLARE_METATYPE(ProtocolKind)
Q_DECLARE_METATYPE(ControllerType)

class tst_sim_engine : public QObject
{
    Q_OBJECT

private slots:
    void sameValuesEitherProtocol_data();
    void sameValuesEitherProtocol();
    void writeChangesDeviceAndReadsBack_data();
    void writeChangesDeviceAndReadsBack();
    void resetReachesMpptController();
    void busAnswersOnlyItsAddresses_data();
    void busAnswersOnlyItsAddresses();
};

void tst_sim_engine::sameValuesEitherProtocol_data()
{
    QTest::addColumn<ControllerType>("type");
    QTest::addColumn<ProtocolKind>("modbus");
    QTest::newRow("PWM, Modbus RTU") << ControllerPwm << ProtocolModbusRtu;
    QTest::newRow("MPPT, Modbus TCP") << ControllerMppt << ProtocolModbusTcp;
}

void tst_sim_engine::sameValuesEitherProtocol()
{
    QFETCH(ControllerType, type);
    QFETCH(ProtocolKind, modbus);
    SimulatedController sim(modbus, type);
    stageDevice(*sim.device(1));

    com_protocol_solar viaModbus;
    viaModbus.setProtocol(modbus);
    EngineWire modbusWire(sim, viaModbus);
    // Twice, so texts built across two responses are complete.
    for (int pass = 0; pass < 2; ++pass)
        for (int start = 1; start <= 136; start += 18)
            QVERIFY2(modbusWire.read(start, qMin(18, 137 - start)), qPrintable(QString::number(start)));

    const QList<Field> all = fields();
    for (const Field &f : all)
        QVERIFY2(f.get(viaModbus.deviceData) == f.modbus,
                 qPrintable(QStringLiteral("Modbus %1: %2, expected %3").arg(QLatin1String(f.name),
                     f.get(viaModbus.deviceData).toString(), f.modbus.toString())));

    sim.setProtocol(ProtocolDefine);
    com_protocol_solar viaDefine;
    viaDefine.setProtocol(ProtocolDefine);
    viaDefine.setControllerType(type);
    EngineWire defineWire(sim, viaDefine);
    for (const DefineRead &r : defineReads)
        QVERIFY2(defineWire.run([&] { (viaDefine.*r.op)(); }), r.name);

    for (const Field &f : all)
        if (f.shared)
            QVERIFY2(f.get(viaDefine.deviceData) == f.get(viaModbus.deviceData),
                     qPrintable(QStringLiteral("Define %1: %2, Modbus %3").arg(QLatin1String(f.name),
                         f.get(viaDefine.deviceData).toString(), f.get(viaModbus.deviceData).toString())));
    // Where the two protocols differ by design.
    const DeviceData &d = viaDefine.deviceData;
    QCOMPARE(d.absorbTime, 180u);
    QCOMPARE(d.equalizeTime, 120u);
    QCOMPARE(d.chargeLimit, 24u);
    QCOMPARE(d.versionInfo, QStringLiteral("HRV2.3"));
    QCOMPARE(d.factoryInfo, QStringLiteral("Factory text"));
    QCOMPARE(d.loadVoltage, 2602u);
}

void tst_sim_engine::writeChangesDeviceAndReadsBack_data()
{
    QTest::addColumn<int>("caseIndex");
    QTest::addColumn<int>("linkIndex");
    const QList<WriteCase> cases = writeCases();
    for (int c = 0; c < cases.size(); ++c)
        for (int l = 0; l < int(std::size(links)); ++l)
            if (cases[c].links & links[l].link)
                QTest::newRow(qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(links[l].name),
                                                                       QLatin1String(cases[c].name))))
                    << c << l;
}

void tst_sim_engine::writeChangesDeviceAndReadsBack()
{
    QFETCH(int, caseIndex);
    QFETCH(int, linkIndex);
    const WriteCase c = writeCases().at(caseIndex);
    const LinkInfo &link = links[linkIndex];
    const bool define = link.protocol == ProtocolDefine;

    SimulatedController sim(link.protocol, link.type);
    SimulatedDevice &device = *sim.device(1);
    device.setReg(c.reg, quint16(c.before));
    com_protocol_solar engine;
    engine.setProtocol(link.protocol);
    engine.setControllerType(link.type);
    EngineWire wire(sim, engine);

    // The MPPT frames that carry several settings need the others known, as
    // an operator has them after "Read configuration".
    if (define)
        for (Op read : {&com_protocol_solar::defineReadBatterySettings, &com_protocol_solar::defineReadLoadSettings,
                        &com_protocol_solar::defineReadLithiumAndNightTimes,
                        &com_protocol_solar::defineReadLithiumCapacity})
            QVERIFY(wire.run([&] { (engine.*read)(); }));
    QVector<quint16> expected = device.registers();

    QVERIFY(wire.run([&] { c.write(engine); }));
    QCOMPARE(int(device.reg(c.reg)), define ? c.defineValue : c.modbusValue);
    // Nothing else moved: companions went out as the device held them.
    for (int r = c.reg; r < c.reg + c.readCount; ++r)
        expected[r] = device.reg(r);
    QCOMPARE(device.registers(), expected);

    QVERIFY(define ? wire.run([&] { (engine.*c.defineRead)(); }) : wire.read(c.reg, c.readCount));
    QCOMPARE(c.field(engine.deviceData), define ? c.defineField : c.modbusField);
}

void tst_sim_engine::resetReachesMpptController()
{
    SimulatedController sim(ProtocolDefine, ControllerMppt);
    com_protocol_solar engine;
    engine.setControllerType(ControllerMppt);
    EngineWire wire(sim, engine);
    const QVector<quint16> before = sim.device(1)->registers();
    QVERIFY(wire.run([&] { engine.resetController(); }));
    QCOMPARE(sim.device(1)->resetCount(), 1);
    QCOMPARE(sim.device(1)->registers(), before);   // settings survive a reset

    // A PWM controller does not know the MPPT command: it stays silent.
    sim.setControllerType(ControllerPwm);
    QVERIFY(!wire.run([&] { engine.defineResetController(); }));
    QCOMPARE(sim.device(1)->resetCount(), 1);
    QCOMPARE(sim.requestCount(), 2);
}

void tst_sim_engine::busAnswersOnlyItsAddresses_data()
{
    QTest::addColumn<ProtocolKind>("protocol");
    QTest::newRow("Define") << ProtocolDefine;
    QTest::newRow("Modbus RTU") << ProtocolModbusRtu;
    QTest::newRow("Modbus TCP") << ProtocolModbusTcp;
}

void tst_sim_engine::busAnswersOnlyItsAddresses()
{
    QFETCH(ProtocolKind, protocol);
    SimulatedController sim(protocol, ControllerMppt);
    sim.addDevice(2)->setDeviceModel(QStringLiteral("SECOND"));
    sim.addDevice(7)->setDeviceModel(QStringLiteral("SEVENTH"));
    com_protocol_solar engine;
    engine.setProtocol(protocol);
    engine.setControllerType(ControllerMppt);
    EngineWire wire(sim, engine);

    QStringList seen;
    for (int address = 1; address <= 8; ++address) {
        engine.setSlaveAddress(quint8(address));
        const bool answered = protocol == ProtocolDefine
            ? wire.run([&] { engine.defineReadDeviceModel(); }) : wire.read(72, 12);
        if (answered)
            seen << QStringLiteral("%1 %2").arg(address).arg(engine.deviceData.deviceModel.trimmed());
    }
    QCOMPARE(seen, QStringList({"1 SIM-MPPT2012", "2 SECOND", "7 SEVENTH"}));
    QCOMPARE(sim.requestCount(), 8);
}

QTEST_GUILESS_MAIN(tst_sim_engine)
#include "tst_sim_engine.moc"
