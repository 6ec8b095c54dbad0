// History store figures: the cost of recording a sample, the bytes it takes on
// disk, and reading one day back out of a year's recording.
//   BENCH_STORE_ROWS=N   rows of the recorded year (default 20 M: a year at one
//                        live-value step every 1.577 s); fewer for a quick run
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>
#include <cmath>

#include "bench_support.h"
#include "history_store.h"

namespace {

constexpr qint64 Start = 1767225600000;   // 2026-01-01T00:00:00Z
constexpr qint64 DayMs = 86400000;

// A plausible day: values that move like a controller's, so the integers take
// the room real ones take.
LiveSample realistic(qint64 i, qint64 periodMs)
{
    LiveSample s;
    s.timeMs = Start + i * periodMs;
    s.utcOffsetSeconds = 3600;
    s.address = 1;
    const double hour = double((s.timeMs / 1000) % 86400) / 3600.0;
    const double sun = qMax(0.0, std::sin((hour - 6.0) / 12.0 * M_PI));
    s.counts[PvVoltage] = qint64(1500 + 300 * sun + i % 7);
    s.counts[PvCurrent] = qint64(1000 * sun + i % 3);
    s.counts[PvPower] = s.counts[PvVoltage] * s.counts[PvCurrent] / 1000;
    s.counts[BatteryVoltage] = 1250 + i % 150;
    s.counts[LoadCurrent] = 120 + i % 11;
    s.counts[BatteryCurrent] = s.counts[PvCurrent] - s.counts[LoadCurrent];
    s.counts[BatteryTemperature] = 18 + i % 5;
    s.counts[BatteryCapacity] = 60 + i % 40;
    s.counts[LoadVoltage] = s.counts[BatteryVoltage];
    s.counts[LoadPower] = s.counts[LoadVoltage] * s.counts[LoadCurrent] / 1000;
    s.counts[InternalTemperature] = 30 + i % 4;
    s.counts[GeneratedChargeTotal] = 1234 + i / 5000;
    s.counts[ConsumedChargeTotal] = 1100 + i / 6000;
    s.counts[GeneratedEnergyTotal] = 17 + i / 100000;
    s.counts[ConsumedEnergyTotal] = 15 + i / 120000;
    s.chargeStageText = sun > 0.3 ? QStringLiteral("MPPT") : QStringLiteral("Float");
    s.pvStateText = sun > 0 ? QStringLiteral("Generating") : QStringLiteral("LOW");
    return s;
}

qint64 fileBytes(const QString &path)
{
    return QFileInfo(path).size() + QFileInfo(path + QStringLiteral("-wal")).size();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    out << "machine: " << machineDescription() << Qt::endl;
    QTemporaryDir dir(QDir::currentPath() + QStringLiteral("/bench-store-XXXXXX"));

    // 1. Recording at the default batch size, committed with a synced journal.
    {
        const QString path = dir.filePath(QStringLiteral("insert.sqlite"));
        HistoryStore store;
        store.setBatchLimits(HistoryStore::DefaultBatchSamples, 3600 * 1000);
        if (!store.open(path)) {
            out << store.errorString() << "\n";
            return 1;
        }
        const int n = 100000;
        QVector<LiveSample> samples;
        samples.reserve(n);
        for (int i = 0; i < n; ++i)
            samples.append(realistic(i, 1577));
        const double cpu0 = cpuSeconds();
        QElapsedTimer t;
        t.start();
        for (const LiveSample &s : qAsConst(samples))
            store.append(s);
        store.flush();
        const double wallUs = double(t.nsecsElapsed()) / 1000.0 / n;
        const double cpuUs = (cpuSeconds() - cpu0) * 1e6 / n;
        reportNote(QStringLiteral("%1 samples in batches of %2, synced commits: %3 us wall, %4 us CPU each")
                       .arg(n).arg(HistoryStore::DefaultBatchSamples).arg(wallUs, 0, 'f', 2).arg(cpuUs, 0, 'f', 2));
        reportResult(QStringLiteral("store insert per sample"), wallUs, QStringLiteral("us"),
                     QStringLiteral("target <= 20 us amortized"), wallUs / 20.0, wallUs <= 20.0);
        store.close();
        {
            HistoryStore reopened;   // all of the journal back in the file
            reopened.open(path);
            reopened.execute(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        }
        const double perSample = double(fileBytes(path)) / n;
        reportResult(QStringLiteral("store bytes on disk per sample"), perSample, QStringLiteral("bytes"),
                     QStringLiteral("target <= 80 bytes"), perSample / 80.0, perSample <= 80.0);
    }

    // 2. One day out of a year. The year is written by one INSERT ... SELECT in
    // one transaction, with the same value pattern as above computed in SQL.
    {
        const qint64 rows = qEnvironmentVariableIsSet("BENCH_STORE_ROWS")
                                ? qEnvironmentVariable("BENCH_STORE_ROWS").toLongLong()
                                : 20000000;
        const qint64 period = 365 * DayMs / rows;
        const QString path = dir.filePath(QStringLiteral("year.sqlite"));
        HistoryStore store;
        if (!store.open(path))
            return 1;
        store.append(realistic(0, period));   // device and label rows
        store.flush();
        QElapsedTimer t;
        t.start();
        store.execute(QStringLiteral("PRAGMA synchronous=OFF"));
        store.execute(QStringLiteral("BEGIN"));
        const QString sql = QStringLiteral(
            "WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM c WHERE i < %1) "
            "INSERT INTO sample SELECT %2 + i * %3, 1, 3600, 1500 + i % 7 + (i / 30) % 300, (i / 20) % 1000,"
            " (i / 20) % 1000 * 17, 1250 + i % 150, (i / 20) % 1000 - 120, 18 + i % 5, 60 + i % 40,"
            " 1250 + i % 150, 120 + i % 11, 150 + i % 30, 30 + i % 4, 1234 + i / 5000, 1100 + i / 6000,"
            " 17 + i / 100000, 15 + i / 120000, 0, 1 + i % 2, 1 + i % 2 FROM c")
                                .arg(rows - 1).arg(Start).arg(period);
        if (!store.execute(sql) || !store.execute(QStringLiteral("COMMIT"))) {
            out << "generating the year failed\n";
            return 1;
        }
        store.execute(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        reportNote(QStringLiteral("a year of %1 rows (one every %2 ms) written in %3 s, %4 MB")
                       .arg(rows).arg(period).arg(t.elapsed() / 1000.0, 0, 'f', 1)
                       .arg(fileBytes(path) / 1e6, 0, 'f', 0));
        QVector<double> ms;
        qint64 dayRows = 0;
        for (int day : {17, 93, 181, 250, 302, 340, 45, 120, 200}) {
            const qint64 from = Start + day * DayMs;
            t.restart();
            qint64 n = 0;
            qint64 check = 0;
            store.forEachInRange(from, from + DayMs - 1, [&](const LiveSample &s) {
                ++n;
                check += s.counts[PvVoltage];
                return true;
            });
            ms.append(double(t.nsecsElapsed()) / 1e6);
            dayRows = n;
            Q_UNUSED(check)
        }
        const double m = median(ms);
        reportNote(QStringLiteral("a day is %1 rows; readRange-style streaming, median of %2 days")
                       .arg(dayRows).arg(ms.size()));
        reportResult(QStringLiteral("store day read from a year"), m, QStringLiteral("ms"),
                     QStringLiteral("target <= 50 ms"), m / 50.0, m <= 50.0);
    }
    return 0;
}
