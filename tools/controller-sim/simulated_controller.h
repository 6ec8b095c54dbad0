#ifndef SIMULATED_CONTROLLER_H
#define SIMULATED_CONTROLLER_H

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QRecursiveMutex>
#include <QSharedPointer>
#include <QString>
#include <QTimer>

#include <functional>

#include "device_data.h"
#include "simulated_device.h"

class QTcpServer;
class QThread;
class SimLink;

// Faults applied to the replies; switchable while the simulator runs.
struct SimFaults
{
    bool silence = false;            // answer nothing
    bool garbage = false;            // replace the reply by junk of the same length
    bool badCrc = false;             // corrupt the checksum (Define CRC-8, RTU CRC-16)
    bool wrongAddress = false;       // answer with address + 1 (Define, RTU, TCP unit)
    bool wrongTransactionId = false; // Modbus TCP: answer with transaction id + 1
    int exceptionCode = 0;           // Modbus: answer this exception instead (0 = off)
    int splitDelayMs = 0;            // write the reply in two halves, this far apart
    int staleBytes = 0;              // junk bytes written just before the reply
    int closeAfter = 0;              // TCP: drop the connection after N requests (0 = never)
    int byteGapMs = 0;               // write the reply a byte at a time, this far apart
    bool closeMidReply = false;      // write the first half of the reply, then close the link
    int noiseBytesPerSecond = 0;     // random bytes on every link while these faults hold
    // Makes the reply anything at all (after the faults above), from the
    // request and the reply the device would give; empty is silence.
    std::function<QByteArray(const QByteArray &request, const QByteArray &reply)> rewrite;
    // How many further replies the faults above apply to (-1 = all of them);
    // counts down as they are used, then the simulator answers cleanly again.
    int limit = -1;

    bool any() const;
};

// Faults of one address on a shared line, beside the bus-wide ones above.
struct SimDeviceFaults
{
    bool silent = false;   // this address answers nothing
    int answerAs = 0;      // its answers carry this address instead (0 = its own)
    // It also answers every request for this address, as itself and at the
    // same moment as the device there: on the line the two answers collide
    // (0 = off).
    int alsoAnswers = 0;
};

// The line as a physical half-duplex wire: every byte takes 10 bit times at
// baud, and an answer starts turnaroundUs after its request has arrived.
struct SimLineTiming
{
    bool on = false;
    qint32 baud = 9600;
    int turnaroundUs = 10000;

    qint64 byteNs() const { return baud > 0 ? 10000000000LL / baud : 0; }
};

// One request as it arrived, for tests that assert what went on the wire.
struct SimRequest
{
    QByteArray frame;
    QByteArray reply;   // what was written back (empty when silent)
};

// A bus of simulated controllers speaking one protocol over any number of
// transports. Serves from the Qt event loop of the thread it lives in, so a
// test in the same thread drives it while it waits with events; the
// transport-free handleRequest() serves in-process tests without any I/O.
class SimulatedController : public QObject
{
    Q_OBJECT

public:
    explicit SimulatedController(ProtocolKind protocol = ProtocolModbusRtu,
                                 ControllerType type = ControllerMppt,
                                 QObject *parent = nullptr);
    ~SimulatedController() override;

    ProtocolKind protocol() const;
    void setProtocol(ProtocolKind protocol);

    // --- devices on the bus ---------------------------------------------
    // The constructor adds one device at address 1.
    SimulatedDevice *addDevice(quint8 address, ControllerType type);
    SimulatedDevice *addDevice(quint8 address);   // of the bus's default type
    void removeDevice(quint8 address);
    SimulatedDevice *device(quint8 address = 1) const;   // nullptr if absent
    QList<quint8> addresses() const;
    // Sets every device's controller type (and the default for new ones).
    void setControllerType(ControllerType type);
    // Faults of one address; switchable while the simulator runs.
    void setDeviceFaults(quint8 address, const SimDeviceFaults &faults);
    SimDeviceFaults deviceFaults(quint8 address) const;

    // --- line timing (off: answers leave at once) --------------------------
    void setLineTiming(const SimLineTiming &timing);
    SimLineTiming lineTiming() const;

    // --- requests without a transport ------------------------------------
    // Answers one complete request frame (faults applied, request logged).
    // Returns the reply bytes, empty for silence or no device at the address.
    // Split delays, stale bytes and closing are transport matters and are
    // applied only by the transports.
    QByteArray handleRequest(const QByteArray &frame);

    // --- transports ---------------------------------------------------------
    // Listens on 127.0.0.1; port 0 picks a free one. Returns the port, 0 on failure.
    quint16 listenTcp(quint16 port = 0);
    quint16 tcpPort() const;
    int tcpClientCount() const;
    // Serves a serial device (8N1 at the given speed).
    bool openSerial(const QString &path, qint32 baud = 9600);
    // Creates a pseudo-terminal and serves its master side; returns the slave
    // path the tool opens as its serial port, empty on failure.
    QString openPty();
    QString ptyPath() const;
    // Closes every transport and connection.
    void closeTransports();
    // Drops the current TCP connections (the server keeps listening).
    void dropTcpClients();

    // --- request log ----------------------------------------------------------
    int requestCount() const;
    QList<SimRequest> requests() const;
    QByteArray lastRequest() const;
    QByteArray lastReply() const;
    void clearRequests();

    // --- faults ------------------------------------------------------------------
    SimFaults faults() const;
    void setFaults(const SimFaults &faults);
    void clearFaults() { setFaults(SimFaults()); }

    // --- live day --------------------------------------------------------------
    // Off by default in-process (tests set values and see them unchanged).
    // Each timer tick advances every device by secondsPerTick simulated seconds.
    void setMotionEnabled(bool on, int intervalMs = 1000, int secondsPerTick = 60);
    bool motionEnabled() const;
    void advance(int seconds);   // one manual step of every device

    // Register values and texts from an INI or JSON file, applied to every
    // device (see values_file.cpp for the format). False with a message on error.
    bool loadValues(const QString &path, QString *error = nullptr);

signals:
    void requestReceived(const QByteArray &frame);
    void replySent(const QByteArray &reply);
    void tcpClientConnected();
    void tcpClientDisconnected();

private:
    friend class SimLink;
    // One answer with the faults of the moment; the transport faults travel
    // with it for the link to apply.
    struct Reply
    {
        QByteArray bytes;
        int staleBytes = 0;
        int splitDelayMs = 0;
        int closeAfter = 0;
        int byteGapMs = 0;
        bool closeMidReply = false;
    };
    Reply answer(const QByteArray &frame);
    QByteArray deviceReply(const QByteArray &frame, int exceptionCode);
    QByteArray replyOf(quint8 address, const QByteArray &frame, int exceptionCode);
    QByteArray applyReplyFaults(QByteArray reply, const SimFaults &faults) const;
    void addLink(SimLink *link);
    void writeNoise();

    mutable QRecursiveMutex mutex_;
    ProtocolKind protocol_;
    ControllerType defaultType_;
    QMap<quint8, QSharedPointer<SimulatedDevice>> devices_;
    SimFaults faults_;
    QMap<quint8, SimDeviceFaults> deviceFaults_;
    SimLineTiming lineTiming_;
    QList<SimRequest> log_;
    QTcpServer *tcpServer_ = nullptr;
    QList<QPointer<SimLink>> links_;
    QString ptyPath_;
    QTimer motionTimer_;
    QTimer noiseTimer_;
    int secondsPerTick_ = 60;
};

// The simulator in a thread of its own, for callers that block their own
// thread while they wait for an answer. Inspect devices through controller()
// (register access is thread-safe); start transports through the methods here.
class SimulatorThread
{
public:
    SimulatorThread(ProtocolKind protocol = ProtocolModbusRtu, ControllerType type = ControllerMppt);
    ~SimulatorThread();
    SimulatedController *controller() const { return controller_; }
    quint16 listenTcp(quint16 port = 0);
    QString openPty();
    bool openSerial(const QString &path, qint32 baud = 9600);
    void setMotionEnabled(bool on, int intervalMs = 1000, int secondsPerTick = 60);

private:
    QThread *thread_;
    SimulatedController *controller_;
};

#endif
