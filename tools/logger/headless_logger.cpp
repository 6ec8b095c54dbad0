#include "headless_logger.h"

#include <QDateTime>
#include <QMetaEnum>
#include <QTextStream>

namespace {

QString reasonText(MonitorCore::LinkReason reason)
{
    const char *key = QMetaEnum::fromType<MonitorCore::LinkReason>().valueToKey(int(reason));
    return QString::fromLatin1(key ? key : "?");
}

void say(const QString &line)
{
    QTextStream(stderr) << "solar-logger: " << line << '\n';
}

} // namespace

HeadlessLogger::HeadlessLogger(const QString &configPath, QObject *parent) : QObject(parent)
{
    core.configPath = configPath;
    core.setBlockingWait(true);   // no screen to keep lively: sleep between events
    retryTimer_.setSingleShot(true);
    connect(&retryTimer_, &QTimer::timeout, this, &HeadlessLogger::reconnect);
    connect(&silenceTimer_, &QTimer::timeout, this, &HeadlessLogger::checkSilence);
    connect(&core, &MonitorCore::linkChanged, this, &HeadlessLogger::onLinkChanged,
            Qt::DirectConnection);
    // Any answer at all shows the device is alive.
    connect(&core, &MonitorCore::stepAnswered, this, [this] { sinceAnswer_.start(); },
            Qt::DirectConnection);
    connect(&recorder, &Recorder::sampleTaken, this, &HeadlessLogger::onSample, Qt::DirectConnection);
    connect(&recorder, &Recorder::identityTaken, this, &HeadlessLogger::onIdentity,
            Qt::DirectConnection);
    setTiming(Timing());
}

HeadlessLogger::~HeadlessLogger()
{
    disconnect(&core, nullptr, this, nullptr);
    recorder.stop();
}

void HeadlessLogger::setTiming(const Timing &timing)
{
    timing_ = timing;
    core.setConnectTimeout(timing.connectTimeoutMs);
    silenceTimer_.setInterval(qMax(100, timing.silenceMs / 4));
}

void HeadlessLogger::start()
{
    retryMs_ = timing_.firstRetryMs;
    reconnect();
}

void HeadlessLogger::stop()
{
    if (stopping_)
        return;
    stopping_ = true;
    recorder.stop();
    retryTimer_.stop();
    silenceTimer_.stop();
    core.refreshTimer.stop();
    if (core.linkIsUp())
        core.disconnectLink();
    emit stopped();
}

void HeadlessLogger::reconnect()
{
    if (stopping_)
        return;
    // Every failure arrives as a link change, which plans the next attempt.
    core.connectLink();
}

void HeadlessLogger::scheduleRetry()
{
    if (stopping_ || retryTimer_.isActive())
        return;
    say(QStringLiteral("retrying in %1 ms").arg(retryMs_));
    retryTimer_.start(retryMs_);
    retryMs_ = qMin(timing_.maxRetryMs, retryMs_ * 2);
}

void HeadlessLogger::onLinkChanged(const MonitorCore::LinkEvent &event)
{
    QString line = QStringLiteral("link %1: %2")
                       .arg(event.state == MonitorCore::LinkState::Up
                                ? QStringLiteral("up")
                                : event.state == MonitorCore::LinkState::Connecting
                                      ? QStringLiteral("connecting")
                                      : QStringLiteral("down"),
                            reasonText(event.reason));
    if (!event.portName.isEmpty())
        line += QStringLiteral(" ") + event.portName;
    if (!event.errorText.isEmpty())
        line += QStringLiteral(" (") + event.errorText + QStringLiteral(")");
    if (event.permissionDenied)
        line += QStringLiteral(" - is this user in the dialout group?");
    say(line);

    switch (event.state) {
    case MonitorCore::LinkState::Up:
        retryMs_ = timing_.firstRetryMs;
        sinceAnswer_.start();
        silenceTimer_.start();
        return;
    case MonitorCore::LinkState::Connecting:
        return;
    case MonitorCore::LinkState::Down:
        silenceTimer_.stop();
        if (stopping_)
            return;
        if (event.reason == MonitorCore::LinkReason::ClosedByUser && !droppingSilentLink_)
            return;
        droppingSilentLink_ = false;
        ++reconnects_;
        scheduleRetry();
        return;
    }
}

// A device that restarted behind a network module, or hangs, keeps the
// socket open but answers nothing: after a while the link is begun anew.
void HeadlessLogger::checkSilence()
{
    if (!core.linkIsUp() || sinceAnswer_.elapsed() < timing_.silenceMs)
        return;
    say(QStringLiteral("no answer for %1 ms").arg(sinceAnswer_.elapsed()));
    droppingSilentLink_ = true;
    core.disconnectLink();
}

void HeadlessLogger::onSample(const LiveSample &sample)
{
    for (SampleSink *sink : qAsConst(sinks_))
        sink->writeSample(sample);
}

void HeadlessLogger::onIdentity(const DeviceIdentity &identity)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const int offset = utcOffsetNow(now);
    for (SampleSink *sink : qAsConst(sinks_))
        sink->writeIdentity(identity, now, offset);
}
