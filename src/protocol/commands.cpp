#include "com_protocol_solar.h"

#include <QDateTime>
#include <cstdlib>
#include <cstring>

namespace {

using DefineSender = void (com_protocol_solar::*)();

// Holding registers the commands name.
enum Register {
    AbsorbVoltageReg = 30,
    EqualizeVoltageReg = 31,
    AbsorbTimeReg = 32,
    EqualizeTimeReg = 33,
    LoadModeReg = 39,
    NightTime1Reg = 40,
    NightTime2Reg = 41,
    BatteryTypeReg = 50,
    SystemVoltageReg = 51,
    ControlWordReg = 54,
    ClockReg = 64,
    ModelReg = 72,
    LithiumCapacityReg = 115,
    BaudRateReg = 117,
    SecurityReg = 136,
    ClockWordsReg = 138,
    FirstCounterReg = 13,
    LastCounterReg = 28,
};

constexpr quint32 SerialNumberRequestWord = 0x7C4E;
constexpr quint32 SyncModelWord = 0x3031;

// A register written by a protocol-independent operation: how many registers
// the Modbus write carries and the Define frame per controller type (nullptr:
// the controller type has none and the write is refused). Registers without a
// row are written alone under Modbus and refused under Define.
struct ParameterRow
{
    int reg;
    int count;
    DefineSender pwm;
    DefineSender mppt;
};

using C = com_protocol_solar;
const ParameterRow parameterRows[] = {
    {29, 1, &C::defineWriteFloatVoltage, &C::defineWriteFloatVoltageMppt},
    {30, 1, &C::defineWriteAbsorbVoltage, &C::defineWriteAbsorbSettings},
    {31, 1, &C::defineWriteEqualizeVoltage, &C::defineWriteEqualizeSettings},
    {32, 1, nullptr, &C::defineWriteAbsorbSettings},
    {33, 1, nullptr, &C::defineWriteEqualizeSettings},
    {34, 1, nullptr, &C::defineWriteTemperatureCompensation},
    {35, 1, &C::defineWriteLowVoltageProtect, &C::defineWriteLowVoltageProtectMppt},
    {36, 1, &C::defineWriteLowVoltageRecover, &C::defineWriteLowVoltageRecoverMppt},
    {39, 1, nullptr, &C::defineWriteLoadSettings},
    {40, 1, nullptr, &C::defineWriteLoadSettings},
    {41, 1, nullptr, &C::defineWriteLoadSettings},
    {50, 1, nullptr, &C::defineWriteBatterySettings},
    {51, 1, nullptr, &C::defineWriteSystemVoltage},
    {54, 1, &C::defineWriteControlWord, &C::defineWriteControlWord},
    {64, 3, &C::defineWriteClock, &C::defineWriteClock},
    {115, 1, nullptr, &C::defineWriteBatterySettings},
    {116, 1, nullptr, &C::defineWriteLithiumChargeVoltage},
    {117, 1, nullptr, &C::defineWriteBaudRate},
    {16, 1, nullptr, &C::defineClearGeneratedCharge},
    {20, 1, nullptr, &C::defineClearConsumedCharge},
};

const ParameterRow *parameterRow(int reg)
{
    for (const ParameterRow &row : parameterRows) {
        if (row.reg == reg)
            return &row;
    }
    return nullptr;
}

quint32 twoDigits(int value)
{
    return quint32('0' + value / 10) << 8 | quint32('0' + value % 10);
}

quint32 baudValueOf(int code)
{
    const char *text = CodeTables::baudRate.textOf(code);
    return text ? quint32(std::atoi(text) / 10) : 0;
}

} // namespace

// --- frame helpers -------------------------------------------------------

void com_protocol_solar::beginDefineFrame(quint8 code)
{
    std::memset(txFrame, 0, DefineFrameLength);
    txFrame[0] = frameHeader;
    txFrame[1] = slaveAddress_;
    txFrame[2] = code;
}

void com_protocol_solar::beginMpptFrame(quint8 code, quint8 signature3, quint8 signature14)
{
    beginDefineFrame(code);
    txFrame[3] = signature3;
    txFrame[14] = signature14;
}

void com_protocol_solar::putLe(int at, quint32 value)
{
    txFrame[at] = quint8(value);
    txFrame[at + 1] = quint8(value >> 8);
}

void com_protocol_solar::putBe(int at, quint32 value)
{
    txFrame[at] = quint8(value >> 8);
    txFrame[at + 1] = quint8(value);
}

void com_protocol_solar::sendDefineFrame()
{
    txFrame[15] = crc8(txFrame, 15);
    sendFrame(DefineFrameLength);
}

void com_protocol_solar::sendDefineCommand(quint8 code)
{
    beginDefineFrame(code);
    sendDefineFrame();
}

// --- companions of the MPPT settings frames ------------------------------

bool com_protocol_solar::loadCompanions(const int *regs, int count)
{
    for (int i = 0; i < count; ++i) {
        if (regs[i] != freshRegister_ && !companionKnown_[regs[i]]) {
            reportFailure(FailureReason::CompanionUnknown);
            return false;
        }
    }
    for (int i = 0; i < count; ++i) {
        if (regs[i] != freshRegister_)
            registerImage[regs[i]] = companionValue_[regs[i]];
        noteCompanion(regs[i], registerImage[regs[i]]);
    }
    return true;
}

void com_protocol_solar::noteCompanion(int reg, quint32 frameValue)
{
    companionValue_[reg] = frameValue;
    companionKnown_[reg] = true;
}

// The controller holds value in register reg (read or written under Modbus):
// keep it in the unit the Define frames take.
void com_protocol_solar::noteRegisterValue(int reg, quint32 value)
{
    value &= 0xFFFF;
    int code = -1;
    switch (reg) {
    case AbsorbVoltageReg:
    case EqualizeVoltageReg:
    case AbsorbTimeReg:
    case EqualizeTimeReg:
    case NightTime1Reg:
    case NightTime2Reg:
    case LithiumCapacityReg:
    case SecurityReg:
        noteCompanion(reg, value);
        return;
    case LoadModeReg:
        code = recode(CodeTables::loadModeModbus, int(value), CodeTables::loadModeMpptWrite);
        break;
    case BatteryTypeReg:
        code = recode(CodeTables::batteryTypeModbus, int(value), CodeTables::batteryTypeDefine);
        break;
    default:
        return;
    }
    if (code >= 0)
        noteCompanion(reg, quint32(code));
}

// --- dispatch of the protocol-independent writes -------------------------

// stored: the operation has just put a new value into registerImage[reg]
// (false when an out-of-range code kept the previous one).
void com_protocol_solar::writeParameter(int reg, bool stored)
{
    const ParameterRow *row = parameterRow(reg);
    const int count = row ? row->count : 1;
    if (protocol_ == ProtocolDefine) {
        sendDefineParameter(reg, stored);
        return;
    }
    if (protocol_ == ProtocolModbusRtu)
        modbusRtuWriteRegisters(quint16(reg), registerImage + reg, count);
    else
        modbusTcpWriteRegisters(quint16(reg), registerImage + reg, count);
    for (int i = 0; i < count; ++i)
        noteRegisterValue(reg + i, registerImage[reg + i]);
}

void com_protocol_solar::sendDefineParameter(int reg, bool stored)
{
    const ParameterRow *row = parameterRow(reg);
    const DefineSender sender = !row ? nullptr : controllerType_ == ControllerMppt ? row->mppt : row->pwm;
    if (!sender) {
        reportFailure();
        return;
    }
    freshRegister_ = stored ? reg : -1;
    (this->*sender)();
    freshRegister_ = -1;
}

void com_protocol_solar::writeFloatVoltage(int value) { registerImage[29] = quint32(value); writeParameter(29, true); }
void com_protocol_solar::writeAbsorbVoltage(int value) { registerImage[30] = quint32(value); writeParameter(30, true); }
void com_protocol_solar::writeEqualizeVoltage(int value) { registerImage[31] = quint32(value); writeParameter(31, true); }
void com_protocol_solar::writeAbsorbTime(int minutes) { registerImage[32] = quint32(minutes / 60); writeParameter(32, true); }
void com_protocol_solar::writeEqualizeTime(int minutes) { registerImage[33] = quint32(minutes / 60); writeParameter(33, true); }
void com_protocol_solar::writeTemperatureCompensation(int value) { registerImage[34] = quint32(value); writeParameter(34, true); }
void com_protocol_solar::writeLowVoltageProtect(int value) { registerImage[35] = quint32(value); writeParameter(35, true); }
void com_protocol_solar::writeLowVoltageRecover(int value) { registerImage[36] = quint32(value); writeParameter(36, true); }
void com_protocol_solar::writeRegister37(int value) { registerImage[37] = quint32(value); writeParameter(37, true); }
void com_protocol_solar::writeRegister38(int value) { registerImage[38] = quint32(value); writeParameter(38, true); }
void com_protocol_solar::writeNightTime1(int minutes) { registerImage[40] = quint32(minutes); writeParameter(40, true); }
void com_protocol_solar::writeNightTime2(int minutes) { registerImage[41] = quint32(minutes); writeParameter(41, true); }
void com_protocol_solar::writeLoadTimer1(int first, int second) { registerImage[42] = quint32(first) * 256 + quint32(second); writeParameter(42, true); }
void com_protocol_solar::writeLoadTimer2(int first, int second) { registerImage[43] = quint32(first) * 256 + quint32(second); writeParameter(43, true); }
void com_protocol_solar::writeLoadTimer3(int first, int second) { registerImage[44] = quint32(first) * 256 + quint32(second); writeParameter(44, true); }
void com_protocol_solar::writeLoadTimer4(int first, int second) { registerImage[45] = quint32(first) * 256 + quint32(second); writeParameter(45, true); }
void com_protocol_solar::writeLightOnVoltage(int value) { registerImage[46] = quint32(value); writeParameter(46, true); }
void com_protocol_solar::writeLightOffVoltage(int value) { registerImage[47] = quint32(value); writeParameter(47, true); }
void com_protocol_solar::writeRegister48(int value) { registerImage[48] = quint32(value); writeParameter(48, true); }
void com_protocol_solar::writeRegister49(int value) { registerImage[49] = quint32(value); writeParameter(49, true); }
void com_protocol_solar::writeOverVoltageProtect(int value) { registerImage[52] = quint32(value); writeParameter(52, true); }
void com_protocol_solar::writeOverVoltageRecover(int value) { registerImage[53] = quint32(value); writeParameter(53, true); }
void com_protocol_solar::writeControlWord(int bits) { registerImage[54] = quint32(bits); writeParameter(54, true); }
void com_protocol_solar::writeRegister55(int value) { registerImage[55] = quint32(value); writeParameter(55, true); }
void com_protocol_solar::writeRegister67(int value) { registerImage[67] = quint32(value); writeParameter(67, true); }
void com_protocol_solar::writeRegister68(int value) { registerImage[68] = quint32(value); writeParameter(68, true); }
void com_protocol_solar::writeRegister69(int value) { registerImage[69] = quint32(value); writeParameter(69, true); }
void com_protocol_solar::writeRegister114(int value) { registerImage[114] = quint32(value); writeParameter(114, true); }
void com_protocol_solar::writeLithiumCapacity(int value) { registerImage[115] = quint32(value); writeParameter(115, true); }
void com_protocol_solar::writeLithiumChargeVoltage(int value) { registerImage[116] = quint32(value); writeParameter(116, true); }

void com_protocol_solar::writeLoadMode(int code)
{
    const bool known = CodeTables::loadModeModbus.textOf(code) != nullptr;
    if (known) {
        registerImage[LoadModeReg] = quint32(code);
        if (protocol_ == ProtocolDefine && controllerType_ == ControllerMppt)
            registerImage[LoadModeReg] =
                quint32(recode(CodeTables::loadModeModbus, code, CodeTables::loadModeMpptWrite));
    }
    writeParameter(LoadModeReg, known);
}

void com_protocol_solar::writeBatteryType(int code)
{
    const bool known = CodeTables::batteryTypeDefine.textOf(code) != nullptr;
    if (known)
        registerImage[BatteryTypeReg] = quint32(code);
    writeParameter(BatteryTypeReg, known);
}

void com_protocol_solar::writeSystemVoltage(int code)
{
    const bool known = CodeTables::systemVoltage.textOf(code) != nullptr;
    if (known)
        registerImage[SystemVoltageReg] = quint32(code);
    writeParameter(SystemVoltageReg, known);
}

void com_protocol_solar::writeBaudRate(int code)
{
    if (protocol_ == ProtocolDefine) {
        writeBaudRateDefine(code);
        return;
    }
    const bool known = CodeTables::baudRate.textOf(code) != nullptr;
    if (known)
        registerImage[BaudRateReg] = baudValueOf(code);
    writeParameter(BaudRateReg, known);
}

// A speed without a Define code (76800) would go out as the code of another
// speed and cut the link; an unknown code would resend whatever the image
// holds. Both are refused before anything is stored.
void com_protocol_solar::writeBaudRateDefine(int code)
{
    const int defineCode = recode(CodeTables::baudRate, code, CodeTables::baudRateDefine);
    if (defineCode < 0) {
        reportFailure(FailureReason::ValueRefused);
        return;
    }
    registerImage[BaudRateReg] = controllerType_ == ControllerMppt ? quint32(defineCode) : baudValueOf(code);
    sendDefineParameter(BaudRateReg, true);
}

void com_protocol_solar::writeClock(int year, int month, int day, int hour, int minute, int second)
{
    // Unsigned: arguments are not limited, and only the low bits go out.
    registerImage[ClockReg] = quint32(year % 100) * 256 + quint32(month);
    registerImage[ClockReg + 1] = quint32(day) * 256 + quint32(hour);
    registerImage[ClockReg + 2] = quint32(minute) * 256 + quint32(second);
    writeParameter(ClockReg, true);
}

void com_protocol_solar::clearAccumulationWord(int reg)
{
    if (reg < FirstCounterReg || reg > LastCounterReg) {
        reportFailure();
        return;
    }
    registerImage[reg] = 0;
    writeParameter(reg, true);
}

void com_protocol_solar::clearGeneratedChargeTotal() { clearAccumulationWord(16); }
void com_protocol_solar::clearConsumedChargeTotal() { clearAccumulationWord(20); }
void com_protocol_solar::clearGeneratedEnergyTotal() { clearAccumulationWord(24); }
void com_protocol_solar::clearConsumedEnergyTotal() { clearAccumulationWord(28); }

void com_protocol_solar::resetController()
{
    if (protocol_ == ProtocolDefine && controllerType_ == ControllerMppt)
        defineResetController();
    else
        reportFailure();
}

// --- reads ------------------------------------------------------------------

void com_protocol_solar::readSerialNumber()
{
    if (protocol_ == ProtocolDefine) {
        registerImage[ClockWordsReg] = SerialNumberRequestWord;
        defineSendClockWords();
    } else if (protocol_ == ProtocolModbusRtu) {
        modbusRtuReadRegisters(84, 12);
    } else {
        modbusTcpReadRegisters(84, 12);
    }
}

void com_protocol_solar::readFactoryInfo()
{
    if (protocol_ == ProtocolDefine)
        defineReadFactoryInfo();
    else if (protocol_ == ProtocolModbusRtu)
        modbusRtuReadRegisters(96, 18);
    else
        modbusTcpReadRegisters(96, 18);
}

void com_protocol_solar::readEncryptionState()
{
    if (protocol_ == ProtocolDefine)
        defineReadEncryptionState();
    else if (protocol_ == ProtocolModbusRtu)
        modbusRtuReadRegisters(SecurityReg, 1);
    else
        modbusTcpReadRegisters(SecurityReg, 1);
}

// --- Define read requests -------------------------------------------------

void com_protocol_solar::defineReadRunData() { sendDefineCommand(0x01); }
void com_protocol_solar::defineReadTotalsAndLimits() { sendDefineCommand(0x02); }
void com_protocol_solar::defineReadChargeStage() { sendDefineCommand(0x04); }
void com_protocol_solar::defineReadBatterySettings() { sendDefineCommand(0x05); }
void com_protocol_solar::defineReadLoadSettings() { sendDefineCommand(0x06); }
void com_protocol_solar::defineReadGroup07() { sendDefineCommand(0x07); }
void com_protocol_solar::defineReadGroup08() { sendDefineCommand(0x08); }
void com_protocol_solar::defineReadEnergyTotals() { sendDefineCommand(0x09); }
void com_protocol_solar::defineReadLithiumAndNightTimes() { sendDefineCommand(0x0A); }
void com_protocol_solar::defineReadLithiumCapacity() { sendDefineCommand(0x0B); }

void com_protocol_solar::defineReadFactoryInfo()
{
    beginDefineFrame(0x77);
    txFrame[7] = 0x35;
    txFrame[12] = 0xD6;
    sendDefineFrame();
}

void com_protocol_solar::defineReadDeviceModel()
{
    beginDefineFrame(0x78);
    txFrame[8] = 0x76;
    txFrame[10] = 0x2A;
    sendDefineFrame();
}

void com_protocol_solar::defineReadVersionAndRatings()
{
    beginDefineFrame(0x79);
    txFrame[6] = 0x36;
    txFrame[7] = 0x17;
    sendDefineFrame();
}

// Every calibration bit goes out clear (pair 00 FF), which makes this a plain
// read: the service codes that a set bit would carry are the maker's and are
// not sent on a guess.
void com_protocol_solar::defineReadCalibrationState()
{
    beginDefineFrame(0xC2);
    for (int at = 3; at <= 9; at += 2)
        txFrame[at + 1] = 0xFF;
    sendDefineFrame();
}

void com_protocol_solar::defineReadEncryptionState()
{
    beginDefineFrame(0xC6);
    txFrame[3] = 0xEA;
    txFrame[4] = 0x15;
    sendDefineFrame();
}

// --- Define write frames -----------------------------------------------------

void com_protocol_solar::defineWriteControlWord()
{
    const quint32 bits = registerImage[ControlWordReg];
    const auto clear = [bits](int bit) { return quint8((bits >> bit & 1) ? 0 : 1); };
    beginDefineFrame(0x03);
    txFrame[3] = clear(0);
    txFrame[4] = clear(1);
    txFrame[5] = clear(2);
    if (controllerType_ == ControllerMppt) {
        txFrame[6] = 0x36;
        txFrame[7] = clear(3);
    } else {
        txFrame[6] = clear(3);
        txFrame[7] = clear(3);
    }
    txFrame[8] = clear(5);
    txFrame[9] = clear(4);
    sendDefineFrame();
}

void com_protocol_solar::defineWriteLowVoltageProtect()
{
    beginDefineFrame(0x20);
    putLe(3, registerImage[35]);
    txFrame[5] = txFrame[3] ^ 0xFF;
    txFrame[6] = txFrame[4] ^ 0xFF;
    sendDefineFrame();
}

void com_protocol_solar::defineWriteLowVoltageRecover()
{
    beginDefineFrame(0x21);
    putLe(3, registerImage[36]);
    txFrame[5] = txFrame[3] ^ 0xFF;
    txFrame[6] = txFrame[4] ^ 0xFF;
    sendDefineFrame();
}

void com_protocol_solar::defineWriteFloatVoltage()
{
    beginDefineFrame(0x22);
    putLe(3, registerImage[29]);
    txFrame[5] = txFrame[3] ^ 0xFF;
    txFrame[6] = txFrame[4] ^ 0xFF;
    sendDefineFrame();
}

void com_protocol_solar::defineWriteAbsorbVoltage()
{
    beginDefineFrame(0x25);
    putLe(3, registerImage[AbsorbVoltageReg]);
    noteCompanion(AbsorbVoltageReg, registerImage[AbsorbVoltageReg] & 0xFFFF);
    sendDefineFrame();
}

void com_protocol_solar::defineWriteEqualizeVoltage()
{
    beginDefineFrame(0x26);
    putLe(3, registerImage[EqualizeVoltageReg]);
    noteCompanion(EqualizeVoltageReg, registerImage[EqualizeVoltageReg] & 0xFFFF);
    sendDefineFrame();
}

void com_protocol_solar::defineWriteLithiumChargeVoltage()
{
    beginMpptFrame(0x90, 0x32, 0xAA);
    putBe(4, registerImage[116]);
    sendDefineFrame();
}

void com_protocol_solar::defineWriteAbsorbSettings()
{
    static const int regs[] = {AbsorbVoltageReg, AbsorbTimeReg};
    if (!loadCompanions(regs, 2))
        return;
    beginMpptFrame(0x91, 0x33, 0xAB);
    putBe(4, registerImage[AbsorbVoltageReg]);
    txFrame[6] = quint8(registerImage[AbsorbTimeReg]);
    sendDefineFrame();
}

void com_protocol_solar::defineWriteFloatVoltageMppt()
{
    beginMpptFrame(0x92, 0x34, 0xAC);
    putBe(4, registerImage[29]);
    sendDefineFrame();
}

void com_protocol_solar::defineWriteEqualizeSettings()
{
    static const int regs[] = {EqualizeVoltageReg, EqualizeTimeReg};
    if (!loadCompanions(regs, 2))
        return;
    beginMpptFrame(0x93, 0x35, 0xAD);
    putBe(4, registerImage[EqualizeVoltageReg]);
    txFrame[6] = quint8(registerImage[EqualizeTimeReg]);
    sendDefineFrame();
}

void com_protocol_solar::defineWriteLowVoltageProtectMppt()
{
    beginMpptFrame(0x94, 0x36, 0xAE);
    putBe(4, registerImage[35]);
    sendDefineFrame();
}

void com_protocol_solar::defineWriteLowVoltageRecoverMppt()
{
    beginMpptFrame(0x95, 0x37, 0xAF);
    putBe(4, registerImage[36]);
    sendDefineFrame();
}

void com_protocol_solar::defineWriteBatterySettings()
{
    static const int regs[] = {BatteryTypeReg, LithiumCapacityReg};
    if (!loadCompanions(regs, 2))
        return;
    beginMpptFrame(0x96, 0x38, 0xB0);
    txFrame[5] = quint8(registerImage[BatteryTypeReg]);
    putBe(6, registerImage[LithiumCapacityReg]);
    sendDefineFrame();
}

void com_protocol_solar::defineWriteTemperatureCompensation()
{
    beginMpptFrame(0x97, 0x39, 0xB1);
    txFrame[5] = quint8(registerImage[34]);
    sendDefineFrame();
}

void com_protocol_solar::defineWriteLoadSettings()
{
    static const int regs[] = {LoadModeReg, NightTime1Reg, NightTime2Reg};
    if (!loadCompanions(regs, 3))
        return;
    beginMpptFrame(0x98, 0x3A, 0x00);
    txFrame[4] = quint8(registerImage[LoadModeReg]);
    txFrame[5] = quint8(registerImage[NightTime1Reg] / 60);
    txFrame[6] = quint8(registerImage[NightTime2Reg] / 60);
    sendDefineFrame();
}

void com_protocol_solar::defineWriteBaudRate()
{
    beginMpptFrame(0x99, 0x3B, 0xB3);
    txFrame[5] = slaveAddress_;
    txFrame[6] = quint8(registerImage[BaudRateReg]);
    sendDefineFrame();
}

void com_protocol_solar::defineClearGeneratedCharge()
{
    beginMpptFrame(0xA1, 0x3B, 0xB3);
    sendDefineFrame();
}

void com_protocol_solar::defineClearConsumedCharge()
{
    beginMpptFrame(0xA2, 0x3C, 0xB4);
    sendDefineFrame();
}

void com_protocol_solar::defineResetController()
{
    beginMpptFrame(0xA3, 0x3D, 0xB5);
    sendDefineFrame();
}

void com_protocol_solar::defineWriteSystemVoltage()
{
    beginMpptFrame(0xA5, 0x3F, 0xB7);
    putBe(4, registerImage[SystemVoltageReg] * 1200);
    sendDefineFrame();
}

// --- clock and serial-number frames ------------------------------------------

void com_protocol_solar::defineSendClockWords()
{
    beginDefineFrame(0x81);
    for (int i = 0; i < 6; ++i)
        putBe(3 + 2 * i, registerImage[ClockWordsReg + i]);
    sendDefineFrame();
}

void com_protocol_solar::defineWriteClock()
{
    beginDefineFrame(0xC4);
    txFrame[3] = 0xEA;
    txFrame[4] = 0x15;
    for (int i = 0; i < 3; ++i)
        putBe(9 + 2 * i, registerImage[ClockReg + i]);
    sendDefineFrame();
}

void com_protocol_solar::fillClockWords(quint32 out[6]) const
{
    const QDateTime now = QDateTime::currentDateTime();
    const QDate date = now.date();
    const QTime time = now.time();
    out[0] = registerImage[ModelReg];
    out[1] = twoDigits(date.year() % 100);
    out[2] = twoDigits(date.month());
    out[3] = twoDigits(date.day());
    out[4] = twoDigits(time.hour());
    out[5] = twoDigits(time.minute());
}

// Under Modbus the clock goes out behind the security word and its complement.
// The word sent is the one last read from the controller, so the write leaves
// its calibration and encryption state as they are; until it has been read the
// write is refused.
void com_protocol_solar::syncDeviceClock()
{
    fillClockWords(registerImage + ClockWordsReg);
    if (protocol_ == ProtocolDefine) {
        defineSendClockWords();
        return;
    }
    if (!companionKnown_[SecurityReg]) {
        reportFailure(FailureReason::CompanionUnknown);
        return;
    }
    registerImage[ModelReg] = SyncModelWord;
    registerImage[SecurityReg] = companionValue_[SecurityReg];
    registerImage[SecurityReg + 1] = ~companionValue_[SecurityReg] & 0xFFFF;
    fillClockWords(registerImage + ClockWordsReg);
    if (protocol_ == ProtocolModbusRtu)
        modbusRtuWriteRegisters(SecurityReg, registerImage + SecurityReg, 8);
    else
        modbusTcpWriteRegisters(SecurityReg, registerImage + SecurityReg, 8);
}
