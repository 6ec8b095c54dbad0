#include "bus_bridge.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <mosquitto.h>

namespace {

// Topic levels and entity ids take letters, digits and underscores only.
QString slugOf(const QString &text)
{
    QString out;
    for (const QChar c : text)
        out += c.isLetterOrNumber() ? c : QLatin1Char('_');
    return out;
}

QString clientBase(const MqttConfig &config)
{
    return config.clientId.isEmpty()
               ? QStringLiteral("solar-logger-%1").arg(QCoreApplication::applicationPid())
               : config.clientId;
}

} // namespace

BusBridge::BusBridge(const MqttConfig &config, const QString &line)
    : config_(config), line_(line), name_(QStringLiteral("bridge_") + slugOf(line))
{
}

BusBridge::~BusBridge()
{
    stop();
}

QByteArray BusBridge::availabilityTopic() const
{
    return (config_.topicPrefix + QLatin1Char('/') + name_ + QStringLiteral("/availability")).toUtf8();
}

// One broker connection per controller: a client id of its own each, or
// the broker would throw one out for the next.
MqttConfig BusBridge::deviceConfig(int address) const
{
    MqttConfig c = config_;
    c.clientId = clientBase(config_) + QStringLiteral("-addr%1").arg(address);
    c.viaDevice = identifier();
    c.bridgeAvailability = QString::fromUtf8(availabilityTopic());
    return c;
}

bool BusBridge::start()
{
    const QByteArray id = (clientBase(config_) + QStringLiteral("-bridge")).toUtf8();
    mosq_ = mosquitto_new(id.constData(), true, this);
    if (!mosq_) {
        error_ = QStringLiteral("MQTT: the bridge's client cannot be created");
        return false;
    }
    if (!config_.username.isEmpty())
        mosquitto_username_pw_set(mosq_, config_.username.toUtf8().constData(),
                                  config_.password.isEmpty() ? nullptr : config_.password.toUtf8().constData());
    if (!config_.caFile.isEmpty()
        && mosquitto_tls_set(mosq_, QFile::encodeName(config_.caFile).constData(), nullptr,
                             config_.certFile.isEmpty() ? nullptr : QFile::encodeName(config_.certFile).constData(),
                             config_.keyFile.isEmpty() ? nullptr : QFile::encodeName(config_.keyFile).constData(),
                             nullptr) != MOSQ_ERR_SUCCESS) {
        error_ = QStringLiteral("MQTT: the bridge's TLS setup failed");
        return false;
    }
    const QByteArray will = availabilityTopic();
    mosquitto_will_set(mosq_, will.constData(), 7, "offline", qMax(1, config_.qos), true);
    mosquitto_connect_callback_set(mosq_, &BusBridge::onConnect);
    mosquitto_reconnect_delay_set(mosq_, 1, 60, true);
    // Not reachable yet is no failure: the network loop keeps trying.
    mosquitto_connect_async(mosq_, config_.host.toUtf8().constData(), config_.port, 30);
    if (mosquitto_loop_start(mosq_) != MOSQ_ERR_SUCCESS) {
        error_ = QStringLiteral("MQTT: the bridge's network thread cannot start");
        return false;
    }
    return true;
}

void BusBridge::stop()
{
    if (!mosq_)
        return;
    const QByteArray topic = availabilityTopic();
    mosquitto_publish(mosq_, nullptr, topic.constData(), 7, "offline", qMax(1, config_.qos), true);
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, false);
    mosquitto_destroy(mosq_);
    mosq_ = nullptr;
}

// On the network thread, at every (re)connection.
void BusBridge::onConnect(mosquitto *, void *self, int rc)
{
    if (rc == 0)
        static_cast<BusBridge *>(self)->announce();
}

// A connectivity sensor makes the line a device of its own in Home
// Assistant; it shows whether the logger is there.
void BusBridge::announce()
{
    const QByteArray availability = availabilityTopic();
    const QJsonObject config{
        {QStringLiteral("name"), QStringLiteral("Line")},
        {QStringLiteral("unique_id"), name_ + QStringLiteral("_connectivity")},
        {QStringLiteral("state_topic"), QString::fromUtf8(availability)},
        {QStringLiteral("payload_on"), QStringLiteral("online")},
        {QStringLiteral("payload_off"), QStringLiteral("offline")},
        {QStringLiteral("device_class"), QStringLiteral("connectivity")},
        {QStringLiteral("entity_category"), QStringLiteral("diagnostic")},
        {QStringLiteral("device"),
         QJsonObject{{QStringLiteral("identifiers"), QJsonArray{identifier()}},
                     {QStringLiteral("name"), QStringLiteral("Solar bus %1").arg(line_)},
                     {QStringLiteral("model"), QStringLiteral("solar-logger")},
                     {QStringLiteral("sw_version"), QCoreApplication::applicationVersion()}}},
    };
    const QByteArray topic = (config_.discoveryPrefix + QStringLiteral("/binary_sensor/") + name_
                              + QStringLiteral("/connectivity/config")).toUtf8();
    const QByteArray payload = QJsonDocument(config).toJson(QJsonDocument::Compact);
    const int qos = qMax(1, config_.qos);
    mosquitto_publish(mosq_, nullptr, topic.constData(), payload.size(), payload.constData(), qos, true);
    mosquitto_publish(mosq_, nullptr, availability.constData(), 6, "online", qos, true);
}
