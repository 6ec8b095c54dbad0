// The curve view at scale: all five graphs holding one day and seven days of
// one-per-second points, stored one by one as the tool stores them; then the time
// of one more append with its replot, and the heap the points take.
#include <QApplication>
#include <QElapsedTimer>
#include <malloc.h>
#include <qcustomplot.h>

#include "bench_support.h"
#include "mainwindow.h"

namespace {

constexpr int Graphs = 5;
constexpr double AppendTargetMs = 16.0;
constexpr double BytesTarget = 20.0;
constexpr int Appends = 30;

qint64 heapInUse()
{
    const struct mallinfo2 m = mallinfo2();
    return qint64(m.uordblks + m.hblkhd);
}

void measure(int days)
{
    BenchWindow bw;
    MainWindow &w = bw.w();
    auto *plot = w.findChild<QCustomPlot *>(QStringLiteral("customplot"));
    DeviceData &d = w.core.mainEngine.deviceData;
    d.pvVoltage = 1850;
    d.batteryVoltage = 1320;
    d.loadVoltage = 1310;
    d.pvCurrent = 420;
    d.loadCurrent = 150;
    // The curve tab on top, so each replot draws what the operator would see.
    if (auto *tabs = w.findChild<QTabWidget *>(QStringLiteral("tabWidget")))
        tabs->setCurrentIndex(0);
    runEventsUntil([] { return false; }, 100);

    const int points = days * 86400;
    const double now = double(QDateTime::currentSecsSinceEpoch());
    const qint64 before = heapInUse();
    // Through the tool's own store, so its way of growing the graphs counts.
    for (int i = 0; i < points; ++i) {
        const auto wave = quint32(100 * std::sin(i / 3600.0));
        d.pvVoltage = 1850 + wave;
        d.batteryVoltage = 1320 + wave;
        d.loadVoltage = 1310 + wave;
        d.pvCurrent = 420 + wave;
        d.loadCurrent = 150 + wave;
        w.storeCurvePoint(now - points + i);
    }
    const double bytesPerPoint = double(heapInUse() - before) / (double(points) * Graphs);

    QVector<double> times;
    for (int i = 0; i < Appends; ++i) {
        w.lastCurveKey = 0.0;   // lift the one-per-second throttle
        QElapsedTimer clock;
        clock.start();
        w.appendCurvePoint();
        times.append(clock.nsecsElapsed() / 1e6);
        QCoreApplication::processEvents();   // the paint that shows the new buffer
    }
    const double ms = median(times);
    reportResult(QStringLiteral("curve append + replot, %1 day(s) in 5 graphs").arg(days), ms,
                 QStringLiteral("ms median"), QStringLiteral("target < %1 ms").arg(AppendTargetMs),
                 ms / AppendTargetMs, ms < AppendTargetMs);
    reportNote(QStringLiteral("max %1 ms over %2 appends, %3 points per graph")
                   .arg(percentile(times, 1.0), 0, 'f', 2).arg(Appends).arg(plot->graph(0)->dataCount()));
    reportResult(QStringLiteral("curve memory, %1 day(s)").arg(days), bytesPerPoint, QStringLiteral("bytes/point"),
                 QStringLiteral("%1 MB for %2 points, target < %3 bytes/point")
                     .arg((heapInUse() - before) / 1048576.0, 0, 'f', 1).arg(qint64(points) * Graphs).arg(BytesTarget),
                 bytesPerPoint / BytesTarget, bytesPerPoint < BytesTarget);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    reportNote(machineDescription());
    measure(1);
    measure(7);
    return 0;
}
