#include "history_delivery.h"

#include <limits>

namespace {

constexpr int SendIntervalMs = 10;
// The mark is a synced write: a few times a second is enough.
constexpr int MarkIntervalMs = 250;
constexpr qint64 Forever = std::numeric_limits<qint64>::max();

} // namespace

HistoryDelivery::HistoryDelivery(HistoryStore *store, MqttPublisher *publisher, QObject *parent)
    : QObject(parent), store_(store), publisher_(publisher)
{
    publisher->setBacklogMode(true);
    sendTimer_.setInterval(SendIntervalMs);
    connect(&sendTimer_, &QTimer::timeout, this, &HistoryDelivery::sendSome);
    markTimer_.setInterval(MarkIntervalMs);
    markTimer_.setSingleShot(true);
    connect(&markTimer_, &QTimer::timeout, this, [this] { advanceMarks(); });
    connect(publisher, &MqttPublisher::connectedChanged, this, &HistoryDelivery::onConnected);
    connect(publisher, &MqttPublisher::messageDelivered, this, &HistoryDelivery::onDelivered);
}

HistoryDelivery::~HistoryDelivery()
{
    advanceMarks(true);
}

HistoryDelivery::Device &HistoryDelivery::device(int address, qint64 firstTimeMs)
{
    auto it = devices_.find(address);
    if (it == devices_.end()) {
        Device d;
        d.mark = store_ ? store_->deliveredUpTo(address) : -1;
        if (d.mark < 0) {
            // Never delivered before: from now on, not the whole past.
            d.mark = firstTimeMs - 1;
            if (store_)
                store_->setDeliveredUpTo(address, d.mark);
        }
        d.cursor = d.mark;
        d.walkDone = false;
        it = devices_.insert(address, d);
    }
    return *it;
}

void HistoryDelivery::sampleTaken(const LiveSample &sample, int mid)
{
    Device &d = device(sample.address, sample.timeMs);
    if (mid >= 0) {
        d.claimed.insert(sample.timeMs);
        inFlight_.insert(mid, Sent{sample.address, sample.timeMs});
        return;
    }
    // Not sent as it was taken: the history walk picks it up once connected.
    d.walkDone = false;
    if (publisher_ && publisher_->isConnected() && !sendTimer_.isActive())
        sendTimer_.start();
}

void HistoryDelivery::onConnected(bool connected)
{
    if (!connected) {
        // What was not acknowledged is sent again on the next connection.
        for (const Sent &s : qAsConst(inFlight_)) {
            auto it = devices_.find(s.address);
            if (it != devices_.end())
                it->claimed.erase(s.timeMs);
        }
        inFlight_.clear();
        sendTimer_.stop();
        return;
    }
    for (Device &d : devices_) {
        d.cursor = d.mark;
        d.walkDone = false;
    }
    sendTimer_.start();
}

void HistoryDelivery::onDelivered(int mid)
{
    const auto it = inFlight_.constFind(mid);
    if (it == inFlight_.constEnd())
        return;   // discovery, lamps, availability
    const auto d = devices_.find(it->address);
    if (d != devices_.end())
        d->delivered.insert(it->timeMs);
    inFlight_.erase(it);
    if (!markTimer_.isActive())
        markTimer_.start();
}

void HistoryDelivery::sendSome()
{
    if (!store_ || !publisher_ || !publisher_->isConnected()) {
        sendTimer_.stop();
        return;
    }
    store_->flush();   // the samples of the batch being gathered are wanted too
    int budget = qMax(1, rate_ * SendIntervalMs / 1000);
    bool pending = false;
    for (auto it = devices_.begin(); it != devices_.end(); ++it) {
        Device &d = *it;
        if (d.walkDone)
            continue;
        bool stopped = false;
        store_->forEachInRange(d.cursor + 1, Forever, [&](const LiveSample &s) {
            if (d.claimed.count(s.timeMs) == 0) {
                if (budget <= 0 || inFlight_.size() >= MaxInFlight) {
                    stopped = true;
                    return false;
                }
                const int mid = publisher_->publishHistory(s);
                if (mid < 0) {
                    stopped = true;
                    return false;
                }
                d.claimed.insert(s.timeMs);
                inFlight_.insert(mid, Sent{s.address, s.timeMs});
                ++historySent_;
                --budget;
            }
            d.cursor = s.timeMs;
            return true;
        }, it.key());
        if (stopped)
            pending = true;
        else
            d.walkDone = true;
    }
    if (!pending)
        sendTimer_.stop();
}

void HistoryDelivery::advanceMarks(bool flushFirst)
{
    if (!store_)
        return;
    // Samples acknowledged as states may still wait in the batch; the mark
    // passes them once committed (a flush here would undo the batching).
    if (flushFirst)
        store_->flush();
    for (auto it = devices_.begin(); it != devices_.end(); ++it) {
        Device &d = *it;
        if (d.delivered.empty())
            continue;
        // The mark moves over the samples acknowledged without a gap.
        qint64 mark = d.mark;
        store_->forEachValueInRange(d.mark + 1, Forever, it.key(), {}, [&](const LiveSample &s) {
            if (d.delivered.count(s.timeMs) == 0)
                return false;
            mark = s.timeMs;
            return true;
        });
        if (mark == d.mark)
            continue;
        d.mark = mark;
        d.delivered.erase(d.delivered.begin(), d.delivered.upper_bound(mark));
        d.claimed.erase(d.claimed.begin(), d.claimed.upper_bound(mark));
        store_->setDeliveredUpTo(it.key(), mark);
    }
}
