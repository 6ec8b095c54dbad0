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
    quint16 port() const { return port_; }
    QString log() const;

private:
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
    bool connectTo(quint16 port, const QByteArray &filter = "#");
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
