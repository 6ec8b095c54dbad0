// The headless logger polling the simulator (its own process) as it would
// for months: the logger's CPU share of one core and its resident memory,
// and the heap allocations of one poll in steady state, beside a bare
// restart of the refresh timer that every tick does.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>

#include "bench_support.h"
#include "counting_malloc.h"
#include "headless_logger.h"
#include "line_sink.h"

namespace {
long timerAllocations = 0;

// Whether the allocation under way comes from registering a timer with the
// event dispatcher (every QTimer::start does one).
void noteTimerAllocation()
{
    void *frames[10];
    const int n = backtrace(frames, 10);
    for (int i = 1; i < n; ++i) {
        Dl_info info;
        if (dladdr(frames[i], &info) && info.dli_sname && std::strstr(info.dli_sname, "registerTimer")) {
            ++timerAllocations;
            return;
        }
    }
}
} // namespace

namespace {

constexpr double CpuTargetPercent = 0.5;
constexpr double RssTargetMb = 20.0;

qint64 residentBytesOf(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    return 0;
}

QString tcpConfig(quint16 port)
{
    return QStringLiteral("[common]\ncommunication_mode=Wifi\ncommunication_protocol=TCP Modbus\n"
                          "[type]\ncontroller_type=MPPT\n[Wifi]\nip_address=127.0.0.1\nip_port=%1\n")
        .arg(port);
}

bool writeFile(const QString &path, const QString &text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text.toUtf8()) > 0;
}

// The program as a service runs it: default timing, lines to a file.
void measureProcess(const QString &dir, quint16 port, int seconds)
{
    const QString config = dir + QStringLiteral("/config.ini");
    writeFile(config, tcpConfig(port));
    QProcess logger;
    logger.setStandardErrorFile(QProcess::nullDevice());
    logger.start(QStringLiteral(LOGGER_EXE),
                 {QStringLiteral("--config"), config, QStringLiteral("--out"), dir + QStringLiteral("/out.jsonl")});
    if (!logger.waitForStarted(5000)) {
        reportNote(QStringLiteral("solar-logger did not start"));
        return;
    }
    // Past start-up and the first cycles.
    runEventsUntil([] { return false; }, 3000);
    const double cpu0 = cpuSeconds(logger.processId());
    QElapsedTimer wall;
    wall.start();
    qint64 peakRss = 0;
    while (wall.elapsed() < seconds * 1000) {
        runEventsUntil([] { return false; }, 500);
        peakRss = qMax(peakRss, residentBytesOf(logger.processId()));
    }
    const double cpu = cpuSeconds(logger.processId()) - cpu0;
    const double percent = 100.0 * cpu / (wall.elapsed() / 1000.0);
    QFile out(dir + QStringLiteral("/out.jsonl"));
    out.open(QIODevice::ReadOnly);
    const int lines = out.readAll().count('\n');
    ::kill(pid_t(logger.processId()), SIGTERM);
    logger.waitForFinished(3000);

    reportNote(QStringLiteral("solar-logger over Modbus TCP, default timing, %1 s: %2 lines written")
                   .arg(seconds).arg(lines));
    reportResult(QStringLiteral("logger CPU while polling"), percent, QStringLiteral("% of one core"),
                 QStringLiteral("target <= %1 %").arg(CpuTargetPercent), percent / CpuTargetPercent,
                 percent <= CpuTargetPercent);
    const double mb = peakRss / (1024.0 * 1024.0);
    reportResult(QStringLiteral("logger resident memory"), mb, QStringLiteral("MB"),
                 QStringLiteral("target <= %1 MB").arg(RssTargetMb), mb / RssTargetMb, mb <= RssTargetMb);
}

// In this process: allocations of this thread while the logger polls, per
// request, against one bare stop and start of a timer.
void measureAllocations(const QString &dir, quint16 port)
{
    const QString config = dir + QStringLiteral("/alloc.ini");
    writeFile(config, tcpConfig(port));
    const int fd = ::open("/dev/null", O_WRONLY);
    LineSink lines(fd, LineSink::Format::JsonLines, true);
    HeadlessLogger logger(config);
    logger.addSink(&lines);
    logger.start();
    // Warm: every decoded text and buffer has had its largest value.
    runEventsUntil([] { return false; }, 6000);

    void *warm[2];
    backtrace(warm, 2);   // loads what backtrace needs before counting starts
    const quint16 t0 = logger.core.mainEngine.transactionId;
    timerAllocations = 0;
    // Counting starts inside the loop, past the loop's own timer and event
    // loop, so only the logger's allocations are counted.
    QTimer::singleShot(0, [] { CountingMalloc::start(noteTimerAllocation); });
    runEventsUntil([] { return false; }, 6000);
    const long polled = CountingMalloc::stop();
    const long polledForTimers = timerAllocations;
    const int requests = quint16(logger.core.mainEngine.transactionId - t0);

    QTimer bare;
    bare.start(100);
    CountingMalloc::start();
    for (int i = 0; i < 100; ++i) {
        bare.stop();
        bare.start(100);
    }
    const long bareAllocations = CountingMalloc::stop();
    const double perTimer = bareAllocations / 100.0;
    logger.stop();
    ::close(fd);

    const double perRequest = requests > 0 ? double(polled - polledForTimers) / requests : 0;
    reportNote(QStringLiteral("%1 requests in 6 s: %2 allocations, %3 of them the timers' (a bare "
                              "timer restart makes %4)")
                   .arg(requests).arg(polled).arg(polledForTimers).arg(perTimer));
    reportResult(QStringLiteral("logger heap allocations per poll beyond the timers'"), perRequest,
                 QStringLiteral("per request"), QStringLiteral("target 0"), perRequest,
                 perRequest < 0.05);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    const int seconds = qMax(5, qEnvironmentVariableIntValue("BENCH_SECONDS") ?: 20);
    reportNote(machineDescription());

    SimProcess sim;
    if (!sim.startTcp({QStringLiteral("--protocol"), QStringLiteral("tcp")})) {
        reportNote(QStringLiteral("the simulator did not start"));
        return 1;
    }
    QTemporaryDir dir;
    measureProcess(dir.path(), sim.port(), seconds);
    measureAllocations(dir.path(), sim.port());
    return 0;
}
