#ifndef CODE_TABLES_H
#define CODE_TABLES_H

#include <QString>

// Code <-> text tables shared by the decoders (code -> text) and the parameter
// page (text -> code). One table per meaning and wire column; texts are the
// untranslated literals, callers pass them through tr().
struct CodeText
{
    int code;
    const char *text;
};

struct CodeTable
{
    const CodeText *entries;
    int count;

    // Text of a code, or nullptr when the code is not in the table.
    const char *textOf(int code) const;
    // First code whose (translated by the caller's context) text equals text, or -1.
    int codeOf(const QString &text, const char *context) const;
    // First code whose untranslated literal equals text, or -1.
    int codeOfLiteral(const char *text) const;
};

// The code of "to" that has the same text as code has in "from", or -1: carries
// a setting between the wire columns of one meaning (e.g. Modbus -> Define).
int recode(const CodeTable &from, int code, const CodeTable &to);

// The bits of the status word (register 54) in the order the window's lamps
// show them. Bit 3 is the load switch, set while the load is off; every other
// bit is a fault, lit while set. Bits 11 and up mean nothing.
struct StatusBit
{
    quint32 mask;
    const char *key;       // for machines: "lowVoltage", ..., "loadOff"
    const char *caption;   // the lamp's caption on the form, context "MainWindow"
};

namespace StatusBits {
constexpr quint32 LoadOff = 0x008;
constexpr int Count = 11;
extern const StatusBit table[Count];
}

namespace CodeTables {
extern const CodeTable batteryTypeDefine;   // Define 0x05, high nibble of byte 13; writes under Define
extern const CodeTable batteryTypeModbus;   // register 50, reads and writes under Modbus
extern const CodeTable systemVoltage;       // code = volts / 12
extern const CodeTable loadModeModbus;      // register 39 and writeLoadMode codes
extern const CodeTable loadModeMpptWrite;   // the mode byte of the MPPT frame 0x98
extern const CodeTable loadModePwmDefine;   // Define 0x06 byte 13 >> 5 (PWM)
extern const CodeTable loadModeMpptDefine;  // Define 0x06 byte 13 (MPPT)
extern const CodeTable chargeStageDefine;   // Define 0x04 low nibble of byte 12
extern const CodeTable chargeStageModbus;   // register 11
extern const CodeTable pvState;             // register 4
extern const CodeTable baudRate;            // writeBaudRate codes 0..8
extern const CodeTable baudRateDefine;      // Define 0x79 byte 8 (6 is "56000")
}

#endif
