#ifndef BUS_LOGGER_H
#define BUS_LOGGER_H

#include <QElapsedTimer>
#include <QMap>
#include <QObject>
#include <QTimer>
#include <QVector>

#include <functional>
#include <memory>

#include "bus_config.h"
#include "bus_line.h"
#include "headless_logger.h"
#include "live_sample_builder.h"
#include "sample_sink.h"

// The logger with [bus]: every controller of the line, each on its own core
// over the one link. The link is reconnected as the single-device logger
// does; each device hands its samples and identity to the shared sinks
// (lines, history) and to sinks of its own (its MQTT device); a device that
// goes offline or answers again is said on stderr.
class BusLogger : public QObject
{
    Q_OBJECT

public:
    BusLogger(const QString &configPath, const BusConfig &bus, QObject *parent = nullptr);
    ~BusLogger() override;

    void setTiming(const HeadlessLogger::Timing &timing);
    void addSink(SampleSink *sink) { sinks_.append(sink); }   // every device's; not owned
    // Called for every device the line polls, as it is added; returns sinks
    // of that device alone (owned by the caller), e.g. its MQTT publisher.
    void setDeviceSinks(std::function<QVector<SampleSink *>(int address, MonitorCore &core)> make)
    {
        makeDeviceSinks_ = std::move(make);
    }
    // Called when the line goes up or down, and when a device goes offline
    // or answers again: online says so.
    void setLineWatcher(std::function<void(bool up)> watch) { watchLine_ = std::move(watch); }

    void start();
    void stop();

    BusLine line;

signals:
    void stopped();

private:
    struct Device
    {
        MonitorCore *core = nullptr;
        LiveSampleBuilder samples;
        QVector<SampleSink *> sinks;
    };

    void addDevice(int address);
    void onLinkChanged(const MonitorCore::LinkEvent &event);
    void onScanFinished(const QList<int> &answered);
    void reconnect();
    void scheduleRetry();
    void checkSilence();

    QString configPath_;
    BusConfig bus_;
    HeadlessLogger::Timing timing_;
    QVector<SampleSink *> sinks_;
    std::function<QVector<SampleSink *>(int, MonitorCore &)> makeDeviceSinks_;
    std::function<void(bool)> watchLine_;
    QMap<int, std::shared_ptr<Device>> devices_;
    QTimer retryTimer_;
    QTimer silenceTimer_;
    QTimer rescanTimer_;
    QElapsedTimer sinceAnswer_;
    int retryMs_ = 0;
    bool stopping_ = false;
    bool droppingSilentLink_ = false;
};

#endif
