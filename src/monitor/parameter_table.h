#ifndef PARAMETER_TABLE_H
#define PARAMETER_TABLE_H

#include <QString>

#include <cstddef>

#include "code_tables.h"
#include "com_protocol_solar.h"
#include "device_data.h"

// The controller's settings, each known by an id: how it is read under each
// protocol, where its answer lands in DeviceData and how it is shown, how a
// typed value or a list text becomes what the engine writes, and what the
// frames can carry. Data only; MonitorCore and whoever shows a setting walk it.
enum class ParameterId {
    // battery and charging
    FloatVoltage, AbsorbVoltage, EqualizeVoltage, AbsorbTime, EqualizeTime,
    TemperatureCompensation, LithiumCapacity, LithiumChargeVoltage, ChargeLimit,
    // protection and communication
    LowVoltageProtect, LowVoltageRecover, OverVoltageProtect, OverVoltageRecover,
    SystemVoltage, BatteryType, BaudRate,
    // load and light
    LoadMode, LightOn, LightOff, NightTime1, NightTime2,
    Count
};

// Requests without a value of their own.
enum class DeviceCommand {
    ClearGeneratedChargeTotal,
    ClearGeneratedEnergyTotal,
    ClearConsumedChargeTotal,
    ClearConsumedEnergyTotal,
    ResetController,
};

namespace ParameterTable {

using Request = void (com_protocol_solar::*)();
using Write = void (com_protocol_solar::*)(int);

// Which controller type picks a Define read where PWM and MPPT differ: the
// configured text ("PWM"/"MPPT") or the engine's own type.
enum class ChosenBy { Nothing, Setting, EngineType };
struct DefineRead
{
    Request pwm;   // nullptr: the controller has no such read
    Request mppt;
    ChosenBy chosenBy;
};

// V2 volts with two decimals, C1 one decimal, U unsigned, I signed, L the
// decoder's text (a list item).
enum class Format { V2, C1, U, I, L };
struct Shown
{
    Format format;
    quint32 DeviceData::*number;
    qint32 DeviceData::*signedNumber;
    QString DeviceData::*text;
};

// How typed text becomes the engine's value (single precision, truncated),
// or Code: a list text looked up in the code table of the protocol.
enum class Scale { None, S100, S1000By10, S1000By1000, S1000By100, Code };

// What a field can carry to the controller: the narrowest of the frames and
// registers that send it.
struct FieldRange
{
    const char *unit;     // nullptr: a list, nothing to type (context "MainWindow")
    double lowest;
    double highest;
    int decimals;
    const char *note;     // how the controller keeps it, or nullptr
};

struct Parameter
{
    ParameterId id;
    DefineRead define;
    quint16 reg;                    // holding register read under Modbus
    Shown shown;
    Write write;                    // nullptr: read only
    Scale scale;
    const CodeTable *defineCodes;   // Code: text -> code under Define
    const CodeTable *modbusCodes;   // ... and under Modbus RTU/TCP
    FieldRange range;
};

// The list texts are the form's, translated in this context.
constexpr const char *TextContext = "MainWindow";

const Parameter &parameter(ParameterId id);

// Whether a table has one row per id, row n for ParameterId(n), so it can be
// indexed by id; for static_assert.
template <class Row, std::size_t N>
constexpr bool oneRowPerId(const Row (&rows)[N])
{
    if (N != std::size_t(ParameterId::Count))
        return false;
    for (std::size_t n = 0; n < N; ++n) {
        if (rows[n].id != ParameterId(n))
            return false;
    }
    return true;
}
inline bool writable(ParameterId id) { return parameter(id).write != nullptr; }

// The operator's text as the engine takes it: text that is not a number
// counts as 0; out-of-range input saturates.
qint32 scaledInput(const QString &text, Scale scale);
// The code a list text stands for under protocol, or -1.
int codeOf(ParameterId id, int protocol, const QString &text);
// The value DeviceData holds for id, in the id's display format.
QString shownText(ParameterId id, const DeviceData &data);

} // namespace ParameterTable

#endif
