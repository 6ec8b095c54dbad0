// The parameter rows as data, in ParameterId order, and the few functions
// that read them.
#include "parameter_table.h"

#include <QCoreApplication>

#include <cmath>
#include <limits>

namespace ParameterTable {
namespace {

using Engine = com_protocol_solar;
using Id = ParameterId;

constexpr DefineRead sameRead(Request request) { return {request, request, ChosenBy::Nothing}; }
constexpr DefineRead noDefineRead() { return {nullptr, nullptr, ChosenBy::Nothing}; }
constexpr DefineRead bySetting(Request pwm, Request mppt) { return {pwm, mppt, ChosenBy::Setting}; }
constexpr DefineRead byEngineType(Request pwm, Request mppt) { return {pwm, mppt, ChosenBy::EngineType}; }

constexpr Shown v2(quint32 DeviceData::*m) { return {Format::V2, m, nullptr, nullptr}; }
constexpr Shown c1(quint32 DeviceData::*m) { return {Format::C1, m, nullptr, nullptr}; }
constexpr Shown u(quint32 DeviceData::*m) { return {Format::U, m, nullptr, nullptr}; }
constexpr Shown i(qint32 DeviceData::*m) { return {Format::I, nullptr, m, nullptr}; }
constexpr Shown l(QString DeviceData::*m) { return {Format::L, nullptr, nullptr, m}; }

constexpr FieldRange volts() { return {"V", 0, 655.35, 2, nullptr}; }
constexpr FieldRange ampereHours() { return {"Ah", 0, 6553.5, 1, nullptr}; }
constexpr FieldRange counts(int lowest, int highest) { return {"", double(lowest), double(highest), 0, nullptr}; }
constexpr FieldRange hoursInMinutes(int hours)
{
    return {QT_TRANSLATE_NOOP("MainWindow", "min"), 0, hours * 60.0, 0,
            QT_TRANSLATE_NOOP("MainWindow", "kept in whole hours")};
}
constexpr FieldRange listed() { return {nullptr, 0, 0, 0, nullptr}; }

constexpr Parameter readOnly(Id id, DefineRead define, quint16 reg, Shown shown, FieldRange range)
{
    return {id, define, reg, shown, nullptr, Scale::None, nullptr, nullptr, range};
}
constexpr Parameter scaled(Id id, DefineRead define, quint16 reg, Shown shown, Scale scale,
                           Write write, FieldRange range)
{
    return {id, define, reg, shown, write, scale, nullptr, nullptr, range};
}
constexpr Parameter coded(Id id, DefineRead define, quint16 reg, Shown shown, Write write,
                          const CodeTable *defineTable, const CodeTable *modbusTable)
{
    return {id, define, reg, shown, write, Scale::Code, defineTable, modbusTable, listed()};
}

constexpr Parameter parameters[] = {
    // battery and charging
    scaled(Id::FloatVoltage,
           bySetting(&Engine::defineReadBatterySettings, &Engine::defineReadTotalsAndLimits), 29,
           v2(&DeviceData::floatVoltage), Scale::S100, &Engine::writeFloatVoltage, volts()),
    scaled(Id::AbsorbVoltage, sameRead(&Engine::defineReadBatterySettings), 30,
           v2(&DeviceData::absorbVoltage), Scale::S1000By10, &Engine::writeAbsorbVoltage, volts()),
    scaled(Id::EqualizeVoltage, sameRead(&Engine::defineReadBatterySettings), 31,
           v2(&DeviceData::equalizeVoltage), Scale::S1000By10, &Engine::writeEqualizeVoltage, volts()),
    scaled(Id::AbsorbTime, sameRead(&Engine::defineReadBatterySettings), 32,
           u(&DeviceData::absorbTime), Scale::S1000By1000, &Engine::writeAbsorbTime, hoursInMinutes(255)),
    scaled(Id::EqualizeTime, sameRead(&Engine::defineReadBatterySettings), 33,
           u(&DeviceData::equalizeTime), Scale::S1000By1000, &Engine::writeEqualizeTime,
           hoursInMinutes(255)),
    scaled(Id::TemperatureCompensation, sameRead(&Engine::defineReadBatterySettings), 34,
           i(&DeviceData::temperatureCompensation), Scale::S1000By1000,
           &Engine::writeTemperatureCompensation, counts(-128, 127)),
    scaled(Id::LithiumCapacity, byEngineType(nullptr, &Engine::defineReadLithiumCapacity), 115,
           c1(&DeviceData::lithiumCapacity), Scale::S1000By100, &Engine::writeLithiumCapacity,
           ampereHours()),
    scaled(Id::LithiumChargeVoltage, byEngineType(nullptr, &Engine::defineReadLithiumAndNightTimes), 116,
           v2(&DeviceData::lithiumChargeVoltage), Scale::S1000By10, &Engine::writeLithiumChargeVoltage,
           volts()),
    readOnly(Id::ChargeLimit, noDefineRead(), 68, v2(&DeviceData::chargeLimit), volts()),

    // protection and communication
    scaled(Id::LowVoltageProtect, sameRead(&Engine::defineReadTotalsAndLimits), 35,
           v2(&DeviceData::lowVoltageProtect), Scale::S1000By10, &Engine::writeLowVoltageProtect, volts()),
    scaled(Id::LowVoltageRecover, sameRead(&Engine::defineReadTotalsAndLimits), 36,
           v2(&DeviceData::lowVoltageRecover), Scale::S1000By10, &Engine::writeLowVoltageRecover, volts()),
    readOnly(Id::OverVoltageProtect, noDefineRead(), 52, v2(&DeviceData::overVoltageProtect), volts()),
    readOnly(Id::OverVoltageRecover, noDefineRead(), 53, v2(&DeviceData::overVoltageRecover), volts()),
    coded(Id::SystemVoltage,
          bySetting(&Engine::defineReadBatterySettings, &Engine::defineReadVersionAndRatings), 51,
          l(&DeviceData::systemVoltageText), &Engine::writeSystemVoltage, &CodeTables::systemVoltage,
          &CodeTables::systemVoltage),
    // Modbus numbers the battery types in another order than Define does.
    coded(Id::BatteryType, sameRead(&Engine::defineReadBatterySettings), 50,
          l(&DeviceData::batteryTypeText), &Engine::writeBatteryType, &CodeTables::batteryTypeDefine,
          &CodeTables::batteryTypeModbus),
    coded(Id::BaudRate, bySetting(nullptr, &Engine::defineReadVersionAndRatings), 117,
          l(&DeviceData::baudRateText), &Engine::writeBaudRate, &CodeTables::baudRate,
          &CodeTables::baudRate),

    // load and light
    coded(Id::LoadMode, sameRead(&Engine::defineReadLoadSettings), 39, l(&DeviceData::loadModeText),
          &Engine::writeLoadMode, &CodeTables::loadModeModbus, &CodeTables::loadModeModbus),
    readOnly(Id::LightOn, sameRead(&Engine::defineReadLoadSettings), 46,
             v2(&DeviceData::lightOnVoltage), volts()),
    readOnly(Id::LightOff, noDefineRead(), 47, v2(&DeviceData::lightOffVoltage), volts()),
    scaled(Id::NightTime1, bySetting(nullptr, &Engine::defineReadLithiumAndNightTimes), 40,
           u(&DeviceData::nightTime1), Scale::S1000By1000, &Engine::writeNightTime1, hoursInMinutes(15)),
    scaled(Id::NightTime2, bySetting(nullptr, &Engine::defineReadLithiumAndNightTimes), 41,
           u(&DeviceData::nightTime2), Scale::S1000By1000, &Engine::writeNightTime2, hoursInMinutes(15)),
};
static_assert(oneRowPerId(parameters), "one parameter per ParameterId, in id order");

// Single precision and truncation toward zero are what the controller's own
// tools do, so 16.05 V becomes 1604, not 1605.
qint32 truncated(float value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 2147483648.0f)
        return std::numeric_limits<qint32>::max();
    if (value <= -2147483648.0f)
        return std::numeric_limits<qint32>::min();
    return static_cast<qint32>(value);
}

} // namespace

const Parameter &parameter(ParameterId id)
{
    return parameters[int(id)];
}

qint32 scaledInput(const QString &text, Scale scale)
{
    const float value = text.toFloat();
    float result = value;
    switch (scale) {
    case Scale::S100:
        result = value * 100.0f;
        break;
    case Scale::S1000By10:
        result = value * 1000.0f;
        result = result / 10.0f;
        break;
    case Scale::S1000By1000:
        result = value * 1000.0f;
        result = result / 1000.0f;
        break;
    case Scale::S1000By100:
        result = value * 1000.0f;
        result = result / 100.0f;
        break;
    case Scale::None:
    case Scale::Code:
        break;
    }
    return truncated(result);
}

int codeOf(ParameterId id, int protocol, const QString &text)
{
    const Parameter &p = parameter(id);
    const bool modbus = protocol == ProtocolModbusRtu || protocol == ProtocolModbusTcp;
    const CodeTable *codes = modbus ? p.modbusCodes : p.defineCodes;
    return codes ? codes->codeOf(text, TextContext) : -1;
}

QString shownText(ParameterId id, const DeviceData &data)
{
    const Shown &shown = parameter(id).shown;
    switch (shown.format) {
    case Format::V2:
        return QStringLiteral("%1").arg(data.*shown.number * 0.01, 2, 'f', 2, QLatin1Char(' '));
    case Format::C1:
        return QStringLiteral("%1").arg(data.*shown.number * 0.1, 1, 'f', 1, QLatin1Char(' '));
    case Format::U:
        return QString::number(data.*shown.number);
    case Format::I:
        return QString::number(data.*shown.signedNumber);
    case Format::L:
        return data.*shown.text;
    }
    return QString();
}

} // namespace ParameterTable
