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
#include "recorder.h"
#include "sample_sink.h"

// The logger with [bus]: every controller of the line, each on its own core
// over the one link with a recorder of its own. The link is reconnected as
// the single-device logger does; each device's samples and identity go to
// the shared sinks (lines, metrics) and through its recorder to the store
// and its publisher; a device that goes offline or answers again is said
// on stderr.
class BusLogger : public QObject
{
    Q_OBJECT

public:
    BusLogger(const QString &configPath, const BusConfig &bus, QObject *parent = nullptr);
    ~BusLogger() override;

    void setTiming(const HeadlessLogger::Timing &timing);
    void addSink(SampleSink *sink) { sinks_.append(sink); }   // every device's; not owned
    // Called for every device the line polls, as it is added: its recorder,
    // to be given the store and the publisher it records into.
    void setDeviceSetup(std::function<void(int address, Recorder &recorder)> setup)
    {
        setupDevice_ = std::move(setup);
    }

    void start();
    void stop();

    BusLine line;

signals:
    void stopped();

private:
    struct Device
    {
        MonitorCore *core = nullptr;
        std::unique_ptr<Recorder> recorder;
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
    std::function<void(int, Recorder &)> setupDevice_;
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
