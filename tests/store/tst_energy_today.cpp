// Energy today from the recorded totals: the figure a publisher gives after
// each reading, across midnight, across a restart (seeded as the store keeps
// it), with a cleared counter, a jumping one, and a first reading after a
// start that has nothing to count from.
#include <QtTest>

#include "daily_yield.h"
#include "energy_today.h"

namespace {

constexpr qint64 MinuteMs = 60000;
constexpr int Offset = 3600;   // local = UTC + 1 h: midnight is 23:00 UTC
constexpr qint64 Day = 20430;  // the local day the cases start on

// Milliseconds of hh:mm local time on Day + dayOffset.
qint64 at(int dayOffset, int hh, int mm)
{
    return (Day + dayOffset) * 86400000 + (hh * 60 + mm) * MinuteMs - Offset * 1000;
}

struct Reading
{
    qint64 timeMs;
    qint64 generated;
    qint64 consumed;
};

LiveSample sampleOf(const Reading &r)
{
    LiveSample s;
    s.address = 1;
    s.timeMs = r.timeMs;
    s.utcOffsetSeconds = Offset;
    s.counts[GeneratedEnergyTotal] = r.generated;
    s.counts[ConsumedEnergyTotal] = r.consumed;
    return s;
}

// What the store keeps of a day: its figure and its last counted reading.
struct Seed
{
    bool present = false;
    int dayOffset = 0;
    qint64 generated = 0;
    qint64 consumed = 0;
    Reading last{0, 0, 0};
};

} // namespace

Q_DECLARE_METATYPE(Seed)
Q_DECLARE_METATYPE(QVector<Reading>)

class tst_energy_today : public QObject
{
    Q_OBJECT

private slots:
    void figures_data();
    void figures();
};

void tst_energy_today::figures_data()
{
    QTest::addColumn<Seed>("seed");
    QTest::addColumn<QVector<Reading>>("readings");
    // Per reading "-" (nothing given) or "day:generated kWh/consumed kWh".
    QTest::addColumn<QStringList>("expected");

    const Seed none;
    QTest::newRow("first reading after a start without history")
        << none << QVector<Reading>{{at(0, 10, 0), 100, 40}, {at(0, 10, 10), 101, 40}, {at(0, 10, 20), 102, 41}}
        << QStringList{"-", "0:10/0", "0:20/10"};

    Seed today;
    today.present = true;
    today.generated = 3;
    today.consumed = 1;
    today.last = {at(0, 9, 0), 100, 40};
    QTest::newRow("restart: goes on from the stored day, the gap counted once")
        << today << QVector<Reading>{{at(0, 10, 0), 101, 40}, {at(0, 10, 10), 101, 41}}
        << QStringList{"0:40/10", "0:40/20"};
    QTest::newRow("restart: a reading the store already holds")
        << today << QVector<Reading>{{at(0, 9, 0), 100, 40}, {at(0, 9, 10), 101, 40}}
        << QStringList{"0:30/10", "0:40/10"};

    QTest::newRow("midnight: the figure falls once, the step across it counts for the new day")
        << none
        << QVector<Reading>{{at(0, 23, 30), 100, 40}, {at(0, 23, 40), 101, 40}, {at(0, 23, 50), 102, 40},
                            {at(1, 0, 0), 103, 40}, {at(1, 0, 10), 104, 41}}
        << QStringList{"-", "0:10/0", "0:20/0", "1:10/0", "1:20/10"};
    QTest::newRow("midnight by the local clock, not by UTC")
        << none
        << QVector<Reading>{{at(0, 22, 50), 100, 40}, {at(0, 23, 50), 101, 40}, {at(1, 0, 50), 102, 40}}
        << QStringList{"-", "0:10/0", "1:10/0"};

    QTest::newRow("cleared counter: the fall counts nothing, the count goes on")
        << none
        << QVector<Reading>{{at(0, 12, 0), 100, 40}, {at(0, 12, 10), 101, 40}, {at(0, 12, 20), 0, 0},
                            {at(0, 12, 30), 1, 0}}
        << QStringList{"-", "0:10/0", "0:10/0", "0:20/0"};
    QTest::newRow("cleared counter right after a restart")
        << today << QVector<Reading>{{at(0, 10, 0), 0, 0}, {at(0, 10, 10), 1, 1}}
        << QStringList{"0:30/10", "0:40/20"};

    QTest::newRow("a jump no controller could make counts nothing")
        << none << QVector<Reading>{{at(0, 12, 0), 100, 40}, {at(0, 12, 10), 600, 40}, {at(0, 12, 20), 601, 40}}
        << QStringList{"-", "0:0/0", "0:10/0"};

    Seed longAgo = today;
    longAgo.dayOffset = -3;
    longAgo.last = {at(-3, 9, 0), 90, 30};
    QTest::newRow("restart after days away: nothing to count from at first")
        << longAgo << QVector<Reading>{{at(0, 10, 0), 100, 40}, {at(0, 10, 10), 101, 40}}
        << QStringList{"-", "0:10/0"};

    Seed yesterday = today;
    yesterday.dayOffset = -1;
    yesterday.last = {at(-1, 23, 55), 100, 40};
    QTest::newRow("restart after midnight: yesterday's last reading is the start")
        << yesterday << QVector<Reading>{{at(0, 0, 5), 101, 40}}
        << QStringList{"0:10/0"};
}

void tst_energy_today::figures()
{
    QFETCH(Seed, seed);
    QFETCH(QVector<Reading>, readings);
    QFETCH(QStringList, expected);

    EnergyToday today;
    if (seed.present) {
        DayYield d;
        d.address = 1;
        d.day = Day + seed.dayOffset;
        d.generated = seed.generated;
        d.consumed = seed.consumed;
        today.seed(d, seed.last.timeMs, seed.last.generated, seed.last.consumed);
    }
    QStringList got;
    for (const Reading &r : readings) {
        EnergyToday::Figure f;
        got << (today.add(sampleOf(r), &f)
                    ? QStringLiteral("%1:%2/%3").arg(f.day - Day).arg(f.generatedKwh()).arg(f.consumedKwh())
                    : QStringLiteral("-"));
    }
    QCOMPARE(got, expected);
}

QTEST_GUILESS_MAIN(tst_energy_today)
#include "tst_energy_today.moc"
