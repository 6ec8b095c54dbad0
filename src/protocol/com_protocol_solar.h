#ifndef COM_PROTOCOL_SOLAR_H
#define COM_PROTOCOL_SOLAR_H

#include <QHash>
#include <QObject>
#include <QReadWriteLock>
#include <QTimer>

#include "checksums.h"
#include "code_tables.h"
#include "device_data.h"
#include "request_observer.h"

// Protocol engine for one charge controller: settings, request/response
// buffers, the device data model, the send/timeout/retry engine and the
// decoders of the Define, Modbus RTU and Modbus TCP protocols.
//
// Every request operation returns at once; its outcome arrives as exactly one
// receiveSuccesSignal or receiveFailSignal. Nothing is thrown.
class com_protocol_solar : public QObject
{
    Q_OBJECT

public:
    static constexpr int FrameBufferSize = 2048;
    static constexpr int DefineFrameLength = 16;

    explicit com_protocol_solar(QObject *parent = nullptr);

    // --- settings -------------------------------------------------------
    void setSlaveAddress(quint8 address);
    quint8 slaveAddress() const;
    void setProtocol(int protocol);
    int protocol() const;
    void setControllerType(int type);
    int controllerType() const;
    void setResponseTimeout(int ms);
    int responseTimeout() const;
    void setMaxRetries(int retries);
    int maxRetries() const;

    // --- send engine ----------------------------------------------------
    void processResponse();
    void startResponseTimer();
    void stopResponseTimer();
    // Why the latest receiveFailSignal was sent.
    enum class FailureReason { NoAnswer, NotAvailable, CompanionUnknown, ValueRefused };
    // Reports at once that a request cannot be sent (NotAvailable unless told).
    void reportFailure();
    void reportFailure(FailureReason reason);
    // Bytes the link must gather for the pending request (0 when idle).
    int expectedResponseLength() const;
    // Length of a Modbus exception answer to the pending request standing at
    // the end of the count gathered bytes, or 0. It is shorter than the
    // expected answer, so the link hands it over on its own instead of waiting
    // for bytes that never come.
    int exceptionResponseLength(const quint8 *bytes, int count) const;

    void modbusRtuReadRegisters(quint16 start, int count);
    void modbusRtuWriteRegisters(quint16 start, const quint32 *values, int count);
    void modbusTcpReadRegisters(quint16 start, int count);
    void modbusTcpWriteRegisters(quint16 start, const quint32 *values, int count);

    // --- protocol-independent writes and clears -------------------------
    void writeFloatVoltage(int value);
    void writeAbsorbVoltage(int value);
    void writeEqualizeVoltage(int value);
    void writeAbsorbTime(int minutes);
    void writeEqualizeTime(int minutes);
    void writeTemperatureCompensation(int value);
    void writeLowVoltageProtect(int value);
    void writeLowVoltageRecover(int value);
    void writeRegister37(int value);
    void writeRegister38(int value);
    void writeLoadMode(int code);
    void writeNightTime1(int minutes);
    void writeNightTime2(int minutes);
    void writeLoadTimer1(int first, int second);
    void writeLoadTimer2(int first, int second);
    void writeLoadTimer3(int first, int second);
    void writeLoadTimer4(int first, int second);
    void writeLightOnVoltage(int value);
    void writeLightOffVoltage(int value);
    void writeRegister48(int value);
    void writeRegister49(int value);
    void writeBatteryType(int code);
    void writeSystemVoltage(int code);
    void writeOverVoltageProtect(int value);
    void writeOverVoltageRecover(int value);
    void writeControlWord(int bits);
    void writeRegister55(int value);
    void writeClock(int year, int month, int day, int hour, int minute, int second);
    void writeRegister67(int value);
    void writeRegister68(int value);
    void writeRegister69(int value);
    void writeRegister114(int value);
    void writeLithiumCapacity(int value);
    void writeLithiumChargeVoltage(int value);
    void writeBaudRate(int code);
    void clearAccumulationWord(int reg);
    void clearGeneratedChargeTotal();
    void clearConsumedChargeTotal();
    void clearGeneratedEnergyTotal();
    void clearConsumedEnergyTotal();
    void resetController();

    // --- reads ----------------------------------------------------------
    void readSerialNumber();
    void readFactoryInfo();
    void readEncryptionState();

    // --- Define read requests -------------------------------------------
    void defineReadRunData();               // 0x01
    void defineReadTotalsAndLimits();       // 0x02
    void defineReadChargeStage();           // 0x04
    void defineReadBatterySettings();       // 0x05
    void defineReadLoadSettings();          // 0x06
    void defineReadGroup07();               // 0x07
    void defineReadGroup08();               // 0x08
    void defineReadEnergyTotals();          // 0x09
    void defineReadLithiumAndNightTimes();  // 0x0A
    void defineReadLithiumCapacity();       // 0x0B
    void defineReadFactoryInfo();           // 0x77
    void defineReadDeviceModel();           // 0x78
    void defineReadVersionAndRatings();     // 0x79
    void defineReadCalibrationState();      // 0xC2
    void defineReadEncryptionState();       // 0xC6

    // --- Define write frames --------------------------------------------
    void defineWriteControlWord();              // 0x03 (PWM and MPPT forms)
    void defineWriteLowVoltageProtect();        // 0x20 PWM
    void defineWriteLowVoltageRecover();        // 0x21 PWM
    void defineWriteFloatVoltage();             // 0x22 PWM
    void defineWriteAbsorbVoltage();            // 0x25 PWM
    void defineWriteEqualizeVoltage();          // 0x26 PWM
    void defineWriteLithiumChargeVoltage();     // 0x90 MPPT
    void defineWriteAbsorbSettings();           // 0x91 MPPT
    void defineWriteFloatVoltageMppt();         // 0x92 MPPT
    void defineWriteEqualizeSettings();         // 0x93 MPPT
    void defineWriteLowVoltageProtectMppt();    // 0x94 MPPT
    void defineWriteLowVoltageRecoverMppt();    // 0x95 MPPT
    void defineWriteBatterySettings();          // 0x96 MPPT
    void defineWriteTemperatureCompensation();  // 0x97 MPPT
    void defineWriteLoadSettings();             // 0x98 MPPT
    void defineWriteBaudRate();                 // 0x99 MPPT
    void defineClearGeneratedCharge();          // 0xA1 MPPT
    void defineClearConsumedCharge();           // 0xA2 MPPT
    void defineResetController();               // 0xA3 MPPT
    void defineWriteSystemVoltage();            // 0xA5 MPPT

    // --- clock and serial-number frames ---------------------------------
    void defineSendClockWords();            // 0x81
    void defineWriteClock();                // 0xC4
    void fillClockWords(quint32 out[6]) const;
    void syncDeviceClock();

    // --- public state read by the windows -------------------------------
    quint16 transactionId = 1;
    int responseTimeoutMs = 500;
    int retryCount = 0;
    quint8 frameHeader = 0x8E;

    quint8 txFrame[FrameBufferSize] = {};
    int txLength = 0;
    quint8 rxFrame[FrameBufferSize] = {};
    int rxLength = 0;

    QTimer responseTimer;
    QReadWriteLock dataLock;
    quint32 registerImage[RegisterCount] = {};
    DeviceData deviceData;
    FailureReason failureReason = FailureReason::NoAnswer;
    // Link statistics, told of every send, answer, re-send and failure (not owned).
    RequestObserver *observer = nullptr;

signals:
    void beginSentData();
    void receiveSuccesSignal();
    void receiveFailSignal();

public slots:
    void rec_timer_slot();

private:
    // What processResponse makes of a response held in rxFrame.
    enum class Verdict { Accepted, Rejected, Unrelated };

    // send engine
    void sendFrame(int length);
    void succeed();
    void retryOrFail();
    Verdict rejected(RequestObserver::Reject why, int code = -1);
    Verdict checkDefineResponse();
    Verdict checkRtuResponse();
    Verdict checkTcpResponse();
    bool modbusCountFits(int count, int limit);
    int putModbusWritePdu(int at, quint16 start, const quint32 *values, int count);
    void beginTcpFrame(int pduLength);

    // commands
    void beginDefineFrame(quint8 code);
    void beginMpptFrame(quint8 code, quint8 signature3, quint8 signature14);
    void putLe(int at, quint32 value);
    void putBe(int at, quint32 value);
    void sendDefineFrame();
    void sendDefineCommand(quint8 code);
    void writeParameter(int reg, bool stored);
    void sendDefineParameter(int reg, bool stored);
    bool loadCompanions(const int *regs, int count);
    void noteCompanion(int reg, quint32 frameValue);
    void noteRegisterValue(int reg, quint32 value);
    void writeBaudRateDefine(int code);

    // decoding
    void decodeDefine(const quint8 *frame);
    void decodeDefineRunData(const quint8 *frame, bool fromControlWrite);
    void decodeDefineBatterySettings(const quint8 *frame);
    void decodeDefineLoadSettings(const quint8 *frame);
    void decodeDefineVersion(const quint8 *frame);
    void decodeDefineClock(const quint8 *frame);
    void decodeModbusRegisters(quint16 start, const quint8 *values, int count);
    void decodeModbusRegister(int reg, quint16 value);
    void decodeModbusText(int reg);
    void setCodeText(QString &field, const CodeTable &table, int code);
    const QString &translated(const char *text);

    int protocol_ = ProtocolDefine;
    int controllerType_ = ControllerPwm;
    quint8 slaveAddress_ = 1;
    int maxRetries_ = 2;

    // Settings the MPPT frames 0x91, 0x93, 0x96 and 0x98 carry beside the one
    // being written, in the unit those frames take, as last decoded from or
    // written to this controller. A frame is refused while one is unknown,
    // because a guessed value would overwrite the controller's own setting.
    quint32 companionValue_[RegisterCount] = {};
    bool companionKnown_[RegisterCount] = {};
    // Why the latest Rejected verdict was given, for the observer.
    RequestObserver::Reject reject_ = RequestObserver::Reject::Malformed;
    int rejectCode_ = -1;
    // Register whose new value a protocol-independent write has just stored;
    // the MPPT frame sends it from registerImage instead of the companion.
    int freshRegister_ = -1;
    // Code texts as translated, by their untranslated text: every answer is
    // decoded, and translating anew each time would allocate each time.
    QHash<const char *, QString> translatedTexts_;
};

#endif
