#include "simulated_device.h"

#include <QMutexLocker>
#include <QtMath>

namespace {

constexpr int SecondsPerDay = 24 * 3600;
constexpr double BatteryAh = 100.0;   // capacity behind the state of charge
constexpr int ModelRegisters = 12;
constexpr int SerialRegisters = 12;
constexpr int FactoryRegisters = 18;

// Modbus charge-stage codes (register 11).
enum Stage { StageStop = 0, StageBulk = 1, StageMppt = 2, StageFloat = 3, StageAbsorb = 4 };

// Sun strength 0..1 from 06:00 to 18:00, 0 at night.
double irradianceAt(int secondOfDay)
{
    const double hour = secondOfDay / 3600.0;
    if (hour <= 6.0 || hour >= 18.0)
        return 0.0;
    return qSin(M_PI * (hour - 6.0) / 12.0);
}

quint16 clampU16(double v)
{
    return quint16(qBound(0.0, v, 65535.0));
}

} // namespace

SimulatedDevice::SimulatedDevice(ControllerType type, quint8 address)
    : address_(address), type_(type)
{
    loadDefaults();
}

ControllerType SimulatedDevice::controllerType() const
{
    QMutexLocker lock(&mutex_);
    return type_;
}

void SimulatedDevice::setControllerType(ControllerType type)
{
    QMutexLocker lock(&mutex_);
    type_ = type;
}

quint16 SimulatedDevice::reg(int r) const
{
    QMutexLocker lock(&mutex_);
    return (r >= 0 && r < RegisterCount) ? regs_[r] : 0;
}

void SimulatedDevice::setReg(int r, quint16 value)
{
    QMutexLocker lock(&mutex_);
    if (r >= 0 && r < RegisterCount)
        regs_[r] = value;
}

bool SimulatedDevice::statusBit(int bit) const
{
    return reg(SimReg::StatusWord) & (1u << bit);
}

void SimulatedDevice::setStatusBit(int bit, bool on)
{
    QMutexLocker lock(&mutex_);
    const quint16 mask = quint16(1u << bit);
    regs_[SimReg::StatusWord] = on ? (regs_[SimReg::StatusWord] | mask)
                                   : (regs_[SimReg::StatusWord] & ~mask);
}

void SimulatedDevice::writeFromBus(int r, quint16 value)
{
    if (r == SimReg::StatusWord)
        setStatusBit(SimStatus::LoadOff, value & (1u << SimStatus::LoadOff));
    else
        setReg(r, value);
}

int SimulatedDevice::resetCount() const
{
    QMutexLocker lock(&mutex_);
    return resets_;
}

void SimulatedDevice::noteReset()
{
    QMutexLocker lock(&mutex_);
    ++resets_;
}

QVector<quint16> SimulatedDevice::registers() const
{
    QMutexLocker lock(&mutex_);
    return QVector<quint16>(regs_, regs_ + RegisterCount);
}

// Texts sit in reverse register order: the first characters in the last register.
void SimulatedDevice::setTextRegisters(int first, int count, int charsPerRegister, const QString &text)
{
    QByteArray bytes = text.toLatin1().left(count * charsPerRegister);
    bytes = bytes.leftJustified(count * charsPerRegister, ' ');
    QMutexLocker lock(&mutex_);
    for (int i = 0; i < count; ++i) {
        const int r = first + count - 1 - i;
        if (charsPerRegister == 1)
            regs_[r] = quint8(bytes[i]);
        else
            regs_[r] = quint16(quint8(bytes[2 * i]) << 8 | quint8(bytes[2 * i + 1]));
    }
}

QString SimulatedDevice::textRegisters(int first, int count, int charsPerRegister) const
{
    QMutexLocker lock(&mutex_);
    QByteArray bytes;
    for (int i = 0; i < count; ++i) {
        const quint16 v = regs_[first + count - 1 - i];
        if (charsPerRegister == 2)
            bytes.append(char(v >> 8));
        bytes.append(char(v & 0xFF));
    }
    return QString::fromLatin1(bytes);
}

QString SimulatedDevice::deviceModel() const { return textRegisters(SimReg::ModelFirst, ModelRegisters, 1); }
QString SimulatedDevice::serialNumber() const { return textRegisters(SimReg::SerialFirst, SerialRegisters, 1); }
QString SimulatedDevice::factoryInfo() const { return textRegisters(SimReg::FactoryFirst, FactoryRegisters, 2); }

void SimulatedDevice::setDeviceModel(const QString &text) { setTextRegisters(SimReg::ModelFirst, ModelRegisters, 1, text); }
void SimulatedDevice::setSerialNumber(const QString &text) { setTextRegisters(SimReg::SerialFirst, SerialRegisters, 1, text); }
void SimulatedDevice::setFactoryInfo(const QString &text) { setTextRegisters(SimReg::FactoryFirst, FactoryRegisters, 2, text); }

void SimulatedDevice::setVersion(int hardware, int software)
{
    setReg(SimReg::HardwareVersion, quint16(hardware));
    setReg(SimReg::SoftwareVersion, quint16(software));
}

void SimulatedDevice::loadDefaults()
{
    QMutexLocker lock(&mutex_);
    std::fill(std::begin(regs_), std::end(regs_), 0);
    const bool mppt = type_ == ControllerMppt;
    struct Init { int reg; int value; };
    static const Init settings[] = {
        {SimReg::SystemVoltage, 1},
        {SimReg::GeneratedChargeTotal, 1234}, {SimReg::ConsumedChargeTotal, 987},
        {SimReg::GeneratedEnergyTotal, 456}, {SimReg::ConsumedEnergyTotal, 321},
        {SimReg::FloatVoltage, 1380}, {SimReg::AbsorbVoltage, 1440}, {SimReg::EqualizeVoltage, 1460},
        {SimReg::AbsorbTime, 2}, {SimReg::EqualizeTime, 1}, {SimReg::TemperatureCompensation, quint16(-3)},
        {SimReg::LowVoltageProtect, 1110}, {SimReg::LowVoltageRecover, 1220},
        {SimReg::LoadMode, 0}, {SimReg::NightTime1, 600}, {SimReg::NightTime2, 300},
        {SimReg::LoadTimer1, 0x0530}, {SimReg::LoadTimer2, 0x1700},
        {SimReg::LightOnVoltage, 500}, {SimReg::LightOffVoltage, 600},
        {SimReg::BatteryType, 2}, {SimReg::SystemVoltageSetting, 1},
        {SimReg::OverVoltageProtect, 1600}, {SimReg::OverVoltageRecover, 1500},
        {SimReg::RatedVoltage, 12}, {SimReg::RatedChargeCurrent, 20}, {SimReg::RatedDischargeCurrent, 20},
        {SimReg::Register59, 3}, {SimReg::Register62, 7},
        {SimReg::ChargeLimit, 1440}, {SimReg::HardwareVersion, 12}, {SimReg::SoftwareVersion, 105},
        {SimReg::LithiumCapacity, 1000}, {SimReg::LithiumChargeVoltage, 1420},
        {SimReg::BaudRate, 960}, {SimReg::Security, 0x0030},
    };
    for (const Init &i : settings)
        regs_[i.reg] = quint16(i.value);
    for (int i = 0; i < 8; ++i)
        regs_[SimReg::CalibrationFirst + i] = quint16(1000 + i);
    setDeviceModel(mppt ? QStringLiteral("SIM-MPPT2012") : QStringLiteral("SIM-PWM-2012"));
    setSerialNumber(QStringLiteral("SN24060100%1").arg(address_ % 100, 2, 10, QLatin1Char('0')));
    setFactoryInfo(QStringLiteral("Solar Simulation Works, Test Bench 1"));
    secondOfDay_ = 10 * 3600;
    regs_[SimReg::ClockYearMonth] = quint16(24 << 8 | 6);
    regs_[SimReg::ClockDayHour] = quint16(21 << 8 | 10);
    stateOfCharge_ = 62.0;
    generatedAh_ = consumedAh_ = generatedWh_ = consumedWh_ = 0;
    updateLiveValues();
}

int SimulatedDevice::secondOfDay() const
{
    QMutexLocker lock(&mutex_);
    return secondOfDay_;
}

void SimulatedDevice::setSecondOfDay(int second)
{
    QMutexLocker lock(&mutex_);
    secondOfDay_ = ((second % SecondsPerDay) + SecondsPerDay) % SecondsPerDay;
    // The device's clock shows the same time of day; its date stays.
    regs_[SimReg::ClockDayHour] = quint16((regs_[SimReg::ClockDayHour] & 0xFF00) | secondOfDay_ / 3600);
    regs_[SimReg::ClockMinuteSecond] = quint16((secondOfDay_ / 60 % 60) << 8 | secondOfDay_ % 60);
    updateLiveValues();
}

void SimulatedDevice::advance(int seconds)
{
    QMutexLocker lock(&mutex_);
    while (seconds > 0) {
        const int step = qMin(seconds, 60);
        seconds -= step;
        const double hours = step / 3600.0;
        const double batteryAmps = qint16(regs_[SimReg::BatteryCurrent]) / 100.0;
        stateOfCharge_ = qBound(5.0, stateOfCharge_ + batteryAmps * hours / BatteryAh * 100.0, 100.0);
        generatedAh_ += regs_[SimReg::PvCurrent] / 100.0 * hours;
        consumedAh_ += regs_[SimReg::LoadCurrent] / 100.0 * hours;
        generatedWh_ += regs_[SimReg::PvPower] / 10.0 * hours;
        consumedWh_ += regs_[SimReg::LoadPower] / 10.0 * hours;
        // Totals count in 0.01 kAh (10 Ah) and 0.01 MWh (10 kWh).
        auto carry = [this](double &pending, double unit, int r) {
            const int whole = int(pending / unit);
            pending -= whole * unit;
            regs_[r] = quint16(regs_[r] + whole);
        };
        carry(generatedAh_, 10.0, SimReg::GeneratedChargeTotal);
        carry(consumedAh_, 10.0, SimReg::ConsumedChargeTotal);
        carry(generatedWh_, 10000.0, SimReg::GeneratedEnergyTotal);
        carry(consumedWh_, 10000.0, SimReg::ConsumedEnergyTotal);
        secondOfDay_ = (secondOfDay_ + step) % SecondsPerDay;
        advanceClock(step);
        updateLiveValues();
    }
}

// Live registers from the time of day, the state of charge and the load switch.
void SimulatedDevice::updateLiveValues()
{
    wiggle_ = wiggle_ * 1664525u + 1013904223u;
    const double noise = (int((wiggle_ >> 16) % 201) - 100) / 10000.0;   // +-1 %
    const double sun = irradianceAt(secondOfDay_);
    const double scale = qMax(1, int(regs_[SimReg::SystemVoltage]));   // multiple of a 12 V battery
    const bool mppt = type_ == ControllerMppt;

    int stage = StageStop;
    if (sun > 0.02)
        stage = stateOfCharge_ < 85.0 ? (mppt ? StageMppt : StageBulk)
                : stateOfCharge_ < 98.0 ? StageAbsorb : StageFloat;

    const bool loadOn = !(regs_[SimReg::StatusWord] & (1u << SimStatus::LoadOff));
    const double hour = secondOfDay_ / 3600.0;
    const double loadAmps = loadOn ? ((hour >= 18.0 || hour < 6.0) ? 2.4 : 1.2) * (1.0 + noise) : 0.0;
    double chargeAmps = regs_[SimReg::RatedChargeCurrent] * 0.9 * sun * (1.0 + noise);
    if (stage == StageAbsorb)
        chargeAmps *= 0.5;
    else if (stage == StageFloat)
        chargeAmps = qMin(chargeAmps, loadAmps + 0.3);

    double batteryVolts = (11.9 + 1.3 * stateOfCharge_ / 100.0) * scale;
    batteryVolts += 0.015 * (chargeAmps - loadAmps);
    if (stage == StageAbsorb)
        batteryVolts = regs_[SimReg::AbsorbVoltage] / 100.0 * scale;
    else if (stage == StageFloat)
        batteryVolts = regs_[SimReg::FloatVoltage] / 100.0 * scale;

    double pvVolts = 0.4;
    if (sun > 0.0)
        pvVolts = mppt ? (30.0 + 6.0 * sun) * scale * (1.0 + noise) : batteryVolts + 0.6;

    regs_[SimReg::PvVoltage] = clampU16(pvVolts * 100.0);
    regs_[SimReg::PvCurrent] = clampU16(chargeAmps * 100.0);
    regs_[SimReg::PvPower] = quint16(quint32(regs_[SimReg::PvVoltage]) * regs_[SimReg::PvCurrent] / 1000);
    regs_[SimReg::PvState] = sun > 0.02 ? 1 : 0;
    regs_[SimReg::BatteryVoltage] = clampU16(batteryVolts * 100.0);
    regs_[SimReg::BatteryTemperature] = quint16(qint16(qRound(20.0 + 6.0 * sun)));
    regs_[SimReg::LoadCurrent] = clampU16(loadAmps * 100.0);
    // Both protocols must agree: Define derives the battery current this way.
    regs_[SimReg::BatteryCurrent] = quint16(qint16(regs_[SimReg::PvCurrent] - regs_[SimReg::LoadCurrent]));
    regs_[SimReg::BatteryCapacity] = quint16(qRound(stateOfCharge_));
    regs_[SimReg::ChargeStage] = quint16(stage);
    regs_[SimReg::InternalTemperature] = quint16(qint16(qRound(25.0 + 15.0 * sun)));
    regs_[SimReg::LoadPower] = loadOn
        ? quint16(quint32(regs_[SimReg::LoadCurrent]) * regs_[SimReg::BatteryVoltage] / 1000) : 0;
}

// The clock registers run on their own (a written clock keeps its setting);
// months have 28 days here, which is all a display needs.
void SimulatedDevice::advanceClock(int seconds)
{
    int year = regs_[SimReg::ClockYearMonth] >> 8, month = regs_[SimReg::ClockYearMonth] & 0xFF;
    int day = regs_[SimReg::ClockDayHour] >> 8, hour = regs_[SimReg::ClockDayHour] & 0xFF;
    int minute = regs_[SimReg::ClockMinuteSecond] >> 8, second = regs_[SimReg::ClockMinuteSecond] & 0xFF;
    qint64 t = ((qint64(qMax(day, 1)) - 1) * 24 + hour) * 3600 + minute * 60 + second + seconds;
    second = int(t % 60);
    minute = int(t / 60 % 60);
    hour = int(t / 3600 % 24);
    const int days = int(t / SecondsPerDay);
    day = days % 28 + 1;
    month = qMax(month, 1) + days / 28;
    year = (year + (month - 1) / 12) % 100;
    month = (month - 1) % 12 + 1;
    regs_[SimReg::ClockYearMonth] = quint16(year << 8 | month);
    regs_[SimReg::ClockDayHour] = quint16(day << 8 | hour);
    regs_[SimReg::ClockMinuteSecond] = quint16(minute << 8 | second);
}
