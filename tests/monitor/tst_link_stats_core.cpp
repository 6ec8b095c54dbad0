// The statistics' own arithmetic: round-trip buckets at their bounds, the
// five-minute answer window sliding on, and Reset.
#include <QtTest>

#include "link_stats.h"

namespace {

qint64 nowMs = 0;
qint64 testClock() { return nowMs; }

// One request through the observer as engine and link tell it: written at
// sentMs, answered (or not) at endMs.
void request(LinkStats &stats, qint64 sentMs, qint64 endMs, bool answered)
{
    RequestObserver *o = stats.mainObserver();
    nowMs = sentMs;
    o->requestSent(8);
    o->frameWritten();
    nowMs = endMs;
    if (answered) {
        o->bytesReceived(29);
        o->requestAnswered();
    } else {
        o->responseTimedOut();
        o->requestFailed();
    }
}

} // namespace

class tst_link_stats_core : public QObject
{
    Q_OBJECT

private slots:
    void roundTripBuckets_data();
    void roundTripBuckets();
    void recentWindowSlides();
};

void tst_link_stats_core::roundTripBuckets_data()
{
    QTest::addColumn<int>("ms");
    QTest::addColumn<int>("bucket");
    QTest::newRow("0 ms") << 0 << 0;
    QTest::newRow("5 ms, on the first bound") << 5 << 0;
    QTest::newRow("6 ms") << 6 << 1;
    QTest::newRow("500 ms") << 500 << 6;
    QTest::newRow("2 s") << 2000 << 8;
    QTest::newRow("2.5 s, past the last bound") << 2500 << 9;
}

void tst_link_stats_core::roundTripBuckets()
{
    QFETCH(int, ms);
    QFETCH(int, bucket);
    LinkStats stats;
    stats.setClock(testClock);
    stats.setMainKind(RequestKind::Totals);
    request(stats, 1000, 1000 + ms, true);
    const RequestCounters &c = stats.counters(RequestKind::Totals);
    for (int b = 0; b <= RequestCounters::RttBounds; ++b)
        QCOMPARE(c.rttBuckets[b], b == bucket ? 1ull : 0ull);
    QCOMPARE(c.rttCount, 1ull);
    QCOMPARE(c.rttSumSeconds, ms / 1000.0);
    QCOMPARE(c.bytesOut, 8ull);
    QCOMPARE(c.bytesIn, 29ull);
    QCOMPARE(stats.counters(RequestKind::LiveValues).sent, 0ull);
}

void tst_link_stats_core::recentWindowSlides()
{
    LinkStats stats;
    stats.setClock(testClock);
    const qint64 minute = 60000;
    const qint64 start = 1000 * minute;
    request(stats, start, start + 10, true);
    request(stats, start + 10, start + 600, false);
    request(stats, start + 2 * minute, start + 2 * minute + 10, true);
    nowMs = start + 3 * minute;
    QCOMPARE(stats.recent().answered, 2ull);
    QCOMPARE(stats.recent().finished, 3ull);
    // Six minutes on, the first two have left the window.
    nowMs = start + 6 * minute;
    QCOMPARE(stats.recent().answered, 1ull);
    QCOMPARE(stats.recent().finished, 1ull);
    // Round the ring: a slot reused much later holds only its new requests.
    request(stats, start + 60 * minute, start + 60 * minute + 5, false);
    QCOMPARE(stats.recent().answered, 0ull);
    QCOMPARE(stats.recent().finished, 1ull);
    stats.reset();
    QCOMPARE(stats.recent().finished, 0ull);
    QCOMPARE(stats.total().sent, 0ull);
}

QTEST_GUILESS_MAIN(tst_link_stats_core)
#include "tst_link_stats_core.moc"
