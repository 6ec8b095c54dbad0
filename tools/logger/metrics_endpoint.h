#ifndef METRICS_ENDPOINT_H
#define METRICS_ENDPOINT_H

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link_stats.h"
#include "live_sample.h"
#include "sample_sink.h"

class MonitorCore;
namespace httplib { class Server; }

// What one device's metrics say at one moment: plain data, copied across to
// the endpoint's thread.
struct DeviceMetrics
{
    int address = 0;
    std::string serial;
    bool up = false;
    bool haveSample = false;   // values are only shown while up and once read
    LiveSample sample;
    RequestCounters kinds[RequestKindCount];
};

// The Prometheus text format of the devices' metrics, appended to out.
void renderMetrics(std::string &out, const std::vector<DeviceMetrics> &devices,
                   const char *version);

// "HOST:PORT", ":PORT" or "PORT" (host 127.0.0.1), "[v6]:PORT"; port 0 takes
// any free port. False with the reason in error.
bool parseListenAddress(const QString &text, std::string &host, int &port, QString &error);

// Serves /metrics from its own thread, from the latest published snapshot:
// a scrape never waits for the polling thread, and a slow or hostile client
// only ever holds one of the server's threads.
class MetricsEndpoint
{
public:
    MetricsEndpoint();
    ~MetricsEndpoint();

    // Binds and starts serving; false with the reason in error.
    bool start(const std::string &host, int port, QString &error);
    void stop();
    int port() const { return port_; }

    void publish(const std::vector<DeviceMetrics> &devices);
    std::string render() const;

private:
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<DeviceMetrics> snapshot_;
    int port_ = 0;
};

// Gathers the metrics of the logger's cores on the polling thread and hands
// them to the endpoint: after every sample, on every link change and twice a
// second for the counters.
class MetricsFeed : public QObject, public SampleSink
{
    Q_OBJECT

public:
    // A device counts as up while it answered within this long.
    static constexpr int UpWindowMs = 10000;

    MetricsFeed(MetricsEndpoint &endpoint, const QVector<MonitorCore *> &cores,
                QObject *parent = nullptr);

    void writeSample(const LiveSample &sample) override;
    void writeIdentity(const DeviceIdentity &identity, qint64 timeMs,
                       int utcOffsetSeconds) override;
    void publish();

private:
    struct Device
    {
        MonitorCore *core = nullptr;
        QElapsedTimer lastAnswer;
    };
    Device *deviceAt(int address);

    MetricsEndpoint &endpoint_;
    QVector<Device> devices_;
    std::vector<DeviceMetrics> metrics_;
    QTimer refresh_;
};

#endif
