// The History tab opened on a recorded year: the history file holds a year
// of readings (one every BENCH_YIELD_PERIOD_S seconds, 10 by default: three
// million rows), and the figure is the time from choosing the tab to its
// first paint, the thirty days read from the figures the store keeps per
// day. Building those figures once from the samples (an older file) is
// reported beside it.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTabWidget>
#include <QTemporaryDir>

#include "bench_support.h"
#include "daily_yield.h"
#include "history_store.h"
#include "mainwindow.h"
#include "yield_view.h"

namespace {

constexpr double TargetMs = 300.0;
constexpr int Days = 365;
constexpr int Runs = 5;

qint64 periodMs()
{
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("BENCH_YIELD_PERIOD_S", &ok);
    return (ok && seconds > 0 ? seconds : 10) * 1000;
}

// Samples straight into the table (appending three million readings one by
// one would take longer than the measurement is worth), then the days built
// as for a file recorded before they were kept. Returns the seconds that took.
double writeYear(const QString &path, qint64 endMs, qint64 *rows)
{
    const qint64 period = periodMs();
    *rows = qint64(Days) * 86400 * 1000 / period;
    const qint64 start = endMs - *rows * period;
    {
        HistoryStore store;
        if (!store.open(path))
            return -1;
        LiveSample first;
        first.timeMs = start - period;
        first.address = 1;
        first.chargeStageText = QStringLiteral("MPPT");
        first.pvStateText = QStringLiteral("Generating");
        store.append(first);   // the device and label rows
        store.flush();
        store.execute(QStringLiteral("PRAGMA synchronous=OFF"));
        store.execute(QStringLiteral("BEGIN"));
        const bool ok = store.execute(QStringLiteral(
            "WITH RECURSIVE c(i) AS (SELECT 0 UNION ALL SELECT i+1 FROM c WHERE i < %1) "
            "INSERT INTO sample SELECT %2 + i * %3, 1, 3600, 1500 + i % 7, (i / 20) % 1000,"
            " (i / 20) % 1000 * 17, 1250 + i % 150, (i / 20) % 1000 - 120, 18 + i % 5, 60 + i % 40,"
            " 1250 + i % 150, 120 + i % 11, 150 + i % 30, 30 + i % 4, 1234 + i / 5000, 1100 + i / 6000,"
            " 1000 + i / 2000, 500 + i / 4000, 0, 1, 1 FROM c")
                                   .arg(*rows - 1).arg(start).arg(period))
                        && store.execute(QStringLiteral("COMMIT"))
                        && store.execute(QStringLiteral("DROP TABLE day_yield"))
                        && store.execute(QStringLiteral("PRAGMA user_version=1"));
        store.execute(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        if (!ok)
            return -1;
    }
    QElapsedTimer clock;
    clock.start();
    HistoryStore store;
    if (!store.open(path))
        return -1;
    return clock.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    reportNote(machineDescription());
    QTemporaryDir dir(QDir::currentPath() + QStringLiteral("/bench-yield-XXXXXX"));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());

    qint64 rows = 0;
    const double buildSeconds = writeYear(dir.filePath(QStringLiteral("history.sqlite")),
                                          QDateTime::currentMSecsSinceEpoch(), &rows);
    if (buildSeconds < 0) {
        reportNote(QStringLiteral("writing the recorded year failed"));
        return 1;
    }
    QFile config(QStringLiteral("config.ini"));
    config.open(QIODevice::WriteOnly);
    config.write("[record]\nenabled=true\ndatabase=history.sqlite\n");
    config.close();

    QVector<double> wall, cpu;
    int days = 0;
    for (int i = 0; i < Runs; ++i) {
        MainWindow w;
        w.core.refreshTimer.stop();
        w.show();
        QApplication::processEvents();
        auto *tabs = w.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
        const double cpuStart = cpuSeconds();
        QElapsedTimer clock;
        clock.start();
        tabs->setCurrentIndex(2);
        QApplication::processEvents();
        wall.append(clock.nsecsElapsed() / 1e6);
        cpu.append((cpuSeconds() - cpuStart) * 1000.0);
        days = w.findChild<YieldView *>()->days().size();
    }
    const double ms = median(wall);
    reportNote(QStringLiteral("%1 recorded rows over %2 days; %3 days shown; CPU %4 ms")
                   .arg(rows).arg(Days).arg(days).arg(median(cpu), 0, 'f', 1));
    reportNote(QStringLiteral("per-day figures built once from the samples of the year: %1 s")
                   .arg(buildSeconds, 0, 'f', 1));
    reportResult(QStringLiteral("History tab opened on a recorded year"), ms, QStringLiteral("ms"),
                 QStringLiteral("target <= %1 ms").arg(TargetMs), ms / TargetMs, ms <= TargetMs && days == 30);
    QDir::setCurrent(previous);
    return 0;
}
