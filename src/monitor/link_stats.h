#ifndef LINK_STATS_H
#define LINK_STATS_H

#include <QtGlobal>
#include <cstdint>

#include "request_observer.h"

// What kind of request the link carried; the statistics are kept apart by it.
enum class RequestKind : int {
    LiveValues,
    Totals,
    Identity,
    Scan,
    ParameterRead,
    ParameterWrite,
    Command,
};
constexpr int RequestKindCount = 7;

// Counters of one request kind. Plain data: a copy is a consistent snapshot
// that another thread may read at leisure.
struct RequestCounters
{
    // Upper bounds of the round-trip histogram, in seconds (and +Inf after).
    static constexpr int RttBounds = 9;
    static constexpr double RttBoundSeconds[RttBounds] = {0.005, 0.01, 0.025, 0.05, 0.1,
                                                          0.25,  0.5,  1.0,   2.0};
    // Modbus exception answers by code 1 to 11; slot 0 holds every other code.
    static constexpr int ExceptionSlots = 12;

    quint64 sent = 0;          // new requests
    quint64 answered = 0;
    quint64 failed = 0;        // ended without an acceptable answer
    quint64 timedOut = 0;      // response timer ran out (each attempt)
    quint64 resent = 0;
    quint64 badChecksum = 0;
    quint64 wrongAddress = 0;
    quint64 wrongTransaction = 0;
    quint64 wrongUnit = 0;
    quint64 malformed = 0;
    quint64 exceptions[ExceptionSlots] = {};
    quint64 bytesOut = 0;
    quint64 bytesIn = 0;
    quint64 rttBuckets[RttBounds + 1] = {};   // not cumulative; the last is +Inf
    quint64 rttCount = 0;
    double rttSumSeconds = 0;

    quint64 exceptionTotal() const;
    void add(const RequestCounters &other);
};

// The link statistics of one device (one core): counters per request kind,
// and the answer rate of the last minutes. Fed through the observers of the
// core's two engines; nothing here allocates after construction.
class LinkStats
{
public:
    static constexpr qint64 RecentWindowMs = 5 * 60 * 1000;

    LinkStats();
    LinkStats(const LinkStats &) = delete;
    LinkStats &operator=(const LinkStats &) = delete;

    // The observers for the core's main engine and its bus-scan engine.
    RequestObserver *mainObserver() { return &main_; }
    RequestObserver *scanObserver() { return &scan_; }
    // The kind of the main engine's next requests.
    void setMainKind(RequestKind kind) { main_.kind = kind; }

    const RequestCounters &counters(RequestKind kind) const { return kinds_[int(kind)]; }
    RequestCounters total() const;
    void reset();

    struct Recent
    {
        quint64 answered = 0;
        quint64 finished = 0;   // answered or failed
    };
    // Requests that ended within the last five minutes.
    Recent recent() const;

    // Monotonic milliseconds; tests may replace the clock.
    using Clock = qint64 (*)();
    void setClock(Clock clock) { clock_ = clock; }

private:
    struct Tap : RequestObserver
    {
        LinkStats *stats = nullptr;
        RequestKind kind = RequestKind::LiveValues;
        qint64 sentNs = 0;       // the latest frame written, 0: none yet
        qint64 receivedNs = 0;   // the latest bytes read after it

        void requestSent(int bytes) override;
        void requestResent(int bytes) override;
        void responseTimedOut() override;
        void responseRejected(Reject why, int exceptionCode) override;
        void requestAnswered() override;
        void requestFailed() override;
        void frameWritten() override;
        void bytesReceived(int bytes) override;
        RequestCounters &c() { return stats->kinds_[int(kind)]; }
    };

    // Ten-second slots over the recent window, reused round the ring.
    static constexpr qint64 SlotMs = 10000;
    static constexpr int SlotCount = int(RecentWindowMs / SlotMs);
    struct Slot
    {
        qint64 index = -1;
        quint32 answered = 0;
        quint32 finished = 0;
    };
    void noteFinished(bool answered, qint64 nowNs);
    qint64 nowNs() const;

    RequestCounters kinds_[RequestKindCount];
    Slot slots_[SlotCount];
    Tap main_;
    Tap scan_;
    Clock clock_ = nullptr;
};

// Short stable names, as the metrics' labels carry them.
const char *requestKindName(RequestKind kind);

#endif
