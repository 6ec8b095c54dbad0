// Temporary bodies until the engine lands; remove each as it is implemented.
#include "com_protocol_solar.h"

com_protocol_solar::com_protocol_solar(QObject *parent) : QObject(parent) {}
void com_protocol_solar::setSlaveAddress(quint8 address) {}
quint8 com_protocol_solar::slaveAddress() const { return {}; }
void com_protocol_solar::setProtocol(int protocol) {}
int com_protocol_solar::protocol() const { return {}; }
void com_protocol_solar::setControllerType(int type) {}
int com_protocol_solar::controllerType() const { return {}; }
void com_protocol_solar::setResponseTimeout(int ms) {}
int com_protocol_solar::responseTimeout() const { return {}; }
void com_protocol_solar::setMaxRetries(int retries) {}
int com_protocol_solar::maxRetries() const { return {}; }
void com_protocol_solar::processResponse() {}
void com_protocol_solar::startResponseTimer() {}
void com_protocol_solar::stopResponseTimer() {}
void com_protocol_solar::reportFailure() {}
int com_protocol_solar::expectedResponseLength() const { return {}; }
void com_protocol_solar::modbusRtuReadRegisters(quint16 start, int count) {}
void com_protocol_solar::modbusRtuWriteRegisters(quint16 start, const quint32 *values, int count) {}
void com_protocol_solar::modbusTcpReadRegisters(quint16 start, int count) {}
void com_protocol_solar::modbusTcpWriteRegisters(quint16 start, const quint32 *values, int count) {}
void com_protocol_solar::writeFloatVoltage(int value) {}
void com_protocol_solar::writeAbsorbVoltage(int value) {}
void com_protocol_solar::writeEqualizeVoltage(int value) {}
void com_protocol_solar::writeAbsorbTime(int minutes) {}
void com_protocol_solar::writeEqualizeTime(int minutes) {}
void com_protocol_solar::writeTemperatureCompensation(int value) {}
void com_protocol_solar::writeLowVoltageProtect(int value) {}
void com_protocol_solar::writeLowVoltageRecover(int value) {}
void com_protocol_solar::writeRegister37(int value) {}
void com_protocol_solar::writeRegister38(int value) {}
void com_protocol_solar::writeLoadMode(int code) {}
void com_protocol_solar::writeNightTime1(int minutes) {}
void com_protocol_solar::writeNightTime2(int minutes) {}
void com_protocol_solar::writeLoadTimer1(int first, int second) {}
void com_protocol_solar::writeLoadTimer2(int first, int second) {}
void com_protocol_solar::writeLoadTimer3(int first, int second) {}
void com_protocol_solar::writeLoadTimer4(int first, int second) {}
void com_protocol_solar::writeLightOnVoltage(int value) {}
void com_protocol_solar::writeLightOffVoltage(int value) {}
void com_protocol_solar::writeRegister48(int value) {}
void com_protocol_solar::writeRegister49(int value) {}
void com_protocol_solar::writeBatteryType(int code) {}
void com_protocol_solar::writeSystemVoltage(int code) {}
void com_protocol_solar::writeOverVoltageProtect(int value) {}
void com_protocol_solar::writeOverVoltageRecover(int value) {}
void com_protocol_solar::writeControlWord(int bits) {}
void com_protocol_solar::writeRegister55(int value) {}
void com_protocol_solar::writeClock(int year, int month, int day, int hour, int minute, int second) {}
void com_protocol_solar::writeRegister67(int value) {}
void com_protocol_solar::writeRegister68(int value) {}
void com_protocol_solar::writeRegister69(int value) {}
void com_protocol_solar::writeRegister114(int value) {}
void com_protocol_solar::writeLithiumCapacity(int value) {}
void com_protocol_solar::writeLithiumChargeVoltage(int value) {}
void com_protocol_solar::writeBaudRate(int code) {}
void com_protocol_solar::clearAccumulationWord(int reg) {}
void com_protocol_solar::clearGeneratedChargeTotal() {}
void com_protocol_solar::clearConsumedChargeTotal() {}
void com_protocol_solar::clearGeneratedEnergyTotal() {}
void com_protocol_solar::clearConsumedEnergyTotal() {}
void com_protocol_solar::resetController() {}
void com_protocol_solar::readSerialNumber() {}
void com_protocol_solar::readFactoryInfo() {}
void com_protocol_solar::readEncryptionState() {}
void com_protocol_solar::defineReadRunData() {}
void com_protocol_solar::defineReadTotalsAndLimits() {}
void com_protocol_solar::defineReadChargeStage() {}
void com_protocol_solar::defineReadBatterySettings() {}
void com_protocol_solar::defineReadLoadSettings() {}
void com_protocol_solar::defineReadGroup07() {}
void com_protocol_solar::defineReadGroup08() {}
void com_protocol_solar::defineReadEnergyTotals() {}
void com_protocol_solar::defineReadLithiumAndNightTimes() {}
void com_protocol_solar::defineReadLithiumCapacity() {}
void com_protocol_solar::defineReadFactoryInfo() {}
void com_protocol_solar::defineReadDeviceModel() {}
void com_protocol_solar::defineReadVersionAndRatings() {}
void com_protocol_solar::defineReadCalibrationState() {}
void com_protocol_solar::defineReadEncryptionState() {}
void com_protocol_solar::defineWriteControlWord() {}
void com_protocol_solar::defineWriteLowVoltageProtect() {}
void com_protocol_solar::defineWriteLowVoltageRecover() {}
void com_protocol_solar::defineWriteFloatVoltage() {}
void com_protocol_solar::defineWriteAbsorbVoltage() {}
void com_protocol_solar::defineWriteEqualizeVoltage() {}
void com_protocol_solar::defineWriteLithiumChargeVoltage() {}
void com_protocol_solar::defineWriteAbsorbSettings() {}
void com_protocol_solar::defineWriteFloatVoltageMppt() {}
void com_protocol_solar::defineWriteEqualizeSettings() {}
void com_protocol_solar::defineWriteLowVoltageProtectMppt() {}
void com_protocol_solar::defineWriteLowVoltageRecoverMppt() {}
void com_protocol_solar::defineWriteBatterySettings() {}
void com_protocol_solar::defineWriteTemperatureCompensation() {}
void com_protocol_solar::defineWriteLoadSettings() {}
void com_protocol_solar::defineWriteBaudRate() {}
void com_protocol_solar::defineClearGeneratedCharge() {}
void com_protocol_solar::defineClearConsumedCharge() {}
void com_protocol_solar::defineResetController() {}
void com_protocol_solar::defineWriteSystemVoltage() {}
void com_protocol_solar::defineSendClockWords() {}
void com_protocol_solar::defineWriteClock() {}
void com_protocol_solar::fillClockWords(quint32 out[6]) const {}
void com_protocol_solar::syncDeviceClock() {}
void com_protocol_solar::rec_timer_slot() {}
