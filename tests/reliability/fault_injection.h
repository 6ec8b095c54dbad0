#ifndef FAULT_INJECTION_H
#define FAULT_INJECTION_H

// The window polling and reading parameters from the simulated controller
// while the controller or the link misbehaves. Every case: no crash, the
// failure shows where the operator looks (RX lamp, button colour, unchanged
// field), no state is left behind, and once the fault is gone (and, where the
// link went down, after a Connect) polling shows the controller's values
// again. One test executable per transport runs these rows.
#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "monitor_core_probe.h"
#include "checksums.h"
#include "define_responder.h"
#include "mainwindow.h"
#include "monitoring_sim.h"
#include "simulated_controller.h"
#include "window_fixture.h"

namespace faults {

// Short engine timers keep a failing exchange to a fraction of a second.
constexpr int TimeoutMs = 100;
constexpr int Retries = 1;
constexpr int GiveUpMs = (Retries + 1) * TimeoutMs;
// An answer a byte at a time: 400 ms gaps against the engine's own 500 ms
// timeout, scaled to the short timers.
constexpr int TrickleGapMs = TimeoutMs * 4 / 5;

enum class Fault {
    Silence, Garbage, BadCrc, WrongAddress, WrongTransaction, Exception,   // the exchange fails
    ByteCount0, ByteCount255, MbapLength0, MbapLength65535, ProtocolId1, EarlierTransaction,
    Unit0, Unit255, Exception0, Exception255, OtherFunction, ByteTrickle, NoiseFlood,
    SplitReply, DelayedReply, StaleBytes, TwoAnswers,                      // it succeeds all the same
    PeerClose, HangUp, SimRestart, HalfFrameClose,                         // the link goes down
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
    {Fault::ByteCount0, "byte count 0, valid checksum", Outcome::Fails, Where::Modbus},
    {Fault::ByteCount255, "byte count 255, valid checksum", Outcome::Fails, Where::Modbus},
    {Fault::MbapLength0, "MBAP length 0", Outcome::Fails, Where::ModbusTcp},
    {Fault::MbapLength65535, "MBAP length 65535", Outcome::Fails, Where::ModbusTcp},
    {Fault::ProtocolId1, "protocol id not 0", Outcome::Fails, Where::ModbusTcp},
    {Fault::EarlierTransaction, "transaction id of an earlier request", Outcome::Fails, Where::ModbusTcp},
    {Fault::Unit0, "unit id 0", Outcome::Fails, Where::Anywhere},
    {Fault::Unit255, "unit id 255", Outcome::Fails, Where::Anywhere},
    {Fault::Exception0, "exception code 0", Outcome::Fails, Where::Modbus},
    {Fault::Exception255, "exception code 255", Outcome::Fails, Where::Modbus},
    {Fault::OtherFunction, "answer to another function", Outcome::Fails, Where::Anywhere},
    {Fault::ByteTrickle, "a byte at a time, slower than the timeout", Outcome::Fails, Where::Anywhere},
    {Fault::NoiseFlood, "noise flood, no answer", Outcome::Fails, Where::Anywhere},
    {Fault::SplitReply, "split reply", Outcome::Succeeds, Where::Anywhere},
    {Fault::DelayedReply, "reply after the timeout", Outcome::Succeeds, Where::Anywhere},
    {Fault::StaleBytes, "stale bytes in front", Outcome::Succeeds, Where::Anywhere},
    {Fault::TwoAnswers, "two answers to one request", Outcome::Succeeds, Where::Anywhere},
    {Fault::PeerClose, "peer closes", Outcome::LinkDrops, Where::TcpLink},
    {Fault::HangUp, "pty hang-up", Outcome::LinkDrops, Where::PtyLink},
    {Fault::SimRestart, "simulator restart", Outcome::LinkDrops, Where::Anywhere},
    {Fault::HalfFrameClose, "half a frame, then the link goes", Outcome::LinkDrops, Where::Anywhere},
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

// Noise at 1 MB/s: the flood lasts as long as the fault does (about a
// second) rather than a minute; what it may grow is checked in that time.
constexpr int NoiseBytesPerSecond = 1000000;
// Bytes the tool may hold for a link while a flood goes on.
constexpr qint64 MaxHeldBytes = 64 * 1024;

// Where the address (unit id) and the function (command) sit in an answer.
inline int addressAt(ProtocolKind p) { return p == ProtocolDefine ? 1 : p == ProtocolModbusRtu ? 0 : 6; }
inline int functionAt(ProtocolKind p) { return addressAt(p) + 1; }

// A reply edited in place gets a valid checksum again.
inline QByteArray resealed(QByteArray reply, ProtocolKind p)
{
    if (p == ProtocolDefine) {
        DefineResponder::seal(reply);
    } else if (p == ProtocolModbusRtu) {
        reply.chop(2);
        const quint16 crc = modbusCrc16(reinterpret_cast<const quint8 *>(reply.constData()), unsigned(reply.size()));
        reply.append(char(crc >> 8));
        reply.append(char(crc & 0xFF));
    }
    return reply;
}

// A Modbus answer of the request's unit with the PDU given, framed and sealed.
inline QByteArray modbusAnswer(const QByteArray &request, ProtocolKind p, const QByteArray &pdu)
{
    if (p == ProtocolModbusRtu)
        return resealed(request.left(1) + pdu + QByteArray(2, '\0'), p);
    const int length = pdu.size() + 1;
    return request.left(4) + QByteArray(1, char(length >> 8)) + QByteArray(1, char(length)) + request.mid(6, 1) + pdu;
}

using Rewrite = std::function<QByteArray(const QByteArray &request, const QByteArray &reply)>;

// The hostile answer of each rewriting fault.
inline Rewrite rewriteFor(Fault fault, ProtocolKind p)
{
    const auto setByte = [p](int at, int value) {
        return [p, at, value](const QByteArray &, QByteArray reply) {
            reply[at] = char(value);
            return resealed(reply, p);
        };
    };
    // The head is copied: an initializer list's elements end with the call.
    const auto pdu = [p](std::initializer_list<int> head, int filler) {
        QByteArray start;
        for (int b : head)
            start.append(char(b));
        return [p, start, filler](const QByteArray &request, const QByteArray &) {
            QByteArray body = start;
            body.append(QByteArray(filler, '\x22'));
            body[0] = char(quint8(request.at(functionAt(p))) | (quint8(body.at(0)) & 0x80));
            return modbusAnswer(request, p, body);
        };
    };
    switch (fault) {
    case Fault::ByteCount0: return pdu({0x03, 0}, 0);
    case Fault::ByteCount255: return pdu({0x03, 255}, 255);
    case Fault::Exception0: return pdu({0x80, 0}, 0);
    case Fault::Exception255: return pdu({0x80, 255}, 0);
    case Fault::MbapLength0: return [](const QByteArray &, QByteArray r) { r[4] = r[5] = 0; return r; };
    case Fault::MbapLength65535: return [](const QByteArray &, QByteArray r) { r[4] = r[5] = char(0xFF); return r; };
    case Fault::ProtocolId1: return setByte(3, 1);
    case Fault::EarlierTransaction:
        return [](const QByteArray &, QByteArray r) {
            const quint16 t = quint16((quint8(r.at(0)) << 8 | quint8(r.at(1))) - 1);
            r[0] = char(t >> 8);
            r[1] = char(t);
            return r;
        };
    case Fault::Unit0: return setByte(addressAt(p), 0);
    case Fault::Unit255: return setByte(addressAt(p), 255);
    case Fault::OtherFunction:
        return [p](const QByteArray &, QByteArray r) {
            r[functionAt(p)] = char(quint8(r.at(functionAt(p))) + 1);
            return resealed(r, p);
        };
    case Fault::TwoAnswers: return [](const QByteArray &, const QByteArray &r) { return r + r; };
    default: return {};
    }
}

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

    // Connect again after the link went down (over a new pty).
    bool reconnect()
    {
        if (link_ == SimTransport::Tcp) {
            if (sim_.tcpPort() == 0 && sim_.listenTcp(tcpPort_) != tcpPort_)
                return false;
        } else {
            // A pty the link dropped is gone; its number may already be another's.
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
        MonitorCoreProbe::setPollStep(w().core, (p_.liveStep + p_.steps - 1) % p_.steps);
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
        case Fault::ByteTrickle:
            faults.byteGapMs = TrickleGapMs;
            break;
        case Fault::NoiseFlood:
            faults.silence = true;
            faults.noiseBytesPerSecond = NoiseBytesPerSecond;
            break;
        case Fault::HalfFrameClose: faults.closeMidReply = true; break;
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
        if (!faults.any())
            faults.rewrite = rewriteFor(fault, simProtocolFor(protocol_));
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
        QCOMPARE(MonitorCoreProbe::pollStep(w.core), p.liveStep);
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
    if (c.fault == Fault::NoiseFlood) {
        // Nothing waits now and the flood goes on: it must not pile up.
        QTest::qWait(300);
        QVERIFY2(MonitorCoreProbe::rxBuffer(w.core).capacity() <= MaxHeldBytes, qPrintable(QString::number(MonitorCoreProbe::rxBuffer(w.core).capacity())));
        const qint64 held = qMax(w.core.tcpSocket.bytesAvailable(), w.core.serialPort.bytesAvailable());
        QVERIFY2(held <= MaxHeldBytes, qPrintable(QString::number(held)));
    }

    // The fault goes away; where the link went down the operator connects again.
    run.sim().clearFaults();
    if (c.fault == Fault::DelayedReply || c.fault == Fault::SplitReply)
        QTest::qWait(TimeoutMs);   // the late halves arrive while nothing waits
    if (c.fault == Fault::ByteTrickle)
        QTest::qWait(40 * TrickleGapMs);   // the longest answer's last byte
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
