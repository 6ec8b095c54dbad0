// Line utilisation of a whole bus polled as fast as the line allows: the
// simulator emulates the wire (10 bit times a byte, a 10 ms turnaround) on a
// pseudo-terminal, and the time the exchanges physically need (their bytes
// both ways, the turnaround and, on Modbus RTU, the 3.5-character silence
// before every frame) is set against the wall time they took.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QTextStream>

#include "bench_support.h"
#include "bus_line.h"

namespace {

constexpr int TurnaroundMs = 10;

struct Case
{
    ProtocolKind protocol;
    int baud;
    int devices;
    double target;
};

const Case cases[] = {
    {ProtocolModbusRtu, 9600, 8, 0.90},
    {ProtocolModbusRtu, 9600, 32, 0.90},
    {ProtocolModbusRtu, 115200, 8, 0.80},
    {ProtocolModbusRtu, 115200, 32, 0.80},
    {ProtocolDefine, 9600, 8, 0.90},
    {ProtocolDefine, 9600, 32, 0.90},
};

// solar-controller-sim on a pty of its own, in a process of its own (its CPU is not ours).
struct PtySim
{
    ~PtySim()
    {
        process.terminate();
        if (!process.waitForFinished(3000))
            process.kill();
    }
    QString start(const Case &c)
    {
        process.start(QStringLiteral(SOLAR_SIM_EXE),
                      {QStringLiteral("--protocol"), c.protocol == ProtocolDefine ? QStringLiteral("define")
                                                                                    : QStringLiteral("rtu"),
                       QStringLiteral("--devices"), QStringLiteral("1-%1:mppt").arg(c.devices),
                       QStringLiteral("--pty"), QStringLiteral("--no-motion"), QStringLiteral("--line-timing"),
                       QStringLiteral("--baud"), QString::number(c.baud),
                       QStringLiteral("--turnaround-ms"), QString::number(TurnaroundMs)});
        const QRegularExpression pty(QStringLiteral("pty: (\\S+)"));
        QByteArray out;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 5000 && process.waitForReadyRead(5000)) {
            out += process.readAllStandardOutput();
            const auto m = pty.match(QString::fromLatin1(out));
            if (m.hasMatch())
                return m.captured(1);
        }
        return QString();
    }
    QProcess process;
};

QString protocolName(ProtocolKind p)
{
    return p == ProtocolDefine ? QStringLiteral("Define") : QStringLiteral("Modbus RTU");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = qMax(5, qEnvironmentVariableIntValue("BENCH_SECONDS") > 0
                                    ? qEnvironmentVariableIntValue("BENCH_SECONDS") / 2
                                    : 15);
    QTextStream out(stdout);
    out << "bench_line: " << machineDescription() << ", " << seconds
        << " s a case, interval=0, --line-timing, turnaround " << TurnaroundMs << " ms\n";
    out.flush();

    for (const Case &c : cases) {
        PtySim sim;
        const QString path = sim.start(c);
        if (path.isEmpty()) {
            reportNote(QStringLiteral("simulator did not start"));
            return 1;
        }
        LinkConfig link;
        link.mode = QStringLiteral("Serial");
        link.protocol = c.protocol == ProtocolDefine ? QStringLiteral("Define") : QStringLiteral("Modbus");
        link.controller = QStringLiteral("MPPT");
        link.serialPort = path;
        link.baud = c.baud;
        link.addressSetting = 1;

        BusLine bus;
        bus.setCycleInterval(BusLine::LinePace);
        QHash<int, int> cycles;
        for (int a = 1; a <= c.devices; ++a) {
            MonitorCore *core = bus.addDevice(a);
            QObject::connect(core, &MonitorCore::stepAnswered, core,
                             [&cycles, a](MonitorCore::StepResult r, const DeviceData &) {
                                 if (r == MonitorCore::StepResult::RunData
                                     || r == MonitorCore::StepResult::ModbusRunData)
                                     ++cycles[a];
                             });
        }
        bus.connectLink(link);
        runEventsUntil([&] { return false; }, 2000);   // past the first answers
        bus.resetCounters();
        cycles.clear();
        const double cpuBefore = cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        runEventsUntil([&] { return false; }, seconds * 1000);
        const double wallS = wall.nsecsElapsed() / 1e9;
        const double cpu = cpuSeconds() - cpuBefore;
        const BusLine::Counters n = bus.counters();
        bus.disconnectLink();

        const double byteS = 10.0 / c.baud;
        const double silenceS = c.protocol == ProtocolModbusRtu ? 35.0 / c.baud : 0.0;
        const double needS = (n.bytesOut + n.bytesIn) * byteS + n.requests * (TurnaroundMs / 1000.0 + silenceS);
        const double utilisation = needS / wallS;
        int fewest = INT_MAX, most = 0;
        for (int a = 1; a <= c.devices; ++a) {
            fewest = qMin(fewest, cycles.value(a));
            most = qMax(most, cycles.value(a));
        }
        // Requests a cycle of an MPPT controller makes on a bus (the scan and
        // the idle step make none): Modbus 12, Define 8.
        const int perCycle = c.protocol == ProtocolDefine ? 8 : 12;
        const double perMinute = 60.0 * n.requests / perCycle / c.devices / wallS;
        const QString name = QStringLiteral("line utilisation, %1 %2 baud, %3 devices")
                                 .arg(protocolName(c.protocol)).arg(c.baud).arg(c.devices);
        reportNote(QStringLiteral("%1: %2 requests (%3 answered), %4 B out, %5 B in; "
                                  "%6 cycles per device per minute (live values: fewest %7, most %8 in %9 s); "
                                  "CPU %10 % of a core per device")
                       .arg(name).arg(n.requests).arg(n.answered).arg(n.bytesOut).arg(n.bytesIn)
                       .arg(perMinute, 0, 'f', 1).arg(fewest).arg(most).arg(wallS, 0, 'f', 1)
                       .arg(100.0 * cpu / wallS / c.devices, 0, 'f', 3));
        reportResult(name, utilisation, QStringLiteral("of the line"),
                     QStringLiteral("target >= %1").arg(c.target, 0, 'f', 2), utilisation / c.target,
                     utilisation >= c.target);
    }
    return 0;
}
