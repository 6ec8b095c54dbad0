// The monitoring core on its own: no window, no QApplication. The polling
// schedules against the simulated controller over TCP and a pty, link loss
// and recovery with their reasons, and parameter actions standing the poll
// aside, each ending with the reason it ended.
#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>

#include "monitor_core_probe.h"
#include "monitor_core.h"
#include "pty_pair.h"
#include "simulated_controller.h"
#include "tcp_device.h"
#include "temp_workdir.h"

Q_DECLARE_METATYPE(MonitorCore::LinkReason)

namespace {

using Engine = com_protocol_solar;
using Request = void (Engine::*)();
using Reason = MonitorCore::LinkReason;
using Outcome = MonitorCore::ParameterOutcome;
using Result = MonitorCore::StepResult;

enum class Link { Tcp, Pty };

// One expected poll request: a Define request, a register read, a scan
// probe (the same on scanEngine at the scan address) or an idle tick.
struct Expected
{
    Request request = nullptr;
    int start = -1;
    int count = 0;
    bool scan = false;
    bool idle = false;
};

Expected req(Request r) { return {r, -1, 0, false, false}; }
Expected regs(int start, int count) { return {nullptr, start, count, false, false}; }
Expected scanWith(Request r) { return {r, -1, 0, true, false}; }
Expected scanRegs(int start, int count) { return {nullptr, start, count, true, false}; }
Expected idleTick() { return {nullptr, -1, 0, false, true}; }

QList<Expected> scheduleFor(ProtocolKind protocol, ControllerType type)
{
    if (protocol != ProtocolDefine)
        return {regs(128, 8), regs(1, 12), regs(13, 8), regs(21, 8), regs(56, 11), regs(70, 2),
                regs(72, 12), regs(84, 12), regs(96, 9), regs(105, 9), regs(54, 1), regs(118, 1),
                scanRegs(72, 12)};
    if (type == ControllerPwm)
        return {req(&Engine::defineReadRunData), req(&Engine::defineReadTotalsAndLimits),
                req(&Engine::defineReadLoadSettings), req(&Engine::defineReadChargeStage),
                req(&Engine::defineReadGroup07), req(&Engine::defineReadGroup08),
                req(&Engine::defineReadEnergyTotals), req(&Engine::defineReadLithiumAndNightTimes),
                req(&Engine::defineReadFactoryInfo), req(&Engine::defineReadDeviceModel),
                req(&Engine::readSerialNumber), req(&Engine::defineReadCalibrationState),
                req(&Engine::defineReadEncryptionState), scanWith(&Engine::defineReadDeviceModel),
                idleTick()};
    return {req(&Engine::defineReadRunData), req(&Engine::defineReadTotalsAndLimits),
            req(&Engine::defineReadLoadSettings), req(&Engine::defineReadChargeStage),
            req(&Engine::defineReadBatterySettings), req(&Engine::defineReadFactoryInfo),
            req(&Engine::defineReadDeviceModel), req(&Engine::defineReadVersionAndRatings),
            scanWith(&Engine::defineReadDeviceModel), idleTick()};
}

// The frame an engine of this protocol and type builds for the request.
QByteArray frameOf(const Expected &e, ProtocolKind protocol, ControllerType type, quint8 address,
                   quint16 transaction)
{
    Engine probe;
    probe.setProtocol(protocol);
    probe.setControllerType(type);
    probe.setSlaveAddress(address);
    probe.transactionId = quint16(transaction - 1);
    if (e.request)
        (probe.*e.request)();
    else if (protocol == ProtocolModbusTcp)
        probe.modbusTcpReadRegisters(quint16(e.start), e.count);
    else
        probe.modbusRtuReadRegisters(quint16(e.start), e.count);
    return QByteArray(reinterpret_cast<const char *>(probe.txFrame), probe.txLength);
}

// The core connected to an in-process simulator, its refresh timer held so
// the test runs each tick itself.
struct Rig
{
    Rig(ProtocolKind protocol, ControllerType type, Link link)
        : sim(protocol, type), protocol(protocol), type(type)
    {
        if (link == Link::Tcp) {
            const quint16 port = sim.listenTcp();
            dir.writeConfig(tcpConfigText(port, configProtocol(protocol), configController(type)));
        } else {
            const QString path = sim.openPty();
            dir.writeConfig(serialConfigText(path, 9600, 1, configProtocol(protocol),
                                             configController(type)));
        }
        QObject::connect(&core, &MonitorCore::frameSent, &core,
                         [this](const QByteArray &f) { if (!f.isEmpty()) sent.append(f); });
    }

    bool connect()
    {
        core.refreshTimer.stop();
        core.connectLink();
        return QTest::qWaitFor([this] { return core.linkIsUp(); }, 3000);
    }

    void tick()
    {
        core.refereshDisplayRef();
        core.refreshTimer.stop();
    }

    TempWorkDir dir;
    SimulatedController sim;
    MonitorCore core;
    ProtocolKind protocol;
    ControllerType type;
    QList<QByteArray> sent;
};

void addLinks()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("link");
    for (const Link link : {Link::Tcp, Link::Pty}) {
        const char *l = link == Link::Tcp ? "tcp" : "pty";
        QTest::addRow("Define PWM, %s", l) << int(ProtocolDefine) << int(ControllerPwm) << int(link);
        QTest::addRow("Define MPPT, %s", l) << int(ProtocolDefine) << int(ControllerMppt) << int(link);
        QTest::addRow("Modbus RTU, %s", l) << int(ProtocolModbusRtu) << int(ControllerMppt) << int(link);
        QTest::addRow("Modbus TCP, %s", l) << int(ProtocolModbusTcp) << int(ControllerPwm) << int(link);
    }
}

} // namespace

class tst_monitor_core : public QObject
{
    Q_OBJECT

private slots:
    void noWidgetsNeeded()
    {
        QVERIFY(QCoreApplication::instance());
        QVERIFY(!QCoreApplication::instance()->inherits("QGuiApplication"));
    }

    void schedulesRunInOrder_data() { addLinks(); }
    void schedulesRunInOrder()
    {
        QFETCH(int, protocol);
        QFETCH(int, type);
        QFETCH(int, link);
        Rig rig{ProtocolKind(protocol), ControllerType(type), Link(link)};
        QVERIFY(rig.connect());
        const QList<Expected> schedule = scheduleFor(rig.protocol, rig.type);
        MonitorCoreProbe::setPollStep(rig.core, schedule.size() - 1);   // the next tick runs step 0
        MonitorCoreProbe::setScanAddress(rig.core, 0);

        QSignalSpy answered(&rig.core, &MonitorCore::stepAnswered);
        QSignalSpy probed(&rig.core, &MonitorCore::deviceProbed);
        QSignalSpy identity(&rig.core, &MonitorCore::identityKnown);
        quint16 transaction = rig.core.mainEngine.transactionId;
        quint16 scanTransaction = rig.core.scanEngine.transactionId;
        for (int step = 0; step < schedule.size(); ++step) {
            rig.sent.clear();
            rig.tick();
            QCOMPARE(MonitorCoreProbe::pollStep(rig.core), step);
            const Expected &e = schedule[step];
            if (e.idle) {
                QVERIFY2(rig.sent.isEmpty(), qPrintable(QString::number(step)));
                continue;
            }
            QCOMPARE(rig.sent.size(), 1);
            const quint8 address = e.scan ? quint8(MonitorCoreProbe::scanAddress(rig.core)) : 1;
            const quint16 t = e.scan ? ++scanTransaction : ++transaction;
            QCOMPARE(rig.sent.first().toHex(' '),
                     frameOf(e, rig.protocol, e.scan ? ControllerPwm : rig.type, address, t).toHex(' '));
        }

        // Every step but the idle and the Modbus start step is answered by
        // the simulator; the scan found the device at address 1.
        QCOMPARE(answered.size(), schedule.size() - 2);
        QCOMPARE(answered.at(0).at(0).value<Result>(),
                 rig.protocol == ProtocolDefine ? Result::RunData : Result::ModbusRunData);
        QCOMPARE(probed.size(), 1);
        QCOMPARE(probed.at(0).at(0).toInt(), 1);
        QVERIFY(probed.at(0).at(1).toBool());
        QCOMPARE(probed.at(0).at(2).toString(), rig.core.mainEngine.deviceData.deviceModel);
        QVERIFY(rig.core.mainEngine.deviceData.deviceModel.contains(
            rig.sim.device(1)->deviceModel().trimmed()));

        // Identity: told once, after all its steps were answered.
        QCOMPARE(identity.size(), 1);
        const auto known = identity.at(0).at(0).value<DeviceIdentity>();
        QCOMPARE(known.address, 1);
        QCOMPARE(known.model, rig.core.mainEngine.deviceData.deviceModel);
        QVERIFY(!known.model.isEmpty());
        for (int step = 0; step < schedule.size(); ++step)
            rig.tick();
        QCOMPARE(identity.size(), 1);
    }

    // A link that drops between the two factory-text reads leaves its first
    // half behind; the next link, here to another controller, must not
    // finish that text with a second half of its own.
    void staleFactoryHalfIsDropped()
    {
        Rig rig(ProtocolModbusTcp, ControllerMppt, Link::Tcp);
        rig.sim.device(1)->setFactoryInfo(QStringLiteral("First Factory Co. Ltd, Shenzhen"));
        QVERIFY(rig.connect());
        QSignalSpy answered(&rig.core, &MonitorCore::stepAnswered);
        MonitorCoreProbe::setPollStep(rig.core, 7);
        rig.tick();   // step 8: the first half
        QVERIFY(MonitorCoreProbe::factoryFirstHalf(rig.core));
        rig.sim.dropTcpClients();
        QTRY_VERIFY(!rig.core.linkIsUp());

        SimulatedController other(ProtocolModbusTcp, ControllerMppt);
        const QString otherText = QStringLiteral("Second Factory Co. Ltd, Ningbo");
        other.device(1)->setFactoryInfo(otherText);
        rig.dir.writeConfig(tcpConfigText(other.listenTcp(), QStringLiteral("TCP Modbus"),
                                          QStringLiteral("MPPT")));
        QVERIFY(rig.connect());
        QVERIFY(!MonitorCoreProbe::factoryFirstHalf(rig.core));
        answered.clear();
        MonitorCoreProbe::setPollStep(rig.core, 8);
        rig.tick();   // step 9 alone
        QCOMPARE(answered.size(), 1);
        QCOMPARE(answered.at(0).at(0).value<Result>(), Result::None);

        // Both halves of the new controller make its text.
        MonitorCoreProbe::setPollStep(rig.core, 7);
        rig.tick();
        rig.tick();
        QCOMPARE(answered.size(), 3);
        QCOMPARE(answered.at(2).at(0).value<Result>(), Result::FactoryInfo);
        QVERIFY(answered.at(2).at(1).value<DeviceData>().factoryInfo.contains(otherText));
    }

    // Two cores in one process, each polling its own controller, ticking in
    // turn: each runs its schedule from the start in order, scans from the
    // first address and reports its own controller's values.
    void twoCoresPollSideBySide()
    {
        TempWorkDir dir;
        struct Side
        {
            QString name;
            int pv;
            SimulatedController sim{ProtocolModbusTcp, ControllerMppt};
            MonitorCore core;
            QList<QByteArray> sent;
            QList<int> pvShown;
            QList<int> probed;
            QStringList models;
        };
        Side sides[2];
        sides[0].name = QStringLiteral("ALPHA-1");
        sides[0].pv = 3551;
        sides[1].name = QStringLiteral("BRAVO-2");
        sides[1].pv = 1234;
        for (Side &side : sides) {
            side.sim.device(1)->setDeviceModel(side.name);
            side.sim.device(1)->setReg(SimReg::PvVoltage, quint16(side.pv));
            side.core.configPath = dir.path() + QLatin1Char('/') + side.name + QStringLiteral(".ini");
            QFile file(side.core.configPath);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(tcpConfigText(side.sim.listenTcp(), QStringLiteral("TCP Modbus"),
                                     QStringLiteral("MPPT")).toUtf8());
            file.close();
            QObject::connect(&side.core, &MonitorCore::frameSent, &side.core,
                             [&side](const QByteArray &f) { if (!f.isEmpty()) side.sent.append(f); });
            QObject::connect(&side.core, &MonitorCore::stepAnswered, &side.core,
                             [&side](Result r, const DeviceData &d) {
                                 if (r == Result::ModbusRunData)
                                     side.pvShown.append(int(d.pvVoltage));
                                 if (r == Result::DeviceModel)
                                     side.models.append(d.deviceModel);
                             });
            QObject::connect(&side.core, &MonitorCore::deviceProbed, &side.core,
                             [&side](int address, bool, const QString &) { side.probed.append(address); });
            side.core.refreshTimer.stop();
            side.core.connectLink();
        }
        for (Side &side : sides)
            QTRY_VERIFY(side.core.linkIsUp());

        const QList<Expected> schedule = scheduleFor(ProtocolModbusTcp, ControllerMppt);
        const int ticks = 2 * schedule.size();
        for (int i = 0; i < ticks; ++i) {
            for (Side &side : sides) {
                side.core.refereshDisplayRef();
                side.core.refreshTimer.stop();
            }
        }
        for (Side &side : sides) {
            QCOMPARE(side.sent.size(), ticks);
            int scans = 0;
            for (int i = 0; i < ticks; ++i) {
                const Expected &e = schedule[(i + 1) % schedule.size()];
                const QByteArray &f = side.sent[i];
                // MBAP, unit, function, start, count
                QCOMPARE(f.size(), 12);
                const int unit = quint8(f[6]);
                QCOMPARE(unit, e.scan ? ++scans : 1);
                QCOMPARE((quint8(f[8]) << 8) | quint8(f[9]), e.start);
                QCOMPARE((quint8(f[10]) << 8) | quint8(f[11]), e.count);
            }
            QCOMPARE(side.probed, (QList<int>{1, 2}));
            QCOMPARE(side.pvShown, (QList<int>{side.pv, side.pv}));
            QCOMPARE(side.models.size(), 2);
            QVERIFY2(side.models.first().contains(side.name), qPrintable(side.models.first()));
        }
    }

    void linkDownSendsNothing()
    {
        Rig rig(ProtocolDefine, ControllerPwm, Link::Tcp);
        for (int i = 0; i < 5; ++i)
            rig.core.refereshDisplayRef();
        QVERIFY(rig.sent.isEmpty());
        QVERIFY(rig.core.refreshTimer.isActive());
        QCOMPARE(rig.core.refreshTimer.interval(), 100);
        QCOMPARE(rig.sim.requestCount(), 0);
    }

    void tcpLossAndRecovery()
    {
        Rig rig(ProtocolModbusTcp, ControllerMppt, Link::Tcp);
        QSignalSpy changes(&rig.core, &MonitorCore::linkChanged);
        QVERIFY(rig.connect());
        QCOMPARE(changes.size(), 2);
        QCOMPARE(changes.at(0).at(0).value<MonitorCore::LinkEvent>().reason, Reason::Connecting);
        QCOMPARE(changes.at(1).at(0).value<MonitorCore::LinkEvent>().reason, Reason::Connected);

        rig.sim.dropTcpClients();
        QTRY_VERIFY(!rig.core.linkIsUp());
        QCOMPARE(rig.core.lastLinkEvent().reason, Reason::ClosedByPeer);
        const int before = rig.sim.requestCount();
        rig.tick();
        QCOMPARE(rig.sim.requestCount(), before);

        QVERIFY(rig.connect());
        const int step = MonitorCoreProbe::pollStep(rig.core);
        rig.tick();
        QCOMPARE(MonitorCoreProbe::pollStep(rig.core), (step + 1) % 13);
        QTRY_COMPARE(rig.sim.requestCount(), before + 1);
    }

    void failedLinksSayWhy()
    {
        TempWorkDir dir;
        MonitorCore core;
        core.refreshTimer.stop();

        // A port nobody listens on.
        quint16 closedPort = 0;
        {
            SimulatedController sim;
            closedPort = sim.listenTcp();
        }
        dir.writeConfig(tcpConfigText(closedPort, QStringLiteral("Define")));
        QVERIFY(core.connectLink());
        QTRY_COMPARE(core.lastLinkEvent().reason, Reason::Refused);
        QVERIFY(!core.linkIsUp());
        QVERIFY(!core.lastLinkEvent().errorText.isEmpty());

        // A serial port that does not exist.
        const QString missing = dir.path() + QStringLiteral("/ttyNothing");
        dir.writeConfig(serialConfigText(missing, 9600, 1, QStringLiteral("Define")));
        QVERIFY(!core.connectLink());
        QCOMPARE(core.lastLinkEvent().reason, Reason::SerialOpenFailed);
        QCOMPARE(core.lastLinkEvent().portName, missing);
        QVERIFY(!core.lastLinkEvent().errorText.isEmpty());
        QVERIFY(!core.linkIsUp());
    }

    void serialHangupIsAPortLost()
    {
        TempWorkDir dir;
        PtyPair pty;
        QVERIFY(pty.isOpen());
        dir.writeConfig(serialConfigText(pty.slavePath(), 9600, 1, QStringLiteral("Define")));
        MonitorCore core;
        core.refreshTimer.stop();
        QVERIFY(core.connectLink());
        QVERIFY(core.linkIsUp());
        pty.closeSlave();
        pty.closeMaster();
        // The error shows once the port is used.
        core.mainEngine.defineReadRunData();
        QTRY_VERIFY(!core.linkIsUp());
        QCOMPARE(core.lastLinkEvent().reason, Reason::SerialPortLost);
        QCOMPARE(core.lastLinkEvent().portName, pty.slavePath());
    }

    // Requests that meet a full kernel buffer wait in the link's queue behind
    // what the kernel did not take, and the link stays up; once the queue has
    // drained they go out at once again. The device gets every frame whole
    // and in order.
    void fullOutputBufferKeepsEveryFrame_data()
    {
        QTest::addColumn<int>("link");
        QTest::newRow("tcp") << int(Link::Tcp);
        QTest::newRow("pty") << int(Link::Pty);
    }

    void fullOutputBufferKeepsEveryFrame()
    {
        QFETCH(int, link);
        const bool tcp = link == int(Link::Tcp);
        TempWorkDir dir;
        TcpDevice device;
        PtyPair pty;
        QVERIFY(device.isListening() && pty.isOpen());
        dir.writeConfig(tcp ? tcpConfigText(device.port(), QStringLiteral("TCP Modbus"))
                            : serialConfigText(pty.slavePath(), 115200, 1, QStringLiteral("Modbus")));
        MonitorCore core;
        core.refreshTimer.stop();
        QByteArray sent;
        QObject::connect(&core, &MonitorCore::frameSent, [&sent](const QByteArray &f) { sent += f; });
        core.connectLink();
        QIODevice *port = &core.serialPort;
        if (tcp) {
            QVERIFY(device.waitForClient());
            QTRY_VERIFY(core.linkIsUp());
            // Small buffers fill after a few hundred requests.
            core.tcpSocket.setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 4096);
            device.client()->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
            port = &core.tcpSocket;
        }
        QVERIFY(core.linkIsUp());
        // Frames of different starts and lengths, so a lost or repeated piece shows.
        int i = 0;
        const auto request = [&core, &i, tcp] {
            const quint16 start = quint16(i % 1000);
            const int count = 1 + i % 8;
            ++i;
            if (tcp)
                core.mainEngine.modbusTcpReadRegisters(start, count);
            else
                core.mainEngine.modbusRtuReadRegisters(start, count);
        };
        const auto received = [&](int n) {
            return tcp ? device.readExactly(n, 10000) : pty.readExactly(n, 10000);
        };

        // The device reads nothing while the event loop is not running.
        while (port->bytesToWrite() == 0 && i < 500000)
            request();
        QVERIFY(port->bytesToWrite() > 0);
        for (int k = 0; k < 5; ++k)
            request();
        QCOMPARE(received(sent.size()), sent);
        QTRY_COMPARE(port->bytesToWrite(), qint64(0));

        const int before = sent.size();
        request();
        QCOMPARE(port->bytesToWrite(), qint64(0));
        QCOMPARE(received(sent.size() - before), sent.mid(before));
        QVERIFY(core.linkIsUp());
    }

    // A parameter action started while a tick waits takes the answer; the
    // tick ends without telling a result, and no tick polls until the action
    // has ended.
    void parameterActionStandsThePollAside()
    {
        Rig rig(ProtocolModbusRtu, ControllerMppt, Link::Tcp);
        QVERIFY(rig.connect());
        SimFaults slow;
        slow.splitDelayMs = 150;
        slow.limit = 1;
        rig.sim.setFaults(slow);
        MonitorCoreProbe::setPollStep(rig.core, 0);   // next: step 1, the live values

        QSignalSpy answered(&rig.core, &MonitorCore::stepAnswered);
        QSignalSpy finished(&rig.core, &MonitorCore::parameterFinished);
        int readOutcome = -1;
        int ticksDuringAction = 0;
        QTimer::singleShot(40, &rig.core, [&] {
            QVERIFY(rig.core.beginParameterAction());
            QTimer::singleShot(10, &rig.core, [&] {
                const int before = rig.sent.size();
                rig.core.refereshDisplayRef();   // stands aside
                ticksDuringAction += rig.sent.size() - before;
            });
            readOutcome = rig.core.readParameter(ParameterId::FloatVoltage);
            rig.core.endParameterAction();
        });
        rig.tick();
        QCOMPARE(answered.size(), 0);
        QCOMPARE(readOutcome, MonitorCore::ParamAnswered);
        QCOMPARE(ticksDuringAction, 0);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(0).value<Outcome>(), Outcome::Answered);
        QCOMPARE(rig.core.paramRequestState, 0);

        // Polling goes on with the next step.
        rig.tick();
        QCOMPARE(MonitorCoreProbe::pollStep(rig.core), 2);
        QCOMPARE(answered.size(), 1);
        QCOMPARE(answered.at(0).at(0).value<Result>(), Result::ChargeTotals);
    }

    void parameterOutcomesSayWhy_data()
    {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("exception");
        QTest::addColumn<bool>("silent");
        QTest::addColumn<int>("action");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("code");
        enum { Reset, CodedUnknown, AbsorbVoltage, ReadRegister };
        QTest::newRow("reset over Modbus") << int(ProtocolModbusRtu) << int(ControllerMppt) << 0 << false
                                           << int(Reset) << int(Outcome::NotAvailable) << -1;
        QTest::newRow("list text without a code") << int(ProtocolDefine) << int(ControllerMppt) << 0 << false
                                                  << int(CodedUnknown) << int(Outcome::ValueRefused) << -1;
        QTest::newRow("MPPT frame before its companions") << int(ProtocolDefine) << int(ControllerMppt) << 0
                                                          << false << int(AbsorbVoltage)
                                                          << int(Outcome::CompanionUnknown) << -1;
        QTest::newRow("Modbus RTU exception 2") << int(ProtocolModbusRtu) << int(ControllerMppt) << 2 << false
                                               << int(ReadRegister) << int(Outcome::Exception) << 2;
        QTest::newRow("Modbus TCP exception 4") << int(ProtocolModbusTcp) << int(ControllerMppt) << 4 << false
                                               << int(ReadRegister) << int(Outcome::Exception) << 4;
        QTest::newRow("silence") << int(ProtocolModbusTcp) << int(ControllerMppt) << 0 << true
                                 << int(ReadRegister) << int(Outcome::NoAnswer) << -1;
        QTest::newRow("answered") << int(ProtocolModbusTcp) << int(ControllerMppt) << 0 << false
                                  << int(ReadRegister) << int(Outcome::Answered) << -1;
    }

    void parameterOutcomesSayWhy()
    {
        QFETCH(int, protocol);
        QFETCH(int, type);
        QFETCH(int, exception);
        QFETCH(bool, silent);
        QFETCH(int, action);
        QFETCH(int, outcome);
        QFETCH(int, code);
        Rig rig{ProtocolKind(protocol), ControllerType(type), Link::Tcp};
        QVERIFY(rig.connect());
        rig.core.mainEngine.setResponseTimeout(50);
        SimFaults faults;
        faults.exceptionCode = exception;
        faults.silence = silent;
        rig.sim.setFaults(faults);

        QSignalSpy finished(&rig.core, &MonitorCore::parameterFinished);
        QVERIFY(rig.core.beginParameterAction());
        switch (action) {
        case 0: rig.core.runCommand(DeviceCommand::ResetController); break;
        case 1: rig.core.writeParameter(ParameterId::BatteryType, QStringLiteral("Unknow")); break;
        case 2: rig.core.writeParameter(ParameterId::AbsorbVoltage, QStringLiteral("14.40")); break;
        default:
            rig.core.readParameter(ParameterId::FloatVoltage);
        }
        rig.core.endParameterAction();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(int(finished.at(0).at(0).value<Outcome>()), outcome);
        QCOMPARE(finished.at(0).at(1).toInt(), code);
    }

    void parameterActionWithTheLinkDown()
    {
        Rig rig(ProtocolModbusTcp, ControllerMppt, Link::Tcp);
        QSignalSpy finished(&rig.core, &MonitorCore::parameterFinished);
        QVERIFY(!rig.core.beginParameterAction());
        QCOMPARE(rig.core.paramRequestState, 0);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.at(0).at(0).value<Outcome>(), Outcome::LinkDown);

        // The link lost while waiting ends the action the same way.
        QVERIFY(rig.connect());
        rig.sim.setFaults([] { SimFaults f; f.silence = true; return f; }());
        QTimer::singleShot(100, &rig.sim, [&rig] { rig.sim.dropTcpClients(); });
        QVERIFY(rig.core.beginParameterAction());
        QCOMPARE(rig.core.readParameter(ParameterId::FloatVoltage),
                 MonitorCore::ParamIdle);
        QCOMPARE(rig.core.paramRequestState, 0);
        QCOMPARE(finished.last().at(0).value<Outcome>(), Outcome::LinkDown);
    }
};

QTEST_GUILESS_MAIN(tst_monitor_core)
#include "tst_monitor_core.moc"
