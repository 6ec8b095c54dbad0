#ifndef FAULT_INJECTION_H
#define FAULT_INJECTION_H

// The window polling and reading parameters from the simulated controller
// while the controller or the link misbehaves. Every case: no crash, the
// failure shows where the operator looks (RX lamp, button colour, unchanged
// field), no state is left behind, and once the fault is gone (and, where the
// link went down, after a Connect) polling shows the controller's values
// again. One test executable per transport runs these rows.
#include <QAction>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "mainwindow.h"
#include "monitoring_sim.h"
#include "simulated_controller.h"
#include "window_fixture.h"

namespace faults {

// Short engine timers keep a failing exchange to a fraction of a second.
constexpr int TimeoutMs = 100;
constexpr int Retries = 1;
constexpr int GiveUpMs = (Retries + 1) * TimeoutMs;

enum class Fault {
    Silence, Garbage, BadCrc, WrongAddress, WrongTransaction, Exception,   // the exchange fails
    SplitReply, DelayedReply, StaleBytes,                                  // it succeeds all the same
    PeerClose, HangUp, SimRestart,                                         // the link goes down
};
enum class Outcome { Fails, Succeeds, LinkDrops };
// Where a fault can happen at all.
enum class Where { Anywhere, Modbus, ModbusTcp, Checksummed, TcpLink, PtyLink };

struct FaultCase
{
    Fault fault;
    const char *name;
    Outcome outcome;
    Where where;
};

const FaultCase faultCases[] = {
    {Fault::Silence, "silence", Outcome::Fails, Where::Anywhere},
    {Fault::Garbage, "garbage", Outcome::Fails, Where::Anywhere},
    {Fault::BadCrc, "bad checksum", Outcome::Fails, Where::Checksummed},
    {Fault::WrongAddress, "wrong address", Outcome::Fails, Where::Anywhere},
    {Fault::WrongTransaction, "wrong transaction id", Outcome::Fails, Where::ModbusTcp},
    {Fault::Exception, "exception response", Outcome::Fails, Where::Modbus},
    {Fault::SplitReply, "split reply", Outcome::Succeeds, Where::Anywhere},
    {Fault::DelayedReply, "reply after the timeout", Outcome::Succeeds, Where::Anywhere},
    {Fault::StaleBytes, "stale bytes in front", Outcome::Succeeds, Where::Anywhere},
    {Fault::PeerClose, "peer closes", Outcome::LinkDrops, Where::TcpLink},
    {Fault::HangUp, "pty hang-up", Outcome::LinkDrops, Where::PtyLink},
    {Fault::SimRestart, "simulator restart", Outcome::LinkDrops, Where::Anywhere},
};

struct ProtocolCase
{
    const char *config;      // config.ini protocol text
    const char *controller;
    int liveStep;            // the schedule step that reads the live values
    int steps;
};

const ProtocolCase protocolCases[] = {
    {"Define", "PWM", 0, 15},
    {"Modbus", "MPPT", 1, 13},
    {"TCP Modbus", "MPPT", 1, 13},
};

inline bool applies(Where where, const QString &protocol, SimTransport link)
{
    switch (where) {
    case Where::Anywhere: return true;
    case Where::Modbus: return protocol != QLatin1String("Define");
    case Where::ModbusTcp: return protocol == QLatin1String("TCP Modbus");
    case Where::Checksummed: return protocol != QLatin1String("TCP Modbus");
    case Where::TcpLink: return link == SimTransport::Tcp;
    case Where::PtyLink: return link == SimTransport::Pty;
    }
    return false;
}

// The PV voltage field, and the float-voltage row (read under every protocol).
const QString pvField = QStringLiteral("lineEdit_34");
const QString floatField = QStringLiteral("lineEdit");
const QString floatRead = QStringLiteral("pushButton");

inline bool lampShows(const QLabel &lamp, const char *colour)
{
    const QString image = QStringLiteral(":/Images/Images/64X64/") + QLatin1String(colour)
                          + QStringLiteral("64x64.png");
    const QImage want = QPixmap(image)
                            .scaled(16, 16, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                            .toImage()
                            .convertToFormat(QImage::Format_ARGB32);
    return lamp.pixmap(Qt::ReturnByValue).toImage().convertToFormat(QImage::Format_ARGB32) == want;
}

inline void addRows(SimTransport link)
{
    QTest::addColumn<int>("protocolIndex");
    QTest::addColumn<int>("faultIndex");
    for (int p = 0; p < int(std::size(protocolCases)); ++p) {
        const QString protocol = QLatin1String(protocolCases[p].config);
        for (int f = 0; f < int(std::size(faultCases)); ++f) {
            if (applies(faultCases[f].where, protocol, link))
                QTest::newRow(qPrintable(protocol + QLatin1Char('/') + QLatin1String(faultCases[f].name)))
                    << p << f;
        }
    }
}

// One row: the window, the simulator and the steps of the case.
class FaultRun
{
public:
    FaultRun(SimTransport link, const ProtocolCase &p)
        : link_(link), p_(p), protocol_(QLatin1String(p.config)), controller_(QLatin1String(p.controller)),
          sim_(simProtocolFor(protocol_), controller_ == QLatin1String("PWM") ? ControllerPwm : ControllerMppt)
    {
    }

    MainWindow &w() { return f_.w(); }
    SimulatedController &sim() { return sim_; }
    QPushButton *readButton() { return pushButton(w(), floatRead); }

    bool connect()
    {
        const bool up = connectToSim(f_, sim_, link_, protocol_, controller_);
        tcpPort_ = sim_.tcpPort();
        setShortTimers();
        return up;
    }

    void tickLiveStep() { runStep(w(), p_.liveStep, p_.steps); }

    // Connect again after the link went down (a new pty after a restart).
    bool reconnect()
    {
        if (link_ == SimTransport::Tcp) {
            if (sim_.tcpPort() == 0 && sim_.listenTcp(tcpPort_) != tcpPort_)
                return false;
        } else if (sim_.ptyPath().isEmpty() || !QFile::exists(sim_.ptyPath())) {
            const QString path = sim_.openPty();
            if (path.isEmpty() || !f_.dir.writeConfig(serialConfigText(path, 9600, 1, protocol_, controller_)))
                return false;
        }
        pressConnect(w());
        const bool up = waitForLinkUp(w());
        f_.holdRefreshCycle();
        setShortTimers();
        return up;
    }

    // Lets the real refresh timer run until the live step has shown the
    // device and the tick after it has gone out; then holds it again.
    bool pollUntilShown(const QString &pvText)
    {
        MonitorCore::pollStep = (p_.liveStep + p_.steps - 1) % p_.steps;
        w().core.refreshTimer.start(100);
        const bool shown = QTest::qWaitFor([&] { return fieldText(w(), pvField) == pvText; }, 3000);
        const int requests = sim_.requestCount();
        const bool ticking = QTest::qWaitFor([&] { return sim_.requestCount() > requests; }, 3000);
        f_.holdRefreshCycle();
        return shown && ticking && QTest::qWaitFor([this] { return w().core.mainEngine.txLength == 0; }, 2000);
    }

    void inject(Fault fault)
    {
        SimFaults faults;
        switch (fault) {
        case Fault::Silence: faults.silence = true; break;
        case Fault::Garbage: faults.garbage = true; break;
        case Fault::BadCrc: faults.badCrc = true; break;
        case Fault::WrongAddress: faults.wrongAddress = true; break;
        case Fault::WrongTransaction: faults.wrongTransactionId = true; break;
        case Fault::Exception: faults.exceptionCode = 4; break;
        case Fault::SplitReply: faults.splitDelayMs = TimeoutMs / 3; break;
        case Fault::DelayedReply:
            // The first answer's second half comes after the re-send was answered.
            faults.splitDelayMs = TimeoutMs + TimeoutMs / 2;
            faults.limit = 1;
            break;
        case Fault::StaleBytes: faults.staleBytes = 4; break;
        case Fault::PeerClose:
            faults.silence = true;
            faults.closeAfter = 1;
            break;
        case Fault::HangUp:
        case Fault::SimRestart:
            faults.silence = true;   // the link goes while the request waits
            QTimer::singleShot(TimeoutMs / 2, &sim_, [s = &sim_] { s->closeTransports(); });
            break;
        }
        sim_.setFaults(faults);
    }

private:
    void setShortTimers()
    {
        w().core.mainEngine.setResponseTimeout(TimeoutMs);
        w().core.mainEngine.setMaxRetries(Retries);
    }

    SimTransport link_;
    const ProtocolCase &p_;
    QString protocol_;
    QString controller_;
    WindowFixture f_;
    SimulatedController sim_;
    quint16 tcpPort_ = 0;
};

// Nothing waits and nothing is owed: the engine idle, no parameter action.
inline bool settled(MainWindow &w)
{
    return QTest::qWaitFor([&w] { return w.core.mainEngine.txLength == 0; }, 3 * GiveUpMs + 500)
           && !w.core.mainEngine.responseTimer.isActive() && w.core.paramRequestState == 0;
}

inline void runRow(SimTransport link)
{
    QFETCH(int, protocolIndex);
    QFETCH(int, faultIndex);
    const ProtocolCase &p = protocolCases[protocolIndex];
    const FaultCase &c = faultCases[faultIndex];

    FaultRun run(link, p);
    MainWindow &w = run.w();
    SimulatedDevice *device = run.sim().device(1);
    device->setReg(SimReg::PvVoltage, 1834);
    device->setReg(SimReg::FloatVoltage, 1380);
    QVERIFY(run.connect());
    QPushButton *read = run.readButton();

    // Healthy first: the values arrive and the lamp is green.
    run.tickLiveStep();
    QCOMPARE(fieldText(w, pvField), QStringLiteral("18.34"));
    QVERIFY(lampShows(w.rxLamp, "green"));
    QTest::mouseClick(read, Qt::LeftButton);
    QCOMPARE(fieldText(w, floatField), QStringLiteral("13.80"));
    QCOMPARE(read->styleSheet(), w.styleOk);

    // New values behind the fault.
    device->setReg(SimReg::PvVoltage, 2050);
    device->setReg(SimReg::FloatVoltage, 1410);
    run.inject(c.fault);
    if (c.fault == Fault::PeerClose || c.fault == Fault::HangUp) {
        // A parameter action whose link goes away while it waits.
        QTest::mouseClick(read, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&w] { return !linkIsUp(w); }, 2000));
        QCOMPARE(read->styleSheet(), w.styleIdle);
        QCOMPARE(fieldText(w, floatField), QStringLiteral("13.80"));
        QVERIFY(!lampShows(w.rxLamp, "red"));
    } else {
        run.tickLiveStep();
        QCOMPARE(MonitorCore::pollStep, p.liveStep);
        switch (c.outcome) {
        case Outcome::Fails:
            QCOMPARE(w.core.pollReplyState, 7);
            QVERIFY(lampShows(w.rxLamp, "red"));
            QCOMPARE(fieldText(w, pvField), QStringLiteral("18.34"));
            QTest::mouseClick(read, Qt::LeftButton);
            QCOMPARE(read->styleSheet(), w.styleFail);
            QCOMPARE(fieldText(w, floatField), QStringLiteral("13.80"));
            QVERIFY(lampShows(w.rxLamp, "red"));
            break;
        case Outcome::Succeeds:
            QCOMPARE(w.core.pollReplyState, 6);
            QVERIFY(lampShows(w.rxLamp, "green"));
            QCOMPARE(fieldText(w, pvField), QStringLiteral("20.50"));
            break;
        case Outcome::LinkDrops:
            // The tick ends when the link goes; nothing half-decoded is shown.
            QVERIFY(!linkIsUp(w));
            QCOMPARE(fieldText(w, pvField), QStringLiteral("18.34"));
            QVERIFY(!lampShows(w.rxLamp, "red"));
            break;
        }
    }
    QVERIFY2(settled(w), "state left behind by the fault");

    // The fault goes away; where the link went down the operator connects again.
    run.sim().clearFaults();
    if (c.fault == Fault::DelayedReply || c.fault == Fault::SplitReply)
        QTest::qWait(TimeoutMs);   // the late halves arrive while nothing waits
    if (c.outcome == Outcome::LinkDrops) {
        QVERIFY(!linkIsUp(w));
        QVERIFY(run.reconnect());
    }
    QVERIFY(linkIsUp(w));

    // The real timer again: ticks go on and the live step shows the device.
    QVERIFY(run.pollUntilShown(QStringLiteral("20.50")));
    QVERIFY(lampShows(w.rxLamp, "green"));
    QTest::mouseClick(read, Qt::LeftButton);
    QCOMPARE(fieldText(w, floatField), QStringLiteral("14.10"));
    QCOMPARE(read->styleSheet(), w.styleOk);
    QVERIFY2(settled(w), "state left behind after recovery");
}

} // namespace faults

#endif
