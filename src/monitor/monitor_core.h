#ifndef MONITOR_CORE_H
#define MONITOR_CORE_H

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

#include "com_protocol_solar.h"
#include "link_config.h"
#include "link_stats.h"
#include "live_sample.h"
#include "parameter_table.h"

// Waits ms milliseconds while the event loop keeps running (1 ms sleeps), so
// link slots, engine timers and user actions run nested inside the wait.
void waitWithEvents(int ms);

// What is said to the controller: the link (serial port or TCP socket), both
// engines, the polling schedules with the bus scan, the two reply states and
// the parameter actions by id (parameter_table.h). Everything runs on the
// thread that owns it; whoever shows or records the results listens to the
// signals and their DeviceData, or reads the const accessors.
class MonitorCore : public QObject
{
    Q_OBJECT

public:
    enum class LinkState { Down, Connecting, Up };
    Q_ENUM(LinkState)

    enum class LinkReason {
        Connecting,         // TCP attempt started
        Connected,          // serial port opened or socket connected
        ClosedByUser,       // disconnectLink()
        Refused,
        HostUnreachable,    // host not found or no route
        TimedOut,
        ClosedByPeer,
        SerialPortLost,     // error on an open port (adapter pulled, ...)
        SerialOpenFailed,   // portName, errorText, permissionDenied tell more
        SocketError,        // any other socket error; errorText tells which
        NoTransport,        // communication_mode names no link this tool has
    };
    Q_ENUM(LinkReason)

    struct LinkEvent
    {
        LinkState state = LinkState::Down;
        LinkReason reason = LinkReason::ClosedByUser;
        QString portName;      // serial port or host:port
        QString errorText;     // the system's words, when there are any
        bool permissionDenied = false;
    };

    // Why a parameter action ended as it did.
    enum class ParameterOutcome {
        Answered,
        NoAnswer,           // no valid answer within the engine's retries
        Exception,          // Modbus exception answer; the code goes beside it
        NotAvailable,       // not offered by this protocol or controller type
        CompanionUnknown,   // the frame's companion block has not been read yet
        ValueRefused,       // a value or code the controller cannot take
        LinkDown,
    };
    Q_ENUM(ParameterOutcome)

    // What an answered poll step filled in DeviceData, for whoever shows it.
    enum class StepResult {
        None,
        RunData,                  // Define live values and status word
        ModbusRunData,            // Modbus live values
        ChargeTotals,
        InternalTemperature,
        ChargeStage,
        SystemVoltage,
        EnergyTotals,
        FactoryInfo,              // Modbus: only once both halves arrived
        DeviceModel,
        SerialNumber,
        EncryptionState,
        VersionAndRatedCurrents,  // MPPT Define
        Ratings,                  // Modbus rated voltage and currents
        VersionInfo,
        ModbusStatus,             // status word with the Modbus load rule
        FactoryFirstHalf,         // internal: first of the two Modbus reads
        FactorySecondHalf,        // internal: second of them
    };
    Q_ENUM(StepResult)

    // Values of paramRequestState.
    static constexpr int ParamIdle = 0;
    static constexpr int ParamPending = 1;
    static constexpr int ParamAnswered = 2;
    static constexpr int ParamFailed = 3;

    static constexpr int TickIntervalMs = 100;
    static constexpr int WaitSliceMs = 20;

    explicit MonitorCore(QObject *parent = nullptr);
    ~MonitorCore() override;

    // --- members ----------------------------------------------------------
    QSerialPort serialPort;
    QTcpSocket tcpSocket;
    QTimer refreshTimer;
    com_protocol_solar mainEngine;
    com_protocol_solar scanEngine;
    int paramRequestState = 0;   // 0 idle, 1 pending, 2 answered, 3 failed
    int pollReplyState = 5;      // 5 waiting, 6 answered, 7 failed, 4 taken by a parameter action
    // The settings file connectLink() reads; empty: config.ini in the
    // working directory.
    QString configPath;

    // --- what a view reads (the polled controller) ----------------------------
    // Its model as the last answer left it; a view reads it, never writes.
    const DeviceData &deviceData() const { return mainEngine.deviceData; }
    int deviceAddress() const { return nextAddress_ >= 0 ? nextAddress_ : mainEngine.slaveAddress(); }
    // Another device of the bus (the device list's choice): polled from the
    // next tick on, nothing of the one before carried over.
    void setDeviceAddress(quint8 address);
    ProtocolKind protocol() const { return ProtocolKind(mainEngine.protocol()); }
    ControllerType controllerType() const { return ControllerType(mainEngine.controllerType()); }

    // --- link (link.cpp) ----------------------------------------------------
    bool linkIsUp() const { return linkUp_; }
    // A TCP attempt still connecting after ms is given up (reason TimedOut);
    // 0, the default, leaves it to the system.
    void setConnectTimeout(int ms) { connectTimeoutMs_ = ms; }
    const LinkEvent &lastLinkEvent() const { return lastLinkEvent_; }
    // Opens the link link describes. False only when the serial port failed
    // to open (the link stays down).
    bool connectLink(const LinkConfig &link);
    // The same with the settings file read afresh, once.
    bool connectLink();
    QString configFilePath() const;
    void disconnectLink();
    bool openSerialLink();
    void openTcpLink();
    void onSerialError(QSerialPort::SerialPortError error);
    void onTcpConnected();
    void onTcpDisconnected();
    void onTcpError(QAbstractSocket::SocketError error);
    void onConnectTimeout();
    com_protocol_solar *activeEngine();
    QIODevice *activeLink();   // the open port or socket of modeSetting, or none
    void applyProtocolSetting();
    void applyControllerSetting();
    void dataSendSlot();
    void dataReceiveSlot();
    void appendAvailable(QIODevice *link);
    void dataReceiveSuccessSlot();
    void dataReceiveFailSlot();

    // --- refresh cycle (poll_schedule.cpp) --------------------------------
    void refereshDisplayRef();
    // Shorter timers compress time for soak runs; the tool keeps 100 and 20.
    void setPollTiming(int tickIntervalMs, int waitSliceMs);
    int tickInterval() const { return tickIntervalMs_; }
    int waitSlice() const { return waitSliceMs_; }
    // Waits sleep in the event loop until something happens instead of in
    // 1 ms steps: the same checks, far fewer wake-ups (for a headless poller).
    void setBlockingWait(bool on) { blockingWait_ = on; }
    void wait(int ms);
    // Identity steps of the schedule the engine now has, as a set of bits.
    static quint32 identityStepsFor(const com_protocol_solar &engine);
    // Whether the schedule the engine now has fills that result.
    static bool scheduleAnswers(const com_protocol_solar &engine, StepResult result);

    // --- link statistics (link_stats.h) -------------------------------------
    const LinkStats &linkStats() const { return linkStats_; }
    void resetLinkStats() { linkStats_.reset(); }

    // --- parameter requests (parameter_requests.cpp) ----------------------
    bool parameterPageIdle() const;
    // Takes the page for one action; false (nothing changed) when the link is
    // down or another action is pending.
    bool beginParameterAction();
    // Each sends one request on mainEngine and waits with events running,
    // inside an action begun above. Returns ParamAnswered, ParamFailed, or
    // ParamIdle when the link went down; parameterFinished tells why.
    int readParameter(ParameterId id);
    // input: the typed text (scaled as the parameter says) or the list text
    // (its code under the current protocol; a text without one is refused).
    int writeParameter(ParameterId id, const QString &input);
    int runCommand(DeviceCommand command);
    int requestLoadSwitch();
    int requestLoadState(bool on);   // on: the same frame as requestLoadSwitch()
    void endParameterAction();
    // What the last answer left for id, in its display format.
    QString parameterText(ParameterId id) const;

signals:
    void linkChanged(const MonitorCore::LinkEvent &event);
    // A request went to the link; empty when no engine had one pending.
    void frameSent(const QByteArray &frame);
    // First bytes towards the pending request's answer.
    void replyStarted();
    // The bytes handed to the engine as its answer.
    void frameReceived(const QByteArray &frame);
    // The engine's verdict on the outstanding request, before the reply
    // states are updated.
    void replyOutcome(bool answered);
    // A poll step was answered; data is the engine's model just filled.
    void stepAnswered(MonitorCore::StepResult result, const DeviceData &data);
    // A scan probe ended at address: answered with model, or not.
    void deviceProbed(int address, bool answered, const QString &model);
    // Every identity step of the schedule answered since the link came up,
    // or one of them changed afterwards.
    void identityKnown(const DeviceIdentity &identity);
    void parameterFinished(MonitorCore::ParameterOutcome outcome, int exceptionCode);

private:
    void setLink(LinkState state, LinkReason reason, const QString &portName = QString(),
                 const QString &errorText = QString(), bool permissionDenied = false);
    void issueParameterRead(const ParameterTable::DefineRead &define, quint16 reg);
    int awaitParameterReply();
    void finishParameter(int state);
    void noteIdentity(StepResult result);
    void settleRtuLine(QIODevice *link);
    qint64 rtuSilenceGapNs() const;
    friend struct PollRunner;
    friend class BusLine;   // runs cores on one shared line
    friend class MonitorCoreProbe;   // tests look inside through it

    // The texts of the last Connect's settings.
    QString modeSetting;
    QString controllerSetting;
    QString protocolSetting;
    QByteArray rxBuffer;   // bytes received since the last send

    LinkStats linkStats_;   // this device's link, fed by both engines' observers

    int tickIntervalMs_ = TickIntervalMs;
    int waitSliceMs_ = WaitSliceMs;
    bool blockingWait_ = false;
    QByteArray txCopy_;   // the frame as sent, storage kept between requests
    QTimer waitTimer_;
    bool linkUp_ = false;
    int connectTimeoutMs_ = 0;
    QTimer connectTimer_;
    LinkEvent lastLinkEvent_;
    LinkConfig link_;   // of the last Connect
    LinkReason tcpDownReason_ = LinkReason::ClosedByPeer;
    QString tcpDownText_;
    // Modbus RTU: the line may still carry an answer nobody waits for.
    bool rtuLineDirty_ = false;
    bool settlingRtuLine_ = false;
    QElapsedTimer rtuLineActivity_;   // since the last byte or failure
    int lastExceptionCode_ = -1;   // of the answer handed over since the last send
    DeviceIdentity identity_;
    quint32 identitySeen_ = 0;
    bool identityAnnounced_ = false;
    // Where the refresh cycle stands; each core has its own, begun afresh
    // whenever a link comes up, so nothing of one link completes another's.
    struct PollState
    {
        int step = 0;            // the schedule step run last
        int scanAddress = 0;     // the bus address probed last
        bool factoryFirstHalf = false;   // first Modbus factory read answered
    };
    PollState poll_;
    // On a shared line (bus_line.cpp): the line's port or socket, which this
    // core neither opens nor owns; its own scan step left out; a wait that
    // ends as soon as the reply is in.
    QIODevice *sharedLink_ = nullptr;
    int nextAddress_ = -1;   // setDeviceAddress() waiting for the next tick
    void applyNextAddress();
    bool pollsScan_ = true;
    bool wakeOnReply_ = false;
};

Q_DECLARE_METATYPE(MonitorCore::LinkEvent)
Q_DECLARE_METATYPE(DeviceData)
Q_DECLARE_METATYPE(DeviceIdentity)

#endif
