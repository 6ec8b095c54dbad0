#ifndef SIM_LINKS_H
#define SIM_LINKS_H

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

#include "request_framer.h"

class QSerialPort;
class QSocketNotifier;
class QTcpSocket;
class SimulatedController;

// One byte stream the simulator serves: a TCP connection, a serial device or
// the master side of a pseudo-terminal. Cuts requests out of the stream,
// has the controller answer them and writes the replies with the transport
// faults (stale bytes, split halves, closing after N requests).
class SimLink : public QObject
{
    Q_OBJECT

public:
    SimLink(SimulatedController *owner, ProtocolKind protocol);
    ~SimLink() override;

    void setProtocol(ProtocolKind protocol) { framer_.setProtocol(protocol); }
    virtual bool isStream() const { return false; }   // a TCP connection
    virtual void close() = 0;
    // Noise goes out as far as the link takes it at once; the rest is dropped.
    virtual void writeNoise(const QByteArray &noise) { writeBytes(noise); }

protected:
    void received(const QByteArray &bytes);
    virtual void writeBytes(const QByteArray &bytes) = 0;

private:
    void serve(const QList<QByteArray> &frames);
    void sendReply(const QByteArray &reply, int staleBytes, int splitDelayMs, int byteGapMs, bool closeMidReply);
    void trickle(QByteArray rest, int gapMs);
    void writeAt(qint64 dueNs, const std::function<void()> &write);


    SimulatedController *owner_;
    RequestFramer framer_;
    QTimer idleTimer_;
    int served_ = 0;
    qint64 lineFreeNs_ = 0;   // with line timing: when the wire is quiet again
};

class TcpSimLink : public SimLink
{
    Q_OBJECT
public:
    TcpSimLink(SimulatedController *owner, ProtocolKind protocol, QTcpSocket *socket);
    bool isStream() const override { return true; }
    void close() override;

protected:
    void writeBytes(const QByteArray &bytes) override;

private:
    QPointer<QTcpSocket> socket_;
};

class PtySimLink : public SimLink
{
    Q_OBJECT
public:
    PtySimLink(SimulatedController *owner, ProtocolKind protocol);
    ~PtySimLink() override;
    bool open();   // false when no pseudo-terminal could be created
    QString slavePath() const { return slavePath_; }
    void close() override;
    void writeNoise(const QByteArray &noise) override;

protected:
    void writeBytes(const QByteArray &bytes) override;

private:
    void readMaster();

    int master_ = -1;
    int slave_ = -1;   // held open so the master never sees a hang-up
    QString slavePath_;
    QSocketNotifier *notifier_ = nullptr;
};

class SerialSimLink : public SimLink
{
    Q_OBJECT
public:
    SerialSimLink(SimulatedController *owner, ProtocolKind protocol);
    bool open(const QString &path, qint32 baud);
    void close() override;

protected:
    void writeBytes(const QByteArray &bytes) override;

private:
    QSerialPort *port_;
};

#endif
