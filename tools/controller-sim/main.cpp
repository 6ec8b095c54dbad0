// solar-controller-sim: a simulated charge controller (or a bus of them) on
// TCP, a serial device or a pseudo-terminal.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

#include "simulated_controller.h"

namespace {

struct Option
{
    const char *name;
    const char *help;
    const char *valueName;   // nullptr for a flag
};

const Option options[] = {
    {"protocol", "define, rtu or tcp (default tcp).", "protocol"},
    {"controller", "pwm or mppt (default mppt).", "type"},
    {"address", "Device address 1..247; repeat or list (1,2,5-7) for several devices (default 1).", "n"},
    {"devices", "Devices of mixed types: ADDRESS:TYPE, comma separated, ranges allowed "
                "(1:mppt,2:mppt,5-7:pwm); with --address, the types of those addresses.", "list"},
    {"line-timing", "Emulate the wire: every byte takes 10 bit times at --baud, and every answer "
                    "starts --turnaround-ms after its request arrived (TCP and pty alike).", nullptr},
    {"turnaround-ms", "Device turnaround with --line-timing (default 10).", "ms"},
    {"tcp-port", "Listen on 127.0.0.1:PORT (0 = any free port).", "port"},
    {"serial", "Serve the serial device PATH.", "path"},
    {"baud", "Speed of --serial and of --line-timing (default 9600).", "baud"},
    {"pty", "Create a pseudo-terminal and serve it.", nullptr},
    {"values", "Initial register values and texts (INI or JSON file).", "file"},
    {"no-motion", "Keep the live values still.", nullptr},
    {"tick-ms", "Real milliseconds between live-value steps (default 1000).", "ms"},
    {"tick-seconds", "Simulated seconds per step (default 60).", "s"},
    {"silence", "Answer nothing.", nullptr},
    {"garbage", "Answer junk of the right length.", nullptr},
    {"bad-crc", "Spoil the checksum of every answer.", nullptr},
    {"wrong-address", "Answer with another address.", nullptr},
    {"wrong-transaction", "Modbus TCP: answer with another transaction id.", nullptr},
    {"exception", "Modbus: answer with exception CODE (4 = device failure).", "code"},
    {"split-delay", "Write each answer in two halves MS apart.", "ms"},
    {"stale", "Write N junk bytes before each answer.", "n"},
    {"close-after", "TCP: close the connection after N requests.", "n"},
    {"verbose", "Print every request and answer in hexadecimal.", nullptr},
};

QList<QCommandLineOption> commandLineOptions()
{
    QList<QCommandLineOption> list;
    for (const Option &o : options) {
        QCommandLineOption opt(QString::fromLatin1(o.name), QString::fromLatin1(o.help));
        if (o.valueName)
            opt.setValueName(QString::fromLatin1(o.valueName));
        list.append(opt);
    }
    return list;
}

[[noreturn]] void fail(const QString &message)
{
    QTextStream(stderr) << "solar-controller-sim: " << message << '\n';
    std::exit(2);
}

int intValue(const QCommandLineParser &p, const char *name, int low, int high)
{
    bool ok = false;
    const int v = p.value(QString::fromLatin1(name)).toInt(&ok);
    if (!ok || v < low || v > high)
        fail(QStringLiteral("--%1 wants a number from %2 to %3").arg(QLatin1String(name)).arg(low).arg(high));
    return v;
}

QList<quint8> addressList(const QStringList &values)
{
    QList<quint8> out;
    for (const QString &value : values)
        for (const QString &part : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QStringList ends = part.split(QLatin1Char('-'));
            bool ok1 = false, ok2 = false;
            const int from = ends.first().toInt(&ok1), to = ends.last().toInt(&ok2);
            if (ends.size() > 2 || !ok1 || !ok2 || from < 1 || to > 247 || from > to)
                fail(QStringLiteral("bad address %1").arg(part));
            for (int a = from; a <= to; ++a)
                if (!out.contains(quint8(a)))
                    out.append(quint8(a));
        }
    return out.isEmpty() ? QList<quint8>{1} : out;
}

ControllerType typeOf(const QString &name)
{
    if (name == QLatin1String("pwm"))
        return ControllerPwm;
    if (name == QLatin1String("mppt"))
        return ControllerMppt;
    fail(QStringLiteral("controller type is pwm or mppt, not \"%1\"").arg(name));
}

// "1:mppt,2:mppt,5-7:pwm": each address with its own type.
QList<QPair<quint8, ControllerType>> typedDevices(const QString &list)
{
    QList<QPair<quint8, ControllerType>> out;
    for (const QString &part : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const int colon = part.indexOf(QLatin1Char(':'));
        if (colon < 0)
            fail(QStringLiteral("--devices wants ADDRESS:TYPE, not %1").arg(part));
        const ControllerType type = typeOf(part.mid(colon + 1).trimmed().toLower());
        for (quint8 a : addressList({part.left(colon).trimmed()})) {
            for (const auto &seen : qAsConst(out))
                if (seen.first == a)
                    fail(QStringLiteral("--devices names address %1 twice").arg(a));
            out.append({a, type});
        }
    }
    if (out.isEmpty())
        fail(QStringLiteral("--devices is empty"));
    return out;
}

ProtocolKind protocolOf(const QString &name)
{
    if (name == QLatin1String("define"))
        return ProtocolDefine;
    if (name == QLatin1String("rtu"))
        return ProtocolModbusRtu;
    if (name == QLatin1String("tcp"))
        return ProtocolModbusTcp;
    fail(QStringLiteral("--protocol is define, rtu or tcp"));
}

SimFaults faultsOf(const QCommandLineParser &p)
{
    auto has = [&p](const char *name) { return p.isSet(QString::fromLatin1(name)); };
    SimFaults f;
    f.silence = has("silence");
    f.garbage = has("garbage");
    f.badCrc = has("bad-crc");
    f.wrongAddress = has("wrong-address");
    f.wrongTransactionId = has("wrong-transaction");
    if (has("exception"))
        f.exceptionCode = intValue(p, "exception", 1, 255);
    if (has("split-delay"))
        f.splitDelayMs = intValue(p, "split-delay", 0, 60000);
    if (has("stale"))
        f.staleBytes = intValue(p, "stale", 0, 1024);
    if (has("close-after"))
        f.closeAfter = intValue(p, "close-after", 1, 1000000);
    return f;
}

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

void say(const QString &line)
{
    QTextStream(stdout) << line << '\n';
    std::fflush(stdout);   // scripts wait for these lines
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("solar-controller-sim"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A simulated solar charge controller."));
    parser.addHelpOption();
    parser.addOptions(commandLineOptions());
    parser.process(app);

    const ProtocolKind protocol = protocolOf(parser.value(QStringLiteral("protocol")).isEmpty()
                                                 ? QStringLiteral("tcp")
                                                 : parser.value(QStringLiteral("protocol")).toLower());
    const QString type = parser.value(QStringLiteral("controller")).toLower();
    if (!type.isEmpty() && type != QLatin1String("pwm") && type != QLatin1String("mppt"))
        fail(QStringLiteral("--controller is pwm or mppt"));
    const ControllerType controller = type == QLatin1String("pwm") ? ControllerPwm : ControllerMppt;

    SimulatedController sim(protocol, controller);
    sim.removeDevice(1);
    const bool typed = parser.isSet(QStringLiteral("devices"));
    if (!typed || parser.isSet(QStringLiteral("address")))
        for (quint8 a : addressList(parser.values(QStringLiteral("address"))))
            sim.addDevice(a);
    if (typed)
        for (const auto &d : typedDevices(parser.value(QStringLiteral("devices"))))
            sim.addDevice(d.first, d.second);

    if (parser.isSet(QStringLiteral("values"))) {
        QString error;
        if (!sim.loadValues(parser.value(QStringLiteral("values")), &error))
            fail(error);
    }
    sim.setFaults(faultsOf(parser));
    const int baud = parser.isSet(QStringLiteral("baud")) ? intValue(parser, "baud", 50, 4000000) : 9600;
    if (parser.isSet(QStringLiteral("line-timing"))) {
        SimLineTiming timing;
        timing.on = true;
        timing.baud = baud;
        if (parser.isSet(QStringLiteral("turnaround-ms")))
            timing.turnaroundUs = intValue(parser, "turnaround-ms", 0, 10000) * 1000;
        sim.setLineTiming(timing);
    } else if (parser.isSet(QStringLiteral("turnaround-ms"))) {
        fail(QStringLiteral("--turnaround-ms goes with --line-timing"));
    }
    if (!parser.isSet(QStringLiteral("no-motion")))
        sim.setMotionEnabled(true,
                             parser.isSet(QStringLiteral("tick-ms")) ? intValue(parser, "tick-ms", 10, 3600000) : 1000,
                             parser.isSet(QStringLiteral("tick-seconds")) ? intValue(parser, "tick-seconds", 1, 86400) : 60);
    if (parser.isSet(QStringLiteral("verbose"))) {
        QObject::connect(&sim, &SimulatedController::requestReceived, [](const QByteArray &f) { say(QStringLiteral("rx: ") + hex(f)); });
        QObject::connect(&sim, &SimulatedController::replySent, [](const QByteArray &f) { say(QStringLiteral("tx: ") + hex(f)); });
    }

    const bool wantTcp = parser.isSet(QStringLiteral("tcp-port"));
    const bool wantSerial = parser.isSet(QStringLiteral("serial"));
    const bool wantPty = parser.isSet(QStringLiteral("pty"));
    if (wantTcp || !(wantSerial || wantPty)) {
        const int port = wantTcp ? intValue(parser, "tcp-port", 0, 65535) : 0;
        const quint16 bound = sim.listenTcp(quint16(port));
        if (!bound)
            fail(QStringLiteral("cannot listen on 127.0.0.1:%1").arg(port));
        say(QStringLiteral("listening on 127.0.0.1:%1").arg(bound));
    }
    if (wantSerial) {
        const QString path = parser.value(QStringLiteral("serial"));
        if (!sim.openSerial(path, baud))
            fail(QStringLiteral("cannot open %1").arg(path));
        say(QStringLiteral("serial: %1").arg(path));
    }
    if (wantPty) {
        const QString path = sim.openPty();
        if (path.isEmpty())
            fail(QStringLiteral("cannot create a pseudo-terminal"));
        say(QStringLiteral("pty: %1").arg(path));
    }
    return app.exec();
}
