#include "com_protocol_solar.h"

#include <cstdio>

namespace {

const char *const EncryptedText = QT_TRANSLATE_NOOP("com_protocol_solar", "已加密");
const char *const NotEncryptedText = QT_TRANSLATE_NOOP("com_protocol_solar", "未加密");
const char *const CalibratedText = QT_TRANSLATE_NOOP("com_protocol_solar", "已校准");
const char *const NotCalibratedText = QT_TRANSLATE_NOOP("com_protocol_solar", "未校准");

constexpr int DefineTextStart = 3;
constexpr int DefineTextLength = 12;   // bytes 3..14: the text never runs into the CRC
constexpr int FirstDecodedReg = 1;
constexpr int LastDecodedReg = 136;

quint32 le(const quint8 *frame, int at)
{
    return quint32(frame[at] | frame[at + 1] << 8);
}

qint32 s8(quint8 byte)
{
    return qint8(byte);
}

// Assigns only a text that differs from the one held: every poll reads the
// same texts again, and building a new string each time would allocate.
void setLatin1(QString &field, const char *text, int length)
{
    const QLatin1String latin1(text, length);
    if (field.isNull() || field != latin1)
        field = latin1;
}

void setDefineText(QString &field, const quint8 *frame)
{
    const char *text = reinterpret_cast<const char *>(frame + DefineTextStart);
    int length = 0;
    while (length < DefineTextLength && text[length] != 0)
        ++length;
    setLatin1(field, text, length);
}

// Define answers that carry one little-endian value at a fixed position;
// companion names the MPPT frame setting the value also is (0 when none).
struct DefineValue
{
    quint8 code;
    int at;
    quint32 DeviceData::*field;
    int companion;
};

const DefineValue defineValues[] = {
    {0x07, 5, &DeviceData::register59, 0},
    {0x08, 3, &DeviceData::register62, 0},
    {0x0B, 3, &DeviceData::lithiumCapacity, 115},
    {0x20, 3, &DeviceData::lowVoltageProtect, 0},
    {0x21, 3, &DeviceData::lowVoltageRecover, 0},
    {0x22, 3, &DeviceData::floatVoltage, 0},
    {0x23, 3, &DeviceData::loadTimer1, 0},
    {0x24, 3, &DeviceData::loadTimer2, 0},
    {0x25, 3, &DeviceData::absorbVoltage, 30},
    {0x26, 3, &DeviceData::equalizeVoltage, 31},
};

struct DefineText
{
    quint8 code;
    QString DeviceData::*field;
};

const DefineText defineTexts[] = {
    {0x77, &DeviceData::factoryInfo},
    {0x78, &DeviceData::deviceModel},
    {0x81, &DeviceData::serialNumber},
};

// Modbus registers stored as they arrive (zero-extended).
struct RegisterField
{
    int reg;
    quint32 DeviceData::*field;
};

const RegisterField plainRegisters[] = {
    {1, &DeviceData::pvVoltage}, {2, &DeviceData::pvCurrent}, {3, &DeviceData::pvPower},
    {5, &DeviceData::batteryVoltage}, {8, &DeviceData::loadCurrent}, {10, &DeviceData::batteryCapacity},
    {29, &DeviceData::floatVoltage}, {30, &DeviceData::absorbVoltage}, {31, &DeviceData::equalizeVoltage},
    {32, &DeviceData::absorbTime}, {33, &DeviceData::equalizeTime}, {35, &DeviceData::lowVoltageProtect},
    {36, &DeviceData::lowVoltageRecover}, {37, &DeviceData::register37}, {38, &DeviceData::register38},
    {40, &DeviceData::nightTime1}, {41, &DeviceData::nightTime2}, {42, &DeviceData::loadTimer1},
    {43, &DeviceData::loadTimer2}, {44, &DeviceData::loadTimer3}, {45, &DeviceData::loadTimer4},
    {46, &DeviceData::lightOnVoltage}, {47, &DeviceData::lightOffVoltage}, {48, &DeviceData::register48},
    {49, &DeviceData::register49}, {52, &DeviceData::overVoltageProtect}, {53, &DeviceData::overVoltageRecover},
    {55, &DeviceData::register55}, {56, &DeviceData::ratedVoltage}, {57, &DeviceData::ratedChargeCurrent},
    {58, &DeviceData::ratedDischargeCurrent}, {59, &DeviceData::register59}, {60, &DeviceData::register60},
    {61, &DeviceData::register61}, {62, &DeviceData::register62}, {63, &DeviceData::loadPower},
    {67, &DeviceData::register67}, {68, &DeviceData::chargeLimit}, {69, &DeviceData::register69},
    {114, &DeviceData::register114}, {115, &DeviceData::lithiumCapacity},
    {116, &DeviceData::lithiumChargeVoltage}, {118, &DeviceData::register118},
};

// Signed fields; sign-extended from 16 bits unless the register is unsigned.
struct SignedField
{
    int reg;
    qint32 DeviceData::*field;
    bool signExtend;
};

const SignedField signedRegisters[] = {
    {6, &DeviceData::batteryTemperature, true},
    {7, &DeviceData::batteryCurrent, false},
    {12, &DeviceData::internalTemperature, true},
    {34, &DeviceData::temperatureCompensation, true},
};

struct CodeField
{
    int reg;
    QString DeviceData::*field;
    const CodeTable *table;
};

const CodeField codeRegisters[] = {
    {4, &DeviceData::pvStateText, &CodeTables::pvState},
    {11, &DeviceData::chargeStageText, &CodeTables::chargeStageModbus},
    {39, &DeviceData::loadModeText, &CodeTables::loadModeModbus},
    {50, &DeviceData::batteryTypeText, &CodeTables::batteryTypeModbus},
    {51, &DeviceData::systemVoltageText, &CodeTables::systemVoltage},
};

// Registers 64..66 each hold two one-byte clock fields, high byte first.
struct ClockField
{
    int reg;
    quint32 DeviceData::*high;
    quint32 DeviceData::*low;
};

const ClockField clockRegisters[] = {
    {64, &DeviceData::clockYear, &DeviceData::clockMonth},
    {65, &DeviceData::clockDay, &DeviceData::clockHour},
    {66, &DeviceData::clockMinute, &DeviceData::clockSecond},
};

template <typename Row, int N>
const Row *rowFor(const Row (&rows)[N], int key)
{
    for (const Row &row : rows) {
        if (row.reg == key)
            return &row;
    }
    return nullptr;
}

template <typename Row, int N>
const Row *codeRowFor(const Row (&rows)[N], int code)
{
    for (const Row &row : rows) {
        if (row.code == code)
            return &row;
    }
    return nullptr;
}

// Devices pad short texts with zero bytes, at either end; shown, they would
// be boxes.
void setWithoutPadding(QString &field, const char *text, int length)
{
    char kept[2 * 18];
    int n = 0;
    for (int i = 0; i < length && n < int(sizeof kept); ++i) {
        if (text[i] != 0)
            kept[n++] = text[i];
    }
    setLatin1(field, kept, n);
}

// Text of registers first..last, one Latin-1 character per register low byte,
// last register first.
void setLowByteText(QString &field, const quint32 *image, int first, int last)
{
    char text[DefineTextLength];
    int length = 0;
    for (int reg = last; reg >= first && length < DefineTextLength; --reg)
        text[length++] = char(image[reg] & 0xFF);
    setWithoutPadding(field, text, length);
}

// Two characters per register, high byte first, last register first.
void setWordText(QString &field, const quint32 *image, int first, int last)
{
    char text[2 * 18];
    int length = 0;
    for (int reg = last; reg >= first && length + 1 < int(sizeof text); --reg) {
        text[length++] = char(image[reg] >> 8 & 0xFF);
        text[length++] = char(image[reg] & 0xFF);
    }
    setWithoutPadding(field, text, length);
}

} // namespace

void com_protocol_solar::setCodeText(QString &field, const CodeTable &table, int code)
{
    if (const char *text = table.textOf(code))
        field = translated(text);
}

const QString &com_protocol_solar::translated(const char *text)
{
    auto known = translatedTexts_.constFind(text);
    if (known == translatedTexts_.constEnd())
        known = translatedTexts_.insert(text, tr(text));
    return *known;
}

// --- Define ------------------------------------------------------------------

void com_protocol_solar::decodeDefine(const quint8 *frame)
{
    DeviceData &d = deviceData;
    const quint8 code = frame[2];
    if (const DefineValue *value = codeRowFor(defineValues, code)) {
        d.*(value->field) = le(frame, value->at);
        if (value->companion)
            noteCompanion(value->companion, d.*(value->field));
        return;
    }
    if (const DefineText *text = codeRowFor(defineTexts, code)) {
        setDefineText(d.*(text->field), frame);
        return;
    }
    switch (code) {
    case 0x01: decodeDefineRunData(frame, false); break;
    case 0x02:
        d.accumulationWords[3] = le(frame, 3) / 10;
        d.accumulationWords[7] = le(frame, 5) / 10;
        d.floatVoltage = le(frame, 7);
        d.lowVoltageProtect = le(frame, 9);
        d.lowVoltageRecover = le(frame, 11);
        registerImage[72] = quint32(frame[13] << 8 | frame[14]);
        break;
    case 0x03: decodeDefineRunData(frame, true); break;
    case 0x04: setCodeText(d.chargeStageText, CodeTables::chargeStageDefine, frame[12] & 0x0F); break;
    case 0x05: decodeDefineBatterySettings(frame); break;
    case 0x06: decodeDefineLoadSettings(frame); break;
    case 0x09:
        d.accumulationWords[11] = le(frame, 3) / 10;
        d.accumulationWords[15] = le(frame, 5) / 10;
        break;
    case 0x0A:
        d.lithiumChargeVoltage = le(frame, 3);
        d.nightTime2 = quint32(frame[5] >> 4) * 60;
        d.nightTime1 = quint32(frame[5] & 0x0F) * 60;
        noteCompanion(40, d.nightTime1);
        noteCompanion(41, d.nightTime2);
        decodeDefineClock(frame);
        break;
    case 0x79: decodeDefineVersion(frame); break;
    case 0xC1:
    case 0xC6:
        d.encryptionText = translated(frame[3] != 0 || frame[4] != 0 ? NotEncryptedText : EncryptedText);
        break;
    case 0xC2: {
        const bool calibrated = frame[11] == 0xBC && frame[12] == 0xBC && frame[13] == 0xBC && frame[14] == 0xBC;
        d.calibrationText = translated(calibrated ? CalibratedText : NotCalibratedText);
        break;
    }
    case 0xC4: decodeDefineClock(frame); break;
    default: break;
    }
}

// 0x01, and 0x03 (the echo of a control-word write, whose status byte an MPPT
// controller uses for two further flags only).
void com_protocol_solar::decodeDefineRunData(const quint8 *frame, bool fromControlWrite)
{
    DeviceData &d = deviceData;
    d.pvVoltage = le(frame, 3);
    d.pvCurrent = le(frame, 5);
    d.batteryVoltage = le(frame, 7);
    d.loadCurrent = le(frame, 9);
    d.batteryCurrent = qint32(d.pvCurrent - d.loadCurrent);
    d.batteryTemperature = s8(frame[11]);
    d.batteryCapacity = frame[12];
    if (!fromControlWrite)
        d.pvPower = d.pvVoltage * d.pvCurrent / 1000;
    if (fromControlWrite && controllerType_ == ControllerMppt) {
        if (frame[14] & 0x02)
            d.statusWord |= 1u << 8;
        if (frame[14] & 0x80)
            d.statusWord |= 1u << 10;
    } else {
        d.statusWord = frame[13];
        d.loadVoltage = (frame[13] & 0x08) ? 0 : d.batteryVoltage;
        d.loadPower = d.loadCurrent * d.loadVoltage / 1000;
    }
    registerImage[54] = d.statusWord;
}

void com_protocol_solar::decodeDefineBatterySettings(const quint8 *frame)
{
    DeviceData &d = deviceData;
    d.floatVoltage = le(frame, 3);
    d.absorbVoltage = le(frame, 5);
    d.equalizeVoltage = le(frame, 7);
    d.absorbTime = quint32(frame[9]) * 60;
    d.equalizeTime = quint32(frame[10]) * 60;
    d.temperatureCompensation = s8(frame[12]);
    const int batteryType = frame[13] >> 4;
    setCodeText(d.batteryTypeText, CodeTables::batteryTypeDefine, batteryType);
    d.systemVoltage = quint32(frame[14] & 0x0F) * 12;
    d.chargeLimit = quint32(frame[14] >> 4) * 12;
    if (controllerType_ == ControllerPwm)
        setCodeText(d.systemVoltageText, CodeTables::systemVoltage, frame[14] & 0x0F);

    noteCompanion(30, d.absorbVoltage);
    noteCompanion(31, d.equalizeVoltage);
    noteCompanion(32, frame[9]);    // the frames take hours
    noteCompanion(33, frame[10]);
    if (CodeTables::batteryTypeDefine.textOf(batteryType))
        noteCompanion(50, quint32(batteryType));
}

void com_protocol_solar::decodeDefineLoadSettings(const quint8 *frame)
{
    DeviceData &d = deviceData;
    d.lightOnVoltage = le(frame, 7);
    d.loadTimer1 = le(frame, 9);
    d.loadTimer2 = le(frame, 11);
    const bool mppt = controllerType_ == ControllerMppt;
    const CodeTable &table = mppt ? CodeTables::loadModeMpptDefine : CodeTables::loadModePwmDefine;
    const int mode = mppt ? frame[13] : frame[13] >> 5;
    setCodeText(d.loadModeText, table, mode);
    const int writeCode = recode(table, mode, CodeTables::loadModeMpptWrite);
    if (writeCode >= 0)
        noteCompanion(39, quint32(writeCode));
    d.internalTemperature = s8(frame[14]);
}

void com_protocol_solar::decodeDefineVersion(const quint8 *frame)
{
    DeviceData &d = deviceData;
    const int volts = frame[3];
    if (volts % 12 == 0)
        setCodeText(d.systemVoltageText, CodeTables::systemVoltage, volts / 12);
    d.ratedChargeCurrent = frame[4];
    d.ratedDischargeCurrent = frame[4];
    char version[16];
    setLatin1(d.versionInfo, version,
              std::snprintf(version, sizeof version, "HRV%d.%d", frame[5] / 10, frame[5] % 10));
    setCodeText(d.baudRateText, CodeTables::baudRateDefine, frame[8]);
}

void com_protocol_solar::decodeDefineClock(const quint8 *frame)
{
    DeviceData &d = deviceData;
    d.clockYear = frame[9];
    d.clockMonth = frame[10];
    d.clockDay = frame[11];
    d.clockHour = frame[12];
    d.clockMinute = frame[13];
    d.clockSecond = frame[14];
}

// --- Modbus --------------------------------------------------------------------

void com_protocol_solar::decodeModbusRegisters(quint16 start, const quint8 *values, int count)
{
    for (int i = 0; i < count; ++i)
        decodeModbusRegister(start + i, quint16(values[2 * i] << 8 | values[2 * i + 1]));
}

void com_protocol_solar::decodeModbusRegister(int reg, quint16 value)
{
    if (reg < FirstDecodedReg || reg > LastDecodedReg)
        return;
    DeviceData &d = deviceData;
    noteRegisterValue(reg, value);
    if (const RegisterField *plain = rowFor(plainRegisters, reg)) {
        d.*(plain->field) = value;
    } else if (const SignedField *field = rowFor(signedRegisters, reg)) {
        d.*(field->field) = field->signExtend ? qint16(value) : qint32(value);
    } else if (const CodeField *code = rowFor(codeRegisters, reg)) {
        setCodeText(d.*(code->field), *code->table, value);
    } else if (const ClockField *clock = rowFor(clockRegisters, reg)) {
        d.*(clock->high) = value >> 8;
        d.*(clock->low) = value & 0xFF;
    } else if (reg == 9) {
        d.systemVoltage = quint32(value) * 12;
    } else if (reg >= 13 && reg <= 28) {
        d.accumulationWords[reg - 13] = value;
    } else if (reg == 54) {
        d.statusWord = value;
        registerImage[54] = value;
    } else if (reg >= 70 && reg <= 113) {
        registerImage[reg] = value;
        decodeModbusText(reg);
    } else if (reg == 117) {
        char baud[16];
        setLatin1(d.baudRateText, baud, std::snprintf(baud, sizeof baud, "%u", unsigned(value) * 10));
    } else if (reg >= 128 && reg <= 135) {
        registerImage[reg] = value;
        d.calibrationWords[reg - 128] = value;
    } else if (reg == 136) {
        registerImage[136] = value;
        d.calibrationText = translated((value & 0x0F) == 0x0F ? NotCalibratedText : CalibratedText);
        d.encryptionText = translated((value & 0x30) == 0x30 ? NotEncryptedText : EncryptedText);
    }
}

// Texts are rebuilt once the last register of their range is stored, so a
// read that ends there (or a split read whose second half does) sees the
// whole text of this response.
void com_protocol_solar::decodeModbusText(int reg)
{
    DeviceData &d = deviceData;
    switch (reg) {
    case 70:
    case 71: {
        char version[40];
        const unsigned hardware = registerImage[70], software = registerImage[71];
        setLatin1(d.versionInfo, version,
                  std::snprintf(version, sizeof version, "HRV%u.%u,SFV%u.%u", hardware / 10,
                                hardware % 10, software / 10, software % 10));
        break;
    }
    case 83: setLowByteText(d.deviceModel, registerImage, 72, 83); break;
    case 95: setLowByteText(d.serialNumber, registerImage, 84, 95); break;
    case 113: setWordText(d.factoryInfo, registerImage, 96, 113); break;
    default: break;
    }
}
