// The entities beyond the live values, against a real mosquitto: energy
// today across a midnight and a restart with a real history file, the link
// figures of solar-logger, and the load switch over MQTT with the simulator,
// refused unless [mqtt] commands=true.
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "code_tables.h"
#include "daily_yield.h"
#include "history_store.h"
#include "logger_process.h"
#include "monitor_core.h"
#include "mqtt_extras_feeds.h"
#include "mqtt_fixture.h"
#include "mqtt_publisher.h"
#include "simulated_controller.h"
#include "simulated_device.h"
#include "temp_workdir.h"

namespace {

constexpr int Offset = 3600;   // the logger's clock: UTC + 1 h

struct Reading
{
    int day;   // 0 or 1, after the first day
    int hh, mm;
    qint64 generated, consumed;
};

LiveSample sampleAt(qint64 firstDay, const Reading &r)
{
    LiveSample s;
    s.address = 1;
    s.utcOffsetSeconds = Offset;
    s.timeMs = (firstDay + r.day) * 86400000 + (r.hh * 60 + r.mm) * 60000LL - Offset * 1000LL;
    s.counts[GeneratedEnergyTotal] = r.generated;
    s.counts[ConsumedEnergyTotal] = r.consumed;
    s.counts[BatteryVoltage] = 1300;
    return s;
}

MqttConfig localConfig(quint16 port)
{
    MqttConfig c;
    c.host = QStringLiteral("127.0.0.1");
    c.port = port;
    c.clientId = QStringLiteral("tst-extras");
    c.qos = 1;
    return c;
}

// "solar/<device>" once the logger's lamps came, else empty.
QByteArray deviceBase(const TestSubscriber &sub)
{
    for (const ReceivedMessage &m : sub.messages())
        if (m.topic.startsWith("solar/") && m.topic.endsWith("/lamps"))
            return m.topic.left(m.topic.size() - 6);
    return QByteArray();
}

QString loggerConfig(quint16 simPort, const QString &protocol, quint16 brokerPort, const QString &more = QString())
{
    return tcpConfigText(simPort, protocol, QStringLiteral("MPPT"))
           + QStringLiteral("[mqtt]\nenabled=true\nhost=127.0.0.1\nport=%1\nclient_id=logger\n%2")
                 .arg(brokerPort)
                 .arg(more);
}

// The load switch's frame among what the simulator was sent: Define command
// 0x03, or a Modbus TCP write (0x10) of register 54.
QByteArrayList loadFrames(const SimulatedController &sim, ProtocolKind protocol)
{
    QByteArrayList out;
    for (const SimRequest &r : sim.requests()) {
        const QByteArray &f = r.frame;
        if (protocol == ProtocolDefine ? f.size() == 16 && quint8(f.at(2)) == 0x03
                                       : f.size() > 9 && quint8(f.at(7)) == 0x10 && quint8(f.at(9)) == 54)
            out << f;
    }
    return out;
}

// Modbus TCP frames carry a transaction id of their own in bytes 0 and 1.
QByteArray comparable(const QByteArray &frame, ProtocolKind protocol)
{
    return protocol == ProtocolModbusTcp ? frame.mid(2) : frame;
}

// The frame the window's "Load on"/"Load off" buttons send: the core's load
// switch request, on a link of its own.
QByteArray windowLoadFrame(ProtocolKind protocol)
{
    SimulatedController sim(protocol, ControllerMppt);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return QByteArray();
    f.write(tcpConfigText(sim.listenTcp(), configProtocol(protocol), QStringLiteral("MPPT")).toUtf8());
    f.close();
    MonitorCore core;
    core.configPath = path;
    core.connectLink();
    if (!QTest::qWaitFor([&] { return core.linkIsUp(); }, 5000))
        return QByteArray();
    core.refreshTimer.stop();
    if (!QTest::qWaitFor([&] { return core.beginParameterAction(); }, 5000))
        return QByteArray();
    sim.clearRequests();
    core.requestLoadSwitch();
    core.endParameterAction();
    const QByteArrayList frames = loadFrames(sim, protocol);
    core.disconnectLink();
    return frames.isEmpty() ? QByteArray() : frames.last();
}

} // namespace

class tst_mqtt_extras : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QCoreApplication::setApplicationName(QStringLiteral("tst_mqtt_extras"));
    }
    void linkWindow_data();
    void linkWindow();
    void energyTodayAcrossMidnightAndRestart();
    void loggerLinkFiguresAndEnergyToday();
    void loadSwitch_data();
    void loadSwitch();
    void commandsOffByDefault();
    void commandsNeedTheirProgram();
};

void tst_mqtt_extras::linkWindow_data()
{
    // Per note: seconds, answered, finished, timed out (the counters then).
    QTest::addColumn<QVector<QVector<qint64>>>("notes");
    QTest::addColumn<qint64>("finished");      // within the window, after the last note
    QTest::addColumn<double>("answerRate");
    QTest::addColumn<double>("perMinute");
    QTest::newRow("nothing yet") << QVector<QVector<qint64>>{{0, 0, 0, 0}} << qint64(0) << 0.0 << 0.0;
    QTest::newRow("all answered") << QVector<QVector<qint64>>{{0, 0, 0, 0}, {5, 12, 12, 0}} << qint64(12) << 100.0
                                  << 0.0;
    QTest::newRow("one early timeout is one a minute, not twelve")
        << QVector<QVector<qint64>>{{0, 0, 0, 0}, {5, 3, 4, 1}} << qint64(4) << 75.0 << 1.0;
    QTest::newRow("steady: six timeouts in three minutes")
        << QVector<QVector<qint64>>{{0, 0, 0, 0}, {60, 8, 10, 2}, {120, 16, 20, 4}, {180, 24, 30, 6}} << qint64(30)
        << 80.0 << 2.0;
    QTest::newRow("older than five minutes is forgotten")
        << QVector<QVector<qint64>>{{0, 0, 0, 0}, {60, 0, 50, 50}, {400, 10, 60, 50}, {700, 19, 70, 53}}
        << qint64(10) << 90.0 << 0.6;
    QTest::newRow("a reset of the statistics starts afresh")
        << QVector<QVector<qint64>>{{0, 0, 0, 0}, {60, 0, 40, 40}, {120, 3, 3, 0}, {125, 5, 6, 1}} << qint64(3)
        << 2.0 / 3 * 100 << 1.0;
}

void tst_mqtt_extras::linkWindow()
{
    QFETCH(QVector<QVector<qint64>>, notes);
    QFETCH(qint64, finished);
    QFETCH(double, answerRate);
    QFETCH(double, perMinute);
    LinkWindow window;
    LinkWindow::Figures f;
    for (const QVector<qint64> &n : notes)
        f = window.note(n.at(0) * 1000, quint64(n.at(1)), quint64(n.at(2)), quint64(n.at(3)));
    QCOMPARE(qint64(f.finished), finished);
    QCOMPARE(f.answerRate, answerRate);
    QCOMPARE(f.timeoutsPerMinute, perMinute);
}

void tst_mqtt_extras::energyTodayAcrossMidnightAndRestart()
{
    TestBroker broker;
    QVERIFY(broker.start());
    TestSubscriber sub;
    QVERIFY(sub.connectTo(broker.port(), "#"));
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("history.sqlite"));
    const qint64 firstDay = DailyYield::today() - 3;

    // Counts of 0.01 MWh (10 kWh). The first run ends at 22:30; the second
    // clears the generated total at 23:00 and goes past midnight.
    const QVector<Reading> runs[2] = {
        {{0, 22, 0, 100, 50}, {0, 22, 10, 101, 50}, {0, 22, 20, 102, 51}, {0, 22, 30, 103, 51}},
        {{0, 22, 40, 104, 51}, {0, 22, 50, 105, 52}, {0, 23, 0, 2, 52}, {0, 23, 10, 3, 53}, {0, 23, 50, 4, 53},
         {1, 0, 0, 5, 53}, {1, 0, 10, 6, 54}},
    };
    int sent = 0;
    for (const QVector<Reading> &run : runs) {
        HistoryStore store;
        QVERIFY2(store.open(file), qPrintable(store.errorString()));
        MqttPublisher pub;
        pub.setExtras(MqttPublisher::EnergyTodayEntities);
        QVERIFY(pub.start(localConfig(broker.port()), 1));
        QTRY_VERIFY_WITH_TIMEOUT(pub.isConnected(), 5000);
        EnergyTodaySink energy(store, pub);
        for (const Reading &r : run) {
            // As the logger hands them on: store, state, then the day's figure.
            const LiveSample s = sampleAt(firstDay, r);
            store.append(s);
            pub.publishSample(s);
            energy.writeSample(s);
        }
        sent += run.size();
        QTRY_COMPARE_WITH_TIMEOUT(sub.on("solar/addr1/state").size(), sent, 5000);
        pub.stop();
        QVERIFY(store.flush());
    }

    // The first run's first reading has nothing to count from; the second
    // run's first figure goes out with its release, counted on from the store.
    const QVector<double> generated{10, 20, 30, 40, 50, 50, 60, 70, 10, 20};
    const QVector<double> consumed{0, 10, 10, 10, 20, 20, 30, 30, 0, 10};
    QTRY_COMPARE_WITH_TIMEOUT(sub.on("solar/addr1/today").size(), generated.size(), 5000);
    QVector<double> gotGenerated, gotConsumed;
    for (const ReceivedMessage &m : sub.on("solar/addr1/today")) {
        const QJsonObject o = QJsonDocument::fromJson(m.payload).object();
        gotGenerated << o.value("generatedEnergyToday").toDouble(-1);
        gotConsumed << o.value("consumedEnergyToday").toDouble(-1);
    }
    QCOMPARE(gotGenerated, generated);
    QCOMPARE(gotConsumed, consumed);
    // Monotonic but for the one fall at midnight: never at a start, never the cleared counter.
    int falls = 0;
    for (int i = 1; i < gotGenerated.size(); ++i)
        falls += gotGenerated.at(i) < gotGenerated.at(i - 1);
    QCOMPARE(falls, 1);
    QVERIFY(gotGenerated.at(8) < gotGenerated.at(7));

    // The same figures as the History tab's days.
    HistoryStore store;
    QVERIFY(store.open(file));
    const QVector<DayYield> days = DailyYield::read(store, 1, firstDay, firstDay + 1);
    QCOMPARE(days.size(), 2);
    QCOMPARE(days.at(0).generatedKwh(), 70.0);
    QCOMPARE(days.at(0).consumedKwh(), 30.0);
    QCOMPARE(days.at(1).generatedKwh(), 20.0);

    const QJsonObject config =
        QJsonDocument::fromJson(sub.last("homeassistant/sensor/addr1/generatedEnergyToday/config")).object();
    QCOMPARE(config.value("unit_of_measurement").toString(), QStringLiteral("kWh"));
    QCOMPARE(config.value("device_class").toString(), QStringLiteral("energy"));
    QCOMPARE(config.value("state_class").toString(), QStringLiteral("total_increasing"));
    QCOMPARE(config.value("state_topic").toString(), QStringLiteral("solar/addr1/today"));
    QCOMPARE(config.value("name").toString(), QStringLiteral("Generated energy today"));
    QVERIFY(!config.contains("last_reset_value_template"));
}

void tst_mqtt_extras::loggerLinkFiguresAndEnergyToday()
{
    TestBroker broker;
    QVERIFY(broker.start());
    TestSubscriber sub;
    QVERIFY(sub.connectTo(broker.port()));
    TempWorkDir dir;
    SimulatedController sim(ProtocolModbusTcp, ControllerMppt);
    QVERIFY(dir.writeConfig(loggerConfig(sim.listenTcp(), QStringLiteral("TCP Modbus"), broker.port())));
    LoggerProcess logger({QStringLiteral("--db"), dir.path() + QStringLiteral("/history.sqlite")});
    QByteArray base;
    QVERIFY2(QTest::qWaitFor([&] { return !(base = deviceBase(sub)).isEmpty(); }, 15000), logger.err().constData());
    const QByteArray name = base.mid(6);

    // Every request answered (the bus scan's silent addresses left out).
    QJsonObject link;
    QVERIFY2(QTest::qWaitFor([&] {
        link = QJsonDocument::fromJson(sub.last(base + "/link")).object();
        return link.value("answerRate").toDouble() == 100.0 && link.contains("timeoutsPerMinute");
    }, 15000), sub.last(base + "/link").constData());
    QCOMPARE(link.value("timeoutsPerMinute").toDouble(), 0.0);
    for (const char *key : {"answerRate", "timeoutsPerMinute"}) {
        const QJsonObject o = QJsonDocument::fromJson(
            sub.last("homeassistant/sensor/" + name + "/" + key + "/config")).object();
        QCOMPARE(o.value("entity_category").toString(), QStringLiteral("diagnostic"));
        QCOMPARE(o.value("state_topic").toString(), QString::fromUtf8(base + "/link"));
    }
    // Recording: the day's figures come once counted (the totals stand still here).
    QTRY_VERIFY_WITH_TIMEOUT(!sub.last(base + "/today").isEmpty(), 10000);
    QCOMPARE(QJsonDocument::fromJson(sub.last(base + "/today")).object().value("generatedEnergyToday").toDouble(-1),
             0.0);

    // A silent controller: the timeouts show, the answer rate falls.
    SimFaults silent;
    silent.silence = true;
    sim.setFaults(silent);
    QVERIFY2(QTest::qWaitFor([&] {
        link = QJsonDocument::fromJson(sub.last(base + "/link")).object();
        return link.value("timeoutsPerMinute").toDouble() > 0 && link.value("answerRate").toDouble() < 100;
    }, 20000), sub.last(base + "/link").constData());
    sim.clearFaults();
    QVERIFY(logger.stop());
}

void tst_mqtt_extras::loadSwitch_data()
{
    QTest::addColumn<int>("protocolKind");
    QTest::newRow("Define") << int(ProtocolDefine);
    QTest::newRow("Modbus TCP") << int(ProtocolModbusTcp);
}

void tst_mqtt_extras::loadSwitch()
{
    QFETCH(int, protocolKind);
    const ProtocolKind protocol = ProtocolKind(protocolKind);
    const QByteArray windowFrame = windowLoadFrame(protocol);
    QVERIFY(!windowFrame.isEmpty());

    TestBroker broker;
    broker.logSubscriptions();
    QVERIFY(broker.start());
    TestSubscriber sub;
    QVERIFY(sub.connectTo(broker.port()));
    TempWorkDir dir;
    SimulatedController sim(protocol, ControllerMppt);
    SimulatedDevice *device = sim.device(1);
    device->setStatusBit(SimStatus::LoadOff, false);
    QVERIFY(dir.writeConfig(loggerConfig(sim.listenTcp(), configProtocol(protocol), broker.port(),
                                         QStringLiteral("commands=true\n"))));
    LoggerProcess logger({QStringLiteral("--no-record")});
    QByteArray base;
    QVERIFY2(QTest::qWaitFor([&] { return !(base = deviceBase(sub)).isEmpty(); }, 15000), logger.err().constData());
    const QByteArray name = base.mid(6);
    QTRY_VERIFY_WITH_TIMEOUT(!sub.last("homeassistant/switch/" + name + "/loadSwitch/config").isEmpty(), 5000);
    const QJsonObject config =
        QJsonDocument::fromJson(sub.last("homeassistant/switch/" + name + "/loadSwitch/config")).object();
    QCOMPARE(config.value("command_topic").toString(), QString::fromUtf8(base + "/load/set"));
    QCOMPARE(config.value("state_topic").toString(), QString::fromUtf8(base + "/lamps"));
    QVERIFY2(broker.log().contains(QLatin1String("solar/+/load/set")), qPrintable(broker.log()));

    auto command = [&](const QByteArray &payload) {
        const int before = sub.on(base + "/load/result").size();
        sub.publish(base + "/load/set", payload);
        if (!QTest::qWaitFor([&] { return sub.on(base + "/load/result").size() > before; }, 10000))
            return QJsonObject();
        return QJsonDocument::fromJson(sub.last(base + "/load/result")).object();
    };

    sim.clearRequests();
    QJsonObject answer = command("OFF");
    QCOMPARE(answer.value("command").toString(), QStringLiteral("OFF"));
    QCOMPARE(answer.value("result").toString(), QStringLiteral("done"));
    QVERIFY(!device->loadOn());
    QTRY_COMPARE_WITH_TIMEOUT(QJsonDocument::fromJson(sub.last(base + "/lamps")).object().value("load").toString(),
                              QStringLiteral("OFF"), 10000);
    const QByteArrayList offFrames = loadFrames(sim, protocol);
    QCOMPARE(offFrames.size(), 1);

    sim.clearRequests();
    answer = command("ON");
    QCOMPARE(answer.value("result").toString(), QStringLiteral("done"));
    QVERIFY(device->loadOn());
    const QByteArrayList onFrames = loadFrames(sim, protocol);
    QCOMPARE(onFrames.size(), 1);
    // "ON" is the window's load button frame; "OFF" the same with the load-off bit.
    QCOMPARE(comparable(onFrames.first(), protocol), comparable(windowFrame, protocol));
    QVERIFY(offFrames.first() != onFrames.first());
    QCOMPARE(offFrames.first().size(), onFrames.first().size());

    // Nothing but ON and OFF: refused without a frame.
    sim.clearRequests();
    answer = command("toggle");
    QCOMPARE(answer.value("result").toString(), QStringLiteral("refused"));
    QVERIFY(loadFrames(sim, protocol).isEmpty());
    QVERIFY(device->loadOn());

    // The controller does not take it: refused, with why.
    SimFaults refusing;
    refusing.rewrite = [protocol](const QByteArray &request, const QByteArray &reply) {
        const bool load = protocol == ProtocolDefine ? quint8(request.at(2)) == 0x03
                                                     : request.size() > 9 && quint8(request.at(7)) == 0x10;
        if (!load)
            return reply;
        if (protocol == ProtocolDefine)
            return QByteArray();   // no answer
        QByteArray exception = request.left(7);
        exception[4] = 0;
        exception[5] = 3;
        exception += char(0x90);
        exception += char(4);
        return exception;
    };
    sim.setFaults(refusing);
    answer = command("OFF");
    sim.clearFaults();
    QCOMPARE(answer.value("result").toString(), QStringLiteral("refused"));
    QCOMPARE(answer.value("reason").toString(),
             protocol == ProtocolDefine ? QStringLiteral("no answer") : QStringLiteral("exception answer 4"));

    // The link down: said so, nothing sent. (The refused request above may
    // have been carried out, its answer lost: the load is set on again.)
    device->setStatusBit(SimStatus::LoadOff, false);
    sim.closeTransports();
    QVERIFY(QTest::qWaitFor([&] { return logger.err().contains("link down"); }, 10000));
    answer = command("OFF");
    QCOMPARE(answer.value("result").toString(), QStringLiteral("link down"));
    QVERIFY(device->loadOn());
    QVERIFY(logger.stop());
}

void tst_mqtt_extras::commandsOffByDefault()
{
    TestBroker broker;
    broker.logSubscriptions();
    QVERIFY(broker.start());
    TestSubscriber sub;
    QVERIFY(sub.connectTo(broker.port()));
    TempWorkDir dir;
    SimulatedController sim(ProtocolDefine, ControllerMppt);
    SimulatedDevice *device = sim.device(1);
    device->setStatusBit(SimStatus::LoadOff, false);
    QVERIFY(dir.writeConfig(loggerConfig(sim.listenTcp(), QStringLiteral("Define"), broker.port())));
    LoggerProcess logger({QStringLiteral("--no-record")});
    QByteArray base;
    QVERIFY2(QTest::qWaitFor([&] { return !(base = deviceBase(sub)).isEmpty(); }, 15000), logger.err().constData());
    sim.clearRequests();
    sub.publish(base + "/load/set", "OFF");
    QTest::qWait(2000);
    QVERIFY(device->loadOn());
    QVERIFY(loadFrames(sim, ProtocolDefine).isEmpty());
    QVERIFY(sub.on(base + "/load/result").isEmpty());
    for (const ReceivedMessage &m : sub.messages())
        QVERIFY2(!m.topic.startsWith("homeassistant/switch/"), m.topic.constData());
    const QString log = broker.log();
    QVERIFY2(log.contains(QLatin1String("homeassistant/status")), qPrintable(log));   // subscriptions are logged
    QVERIFY2(!log.contains(QLatin1String("load/set")), qPrintable(log));
    QVERIFY(logger.stop());
}

void tst_mqtt_extras::commandsNeedTheirProgram()
{
    // commands=true alone (the window reads the same [mqtt]) offers no switch:
    // only a program that carries commands out turns them on.
    TestBroker broker;
    QVERIFY(broker.start());
    TestSubscriber sub;
    QVERIFY(sub.connectTo(broker.port()));
    MqttConfig c = localConfig(broker.port());
    c.commands = true;
    MqttPublisher pub;
    QSignalSpy asked(&pub, &MqttPublisher::loadSwitchRequested);
    QVERIFY(pub.start(c, 1));
    QTRY_VERIFY_WITH_TIMEOUT(pub.isConnected(), 5000);
    LiveSample s = sampleAt(DailyYield::today(), {0, 12, 0, 1, 1});
    pub.publishSample(s);
    s.timeMs += 1000;
    pub.publishSample(s);
    QTRY_VERIFY_WITH_TIMEOUT(!sub.last("solar/addr1/lamps").isEmpty(), 5000);
    QVERIFY(!pub.commandsEnabled());
    for (const MqttPublisher::Discovery &d : pub.discoveryConfigs(1))
        QVERIFY2(!d.topic.contains("/switch/"), d.topic.constData());
    QVERIFY(sub.publish("solar/addr1/load/set", "OFF"));
    QTest::qWait(500);
    QCOMPARE(asked.size(), 0);

    // Served: subscribed at once, and only announced devices and ON/OFF count.
    pub.setExtras(MqttPublisher::LoadSwitchEntity);
    QVERIFY(pub.commandsEnabled());
    QTest::qWait(300);
    QVERIFY(sub.publish("solar/addr9/load/set", "OFF"));
    QVERIFY(sub.publish("solar/addr1/load/set", QByteArray(4096, 'O')));
    QVERIFY(sub.publish("solar/addr1/load/set", "off"));
    QTRY_COMPARE_WITH_TIMEOUT(asked.size(), 1, 3000);
    QCOMPARE(asked.at(0).at(0).toInt(), 1);
    QCOMPARE(asked.at(0).at(1).toBool(), false);
    QCOMPARE(sub.on("solar/addr1/load/result").size(), 1);   // the long one, refused
    QCOMPARE(QJsonDocument::fromJson(sub.last("solar/addr1/load/result")).object().value("result").toString(),
             QStringLiteral("refused"));
    QVERIFY(sub.on("solar/addr9/load/result").isEmpty());
}

QTEST_GUILESS_MAIN(tst_mqtt_extras)
#include "tst_mqtt_extras.moc"
