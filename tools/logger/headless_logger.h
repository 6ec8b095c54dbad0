#ifndef HEADLESS_LOGGER_H
#define HEADLESS_LOGGER_H

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <QVector>

#include "live_sample.h"
#include "monitor_core.h"
#include "recorder.h"
#include "sample_sink.h"

// The logger's life on the core: connect at start, reconnect by itself with
// a growing pause after the link is lost or the device falls silent. The
// recorder records and publishes; every sample it takes and the identity go
// on to the sinks (the lines, the metrics).
class HeadlessLogger : public QObject
{
    Q_OBJECT

public:
    struct Timing
    {
        int firstRetryMs = 1000;     // pause after the first loss, doubled each failure
        int maxRetryMs = 60000;      // ... up to this
        int connectTimeoutMs = 10000;
        int silenceMs = 120000;      // no step answered this long: reconnect
    };

    explicit HeadlessLogger(const QString &configPath, QObject *parent = nullptr);
    ~HeadlessLogger() override;

    void setTiming(const Timing &timing);
    void addSink(SampleSink *sink) { sinks_.append(sink); }   // not owned

    void start();
    // Ends polling and the link; whatever wait is under way ends at its next
    // look, and no sample is handed on afterwards.
    void stop();

    MonitorCore core;
    Recorder recorder{core};
    int nextRetryMs() const { return retryMs_; }
    int reconnects() const { return reconnects_; }

signals:
    void stopped();

private:
    void onLinkChanged(const MonitorCore::LinkEvent &event);
    void onSample(const LiveSample &sample);
    void onIdentity(const DeviceIdentity &identity);
    void reconnect();
    void checkSilence();
    void scheduleRetry();

    Timing timing_;
    QVector<SampleSink *> sinks_;
    QTimer retryTimer_;
    QTimer silenceTimer_;
    QElapsedTimer sinceAnswer_;
    int retryMs_ = 0;
    int reconnects_ = 0;
    bool stopping_ = false;
    bool droppingSilentLink_ = false;
};

#endif
