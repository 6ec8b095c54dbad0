#ifndef BUS_LINE_H
#define BUS_LINE_H

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

#include "link_config.h"
#include "monitor_core.h"

// Every controller on one RS485 line (or behind one network module), each
// polled by a core of its own over the one link: one request on the line at
// a time, the devices' steps interleaved fairly, and on Modbus RTU the
// silence of 3.5 characters before every frame.
//
// A device whose cycle goes by three times without one answer is taken
// offline: from then on it gets one request (without re-sends) a minute
// until it answers again, so it holds up the others by no more than that.
// Answers are checked by each device's own engine against its own request:
// an answer from the wrong address, garbage from two devices talking at
// once or a late answer is a failed step of the device that asked, never a
// value of another.
class BusLine : public QObject
{
    Q_OBJECT

public:
    // Cycle pace: each device a step per tick interval, as a core polled
    // alone (the default); or as fast as the line allows; or a cycle per
    // interval, its steps as fast as the line allows.
    static constexpr int StepPace = -1;
    static constexpr int LinePace = 0;
    static constexpr int FailedCyclesOffline = 3;
    static constexpr int DefaultOfflineIntervalMs = 60000;

    explicit BusLine(QObject *parent = nullptr);
    ~BusLine() override;

    // The core that opens and owns the line's port or socket and probes the
    // bus; its linkChanged tells the line's state.
    MonitorCore &carrier() { return carrier_; }
    const MonitorCore &carrier() const { return carrier_; }

    // A device at address, polled once the link is up. controller is the
    // [type] text ("PWM", "MPPT"); empty takes the link's.
    MonitorCore *addDevice(int address, const QString &controller = QString());
    void removeDevice(int address);
    MonitorCore *device(int address) const;
    QList<int> addresses() const;
    bool isOnline(int address) const;

    void setCycleInterval(int ms) { cycleIntervalMs_ = ms; }
    int cycleInterval() const { return cycleIntervalMs_; }
    void setOfflineInterval(int ms) { offlineIntervalMs_ = qMax(0, ms); }
    // Every engine's response timeout (the scan's too); the tool keeps 500.
    void setResponseTimeout(int ms);

    // Opens the line link describes and polls the devices on it.
    bool connectLink(const LinkConfig &link);
    void disconnectLink();
    bool linkIsUp() const { return carrier_.linkIsUp(); }

    // Probes every address from first to last once, one request each,
    // between the devices' steps; scanFinished names those that answered.
    void scan(int first, int last);
    bool scanning() const { return !scanQueue_.isEmpty(); }

    // What went over the line since the link came up.
    struct Counters
    {
        qint64 requests = 0;   // frames sent, re-sends included
        qint64 bytesOut = 0;
        qint64 bytesIn = 0;    // bytes handed to an engine as an answer
        qint64 answered = 0;
    };
    const Counters &counters() const { return counters_; }
    void resetCounters() { counters_ = Counters(); }

signals:
    // A device went offline (three cycles without an answer) or answered again.
    void deviceOnlineChanged(int address, bool online);
    void scanFinished(const QList<int> &answered);

private:
    struct Device
    {
        int address = 0;
        QString controller;
        std::unique_ptr<MonitorCore> core;
        qint64 dueNs = 0;          // its next step may go then
        qint64 cycleStartNs = 0;
        bool online = true;
        bool cycleAnswered = false;
        bool silentBefore = false;   // its latest request met silence
        int failedCycles = 0;
        int retries = 2;           // re-sends while online
        // Of the turn under way.
        bool sent = false;
        bool answered = false;
    };

    void configure(Device &d);
    void onCarrierLink(const MonitorCore::LinkEvent &event);
    void onReadyRead();
    void schedule();
    void pump();
    Device *nextDue(qint64 now);
    void runDevice(Device &d);
    void runProbe();
    void closeCycle(Device &d);
    void setOnline(Device &d, bool online);
    void dropStaleBytes();
    qint64 nowNs() const { return clock_.nsecsElapsed(); }

    MonitorCore carrier_;
    std::vector<std::unique_ptr<Device>> devices_;
    LinkConfig link_;
    QTimer pump_;
    QElapsedTimer clock_;
    QElapsedTimer lineActivity_;   // since the last byte on the line
    MonitorCore *active_ = nullptr;   // whose request the line carries
    bool running_ = false;
    bool bytesSeen_ = false;
    int cycleIntervalMs_ = StepPace;
    int offlineIntervalMs_ = DefaultOfflineIntervalMs;
    int responseTimeoutMs_ = 500;
    QList<int> scanQueue_;
    QList<int> scanAnswered_;
    qint64 scanDueNs_ = 0;
    Counters counters_;
};

#endif
