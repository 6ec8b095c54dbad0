// Start-up: from starting the process to the main window painted, for the
// tool's own main() (bench_startup_probe), on the platform of the environment
// (scripts/bench runs it offscreen and under Xvfb). Median of several runs.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include "bench_support.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("xcb"));
    constexpr int Runs = 15;
    constexpr double TargetMs = 300.0;
    QVector<double> times;
    int failures = 0;
    for (int i = 0; i < Runs; ++i) {
        QProcess probe;
        QElapsedTimer clock;
        clock.start();
        probe.start(QStringLiteral(STARTUP_PROBE_EXE), QStringList());
        bool shown = false;
        while (!shown && probe.waitForReadyRead(10000))
            shown = probe.readAllStandardOutput().contains("shown");
        const double ms = clock.nsecsElapsed() / 1e6;
        probe.waitForFinished(5000);
        if (shown)
            times.append(ms);
        else
            ++failures;
    }
    reportNote(machineDescription());
    const double ms = median(times);
    reportResult(QStringLiteral("start-up to window shown, %1").arg(platform), ms, QStringLiteral("ms median"),
                 QStringLiteral("target < %1 ms").arg(TargetMs), ms / TargetMs,
                 !times.isEmpty() && ms < TargetMs && failures == 0);
    reportNote(QStringLiteral("%1 runs, min %2 ms, max %3 ms, %4 without a window")
                   .arg(times.size()).arg(percentile(times, 0.0), 0, 'f', 1)
                   .arg(percentile(times, 1.0), 0, 'f', 1).arg(failures));
    return times.isEmpty() ? 1 : 0;
}
