#include "sim_links.h"

#include <QSerialPort>
#include <QSocketNotifier>
#include <QTcpSocket>

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include "simulated_controller.h"

namespace {

// Quiet time after which a partial RTU request is taken as complete.
constexpr int IdleGapMs = 50;
constexpr char StaleByte = 0x5A;

qint64 monotonicNs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

} // namespace

SimLink::SimLink(SimulatedController *owner, ProtocolKind protocol)
    : QObject(owner), owner_(owner), framer_(protocol)
{
    idleTimer_.setSingleShot(true);
    idleTimer_.setInterval(IdleGapMs);
    connect(&idleTimer_, &QTimer::timeout, this, [this] { serve(framer_.flushIdle()); });
}

SimLink::~SimLink() = default;

void SimLink::received(const QByteArray &bytes)
{
    serve(framer_.feed(bytes));
    if (framer_.hasPending())
        idleTimer_.start();
    else
        idleTimer_.stop();
}

void SimLink::serve(const QList<QByteArray> &frames)
{
    for (const QByteArray &frame : frames) {
        const SimulatedController::Reply reply = owner_->answer(frame);
        ++served_;
        const SimLineTiming timing = owner_->lineTiming();
        if (timing.on) {
            // The request took its bytes' time on the wire, the device its
            // turnaround, and the answer its own bytes' time: it arrives whole
            // when its last byte would have.
            const qint64 byteNs = timing.byteNs();
            qint64 at = qMax(monotonicNs(), lineFreeNs_) + frame.size() * byteNs;
            if (!reply.bytes.isEmpty())
                at += qint64(timing.turnaroundUs) * 1000
                      + (reply.bytes.size() + reply.staleBytes) * byteNs;
            lineFreeNs_ = at;
            if (!reply.bytes.isEmpty())
                writeAt(at, [this, reply] {
                    sendReply(reply.bytes, reply.staleBytes, reply.splitDelayMs, reply.byteGapMs,
                              reply.closeMidReply);
                });
        } else if (!reply.bytes.isEmpty()) {
            sendReply(reply.bytes, reply.staleBytes, reply.splitDelayMs, reply.byteGapMs, reply.closeMidReply);
        }
        if (isStream() && reply.closeAfter > 0 && served_ >= reply.closeAfter) {
            // Let the reply leave before the connection goes.
            QTimer::singleShot(reply.splitDelayMs + 10, this, [this] { close(); });
            return;
        }
    }
}

void SimLink::sendReply(const QByteArray &reply, int staleBytes, int splitDelayMs, int byteGapMs,
                        bool closeMidReply)
{
    const QByteArray bytes = QByteArray(staleBytes, StaleByte) + reply;
    if (closeMidReply) {
        writeBytes(bytes.left(bytes.size() / 2));
        QTimer::singleShot(10, this, [this] { close(); });
        return;
    }
    if (byteGapMs > 0) {
        trickle(bytes, byteGapMs);
        return;
    }
    if (splitDelayMs <= 0 || bytes.size() < 2) {
        writeBytes(bytes);
        return;
    }
    const int half = bytes.size() / 2;
    writeBytes(bytes.left(half));
    const QByteArray rest = bytes.mid(half);
    QTimer::singleShot(splitDelayMs, this, [this, rest] { writeBytes(rest); });
}

// A timer to the millisecond before dueNs, the rest slept off: the figures
// of a line benchmark are made of these fractions.
void SimLink::writeAt(qint64 dueNs, const std::function<void()> &write)
{
    const qint64 aheadMs = (dueNs - monotonicNs()) / 1000000 - 1;
    auto finish = [dueNs, write] {
        const qint64 left = dueNs - monotonicNs();
        if (left > 0) {
            const timespec pause{time_t(left / 1000000000LL), long(left % 1000000000LL)};
            nanosleep(&pause, nullptr);
        }
        write();
    };
    if (aheadMs <= 0)
        finish();
    else
        QTimer::singleShot(int(aheadMs), Qt::PreciseTimer, this, finish);
}

// One byte now, the rest a byte at a time gapMs apart.
void SimLink::trickle(QByteArray rest, int gapMs)
{
    if (rest.isEmpty())
        return;
    writeBytes(rest.left(1));
    rest.remove(0, 1);
    if (!rest.isEmpty())
        QTimer::singleShot(gapMs, this, [this, rest, gapMs] { trickle(rest, gapMs); });
}

// --- TCP ---------------------------------------------------------------------

TcpSimLink::TcpSimLink(SimulatedController *owner, ProtocolKind protocol, QTcpSocket *socket)
    : SimLink(owner, protocol), socket_(socket)
{
    socket->setParent(this);
    connect(socket, &QTcpSocket::readyRead, this, [this] { received(socket_->readAll()); });
    connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
}

void TcpSimLink::close()
{
    if (socket_)
        socket_->disconnectFromHost();
}

void TcpSimLink::writeBytes(const QByteArray &bytes)
{
    if (socket_ && socket_->state() == QAbstractSocket::ConnectedState)
        socket_->write(bytes);
}

// --- pseudo-terminal -----------------------------------------------------------

PtySimLink::PtySimLink(SimulatedController *owner, ProtocolKind protocol)
    : SimLink(owner, protocol)
{
}

PtySimLink::~PtySimLink()
{
    close();
}

bool PtySimLink::open()
{
    char name[128] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        master_ = slave_ = -1;
        return false;
    }
    slavePath_ = QString::fromLocal8Bit(name);
    // Raw until the tool sets the line up itself: no echo of our replies.
    termios raw;
    if (tcgetattr(slave_, &raw) == 0) {
        cfmakeraw(&raw);
        tcsetattr(slave_, TCSANOW, &raw);
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    notifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readMaster(); });
    return true;
}

void PtySimLink::readMaster()
{
    QByteArray got;
    char chunk[512];
    for (;;) {
        const ssize_t n = ::read(master_, chunk, sizeof chunk);
        if (n > 0) {
            got.append(chunk, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;   // EAGAIN: drained
    }
    if (!got.isEmpty())
        received(got);
}

void PtySimLink::writeBytes(const QByteArray &bytes)
{
    int done = 0;
    while (master_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += int(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{master_, POLLOUT, 0};
            poll(&p, 1, 20);
        } else {
            return;
        }
    }
}

// One try: the tool and this link may share a thread, so waiting for room
// would wait for ever; a full terminal drops the rest.
void PtySimLink::writeNoise(const QByteArray &noise)
{
    if (master_ < 0)
        return;
    const ssize_t written = ::write(master_, noise.constData(), size_t(noise.size()));
    Q_UNUSED(written)
}

void PtySimLink::close()
{
    delete notifier_;
    notifier_ = nullptr;
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
    master_ = slave_ = -1;
}

// --- serial device ---------------------------------------------------------------

SerialSimLink::SerialSimLink(SimulatedController *owner, ProtocolKind protocol)
    : SimLink(owner, protocol), port_(new QSerialPort(this))
{
    connect(port_, &QSerialPort::readyRead, this, [this] { received(port_->readAll()); });
}

bool SerialSimLink::open(const QString &path, qint32 baud)
{
    port_->setPortName(path);
    port_->setBaudRate(baud);
    port_->setDataBits(QSerialPort::Data8);
    port_->setParity(QSerialPort::NoParity);
    port_->setStopBits(QSerialPort::OneStop);
    port_->setFlowControl(QSerialPort::NoFlowControl);
    return port_->open(QIODevice::ReadWrite);
}

void SerialSimLink::close()
{
    port_->close();
}

void SerialSimLink::writeBytes(const QByteArray &bytes)
{
    if (port_->isOpen())
        port_->write(bytes);
}
