// The window opened on seven recorded days: the history file holds a week at
// the polling rate (one live-value step every 1.577 s), and the window with
// "Record history" on builds its curve view from it. The figure is the wait
// the history adds to opening the window: construction and first paint with
// the history, less the same without it.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <qcustomplot.h>

#include "bench_support.h"
#include "history_recording.h"
#include "history_store.h"
#include "mainwindow.h"

namespace {

constexpr double TargetMs = 500.0;
constexpr qint64 PeriodMs = 1577;
constexpr int Days = 7;
constexpr int Runs = 5;

bool writeWeek(const QString &path, qint64 endMs)
{
    HistoryStore store;
    if (!store.open(path))
        return false;
    const qint64 rows = qint64(Days) * 86400 * 1000 / PeriodMs;
    const qint64 start = endMs - rows * PeriodMs;
    LiveSample first;
    first.timeMs = start;
    first.address = 1;
    first.chargeStageText = QStringLiteral("MPPT");
    first.pvStateText = QStringLiteral("Generating");
    store.append(first);   // the device and label rows
    store.flush();
    store.execute(QStringLiteral("PRAGMA synchronous=OFF"));
    store.execute(QStringLiteral("BEGIN"));
    const bool ok = store.execute(QStringLiteral(
        "WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM c WHERE i < %1) "
        "INSERT INTO sample SELECT %2 + i * %3, 1, 3600, 1500 + i % 7 + (i / 30) % 300, (i / 20) % 1000,"
        " (i / 20) % 1000 * 17, 1250 + i % 150, (i / 20) % 1000 - 120, 18 + i % 5, 60 + i % 40,"
        " 1250 + i % 150, 120 + i % 11, 150 + i % 30, 30 + i % 4, 1234 + i / 5000, 1100 + i / 6000,"
        " 17 + i / 100000, 15 + i / 120000, 0, 1 + i % 2, 1 + i % 2 FROM c")
                               .arg(rows - 1).arg(start).arg(PeriodMs))
                    && store.execute(QStringLiteral("COMMIT"));
    store.execute(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    return ok;
}

// Construction to first paint, in ms; points: what the curve started with;
// cpuMs: the process's CPU time over the same span, which a busy machine
// does not inflate the way it does the wall clock.
double openWindow(int *points, double *cpuMs)
{
    const double cpuStart = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    MainWindow w;
    w.show();
    QApplication::processEvents();
    const double ms = clock.nsecsElapsed() / 1e6;
    *cpuMs = (cpuSeconds() - cpuStart) * 1000.0;
    auto *plot = w.findChild<QCustomPlot *>(QStringLiteral("customplot"));
    *points = plot->graph(0)->dataCount();
    return ms;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    reportNote(machineDescription());
    QTemporaryDir dir(QDir::currentPath() + QStringLiteral("/bench-history-XXXXXX"));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());

    if (!writeWeek(dir.filePath(QStringLiteral("history.sqlite")), QDateTime::currentMSecsSinceEpoch())) {
        reportNote(QStringLiteral("writing the recorded week failed"));
        return 1;
    }
    QVector<double> bare, recorded, bareCpu, recordedCpu;
    int points = 0;
    double cpuMs = 0.0;
    for (int i = 0; i < Runs; ++i) {
        QFile::remove(QStringLiteral("config.ini"));
        bare.append(openWindow(&points, &cpuMs));
        bareCpu.append(cpuMs);
        QFile config(QStringLiteral("config.ini"));
        config.open(QIODevice::WriteOnly);
        config.write("[record]\nenabled=true\ndatabase=history.sqlite\n");
        config.close();
        recorded.append(openWindow(&points, &cpuMs));
        recordedCpu.append(cpuMs);
    }
    const double ms = median(recorded) - median(bare);
    reportNote(QStringLiteral("%1 recorded rows over %2 days, %3 curve points; window %4 ms bare, %5 ms with the history")
                   .arg(qint64(Days) * 86400 * 1000 / PeriodMs).arg(Days).arg(points)
                   .arg(median(bare), 0, 'f', 1).arg(median(recorded), 0, 'f', 1));
    reportNote(QStringLiteral("CPU time the history adds: %1 ms")
                   .arg(median(recordedCpu) - median(bareCpu), 0, 'f', 1));
    reportResult(QStringLiteral("curve view opened on %1 recorded days").arg(Days), ms, QStringLiteral("ms"),
                 QStringLiteral("target <= %1 ms").arg(TargetMs), ms / TargetMs, ms <= TargetMs);
    QDir::setCurrent(previous);
    return 0;
}
