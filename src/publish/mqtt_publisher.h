#ifndef MQTT_PUBLISHER_H
#define MQTT_PUBLISHER_H

#include <QMetaType>
#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>
#include <deque>
#include <memory>

#include "live_sample.h"
#include "recording_config.h"

struct mosquitto;

// How the link to the broker stands, with the words for it. A new value is
// signalled only when the state or its reason changes, not at every attempt.
struct MqttLinkStatus
{
    enum State { Stopped, Connecting, Connected, Failed, Lost };
    State state = Stopped;
    QString reason;        // Failed, Lost: why, e.g. "Connection refused"
    bool refused = false;  // Failed: the broker answered and said no (login, ACL)
    int retrySeconds = 0;  // Failed, Lost: the next attempt is this far away
    QString text;          // the whole sentence, "MQTT: ..."
};
Q_DECLARE_METATYPE(MqttLinkStatus)

// Publishes live samples to an MQTT broker, for Home Assistant, Node-RED and
// the like:
//
//   MqttPublisher publisher;
//   publisher.start(readMqttConfig(config), address);   // false: bad settings, see errorString()
//   publisher.setIdentity(identity);     // the device topic becomes the serial number
//   publisher.publishSample(sample);     // <prefix>/<device>/state, the logger's JSON line
//   publisher.stop();                    // "offline", then a clean disconnect
//
// <device> is the serial number once known, else "addr<N>". Nothing of a device
// goes out (its states wait) until its identity has been set and a second
// sample has come, or without an identity until that second sample, a full
// polling cycle later: a normal start names each entity once, never first
// "addr<N>" and then the serial number. The fault lamps and the load switch go
// to <prefix>/<device>/lamps ("ON"/"OFF" under StatusBits' keys, "load" for
// the load) beside every state. Availability goes to
// <prefix>/<device>/availability ("online"/"offline", retained) with the last will
// on it, so a killed process turns "offline" too; the will covers the address
// given to start(). Home Assistant discovery configs (retained) are sent at every
// connect for each value of every device seen, and again with the latest
// state a random moment (up to 5 s) after Home Assistant says "online" on
// <discovery_prefix>/status, so it gets them back after its restart. While the broker is away the
// state messages wait in a bounded queue (oldest dropped first and counted).
//
// The broker is reached whenever it becomes reachable, however an attempt
// failed (refused, host not found, timed out, TLS or login refused): the
// network thread retries after 1 s, doubling up to a minute, and starts at
// 1 s again after a connection that was up is lost. linkChanged() says each
// change of the link once.
//
// libmosquitto runs in a network thread of ours: connecting, TLS handshakes
// and DNS would otherwise block the window's event loop. libmosquitto's own
// loop thread gives up for good when the very first connect fails at once (a
// refused port on the same machine) or on a TLS error, so the thread runs the
// retries itself. Its callbacks only hand events over to this object's thread
// through queued calls; all state here is touched by that one thread, and
// mosquitto_publish is thread-safe.
class MqttPublisher : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultQueueLimit = 1000;

    explicit MqttPublisher(QObject *parent = nullptr);
    ~MqttPublisher() override;

    bool start(const MqttConfig &config, int address);
    void stop();
    bool isStarted() const { return m_mosq != nullptr; }
    bool isConnected() const { return m_connected; }

    void setIdentity(const DeviceIdentity &identity);
    // The message id of the state sent, or -1 when it was queued, held or
    // (in backlog mode) not sent.
    int publishSample(const LiveSample &sample);

    // Backlog mode, for a publisher whose samples are also recorded: a state
    // that cannot go out at once is neither queued nor held (the history
    // store has it and publishHistory() sends it later), so <device>/state
    // only ever carries a reading as it is taken.
    void setBacklogMode(bool on) { m_backlogMode = on; }
    // A recorded sample on <prefix>/<device>/history (QoS 1, not retained),
    // the state's JSON line with its own time. The message id, or -1 when not
    // connected or the device's name is not settled yet.
    int publishHistory(const LiveSample &sample);
    // A device that stopped answering is said "offline" on its availability
    // topic until it answers again (a bus takes silent devices offline).
    void setAvailable(int address, bool available);

    // A retained discovery config: where it goes and what it says.
    struct Discovery
    {
        QByteArray topic;
        QJsonObject config;
    };
    // The discovery configs of a device once its name is settled (else none).
    QVector<Discovery> discoveryConfigs(int address) const;
    // The keys of <device>/lamps, in StatusBits' order.
    static QStringList statusKeys();

    // "<serial>" or "addr<N>", as used in the topics.
    QString deviceName(int address) const;
    QString errorString() const { return m_error; }
    int queuedMessages() const { return int(m_queue.size()); }
    qint64 droppedMessages() const { return m_dropped; }
    void setQueueLimit(int messages);
    // Reconnect delay: starts at minSeconds, doubles up to maxSeconds.
    void setReconnectDelays(int minSeconds, int maxSeconds);
    // The longest random pause before answering Home Assistant's "online".
    void setBirthDelayMax(int ms) { m_birthDelayMaxMs = qMax(0, ms); }
    const MqttLinkStatus &linkStatus() const { return m_link; }

    // Entities beyond the live values, each announced only by a program that
    // feeds it (mqtt_extras.cpp); set before the first samples.
    enum Extra {
        EnergyTodayEntities = 0x1,   // <device>/today: generated and consumed energy today
        LinkEntities = 0x2,          // <device>/link: answer rate and timeouts per minute
        LoadSwitchEntity = 0x4,      // a switch on <device>/load/set, only with [mqtt] commands=true
    };
    void setExtras(int extras);
    bool commandsEnabled() const { return (m_extras & LoadSwitchEntity) && m_config.commands; }
    void publishEnergyToday(int address, double generatedKwh, double consumedKwh);
    void publishLinkFigures(int address, double answerRatePercent, double timeoutsPerMinute);
    enum class CommandResult { Done, Refused, LinkDown };
    // The answer on <device>/load/result to a loadSwitchRequested().
    void answerLoadSwitch(int address, bool on, CommandResult result, const QString &reason = QString());

signals:
    // "ON" or "OFF" arrived on <prefix>/<device>/load/set (commands enabled only).
    void loadSwitchRequested(int address, bool on);
    void connectedChanged(bool connected);
    // Setup errors, and the link's failures (the same text as linkChanged).
    void errorOccurred(const QString &text);
    void linkChanged(const MqttLinkStatus &status);
    // The broker took the message (PUBACK for QoS 1; sent out for QoS 0).
    void messageDelivered(int mid);

private:
    struct Device
    {
        DeviceIdentity identity;
        QString name;
        QByteArray stateTopic;
        bool announced = false;   // discovery and "online" sent on this connection
        bool released = false;    // its name is settled and it may be announced
        bool retainedUnderName = false;   // something retained went out under name
        int samples = 0;
        qint64 firstSampleMs = 0;
        int expireAfterSeconds = 0;
        QVector<QByteArray> held; // states that came before the release
        QByteArray lastState;
        quint32 statusWord = 0;
        QByteArray today;         // the newest <device>/today, sent once announced
        QByteArray link;          // the newest <device>/link
        bool unavailable = false;  // setAvailable(false)
    };
    struct Message
    {
        QByteArray topic;
        QByteArray payload;
    };

    struct Network;
    struct Attempt;   // how one attempt ended, from the network thread

    bool connectClient();
    void stopNetwork(bool sayOffline);
    void handleConnected();
    void handleAttemptEnded(const Attempt &attempt);
    void handleBirth(const QByteArray &payload);
    void answerBirth();
    void setLink(const MqttLinkStatus &status);
    void release(Device &device);
    int sendState(Device &device, const QByteArray &payload);
    void sendLamps(const Device &device);
    QVector<Discovery> discoveryConfigs(const Device &device) const;
    QJsonObject *addEntity(QVector<Discovery> &out, const Device &d, const char *component, const QString &key,
                           const QString &name, const QByteArray &stateTopic, const QString &valueTemplate) const;
    // mqtt_extras.cpp
    void addExtraConfigs(QVector<Discovery> &out, const Device &d) const;
    QVector<QByteArray> extraConfigTopics(const QString &name) const;
    void sendExtras(const Device &d);
    void subscribeCommands();
    void handleCommand(const QByteArray &topic, const QByteArray &payload);
    static QJsonObject deviceBlock(const Device &device);
    static QJsonObject originBlock();
    Device &device(int address);
    void announce(Device &device);
    void withdraw(const QString &name);
    QByteArray topic(const QString &name, const char *leaf) const;
    bool publish(const QByteArray &topic, const QByteArray &payload, int qos, bool retain,
                 int *mid = nullptr);
    void enqueue(const QByteArray &topic, const QByteArray &payload);
    void reportError(const QString &text);
    QString endpoint() const;

    MqttConfig m_config;
    mosquitto *m_mosq = nullptr;
    std::unique_ptr<Network> m_net;
    quint64 m_netGeneration = 0;   // tells a running network thread's events from a stopped one's
    int m_willAddress = 0;
    bool m_connected = false;
    QString m_error;
    MqttLinkStatus m_link;
    QHash<int, Device> m_devices;
    QStringList m_staleNames;         // renamed before the broker took us
    std::deque<Message> m_queue;
    int m_queueLimit = DefaultQueueLimit;
    qint64 m_dropped = 0;
    int m_reconnectMin = 1;
    int m_reconnectMax = 60;
    QByteArray m_payload;
    QByteArray m_lamps;
    QTimer *m_birthTimer = nullptr;
    int m_birthDelayMaxMs = 5000;
    int m_extras = 0;
    bool m_backlogMode = false;
};

#endif
