#ifndef HISTORY_DELIVERY_H
#define HISTORY_DELIVERY_H

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <set>

#include "history_store.h"
#include "mqtt_publisher.h"

// Nothing recorded is lost to a broker that was away. Every recorded sample
// reaches the broker once: as the state when it could go out as it was
// taken, else afterwards from the history store on <device>/history, in
// order and with its own time, a bounded number per second so the live
// states keep flowing meanwhile. Per address the store keeps how far
// delivery reached (only over samples the broker acknowledged), so a
// restarted logger goes on from there. Store and publisher are not owned;
// the publisher runs in backlog mode.
class HistoryDelivery : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultRatePerSecond = 10000;
    static constexpr int MaxInFlight = 2000;

    HistoryDelivery(HistoryStore *store, MqttPublisher *publisher, QObject *parent = nullptr);
    // Keeps the mark of what was acknowledged so far.
    ~HistoryDelivery() override;

    // A sample just recorded; mid is what publishSample() returned for it.
    void sampleTaken(const LiveSample &sample, int mid);

    void setRatePerSecond(int samples) { rate_ = qMax(1, samples); }
    // Samples sent on <device>/history since start.
    qint64 historySent() const { return historySent_; }
    bool catchingUp() const { return sendTimer_.isActive(); }

private:
    struct Device
    {
        qint64 mark = -1;        // every sample up to here was delivered
        qint64 cursor = -1;      // the history walk of this connection reached here
        std::set<qint64> claimed;     // above mark: sent and awaited, or delivered
        std::set<qint64> delivered;   // above mark: acknowledged
        bool walkDone = true;
    };
    struct Sent
    {
        int address;
        qint64 timeMs;
    };

    Device &device(int address, qint64 firstTimeMs);
    void onConnected(bool connected);
    void onDelivered(int mid);
    void sendSome();
    void advanceMarks(bool flushFirst = false);

    QPointer<HistoryStore> store_;
    QPointer<MqttPublisher> publisher_;
    QHash<int, Device> devices_;
    QHash<int, Sent> inFlight_;
    QTimer sendTimer_;
    QTimer markTimer_;
    int rate_ = DefaultRatePerSecond;
    qint64 historySent_ = 0;
};

#endif
