// Request round trip of a 12-register Modbus read through the tool's own link
// and engine, against libmodbus's modbus_read_registers on the same simulated
// device and transport: loopback Modbus TCP, and Modbus RTU at 115200 over a
// pseudo-terminal. Median per request and the ratio ours/libmodbus.
//
// Client and simulated device share one core (BENCH_NO_PIN=1 lets them
// spread): on two cores of a virtual machine the figure is dominated by how
// soon the other core wakes up, which varies from run to run by more than
// the difference being measured; on one core it is the work done per request.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <modbus.h>
#include <sched.h>

#include "bench_support.h"
#include "mainwindow.h"
#include "simulated_controller.h"

namespace {

constexpr int Blocks = 5;
constexpr int PerBlock = 200;
constexpr int Warmup = 20;
constexpr quint16 Start = 1;
constexpr int Count = 12;
constexpr double Target = 1.2;

// Time spent inside the request call itself: frame built, handed to the
// link, shown in hexadecimal, lamps set (dataSendSlot runs inside the emit).
QVector<double> *sendSide = nullptr;

// Reads through the window's engine and link. The harness stays out of the
// figure: its connections are made once, and it waits in one event loop for
// the engine's outcome (the engine's own timeout bounds the wait).
class OurClient
{
public:
    explicit OurClient(MainWindow &w) : engine_(w.core.mainEngine)
    {
        QObject::connect(&engine_, &com_protocol_solar::receiveSuccesSignal, &loop_, [this] { done_ = ok_ = true; });
        QObject::connect(&engine_, &com_protocol_solar::receiveFailSignal, &loop_, [this] { done_ = true; });
    }

    // Microseconds for one read; -1 on failure.
    double read(bool tcp)
    {
        done_ = ok_ = false;
        QElapsedTimer clock;
        clock.start();
        tcp ? engine_.modbusTcpReadRegisters(Start, Count) : engine_.modbusRtuReadRegisters(Start, Count);
        if (sendSide)
            sendSide->append(clock.nsecsElapsed() / 1000.0);
        while (!done_)
            loop_.processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
        const double us = clock.nsecsElapsed() / 1000.0;
        return ok_ ? us : -1.0;
    }

private:
    com_protocol_solar &engine_;
    QEventLoop loop_;
    bool done_ = false;
    bool ok_ = false;
};

double libRead(modbus_t *ctx)
{
    uint16_t regs[Count];
    QElapsedTimer clock;
    clock.start();
    const int rc = modbus_read_registers(ctx, Start, Count, regs);
    const double us = clock.nsecsElapsed() / 1000.0;
    return rc == Count ? us : -1.0;
}

struct Samples
{
    QVector<double> ours, lib, send;
    int failures = 0;
    void add(QVector<double> &to, double us, bool keep)
    {
        if (us < 0)
            ++failures;
        else if (keep)
            to.append(us);
    }
};

void reportOne(const QString &transport, const QString &window, const Samples &s)
{
    const double ours = median(s.ours), lib = median(s.lib);
    const double ratio = lib > 0 ? ours / lib : 0.0;
    reportResult(QStringLiteral("round trip, %1, window %2").arg(transport, window), ours,
                 QStringLiteral("us median"),
                 QStringLiteral("libmodbus %1 us median, target ratio <= %2").arg(lib, 0, 'f', 1).arg(Target),
                 ratio, ratio > 0 && ratio <= Target && s.failures == 0);
    reportNote(QStringLiteral("ours p10/p90 %1/%2 us, libmodbus p10/p90 %3/%4 us, %5 samples each, %6 failed requests; "
                              "inside the request call (build, write, hex display, lamps) %7 us")
                   .arg(percentile(s.ours, 0.1), 0, 'f', 1).arg(percentile(s.ours, 0.9), 0, 'f', 1)
                   .arg(percentile(s.lib, 0.1), 0, 'f', 1).arg(percentile(s.lib, 0.9), 0, 'f', 1)
                   .arg(s.ours.size()).arg(s.failures)
                   .arg(median(s.send), 0, 'f', 1));
}

// Shown, as the operator sees it; hidden, where the frame boxes are not laid
// out and nothing is painted, which leaves the link and the engine.
void report(const QString &transport, const Samples &shown, const Samples &hidden)
{
    reportOne(transport, QStringLiteral("shown"), shown);
    reportOne(transport, QStringLiteral("hidden"), hidden);
}

bool benchTcp(bool shown, Samples &s)
{
    sendSide = &s.send;
    SimulatorThread sim(ProtocolModbusTcp, ControllerMppt);
    const quint16 port = sim.listenTcp();
    BenchWindow bw(shown);
    if (!port || !bw.connectTcp(port, QStringLiteral("TCP Modbus"))) {
        reportNote(QStringLiteral("Modbus TCP: cannot connect the window to the simulator"));
        return false;
    }
    bw.holdRefreshCycle();
    OurClient ours(bw.w());
    modbus_t *ctx = modbus_new_tcp("127.0.0.1", port);
    modbus_set_slave(ctx, 1);
    if (modbus_connect(ctx) != 0) {
        reportNote(QStringLiteral("Modbus TCP: libmodbus cannot connect"));
        modbus_free(ctx);
        return false;
    }
    // Alternating blocks, so drift of the machine hits both alike.
    for (int block = 0; block < Blocks; ++block) {
        for (int i = 0; i < PerBlock + (block ? 0 : Warmup); ++i)
            s.add(s.ours, ours.read(true), block || i >= Warmup);
        for (int i = 0; i < PerBlock + (block ? 0 : Warmup); ++i)
            s.add(s.lib, libRead(ctx), block || i >= Warmup);
    }
    modbus_close(ctx);
    modbus_free(ctx);
    return true;
}

bool benchRtu(bool shown, Samples &s)
{
    sendSide = &s.send;
    SimulatorThread sim(ProtocolModbusRtu, ControllerMppt);
    const QString path = sim.openPty();
    if (path.isEmpty()) {
        reportNote(QStringLiteral("Modbus RTU: no pseudo-terminal"));
        return false;
    }
    BenchWindow bw(shown);
    OurClient ours(bw.w());
    // One client holds the terminal at a time: the window, then libmodbus.
    for (int block = 0; block < Blocks; ++block) {
        if (!bw.connectSerial(path, 115200, QStringLiteral("Modbus"))) {
            reportNote(QStringLiteral("Modbus RTU: the window cannot open %1").arg(path));
            return false;
        }
        bw.holdRefreshCycle();
        for (int i = 0; i < PerBlock + Warmup; ++i)
            s.add(s.ours, ours.read(false), i >= Warmup);
        bw.disconnectLink();

        modbus_t *ctx = modbus_new_rtu(path.toLocal8Bit().constData(), 115200, 'N', 8, 1);
        modbus_set_slave(ctx, 1);
        if (modbus_connect(ctx) != 0) {
            reportNote(QStringLiteral("Modbus RTU: libmodbus cannot open %1").arg(path));
            modbus_free(ctx);
            return false;
        }
        for (int i = 0; i < PerBlock + Warmup; ++i)
            s.add(s.lib, libRead(ctx), i >= Warmup);
        modbus_close(ctx);
        modbus_free(ctx);
    }
    return true;
}

} // namespace

// Keeps this process, and the simulator threads started later, on the core it
// runs on now.
QString pinToOneCore()
{
    if (qEnvironmentVariableIsSet("BENCH_NO_PIN"))
        return QStringLiteral("client and device free to use every core");
    const int cpu = sched_getcpu();
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    if (cpu < 0 || sched_setaffinity(0, sizeof set, &set) != 0)
        return QStringLiteral("could not pin to one core; client and device spread");
    return QStringLiteral("client and device pinned to core %1").arg(cpu);
}

int main(int argc, char *argv[])
{
    const QString pinning = pinToOneCore();
    QApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    reportNote(machineDescription() + QStringLiteral(", ") + pinning);
    // As the operator sees it, and hidden to tell the painting apart.
    Samples tcp, tcpHidden, rtu, rtuHidden;
    bool ok = benchTcp(true, tcp) && benchTcp(false, tcpHidden);
    if (ok)
        report(QStringLiteral("Modbus TCP loopback"), tcp, tcpHidden);
    const bool rtuOk = benchRtu(true, rtu) && benchRtu(false, rtuHidden);
    if (rtuOk)
        report(QStringLiteral("Modbus RTU 115200 over a pty"), rtu, rtuHidden);
    return ok && rtuOk ? 0 : 1;
}
