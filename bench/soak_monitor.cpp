// Soak run: the real window connected to the simulator (a process of its
// own, so its memory is not ours) for a long time, while the simulator is
// restarted every so often with another protocol and a random fault, and the
// window is connected again whenever its link went down, as an operator would.
// Resident memory and heap in use are sampled every minute; growth of the
// heap beyond what the curve points account for (16 bytes per point in each
// of 5 graphs) is a finding.
//   soak_monitor [seconds] [seed]
#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTextStream>
#include <algorithm>
#include <iterator>
#include <malloc.h>
#include <qcustomplot.h>

#include "bench_support.h"
#include "mainwindow.h"

namespace {

struct Protocol
{
    const char *sim;
    const char *config;
};
const Protocol protocols[] = {{"define", "Define"}, {"rtu", "Modbus"}, {"tcp", "TCP Modbus"}};

// Simulator options of each fault; the empty list is a healthy controller.
const QStringList faults[] = {
    {},
    {},
    {QStringLiteral("--silence")},
    {QStringLiteral("--garbage")},
    {QStringLiteral("--bad-crc")},
    {QStringLiteral("--wrong-address")},
    {QStringLiteral("--wrong-transaction")},
    {QStringLiteral("--exception"), QStringLiteral("4")},
    {QStringLiteral("--split-delay"), QStringLiteral("40")},
    {QStringLiteral("--split-delay"), QStringLiteral("700")},
    {QStringLiteral("--stale"), QStringLiteral("4")},
    {QStringLiteral("--close-after"), QStringLiteral("25")},
};

constexpr int BytesPerPoint = 16;
constexpr int Graphs = 5;

// Bytes the program holds on the heap: unlike resident memory, not blurred by
// freed memory the allocator keeps.
qint64 heapInUse()
{
    const struct mallinfo2 m = mallinfo2();
    return qint64(m.uordblks + m.hblkhd);
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

QTextStream &out()
{
    static QTextStream s(stdout);
    return s;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    const QStringList args = app.arguments();
    const int seconds = args.size() > 1 ? args.at(1).toInt() : 1800;
    const quint32 seed = args.size() > 2 ? args.at(2).toUInt() : QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    out() << machineDescription() << "\nsoak: " << seconds << " s, seed " << seed << Qt::endl;

    const quint16 port = freePort();
    BenchWindow bw;
    MainWindow &w = bw.w();
    auto *plot = w.findChild<QCustomPlot *>(QStringLiteral("customplot"));
    int requests = 0, failures = 0, successes = 0;
    for (com_protocol_solar *e : {&w.core.mainEngine, &w.core.scanEngine}) {
        QObject::connect(e, &com_protocol_solar::beginSentData, [&] { ++requests; });
        QObject::connect(e, &com_protocol_solar::receiveFailSignal, [&] { ++failures; });
        QObject::connect(e, &com_protocol_solar::receiveSuccesSignal, [&] { ++successes; });
    }

    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<SimProcess> sim;
    QString situation;
    int connectPresses = 0;
    auto restartSim = [&] {
        sim.reset();   // the window's link drops with it
        const Protocol &p = protocols[random.bounded(int(std::size(protocols)))];
        const bool pwm = random.bounded(2) == 0;
        const QStringList &fault = faults[random.bounded(int(std::size(faults)))];
        sim = std::make_unique<SimProcess>();
        const bool started = sim->startTcp(QStringList{QStringLiteral("--protocol"), QLatin1String(p.sim), QStringLiteral("--controller"),
                                  pwm ? QStringLiteral("pwm") : QStringLiteral("mppt"), QStringLiteral("--tcp-port"),
                                  QString::number(port)}
                      + fault);
        situation = QStringLiteral("%1 %2, %3")
                        .arg(QLatin1String(p.config), pwm ? QStringLiteral("PWM") : QStringLiteral("MPPT"),
                             fault.isEmpty() ? QStringLiteral("healthy") : fault.join(QLatin1Char(' ')));
        out() << QStringLiteral("%1 min  simulator: %2%3").arg(clock.elapsed() / 60000.0, 5, 'f', 1).arg(situation)
                     .arg(started ? QString() : QStringLiteral(" (FAILED TO START)"))
              << Qt::endl;
        // The next Connect reads the protocol from config.ini.
        bw.writeTcpConfig(port, QLatin1String(p.config), pwm ? QStringLiteral("PWM") : QStringLiteral("MPPT"));
    };

    restartSim();
    qint64 nextRestart = 1000LL * (10 + random.bounded(30));
    qint64 nextSample = 60000;
    struct Sample { double minute; qint64 rss; qint64 heap; int points; };
    QVector<Sample> samples;
    auto sample = [&] {
        samples.append({clock.elapsed() / 60000.0, residentBytes(), heapInUse(), plot->graph(0)->dataCount()});
        const Sample &s = samples.last();
        out() << QStringLiteral("%1 min  RSS %2 KiB  heap %3 KiB  points %4  requests %5 (%6 ok, %7 failed)  "
                                "Connect pressed %8  now: %9")
                     .arg(s.minute, 5, 'f', 1).arg(s.rss / 1024).arg(s.heap / 1024).arg(s.points).arg(requests)
                     .arg(successes).arg(failures).arg(connectPresses).arg(situation)
              << Qt::endl;
    };
    sample();

    while (clock.elapsed() < seconds * 1000LL) {
        runEventsUntil([] { return false; }, 250);
        if (!bw.linkUp()) {
            bw.pressConnect();   // what the operator does when the link is down
            ++connectPresses;
        }
        if (clock.elapsed() >= nextRestart) {
            restartSim();
            nextRestart = clock.elapsed() + 1000LL * (10 + random.bounded(30));
        }
        if (clock.elapsed() >= nextSample) {
            sample();
            nextSample += 60000;
        }
    }
    sample();

    // From a quarter of the run on (at least the second minute): fonts,
    // caches and the first drawings of every widget settle in the first ones.
    if (samples.size() < 5 || samples.last().minute < 4.5) {
        out() << "too short to tell growth from settling: run 5 minutes or more" << Qt::endl;
        return 0;
    }
    const double from = qMax(2.0, samples.last().minute / 4);
    QVector<Sample> kept;
    std::copy_if(samples.cbegin(), samples.cend(), std::back_inserter(kept),
                 [from](const Sample &s) { return s.minute >= from - 0.05; });
    // The heap swings by a megabyte with the faults of the moment (queued
    // re-sends, buffers), so each end is the mean of up to three samples.
    const int span = qMax(1, qMin(3, kept.size() / 3));
    auto mean = [span](QVector<Sample>::const_iterator at) {
        Sample m{0, 0, 0, 0};
        for (int i = 0; i < span; ++i, ++at) {
            m.minute += at->minute / span;
            m.rss += at->rss / span;
            m.heap += at->heap / span;
            m.points += at->points / span;
        }
        return m;
    };
    const Sample first = mean(kept.cbegin());
    const Sample last = mean(kept.cend() - span);
    const double minutes = last.minute - first.minute;
    const qint64 curve = qint64(last.points - first.points) * Graphs * BytesPerPoint;
    // What the program holds decides; resident memory also counts what the
    // allocator keeps after a free, so it is shown beside it.
    const qint64 excess = last.heap - first.heap - curve;
    out() << QStringLiteral("from minute %1 to %2: heap in use %3 KiB -> %4 KiB, resident %5 KiB -> %6 KiB; "
                            "the curve points account for %7 KiB; beyond them %8 KiB (%9 KiB/hour)")
                 .arg(first.minute, 0, 'f', 1).arg(last.minute, 0, 'f', 1)
                 .arg(first.heap / 1024).arg(last.heap / 1024).arg(first.rss / 1024).arg(last.rss / 1024)
                 .arg(curve / 1024).arg(excess / 1024)
                 .arg(minutes > 0 ? excess / 1024.0 / minutes * 60.0 : 0.0, 0, 'f', 0)
          << Qt::endl;
    out() << QStringLiteral("requests %1, successes %2, failures %3, Connect pressed %4 times, link %5 at the end")
                 .arg(requests).arg(successes).arg(failures).arg(connectPresses)
                 .arg(bw.linkUp() ? QStringLiteral("up") : QStringLiteral("down"))
          << Qt::endl;
    // A finding when what the program holds grows beyond the curve by more
    // than the swings of the heap (1 MiB).
    const bool finding = excess > 1024 * 1024;
    out() << (finding ? "FINDING: memory grows beyond the curve points" : "no growth beyond the curve points")
          << Qt::endl;
    return finding ? 1 : 0;
}
