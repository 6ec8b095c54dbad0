#ifndef DEVICE_DATA_H
#define DEVICE_DATA_H

#include <QString>
#include <QtGlobal>

// Selectors of the engine. The numbers are those stored in the configuration
// mapping and compared by the windows, so they must not change.
enum ProtocolKind { ProtocolDefine = 0, ProtocolModbusRtu = 1, ProtocolModbusTcp = 2 };
enum ControllerType { ControllerPwm = 0, ControllerMppt = 1 };

// Holding registers of the controller; registerImage is indexed by these.
constexpr int RegisterCount = 144;

// Everything the controller has reported, in fixed-point units
// (0.01 V, 0.01 A, 0.1 W, degC, %, 0.01 kAh, 0.01 MWh, minutes) and texts.
struct DeviceData
{
    quint32 pvVoltage = 0;
    quint32 pvCurrent = 0;
    quint32 pvPower = 0;
    QString pvStateText;
    quint32 batteryVoltage = 0;
    qint32 batteryTemperature = 0;
    qint32 batteryCurrent = 0;
    quint32 loadCurrent = 0;
    quint32 systemVoltage = 0;
    quint32 batteryCapacity = 0;
    QString chargeStageText;
    qint32 internalTemperature = 0;
    quint32 accumulationWords[16] = {};   // registers 13..28
    quint32 floatVoltage = 0;
    quint32 absorbVoltage = 0;
    quint32 equalizeVoltage = 0;
    quint32 absorbTime = 0;
    quint32 equalizeTime = 0;
    qint32 temperatureCompensation = 0;
    quint32 lowVoltageProtect = 0;
    quint32 lowVoltageRecover = 0;
    quint32 register37 = 0;
    quint32 register38 = 0;
    QString loadModeText;
    quint32 nightTime1 = 0;
    quint32 nightTime2 = 0;
    quint32 loadTimer1 = 0;
    quint32 loadTimer2 = 0;
    quint32 loadTimer3 = 0;
    quint32 loadTimer4 = 0;
    quint32 lightOnVoltage = 0;
    quint32 lightOffVoltage = 0;
    quint32 register48 = 0;
    quint32 register49 = 0;
    QString batteryTypeText;
    QString systemVoltageText;
    quint32 overVoltageProtect = 0;
    quint32 overVoltageRecover = 0;
    quint32 statusWord = 0;
    quint32 register55 = 0;
    quint32 ratedVoltage = 0;
    quint32 ratedChargeCurrent = 0;
    quint32 ratedDischargeCurrent = 0;
    quint32 register59 = 0;
    quint32 register60 = 0;
    quint32 register61 = 0;
    quint32 register62 = 0;
    quint32 loadPower = 0;
    quint32 clockYear = 0;
    quint32 clockMonth = 0;
    quint32 clockDay = 0;
    quint32 clockHour = 0;
    quint32 clockMinute = 0;
    quint32 clockSecond = 0;
    quint32 register67 = 0;
    quint32 chargeLimit = 0;
    quint32 register69 = 0;
    QString versionInfo;
    QString deviceModel;
    QString serialNumber;
    QString factoryInfo;
    quint32 register114 = 0;
    quint32 lithiumCapacity = 0;
    quint32 lithiumChargeVoltage = 0;
    QString baudRateText;
    quint32 register118 = 0;
    quint32 loadVoltage = 0;
    QString encryptionText;
    QString calibrationText;
    quint32 calibrationWords[8] = {};     // registers 128..135

    // The four totals the windows show, kept inside accumulationWords.
    quint32 generatedChargeTotal() const { return accumulationWords[3]; }   // reg 16
    quint32 consumedChargeTotal() const { return accumulationWords[7]; }    // reg 20
    quint32 generatedEnergyTotal() const { return accumulationWords[11]; }  // reg 24
    quint32 consumedEnergyTotal() const { return accumulationWords[15]; }   // reg 28
};

#endif
