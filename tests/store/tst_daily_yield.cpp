// The days the store keeps beside the samples: a recorded month with a
// cleared counter and a gap of days gives exactly the expected table, in any
// batching, across a restart, with another process writing the same file,
// and for a file recorded before the days were kept.
#include <QTemporaryDir>
#include <QtTest>

#include "daily_yield.h"
#include "history_store.h"
#include "yield_month.h"

namespace {

constexpr qint64 FirstDay = 20400;   // 2025-11-08

QStringList rowsOf(const QVector<DayYield> &days)
{
    QStringList rows;
    for (const DayYield &d : days)
        rows << YieldMonth::row(d) + QStringLiteral(" n%1").arg(d.samples);
    return rows;
}

QStringList expectedRows()
{
    return rowsOf(YieldMonth::expected(FirstDay));
}

} // namespace

class tst_daily_yield : public QObject
{
    Q_OBJECT

private slots:
    void recordedMonth_data();
    void recordedMonth();
    void otherAddressKeptApart();
    void builtFromOlderFile();
    void foldRules_data();
    void foldRules();
};

void tst_daily_yield::recordedMonth_data()
{
    QTest::addColumn<int>("batch");
    QTest::addColumn<int>("reopenAfter");   // samples; 0: never
    QTest::newRow("one sample a batch") << 1 << 0;
    QTest::newRow("batches of 7") << 7 << 0;
    QTest::newRow("one batch") << 5000 << 0;
    QTest::newRow("restart on day 8") << 13 << 170;
    QTest::newRow("restart on day 23") << 50 << 400;
}

void tst_daily_yield::recordedMonth()
{
    QFETCH(int, batch);
    QFETCH(int, reopenAfter);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("h.sqlite"));
    auto store = std::make_unique<HistoryStore>();
    QVERIFY(store->open(path));
    store->setBatchLimits(batch, 60000);
    const QVector<LiveSample> samples = YieldMonth::samples(FirstDay);
    for (int i = 0; i < samples.size(); ++i) {
        if (i == reopenAfter && reopenAfter > 0) {
            store = std::make_unique<HistoryStore>();
            QVERIFY(store->open(path));
            store->setBatchLimits(batch, 60000);
        }
        store->append(samples[i]);
    }
    QVERIFY(store->flush());
    QCOMPARE(rowsOf(DailyYield::read(*store, 1, FirstDay - 5, FirstDay + 40)), expectedRows());
    // A window of days cuts the list, a repeated batch changes nothing.
    QCOMPARE(DailyYield::read(*store, 1, FirstDay + 19, FirstDay + 23).size(), 2);
    for (int i = samples.size() - 40; i < samples.size(); ++i)
        store->append(samples[i]);
    QVERIFY(store->flush());
    QCOMPARE(rowsOf(DailyYield::read(*store, 1, FirstDay, FirstDay + 29)), expectedRows());
}

void tst_daily_yield::otherAddressKeptApart()
{
    QTemporaryDir dir;
    HistoryStore store;
    QVERIFY(store.open(dir.filePath(QStringLiteral("h.sqlite"))));
    store.setBatchLimits(25, 60000);
    for (const LiveSample &s : YieldMonth::samples(FirstDay))
        store.append(s);
    QVERIFY(store.flush());
    QCOMPARE(rowsOf(DailyYield::read(store, 2, FirstDay, FirstDay + 29)),
             QStringList({QStringLiteral("2025-11-08 0 0 25.00 25.00 n15"),
                          QStringLiteral("2025-11-09 10 0 25.00 25.00 n15"),
                          QStringLiteral("2025-11-10 10 0 25.00 25.00 n15")}));
    const QVector<DayYield> all = DailyYield::read(store, -1, FirstDay, FirstDay + 1);
    QCOMPARE(all.size(), 4);
    QCOMPARE(all[0].address, 1);
    QCOMPARE(all[1].address, 2);
    QCOMPARE(all[2].day, FirstDay + 1);
}

// A file of the first schema: samples only. Opening it builds the days.
void tst_daily_yield::builtFromOlderFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("h.sqlite"));
    {
        HistoryStore store;
        QVERIFY(store.open(path));
        for (const LiveSample &s : YieldMonth::samples(FirstDay))
            store.append(s);
        QVERIFY(store.flush());
        QVERIFY(store.execute(QStringLiteral("DROP TABLE day_yield; PRAGMA user_version=1")));
    }
    HistoryStore store;
    QVERIFY2(store.open(path), qPrintable(store.errorString()));
    QCOMPARE(rowsOf(DailyYield::read(store, 1, FirstDay, FirstDay + 29)), expectedRows());
    // Recording goes on from the last reading the rebuild found.
    LiveSample next = YieldMonth::samples(FirstDay).last();
    next.timeMs += 3600 * 1000;
    next.counts[GeneratedEnergyTotal] += 1;
    store.append(next);
    QVERIFY(store.flush());
    const QVector<DayYield> last = DailyYield::read(store, 1, FirstDay + 29, FirstDay + 29);
    QCOMPARE(last.size(), 1);
    QCOMPARE(last[0].generated, 3);
}

// One step at a time: pairs of readings and what the later one's day gets.
void tst_daily_yield::foldRules_data()
{
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("to");
    QTest::addColumn<qint64>("counted");
    const qint64 hour = 3600 * 1000;
    QTest::newRow("rise") << hour << qint64(100) << qint64(101) << qint64(1);
    QTest::newRow("no change") << hour << qint64(100) << qint64(100) << qint64(0);
    QTest::newRow("cleared") << hour << qint64(100) << qint64(0) << qint64(0);
    QTest::newRow("cleared, then read at 3") << hour << qint64(100) << qint64(3) << qint64(0);
    QTest::newRow("a second apart, one count") << qint64(1000) << qint64(5) << qint64(6) << qint64(1);
    QTest::newRow("jump back after a garbled zero") << qint64(1000) << qint64(0) << qint64(4321) << qint64(0);
    QTest::newRow("ten hours at 20 kW") << 10 * hour << qint64(0) << qint64(21) << qint64(21);
    QTest::newRow("ten hours, more than 20 kW") << 10 * hour << qint64(0) << qint64(22) << qint64(0);
    QTest::newRow("next day") << 20 * hour << qint64(7) << qint64(9) << qint64(2);
    QTest::newRow("two days on") << 40 * hour << qint64(7) << qint64(9) << qint64(0);
}

void tst_daily_yield::foldRules()
{
    QFETCH(qint64, elapsedMs);
    QFETCH(qint64, from);
    QFETCH(qint64, to);
    QFETCH(qint64, counted);
    LiveSample a;
    a.timeMs = FirstDay * 86400000 + 12 * 3600 * 1000;   // noon UTC, offset 0
    a.counts[GeneratedEnergyTotal] = from;
    a.counts[ConsumedEnergyTotal] = from;
    LiveSample b = a;
    b.timeMs += elapsedMs;
    b.counts[GeneratedEnergyTotal] = to;
    b.counts[ConsumedEnergyTotal] = to;
    DayFold fold;
    QVector<DayYield> done;
    fold.add(a, &done);
    fold.add(b, &done);
    QCOMPARE(fold.current().day, DailyYield::localDay(b.timeMs, 0));
    QCOMPARE(fold.current().generated, counted);
    QCOMPARE(fold.current().consumed, counted);
    // An older reading after them changes nothing.
    fold.add(a, &done);
    QCOMPARE(fold.current().generated, counted);
}

QTEST_GUILESS_MAIN(tst_daily_yield)
#include "tst_daily_yield.moc"
