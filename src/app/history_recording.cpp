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

} // namespace

HistoryRecording::HistoryRecording(MainWindow *window)
    : QObject(window), window_(window), recorder_(window->core)
{
    // After the recorder's own: a link that comes up has it begin afresh
    // before the settings are applied.
    connect(&window->core, &MonitorCore::linkChanged, this, &HistoryRecording::onLinkChanged,
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
    recorder_.stop();
    stopPublishing();
    recorder_.setStore(nullptr);
    store_.reset();   // commits what is gathered
}

QString HistoryRecording::configPath() const
{
    return window_->core.configFilePath();
}

int HistoryRecording::configuredAddress() const
{
    return readLinkConfig(ConfigFile(configPath())).deviceAddress(window_->core.deviceAddress());
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
            recorder_.setStore(nullptr);
            store_.reset();
            emit recordingChanged(false);
        }
        return;
    }
    const QString path = historyPath(record, configPath());
    const bool wasOn = bool(store_);
    if (!store_ || !store_->isOpen() || store_->path() != path) {
        recorder_.setStore(nullptr);
        store_.reset(new HistoryStore);
        connect(store_.get(), &HistoryStore::errorOccurred, this, &HistoryRecording::report);
        store_->setRetentionDays(record.retentionDays);
        store_->open(path);   // a failure is reported; samples are then counted as lost
        recorder_.setStore(store_.get());
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
    if (publisher_ && config.sameConnection(mqttConfig_) && address == publishAddress_)
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
    recorder_.setPublisher(publisher_.get());
}

void HistoryRecording::stopPublishing()
{
    if (!publisher_)
        return;
    disconnect(publisher_.get(), nullptr, this, nullptr);
    recorder_.setPublisher(nullptr);
    publisher_.reset();   // "offline", then a clean disconnect
}

void HistoryRecording::onLinkChanged(const MonitorCore::LinkEvent &event)
{
    // The window publishes only while it is connected.
    if (event.state == MonitorCore::LinkState::Up)
        applyConfig();
    else if (event.state == MonitorCore::LinkState::Down)
        stopPublishing();
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
