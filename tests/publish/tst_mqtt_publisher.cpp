// The MQTT publisher against a real mosquitto broker on 127.0.0.1: topics and
// payloads, retained Home Assistant discovery, the last will of a killed
// process, the queue across a broker restart, refused logins and TLS.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

#include "config_file.h"
#include "mqtt_fixture.h"
#include "mqtt_publisher.h"

class TstMqttPublisher : public QObject
{
    Q_OBJECT

private slots:
    void stateDiscoveryAndAvailability();
    void retainedDiscoveryForLateSubscriber();
    void lastWillWhenKilled();
    void queueAcrossBrokerRestart();
    void brokerComesUpLater();
    void refusedLogin();
    void refusedTls();
    void config();
};

namespace {

MqttConfig localConfig(quint16 port)
{
    MqttConfig c;
    c.host = QStringLiteral("127.0.0.1");
    c.port = port;
    c.clientId = QStringLiteral("tst-publisher");
    return c;
}

LiveSample sample(qint64 timeMs, int address = 1)
{
    LiveSample s;
    s.timeMs = timeMs;
    s.address = address;
    s.counts[PvVoltage] = 1834;
    s.counts[BatteryCurrent] = -75;
    s.counts[BatteryTemperature] = -5;
    s.statusWord = 0x9;
    s.chargeStageText = QStringLiteral("Float");
    s.pvStateText = QStringLiteral("Generating");
    return s;
}

QByteArray json(const LiveSample &s)
{
    QByteArray out;
    appendLiveSampleJson(out, s);
    return out;
}

DeviceIdentity identity(int address, const QString &serial)
{
    DeviceIdentity id;
    id.address = address;
    id.model = QStringLiteral("MPPT-40A");
    id.serialNumber = serial;
    id.version = QStringLiteral("HRV1.2,SFV3.4");
    return id;
}

} // namespace

void TstMqttPublisher::stateDiscoveryAndAvailability()
{
    TestBroker broker;
    QVERIFY(broker.start());
    TestSubscriber sub;
    QVERIFY(sub.connectTo(broker.port()));
    MqttPublisher pub;
    QSignalSpy connected(&pub, &MqttPublisher::connectedChanged);
    QVERIFY(pub.start(localConfig(broker.port()), 1));
    QTRY_VERIFY_WITH_TIMEOUT(pub.isConnected(), 5000);
    QCOMPARE(pub.deviceName(1), QStringLiteral("addr1"));
    const LiveSample first = sample(1000);
    pub.publishSample(first);
    QTRY_COMPARE_WITH_TIMEOUT(sub.last("solar/addr1/state"), json(first), 5000);
    QCOMPARE(sub.last("solar/addr1/availability"), QByteArray("online"));

    // The serial number, once read, names the device; the old entities go.
    pub.setIdentity(identity(1, QStringLiteral("SN 0042/x")));
    QCOMPARE(pub.deviceName(1), QStringLiteral("SN_0042_x"));
    QTRY_VERIFY_WITH_TIMEOUT(pub.isConnected(), 5000);
    const LiveSample second = sample(2000);
    pub.publishSample(second);
    QTRY_COMPARE_WITH_TIMEOUT(sub.last("solar/SN_0042_x/state"), json(second), 5000);
    QCOMPARE(sub.last("solar/SN_0042_x/availability"), QByteArray("online"));
    QCOMPARE(sub.last("solar/addr1/availability"), QByteArray(""));
    QCOMPARE(sub.last("homeassistant/sensor/addr1/pvVoltage/config"), QByteArray(""));

    const QJsonObject pv = QJsonDocument::fromJson(
        sub.last("homeassistant/sensor/SN_0042_x/pvVoltage/config")).object();
    QCOMPARE(pv.value("state_topic").toString(), QStringLiteral("solar/SN_0042_x/state"));
    QCOMPARE(pv.value("availability_topic").toString(), QStringLiteral("solar/SN_0042_x/availability"));
    QCOMPARE(pv.value("unit_of_measurement").toString(), QStringLiteral("V"));
    QCOMPARE(pv.value("device_class").toString(), QStringLiteral("voltage"));
    QCOMPARE(pv.value("state_class").toString(), QStringLiteral("measurement"));
    QCOMPARE(pv.value("value_template").toString(), QStringLiteral("{{ value_json.pvVoltage }}"));
    QCOMPARE(pv.value("unique_id").toString(), QStringLiteral("solar_SN_0042_x_pvVoltage"));
    const QJsonObject dev = pv.value("device").toObject();
    QCOMPARE(dev.value("model").toString(), QStringLiteral("MPPT-40A"));
    QCOMPARE(dev.value("serial_number").toString(), QStringLiteral("SN 0042/x"));
    QCOMPARE(dev.value("sw_version").toString(), QStringLiteral("HRV1.2,SFV3.4"));
    QCOMPARE(dev.value("identifiers").toArray().at(0).toString(), QStringLiteral("solar_SN_0042_x"));
    const QJsonObject energy = QJsonDocument::fromJson(
        sub.last("homeassistant/sensor/SN_0042_x/generatedEnergyTotal/config")).object();
    QCOMPARE(energy.value("unit_of_measurement").toString(), QStringLiteral("MWh"));
    QCOMPARE(energy.value("state_class").toString(), QStringLiteral("total_increasing"));
    const QJsonObject temp = QJsonDocument::fromJson(
        sub.last("homeassistant/sensor/SN_0042_x/batteryTemperature/config")).object();
    QCOMPARE(temp.value("unit_of_measurement").toString(), QString::fromUtf8("°C"));
    const QJsonObject stage = QJsonDocument::fromJson(
        sub.last("homeassistant/sensor/SN_0042_x/chargeStageText/config")).object();
    QCOMPARE(stage.value("value_template").toString(), QStringLiteral("{{ value_json.chargeStageText }}"));
    QVERIFY(!stage.contains("unit_of_measurement"));

    // A clean stop says offline.
    pub.stop();
    QTRY_COMPARE_WITH_TIMEOUT(sub.last("solar/SN_0042_x/availability"), QByteArray("offline"), 5000);
    QCOMPARE(connected.last().at(0).toBool(), false);
}

void TstMqttPublisher::retainedDiscoveryForLateSubscriber()
{
    TestBroker broker;
    QVERIFY(broker.start());
    MqttConfig c = localConfig(broker.port());
    c.topicPrefix = QStringLiteral("site7/solar");
    MqttPublisher pub;
    QVERIFY(pub.start(c, 2));
    QTRY_VERIFY_WITH_TIMEOUT(pub.isConnected(), 5000);
    pub.publishSample(sample(1000, 2));
    // A second controller on the same bus is a device of its own.
    pub.publishSample(sample(1000, 3));
    QTest::qWait(300);
    TestSubscriber late;
    QVERIFY(late.connectTo(broker.port()));
    const int perDevice = LiveValueCount + 3;
    QTRY_COMPARE_WITH_TIMEOUT(late.messages().size(), 2 * perDevice + 2, 5000);
    for (const ReceivedMessage &m : late.messages()) {
        QVERIFY2(m.retained, m.topic.constData());
        QVERIFY(m.topic.endsWith("/config") || m.topic.endsWith("/availability"));
    }
    QCOMPARE(late.last("site7/solar/addr3/availability"), QByteArray("online"));
    QVERIFY(!late.last("homeassistant/sensor/addr3/loadPower/config").isEmpty());
}

void TstMqttPublisher::lastWillWhenKilled()
{
    TestBroker broker;
    QVERIFY(broker.start());
    TestSubscriber sub;
    QVERIFY(sub.connectTo(broker.port(), "solar/+/availability"));
    QProcess child;
    child.start(QStringLiteral(MQTT_TEST_PUBLISHER_EXE),
                {QString::number(broker.port()), QStringLiteral("5"), QStringLiteral("SN77")});
    QVERIFY(child.waitForStarted());
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT((out += child.readAllStandardOutput()).contains("connected"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(sub.last("solar/SN77/availability"), QByteArray("online"), 5000);
    ::kill(pid_t(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished());
    QTRY_COMPARE_WITH_TIMEOUT(sub.last("solar/SN77/availability"), QByteArray("offline"), 5000);
    // Nothing is left behind under the name it started with.
    QTRY_VERIFY_WITH_TIMEOUT(sub.last("solar/addr5/availability").isEmpty(), 3000);
}

void TstMqttPublisher::queueAcrossBrokerRestart()
{
    TestBroker broker;
    QVERIFY(broker.start());
    MqttPublisher pub;
    pub.setReconnectDelays(1, 1);
    pub.setQueueLimit(5);
    QSignalSpy links(&pub, &MqttPublisher::linkChanged);
    QVERIFY(pub.start(localConfig(broker.port()), 1));
    QTRY_VERIFY_WITH_TIMEOUT(pub.isConnected(), 5000);
    broker.stop();
    QTRY_VERIFY_WITH_TIMEOUT(!pub.isConnected(), 5000);
    for (int i = 0; i < 8; ++i)
        pub.publishSample(sample(1000 * (i + 1)));
    QCOMPARE(pub.queuedMessages(), 5);
    QCOMPARE(pub.droppedMessages(), qint64(3));   // the oldest went first

    QVERIFY(broker.start(broker.port()));
    TestSubscriber sub;
    QVERIFY(sub.connectTo(broker.port(), "solar/addr1/state"));
    QTRY_VERIFY_WITH_TIMEOUT(pub.isConnected(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(sub.on("solar/addr1/state").size(), 5, 5000);
    const QVector<ReceivedMessage> got = sub.on("solar/addr1/state");
    for (int i = 0; i < 5; ++i)
        QCOMPARE(got.at(i).payload, json(sample(1000 * (i + 4))));
    QCOMPARE(pub.queuedMessages(), 0);

    // Said: connecting, connected, lost, perhaps one refused retry, connected.
    QVector<MqttLinkStatus> said;
    for (const QList<QVariant> &args : links)
        said.append(args.at(0).value<MqttLinkStatus>());
    QVERIFY(said.size() == 4 || said.size() == 5);
    QCOMPARE(said.at(0).state, MqttLinkStatus::Connecting);
    QCOMPARE(said.at(1).state, MqttLinkStatus::Connected);
    QCOMPARE(said.at(2).state, MqttLinkStatus::Lost);
    QCOMPARE(said.at(2).text, QStringLiteral("MQTT: connection to 127.0.0.1:%1 lost (closed by the broker); "
                                             "retrying in 1 s")
                                  .arg(broker.port()));
    if (said.size() == 5)
        QCOMPARE(said.at(3).reason, QStringLiteral("Connection refused"));
    QCOMPARE(said.last().state, MqttLinkStatus::Connected);
}

void TstMqttPublisher::brokerComesUpLater()
{
    // A refused first attempt used to end all attempts.
    const quint16 port = TestBroker::freePort();
    MqttPublisher pub;
    QSignalSpy links(&pub, &MqttPublisher::linkChanged);
    QSignalSpy errors(&pub, &MqttPublisher::errorOccurred);
    QVERIFY(pub.start(localConfig(port), 1));
    QVERIFY(pub.isStarted());
    pub.publishSample(sample(1000));
    QTest::qWait(3500);   // attempts at 0, 1 and 3 s: refused alike, said once
    QCOMPARE(links.size(), 2);
    QCOMPARE(pub.linkStatus().state, MqttLinkStatus::Failed);
    QCOMPARE(pub.linkStatus().reason, QStringLiteral("Connection refused"));
    QVERIFY(!pub.linkStatus().refused);
    QCOMPARE(pub.linkStatus().retrySeconds, 1);
    QCOMPARE(errors.size(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), pub.linkStatus().text);

    TestBroker broker;
    QVERIFY(broker.start(port));
    TestSubscriber sub;
    QVERIFY(sub.connectTo(port, "solar/addr1/state"));
    // The next attempt is due 7 s after the start.
    QTRY_VERIFY_WITH_TIMEOUT(pub.isConnected(), 6000);
    QCOMPARE(links.size(), 3);
    QCOMPARE(links.last().at(0).value<MqttLinkStatus>().text,
             QStringLiteral("MQTT: connected to 127.0.0.1:%1, publishing under solar/addr1").arg(port));
    QTRY_COMPARE_WITH_TIMEOUT(sub.last("solar/addr1/state"), json(sample(1000)), 3000);
}

void TstMqttPublisher::refusedLogin()
{
    TestBroker broker;
    QVERIFY(broker.start(0, {QStringLiteral("solar:right")}));
    MqttConfig c = localConfig(broker.port());
    c.username = QStringLiteral("solar");
    c.password = QStringLiteral("wrong");
    MqttPublisher pub;
    QSignalSpy errors(&pub, &MqttPublisher::errorOccurred);
    QVERIFY(pub.start(c, 1));
    QTRY_VERIFY_WITH_TIMEOUT(!errors.isEmpty(), 5000);
    const QString text = errors.first().at(0).toString();
    QVERIFY2(text.contains(QLatin1String("refused the connection"))
                 && (text.contains(QLatin1String("user name or password"))
                     || text.contains(QLatin1String("not authorised"))),
             qPrintable(text));
    QVERIFY(text.contains(QString::number(broker.port())));
    QVERIFY(!pub.isConnected());
    pub.stop();

    c.password = QStringLiteral("right");
    MqttPublisher good;
    QVERIFY(good.start(c, 1));
    QTRY_VERIFY_WITH_TIMEOUT(good.isConnected(), 5000);
}

void TstMqttPublisher::refusedTls()
{
    // A plain listener where the client expects TLS: the handshake fails.
    TestBroker broker;
    QVERIFY(broker.start());
    MqttConfig c = localConfig(broker.port());
    c.caFile = QStringLiteral("/etc/ssl/certs/ca-certificates.crt");
    if (!QFile::exists(c.caFile))
        QSKIP("no CA bundle on this machine");
    MqttPublisher pub;
    QSignalSpy errors(&pub, &MqttPublisher::errorOccurred);
    QVERIFY(pub.start(c, 1));
    QTRY_VERIFY_WITH_TIMEOUT(!errors.isEmpty(), 5000);
    const QString text = errors.last().at(0).toString();
    QVERIFY2(text.contains(QLatin1String("TLS")), qPrintable(text));
    QVERIFY(!pub.isConnected());

    MqttConfig missing = c;
    missing.caFile = QStringLiteral("/nonexistent/ca.pem");
    MqttPublisher bad;
    QVERIFY(!bad.start(missing, 1));
    QVERIFY(bad.errorString().contains(QLatin1String("/nonexistent/ca.pem")));
}

void TstMqttPublisher::config()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[MQTT]\nenabled=1\nhost=broker.lan\nclient_id=roof\nusername=u\npassword=p,w\n"
            "ca_file=/etc/ca.pem\ntopic_prefix=home/solar\nqos=1\nretain=true\n");
    f.close();
    MqttConfig c = readMqttConfig(ConfigFile(path));
    QVERIFY(c.enabled);
    QCOMPARE(c.host, QStringLiteral("broker.lan"));
    QCOMPARE(c.port, 8883);   // TLS without a port
    QCOMPARE(c.clientId, QStringLiteral("roof"));
    QCOMPARE(c.password, QStringLiteral("p,w"));
    QCOMPARE(c.topicPrefix, QStringLiteral("home/solar"));
    QCOMPARE(c.qos, 1);
    QVERIFY(c.retain);
    c = readMqttConfig(ConfigFile(dir.filePath(QStringLiteral("none.ini"))));
    QVERIFY(!c.enabled);
    QCOMPARE(c.port, 1883);
    QCOMPARE(c.topicPrefix, QStringLiteral("solar"));
    QCOMPARE(c.qos, 0);
}

QTEST_GUILESS_MAIN(TstMqttPublisher)
#include "tst_mqtt_publisher.moc"
