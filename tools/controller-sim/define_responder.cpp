#include "define_responder.h"

#include <iterator>

#include "checksums.h"
#include "simulated_device.h"

namespace {

// A register value and the code the Define frames carry for it.
struct CodePair
{
    int reg;
    int wire;
};

template <size_t N>
int wireOf(const CodePair (&table)[N], int reg, int otherwise)
{
    for (const CodePair &p : table)
        if (p.reg == reg)
            return p.wire;
    return otherwise;
}

template <size_t N>
int regOf(const CodePair (&table)[N], int wire, int otherwise)
{
    for (const CodePair &p : table)
        if (p.wire == wire)
            return p.reg;
    return otherwise;
}

// Register 50 holds the Modbus code (SEAL 2, FLD 3); Define swaps those two.
const CodePair batteryTypes[] = {{0, 0}, {1, 1}, {2, 3}, {3, 2}, {4, 4}, {5, 5}};
// Register 11 (STOP, BULK, MPPT, Float, Absorb, Equalize, Current, CV) onto
// the four Define stages (Bulk, Absorb, Float, Equalize). A stopped charger
// idles like one in float.
const CodePair chargeStages[] = {{0, 2}, {1, 0}, {2, 0}, {3, 2}, {4, 1}, {5, 3}, {6, 0}, {7, 1}};
// Register 39 (Normal, Light time, Light, Timing) in the load-settings answer.
const CodePair loadModesPwm[] = {{0, 0}, {1, 1}, {2, 3}, {3, 4}};   // shifted left by 5
const CodePair loadModesMpptRead[] = {{0, 0}, {1, 1}, {2, 3}};     // Timing has no code
const CodePair loadModesMpptWrite[] = {{0, 15}, {1, 1}, {2, 14}, {3, 3}};
// Register 117 (baud / 10) and the Define baud code.
const CodePair baudRates[] = {{480, 0}, {960, 1}, {1440, 2}, {1920, 3}, {3840, 4},
                              {4300, 5}, {5600, 6}, {5760, 7}, {11520, 8}};

constexpr int NoCode = 0xFF;   // decodes to nothing, so the tool keeps its text

struct Frame
{
    quint8 b[DefineResponder::FrameLength] = {};

    int le(int k) const { return b[k] | b[k + 1] << 8; }
    int be(int k) const { return b[k] << 8 | b[k + 1]; }
    void setLe(int k, int v) { b[k] = quint8(v); b[k + 1] = quint8(v >> 8); }
    void setBe(int k, int v) { b[k] = quint8(v >> 8); b[k + 1] = quint8(v); }
    void setS8(int k, int v) { b[k] = quint8(qint8(qBound(-128, v, 127))); }
    void setU8(int k, int v) { b[k] = quint8(qBound(0, v, 255)); }
    void copyPayload(const Frame &from) { std::copy(from.b + 3, from.b + 15, b + 3); }
    void putText(const QString &text)
    {
        const QByteArray latin = text.toLatin1().left(12);
        std::fill(b + 3, b + 15, 0);
        std::copy(latin.begin(), latin.end(), b + 3);
    }
};

int tenfold(quint16 v)
{
    return qMin(int(v) * 10, 0xFFFF);   // Define counts totals in tenths of the register unit
}

int nibble(int v)
{
    return qBound(0, v, 15);
}

struct Command;
using Handler = bool (*)(SimulatedDevice &, const Command &, const Frame &, Frame &);

enum Types { Pwm = 1, Mppt = 2, Both = Pwm | Mppt };

// Fixed bytes a request must carry (position 0 = none).
struct Fixed
{
    int pos;
    quint8 value;
};

struct Command
{
    quint8 code;
    int types;
    Handler handler;
    int reg;   // the register a generic handler reads or writes
    Fixed fixed[2];
};

// --- reads -------------------------------------------------------------------

void fillRunData(SimulatedDevice &d, Frame &rep)
{
    rep.setLe(3, d.reg(SimReg::PvVoltage));
    rep.setLe(5, d.reg(SimReg::PvCurrent));
    rep.setLe(7, d.reg(SimReg::BatteryVoltage));
    rep.setLe(9, d.reg(SimReg::LoadCurrent));
    rep.setS8(11, d.signedReg(SimReg::BatteryTemperature));
    rep.setU8(12, d.reg(SimReg::BatteryCapacity));
    rep.b[13] = quint8(d.reg(SimReg::StatusWord));
}

bool runData(SimulatedDevice &d, const Command &, const Frame &, Frame &rep)
{
    fillRunData(d, rep);
    return true;
}

bool totalsAndLimits(SimulatedDevice &d, const Command &, const Frame &, Frame &rep)
{
    rep.setLe(3, tenfold(d.reg(SimReg::GeneratedChargeTotal)));
    rep.setLe(5, tenfold(d.reg(SimReg::ConsumedChargeTotal)));
    rep.setLe(7, d.reg(SimReg::FloatVoltage));
    rep.setLe(9, d.reg(SimReg::LowVoltageProtect));
    rep.setLe(11, d.reg(SimReg::LowVoltageRecover));
    rep.setBe(13, d.reg(SimReg::ModelFirst));
    return true;
}

bool chargeStage(SimulatedDevice &d, const Command &, const Frame &, Frame &rep)
{
    rep.b[12] = quint8(wireOf(chargeStages, d.reg(SimReg::ChargeStage), 0));
    return true;
}

bool batterySettings(SimulatedDevice &d, const Command &, const Frame &, Frame &rep)
{
    rep.setLe(3, d.reg(SimReg::FloatVoltage));
    rep.setLe(5, d.reg(SimReg::AbsorbVoltage));
    rep.setLe(7, d.reg(SimReg::EqualizeVoltage));
    rep.setU8(9, d.reg(SimReg::AbsorbTime));
    rep.setU8(10, d.reg(SimReg::EqualizeTime));
    rep.setS8(12, d.signedReg(SimReg::TemperatureCompensation));
    rep.b[13] = quint8(nibble(wireOf(batteryTypes, d.reg(SimReg::BatteryType), 15)) << 4);
    // One nibble for the detected system voltage, one for the charge limit,
    // both in steps of 12 V.
    rep.b[14] = quint8(nibble(d.reg(SimReg::ChargeLimit) / 1200) << 4 | nibble(d.reg(SimReg::SystemVoltage)));
    return true;
}

bool loadSettings(SimulatedDevice &d, const Command &, const Frame &, Frame &rep)
{
    rep.setLe(7, d.reg(SimReg::LightOnVoltage));
    rep.setLe(9, d.reg(SimReg::LoadTimer1));
    rep.setLe(11, d.reg(SimReg::LoadTimer2));
    const int mode = d.reg(SimReg::LoadMode);
    rep.b[13] = d.controllerType() == ControllerPwm
        ? quint8(wireOf(loadModesPwm, mode, 7) << 5)
        : quint8(wireOf(loadModesMpptRead, mode, NoCode));
    rep.setS8(14, d.signedReg(SimReg::InternalTemperature));
    return true;
}

bool atLe3(SimulatedDevice &d, const Command &c, const Frame &, Frame &rep)
{
    rep.setLe(3, d.reg(c.reg));
    return true;
}

bool group07(SimulatedDevice &d, const Command &, const Frame &, Frame &rep)
{
    rep.setLe(5, d.reg(SimReg::Register59));
    return true;
}

bool energyTotals(SimulatedDevice &d, const Command &, const Frame &, Frame &rep)
{
    rep.setLe(3, tenfold(d.reg(SimReg::GeneratedEnergyTotal)));
    rep.setLe(5, tenfold(d.reg(SimReg::ConsumedEnergyTotal)));
    return true;
}

void fillClock(SimulatedDevice &d, Frame &rep)
{
    for (int i = 0; i < 3; ++i)
        rep.setBe(9 + 2 * i, d.reg(SimReg::ClockYearMonth + i));
}

bool lithiumAndNightTimes(SimulatedDevice &d, const Command &, const Frame &, Frame &rep)
{
    rep.setLe(3, d.reg(SimReg::LithiumChargeVoltage));
    rep.b[5] = quint8(nibble(d.reg(SimReg::NightTime2) / 60) << 4 | nibble(d.reg(SimReg::NightTime1) / 60));
    fillClock(d, rep);
    return true;
}

bool factoryText(SimulatedDevice &d, const Command &, const Frame &, Frame &rep)
{
    rep.putText(d.factoryInfo());
    return true;
}

bool modelText(SimulatedDevice &d, const Command &, const Frame &, Frame &rep)
{
    rep.putText(d.deviceModel());
    return true;
}

bool versionAndRatings(SimulatedDevice &d, const Command &, const Frame &, Frame &rep)
{
    rep.setU8(3, d.reg(SimReg::SystemVoltageSetting) * 12);
    rep.setU8(4, d.reg(SimReg::RatedChargeCurrent));
    rep.setU8(5, d.reg(SimReg::HardwareVersion));
    rep.b[8] = quint8(wireOf(baudRates, d.reg(SimReg::BaudRate), NoCode));
    return true;
}

// 0x81 carries six clock words in; the answer is the serial number.
bool clockWordsSerial(SimulatedDevice &d, const Command &, const Frame &req, Frame &rep)
{
    for (int i = 0; i < 6; ++i)
        d.setReg(SimReg::ClockWordsFirst + i, quint16(req.be(3 + 2 * i)));
    rep.putText(d.serialNumber());
    return true;
}

bool calibrationState(SimulatedDevice &d, const Command &, const Frame &req, Frame &rep)
{
    rep.copyPayload(req);
    const bool calibrated = (d.reg(SimReg::Security) & 0x0F) != 0x0F;
    std::fill(rep.b + 11, rep.b + 15, calibrated ? 0xBC : 0x00);
    return true;
}

bool encryptionState(SimulatedDevice &d, const Command &, const Frame &req, Frame &rep)
{
    const bool encrypted = (d.reg(SimReg::Security) & 0x30) != 0x30;
    if (!encrypted)
        rep.copyPayload(req);   // any non-zero byte 3 or 4 says "not encrypted"
    return true;
}

// --- writes ------------------------------------------------------------------

bool writeClock(SimulatedDevice &d, const Command &, const Frame &req, Frame &rep)
{
    for (int i = 0; i < 3; ++i)
        d.setReg(SimReg::ClockYearMonth + i, quint16(req.be(9 + 2 * i)));
    rep.copyPayload(req);
    fillClock(d, rep);
    return true;
}

// The load switch is the only writable part of the status word; the other
// flags of the request ask to clear faults the device reports by itself.
bool controlWord(SimulatedDevice &d, const Command &, const Frame &req, Frame &rep)
{
    const bool pwm = d.controllerType() == ControllerPwm;
    if (!pwm && req.b[6] != 0x36)
        return false;
    const bool loadOn = pwm ? (req.b[6] && req.b[7]) : req.b[7] != 0;
    d.setStatusBit(SimStatus::LoadOff, !loadOn);
    fillRunData(d, rep);
    if (!pwm) {
        const bool sensorFault = d.statusBit(SimStatus::InternalSensorFault);
        const bool uncalibrated = d.statusBit(SimStatus::NotCalibrated);
        rep.b[14] = quint8((sensorFault ? 0x02 : 0) | (uncalibrated ? 0x80 : 0));
    }
    return true;
}

bool writeWithComplement(SimulatedDevice &d, const Command &c, const Frame &req, Frame &rep)
{
    if (req.b[5] != quint8(~req.b[3]) || req.b[6] != quint8(~req.b[4]))
        return false;
    d.setReg(c.reg, quint16(req.le(3)));
    rep.setLe(3, d.reg(c.reg));
    rep.b[5] = quint8(~rep.b[3]);
    rep.b[6] = quint8(~rep.b[4]);
    return true;
}

bool writeLe(SimulatedDevice &d, const Command &c, const Frame &req, Frame &rep)
{
    d.setReg(c.reg, quint16(req.le(3)));
    rep.setLe(3, d.reg(c.reg));
    return true;
}

// The MPPT writes are answered with their own payload.
bool writeBe(SimulatedDevice &d, const Command &c, const Frame &req, Frame &rep)
{
    d.setReg(c.reg, quint16(req.be(4)));
    rep.copyPayload(req);
    return true;
}

// Voltage and hours: absorb (30, 32) or equalize (31, 33).
bool writeVoltageAndTime(SimulatedDevice &d, const Command &c, const Frame &req, Frame &rep)
{
    d.setReg(c.reg, quint16(req.be(4)));
    d.setReg(c.reg + 2, req.b[6]);
    rep.copyPayload(req);
    return true;
}

bool writeBatterySettings(SimulatedDevice &d, const Command &, const Frame &req, Frame &rep)
{
    const int type = regOf(batteryTypes, req.b[5], -1);
    if (type >= 0)
        d.setReg(SimReg::BatteryType, quint16(type));
    d.setReg(SimReg::LithiumCapacity, quint16(req.be(6)));
    rep.copyPayload(req);
    return true;
}

bool writeTemperatureCompensation(SimulatedDevice &d, const Command &, const Frame &req, Frame &rep)
{
    d.setReg(SimReg::TemperatureCompensation, quint16(qint16(qint8(req.b[5]))));
    rep.copyPayload(req);
    return true;
}

bool writeLoadSettings(SimulatedDevice &d, const Command &, const Frame &req, Frame &rep)
{
    const int mode = regOf(loadModesMpptWrite, req.b[4], -1);
    if (mode >= 0)
        d.setReg(SimReg::LoadMode, quint16(mode));
    d.setReg(SimReg::NightTime1, quint16(req.b[5] * 60));
    d.setReg(SimReg::NightTime2, quint16(req.b[6] * 60));
    rep.copyPayload(req);
    return true;
}

bool writeBaudRate(SimulatedDevice &d, const Command &, const Frame &req, Frame &rep)
{
    if (req.b[5] != d.address())
        return false;
    const int baud = regOf(baudRates, req.b[6], -1);
    if (baud >= 0)
        d.setReg(SimReg::BaudRate, quint16(baud));
    rep.copyPayload(req);
    return true;
}

bool clearTotal(SimulatedDevice &d, const Command &c, const Frame &req, Frame &rep)
{
    d.setReg(c.reg, 0);
    rep.copyPayload(req);
    return true;
}

bool resetController(SimulatedDevice &d, const Command &, const Frame &req, Frame &rep)
{
    d.noteReset();
    rep.copyPayload(req);
    return true;
}

bool writeSystemVoltage(SimulatedDevice &d, const Command &, const Frame &req, Frame &rep)
{
    const int centivolts = req.be(4);
    if (centivolts % 1200 == 0 && centivolts / 1200 <= 9)
        d.setReg(SimReg::SystemVoltageSetting, quint16(centivolts / 1200));
    rep.copyPayload(req);
    return true;
}

constexpr Fixed none{0, 0};
constexpr Fixed sig(quint8 b3) { return Fixed{3, b3}; }
constexpr Fixed tail(quint8 b14) { return Fixed{14, b14}; }

const Command commands[] = {
    {0x01, Both, runData, 0, {none, none}},
    {0x02, Both, totalsAndLimits, 0, {none, none}},
    {0x03, Both, controlWord, 0, {none, none}},
    {0x04, Both, chargeStage, 0, {none, none}},
    {0x05, Both, batterySettings, 0, {none, none}},
    {0x06, Both, loadSettings, 0, {none, none}},
    {0x07, Both, group07, 0, {none, none}},
    {0x08, Both, atLe3, SimReg::Register62, {none, none}},
    {0x09, Both, energyTotals, 0, {none, none}},
    {0x0A, Both, lithiumAndNightTimes, 0, {none, none}},
    {0x0B, Both, atLe3, SimReg::LithiumCapacity, {none, none}},
    {0x20, Pwm, writeWithComplement, SimReg::LowVoltageProtect, {none, none}},
    {0x21, Pwm, writeWithComplement, SimReg::LowVoltageRecover, {none, none}},
    {0x22, Pwm, writeWithComplement, SimReg::FloatVoltage, {none, none}},
    {0x25, Pwm, writeLe, SimReg::AbsorbVoltage, {none, none}},
    {0x26, Pwm, writeLe, SimReg::EqualizeVoltage, {none, none}},
    {0x77, Both, factoryText, 0, {{7, 0x35}, {12, 0xD6}}},
    {0x78, Both, modelText, 0, {{8, 0x76}, {10, 0x2A}}},
    {0x79, Both, versionAndRatings, 0, {{6, 0x36}, {7, 0x17}}},
    {0x81, Both, clockWordsSerial, 0, {none, none}},
    {0x90, Mppt, writeBe, SimReg::LithiumChargeVoltage, {sig(0x32), tail(0xAA)}},
    {0x91, Mppt, writeVoltageAndTime, SimReg::AbsorbVoltage, {sig(0x33), tail(0xAB)}},
    {0x92, Mppt, writeBe, SimReg::FloatVoltage, {sig(0x34), tail(0xAC)}},
    {0x93, Mppt, writeVoltageAndTime, SimReg::EqualizeVoltage, {sig(0x35), tail(0xAD)}},
    {0x94, Mppt, writeBe, SimReg::LowVoltageProtect, {sig(0x36), tail(0xAE)}},
    {0x95, Mppt, writeBe, SimReg::LowVoltageRecover, {sig(0x37), tail(0xAF)}},
    {0x96, Mppt, writeBatterySettings, 0, {sig(0x38), tail(0xB0)}},
    {0x97, Mppt, writeTemperatureCompensation, 0, {sig(0x39), tail(0xB1)}},
    {0x98, Mppt, writeLoadSettings, 0, {sig(0x3A), tail(0x00)}},
    {0x99, Mppt, writeBaudRate, 0, {sig(0x3B), tail(0xB3)}},
    {0xA1, Mppt, clearTotal, SimReg::GeneratedChargeTotal, {sig(0x3B), tail(0xB3)}},
    {0xA2, Mppt, clearTotal, SimReg::ConsumedChargeTotal, {sig(0x3C), tail(0xB4)}},
    {0xA3, Mppt, resetController, 0, {sig(0x3D), tail(0xB5)}},
    {0xA5, Mppt, writeSystemVoltage, 0, {sig(0x3F), tail(0xB7)}},
    {0xC2, Both, calibrationState, 0, {none, none}},
    {0xC4, Both, writeClock, 0, {{3, 0xEA}, {4, 0x15}}},
    {0xC6, Both, encryptionState, 0, {{3, 0xEA}, {4, 0x15}}},
};

const Command *findCommand(quint8 code)
{
    for (const Command &c : commands)
        if (c.code == code)
            return &c;
    return nullptr;
}

} // namespace

namespace DefineResponder {

bool isValidFrame(const QByteArray &frame)
{
    if (frame.size() != FrameLength || quint8(frame[0]) != Header)
        return false;
    return crc8(reinterpret_cast<const quint8 *>(frame.constData()), FrameLength - 1)
           == quint8(frame[FrameLength - 1]);
}

void seal(QByteArray &frame)
{
    frame[FrameLength - 1] =
        char(crc8(reinterpret_cast<const quint8 *>(frame.constData()), FrameLength - 1));
}

QByteArray reply(SimulatedDevice &dev, const QByteArray &request)
{
    if (!isValidFrame(request))
        return {};
    Frame req;
    std::copy(request.begin(), request.end(), req.b);
    const Command *c = findCommand(req.b[2]);
    const int type = dev.controllerType() == ControllerPwm ? Pwm : Mppt;
    if (!c || !(c->types & type))
        return {};
    for (const Fixed &f : c->fixed)
        if (f.pos && req.b[f.pos] != f.value)
            return {};
    Frame rep;
    rep.b[0] = Header;
    rep.b[1] = dev.address();
    rep.b[2] = c->code;
    if (!c->handler(dev, *c, req, rep))
        return {};
    QByteArray out(reinterpret_cast<const char *>(rep.b), FrameLength);
    seal(out);
    return out;
}

}
