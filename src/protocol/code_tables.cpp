#include "code_tables.h"

#include <QCoreApplication>
#include <cstring>

// Texts are marked for the engine's translation context, in which the decoders
// pass them through tr().
#define CT(code, text) { code, QT_TRANSLATE_NOOP("com_protocol_solar", text) }

namespace {

template <int N>
constexpr CodeTable tableOf(const CodeText (&entries)[N])
{
    return CodeTable{entries, N};
}

const CodeText batteryTypeDefineEntries[] = {
    CT(0, "Customize"), CT(1, "GEL"), CT(2, "FLD"), CT(3, "SEAL"), CT(4, "LI"), CT(5, "LIP"),
};
const CodeText batteryTypeModbusEntries[] = {
    CT(0, "Customize"), CT(1, "GEL"), CT(2, "SEAL"), CT(3, "FLD"), CT(4, "LI"),
};
const CodeText systemVoltageEntries[] = {
    CT(0, "Automatic"), CT(1, "Fixed 12V"), CT(2, "Fixed 24V"), CT(3, "Fixed 36V"),
    CT(4, "Fixed 48V"), CT(5, "Fixed 60V"), CT(6, "Fixed 72V"), CT(7, "Fixed 84V"),
    CT(8, "Fixed 96V"), CT(9, "Fixed 108V"),
};
const CodeText loadModeModbusEntries[] = {
    CT(0, "Normal"), CT(1, "Light time"), CT(2, "Light"), CT(3, "Timing"),
};
// The MPPT controller takes other mode codes on write than it reports on read.
const CodeText loadModeMpptWriteEntries[] = {
    CT(15, "Normal"), CT(1, "Light time"), CT(14, "Light"), CT(3, "Timing"),
};
const CodeText loadModePwmDefineEntries[] = {
    CT(0, "Normal"), CT(1, "Light time"), CT(2, "Light time"), CT(3, "Light"), CT(4, "Timing"),
};
const CodeText loadModeMpptDefineEntries[] = {
    CT(0, "Normal"), CT(1, "Light time"), CT(3, "Light"),
};
const CodeText chargeStageDefineEntries[] = {
    CT(0, "Bulk"), CT(1, "Absorb"), CT(2, "Float"), CT(3, "Equalize"),
};
const CodeText chargeStageModbusEntries[] = {
    CT(0, "STOP"), CT(1, "BULK"), CT(2, "MPPT"), CT(3, "Float"),
    CT(4, "Absorb"), CT(5, "Equalize"), CT(6, "Current"), CT(7, "CV"),
};
const CodeText pvStateEntries[] = {
    CT(0, "LOW"), CT(1, "Generating"), CT(2, "Hight"), CT(3, "NO"),
};
const CodeText baudRateEntries[] = {
    CT(0, "4800"), CT(1, "9600"), CT(2, "14400"), CT(3, "19200"), CT(4, "38400"),
    CT(5, "43000"), CT(6, "57600"), CT(7, "76800"), CT(8, "115200"),
};
const CodeText baudRateDefineEntries[] = {
    CT(0, "4800"), CT(1, "9600"), CT(2, "14400"), CT(3, "19200"), CT(4, "38400"),
    CT(5, "43000"), CT(6, "56000"), CT(7, "57600"), CT(8, "115200"),
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
