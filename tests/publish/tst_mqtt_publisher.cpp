// The MQTT publisher against a real mosquitto broker on 127.0.0.1: topics and
// payloads, retained Home Assistant discovery, the last will of a killed
// process, the queue across a broker restart, refused logins and TLS.
#include <QElapsedTimer>
#include <QJsonArray>
#include <QRegularExpression>
#include <QSet>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

#include "code_tables.h"
#include "config_file.h"
#include "mqtt_fixture.h"
#include "mqtt_publisher.h"

class TstMqttPublisher : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setApplicationName(QStringLiteral("tst_mqtt_publisher")); }
    void stateDiscoveryAndAvailability();
    void identityAfterAFullCycle();
    void lamps_data();
    void lamps();
    void homeAssistantRules();
    void birthMessage();
    void retainedDiscoveryForLateSubscriber();
    void lastWillWhenKilled();
    void queueAcrossBrokerRestart();
    void brokerComesUpLater();
    void refusedLogin();
    void refusedTls();
    void clientCertificate();
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
    id.factoryInfo = QStringLiteral(" Sun Works Ltd ");
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

    // A normal start: the identity comes within the first cycle; until the
    // second sample nothing of the device goes out, and then all under the
    // serial number, the held state first.
    const LiveSample first = sample(1000);
    pub.publishSample(first);
    pub.setIdentity(identity(1, QStringLiteral("SN 0042/x")));
    QCOMPARE(pub.deviceName(1), QStringLiteral("SN_0042_x"));
    QTRY_VERIFY_WITH_TIMEOUT(pub.isConnected(), 5000);   // reconnected for the will's new topic
    QTest::qWait(200);
    QCOMPARE(sub.messages().size(), 0);
    const LiveSample second = sample(5000);
    pub.publishSample(second);
    QTRY_COMPARE_WITH_TIMEOUT(sub.on("solar/SN_0042_x/state").size(), 2, 5000);
    QCOMPARE(sub.on("solar/SN_0042_x/state").at(0).payload, json(first));
    QCOMPARE(sub.on("solar/SN_0042_x/state").at(1).payload, json(second));
    QCOMPARE(sub.last("solar/SN_0042_x/availability"), QByteArray("online"));
    for (const ReceivedMessage &m : sub.messages()) {
        QVERIFY2(!m.topic.contains("addr1"), m.topic.constData());
        QVERIFY2(!m.payload.isEmpty(), m.topic.constData());   // nothing deleted
    }

    const QJsonObject pv = QJsonDocument::fromJson(
        sub.last("homeassistant/sensor/SN_0042_x/pvVoltage/config")).object();
    QCOMPARE(pv.value("state_topic").toString(), QStringLiteral("solar/SN_0042_x/state"));
    QCOMPARE(pv.value("availability_topic").toString(), QStringLiteral("solar/SN_0042_x/availability"));
    QCOMPARE(pv.value("unit_of_measurement").toString(), QStringLiteral("V"));
    QCOMPARE(pv.value("device_class").toString(), QStringLiteral("voltage"));
    QCOMPARE(pv.value("state_class").toString(), QStringLiteral("measurement"));
    QCOMPARE(pv.value("value_template").toString(), QStringLiteral("{{ value_json.pvVoltage }}"));
    QCOMPARE(pv.value("unique_id").toString(), QStringLiteral("solar_SN_0042_x_pvVoltage"));
    QCOMPARE(pv.value("default_entity_id").toString(), QStringLiteral("sensor.solar_sn_0042_x_pvvoltage"));
    QCOMPARE(pv.value("expire_after").toInt(), 12);   // three cycles of 4 s
    QVERIFY(!pv.contains("entity_category"));
    QCOMPARE(pv.value("origin").toObject().value("name").toString(), QStringLiteral("tst_mqtt_publisher"));
    const QJsonObject dev = pv.value("device").toObject();
    QCOMPARE(dev.value("model").toString(), QStringLiteral("MPPT-40A"));
    QCOMPARE(dev.value("manufacturer").toString(), QStringLiteral("Sun Works Ltd"));
    QCOMPARE(dev.value("serial_number").toString(), QStringLiteral("SN 0042/x"));
    QCOMPARE(dev.value("sw_version").toString(), QStringLiteral("HRV1.2,SFV3.4"));
    QCOMPARE(dev.value("name").toString(), QStringLiteral("MPPT-40A SN_0042_x"));
    QCOMPARE(dev.value("identifiers").toArray().at(0).toString(), QStringLiteral("solar_SN_0042_x"));
    const QJsonObject energy = QJsonDocument::fromJson(
        sub.last("homeassistant/sensor/SN_0042_x/generatedEnergyTotal/config")).object();
    QCOMPARE(energy.value("unit_of_measurement").toString(), QStringLiteral("MWh"));
    QCOMPARE(energy.value("state_class").toString(), QStringLiteral("total_increasing"));
    const QJsonObject temp = QJsonDocument::fromJson(
        sub.last("homeassistant/sensor/SN_0042_x/batteryTemperature/config")).object();
    QCOMPARE(temp.value("unit_of_measurement").toString(), QString::fromUtf8("°C"));
    for (const char *diagnostic : {"internalTemperature", "statusWord"}) {
        const QJsonObject o = QJsonDocument::fromJson(
            sub.last(QByteArray("homeassistant/sensor/SN_0042_x/") + diagnostic + "/config")).object();
        QCOMPARE(o.value("entity_category").toString(), QStringLiteral("diagnostic"));
    }
    const QJsonObject stage = QJsonDocument::fromJson(
        sub.last("homeassistant/sensor/SN_0042_x/chargeStageText/config")).object();
    QCOMPARE(stage.value("value_template").toString(), QStringLiteral("{{ value_json.chargeStageText }}"));
    QVERIFY(!stage.contains("unit_of_measurement"));
    const QJsonObject shortCircuit = QJsonDocument::fromJson(
        sub.last("homeassistant/binary_sensor/SN_0042_x/shortCircuit/config")).object();
    QCOMPARE(shortCircuit.value("name").toString(), QStringLiteral("Short circuit"));
    QCOMPARE(shortCircuit.value("device_class").toString(), QStringLiteral("problem"));
    QCOMPARE(shortCircuit.value("state_topic").toString(), QStringLiteral("solar/SN_0042_x/lamps"));
    const QJsonObject load = QJsonDocument::fromJson(
        sub.last("homeassistant/binary_sensor/SN_0042_x/load/config")).object();
    QCOMPARE(load.value("device_class").toString(), QStringLiteral("power"));
    // Status word 0x9: low voltage lit, the load off.
    const QJsonObject lamps = QJsonDocument::fromJson(sub.last("solar/SN_0042_x/lamps")).object();
    QCOMPARE(lamps.value("lowVoltage").toString(), QStringLiteral("ON"));
    QCOMPARE(lamps.value("load").toString(), QStringLiteral("OFF"));
    QCOMPARE(lamps.value("overLoad").toString(), QStringLiteral("OFF"));

    // A clean stop says offline.
    pub.stop();
    QTRY_COMPARE_WITH_TIMEOUT(sub.last("solar/SN_0042_x/availability"), QByteArray("offline"), 5000);
    QCOMPARE(connected.last().at(0).toBool(), false);
}

void TstMqttPublisher::identityAfterAFullCycle()
{
    // No identity within a cycle: the device goes out as addr2, and when the
    // serial number comes after all, the entities under addr2 are removed.
    TestBroker broker;
    QVERIFY(broker.start());
    TestSubscriber sub;
    QVERIFY(sub.connectTo(broker.port()));
    MqttPublisher pub;
    QVERIFY(pub.start(localConfig(broker.port()), 2));
    QTRY_VERIFY_WITH_TIMEOUT(pub.isConnected(), 5000);
    pub.publishSample(sample(1000, 2));
    pub.publishSample(sample(2000, 2));
    QTRY_COMPARE_WITH_TIMEOUT(sub.on("solar/addr2/state").size(), 2, 5000);
    QCOMPARE(QJsonDocument::fromJson(sub.last("homeassistant/sensor/addr2/pvVoltage/config"))
                 .object().value("expire_after").toInt(), 10);   // 3 s, raised to the floor
    pub.setIdentity(identity(2, QStringLiteral("SN9")));
    QTRY_VERIFY_WITH_TIMEOUT(pub.isConnected(), 5000);
    pub.publishSample(sample(3000, 2));
    QTRY_COMPARE_WITH_TIMEOUT(sub.on("solar/SN9/state").size(), 1, 5000);
    QCOMPARE(sub.last("solar/addr2/availability"), QByteArray(""));
    QCOMPARE(sub.last("homeassistant/sensor/addr2/pvVoltage/config"), QByteArray(""));
    QCOMPARE(sub.last("homeassistant/binary_sensor/addr2/load/config"), QByteArray(""));
    QVERIFY(!sub.last("homeassistant/sensor/SN9/pvVoltage/config").isEmpty());
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
    pub.publishSample(sample(2000, 2));
    pub.publishSample(sample(2000, 3));
    QTest::qWait(300);
    TestSubscriber late;
    QVERIFY(late.connectTo(broker.port()));
    const int perDevice = LiveValueCount + 3 + StatusBits::Count;
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
    pub.publishSample(sample(2000));
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
    QTRY_COMPARE_WITH_TIMEOUT(sub.last("solar/addr1/state"), json(sample(2000)), 3000);
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

void TstMqttPublisher::lamps_data()
{
    QTest::addColumn<quint32>("statusWord");
    QTest::addColumn<QStringList>("on");   // what <device>/lamps says "ON" for
    QTest::newRow("none: load on") << 0u << QStringList{"load"};
    QTest::newRow("load off") << 0x008u << QStringList{};
    QTest::newRow("low voltage, load off") << 0x009u << QStringList{"lowVoltage"};
    QTest::newRow("bits above 10 mean nothing") << 0xFFFFF800u << QStringList{"load"};
    const QStringList keys = MqttPublisher::statusKeys();
    for (int i = 0; i < StatusBits::Count; ++i) {
        if (StatusBits::table[i].mask == StatusBits::LoadOff)
            continue;
        QTest::newRow(StatusBits::table[i].key) << StatusBits::table[i].mask << QStringList{keys.at(i), "load"};
    }
}

void TstMqttPublisher::lamps()
{
    QFETCH(quint32, statusWord);
    QFETCH(QStringList, on);
    TestBroker broker;
    QVERIFY(broker.start());
    TestSubscriber sub;
    QVERIFY(sub.connectTo(broker.port(), "solar/addr1/lamps"));
    MqttPublisher pub;
    QVERIFY(pub.start(localConfig(broker.port()), 1));
    QTRY_VERIFY_WITH_TIMEOUT(pub.isConnected(), 5000);
    LiveSample s = sample(1000);
    s.statusWord = statusWord;
    pub.publishSample(s);
    pub.publishSample(s);
    QTRY_COMPARE_WITH_TIMEOUT(sub.on("solar/addr1/lamps").size(), 2, 5000);
    const QJsonObject lamps = QJsonDocument::fromJson(sub.last("solar/addr1/lamps")).object();
    QCOMPARE(lamps.size(), StatusBits::Count);
    for (const QString &key : MqttPublisher::statusKeys())
        QCOMPARE(lamps.value(key).toString(), on.contains(key) ? QStringLiteral("ON") : QStringLiteral("OFF"));
}

namespace {

// Home Assistant's MQTT discovery rules for what we send: the keys each
// platform knows, the units each sensor device class accepts and the state
// classes it may have.
const QSet<QString> commonKeys{"name", "unique_id", "default_entity_id", "state_topic", "availability_topic",
                               "value_template", "device", "origin", "expire_after", "device_class",
                               "entity_category"};
const QSet<QString> sensorKeys{"unit_of_measurement", "state_class", "suggested_display_precision"};
const QSet<QString> binarySensorKeys{"payload_on", "payload_off", "off_delay"};
const QSet<QString> switchKeys{"command_topic", "payload_on", "payload_off", "state_on", "state_off", "optimistic",
                               "retain", "qos"};
const QSet<QString> switchClasses{"outlet", "switch"};
const QSet<QString> deviceKeys{"identifiers", "connections", "name", "model", "model_id", "manufacturer",
                               "serial_number", "sw_version", "hw_version", "via_device", "suggested_area",
                               "configuration_url"};
const QSet<QString> originKeys{"name", "sw_version", "support_url"};
const QHash<QString, QSet<QString>> sensorUnits{
    {"voltage", {"V", "mV", "µV", "kV", "MV"}},
    {"current", {"A", "mA"}},
    {"power", {"mW", "W", "kW", "MW", "GW", "TW", "BTU/h"}},
    {"energy", {"J", "kJ", "MJ", "GJ", "mWh", "Wh", "kWh", "MWh", "GWh", "TWh", "cal", "kcal", "Mcal", "Gcal"}},
    {"temperature", {"°C", "°F", "K"}},
    {"battery", {"%"}},
};
const QHash<QString, QSet<QString>> sensorStateClasses{
    {"voltage", {"measurement"}}, {"current", {"measurement"}}, {"power", {"measurement"}},
    {"energy", {"total", "total_increasing"}}, {"temperature", {"measurement"}}, {"battery", {"measurement"}},
};
const QSet<QString> stateClasses{"measurement", "measurement_angle", "total", "total_increasing"};
const QSet<QString> binarySensorClasses{"battery", "battery_charging", "problem", "power", "plug", "running",
                                        "safety", "connectivity", "heat", "cold"};

// states: the JSON each state topic carries, by topic.
QString checkDiscovery(const QByteArray &topic, const QJsonObject &o, const QHash<QString, QJsonObject> &states)
{
    const QList<QByteArray> levels = topic.split('/');
    if (levels.size() != 5 || levels.at(4) != "config")
        return "topic is not <prefix>/<component>/<node_id>/<object_id>/config";
    const QRegularExpression idChars(QStringLiteral("^[A-Za-z0-9_-]+$"));
    if (!idChars.match(QString::fromUtf8(levels.at(2))).hasMatch()
        || !idChars.match(QString::fromUtf8(levels.at(3))).hasMatch())
        return "node_id or object_id holds characters discovery does not take";
    const QString component = QString::fromUtf8(levels.at(1));
    if (component != "sensor" && component != "binary_sensor" && component != "switch")
        return "unexpected component " + component;
    const bool sensor = component == "sensor";
    const QSet<QString> &ownKeys = sensor ? sensorKeys : component == "switch" ? switchKeys : binarySensorKeys;
    for (const QString &key : o.keys())
        if (!commonKeys.contains(key) && !ownKeys.contains(key))
            return "key not known to " + component + ": " + key;
    for (const char *key : {"name", "unique_id", "state_topic", "availability_topic", "value_template",
                            "default_entity_id"})
        if (o.value(key).toString().isEmpty())
            return QStringLiteral("no %1").arg(key);
    if (!o.value("default_entity_id").toString().startsWith(component + "."))
        return "default_entity_id not in the component's domain";
    if (!QRegularExpression("^[a-z0-9_]+\\.[a-z0-9_]+$").match(o.value("default_entity_id").toString()).hasMatch())
        return "default_entity_id is not a lower-case slug";
    if (o.value("expire_after").toInt() <= 0)
        return "no positive expire_after";
    const QJsonObject device = o.value("device").toObject();
    if (device.value("identifiers").toArray().isEmpty() || device.value("name").toString().isEmpty())
        return "device without identifiers or name";
    for (const QString &key : device.keys())
        if (!deviceKeys.contains(key))
            return "device key unknown: " + key;
    const QJsonObject origin = o.value("origin").toObject();
    if (origin.value("name").toString().isEmpty())
        return "origin without name";
    for (const QString &key : origin.keys())
        if (!originKeys.contains(key))
            return "origin key unknown: " + key;
    if (o.contains("entity_category") && o.value("entity_category") != "diagnostic"
        && o.value("entity_category") != "config")
        return "entity_category neither diagnostic nor config";
    // The template names a member the state topic's JSON carries.
    const QRegularExpressionMatch member =
        QRegularExpression("^\\{\\{ value_json\\.(\\w+) \\}\\}$").match(o.value("value_template").toString());
    if (!member.hasMatch() || !states.value(o.value("state_topic").toString()).contains(member.captured(1)))
        return "value_template names nothing the state carries";
    const QString deviceClass = o.value("device_class").toString();
    if (component == "switch") {
        if (!switchClasses.contains(deviceClass))
            return "switch device class unknown: " + deviceClass;
        if (o.value("command_topic").toString().isEmpty())
            return "a switch without a command_topic";
        if (o.value("payload_on") != "ON" || o.value("payload_off") != "OFF" || o.value("state_on") != "ON"
            || o.value("state_off") != "OFF")
            return "payloads other than ON/OFF";
        return QString();
    }
    if (!sensor) {
        if (!binarySensorClasses.contains(deviceClass))
            return "binary_sensor device class unknown: " + deviceClass;
        if (o.value("payload_on") != "ON" || o.value("payload_off") != "OFF")
            return "payloads other than ON/OFF";
        return QString();
    }
    const QString unit = o.value("unit_of_measurement").toString();
    const QString stateClass = o.value("state_class").toString();
    if (o.contains("state_class") && !stateClasses.contains(stateClass))
        return "state_class unknown: " + stateClass;
    if (!deviceClass.isEmpty()) {
        if (!sensorUnits.contains(deviceClass))
            return "sensor device class not in the table: " + deviceClass;
        if (!sensorUnits.value(deviceClass).contains(unit))
            return QStringLiteral("unit %1 not allowed with device class %2").arg(unit, deviceClass);
        if (o.contains("state_class") && !sensorStateClasses.value(deviceClass).contains(stateClass))
            return QStringLiteral("state class %1 not allowed with device class %2").arg(stateClass, deviceClass);
    }
    if (stateClass == "total_increasing" && unit.isEmpty())
        return "a counter without a unit";
    // Home Assistant takes last_reset only with state class total; a daily
    // total_increasing counter starts its new cycle by falling.
    if (o.contains("last_reset_value_template") && stateClass != "total")
        return "last_reset_value_template without state class total";
    return QString();
}

} // namespace

void TstMqttPublisher::homeAssistantRules()
{
    TestBroker broker;
    QVERIFY(broker.start());
    TestSubscriber sub;
    QVERIFY(sub.connectTo(broker.port()));
    MqttConfig c = localConfig(broker.port());
    c.discoveryPrefix = QStringLiteral("ha-test");
    c.commands = true;
    MqttPublisher pub;
    // Every entity the publisher can announce: energy today, link figures, load switch.
    pub.setExtras(MqttPublisher::EnergyTodayEntities | MqttPublisher::LinkEntities
                  | MqttPublisher::LoadSwitchEntity);
    QVERIFY(pub.start(c, 1));
    QTRY_VERIFY_WITH_TIMEOUT(pub.isConnected(), 5000);
    pub.publishSample(sample(1000));
    pub.setIdentity(identity(1, QStringLiteral("SN5")));
    QTRY_VERIFY_WITH_TIMEOUT(pub.isConnected(), 5000);
    pub.publishEnergyToday(1, 20, 10);
    pub.publishLinkFigures(1, 99.5, 0.4);
    pub.publishSample(sample(3000));
    const int expected = LiveValueCount + 3 + StatusBits::Count + 2 + 2 + 1;
    auto configs = [&] {
        QVector<ReceivedMessage> out;
        for (const ReceivedMessage &m : sub.messages())
            if (m.topic.endsWith("/config"))
                out.append(m);
        return out;
    };
    QTRY_COMPARE_WITH_TIMEOUT(configs().size(), expected, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!sub.last("solar/SN5/lamps").isEmpty() && !sub.last("solar/SN5/link").isEmpty(), 5000);
    QHash<QString, QJsonObject> states;
    for (const char *leaf : {"state", "lamps", "today", "link"})
        states.insert(QStringLiteral("solar/SN5/") + leaf,
                      QJsonDocument::fromJson(sub.last(QByteArray("solar/SN5/") + leaf)).object());
    QSet<QString> uniqueIds;
    for (const ReceivedMessage &m : configs()) {
        QVERIFY2(m.topic.startsWith("ha-test/"), m.topic.constData());
        QJsonParseError error;
        const QJsonObject o = QJsonDocument::fromJson(m.payload, &error).object();
        QVERIFY2(error.error == QJsonParseError::NoError, m.topic.constData());
        const QString broken = checkDiscovery(m.topic, o, states);
        QVERIFY2(broken.isEmpty(), qPrintable(QString::fromUtf8(m.topic) + ": " + broken));
        uniqueIds.insert(o.value("unique_id").toString());
    }
    QCOMPARE(uniqueIds.size(), expected);
    // The same configs as the publisher says it sends.
    QCOMPARE(pub.discoveryConfigs(1).size(), expected);

    // The rules catch what they are for.
    QJsonObject bad = QJsonDocument::fromJson(sub.last("ha-test/sensor/SN5/pvPower/config")).object();
    QVERIFY(checkDiscovery("ha-test/sensor/SN5/pvPower/config", bad, states).isEmpty());
    bad.insert("unit_of_measurement", "kWh");
    QVERIFY(!checkDiscovery("ha-test/sensor/SN5/pvPower/config", bad, states).isEmpty());
    bad = QJsonDocument::fromJson(sub.last("ha-test/sensor/SN5/generatedEnergyTotal/config")).object();
    bad.insert("state_class", "measurement");
    QVERIFY(!checkDiscovery("ha-test/sensor/SN5/generatedEnergyTotal/config", bad, states).isEmpty());
    bad = QJsonDocument::fromJson(sub.last("ha-test/sensor/SN5/generatedEnergyToday/config")).object();
    QVERIFY(checkDiscovery("ha-test/sensor/SN5/generatedEnergyToday/config", bad, states).isEmpty());
    bad.insert("last_reset_value_template", "{{ value_json.since }}");
    QVERIFY(!checkDiscovery("ha-test/sensor/SN5/generatedEnergyToday/config", bad, states).isEmpty());
    bad = QJsonDocument::fromJson(sub.last("ha-test/switch/SN5/loadSwitch/config")).object();
    QVERIFY(checkDiscovery("ha-test/switch/SN5/loadSwitch/config", bad, states).isEmpty());
    bad.remove("command_topic");
    QVERIFY(!checkDiscovery("ha-test/switch/SN5/loadSwitch/config", bad, states).isEmpty());
}

void TstMqttPublisher::birthMessage()
{
    TestBroker broker;
    QVERIFY(broker.start());
    TestSubscriber ha;
    QVERIFY(ha.connectTo(broker.port()));
    MqttPublisher pub;
    QVERIFY(pub.start(localConfig(broker.port()), 1));
    QTRY_VERIFY_WITH_TIMEOUT(pub.isConnected(), 5000);
    pub.publishSample(sample(1000));
    pub.publishSample(sample(2000));
    QTRY_VERIFY_WITH_TIMEOUT(!ha.last("solar/addr1/state").isEmpty(), 5000);
    const int perDevice = LiveValueCount + 3 + StatusBits::Count;
    // + online, and two states with their lamps
    QTRY_COMPARE_WITH_TIMEOUT(ha.messages().size(), perDevice + 5, 5000);

    // Home Assistant going away says nothing to answer; coming back does.
    QVERIFY(ha.publish("homeassistant/status", "offline"));
    QTest::qWait(300);
    ha.clear();
    QElapsedTimer since;
    since.start();
    QVERIFY(ha.publish("homeassistant/status", "online"));
    auto configs = [&] {
        int n = 0;
        for (const ReceivedMessage &m : ha.messages())
            n += m.topic.startsWith("homeassistant/") && m.topic.endsWith("/config");
        return n;
    };
    QTRY_VERIFY_WITH_TIMEOUT(configs() == perDevice && !ha.last("solar/addr1/state").isEmpty(), 6000);
    QVERIFY(since.elapsed() <= 6000);
    QCOMPARE(ha.last("solar/addr1/state"), json(sample(2000)));
    QCOMPARE(ha.last("solar/addr1/availability"), QByteArray("online"));
    QVERIFY(!ha.last("solar/addr1/lamps").isEmpty());

    // A retained "online" is an old one, met at every subscribe: no answer.
    QVERIFY(ha.publish("homeassistant/status", "online", true));
    pub.stop();
    pub.setBirthDelayMax(0);
    QTest::qWait(300);
    ha.clear();
    QVERIFY(pub.start(localConfig(broker.port()), 1));
    pub.publishSample(sample(3000));
    pub.publishSample(sample(4000));
    QTRY_COMPARE_WITH_TIMEOUT(configs(), perDevice, 5000);
    QTest::qWait(500);
    QCOMPARE(configs(), perDevice);
}

namespace {

// A CA, a server certificate for 127.0.0.1 and a client certificate, made
// with openssl in dir.
bool makeCertificates(const QTemporaryDir &dir)
{
    auto run = [&](const QStringList &args) {
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("openssl"), args);
        return p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    };
    QFile ext(dir.filePath(QStringLiteral("server.ext")));
    if (!ext.open(QIODevice::WriteOnly) || ext.write("subjectAltName=IP:127.0.0.1\n") <= 0)
        return false;
    ext.close();
    const QStringList ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    return run(QStringList{"req", "-x509"} + ec + QStringList{"-keyout", "ca.key", "-out", "ca.pem", "-days", "2",
                                                              "-subj", "/CN=test-ca"})
           && run(QStringList{"req"} + ec + QStringList{"-keyout", "server.key", "-out", "server.csr",
                                                        "-subj", "/CN=127.0.0.1"})
           && run({"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
                   "-out", "server.pem", "-days", "2", "-extfile", "server.ext"})
           && run(QStringList{"req"} + ec + QStringList{"-keyout", "client.key", "-out", "client.csr",
                                                        "-subj", "/CN=solar"})
           && run({"x509", "-req", "-in", "client.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
                   "-out", "client.pem", "-days", "2"});
}

} // namespace

void TstMqttPublisher::clientCertificate()
{
    QTemporaryDir dir;
    QVERIFY(makeCertificates(dir));
    TestBroker broker;
    broker.requireClientCertificates(dir.filePath("ca.pem"), dir.filePath("server.pem"), dir.filePath("server.key"));
    QVERIFY2(broker.start(), qPrintable(broker.log()));
    MqttConfig c = localConfig(broker.port());
    c.caFile = dir.filePath("ca.pem");
    c.certFile = dir.filePath("client.pem");
    c.keyFile = dir.filePath("client.key");
    MqttPublisher pub;
    QVERIFY2(pub.start(c, 1), qPrintable(pub.errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(pub.isConnected(), 5000);
    pub.stop();

    // Without the certificate the broker takes no one.
    MqttConfig without = c;
    without.certFile.clear();
    without.keyFile.clear();
    MqttPublisher refused;
    QVERIFY(refused.start(without, 1));
    QTRY_COMPARE_WITH_TIMEOUT(refused.linkStatus().state, MqttLinkStatus::Failed, 5000);
    QVERIFY(!refused.isConnected());

    // A certificate without its key, or a key that cannot be read, is not started with.
    MqttConfig half = c;
    half.keyFile.clear();
    MqttPublisher bad;
    QVERIFY(!bad.start(half, 1));
    QVERIFY2(bad.errorString().contains(QLatin1String("key_file")), qPrintable(bad.errorString()));
    half.keyFile = dir.filePath("missing.key");
    QVERIFY(!bad.start(half, 1));
    QVERIFY(bad.errorString().contains(QLatin1String("missing.key")));
}

void TstMqttPublisher::config()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[MQTT]\nenabled=1\nhost=broker.lan\nclient_id=roof\nusername=u\npassword=p,w\n"
            "ca_file=/etc/ca.pem\ncert_file=/etc/c.pem\nkey_file=/etc/k.pem\ntopic_prefix=home/solar\nqos=1\n"
            "retain=true\ndiscovery_prefix=ha\n");
    f.close();
    MqttConfig c = readMqttConfig(ConfigFile(path));
    QVERIFY(c.enabled);
    QCOMPARE(c.host, QStringLiteral("broker.lan"));
    QCOMPARE(c.port, 8883);   // TLS without a port
    QCOMPARE(c.clientId, QStringLiteral("roof"));
    QCOMPARE(c.password, QStringLiteral("p,w"));
    QCOMPARE(c.topicPrefix, QStringLiteral("home/solar"));
    QCOMPARE(c.certFile, QStringLiteral("/etc/c.pem"));
    QCOMPARE(c.keyFile, QStringLiteral("/etc/k.pem"));
    QCOMPARE(c.discoveryPrefix, QStringLiteral("ha"));
    QCOMPARE(c.qos, 1);
    QVERIFY(c.retain);
    QVERIFY(f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));
    c = readMqttConfig(ConfigFile(path));
    QCOMPARE(c.warnings.size(), 1);
    QVERIFY2(c.warnings.at(0).contains(path) && c.warnings.at(0).contains(QLatin1String("password")),
             qPrintable(c.warnings.at(0)));
    QVERIFY(f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    QVERIFY(readMqttConfig(ConfigFile(path)).warnings.isEmpty());

    c = readMqttConfig(ConfigFile(dir.filePath(QStringLiteral("none.ini"))));
    QVERIFY(!c.enabled);
    QCOMPARE(c.port, 1883);
    QCOMPARE(c.topicPrefix, QStringLiteral("solar"));
    QCOMPARE(c.qos, 0);
}

QTEST_GUILESS_MAIN(TstMqttPublisher)
#include "tst_mqtt_publisher.moc"
