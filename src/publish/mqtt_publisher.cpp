#include "mqtt_publisher.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaObject>
#include <QDeadlineTimer>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mosquitto.h>
#include <mutex>
#include <system_error>
#include <thread>

#include "config_file.h"

namespace {

constexpr int KeepAliveSeconds = 30;

// "pvVoltage" -> "PV voltage", "batteryCapacity" -> "Battery capacity".
QString entityName(const char *key)
{
    QString name;
    for (const char *c = key; *c; ++c) {
        if (*c >= 'A' && *c <= 'Z') {
            name += QLatin1Char(' ');
            name += QLatin1Char(char(*c - 'A' + 'a'));
        } else {
            name += QLatin1Char(*c);
        }
    }
    if (name.startsWith(QLatin1String("pv ")))
        name.replace(0, 2, QStringLiteral("PV"));
    if (name.endsWith(QLatin1String(" text")))
        name.chop(5);
    name[0] = name.at(0).toUpper();
    return name;
}

// Topic levels may not hold wildcards or separators.
QString topicSafe(const QString &text)
{
    QString out;
    for (const QChar c : text.trimmed()) {
        const bool plain = (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
                           || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
                           || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-')
                           || c == QLatin1Char('_');
        out += plain ? c : QLatin1Char('_');
    }
    return out;
}

QString tr(const char *text, const char *disambiguation = nullptr, int n = -1)
{
    return QCoreApplication::translate("MqttPublisher", text, disambiguation, n);
}

} // namespace

MqttConfig readMqttConfig(const ConfigFile &config)
{
    MqttConfig c;
    c.enabled = config.boolValue(QStringLiteral("mqtt/enabled"), false);
    const QString host = config.value(QStringLiteral("mqtt/host")).trimmed();
    if (!host.isEmpty())
        c.host = host;
    c.caFile = config.value(QStringLiteral("mqtt/ca_file")).trimmed();
    const int port = config.intValue(QStringLiteral("mqtt/port"));
    c.port = port > 0 && port < 65536 ? port : (c.caFile.isEmpty() ? 1883 : 8883);
    c.clientId = config.value(QStringLiteral("mqtt/client_id")).trimmed();
    c.username = config.value(QStringLiteral("mqtt/username"));
    c.password = config.value(QStringLiteral("mqtt/password"));
    const QString prefix = config.value(QStringLiteral("mqtt/topic_prefix")).trimmed();
    if (!prefix.isEmpty())
        c.topicPrefix = prefix;
    const QString discovery = config.value(QStringLiteral("mqtt/discovery_prefix")).trimmed();
    if (!discovery.isEmpty())
        c.discoveryPrefix = discovery;
    c.qos = qBound(0, config.intValue(QStringLiteral("mqtt/qos")), 2);
    c.retain = config.boolValue(QStringLiteral("mqtt/retain"), false);
    return c;
}

struct MqttPublisher::Attempt
{
    bool wasConnected = false;   // the broker had taken us on this attempt
    int connack = -1;            // the broker's answer to CONNECT; -1: none came
    int rc = MOSQ_ERR_SUCCESS;
    int err = 0;                 // errno for MOSQ_ERR_ERRNO
    QString tlsError;
    int retrySeconds = 0;
};

// The network thread and what it shares with the publisher. Only the quit
// flag and the delays are written from the publisher's side while it runs.
struct MqttPublisher::Network
{
    MqttPublisher *owner = nullptr;
    quint64 id = 0;
    mosquitto *mosq = nullptr;
    QByteArray host;
    int port = 0;
    std::atomic<int> minDelay{1};
    std::atomic<int> maxDelay{60};
    std::mutex mutex;
    std::condition_variable wake;
    std::atomic<bool> quit{false};
    std::thread thread;
    // Network thread only.
    int connack = -1;
    QString tlsError;

    void run();
    void requestQuit()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            quit = true;
        }
        wake.notify_all();
    }
    template <typename F> void post(F f)
    {
        MqttPublisher *p = owner;
        const quint64 mine = id;
        QMetaObject::invokeMethod(p, [p, mine, f] {
            if (p->m_net && p->m_net->id == mine)   // events of a stopped thread are stale
                f(p);
        }, Qt::QueuedConnection);
    }

    static void onConnect(mosquitto *, void *self, int rc)
    {
        auto *net = static_cast<Network *>(self);
        net->connack = rc;
        if (rc == 0)
            net->post([](MqttPublisher *p) { p->handleConnected(); });
    }
    static void onLog(mosquitto *, void *self, int level, const char *text)
    {
        // libmosquitto says why a TLS handshake failed only in its log.
        if (level != MOSQ_LOG_ERR || !text || qstrncmp(text, "OpenSSL Error", 13) != 0)
            return;
        auto *net = static_cast<Network *>(self);
        const QString line = QString::fromUtf8(text);
        const int colon = line.indexOf(QLatin1String(": "));
        net->tlsError = colon > 0 ? line.mid(colon + 2) : line;
    }
};

void MqttPublisher::Network::run()
{
    int delay = minDelay;
    while (!quit) {
        connack = -1;
        tlsError.clear();
        errno = 0;
        // Resolving the name blocks here; the TCP connect and TLS go on in the loop.
        int rc = mosquitto_connect_async(mosq, host.constData(), port, KeepAliveSeconds);
        int err = errno;
        if (rc == MOSQ_ERR_SUCCESS) {
            QDeadlineTimer closing(QDeadlineTimer::Forever);
            for (;;) {
                rc = mosquitto_loop(mosq, 100, 1);
                err = errno;
                if (rc != MOSQ_ERR_SUCCESS)
                    break;
                if (quit) {
                    // Up: let the "offline" and DISCONNECT out, briefly.
                    if (connack != 0)
                        break;
                    if (closing.isForever())
                        closing.setRemainingTime(2000);
                    else if (closing.hasExpired())
                        break;
                }
            }
        }
        if (quit)
            break;
        if (connack == 0)
            delay = minDelay;   // a lost connection starts the backoff afresh
        Attempt a;
        a.wasConnected = connack == 0;
        a.connack = connack;
        a.rc = rc;
        a.err = err;
        a.tlsError = tlsError;
        a.retrySeconds = delay;
        post([a](MqttPublisher *p) { p->handleAttemptEnded(a); });
        std::unique_lock<std::mutex> lock(mutex);
        if (wake.wait_for(lock, std::chrono::seconds(delay), [this] { return bool(quit); }))
            break;
        delay = qMin(delay * 2, int(maxDelay));
    }
}

MqttPublisher::MqttPublisher(QObject *parent) : QObject(parent)
{
    static const int initialised = mosquitto_lib_init();
    Q_UNUSED(initialised)
    qRegisterMetaType<MqttLinkStatus>();
}

MqttPublisher::~MqttPublisher()
{
    stop();
}

QString MqttPublisher::endpoint() const
{
    return QStringLiteral("%1:%2").arg(m_config.host).arg(m_config.port);
}

void MqttPublisher::reportError(const QString &text)
{
    if (text == m_error)
        return;
    m_error = text;
    emit errorOccurred(text);
}

void MqttPublisher::setLink(const MqttLinkStatus &status)
{
    // Attempts that end as the one before them change nothing worth a word.
    if (status.state == m_link.state && status.reason == m_link.reason)
        return;
    m_link = status;
    if (status.state == MqttLinkStatus::Failed || status.state == MqttLinkStatus::Lost)
        reportError(status.text);
    emit linkChanged(m_link);
}

void MqttPublisher::setQueueLimit(int messages)
{
    m_queueLimit = qMax(1, messages);
    while (int(m_queue.size()) > m_queueLimit) {
        m_queue.pop_front();
        ++m_dropped;
    }
}

void MqttPublisher::setReconnectDelays(int minSeconds, int maxSeconds)
{
    m_reconnectMin = qMax(1, minSeconds);
    m_reconnectMax = qMax(m_reconnectMin, maxSeconds);
    if (m_net) {
        m_net->minDelay = m_reconnectMin;
        m_net->maxDelay = m_reconnectMax;
    }
}

bool MqttPublisher::start(const MqttConfig &config, int address)
{
    stop();
    m_config = config;
    m_willAddress = address;
    m_error.clear();
    if (!config.caFile.isEmpty() && !QFileInfo(config.caFile).isReadable()) {
        reportError(tr("MQTT: the CA file %1 cannot be read").arg(config.caFile));
        return false;
    }
    const QByteArray clientId = config.clientId.isEmpty()
                                    ? QByteArray("solar-monitor-") + QByteArray::number(QCoreApplication::applicationPid())
                                    : config.clientId.toUtf8();
    m_mosq = mosquitto_new(clientId.constData(), true, nullptr);
    if (!m_mosq) {
        reportError(tr("MQTT: the client cannot be created"));
        return false;
    }
    mosquitto_threaded_set(m_mosq, true);
    mosquitto_connect_callback_set(m_mosq, &Network::onConnect);
    mosquitto_log_callback_set(m_mosq, &Network::onLog);
    if (!config.username.isEmpty())
        mosquitto_username_pw_set(m_mosq, config.username.toUtf8().constData(),
                                  config.password.isEmpty() ? nullptr : config.password.toUtf8().constData());
    if (!config.caFile.isEmpty()) {
        const int rc = mosquitto_tls_set(m_mosq, QFile::encodeName(config.caFile).constData(), nullptr,
                                         nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            reportError(tr("MQTT: TLS with CA file %1 cannot be set up: %2")
                            .arg(config.caFile, QString::fromUtf8(mosquitto_strerror(rc))));
            stop();
            return false;
        }
    }
    device(address);
    MqttLinkStatus connecting;
    connecting.state = MqttLinkStatus::Connecting;
    connecting.text = tr("MQTT: connecting to %1").arg(endpoint());
    setLink(connecting);
    return connectClient();
}

bool MqttPublisher::connectClient()
{
    const Device &willDevice = device(m_willAddress);
    const QByteArray willTopic = topic(willDevice.name, "availability");
    mosquitto_will_set(m_mosq, willTopic.constData(), 7, "offline", qMax(1, m_config.qos), true);
    static quint64 lastId = 0;
    m_net.reset(new Network);
    m_net->owner = this;
    m_net->id = ++lastId;
    m_net->mosq = m_mosq;
    m_net->host = m_config.host.toUtf8();
    m_net->port = m_config.port;
    m_net->minDelay = m_reconnectMin;
    m_net->maxDelay = m_reconnectMax;
    mosquitto_user_data_set(m_mosq, m_net.get());
    try {
        m_net->thread = std::thread([net = m_net.get()] { net->run(); });
    } catch (const std::system_error &e) {
        m_net.reset();
        reportError(tr("MQTT: the network thread cannot start: %1").arg(QString::fromLocal8Bit(e.what())));
        return false;
    }
    return true;
}

// Ends the network thread; with sayOffline, a connected client first says
// "offline" for every device.
void MqttPublisher::stopNetwork(bool sayOffline)
{
    if (!m_net)
        return;
    if (m_connected) {
        if (sayOffline) {
            for (Device &d : m_devices)
                publish(topic(d.name, "availability"), "offline", qMax(1, m_config.qos), true);
        }
        mosquitto_disconnect(m_mosq);
    }
    m_net->requestQuit();
    if (m_net->thread.joinable())
        m_net->thread.join();
    m_net.reset();   // what it still posted is stale now
    m_connected = false;
    for (Device &d : m_devices)
        d.announced = false;
}

void MqttPublisher::stop()
{
    if (!m_mosq)
        return;
    const bool was = m_connected;
    stopNetwork(true);
    mosquitto_destroy(m_mosq);
    m_mosq = nullptr;
    m_link = MqttLinkStatus();
    if (was)
        emit connectedChanged(false);
}

void MqttPublisher::handleConnected()
{
    if (!m_mosq)
        return;
    m_connected = true;
    m_error.clear();
    for (const QString &name : qAsConst(m_staleNames))
        withdraw(name);
    m_staleNames.clear();
    for (Device &d : m_devices) {
        d.announced = false;
        announce(d);
    }
    while (!m_queue.empty() && m_connected) {
        const Message &m = m_queue.front();
        if (!publish(m.topic, m.payload, m_config.qos, m_config.retain))
            break;
        m_queue.pop_front();
    }
    MqttLinkStatus up;
    up.state = MqttLinkStatus::Connected;
    up.text = tr("MQTT: connected to %1, publishing under %2/%3")
                  .arg(endpoint(), m_config.topicPrefix, deviceName(m_willAddress));
    setLink(up);
    emit connectedChanged(true);
}

void MqttPublisher::handleAttemptEnded(const Attempt &a)
{
    const bool was = m_connected;
    m_connected = false;
    for (Device &d : m_devices)
        d.announced = false;

    MqttLinkStatus s;
    s.retrySeconds = a.retrySeconds;
    const bool tls = a.rc == MOSQ_ERR_TLS || !a.tlsError.isEmpty();
    if (a.connack > 0) {
        s.refused = true;
        switch (a.connack) {
        case 4:
            s.reason = tr("bad user name or password");
            break;
        case 5:
            s.reason = tr("not authorised");
            break;
        default:
            s.reason = QString::fromUtf8(mosquitto_connack_string(a.connack));
        }
    } else if (tls) {
        s.reason = a.tlsError.isEmpty() ? tr("the TLS handshake failed") : a.tlsError;
    } else if (a.rc == MOSQ_ERR_EAI) {
        s.reason = tr("host name not found");
    } else if (a.rc == MOSQ_ERR_ERRNO && a.err != 0) {
        s.reason = QString::fromLocal8Bit(std::strerror(a.err));
    } else if (a.rc == MOSQ_ERR_KEEPALIVE) {
        s.reason = tr("no answer in time");
    } else if (a.rc == MOSQ_ERR_CONN_LOST) {
        s.reason = tr("closed by the broker");
    } else {
        s.reason = QString::fromUtf8(mosquitto_strerror(a.rc));
        if (s.reason.endsWith(QLatin1Char('.')))
            s.reason.chop(1);
    }
    const QString retry = tr("retrying in %n s", nullptr, a.retrySeconds);
    if (a.wasConnected) {
        s.state = MqttLinkStatus::Lost;
        s.text = tr("MQTT: connection to %1 lost (%2); %3").arg(endpoint(), s.reason, retry);
    } else {
        s.state = MqttLinkStatus::Failed;
        if (s.refused)
            s.text = tr("MQTT: broker %1 refused the connection: %2; %3").arg(endpoint(), s.reason, retry);
        else if (tls)
            s.text = tr("MQTT: TLS with %1 failed (CA file %2): %3; %4")
                         .arg(endpoint(), m_config.caFile, s.reason, retry);
        else
            s.text = tr("MQTT: cannot connect to %1: %2; %3").arg(endpoint(), s.reason, retry);
    }
    setLink(s);
    if (was)
        emit connectedChanged(false);
}

QByteArray MqttPublisher::topic(const QString &name, const char *leaf) const
{
    return (m_config.topicPrefix + QLatin1Char('/') + name + QLatin1Char('/') + QLatin1String(leaf))
        .toUtf8();
}

MqttPublisher::Device &MqttPublisher::device(int address)
{
    auto it = m_devices.find(address);
    if (it == m_devices.end()) {
        Device d;
        d.identity.address = address;
        d.name = QStringLiteral("addr%1").arg(address);
        d.stateTopic = topic(d.name, "state");
        it = m_devices.insert(address, d);
    }
    return *it;
}

QString MqttPublisher::deviceName(int address) const
{
    const auto it = m_devices.constFind(address);
    return it != m_devices.constEnd() ? it->name : QStringLiteral("addr%1").arg(address);
}

void MqttPublisher::setIdentity(const DeviceIdentity &identity)
{
    Device &d = device(identity.address);
    const QString serial = topicSafe(identity.serialNumber);
    const QString name = serial.isEmpty() ? QStringLiteral("addr%1").arg(identity.address) : serial;
    const bool renamed = name != d.name;
    if (renamed && m_connected)
        withdraw(d.name);
    else if (renamed && m_mosq)
        m_staleNames.append(d.name);   // removed once connected
    d.identity = identity;
    d.name = name;
    d.stateTopic = topic(name, "state");
    d.announced = false;
    if (!m_mosq)
        return;
    if (renamed && identity.address == m_willAddress) {
        // The last will is fixed at connect time: reconnect so it names the new topic.
        const bool wasConnected = m_connected;
        stopNetwork(false);
        if (wasConnected)
            emit connectedChanged(false);
        connectClient();
        return;
    }
    announce(d);
}

void MqttPublisher::withdraw(const QString &name)
{
    // Empty retained payloads remove the old entities and availability.
    auto remove = [this](const QByteArray &t) { publish(t, QByteArray(), qMax(1, m_config.qos), true); };
    const QString base = m_config.discoveryPrefix + QStringLiteral("/sensor/") + name + QLatin1Char('/');
    for (const LiveField &field : liveFields)
        remove((base + QLatin1String(field.key) + QStringLiteral("/config")).toUtf8());
    for (const char *key : {chargeStageKey, pvStateKey, statusWordKey})
        remove((base + QLatin1String(key) + QStringLiteral("/config")).toUtf8());
    remove(topic(name, "availability"));
}

void MqttPublisher::announce(Device &d)
{
    if (d.announced || !m_connected)
        return;
    const QByteArray availability = topic(d.name, "availability");
    QJsonObject deviceInfo{
        {QStringLiteral("identifiers"), QJsonArray{QStringLiteral("solar_") + d.name}},
        {QStringLiteral("name"), d.identity.model.trimmed().isEmpty()
                                     ? QStringLiteral("Solar controller %1").arg(d.name)
                                     : QStringLiteral("%1 %2").arg(d.identity.model.trimmed(), d.name)},
    };
    if (!d.identity.model.trimmed().isEmpty())
        deviceInfo.insert(QStringLiteral("model"), d.identity.model.trimmed());
    if (!d.identity.serialNumber.trimmed().isEmpty())
        deviceInfo.insert(QStringLiteral("serial_number"), d.identity.serialNumber.trimmed());
    if (!d.identity.version.trimmed().isEmpty())
        deviceInfo.insert(QStringLiteral("sw_version"), d.identity.version.trimmed());
    if (!d.identity.factoryInfo.trimmed().isEmpty())
        deviceInfo.insert(QStringLiteral("manufacturer"), d.identity.factoryInfo.trimmed());

    auto config = [&](const char *key, const char *unit, const char *deviceClass, const char *stateClass) {
        QJsonObject o{
            {QStringLiteral("name"), entityName(key)},
            {QStringLiteral("unique_id"), QStringLiteral("solar_%1_%2").arg(d.name, QLatin1String(key))},
            {QStringLiteral("object_id"), QStringLiteral("solar_%1_%2").arg(d.name, QLatin1String(key))},
            {QStringLiteral("state_topic"), QString::fromUtf8(d.stateTopic)},
            {QStringLiteral("availability_topic"), QString::fromUtf8(availability)},
            {QStringLiteral("value_template"), QStringLiteral("{{ value_json.%1 }}").arg(QLatin1String(key))},
            {QStringLiteral("device"), deviceInfo},
        };
        if (unit)
            o.insert(QStringLiteral("unit_of_measurement"), QString::fromUtf8(unit));
        if (deviceClass)
            o.insert(QStringLiteral("device_class"), QLatin1String(deviceClass));
        if (stateClass)
            o.insert(QStringLiteral("state_class"), QLatin1String(stateClass));
        const QByteArray t = (m_config.discoveryPrefix + QStringLiteral("/sensor/") + d.name
                              + QLatin1Char('/') + QLatin1String(key) + QStringLiteral("/config"))
                                 .toUtf8();
        publish(t, QJsonDocument(o).toJson(QJsonDocument::Compact), qMax(1, m_config.qos), true);
    };
    for (const LiveField &f : liveFields)
        config(f.key, f.unit, f.deviceClass, f.stateClass);
    config(chargeStageKey, nullptr, nullptr, nullptr);
    config(pvStateKey, nullptr, nullptr, nullptr);
    config(statusWordKey, nullptr, nullptr, nullptr);
    publish(availability, "online", qMax(1, m_config.qos), true);
    d.announced = true;
}

bool MqttPublisher::publish(const QByteArray &t, const QByteArray &payload, int qos, bool retain)
{
    if (!m_mosq)
        return false;
    const int rc = mosquitto_publish(m_mosq, nullptr, t.constData(), payload.size(),
                                     payload.isEmpty() ? nullptr : payload.constData(), qos, retain);
    return rc == MOSQ_ERR_SUCCESS;
}

void MqttPublisher::enqueue(const QByteArray &t, const QByteArray &payload)
{
    if (int(m_queue.size()) >= m_queueLimit) {
        m_queue.pop_front();
        ++m_dropped;
    }
    m_queue.push_back(Message{t, payload});
}

void MqttPublisher::publishSample(const LiveSample &sample)
{
    if (!m_mosq)
        return;
    Device &d = device(sample.address);
    m_payload.clear();
    appendLiveSampleJson(m_payload, sample);
    if (m_connected) {
        announce(d);
        if (publish(d.stateTopic, m_payload, m_config.qos, m_config.retain))
            return;
    }
    enqueue(d.stateTopic, m_payload);
}
