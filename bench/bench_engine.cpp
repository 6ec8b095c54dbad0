// Engine cost of a 12-register Modbus read: request frames built and
// checksummed, responses validated and decoded, per second; and a count of
// heap allocations made while doing so (counting_malloc in front of glibc's).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <atomic>
#include <cstring>
#include <cxxabi.h>
#include <execinfo.h>
#include <malloc.h>
#include <time.h>

#include "bench_support.h"
#include "com_protocol_solar.h"
#include "counting_malloc.h"
#include "link_stats.h"
#include "simulated_controller.h"

namespace {

constexpr int TraceDepth = 14;
struct Trace
{
    void *frames[TraceDepth];
    int depth = 0;
};
Trace *tracing = nullptr;   // where the next allocation's call stack goes

void traceAllocation()
{
    if (tracing && tracing->depth == 0) {
        Trace *t = tracing;
        tracing = nullptr;
        t->depth = backtrace(t->frames, TraceDepth);
    }
}

} // namespace

namespace {

constexpr int Iterations = 200000;
constexpr quint16 Start = 1;
constexpr int Count = 12;

struct Cost
{
    double perSecond = 0;
    double perCpuSecond = 0;     // by this thread's CPU time: preemption left out
    double requestAllocs = 0;    // per request: build, checksum, send, timer
    double responseAllocs = 0;   // per response: validate, decode, success
    QString requestAllocation;
    QString responseAllocation;
};

// Function names of a call stack, innermost first, from the allocation up.
QString describe(const Trace &t)
{
    if (t.depth == 0)
        return QStringLiteral("none");
    QStringList frames;
    char **names = backtrace_symbols(t.frames, t.depth);
    for (int i = 2; i < t.depth && names; ++i) {
        const QByteArray mangled = QByteArray(names[i]).split('(').value(1).split('+').value(0);
        int status = 0;
        char *plain = abi::__cxa_demangle(mangled.constData(), nullptr, nullptr, &status);
        frames << (status == 0 && plain ? QString::fromLatin1(plain).section(QLatin1Char('('), 0, 0)
                                        : mangled.isEmpty() ? QStringLiteral("?") : QString::fromLatin1(mangled));
        ::free(plain);
    }
    ::free(names);
    return frames.join(QStringLiteral(" <- "));
}

Cost run(ProtocolKind protocol, bool trace, LinkStats *stats = nullptr)
{
    com_protocol_solar e;
    if (stats)
        e.observer = stats->mainObserver();
    e.setProtocol(protocol);
    e.setControllerType(ControllerMppt);
    int successes = 0;
    QObject::connect(&e, &com_protocol_solar::receiveSuccesSignal, [&] { ++successes; });

    // The answer of a real (simulated) device to the same request.
    SimulatedController sim(protocol, ControllerMppt);
    protocol == ProtocolModbusTcp ? e.modbusTcpReadRegisters(Start, Count) : e.modbusRtuReadRegisters(Start, Count);
    const QByteArray reply = sim.handleRequest(QByteArray(reinterpret_cast<const char *>(e.txFrame), e.txLength));
    e.stopResponseTimer();
    e.txLength = 0;

    Trace requestTrace, responseTrace;
    long requestAllocs = 0, responseAllocs = 0;
    timespec cpuStart, cpuEnd;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuStart);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < Iterations; ++i) {
        tracing = trace && i == 0 ? &requestTrace : nullptr;
        CountingMalloc::start(traceAllocation);
        protocol == ProtocolModbusTcp ? e.modbusTcpReadRegisters(Start, Count) : e.modbusRtuReadRegisters(Start, Count);
        requestAllocs += CountingMalloc::stop();
        std::memcpy(e.rxFrame, reply.constData(), size_t(reply.size()));
        if (protocol == ProtocolModbusTcp)
            std::memcpy(e.rxFrame, e.txFrame, 2);   // this request's transaction id
        e.rxLength = reply.size();
        tracing = trace && i == 0 ? &responseTrace : nullptr;
        CountingMalloc::start(traceAllocation);
        e.processResponse();
        responseAllocs += CountingMalloc::stop();
    }
    tracing = nullptr;
    Cost cost;
    cost.perSecond = Iterations / (clock.nsecsElapsed() / 1e9);
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuEnd);
    cost.perCpuSecond = Iterations / (double(cpuEnd.tv_sec - cpuStart.tv_sec)
                                      + double(cpuEnd.tv_nsec - cpuStart.tv_nsec) / 1e9);
    cost.requestAllocs = double(requestAllocs) / Iterations;
    cost.responseAllocs = double(responseAllocs) / Iterations;
    cost.requestAllocation = describe(requestTrace);
    cost.responseAllocation = describe(responseTrace);
    if (successes != Iterations)
        reportNote(QStringLiteral("only %1 of %2 responses were accepted").arg(successes).arg(Iterations));
    return cost;
}

void report(const QString &name, ProtocolKind protocol)
{
    const Cost c = run(protocol, true);
    reportResult(QStringLiteral("engine, %1 read of 12 registers").arg(name), c.perSecond,
                 QStringLiteral("requests/s (built + checksummed + validated + decoded)"),
                 QStringLiteral("one request = one 100 ms tick at most, so >= 10/s needed"), c.perSecond / 10.0,
                 c.perSecond >= 10.0);
    // Restarting the response timer registers it with Qt's event dispatcher,
    // which allocates once; that one is accepted, so the figure is told
    // without a verdict.
    reportNote(QStringLiteral("%1 heap allocations per request, response timer restart included: %2")
                   .arg(name).arg(c.requestAllocs, 0, 'f', 2));
    reportNote(QStringLiteral("per response (validate + decode + success): %1 allocations")
                   .arg(c.responseAllocs, 0, 'f', 2));
    reportNote(QStringLiteral("request allocates in: %1").arg(c.requestAllocation));
    reportNote(QStringLiteral("response allocates in: %1").arg(c.responseAllocation));
}

// The link statistics' share of the engine's time: runs with and without an
// observer taken in turns, the best of each compared, so the load of the
// machine falls on both alike.
void reportStatsCost(const QString &name, ProtocolKind protocol)
{
    constexpr int Rounds = 15;
    double bare = 0, counted = 0;
    double extraAllocs = 0;
    LinkStats stats;
    for (int i = 0; i < Rounds; ++i) {
        const Cost b = run(protocol, false);
        const Cost c = run(protocol, false, &stats);
        bare = qMax(bare, b.perCpuSecond);
        counted = qMax(counted, c.perCpuSecond);
        extraAllocs = qMax(extraAllocs, c.requestAllocs + c.responseAllocs - b.requestAllocs - b.responseAllocs);
    }
    reportNote(QStringLiteral("%1: allocations per request added by the statistics: %2").arg(name).arg(extraAllocs));
    const double costPercent = (bare / counted - 1.0) * 100.0;
    reportResult(QStringLiteral("link statistics' cost on the engine, %1").arg(name), costPercent,
                 QStringLiteral("% of requests/s (%1/s bare, %2/s counted)").arg(bare, 0, 'f', 0).arg(counted, 0, 'f', 0),
                 QStringLiteral("<= 1 %"), costPercent / 1.0, costPercent <= 1.0);
    const RequestCounters &live = stats.counters(RequestKind::LiveValues);
    if (live.answered != quint64(Rounds) * Iterations)
        reportNote(QStringLiteral("statistics counted %1 answers of %2").arg(live.answered).arg(quint64(Rounds) * Iterations));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    reportNote(machineDescription());
    report(QStringLiteral("Modbus RTU"), ProtocolModbusRtu);
    report(QStringLiteral("Modbus TCP"), ProtocolModbusTcp);
    reportStatsCost(QStringLiteral("Modbus RTU"), ProtocolModbusRtu);
    reportStatsCost(QStringLiteral("Modbus TCP"), ProtocolModbusTcp);
    return 0;
}
