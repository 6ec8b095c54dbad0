#ifndef SIMULATED_DEVICE_H
#define SIMULATED_DEVICE_H

#include <QMutex>
#include <QString>
#include <QVector>
#include <QtGlobal>

#include "device_data.h"

// Holding-register numbers of the controller, the one map the simulated
// device keeps its whole state in. Both Modbus variants read and write them
// as they stand; the Define answers are built from them (see define_responder.cpp).
namespace SimReg {
enum : int {
    PvVoltage = 1,            // 0.01 V
    PvCurrent = 2,            // 0.01 A
    PvPower = 3,              // 0.1 W
    PvState = 4,              // 0 LOW, 1 Generating, 2 Hight, 3 NO
    BatteryVoltage = 5,       // 0.01 V
    BatteryTemperature = 6,   // degC, signed
    BatteryCurrent = 7,       // 0.01 A, signed
    LoadCurrent = 8,          // 0.01 A
    SystemVoltage = 9,        // volts / 12 (detected)
    BatteryCapacity = 10,     // %
    ChargeStage = 11,         // Modbus stage code
    InternalTemperature = 12, // degC, signed
    AccumulationFirst = 13,
    GeneratedChargeTotal = 16,  // 0.01 kAh
    ConsumedChargeTotal = 20,   // 0.01 kAh
    GeneratedEnergyTotal = 24,  // 0.01 MWh
    ConsumedEnergyTotal = 28,   // 0.01 MWh
    FloatVoltage = 29,
    AbsorbVoltage = 30,
    EqualizeVoltage = 31,
    AbsorbTime = 32,          // hours
    EqualizeTime = 33,        // hours
    TemperatureCompensation = 34,
    LowVoltageProtect = 35,
    LowVoltageRecover = 36,
    LoadMode = 39,            // Modbus load-mode code
    NightTime1 = 40,          // minutes
    NightTime2 = 41,          // minutes
    LoadTimer1 = 42,
    LoadTimer2 = 43,
    LightOnVoltage = 46,
    LightOffVoltage = 47,
    BatteryType = 50,         // Modbus battery-type code (SEAL 2, FLD 3)
    SystemVoltageSetting = 51,// code, 0 automatic
    OverVoltageProtect = 52,
    OverVoltageRecover = 53,
    StatusWord = 54,
    RatedVoltage = 56,
    RatedChargeCurrent = 57,
    RatedDischargeCurrent = 58,
    Register59 = 59,
    Register62 = 62,
    LoadPower = 63,           // 0.1 W
    ClockYearMonth = 64,
    ClockDayHour = 65,
    ClockMinuteSecond = 66,
    ChargeLimit = 68,
    HardwareVersion = 70,     // 12 = 1.2
    SoftwareVersion = 71,
    ModelFirst = 72,          // 72..83, one character per register, reversed
    SerialFirst = 84,         // 84..95, one character per register, reversed
    FactoryFirst = 96,        // 96..113, two characters per register, reversed
    LithiumCapacity = 115,    // 0.1 Ah
    LithiumChargeVoltage = 116,
    BaudRate = 117,           // baud / 10
    CalibrationFirst = 128,
    Security = 136,           // calibration bits 0..3, encryption bits 4..5
    ClockWordsFirst = 138,    // 138..143, the words of the last 0x81 frame
};
}

// Status word bits (register 54).
namespace SimStatus {
enum : int {
    LowVoltage = 0, OverLoad = 1, ShortCircuit = 2, LoadOff = 3, BatteryOver = 4,
    OverTemperature = 5, PvOver = 6, PvNotConnected = 7, InternalSensorFault = 8,
    SelfCheckError = 9, NotCalibrated = 10,
};
}

// One simulated charge controller: the 144 holding registers and the
// movement of a solar day. Thread-safe, so a simulator running in its own
// thread can be inspected from a test.
class SimulatedDevice
{
public:
    explicit SimulatedDevice(ControllerType type = ControllerMppt, quint8 address = 1);

    quint8 address() const { return address_; }
    ControllerType controllerType() const;
    void setControllerType(ControllerType type);

    quint16 reg(int r) const;              // 0 outside 0..143
    void setReg(int r, quint16 value);     // ignored outside 0..143
    qint16 signedReg(int r) const { return qint16(reg(r)); }
    bool statusBit(int bit) const;
    void setStatusBit(int bit, bool on);
    bool loadOn() const { return !statusBit(SimStatus::LoadOff); }

    // A register written by a request. The status word reports conditions
    // the device detects, so only its load-switch bit (3) is writable.
    void writeFromBus(int r, quint16 value);
    // Reset commands received (a reset keeps every stored setting).
    int resetCount() const;
    void noteReset();

    // Text fields as the Modbus decoder reads them: model and serial one
    // Latin-1 character per register, factory two, in reverse register
    // order; shorter texts are padded with spaces.
    QString deviceModel() const;
    void setDeviceModel(const QString &text);      // up to 12 characters
    QString serialNumber() const;
    void setSerialNumber(const QString &text);     // up to 12 characters
    QString factoryInfo() const;
    void setFactoryInfo(const QString &text);      // up to 36 characters
    void setVersion(int hardware, int software);   // 12, 105 -> HRV1.2,SFV10.5

    // Fills every register with a plausible controller of the current type
    // at mid-morning; the constructor does this.
    void loadDefaults();

    // Moves the live values on by simulated seconds: irradiance follows the
    // time of day, charge flows into the battery, totals grow and the clock
    // registers advance. Deterministic for a given start state.
    void advance(int seconds);
    int secondOfDay() const;
    void setSecondOfDay(int second);

    // Snapshot of all registers (index = register address).
    QVector<quint16> registers() const;

private:
    void setTextRegisters(int first, int count, int charsPerRegister, const QString &text);
    QString textRegisters(int first, int count, int charsPerRegister) const;
    void updateLiveValues();
    void advanceClock(int seconds);

    mutable QRecursiveMutex mutex_;
    quint8 address_;
    ControllerType type_;
    quint16 regs_[RegisterCount] = {};
    int secondOfDay_ = 10 * 3600;
    double stateOfCharge_ = 62.0;   // %, finer than register 10
    double generatedAh_ = 0;        // fractions not yet in the totals
    double consumedAh_ = 0;
    double generatedWh_ = 0;
    double consumedWh_ = 0;
    quint32 wiggle_ = 0x2545F491;   // deterministic noise
    int resets_ = 0;
};

#endif
