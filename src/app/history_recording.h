#ifndef HISTORY_RECORDING_H
#define HISTORY_RECORDING_H

#include <QObject>
#include <memory>

#include "history_store.h"
#include "monitor_core.h"
#include "mqtt_publisher.h"
#include "recorder.h"

class HistoryExport;
class MainWindow;

// The window's settings to its recorder. With [record] enabled in config.ini
// ("Record history" of the Setting dialog) every answered live-value step
// goes into the history file, and the curve view starts with what was
// recorded; with [mqtt] enabled each step is published while the link is up.
// The settings are read at start, when the Setting dialog closes and at
// every Connect. With both off the window opens no file and no connection.
class HistoryRecording : public QObject
{
    Q_OBJECT

public:
    // The curve view starts with at most this much of the recorded history.
    static constexpr int RecordedCurveDays = 7;

    explicit HistoryRecording(MainWindow *window);
    ~HistoryRecording() override;

    // The open history while recording is on, else nullptr.
    HistoryStore *store() const { return store_ ? store_.get() : nullptr; }
    MqttPublisher *publisher() const { return publisher_.get(); }
    HistoryExport *exporter() const { return export_; }
    QString configPath() const;
    // The bus address the configured link polls (the serial one, or the
    // engine's own over TCP).
    int configuredAddress() const;

    // Reads config.ini and applies what changed.
    void applyConfig();
    // Fills the curve view from the recorded history (the newest
    // RecordedCurveDays days of the configured address); returns the points.
    int showRecordedCurve();

signals:
    void recordingChanged(bool on);

private:
    void applyRecord(const RecordConfig &record);
    void applyMqtt(const MqttConfig &config);
    void stopPublishing();
    void onLinkChanged(const MonitorCore::LinkEvent &event);
    void report(const QString &text);

    MainWindow *window_;
    HistoryExport *export_ = nullptr;
    // Declared before what it is handed, so it forgets them before they go.
    std::unique_ptr<HistoryStore> store_;
    std::unique_ptr<MqttPublisher> publisher_;
    Recorder recorder_;
    MqttConfig mqttConfig_;
    int publishAddress_ = -1;
};

#endif
