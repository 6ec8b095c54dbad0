#include "link_stats.h"

#include <time.h>

constexpr double RequestCounters::RttBoundSeconds[RequestCounters::RttBounds];

namespace {

qint64 monotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

} // namespace

quint64 RequestCounters::exceptionTotal() const
{
    quint64 sum = 0;
    for (quint64 n : exceptions)
        sum += n;
    return sum;
}

void RequestCounters::add(const RequestCounters &o)
{
    sent += o.sent;
    answered += o.answered;
    failed += o.failed;
    timedOut += o.timedOut;
    resent += o.resent;
    badChecksum += o.badChecksum;
    wrongAddress += o.wrongAddress;
    wrongTransaction += o.wrongTransaction;
    wrongUnit += o.wrongUnit;
    malformed += o.malformed;
    for (int i = 0; i < ExceptionSlots; ++i)
        exceptions[i] += o.exceptions[i];
    bytesOut += o.bytesOut;
    bytesIn += o.bytesIn;
    for (int i = 0; i <= RttBounds; ++i)
        rttBuckets[i] += o.rttBuckets[i];
    rttCount += o.rttCount;
    rttSumSeconds += o.rttSumSeconds;
}

const char *requestKindName(RequestKind kind)
{
    switch (kind) {
    case RequestKind::LiveValues: return "live";
    case RequestKind::Totals: return "totals";
    case RequestKind::Identity: return "identity";
    case RequestKind::Scan: return "scan";
    case RequestKind::ParameterRead: return "parameter_read";
    case RequestKind::ParameterWrite: return "parameter_write";
    case RequestKind::Command: return "command";
    }
    return "unknown";
}

LinkStats::LinkStats()
{
    main_.stats = this;
    scan_.stats = this;
    scan_.kind = RequestKind::Scan;
}

RequestCounters LinkStats::total() const
{
    RequestCounters sum;
    for (const RequestCounters &k : kinds_)
        sum.add(k);
    return sum;
}

void LinkStats::reset()
{
    for (RequestCounters &k : kinds_)
        k = RequestCounters();
    for (Slot &s : slots_)
        s = Slot();
}

qint64 LinkStats::nowNs() const
{
    return clock_ ? clock_() * 1000000 : monotonicNs();
}

void LinkStats::noteFinished(bool answered, qint64 now)
{
    if (now <= 0)
        return;   // no link told the time: nothing to place in the window
    const qint64 index = now / 1000000 / SlotMs;
    Slot &slot = slots_[index % SlotCount];
    if (slot.index != index)
        slot = Slot{index, 0, 0};
    ++slot.finished;
    if (answered)
        ++slot.answered;
}

LinkStats::Recent LinkStats::recent() const
{
    // The current slot is partly filled, so the window reaches back over
    // SlotCount whole slots before it: at most ten seconds more than asked.
    const qint64 index = nowNs() / 1000000 / SlotMs;
    Recent r;
    for (const Slot &s : slots_) {
        if (s.index >= 0 && s.index <= index && index - s.index < SlotCount) {
            r.answered += s.answered;
            r.finished += s.finished;
        }
    }
    return r;
}

// --- the engines' observers --------------------------------------------------

void LinkStats::Tap::requestSent(int bytes)
{
    RequestCounters &k = c();
    ++k.sent;
    k.bytesOut += quint64(qMax(0, bytes));
    sentNs = 0;
    receivedNs = 0;
}

void LinkStats::Tap::requestResent(int bytes)
{
    RequestCounters &k = c();
    ++k.resent;
    k.bytesOut += quint64(qMax(0, bytes));
    sentNs = 0;
    receivedNs = 0;
}

void LinkStats::Tap::responseTimedOut() { ++c().timedOut; }

void LinkStats::Tap::responseRejected(Reject why, int exceptionCode)
{
    RequestCounters &k = c();
    switch (why) {
    case Reject::BadChecksum: ++k.badChecksum; break;
    case Reject::WrongAddress: ++k.wrongAddress; break;
    case Reject::WrongTransaction: ++k.wrongTransaction; break;
    case Reject::WrongUnit: ++k.wrongUnit; break;
    case Reject::Malformed: ++k.malformed; break;
    case Reject::Exception:
        ++k.exceptions[exceptionCode >= 1 && exceptionCode < RequestCounters::ExceptionSlots
                           ? exceptionCode : 0];
        break;
    }
}

// The round trip is known when the link wrote the frame and read its answer;
// an engine used without a link counts answers alone.
void LinkStats::Tap::requestAnswered()
{
    RequestCounters &k = c();
    ++k.answered;
    if (sentNs > 0 && receivedNs >= sentNs) {
        const double seconds = double(receivedNs - sentNs) / 1e9;
        int bucket = 0;
        while (bucket < RequestCounters::RttBounds && seconds > RequestCounters::RttBoundSeconds[bucket])
            ++bucket;
        ++k.rttBuckets[bucket];
        ++k.rttCount;
        k.rttSumSeconds += seconds;
    }
    stats->noteFinished(true, receivedNs);
}

void LinkStats::Tap::requestFailed()
{
    ++c().failed;
    stats->noteFinished(false, sentNs);
}

void LinkStats::Tap::frameWritten() { sentNs = stats->nowNs(); }

void LinkStats::Tap::bytesReceived(int bytes)
{
    c().bytesIn += quint64(qMax(0, bytes));
    receivedNs = stats->nowNs();
}
