#ifndef MQTT_FIXTURE_H
#define MQTT_FIXTURE_H

#include <QByteArray>
#include <QMutex>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QVector>

struct mosquitto;

// A mosquitto broker of the test's own on a free port of 127.0.0.1, with a
// configuration file written here (never the system service).
class TestBroker
{
public:
    ~TestBroker();
    // users: "name:password" entries; with any, anonymous clients are refused.
    bool start(quint16 port = 0, const QStringList &users = {});
    void stop();
    // The next start() listens with TLS only, its certificate signed by ca,
    // and takes only clients with a certificate signed by ca too.
    void requireClientCertificates(const QString &ca, const QString &cert, const QString &key)
    {
        tls_ = QStringList{ca, cert, key};
    }
    // A port of 127.0.0.1 nobody listens on now, for a broker started later.
    static quint16 freePort();
    // Sets a user's password in the password file (start() with users first);
    // the broker reads it at its next reload().
    bool setPassword(const QString &user, const QString &password);
    // SIGHUP: the broker reads its configuration and password file again.
    bool reload();
    // The next start() logs every subscription (to see who subscribed to what).
    void logSubscriptions() { logSubscriptions_ = true; }
    quint16 port() const { return port_; }
    // Everything the broker said since it started.
    QString log() const;

private:
    QString passwordFile() const;
    QStringList tls_;
    bool logSubscriptions_ = false;
    mutable QByteArray log_;
    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
};

struct ReceivedMessage
{
    QByteArray topic;
    QByteArray payload;
    bool retained = false;
};

// A libmosquitto subscriber on its own network thread that keeps what arrives.
class TestSubscriber
{
public:
    ~TestSubscriber();
    bool connectTo(quint16 port, const QByteArray &filter = "#", const char *user = nullptr,
                   const char *password = nullptr);
    // Publishes through the same connection (QoS 1), as another client would.
    bool publish(const QByteArray &topic, const QByteArray &payload, bool retain = false);
    QVector<ReceivedMessage> messages() const;
    QVector<ReceivedMessage> on(const QByteArray &topic) const;
    // The newest payload on a topic; the null array when none came.
    QByteArray last(const QByteArray &topic) const;
    void clear();

private:
    static void onMessage(mosquitto *, void *self, const struct mosquitto_message *m);
    mosquitto *mosq_ = nullptr;
    mutable QMutex mutex_;
    QVector<ReceivedMessage> messages_;
};

#endif
