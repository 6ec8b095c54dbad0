#include "bus_logger.h"

#include <QDateTime>
#include <QMetaEnum>
#include <QTextStream>

#include "config_file.h"
#include "link_config.h"

namespace {

void say(const QString &line)
{
    QTextStream(stderr) << "solar-logger: " << line << '\n';
}

QString reasonText(MonitorCore::LinkReason reason)
{
    const char *key = QMetaEnum::fromType<MonitorCore::LinkReason>().valueToKey(int(reason));
    return QString::fromLatin1(key ? key : "?");
}

QString addressList(const QList<int> &addresses)
{
    QStringList parts;
    for (int a : addresses)
        parts.append(QString::number(a));
    return parts.isEmpty() ? QStringLiteral("none") : parts.join(QStringLiteral(", "));
}

} // namespace

BusLogger::BusLogger(const QString &configPath, const BusConfig &bus, QObject *parent)
    : QObject(parent), configPath_(configPath), bus_(bus)
{
    line.carrier().configPath = configPath;
    line.setCycleInterval(bus.intervalMs < 0 ? BusLine::StepPace : bus.intervalMs);
    line.setOfflineInterval(bus.offlineIntervalMs);
    retryTimer_.setSingleShot(true);
    connect(&retryTimer_, &QTimer::timeout, this, &BusLogger::reconnect);
    connect(&silenceTimer_, &QTimer::timeout, this, &BusLogger::checkSilence);
    rescanTimer_.setInterval(ScanRepeatMs);
    connect(&rescanTimer_, &QTimer::timeout, this, [this] {
        if (line.linkIsUp() && !line.scanning())
            line.scan(BusScanFirst, BusScanLast);
    });
    connect(&line.carrier(), &MonitorCore::linkChanged, this, &BusLogger::onLinkChanged,
            Qt::DirectConnection);
    connect(&line, &BusLine::scanFinished, this, &BusLogger::onScanFinished);
    connect(&line, &BusLine::deviceOnlineChanged, this, [this](int address, bool online) {
        say(online ? QStringLiteral("address %1 answers again").arg(address)
                   : QStringLiteral("address %1 offline: %2 cycles without an answer; asked once every %3 s")
                         .arg(address).arg(BusLine::FailedCyclesOffline)
                         .arg(bus_.offlineIntervalMs / 1000.0));
    });
    setTiming(HeadlessLogger::Timing());
}

BusLogger::~BusLogger()
{
    disconnect(&line.carrier(), nullptr, this, nullptr);
    disconnect(&line, nullptr, this, nullptr);
    for (const auto &d : qAsConst(devices_)) {
        d->recorder->stop();
        disconnect(d->core, nullptr, this, nullptr);
    }
}

void BusLogger::setTiming(const HeadlessLogger::Timing &timing)
{
    timing_ = timing;
    line.carrier().setConnectTimeout(timing.connectTimeoutMs);
    silenceTimer_.setInterval(qMax(100, timing.silenceMs / 4));
}

void BusLogger::start()
{
    retryMs_ = timing_.firstRetryMs;
    for (int a : qAsConst(bus_.addresses))
        addDevice(a);
    reconnect();
}

void BusLogger::stop()
{
    if (stopping_)
        return;
    stopping_ = true;
    for (const auto &d : qAsConst(devices_))
        d->recorder->stop();
    retryTimer_.stop();
    silenceTimer_.stop();
    rescanTimer_.stop();
    if (line.linkIsUp())
        line.disconnectLink();
    emit stopped();
}

void BusLogger::addDevice(int address)
{
    if (devices_.contains(address))
        return;
    const LinkConfig link = readLinkConfig(ConfigFile(configPath_));
    auto d = std::make_shared<Device>();
    d->core = line.addDevice(address, bus_.controllerFor(address, link.controller));
    d->recorder = std::make_unique<Recorder>(*d->core);
    connect(d->core, &MonitorCore::stepAnswered, this, [this] { sinceAnswer_.start(); },
            Qt::DirectConnection);
    connect(d->recorder.get(), &Recorder::sampleTaken, this, [this](const LiveSample &sample) {
        for (SampleSink *sink : qAsConst(sinks_))
            sink->writeSample(sample);
    }, Qt::DirectConnection);
    connect(d->recorder.get(), &Recorder::identityTaken, this, [this](const DeviceIdentity &identity) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        const int offset = utcOffsetNow(now);
        for (SampleSink *sink : qAsConst(sinks_))
            sink->writeIdentity(identity, now, offset);
    }, Qt::DirectConnection);
    if (setupDevice_)
        setupDevice_(address, *d->recorder);
    devices_.insert(address, d);
}

void BusLogger::onScanFinished(const QList<int> &answered)
{
    if (stopping_)
        return;
    QList<int> fresh;
    for (int a : answered)
        if (!devices_.contains(a))
            fresh.append(a);
    say(QStringLiteral("scan of %1..%2: %3 answered%4")
            .arg(BusScanFirst).arg(BusScanLast).arg(addressList(answered))
            .arg(fresh.isEmpty() ? QString() : QStringLiteral(", polling %1 from now on").arg(addressList(fresh))));
    for (int a : qAsConst(fresh))
        addDevice(a);
}

void BusLogger::reconnect()
{
    if (stopping_)
        return;
    line.connectLink(readLinkConfig(ConfigFile(configPath_)));
}

void BusLogger::scheduleRetry()
{
    if (stopping_ || retryTimer_.isActive())
        return;
    say(QStringLiteral("retrying in %1 ms").arg(retryMs_));
    retryTimer_.start(retryMs_);
    retryMs_ = qMin(timing_.maxRetryMs, retryMs_ * 2);
}

void BusLogger::onLinkChanged(const MonitorCore::LinkEvent &event)
{
    QString text = QStringLiteral("link %1: %2")
                       .arg(event.state == MonitorCore::LinkState::Up ? QStringLiteral("up")
                            : event.state == MonitorCore::LinkState::Connecting ? QStringLiteral("connecting")
                                                                                 : QStringLiteral("down"),
                            reasonText(event.reason));
    if (!event.portName.isEmpty())
        text += QStringLiteral(" ") + event.portName;
    if (!event.errorText.isEmpty())
        text += QStringLiteral(" (") + event.errorText + QStringLiteral(")");
    if (event.permissionDenied)
        text += QStringLiteral(" - is this user in the dialout group?");
    say(text);

    switch (event.state) {
    case MonitorCore::LinkState::Up:
        retryMs_ = timing_.firstRetryMs;
        sinceAnswer_.start();
        silenceTimer_.start();
        if (bus_.scan) {
            line.scan(BusScanFirst, BusScanLast);
            rescanTimer_.start();
        }
        return;
    case MonitorCore::LinkState::Connecting:
        return;
    case MonitorCore::LinkState::Down:
        silenceTimer_.stop();
        rescanTimer_.stop();
        if (stopping_)
            return;
        if (event.reason == MonitorCore::LinkReason::ClosedByUser && !droppingSilentLink_)
            return;
        droppingSilentLink_ = false;
        scheduleRetry();
        return;
    }
}

// No device of the line answered for a while: the link is begun anew.
void BusLogger::checkSilence()
{
    if (!line.linkIsUp() || line.scanning() || sinceAnswer_.elapsed() < timing_.silenceMs)
        return;
    say(QStringLiteral("no answer on the line for %1 ms").arg(sinceAnswer_.elapsed()));
    droppingSilentLink_ = true;
    line.disconnectLink();
}
