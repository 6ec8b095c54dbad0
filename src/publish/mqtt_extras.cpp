// The publisher's optional entities: energy today, the link figures and the
// load switch. Each is announced only when the program feeds it (setExtras),
// so a publisher without them sends exactly the live-value entities.
#include "mqtt_publisher.h"

#include <QJsonDocument>
#include <utility>
#include <mosquitto.h>

namespace {

constexpr const char *generatedTodayKey = "generatedEnergyToday";
constexpr const char *consumedTodayKey = "consumedEnergyToday";
constexpr const char *answerRateKey = "answerRate";
constexpr const char *timeoutsKey = "timeoutsPerMinute";
constexpr const char *loadSwitchKey = "loadSwitch";

// A command is a word; anything longer is not one of ours.
constexpr int MaxCommandBytes = 16;

void appendNumber(QByteArray &out, double value, int decimals)
{
    out += QByteArray::number(value, 'f', decimals);
}

} // namespace

void MqttPublisher::addExtraConfigs(QVector<Discovery> &out, const Device &d) const
{
    auto sensor = [&](const char *leaf, const char *key, const QString &name, const char *unit) {
        QJsonObject *o = addEntity(out, d, "sensor", QLatin1String(key), name, topic(d.name, leaf),
                                   QStringLiteral("{{ value_json.%1 }}").arg(QLatin1String(key)));
        o->insert(QStringLiteral("unit_of_measurement"), QLatin1String(unit));
        return o;
    };
    if (m_extras & EnergyTodayEntities) {
        // A daily counter: its fall at midnight starts Home Assistant's new meter cycle.
        for (const auto &e : {std::make_pair(generatedTodayKey, "Generated energy today"),
                              std::make_pair(consumedTodayKey, "Consumed energy today")}) {
            QJsonObject *o = sensor("today", e.first, QLatin1String(e.second), "kWh");
            o->insert(QStringLiteral("device_class"), QStringLiteral("energy"));
            o->insert(QStringLiteral("state_class"), QStringLiteral("total_increasing"));
        }
    }
    if (m_extras & LinkEntities) {
        // Each filled in before the next is added: an append may move the others.
        for (const auto &e : {std::make_pair(answerRateKey, std::make_pair("Answer rate", "%")),
                              std::make_pair(timeoutsKey, std::make_pair("Timeouts per minute", "1/min"))}) {
            QJsonObject *o = sensor("link", e.first, QLatin1String(e.second.first), e.second.second);
            o->insert(QStringLiteral("state_class"), QStringLiteral("measurement"));
            o->insert(QStringLiteral("entity_category"), QStringLiteral("diagnostic"));
        }
    }
    if (commandsEnabled()) {
        // The switch shows the load as the lamps report it, not as last commanded.
        QJsonObject *o = addEntity(out, d, "switch", QLatin1String(loadSwitchKey), QStringLiteral("Load switch"),
                                   topic(d.name, "lamps"), QStringLiteral("{{ value_json.load }}"));
        o->insert(QStringLiteral("command_topic"), QString::fromUtf8(topic(d.name, "load/set")));
        o->insert(QStringLiteral("payload_on"), QStringLiteral("ON"));
        o->insert(QStringLiteral("payload_off"), QStringLiteral("OFF"));
        o->insert(QStringLiteral("state_on"), QStringLiteral("ON"));
        o->insert(QStringLiteral("state_off"), QStringLiteral("OFF"));
        o->insert(QStringLiteral("device_class"), QStringLiteral("switch"));
    }
}

QVector<QByteArray> MqttPublisher::extraConfigTopics(const QString &name) const
{
    QVector<QByteArray> out;
    auto add = [&](const char *component, const char *key) {
        out.append((m_config.discoveryPrefix + QLatin1Char('/') + QLatin1String(component) + QLatin1Char('/') + name
                    + QLatin1Char('/') + QLatin1String(key) + QStringLiteral("/config"))
                       .toUtf8());
    };
    if (m_extras & EnergyTodayEntities) {
        add("sensor", generatedTodayKey);
        add("sensor", consumedTodayKey);
    }
    if (m_extras & LinkEntities) {
        add("sensor", answerRateKey);
        add("sensor", timeoutsKey);
    }
    if (commandsEnabled())
        add("switch", loadSwitchKey);
    return out;
}

void MqttPublisher::sendExtras(const Device &d)
{
    if (!d.announced || !m_connected)
        return;
    if (!d.today.isEmpty())
        publish(topic(d.name, "today"), d.today, m_config.qos, m_config.retain);
    if (!d.link.isEmpty())
        publish(topic(d.name, "link"), d.link, m_config.qos, m_config.retain);
}

void MqttPublisher::publishEnergyToday(int address, double generatedKwh, double consumedKwh)
{
    if (!m_mosq || !(m_extras & EnergyTodayEntities))
        return;
    Device &d = device(address);
    QByteArray &out = d.today;
    out.clear();
    out += "{\"";
    out += generatedTodayKey;
    out += "\":";
    appendNumber(out, generatedKwh, 0);
    out += ",\"";
    out += consumedTodayKey;
    out += "\":";
    appendNumber(out, consumedKwh, 0);
    out += '}';
    // Only the newest figure matters: it waits for the announcement, not in the queue.
    if (d.announced && m_connected)
        publish(topic(d.name, "today"), out, m_config.qos, m_config.retain);
}

void MqttPublisher::publishLinkFigures(int address, double answerRatePercent, double timeoutsPerMinute)
{
    if (!m_mosq || !(m_extras & LinkEntities))
        return;
    Device &d = device(address);
    QByteArray &out = d.link;
    out.clear();
    out += "{\"";
    out += answerRateKey;
    out += "\":";
    appendNumber(out, answerRatePercent, 1);
    out += ",\"";
    out += timeoutsKey;
    out += "\":";
    appendNumber(out, timeoutsPerMinute, 1);
    out += '}';
    if (d.announced && m_connected)
        publish(topic(d.name, "link"), out, m_config.qos, m_config.retain);
}

void MqttPublisher::subscribeCommands()
{
    if (!commandsEnabled() || !m_mosq)
        return;
    const QByteArray filter = (m_config.topicPrefix + QStringLiteral("/+/load/set")).toUtf8();
    mosquitto_subscribe(m_mosq, nullptr, filter.constData(), 1);
}

void MqttPublisher::handleCommand(const QByteArray &t, const QByteArray &payload)
{
    if (!commandsEnabled())
        return;
    // <prefix>/<device>/load/set: only a device announced under that name is ours.
    const QByteArray prefix = (m_config.topicPrefix + QLatin1Char('/')).toUtf8();
    const QString name = QString::fromUtf8(t.mid(prefix.size(), t.size() - prefix.size() - 9));
    int address = -1;
    for (auto it = m_devices.constBegin(); it != m_devices.constEnd(); ++it)
        if (it->released && it->name == name)
            address = it.key();
    if (address < 0)
        return;
    const QByteArray word = payload.size() <= MaxCommandBytes ? payload.trimmed().toUpper() : QByteArray();
    if (word != "ON" && word != "OFF") {
        QByteArray answer("{\"result\":\"refused\",\"reason\":\"not ON or OFF\"}");
        publish(topic(name, "load/result"), answer, qMax(1, m_config.qos), false);
        return;
    }
    emit loadSwitchRequested(address, word == "ON");
}

void MqttPublisher::answerLoadSwitch(int address, bool on, CommandResult result, const QString &reason)
{
    if (!m_mosq)
        return;
    const Device &d = device(address);
    QJsonObject answer{{QStringLiteral("command"), on ? QStringLiteral("ON") : QStringLiteral("OFF")}};
    switch (result) {
    case CommandResult::Done:
        answer.insert(QStringLiteral("result"), QStringLiteral("done"));
        break;
    case CommandResult::Refused:
        answer.insert(QStringLiteral("result"), QStringLiteral("refused"));
        answer.insert(QStringLiteral("reason"), reason);
        break;
    case CommandResult::LinkDown:
        answer.insert(QStringLiteral("result"), QStringLiteral("link down"));
        break;
    }
    publish(topic(d.name, "load/result"), QJsonDocument(answer).toJson(QJsonDocument::Compact),
            qMax(1, m_config.qos), false);
}
