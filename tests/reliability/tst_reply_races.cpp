// Outcomes that arrive close together or late: a parameter action ends with
// the outcome of the engine that carries it, even when the bus scan's engine
// fails in the same wait slice; and a Modbus RTU answer that comes after its
// request gave up never fills the next request's registers.
#include <QPushButton>
#include <QSocketNotifier>
#include <QtTest>
#include <unistd.h>

#include "mainwindow.h"
#include "monitoring_sim.h"
#include "pty_pair.h"
#include "simulated_controller.h"
#include "tcp_device.h"
#include "window_fixture.h"

namespace {

// Register reads only: 8-byte RTU requests, 12-byte TCP requests.
int requestLength(bool tcp) { return tcp ? 12 : 8; }

// A Modbus RTU device on the master side of a pty that answers in order, as
// a real half-duplex controller does, and answers every n-th request lateMs
// after it arrived; the answers queued behind it follow with it. It
// remembers what it answered to each register range.
class SlowRtuDevice : public QObject
{
public:
    SlowRtuDevice(PtyPair &pty, int every, int lateMs)
        : pty_(pty), every_(every), lateMs_(lateMs), notifier_(pty.masterFd(), QSocketNotifier::Read)
    {
        for (int r = 0; r < 144; ++r)
            sim_.device(1)->setReg(r, quint16(0x1100 + 7 * r));
        clock_.start();
        connect(&notifier_, &QSocketNotifier::activated, this, [this] { readRequests(); });
        connect(&due_, &QTimer::timeout, this, [this] { writeDue(); });
        due_.setSingleShot(true);
        due_.setTimerType(Qt::PreciseTimer);
    }

    // What the device answered to a read of (start, count), empty if never asked.
    QByteArray answerTo(int start, int count) const { return answers_.value(start << 16 | count); }
    int lateAnswers() const { return late_; }

private:
    void readRequests()
    {
        char chunk[256];
        ssize_t got;
        while ((got = ::read(pty_.masterFd(), chunk, sizeof chunk)) > 0)
            pending_.append(chunk, int(got));
        while (pending_.size() >= 8) {
            const int length = quint8(pending_.at(1)) == 0x10 ? 9 + quint8(pending_.at(6)) : 8;
            if (pending_.size() < length)
                return;
            answer(pending_.left(length));
            pending_.remove(0, length);
        }
    }

    void answer(const QByteArray &request)
    {
        const QByteArray reply = sim_.handleRequest(request);
        if (reply.isEmpty())
            return;   // another bus address
        if (quint8(request.at(1)) == 0x03)
            answers_.insert(quint8(request.at(2)) << 24 | quint8(request.at(3)) << 16
                                | quint8(request.at(4)) << 8 | quint8(request.at(5)),
                            reply);
        const bool late = ++count_ % every_ == 0;
        late_ += late;
        const qint64 due = qMax(clock_.elapsed() + (late ? lateMs_ : 0), queue_.isEmpty() ? 0 : queue_.last().first);
        queue_.append({due, reply});
        writeDue();
    }

    void writeDue()
    {
        QByteArray out;
        while (!queue_.isEmpty() && queue_.first().first <= clock_.elapsed())
            out += queue_.takeFirst().second;
        if (!out.isEmpty())
            pty_.write(out);
        if (!queue_.isEmpty())
            due_.start(int(queue_.first().first - clock_.elapsed()) + 1);
    }

    PtyPair &pty_;
    int every_;
    int lateMs_;
    QSocketNotifier notifier_;
    QTimer due_;
    SimulatedController sim_{ProtocolModbusRtu, ControllerMppt};
    QByteArray pending_;
    QList<QPair<qint64, QByteArray>> queue_;
    QHash<int, QByteArray> answers_;
    QElapsedTimer clock_;
    int count_ = 0;
    int late_ = 0;
};

} // namespace

class tst_reply_races : public QObject
{
    Q_OBJECT

private slots:
    void parameterOutcomeComesFromItsEngine_data();
    void parameterOutcomeComesFromItsEngine();
    void lateRtuAnswersNeverFillAnotherRead();
    void answerWithinTheGapAfterAFailureIsDropped();
};

void tst_reply_races::parameterOutcomeComesFromItsEngine_data()
{
    QTest::addColumn<bool>("tcp");
    QTest::newRow("Modbus TCP over TCP") << true;
    QTest::newRow("Modbus RTU over a pty") << false;
}

// The scan's probe goes unanswered; the main request of a parameter read is
// answered at the moment the probe times out, and the tool reads that answer
// inside the scan engine's failure report: both outcomes fall into one wait
// slice of the parameter action, the failure first.
void tst_reply_races::parameterOutcomeComesFromItsEngine()
{
    QFETCH(bool, tcp);
    WindowFixture f;
    MainWindow &w = f.w();
    MonitorCore &core = w.core;
    TcpDevice tcpDevice;
    PtyPair pty;
    f.holdRefreshCycle();
    QVERIFY(tcp ? f.connectTcp(tcpDevice, QStringLiteral("TCP Modbus"), QStringLiteral("MPPT"))
                : f.connectSerial(pty, QStringLiteral("Modbus"), 1, 115200, QStringLiteral("MPPT")));
    SimulatedController sim(tcp ? ProtocolModbusTcp : ProtocolModbusRtu, ControllerMppt);
    sim.device(1)->setReg(SimReg::FloatVoltage, 1380);

    core.mainEngine.setResponseTimeout(3000);
    core.mainEngine.setMaxRetries(0);
    core.scanEngine.setResponseTimeout(80);
    core.scanEngine.setMaxRetries(0);

    bool bothInOneCall = false;
    QObject::connect(&core.scanEngine, &com_protocol_solar::receiveFailSignal, &w, [&] {
        const int n = requestLength(tcp);
        const QByteArray wire = tcp ? tcpDevice.readExactly(2 * n, 1000) : pty.readExactly(2 * n, 1000);
        const QByteArray reply = sim.handleRequest(wire.right(n));   // probe first, then the main request
        tcp ? tcpDevice.write(reply) : pty.write(reply);
        QIODevice &link = tcp ? static_cast<QIODevice &>(core.tcpSocket) : core.serialPort;
        if (core.mainEngine.txLength != 0)
            link.waitForReadyRead(2000);
        bothInOneCall = core.mainEngine.txLength == 0;
    });

    core.scanEngine.setSlaveAddress(5);
    tcp ? core.scanEngine.modbusTcpReadRegisters(72, 12) : core.scanEngine.modbusRtuReadRegisters(72, 12);
    QPushButton *read = pushButton(w, QStringLiteral("pushButton"));
    QTest::mouseClick(read, Qt::LeftButton);

    QVERIFY(bothInOneCall);
    QCOMPARE(read->styleSheet(), w.styleOk);
    QCOMPARE(fieldText(w, QStringLiteral("lineEdit")), QStringLiteral("13.80"));
    QCOMPARE(core.paramRequestState, 0);
    QCOMPARE(core.scanEngine.txLength, 0);
}

// Every third request is answered after the engine has given up on it (or
// re-sent it), and the answers queued behind it follow at once. Whatever the
// polling cycle and two back-to-back "One-click read" sequences accept, each
// answer carries the registers its own request asked for.
void tst_reply_races::lateRtuAnswersNeverFillAnotherRead()
{
    constexpr int TimeoutMs = 40;
    WindowFixture f;
    MainWindow &w = f.w();
    MonitorCore &core = w.core;
    PtyPair pty;
    SlowRtuDevice device(pty, 3, TimeoutMs + 15);
    QVERIFY(f.connectSerial(pty, QStringLiteral("Modbus"), 1, 9600, QStringLiteral("MPPT")));
    core.mainEngine.setResponseTimeout(TimeoutMs);
    core.mainEngine.setMaxRetries(1);

    int accepted = 0;
    QStringList wrong;
    QObject::connect(&core.mainEngine, &com_protocol_solar::receiveSuccesSignal, &w, [&] {
        const quint8 *q = core.mainEngine.txFrame;
        if (q[1] != 0x03)
            return;
        ++accepted;
        const int start = q[2] << 8 | q[3], count = q[4] << 8 | q[5];
        const QByteArray got(reinterpret_cast<const char *>(core.mainEngine.rxFrame), core.mainEngine.rxLength);
        if (got != device.answerTo(start, count))
            wrong << QStringLiteral("%1+%2: %3").arg(start).arg(count).arg(QString::fromLatin1(got.toHex(' ')));
    });

    core.refreshTimer.start(MonitorCore::TickIntervalMs);
    QTest::qWait(2500);
    for (int i = 0; i < 2; ++i)
        QTest::mouseClick(pushButton(w, QStringLiteral("pushButton_95")), Qt::LeftButton);
    QTest::qWait(1500);
    f.holdRefreshCycle();
    QVERIFY(QTest::qWaitFor([&] { return core.mainEngine.txLength == 0 && core.scanEngine.txLength == 0; }, 2000));

    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QStringLiteral("; "))));
    QVERIFY2(accepted >= 20, qPrintable(QString::number(accepted)));
    QVERIFY2(device.lateAnswers() >= 8, qPrintable(QString::number(device.lateAnswers())));
    QCOMPARE(core.paramRequestState, 0);
}

// A read of registers 1..12 fails; its answer turns up the moment the next
// read of the same length (72..83) is issued. Taken as that read's answer it
// would put the live values where the model text belongs.
void tst_reply_races::answerWithinTheGapAfterAFailureIsDropped()
{
    WindowFixture f;
    MonitorCore &core = f.w().core;
    PtyPair pty;
    f.holdRefreshCycle();
    QVERIFY(f.connectSerial(pty, QStringLiteral("Modbus"), 1, 9600, QStringLiteral("MPPT")));
    SimulatedController sim(ProtocolModbusRtu, ControllerMppt);
    for (int r = 0; r < 144; ++r)
        sim.device(1)->setReg(r, quint16(0x2200 + 3 * r));
    core.mainEngine.setResponseTimeout(30);
    core.mainEngine.setMaxRetries(0);

    QByteArray late;
    QMetaObject::Connection onFail = QObject::connect(
        &core.mainEngine, &com_protocol_solar::receiveFailSignal, &f.w(), [&] {
            QObject::disconnect(onFail);
            pty.write(late);
            core.mainEngine.modbusRtuReadRegisters(72, 12);
        });
    core.mainEngine.modbusRtuReadRegisters(1, 12);
    late = sim.handleRequest(pty.readExactly(8));
    QCOMPARE(late.size(), 29);

    // The device answers the second read a little later, as devices do.
    const QByteArray second = pty.readExactly(8);
    const QByteArray answer = sim.handleRequest(second);
    QCOMPARE(answer.size(), 29);
    QTest::qWait(5);
    pty.write(answer);
    QVERIFY(QTest::qWaitFor([&] { return core.mainEngine.txLength == 0; }, 1000));
    QCOMPARE(core.pollReplyState, 6);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(core.mainEngine.rxFrame), core.mainEngine.rxLength), answer);
    QCOMPARE(core.mainEngine.registerImage[72], quint32(0x2200 + 3 * 72));
}

QTEST_MAIN(tst_reply_races)
#include "tst_reply_races.moc"
