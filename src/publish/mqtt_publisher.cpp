#include "mqtt_publisher.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaObject>
#include <QRandomGenerator>
#include <QTranslator>
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

#include "code_tables.h"

// Q_INIT_RESOURCE may not stand in a namespace.
static bool loadEnglish(QTranslator &translator)
{
    Q_INIT_RESOURCE(translations);
    return translator.load(QStringLiteral(":/translations/solar_en.qm"));
}

namespace {

constexpr int KeepAliveSeconds = 30;
// A device polled faster than this still gets some slack before it expires.
constexpr int MinExpireAfterSeconds = 10;

// Home Assistant shows the lamps' captions as the English catalogue has
// them (typos mended), whatever language the window speaks.
QString lampName(const char *caption)
{
    static QTranslator *english = [] {
        auto *t = new QTranslator;
        if (!loadEnglish(*t)) {
            delete t;
            return static_cast<QTranslator *>(nullptr);
        }
        return t;
    }();
    const QString text = english ? english->translate("MainWindow", caption) : QString();
    QString name = text.isEmpty() ? QString::fromUtf8(caption) : text;
    name[0] = name.at(0).toUpper();
    return name;
}

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
    QByteArray birthTopic;
    std::atomic<bool> commands{false};
    QByteArray commandPrefix;   // "<topic_prefix>/", before "<device>/load/set"
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
    static void onPublish(mosquitto *, void *self, int mid)
    {
        static_cast<Network *>(self)->post([mid](MqttPublisher *p) { emit p->messageDelivered(mid); });
    }
    static void onMessage(mosquitto *, void *self, const mosquitto_message *m)
    {
        auto *net = static_cast<Network *>(self);
        // A retained "online" is an old one, not a restart of Home Assistant;
        // a retained command is a stale one, never to be carried out again.
        if (m->retain || !m->topic)
            return;
        const QByteArray payload(static_cast<const char *>(m->payload), m->payloadlen);
        if (net->birthTopic == m->topic) {
            net->post([payload](MqttPublisher *p) { p->handleBirth(payload); });
        } else if (net->commands) {
            const QByteArray topic(m->topic);
            if (topic.startsWith(net->commandPrefix) && topic.endsWith("/load/set"))
                net->post([topic, payload](MqttPublisher *p) { p->handleCommand(topic, payload); });
        }
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

MqttPublisher::MqttPublisher(QObject *parent) : QObject(parent), m_birthTimer(new QTimer(this))
{
    static const int initialised = mosquitto_lib_init();
    Q_UNUSED(initialised)
    qRegisterMetaType<MqttLinkStatus>();
    m_birthTimer->setSingleShot(true);
    connect(m_birthTimer, &QTimer::timeout, this, &MqttPublisher::answerBirth);
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

void MqttPublisher::setExtras(int extras)
{
    m_extras = extras;
    if (m_net)
        m_net->commands = commandsEnabled();
    if (m_connected)
        subscribeCommands();
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
    if (config.certFile.isEmpty() != config.keyFile.isEmpty()
        || (!config.certFile.isEmpty() && config.caFile.isEmpty())) {
        reportError(tr("MQTT: a client certificate needs cert_file, key_file and ca_file together"));
        return false;
    }
    for (const QString &file : {config.certFile, config.keyFile}) {
        if (!file.isEmpty() && !QFileInfo(file).isReadable()) {
            reportError(tr("MQTT: %1 cannot be read").arg(file));
            return false;
        }
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
    mosquitto_message_callback_set(m_mosq, &Network::onMessage);
    mosquitto_publish_callback_set(m_mosq, &Network::onPublish);
    if (!config.username.isEmpty())
        mosquitto_username_pw_set(m_mosq, config.username.toUtf8().constData(),
                                  config.password.isEmpty() ? nullptr : config.password.toUtf8().constData());
    if (!config.caFile.isEmpty()) {
        const QByteArray cert = QFile::encodeName(config.certFile);
        const QByteArray key = QFile::encodeName(config.keyFile);
        const int rc = mosquitto_tls_set(m_mosq, QFile::encodeName(config.caFile).constData(), nullptr,
                                         cert.isEmpty() ? nullptr : cert.constData(),
                                         key.isEmpty() ? nullptr : key.constData(), nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            reportError(tr("MQTT: TLS with CA file %1 cannot be set up: %2")
                            .arg(config.caFile,
                                 !cert.isEmpty() && rc == MOSQ_ERR_INVAL
                                     ? tr("the client certificate or key is not usable")
                                     : QString::fromUtf8(mosquitto_strerror(rc))));
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
    m_net.reset(new Network);
    m_net->owner = this;
    m_net->id = ++m_netGeneration;
    m_net->mosq = m_mosq;
    m_net->host = m_config.host.toUtf8();
    m_net->port = m_config.port;
    m_net->birthTopic = (m_config.discoveryPrefix + QStringLiteral("/status")).toUtf8();
    m_net->commands = commandsEnabled();
    m_net->commandPrefix = (m_config.topicPrefix + QLatin1Char('/')).toUtf8();
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
    if (m_connected && sayOffline) {
        for (Device &d : m_devices)
            publish(topic(d.name, "availability"), "offline", qMax(1, m_config.qos), true);
    }
    // Always a clean goodbye: the broker may have taken us before our thread said so,
    // and a dropped socket would fire the last will under a name we are leaving.
    mosquitto_disconnect(m_mosq);
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
    m_birthTimer->stop();
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
    mosquitto_subscribe(m_mosq, nullptr, m_net->birthTopic.constData(), 1);
    subscribeCommands();
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
    // The lamps are not queued: only the newest word matters.
    for (const Device &d : qAsConst(m_devices))
        if (d.announced && !d.lastState.isEmpty())
            sendLamps(d);
    for (const Device &d : qAsConst(m_devices))
        if (d.announced)
            sendExtras(d);
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
    const QString old = d.name;
    const bool renamed = name != old;
    d.identity = identity;
    d.name = name;
    d.stateTopic = topic(name, "state");
    d.announced = false;
    if (renamed && d.retainedUnderName) {
        // Only a device announced before its identity came leaves entities behind.
        if (m_connected)
            withdraw(old);
        else if (m_mosq)
            m_staleNames.append(old);   // removed once connected
        d.retainedUnderName = false;
    }
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
    announce(d);   // the device block carries the identity
}

QStringList MqttPublisher::statusKeys()
{
    QStringList keys;
    for (const StatusBit &bit : StatusBits::table)
        keys.append(bit.mask == StatusBits::LoadOff ? QStringLiteral("load") : QLatin1String(bit.key));
    return keys;
}

void MqttPublisher::withdraw(const QString &name)
{
    // Empty retained payloads remove the old entities and availability.
    auto remove = [this, &name](const char *component, const char *key) {
        publish((m_config.discoveryPrefix + QLatin1Char('/') + QLatin1String(component) + QLatin1Char('/') + name
                 + QLatin1Char('/') + QLatin1String(key) + QStringLiteral("/config"))
                    .toUtf8(),
                QByteArray(), qMax(1, m_config.qos), true);
    };
    for (const LiveField &field : liveFields)
        remove("sensor", field.key);
    for (const char *key : {chargeStageKey, pvStateKey, statusWordKey})
        remove("sensor", key);
    for (const QString &key : statusKeys())
        remove("binary_sensor", key.toLatin1().constData());
    for (const QByteArray &t : extraConfigTopics(name))
        publish(t, QByteArray(), qMax(1, m_config.qos), true);
    publish(topic(name, "availability"), QByteArray(), qMax(1, m_config.qos), true);
}

QJsonObject MqttPublisher::deviceBlock(const Device &d)
{
    const QString model = d.identity.model.trimmed();
    QJsonObject block{
        {QStringLiteral("identifiers"), QJsonArray{QStringLiteral("solar_") + d.name}},
        {QStringLiteral("name"), model.isEmpty() ? QStringLiteral("Solar controller %1").arg(d.name)
                                                 : QStringLiteral("%1 %2").arg(model, d.name)},
    };
    auto add = [&block](const char *key, const QString &value) {
        if (!value.trimmed().isEmpty())
            block.insert(QLatin1String(key), value.trimmed());
    };
    add("model", model);
    add("manufacturer", d.identity.factoryInfo);
    add("serial_number", d.identity.serialNumber);
    add("sw_version", d.identity.version);
    return block;
}

// Behind a bridge, a controller is there only while the bridge is too.
static void linkToBridge(QJsonObject &entity, const MqttConfig &config)
{
    if (config.viaDevice.isEmpty())
        return;
    QJsonObject device = entity.value(QStringLiteral("device")).toObject();
    device.insert(QStringLiteral("via_device"), config.viaDevice);
    entity.insert(QStringLiteral("device"), device);
    const QString own = entity.take(QStringLiteral("availability_topic")).toString();
    entity.insert(QStringLiteral("availability"),
                  QJsonArray{QJsonObject{{QStringLiteral("topic"), own}},
                             QJsonObject{{QStringLiteral("topic"), config.bridgeAvailability}}});
    entity.insert(QStringLiteral("availability_mode"), QStringLiteral("all"));
}

QJsonObject MqttPublisher::originBlock()
{
    const QString app = QCoreApplication::applicationName();
    QJsonObject origin{{QStringLiteral("name"), app.isEmpty() ? QStringLiteral("solar-monitor") : app}};
    const QString version = QCoreApplication::applicationVersion();
    origin.insert(QStringLiteral("sw_version"), version.isEmpty() ? QStringLiteral(SOLAR_VERSION) : version);
    return origin;
}

QJsonObject *MqttPublisher::addEntity(QVector<Discovery> &out, const Device &d, const char *component,
                                      const QString &key, const QString &name, const QByteArray &stateTopic,
                                      const QString &valueTemplate) const
{
    // Entity ids are lower case; the unique id keeps the device's own spelling.
    const QString slug = QStringLiteral("solar_%1").arg(d.name).toLower().replace(QLatin1Char('-'), QLatin1Char('_'));
    QJsonObject o{
        {QStringLiteral("name"), name},
        {QStringLiteral("unique_id"), QStringLiteral("solar_%1_%2").arg(d.name, key)},
        {QStringLiteral("default_entity_id"),
         QStringLiteral("%1.%2_%3").arg(QLatin1String(component), slug, key.toLower())},
        {QStringLiteral("state_topic"), QString::fromUtf8(stateTopic)},
        {QStringLiteral("availability_topic"), QString::fromUtf8(topic(d.name, "availability"))},
        {QStringLiteral("value_template"), valueTemplate},
        {QStringLiteral("device"), deviceBlock(d)},
        {QStringLiteral("origin"), originBlock()},
    };
    if (d.expireAfterSeconds > 0)
        o.insert(QStringLiteral("expire_after"), d.expireAfterSeconds);
    Discovery c;
    c.topic = (m_config.discoveryPrefix + QLatin1Char('/') + QLatin1String(component) + QLatin1Char('/') + d.name
               + QLatin1Char('/') + key + QStringLiteral("/config"))
                  .toUtf8();
    c.config = o;
    out.append(c);
    return &out.last().config;
}

QVector<MqttPublisher::Discovery> MqttPublisher::discoveryConfigs(const Device &d) const
{
    QVector<Discovery> out;
    auto entity = [&](const char *component, const QString &key, const QString &name, const QByteArray &stateTopic,
                      const QString &valueTemplate) {
        return addEntity(out, d, component, key, name, stateTopic, valueTemplate);
    };
    auto sensor = [&](const char *key, const char *unit, const char *deviceClass, const char *stateClass,
                      bool diagnostic) {
        QJsonObject *o = entity("sensor", QLatin1String(key), entityName(key), d.stateTopic,
                                QStringLiteral("{{ value_json.%1 }}").arg(QLatin1String(key)));
        if (unit)
            o->insert(QStringLiteral("unit_of_measurement"), QString::fromUtf8(unit));
        if (deviceClass)
            o->insert(QStringLiteral("device_class"), QLatin1String(deviceClass));
        if (stateClass)
            o->insert(QStringLiteral("state_class"), QLatin1String(stateClass));
        if (diagnostic)
            o->insert(QStringLiteral("entity_category"), QStringLiteral("diagnostic"));
    };
    for (int i = 0; i < LiveValueCount; ++i) {
        const LiveField &f = liveFields[i];
        sensor(f.key, f.unit, f.deviceClass, f.stateClass, i == InternalTemperature);
    }
    sensor(chargeStageKey, nullptr, nullptr, nullptr, false);
    sensor(pvStateKey, nullptr, nullptr, nullptr, false);
    sensor(statusWordKey, nullptr, nullptr, nullptr, true);

    // The lamps and the load, decoded here from the status word as the window does.
    const QByteArray lamps = topic(d.name, "lamps");
    const QStringList keys = statusKeys();
    for (int i = 0; i < StatusBits::Count; ++i) {
        const StatusBit &bit = StatusBits::table[i];
        const bool load = bit.mask == StatusBits::LoadOff;
        QJsonObject *o = entity("binary_sensor", keys.at(i),
                                load ? QStringLiteral("Load") : lampName(bit.caption), lamps,
                                QStringLiteral("{{ value_json.%1 }}").arg(keys.at(i)));
        o->insert(QStringLiteral("device_class"), load ? QStringLiteral("power") : QStringLiteral("problem"));
        o->insert(QStringLiteral("payload_on"), QStringLiteral("ON"));
        o->insert(QStringLiteral("payload_off"), QStringLiteral("OFF"));
    }
    addExtraConfigs(out, d);
    for (Discovery &c : out)
        linkToBridge(c.config, m_config);
    return out;
}

QVector<MqttPublisher::Discovery> MqttPublisher::discoveryConfigs(int address) const
{
    const auto it = m_devices.constFind(address);
    return it == m_devices.constEnd() || !it->released ? QVector<Discovery>() : discoveryConfigs(*it);
}

void MqttPublisher::setAvailable(int address, bool available)
{
    Device &d = device(address);
    if (d.unavailable == !available)
        return;
    d.unavailable = !available;
    if (d.announced && m_connected)
        publish(topic(d.name, "availability"), available ? "online" : "offline", qMax(1, m_config.qos), true);
}

void MqttPublisher::announce(Device &d)
{
    if (d.announced || !d.released || !m_connected)
        return;
    for (const Discovery &c : discoveryConfigs(d))
        publish(c.topic, QJsonDocument(c.config).toJson(QJsonDocument::Compact), qMax(1, m_config.qos), true);
    publish(topic(d.name, "availability"), d.unavailable ? "offline" : "online", qMax(1, m_config.qos), true);
    d.announced = true;
    d.retainedUnderName = true;
    sendExtras(d);
}

void MqttPublisher::handleBirth(const QByteArray &payload)
{
    // Home Assistant restarted and may have lost its retained configs; many
    // publishers answer at once, so each waits a moment of its own.
    if (payload == "online" && m_connected)
        m_birthTimer->start(m_birthDelayMaxMs > 0 ? QRandomGenerator::global()->bounded(m_birthDelayMaxMs + 1) : 0);
}

void MqttPublisher::answerBirth()
{
    if (!m_connected)
        return;
    for (Device &d : m_devices) {
        if (!d.released)
            continue;
        d.announced = false;
        announce(d);
        if (!d.lastState.isEmpty()) {
            publish(d.stateTopic, d.lastState, m_config.qos, m_config.retain);
            sendLamps(d);
        }
    }
}

bool MqttPublisher::publish(const QByteArray &t, const QByteArray &payload, int qos, bool retain, int *mid)
{
    if (!m_mosq)
        return false;
    const int rc = mosquitto_publish(m_mosq, mid, t.constData(), payload.size(),
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

void MqttPublisher::sendLamps(const Device &d)
{
    m_lamps.clear();
    m_lamps += '{';
    for (const StatusBit &bit : StatusBits::table) {
        const bool set = (d.statusWord & bit.mask) != 0;
        if (m_lamps.size() > 1)
            m_lamps += ',';
        m_lamps += '"';
        if (bit.mask == StatusBits::LoadOff) {
            m_lamps += "load\":";
            m_lamps += set ? "\"OFF\"" : "\"ON\"";
        } else {
            m_lamps += bit.key;
            m_lamps += "\":";
            m_lamps += set ? "\"ON\"" : "\"OFF\"";
        }
    }
    m_lamps += '}';
    publish(topic(d.name, "lamps"), m_lamps, m_config.qos, m_config.retain);
}

int MqttPublisher::sendState(Device &d, const QByteArray &payload)
{
    d.lastState = payload;
    if (m_connected) {
        announce(d);
        int mid = -1;
        if (publish(d.stateTopic, payload, m_config.qos, m_config.retain, &mid)) {
            sendLamps(d);
            return mid;
        }
    }
    if (!m_backlogMode)
        enqueue(d.stateTopic, payload);   // the lamps follow the newest state at connect
    return -1;
}

void MqttPublisher::release(Device &d)
{
    d.released = true;
    const QVector<QByteArray> held = d.held;
    d.held.clear();
    for (const QByteArray &payload : held)
        sendState(d, payload);
}

int MqttPublisher::publishSample(const LiveSample &sample)
{
    if (!m_mosq)
        return -1;
    Device &d = device(sample.address);
    m_payload.clear();
    appendLiveSampleJson(m_payload, sample);
    d.statusWord = sample.statusWord;
    if (d.released)
        return sendState(d, m_payload);
    // The first two samples: the second shows the device's cycle, and by then
    // the schedule has read the identity if it can.
    if (d.samples++ == 0)
        d.firstSampleMs = sample.timeMs;
    if (!m_backlogMode)
        d.held.append(m_payload);
    if (d.samples < 2)
        return -1;
    const qint64 cycleMs = qMax<qint64>(0, sample.timeMs - d.firstSampleMs);
    d.expireAfterSeconds = qMax(MinExpireAfterSeconds, int((3 * cycleMs + 999) / 1000));
    release(d);
    // Backlog mode held nothing: this one goes out as the state.
    return m_backlogMode ? sendState(d, m_payload) : -1;
}

int MqttPublisher::publishHistory(const LiveSample &sample)
{
    if (!m_mosq || !m_connected)
        return -1;
    Device &d = device(sample.address);
    if (!d.released)
        return -1;
    m_payload.clear();
    appendLiveSampleJson(m_payload, sample);
    int mid = -1;
    return publish(topic(d.name, "history"), m_payload, 1, false, &mid) ? mid : -1;
}
