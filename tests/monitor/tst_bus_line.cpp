// Several controllers on one line, each polled by its own core through the
// bus line, against the in-process simulator over a pty and over TCP.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMap>
#include <QMutex>
#include <QEventLoop>
#include <QTimer>
#include <QSignalSpy>
#include <QTest>

#include "bus_line.h"
#include "simulated_controller.h"

namespace {

enum class Link { Pty, Tcp };

const int Addresses[] = {1, 2, 5};

// One live reading as a core handed it on.
struct Reading
{
    qint64 atMs;
    quint32 batteryVoltage;
};

// Two MPPT controllers and one PWM on one line, each with a battery voltage
// of its own (12.00 V + address/100), so a reading tells whose it is.
struct BusRig
{
    BusRig(ProtocolKind protocol, Link transport) : sim(protocol, ControllerMppt)
    {
        sim.removeDevice(1);
        for (int a : Addresses) {
            SimulatedDevice *dev = sim.addDevice(quint8(a), a == 5 ? ControllerPwm : ControllerMppt);
            dev->setReg(SimReg::BatteryVoltage, quint16(1200 + a));
        }
        link.protocol = protocol == ProtocolDefine ? QStringLiteral("Define")
                        : protocol == ProtocolModbusRtu ? QStringLiteral("Modbus")
                                                        : QStringLiteral("TCP Modbus");
        link.controller = QStringLiteral("MPPT");
        if (transport == Link::Tcp) {
            link.mode = QStringLiteral("Wifi");
            link.host = QStringLiteral("127.0.0.1");
            link.port = sim.listenTcp();
        } else {
            link.mode = QStringLiteral("Serial");
            link.serialPort = sim.openPty();
            link.baud = 9600;
            link.addressSetting = 1;
        }
        for (int a : Addresses) {
            MonitorCore *core = bus.addDevice(a, a == 5 ? QStringLiteral("PWM") : QString());
            QObject::connect(core, &MonitorCore::stepAnswered, core,
                             [this, a, core](MonitorCore::StepResult r, const DeviceData &data) {
                                 if (r == MonitorCore::StepResult::RunData
                                     || r == MonitorCore::StepResult::ModbusRunData)
                                     readings[a].append({clock.elapsed(), data.batteryVoltage});
                                 Q_UNUSED(core)
                             });
            QObject::connect(core, &MonitorCore::identityKnown, core,
                             [this, a](const DeviceIdentity &id) { serials[a] = id.serialNumber; });
        }
        clock.start();
    }

    bool connect()
    {
        bus.connectLink(link);
        return QTest::qWaitFor([this] { return bus.linkIsUp(); }, 3000);
    }

    bool waitForReadings(int n, int timeoutMs)
    {
        return QTest::qWaitFor([&] {
            for (int a : Addresses)
                if (readings.value(a).size() < n)
                    return false;
            return true;
        }, timeoutMs);
    }

    // Mean time between live readings of address from fromMs on, ms.
    double meanPeriod(int a, qint64 fromMs, qint64 toMs) const
    {
        QList<qint64> at;
        for (const Reading &r : readings.value(a))
            if (r.atMs >= fromMs && r.atMs <= toMs)
                at.append(r.atMs);
        if (at.size() < 3)
            return -1;
        return double(at.last() - at.first()) / (at.size() - 1);
    }

    SimulatedController sim;
    LinkConfig link;
    BusLine bus;
    QElapsedTimer clock;
    QMap<int, QList<Reading>> readings;
    QMap<int, QString> serials;
};

} // namespace

class tst_bus_line : public QObject
{
    Q_OBJECT

private slots:
    void everyDeviceUnderItsOwnIdentity_data();
    void everyDeviceUnderItsOwnIdentity();
    void silentDeviceGoesOfflineOthersKeepTheirRate_data();
    void silentDeviceGoesOfflineOthersKeepTheirRate();
    void foreignAnswersNeverLandUnderAnotherDevice_data();
    void foreignAnswersNeverLandUnderAnotherDevice();
    void intervalSetsEachDevicesCycle();
    void rtuFramesFollowTheSilence();
    void scanFindsExactlyTheDevices_data();
    void scanFindsExactlyTheDevices();
};

void tst_bus_line::everyDeviceUnderItsOwnIdentity_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<int>("transport");
    QTest::newRow("rtu-pty") << int(ProtocolModbusRtu) << int(Link::Pty);
    QTest::newRow("tcp-modbus") << int(ProtocolModbusTcp) << int(Link::Tcp);
    QTest::newRow("define-pty") << int(ProtocolDefine) << int(Link::Pty);
    QTest::newRow("define-tcp") << int(ProtocolDefine) << int(Link::Tcp);
}

// Each device's readings carry its own values and its identity its own
// serial number; only one request is ever on the line, and every request
// went to one of the three addresses.
void tst_bus_line::everyDeviceUnderItsOwnIdentity()
{
    QFETCH(int, protocol);
    QFETCH(int, transport);
    BusRig rig{ProtocolKind(protocol), Link(transport)};
    rig.bus.setCycleInterval(BusLine::LinePace);
    int inFlight = 0, mostInFlight = 0;
    QObject::connect(&rig.sim, &SimulatedController::requestReceived, [&] {
        mostInFlight = qMax(mostInFlight, ++inFlight);
    });
    for (int a : Addresses)
        QObject::connect(rig.bus.device(a), &MonitorCore::replyOutcome, [&] { --inFlight; });
    QVERIFY(rig.connect());
    QVERIFY(rig.waitForReadings(2, 20000));
    QTRY_COMPARE_WITH_TIMEOUT(rig.serials.size(), 3, 20000);

    for (int a : Addresses) {
        for (const Reading &r : rig.readings.value(a))
            QCOMPARE(r.batteryVoltage, quint32(1200 + a));
        if (ProtocolKind(protocol) != ProtocolDefine || a == 5)   // MPPT Define reads no serial
            QCOMPARE(rig.serials.value(a), rig.sim.device(quint8(a))->serialNumber());
        QCOMPARE(rig.bus.device(a)->controllerType(), a == 5 ? ControllerPwm : ControllerMppt);
        QVERIFY(rig.bus.isOnline(a));
    }
    QCOMPARE(mostInFlight, 1);
    const int offset = ProtocolKind(protocol) == ProtocolDefine ? 1
                       : ProtocolKind(protocol) == ProtocolModbusRtu ? 0 : 6;
    for (const SimRequest &r : rig.sim.requests())
        QVERIFY2(QList<int>({1, 2, 5}).contains(quint8(r.frame.at(offset))), r.frame.toHex().constData());
}

void tst_bus_line::silentDeviceGoesOfflineOthersKeepTheirRate_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<int>("transport");
    QTest::newRow("rtu-pty") << int(ProtocolModbusRtu) << int(Link::Pty);
    QTest::newRow("tcp-modbus") << int(ProtocolModbusTcp) << int(Link::Tcp);
}

// At the step pace a silenced device costs its timeouts until it is
// offline; then the others poll at the rate they had, and it comes back
// at its next single request once it answers.
void tst_bus_line::silentDeviceGoesOfflineOthersKeepTheirRate()
{
    QFETCH(int, protocol);
    QFETCH(int, transport);
    BusRig rig{ProtocolKind(protocol), Link(transport)};
    rig.bus.setResponseTimeout(100);
    rig.bus.setOfflineInterval(5000);
    QSignalSpy online(&rig.bus, &BusLine::deviceOnlineChanged);
    QVERIFY(rig.connect());
    QVERIFY(rig.waitForReadings(1, 10000));
    const qint64 settledAt = rig.clock.elapsed();
    QTest::qWait(4500);
    const qint64 silencedAt = rig.clock.elapsed();
    const double before1 = rig.meanPeriod(1, settledAt, silencedAt);
    const double before5 = rig.meanPeriod(5, settledAt, silencedAt);
    QVERIFY(before1 > 0 && before5 > 0);

    SimDeviceFaults silent;
    silent.silent = true;
    rig.sim.setDeviceFaults(2, silent);
    QTRY_COMPARE_WITH_TIMEOUT(online.size(), 1, 15000);
    QCOMPARE(online.at(0).at(0).toInt(), 2);
    QCOMPARE(online.at(0).at(1).toBool(), false);
    QVERIFY(!rig.bus.isOnline(2));
    const qint64 offlineAt = rig.clock.elapsed();
    const int silentReadings = rig.readings.value(2).size();

    QTest::qWait(4500);   // within the offline interval: no request to it
    const qint64 measuredTo = rig.clock.elapsed();
    const double after1 = rig.meanPeriod(1, offlineAt, measuredTo);
    const double after5 = rig.meanPeriod(5, offlineAt, measuredTo);
    QVERIFY2(qAbs(after1 - before1) <= 0.1 * before1,
             qPrintable(QStringLiteral("%1 ms before, %2 ms after").arg(before1).arg(after1)));
    QVERIFY2(qAbs(after5 - before5) <= 0.1 * before5,
             qPrintable(QStringLiteral("%1 ms before, %2 ms after").arg(before5).arg(after5)));
    QCOMPARE(rig.readings.value(2).size(), silentReadings);

    rig.sim.setDeviceFaults(2, SimDeviceFaults());
    QTRY_COMPARE_WITH_TIMEOUT(online.size(), 2, 8000);
    QCOMPARE(online.at(1).at(1).toBool(), true);
    QTRY_VERIFY_WITH_TIMEOUT(rig.readings.value(2).size() > silentReadings, 8000);
    QCOMPARE(rig.bus.device(2)->mainEngine.maxRetries(), 2);   // re-sends back with it
}

void tst_bus_line::foreignAnswersNeverLandUnderAnotherDevice_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<int>("transport");
    QTest::addColumn<bool>("collide");
    QTest::newRow("rtu-wrong-address") << int(ProtocolModbusRtu) << int(Link::Pty) << false;
    QTest::newRow("rtu-two-at-once") << int(ProtocolModbusRtu) << int(Link::Pty) << true;
    QTest::newRow("tcp-wrong-address") << int(ProtocolModbusTcp) << int(Link::Tcp) << false;
    QTest::newRow("tcp-two-at-once") << int(ProtocolModbusTcp) << int(Link::Tcp) << true;
    QTest::newRow("define-wrong-address") << int(ProtocolDefine) << int(Link::Pty) << false;
    QTest::newRow("define-two-at-once") << int(ProtocolDefine) << int(Link::Tcp) << true;
}

// Device 2 answers with address 5's address, or device 5 answers every
// request for 2 as well: 2's steps fail, 1 and 5 poll on, and no reading of
// any device ever carries another's values.
void tst_bus_line::foreignAnswersNeverLandUnderAnotherDevice()
{
    QFETCH(int, protocol);
    QFETCH(int, transport);
    QFETCH(bool, collide);
    BusRig rig{ProtocolKind(protocol), Link(transport)};
    rig.bus.setCycleInterval(BusLine::LinePace);
    rig.bus.setResponseTimeout(100);
    SimDeviceFaults fault;
    if (collide) {
        fault.alsoAnswers = 2;
        rig.sim.setDeviceFaults(5, fault);
    } else {
        fault.answerAs = 5;
        rig.sim.setDeviceFaults(2, fault);
    }
    QVERIFY(rig.connect());
    QTRY_VERIFY_WITH_TIMEOUT(rig.readings.value(1).size() >= 3 && rig.readings.value(5).size() >= 3,
                             20000);
    QCOMPARE(rig.readings.value(2).size(), 0);
    for (int a : Addresses)
        for (const Reading &r : rig.readings.value(a))
            QCOMPARE(r.batteryVoltage, quint32(1200 + a));
    const LinkStats &stats = rig.bus.device(2)->linkStats();
    const RequestCounters total = stats.total();
    QVERIFY(total.failed > 0);
    QCOMPARE(total.answered, quint64(0));
}

// With an interval, each device starts a cycle that long after the start
// of its last one, its steps as fast as the line allows in between.
void tst_bus_line::intervalSetsEachDevicesCycle()
{
    BusRig rig{ProtocolModbusTcp, Link::Tcp};
    rig.bus.setCycleInterval(1200);
    QVERIFY(rig.connect());
    QVERIFY(rig.waitForReadings(4, 15000));
    for (int a : Addresses) {
        const double period = rig.meanPeriod(a, 0, rig.clock.elapsed());
        QVERIFY2(qAbs(period - 1200) <= 120, qPrintable(QStringLiteral("%1: %2 ms").arg(a).arg(period)));
    }
}

// On Modbus RTU every request waits for 3.5 characters of silence after the
// answer before it, whichever device that answer came from. The simulator
// runs in a thread of its own and the bus in a plain event loop, so nothing
// but the bus paces the requests.
void tst_bus_line::rtuFramesFollowTheSilence()
{
    SimulatorThread sim(ProtocolModbusRtu, ControllerMppt);
    QMetaObject::invokeMethod(sim.controller(), [&] { sim.controller()->addDevice(2); },
                              Qt::BlockingQueuedConnection);
    QMutex mutex;
    QElapsedTimer clock;
    clock.start();
    QList<QPair<bool, qint64>> events;   // (a request, when) as the simulator saw them
    QObject::connect(sim.controller(), &SimulatedController::requestReceived, sim.controller(), [&] {
        QMutexLocker lock(&mutex);
        events.append({true, clock.nsecsElapsed()});
    }, Qt::DirectConnection);
    QObject::connect(sim.controller(), &SimulatedController::replySent, sim.controller(), [&] {
        QMutexLocker lock(&mutex);
        events.append({false, clock.nsecsElapsed()});
    }, Qt::DirectConnection);
    LinkConfig link;
    link.mode = QStringLiteral("Serial");
    link.protocol = QStringLiteral("Modbus");
    link.controller = QStringLiteral("MPPT");
    link.serialPort = sim.openPty();
    link.baud = 9600;
    link.addressSetting = 1;
    BusLine bus;
    bus.setCycleInterval(BusLine::LinePace);
    bus.addDevice(1);
    bus.addDevice(2);
    bus.connectLink(link);
    QEventLoop loop;
    QTimer::singleShot(1500, &loop, &QEventLoop::quit);
    loop.exec();
    bus.disconnectLink();

    QMutexLocker lock(&mutex);
    const qint64 gapNs = 35000000000LL / 9600;
    int checked = 0;
    for (int i = 1; i < events.size(); ++i) {
        if (!events.at(i).first || events.at(i - 1).first)
            continue;
        const qint64 silence = events.at(i).second - events.at(i - 1).second;
        QVERIFY2(silence >= gapNs, qPrintable(QStringLiteral("%1 us of silence").arg(silence / 1000)));
        ++checked;
    }
    QVERIFY2(checked > 50, qPrintable(QString::number(checked)));
}

void tst_bus_line::scanFindsExactlyTheDevices_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<int>("transport");
    QTest::newRow("rtu-pty") << int(ProtocolModbusRtu) << int(Link::Pty);
    QTest::newRow("define-tcp") << int(ProtocolDefine) << int(Link::Tcp);
}

// The scan goes between the devices' steps and names the addresses that
// answered, nothing more.
void tst_bus_line::scanFindsExactlyTheDevices()
{
    QFETCH(int, protocol);
    QFETCH(int, transport);
    BusRig rig{ProtocolKind(protocol), Link(transport)};
    rig.bus.setResponseTimeout(40);
    rig.bus.setCycleInterval(BusLine::LinePace);
    rig.bus.removeDevice(2);
    QSignalSpy found(&rig.bus, &BusLine::scanFinished);
    QVERIFY(rig.connect());
    rig.bus.scan(1, 32);
    QTRY_COMPARE_WITH_TIMEOUT(found.size(), 1, 20000);
    QCOMPARE(found.at(0).at(0).value<QList<int>>(), (QList<int>{1, 2, 5}));
    QVERIFY(rig.readings.value(1).size() > 0 && rig.readings.value(5).size() > 0);
}

QTEST_GUILESS_MAIN(tst_bus_line)
#include "tst_bus_line.moc"
