// Recording and publishing of the window: the history file, the curve's
// recorded start and the MQTT state messages.
#include "history_recording.h"

#include <QAction>
#include <QDateTime>
#include <QDebug>
#include <QStatusBar>

#include "config_file.h"
#include "history_export.h"
#include "mainwindow.h"

namespace {

constexpr int ReportMs = 10000;

bool sameMqtt(const MqttConfig &a, const MqttConfig &b)
{
    return a.enabled == b.enabled && a.host == b.host && a.port == b.port && a.clientId == b.clientId
           && a.username == b.username && a.password == b.password && a.caFile == b.caFile
           && a.topicPrefix == b.topicPrefix && a.discoveryPrefix == b.discoveryPrefix
           && a.qos == b.qos && a.retain == b.retain;
}

} // namespace

HistoryRecording::HistoryRecording(MainWindow *window) : QObject(window), window_(window)
{
    MonitorCore &core = window->core;
    connect(&core, &MonitorCore::linkChanged, this, &HistoryRecording::onLinkChanged,
            Qt::DirectConnection);
    connect(&core, &MonitorCore::stepAnswered, this, &HistoryRecording::onStepAnswered,
            Qt::DirectConnection);
    connect(&core, &MonitorCore::identityKnown, this, &HistoryRecording::onIdentityKnown,
            Qt::DirectConnection);
    // Connected after the window's own slot, which runs the dialog modally:
    // this one sees the file as the dialog left it.
    connect(window->settingAction, &QAction::triggered, this, &HistoryRecording::applyConfig);

    export_ = new HistoryExport(window, this);
    applyConfig();
    if (store_ && store_->isOpen())
        showRecordedCurve();
}

HistoryRecording::~HistoryRecording()
{
    disconnect(&window_->core, nullptr, this, nullptr);
    stopPublishing();
    store_.reset();   // commits what is gathered
}

QString HistoryRecording::configPath() const
{
    return window_->core.configFilePath();
}

int HistoryRecording::configuredAddress() const
{
    const LinkConfig link = readLinkConfig(ConfigFile(configPath()));
    return link.serial() ? link.address() : window_->core.deviceAddress();
}

void HistoryRecording::applyConfig()
{
    const ConfigFile config(configPath());
    applyRecord(readRecordConfig(config, false));
    if (window_->core.linkIsUp())
        applyMqtt(readMqttConfig(config));
}

void HistoryRecording::applyRecord(const RecordConfig &record)
{
    if (!record.enabled) {
        if (store_) {
            store_.reset();
            emit recordingChanged(false);
        }
        return;
    }
    const QString path = historyPath(record, configPath());
    const bool wasOn = bool(store_);
    if (!store_ || !store_->isOpen() || store_->path() != path) {
        store_.reset(new HistoryStore);
        connect(store_.get(), &HistoryStore::errorOccurred, this, &HistoryRecording::report);
        store_->setRetentionDays(record.retentionDays);
        store_->open(path);   // a failure is reported; samples are then counted as lost
        if (identityKnown_)
            store_->setIdentity(identity_);
    } else {
        store_->setRetentionDays(record.retentionDays);
    }
    if (!wasOn)
        emit recordingChanged(true);
}

void HistoryRecording::applyMqtt(const MqttConfig &config)
{
    if (!config.enabled) {
        stopPublishing();
        return;
    }
    const int address = window_->core.deviceAddress();
    if (publisher_ && sameMqtt(config, mqttConfig_) && address == publishAddress_)
        return;
    stopPublishing();
    publisher_.reset(new MqttPublisher);
    connect(publisher_.get(), &MqttPublisher::errorOccurred, this, &HistoryRecording::report);
    mqttConfig_ = config;
    publishAddress_ = address;
    if (!publisher_->start(config, address)) {
        publisher_.reset();   // reported; the next Connect tries again
        return;
    }
    if (identityKnown_)
        publisher_->setIdentity(identity_);
}

void HistoryRecording::stopPublishing()
{
    if (!publisher_)
        return;
    disconnect(publisher_.get(), nullptr, this, nullptr);
    publisher_.reset();   // "offline", then a clean disconnect
}

void HistoryRecording::onLinkChanged(const MonitorCore::LinkEvent &event)
{
    switch (event.state) {
    case MonitorCore::LinkState::Up:
        identityKnown_ = false;
        samples_.linkUp(window_->core);
        applyConfig();
        return;
    case MonitorCore::LinkState::Connecting:
        return;
    case MonitorCore::LinkState::Down:
        stopPublishing();
        if (store_)
            store_->flush();
        return;
    }
}

void HistoryRecording::onStepAnswered(MonitorCore::StepResult result, const DeviceData &data)
{
    if (!store_ && !publisher_)
        return;
    if (!samples_.take(result, data, window_->core))
        return;
    if (store_)
        store_->append(samples_.sample());
    if (publisher_)
        publisher_->publishSample(samples_.sample());
}

void HistoryRecording::onIdentityKnown(const DeviceIdentity &identity)
{
    identity_ = identity;
    identityKnown_ = true;
    if (store_)
        store_->setIdentity(identity);
    if (publisher_)
        publisher_->setIdentity(identity);
}

int HistoryRecording::showRecordedCurve()
{
    qint64 first = 0, last = 0;
    if (!store_ || !store_->span(&first, &last))
        return 0;
    // A clock that was set back would leave keys ahead of now, and the
    // curve appends nothing before its newest key.
    last = qMin(last, QDateTime::currentMSecsSinceEpoch());
    const qint64 from = qMax(first, last - qint64(RecordedCurveDays) * 86400 * 1000);
    return window_->showRecordedCurve(*store_, configuredAddress(), from, last);
}

void HistoryRecording::report(const QString &text)
{
    qWarning().noquote() << text;
    window_->statusBar()->showMessage(text, ReportMs);
}
