// A peer that accepts the TCP connection and never reads. Small kernel
// buffers on both ends fill at once, then the core's own write queue fills to
// its cap. The core must keep polling (every request failing, none reported
// answered), stay up while the socket is connected, hold bounded memory, and
// once the peer reads again, every frame that reaches it must be whole and in
// the order sent, and polling must be answered again.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSet>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <vector>

#include "monitor_core.h"
#include "monitor_core_probe.h"
#include "simulated_controller.h"
#include "temp_workdir.h"

namespace {

using Engine = com_protocol_solar;
using Result = MonitorCore::StepResult;

// The core's cap on its write queue.
constexpr qint64 QueueCap = 64 * 1024;
// Smallest buffers the kernel allows, to fill in milliseconds.
constexpr int SmallBuffer = 1024;
// Bytes the core may hold for the link while the flood of late answers comes in.
constexpr int MaxHeldBytes = 64 * 1024;
// Growth of the heap allowed once the queue is full: anything that grows with
// every dropped request would pass this within the run.
constexpr size_t HeapSlack = 64 * 1024;
constexpr int MaxFrame = 32;

size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// A frame as the core sent it; kept in storage reserved up front so the
// record does not count as growth of the heap.
struct SentFrame
{
    char bytes[MaxFrame];
    int size;
};

// The device end: listens with a small receive buffer, accepts, and reads
// nothing until told to. Then it splits what comes into frames, checks each
// against the frames the core sent (in order, whole frames skipped only) and
// answers through the simulator.
class SilentPeer
{
public:
    explicit SilentPeer(ProtocolKind protocol) : sim(protocol, ControllerPwm), protocol_(protocol)
    {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        // Set before listening: the accepted socket takes it over.
        ::setsockopt(listenFd_, SOL_SOCKET, SO_RCVBUF, &SmallBuffer, sizeof SmallBuffer);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listenFd_, reinterpret_cast<sockaddr *>(&address), length) == 0
            && ::listen(listenFd_, 1) == 0
            && ::getsockname(listenFd_, reinterpret_cast<sockaddr *>(&address), &length) == 0)
            port = ntohs(address.sin_port);
    }

    ~SilentPeer()
    {
        delete readNotifier_;
        delete writeNotifier_;
        if (fd_ >= 0)
            ::close(fd_);
        ::close(listenFd_);
    }

    bool accept()
    {
        pollfd ready = {listenFd_, POLLIN, 0};
        if (::poll(&ready, 1, 2000) != 1)
            return false;
        fd_ = ::accept(listenFd_, nullptr, nullptr);
        return fd_ >= 0;
    }

    // Kernel bytes queued towards the peer and not yet read.
    int unread() const
    {
        int bytes = 0;
        ::ioctl(fd_, FIONREAD, &bytes);
        return bytes;
    }

    void startReading(const std::vector<SentFrame> *sent)
    {
        sent_ = sent;
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
        readNotifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read);
        QObject::connect(readNotifier_, &QSocketNotifier::activated, [this] { readSome(); });
        writeNotifier_ = new QSocketNotifier(fd_, QSocketNotifier::Write);
        writeNotifier_->setEnabled(false);
        QObject::connect(writeNotifier_, &QSocketNotifier::activated, [this] { writeSome(); });
        readSome();
    }

    SimulatedController sim;
    quint16 port = 0;
    int framesChecked = 0;
    int framesSkipped = 0;   // sent by the core, never arrived: dropped at the cap
    QByteArray mismatch;     // the first frame that was not a whole frame sent, in order

private:
    int frameLength() const
    {
        if (protocol_ == ProtocolDefine)
            return 16;
        if (stream_.size() < 6)
            return 0;
        return 6 + (quint8(stream_.at(4)) << 8 | quint8(stream_.at(5)));
    }

    void readSome()
    {
        char chunk[4096];
        for (;;) {
            const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0)
                break;
            stream_.append(chunk, int(n));
        }
        for (int length = frameLength(); length > 0 && stream_.size() >= length;
             length = frameLength()) {
            const QByteArray frame = stream_.left(length);
            stream_.remove(0, length);
            check(frame);
            outgoing_ += sim.handleRequest(frame);
        }
        writeSome();
    }

    void check(const QByteArray &frame)
    {
        if (!mismatch.isEmpty())
            return;
        while (cursor_ < sent_->size()) {
            const SentFrame &s = (*sent_)[cursor_++];
            if (s.size == frame.size() && memcmp(s.bytes, frame.constData(), size_t(s.size)) == 0) {
                ++framesChecked;
                return;
            }
            ++framesSkipped;
        }
        mismatch = frame.isEmpty() ? QByteArray("?") : frame;
    }

    void writeSome()
    {
        while (!outgoing_.isEmpty()) {
            const ssize_t n = ::send(fd_, outgoing_.constData(), size_t(outgoing_.size()), MSG_NOSIGNAL);
            if (n <= 0)
                break;
            outgoing_.remove(0, int(n));
        }
        writeNotifier_->setEnabled(!outgoing_.isEmpty());
    }

    ProtocolKind protocol_;
    int listenFd_ = -1;
    int fd_ = -1;
    QSocketNotifier *readNotifier_ = nullptr;
    QSocketNotifier *writeNotifier_ = nullptr;
    const std::vector<SentFrame> *sent_ = nullptr;
    size_t cursor_ = 0;
    QByteArray stream_;
    QByteArray outgoing_;
};

// Runs the event loop until done or ms passed. QTest's waits sleep 10 ms
// whenever the loop runs dry, which would throttle the zero-interval ticks.
bool runUntil(const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return done();
}

void setEngineTimers(MonitorCore &core, int timeoutMs, int retries)
{
    for (Engine *engine : {&core.mainEngine, &core.scanEngine}) {
        engine->setResponseTimeout(timeoutMs);
        engine->setMaxRetries(retries);
    }
}

} // namespace

class tst_peer_not_reading : public QObject
{
    Q_OBJECT

private slots:
    void peerNeverReads_data()
    {
        QTest::addColumn<int>("protocol");
        QTest::newRow("Define") << int(ProtocolDefine);
        QTest::newRow("TCP Modbus") << int(ProtocolModbusTcp);
    }

    void peerNeverReads()
    {
        QFETCH(int, protocol);
        TempWorkDir dir;
        SilentPeer peer{ProtocolKind(protocol)};
        QVERIFY(peer.port != 0);
        dir.writeConfig(tcpConfigText(peer.port, configProtocol(ProtocolKind(protocol)),
                                      QStringLiteral("PWM")));

        std::vector<SentFrame> sent;
        sent.reserve(200000);
        qint64 maxQueued = 0;
        qint64 firstFrameAtCap = -1;
        size_t heapAtCap = 0;
        int maxHeld = 0;
        QSet<int> pollStates;
        bool overflowed = false;

        MonitorCore core;
        core.refreshTimer.stop();
        QSignalSpy links(&core, &MonitorCore::linkChanged);
        int failures = 0;
        int successes = 0;
        QObject::connect(&core, &MonitorCore::replyOutcome, &core,
                         [&](bool answered) { ++(answered ? successes : failures); });
        QSignalSpy answeredSteps(&core, &MonitorCore::stepAnswered);
        QObject::connect(&core, &MonitorCore::frameSent, &core, [&](const QByteArray &f) {
            if (f.isEmpty())
                return;
            if (sent.size() == sent.capacity() || f.size() > MaxFrame) {
                overflowed = true;
                return;
            }
            SentFrame s;
            memcpy(s.bytes, f.constData(), size_t(f.size()));
            s.size = f.size();
            sent.push_back(s);
            const qint64 queued = core.tcpSocket.bytesToWrite();
            maxQueued = qMax(maxQueued, queued);
            if (queued >= QueueCap && firstFrameAtCap < 0) {
                firstFrameAtCap = qint64(sent.size());
                heapAtCap = heapInUse();
            }
        });
        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            pollStates.insert(core.pollReplyState);
            maxHeld = qMax(maxHeld, MonitorCoreProbe::rxBuffer(core).size() + int(core.tcpSocket.bytesAvailable()));
        });
        sampler.start(1);

        core.connectLink();
        QVERIFY(QTest::qWaitFor([&] { return core.linkIsUp(); }, 3000));
        QVERIFY(peer.accept());
        core.tcpSocket.setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, SmallBuffer);
        // A zero timeout fails each send on the next pass of the event loop:
        // thousands of requests a second, none of them answerable.
        setEngineTimers(core, 0, 20);
        core.setBlockingWait(true);
        core.setPollTiming(0, 1);
        links.clear();
        core.refreshTimer.start(0);

        QElapsedTimer clock;
        clock.start();
        QVERIFY2(runUntil([&] { return firstFrameAtCap > 0; }, 8000),
                 qPrintable(QStringLiteral("queue %1 after %2 frames, peer holds %3 unread")
                                .arg(core.tcpSocket.bytesToWrite()).arg(sent.size())
                                .arg(peer.unread())));
        const qint64 fillMs = clock.elapsed();
        const int unreadAtCap = peer.unread();
        QVERIFY(unreadAtCap > 0);   // the kernel buffers are full, not empty

        // Well past the cap: thousands more requests, each dropped whole.
        const size_t sentAtCap = sent.size();
        const int failuresAtCap = failures;
        runUntil([] { return false; }, 1500);
        QVERIFY(!overflowed);
        QVERIFY2(sent.size() > sentAtCap + 1000, qPrintable(QString::number(sent.size() - sentAtCap)));
        QVERIFY2(failures > failuresAtCap + 20, "the refresh ticks stopped");
        QVERIFY(maxQueued <= QueueCap + MaxFrame);
        QVERIFY(core.tcpSocket.bytesToWrite() <= QueueCap + MaxFrame);
        const size_t heapGrowth = heapInUse() > heapAtCap ? heapInUse() - heapAtCap : 0;
        QVERIFY2(heapGrowth < HeapSlack, qPrintable(QString::number(heapGrowth)));
        // Nothing reported answered, the link up and never said otherwise.
        QCOMPARE(successes, 0);
        QVERIFY(answeredSteps.isEmpty());
        QCOMPARE(core.tcpSocket.state(), QAbstractSocket::ConnectedState);
        QVERIFY(core.linkIsUp());
        QCOMPARE(core.lastLinkEvent().state, MonitorCore::LinkState::Up);
        QVERIFY(links.isEmpty());
        QVERIFY(pollStates.contains(5));
        QVERIFY(pollStates.contains(7));

        // A parameter action on the stalled link fails and gives the page back.
        QSignalSpy finished(&core, &MonitorCore::parameterFinished);
        QVERIFY(core.beginParameterAction());
        const int state = core.readParameter(ParameterId::AbsorbVoltage);
        core.endParameterAction();
        QCOMPARE(state, MonitorCore::ParamFailed);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(0).value<MonitorCore::ParameterOutcome>(),
                 MonitorCore::ParameterOutcome::NoAnswer);
        QCOMPARE(core.paramRequestState, 0);

        // The peer reads and answers: the backlog arrives whole and in order,
        // minus whole frames dropped at the cap, and polling is answered again.
        setEngineTimers(core, 100, 1);
        pollStates.clear();
        peer.startReading(&sent);
        runUntil([&] { return answeredSteps.size() >= 3 || !peer.mismatch.isEmpty(); }, 5000);
        QVERIFY2(peer.mismatch.isEmpty(), peer.mismatch.toHex(' ').constData());
        QVERIFY2(answeredSteps.size() >= 3,
                 qPrintable(QStringLiteral("%1 frames checked").arg(peer.framesChecked)));
        QVERIFY(peer.framesSkipped > 0);   // the cap did drop requests
        QVERIFY(peer.framesChecked >= QueueCap / 16);   // the queued backlog was delivered
        QVERIFY(pollStates.contains(6));
        QVERIFY(core.linkIsUp());
        QVERIFY(links.isEmpty());
        QVERIFY2(maxHeld <= MaxHeldBytes, qPrintable(QString::number(maxHeld)));
        core.refreshTimer.stop();
        qInfo("queue full after %lld ms and %zu frames, %d bytes unread at the peer; heap +%zu bytes "
              "after; %zu frames sent in all, %d arrived, %d dropped",
              fillMs, sentAtCap, unreadAtCap, heapGrowth, sent.size(), peer.framesChecked,
              peer.framesSkipped);
    }
};

QTEST_GUILESS_MAIN(tst_peer_not_reading)
#include "tst_peer_not_reading.moc"
