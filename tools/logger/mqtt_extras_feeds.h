#ifndef MQTT_EXTRAS_FEEDS_H
#define MQTT_EXTRAS_FEEDS_H

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QTimer>
#include <deque>
#include <memory>

#include "energy_today.h"
#include "history_store.h"
#include "monitor_core.h"
#include "mqtt_publisher.h"
#include "sample_sink.h"

class Recorder;

// Energy today of every address, from the recorded totals, to the publisher.
// The first reading of an address goes on from what the store kept of it, so
// a restart neither starts the day at 0 nor counts its energy twice.
class EnergyTodaySink : public SampleSink
{
public:
    EnergyTodaySink(HistoryStore &store, MqttPublisher &publisher) : store_(store), publisher_(publisher) {}

    void writeSample(const LiveSample &sample) override;
    void writeIdentity(const DeviceIdentity &, qint64, int) override {}

private:
    HistoryStore &store_;
    MqttPublisher &publisher_;
    QHash<int, EnergyToday> days_;
};

// The link figures of the last five minutes from the statistics' counters,
// which only grow (until a reset): the share of requests answered and the
// timeouts per minute. The bus scan's probes of other addresses are left
// out: a silent empty address says nothing about this device's line.
class LinkWindow
{
public:
    static constexpr qint64 WindowMs = LinkStats::RecentWindowMs;

    struct Figures
    {
        quint64 finished = 0;          // requests ended within the window
        double answerRate = 0;         // percent of them answered
        double timeoutsPerMinute = 0;  // over the time seen, taken as at least a minute
    };
    // Notes the counters at nowMs (monotonic) and gives the window up to then.
    Figures note(qint64 nowMs, quint64 answered, quint64 finished, quint64 timedOut);
    Figures note(qint64 nowMs, const LinkStats &stats);

private:
    struct Point
    {
        qint64 ms;
        quint64 answered, finished, timedOut;
    };
    std::deque<Point> points_;
};

// The link figures of a core, published as diagnostic sensors every interval:
// the answer rate of the last five minutes and the timeouts per minute.
class LinkFiguresFeed : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultIntervalMs = 5000;

    LinkFiguresFeed(MonitorCore &core, MqttPublisher &publisher, QObject *parent = nullptr);
    void setInterval(int ms) { timer_.setInterval(ms); }
    void publishNow();

private:
    MonitorCore &core_;
    MqttPublisher &publisher_;
    QTimer timer_;
    QElapsedTimer clock_;
    LinkWindow window_;
};

// Carries out "ON"/"OFF" from <device>/load/set on the core, as the window's
// load buttons do, and answers on <device>/load/result.
class LoadCommands : public QObject
{
    Q_OBJECT

public:
    LoadCommands(MonitorCore &core, MqttPublisher &publisher, QObject *parent = nullptr);

private:
    void carryOut(int address, bool on);

    MonitorCore &core_;
    MqttPublisher &publisher_;
};

// What the logger adds to its MQTT publishing: energy today (while it
// records), the link figures, and the load switch with [mqtt] commands=true.
struct MqttExtras
{
    std::unique_ptr<EnergyTodaySink> energy;
    std::unique_ptr<LinkFiguresFeed> link;
    std::unique_ptr<LoadCommands> commands;
};

// For the device recorder records, once publisher has started (nothing
// otherwise); energy today only with an open store.
void addMqttExtras(Recorder &recorder, HistoryStore *store, MqttPublisher &publisher, MqttExtras &extras);

#endif
