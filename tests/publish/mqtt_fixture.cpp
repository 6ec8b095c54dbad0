#include "mqtt_fixture.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <mosquitto.h>
#include <csignal>
#include <unistd.h>

TestBroker::~TestBroker()
{
    stop();
}

quint16 TestBroker::freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

QString TestBroker::passwordFile() const
{
    return dir_.filePath(QStringLiteral("passwords"));
}

bool TestBroker::setPassword(const QString &user, const QString &password)
{
    return QProcess::execute(QStringLiteral("mosquitto_passwd"),
                             {QStringLiteral("-b"), passwordFile(), user, password}) == 0;
}

bool TestBroker::reload()
{
    return process_.state() == QProcess::Running && ::kill(pid_t(process_.processId()), SIGHUP) == 0;
}

bool TestBroker::start(quint16 port, const QStringList &users)
{
    stop();
    if (port == 0)
        port = freePort();
    if (port == 0)
        return false;
    port_ = port;
    QByteArray conf = "listener " + QByteArray::number(port) + " 127.0.0.1\npersistence false\n"
                      "log_dest stderr\nlog_type error\nlog_type warning\nlog_type notice\n";
    if (logSubscriptions_)
        conf += "log_type subscribe\n";
    log_.clear();
    if (tls_.size() == 3)
        conf += "cafile " + QFile::encodeName(tls_.at(0)) + "\ncertfile " + QFile::encodeName(tls_.at(1))
                + "\nkeyfile " + QFile::encodeName(tls_.at(2)) + "\nrequire_certificate true\n";
    // As root it would drop to the mosquitto user, who cannot read our temporary folder.
    if (::geteuid() == 0)
        conf += "user root\n";
    if (users.isEmpty()) {
        conf += "allow_anonymous true\n";
    } else {
        const QString passwords = passwordFile();
        QFile(passwords).open(QIODevice::WriteOnly);
        for (const QString &user : users) {
            const QStringList parts = user.split(QLatin1Char(':'));
            if (!setPassword(parts.at(0), parts.at(1)))
                return false;
        }
        conf += "allow_anonymous false\npassword_file " + QFile::encodeName(passwords) + "\n";
    }
    const QString confPath = dir_.filePath(QStringLiteral("mosquitto.conf"));
    QFile f(confPath);
    if (!f.open(QIODevice::WriteOnly) || f.write(conf) != conf.size())
        return false;
    f.close();
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), confPath});
    if (!process_.waitForStarted())
        return false;
    QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        if (probe.waitForConnected(200))
            return true;
        if (process_.state() == QProcess::NotRunning)
            return false;
        QThread::msleep(20);
    }
    return false;
}

void TestBroker::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished();
    }
}

QString TestBroker::log() const
{
    log_ += const_cast<QProcess &>(process_).readAll();
    return QString::fromUtf8(log_);
}

TestSubscriber::~TestSubscriber()
{
    if (mosq_) {
        mosquitto_disconnect(mosq_);
        mosquitto_loop_stop(mosq_, false);
        mosquitto_destroy(mosq_);
    }
}

void TestSubscriber::onMessage(mosquitto *, void *self, const struct mosquitto_message *m)
{
    auto *s = static_cast<TestSubscriber *>(self);
    QMutexLocker lock(&s->mutex_);
    s->messages_.append({QByteArray(m->topic),
                         QByteArray(static_cast<const char *>(m->payload), m->payloadlen), m->retain});
}

bool TestSubscriber::connectTo(quint16 port, const QByteArray &filter, const char *user,
                               const char *password)
{
    mosquitto_lib_init();
    mosq_ = mosquitto_new(nullptr, true, this);
    if (!mosq_)
        return false;
    if (user)
        mosquitto_username_pw_set(mosq_, user, password);
    mosquitto_message_callback_set(mosq_, &TestSubscriber::onMessage);
    if (mosquitto_connect(mosq_, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS)
        return false;
    if (mosquitto_subscribe(mosq_, nullptr, filter.constData(), 1) != MOSQ_ERR_SUCCESS)
        return false;
    return mosquitto_loop_start(mosq_) == MOSQ_ERR_SUCCESS;
}

bool TestSubscriber::publish(const QByteArray &topic, const QByteArray &payload, bool retain)
{
    return mosq_ && mosquitto_publish(mosq_, nullptr, topic.constData(), payload.size(), payload.constData(), 1,
                                      retain) == MOSQ_ERR_SUCCESS;
}

QVector<ReceivedMessage> TestSubscriber::messages() const
{
    QMutexLocker lock(&mutex_);
    return messages_;
}

QVector<ReceivedMessage> TestSubscriber::on(const QByteArray &topic) const
{
    QVector<ReceivedMessage> out;
    for (const ReceivedMessage &m : messages())
        if (m.topic == topic)
            out.append(m);
    return out;
}

QByteArray TestSubscriber::last(const QByteArray &topic) const
{
    const QVector<ReceivedMessage> all = on(topic);
    return all.isEmpty() ? QByteArray() : all.last().payload;
}

void TestSubscriber::clear()
{
    QMutexLocker lock(&mutex_);
    messages_.clear();
}
