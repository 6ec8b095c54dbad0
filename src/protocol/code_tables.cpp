#include "code_tables.h"

#include <QCoreApplication>
#include <cstring>

// Texts are marked for the engine's translation context, in which the decoders
// pass them through tr(). Spelled out in full: lupdate does not expand macros.

namespace {

template <int N>
constexpr CodeTable tableOf(const CodeText (&entries)[N])
{
    return CodeTable{entries, N};
}

const CodeText batteryTypeDefineEntries[] = {
    {0, QT_TRANSLATE_NOOP("com_protocol_solar", "Customize")},
    {1, QT_TRANSLATE_NOOP("com_protocol_solar", "GEL")},
    {2, QT_TRANSLATE_NOOP("com_protocol_solar", "FLD")},
    {3, QT_TRANSLATE_NOOP("com_protocol_solar", "SEAL")},
    {4, QT_TRANSLATE_NOOP("com_protocol_solar", "LI")},
    {5, QT_TRANSLATE_NOOP("com_protocol_solar", "LIP")},
};
const CodeText batteryTypeModbusEntries[] = {
    {0, QT_TRANSLATE_NOOP("com_protocol_solar", "Customize")},
    {1, QT_TRANSLATE_NOOP("com_protocol_solar", "GEL")},
    {2, QT_TRANSLATE_NOOP("com_protocol_solar", "SEAL")},
    {3, QT_TRANSLATE_NOOP("com_protocol_solar", "FLD")},
    {4, QT_TRANSLATE_NOOP("com_protocol_solar", "LI")},
};
const CodeText systemVoltageEntries[] = {
    {0, QT_TRANSLATE_NOOP("com_protocol_solar", "Automatic")},
    {1, QT_TRANSLATE_NOOP("com_protocol_solar", "Fixed 12V")},
    {2, QT_TRANSLATE_NOOP("com_protocol_solar", "Fixed 24V")},
    {3, QT_TRANSLATE_NOOP("com_protocol_solar", "Fixed 36V")},
    {4, QT_TRANSLATE_NOOP("com_protocol_solar", "Fixed 48V")},
    {5, QT_TRANSLATE_NOOP("com_protocol_solar", "Fixed 60V")},
    {6, QT_TRANSLATE_NOOP("com_protocol_solar", "Fixed 72V")},
    {7, QT_TRANSLATE_NOOP("com_protocol_solar", "Fixed 84V")},
    {8, QT_TRANSLATE_NOOP("com_protocol_solar", "Fixed 96V")},
    {9, QT_TRANSLATE_NOOP("com_protocol_solar", "Fixed 108V")},
};
const CodeText loadModeModbusEntries[] = {
    {0, QT_TRANSLATE_NOOP("com_protocol_solar", "Normal")},
    {1, QT_TRANSLATE_NOOP("com_protocol_solar", "Light time")},
    {2, QT_TRANSLATE_NOOP("com_protocol_solar", "Light")},
    {3, QT_TRANSLATE_NOOP("com_protocol_solar", "Timing")},
};
// The MPPT controller takes other mode codes on write than it reports on read.
const CodeText loadModeMpptWriteEntries[] = {
    {15, QT_TRANSLATE_NOOP("com_protocol_solar", "Normal")},
    {1, QT_TRANSLATE_NOOP("com_protocol_solar", "Light time")},
    {14, QT_TRANSLATE_NOOP("com_protocol_solar", "Light")},
    {3, QT_TRANSLATE_NOOP("com_protocol_solar", "Timing")},
};
const CodeText loadModePwmDefineEntries[] = {
    {0, QT_TRANSLATE_NOOP("com_protocol_solar", "Normal")},
    {1, QT_TRANSLATE_NOOP("com_protocol_solar", "Light time")},
    {2, QT_TRANSLATE_NOOP("com_protocol_solar", "Light time")},
    {3, QT_TRANSLATE_NOOP("com_protocol_solar", "Light")},
    {4, QT_TRANSLATE_NOOP("com_protocol_solar", "Timing")},
};
const CodeText loadModeMpptDefineEntries[] = {
    {0, QT_TRANSLATE_NOOP("com_protocol_solar", "Normal")},
    {1, QT_TRANSLATE_NOOP("com_protocol_solar", "Light time")},
    {3, QT_TRANSLATE_NOOP("com_protocol_solar", "Light")},
};
const CodeText chargeStageDefineEntries[] = {
    {0, QT_TRANSLATE_NOOP("com_protocol_solar", "Bulk")},
    {1, QT_TRANSLATE_NOOP("com_protocol_solar", "Absorb")},
    {2, QT_TRANSLATE_NOOP("com_protocol_solar", "Float")},
    {3, QT_TRANSLATE_NOOP("com_protocol_solar", "Equalize")},
};
const CodeText chargeStageModbusEntries[] = {
    {0, QT_TRANSLATE_NOOP("com_protocol_solar", "STOP")},
    {1, QT_TRANSLATE_NOOP("com_protocol_solar", "BULK")},
    {2, QT_TRANSLATE_NOOP("com_protocol_solar", "MPPT")},
    {3, QT_TRANSLATE_NOOP("com_protocol_solar", "Float")},
    {4, QT_TRANSLATE_NOOP("com_protocol_solar", "Absorb")},
    {5, QT_TRANSLATE_NOOP("com_protocol_solar", "Equalize")},
    {6, QT_TRANSLATE_NOOP("com_protocol_solar", "Current")},
    {7, QT_TRANSLATE_NOOP("com_protocol_solar", "CV")},
};
const CodeText pvStateEntries[] = {
    {0, QT_TRANSLATE_NOOP("com_protocol_solar", "LOW")},
    {1, QT_TRANSLATE_NOOP("com_protocol_solar", "Generating")},
    {2, QT_TRANSLATE_NOOP("com_protocol_solar", "Hight")},
    {3, QT_TRANSLATE_NOOP("com_protocol_solar", "NO")},
};
const CodeText baudRateEntries[] = {
    {0, QT_TRANSLATE_NOOP("com_protocol_solar", "4800")},
    {1, QT_TRANSLATE_NOOP("com_protocol_solar", "9600")},
    {2, QT_TRANSLATE_NOOP("com_protocol_solar", "14400")},
    {3, QT_TRANSLATE_NOOP("com_protocol_solar", "19200")},
    {4, QT_TRANSLATE_NOOP("com_protocol_solar", "38400")},
    {5, QT_TRANSLATE_NOOP("com_protocol_solar", "43000")},
    {6, QT_TRANSLATE_NOOP("com_protocol_solar", "57600")},
    {7, QT_TRANSLATE_NOOP("com_protocol_solar", "76800")},
    {8, QT_TRANSLATE_NOOP("com_protocol_solar", "115200")},
};
const CodeText baudRateDefineEntries[] = {
    {0, QT_TRANSLATE_NOOP("com_protocol_solar", "4800")},
    {1, QT_TRANSLATE_NOOP("com_protocol_solar", "9600")},
    {2, QT_TRANSLATE_NOOP("com_protocol_solar", "14400")},
    {3, QT_TRANSLATE_NOOP("com_protocol_solar", "19200")},
    {4, QT_TRANSLATE_NOOP("com_protocol_solar", "38400")},
    {5, QT_TRANSLATE_NOOP("com_protocol_solar", "43000")},
    {6, QT_TRANSLATE_NOOP("com_protocol_solar", "56000")},
    {7, QT_TRANSLATE_NOOP("com_protocol_solar", "57600")},
    {8, QT_TRANSLATE_NOOP("com_protocol_solar", "115200")},
};

} // namespace

const char *CodeTable::textOf(int code) const
{
    for (int i = 0; i < count; ++i) {
        if (entries[i].code == code)
            return entries[i].text;
    }
    return nullptr;
}

int CodeTable::codeOf(const QString &text, const char *context) const
{
    for (int i = 0; i < count; ++i) {
        if (QCoreApplication::translate(context, entries[i].text) == text)
            return entries[i].code;
    }
    return -1;
}

int CodeTable::codeOfLiteral(const char *text) const
{
    if (!text)
        return -1;
    for (int i = 0; i < count; ++i) {
        if (std::strcmp(entries[i].text, text) == 0)
            return entries[i].code;
    }
    return -1;
}

int recode(const CodeTable &from, int code, const CodeTable &to)
{
    return to.codeOfLiteral(from.textOf(code));
}

namespace CodeTables {
const CodeTable batteryTypeDefine = tableOf(batteryTypeDefineEntries);
const CodeTable batteryTypeModbus = tableOf(batteryTypeModbusEntries);
const CodeTable systemVoltage = tableOf(systemVoltageEntries);
const CodeTable loadModeModbus = tableOf(loadModeModbusEntries);
const CodeTable loadModeMpptWrite = tableOf(loadModeMpptWriteEntries);
const CodeTable loadModePwmDefine = tableOf(loadModePwmDefineEntries);
const CodeTable loadModeMpptDefine = tableOf(loadModeMpptDefineEntries);
const CodeTable chargeStageDefine = tableOf(chargeStageDefineEntries);
const CodeTable chargeStageModbus = tableOf(chargeStageModbusEntries);
const CodeTable pvState = tableOf(pvStateEntries);
const CodeTable baudRate = tableOf(baudRateEntries);
const CodeTable baudRateDefine = tableOf(baudRateDefineEntries);
}

const StatusBit StatusBits::table[StatusBits::Count] = {
    {0x001, "lowVoltage", QT_TRANSLATE_NOOP("MainWindow", "Low voltage")},
    {0x002, "overLoad", QT_TRANSLATE_NOOP("MainWindow", "Over load")},
    {0x004, "shortCircuit", QT_TRANSLATE_NOOP("MainWindow", "Short circut")},
    {LoadOff, "loadOff", QT_TRANSLATE_NOOP("MainWindow", "Load off")},
    {0x010, "batteryOver", QT_TRANSLATE_NOOP("MainWindow", "Battery Over")},
    {0x020, "internalOverHeat", QT_TRANSLATE_NOOP("MainWindow", "internal over hear")},
    {0x040, "pvOver", QT_TRANSLATE_NOOP("MainWindow", "PV over")},
    {0x080, "pvNotConnected", QT_TRANSLATE_NOOP("MainWindow", "PV not connected")},
    {0x100, "internalTemperatureFault", QT_TRANSLATE_NOOP("MainWindow", "internal temperature")},
    {0x200, "selfCheckError", QT_TRANSLATE_NOOP("MainWindow", "Self-check error")},
    {0x400, "parameterNotCalibrated", QT_TRANSLATE_NOOP("MainWindow", "Parameter not calibration")},
};
