// solar-logger as a program against the simulated controller (every
// protocol, TCP and a pty), a simulator restart mid-run, SIGTERM while a line
// is being written, its options and config checks; and, in-process, a day of
// polling compressed into seconds without the heap growing.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <malloc.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "headless_logger.h"
#include "logger_process.h"
#include "simulated_controller.h"
#include "temp_workdir.h"

namespace {

// The complete lines of text so far; a trailing piece without its line
// break is not a line yet.
QList<QByteArray> completeLines(const QByteArray &text)
{
    QList<QByteArray> lines = text.split('\n');
    lines.removeLast();
    return lines;
}

QList<QJsonObject> samplesIn(const QList<QByteArray> &lines)
{
    QList<QJsonObject> samples;
    for (const QByteArray &line : lines) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.contains(QLatin1String("pvVoltage")))
            samples.append(o);
    }
    return samples;
}

// Every line a whole JSON object.
bool allLinesParse(const QList<QByteArray> &lines, QByteArray *bad = nullptr)
{
    for (const QByteArray &line : lines) {
        QJsonParseError error;
        QJsonDocument::fromJson(line, &error);
        if (error.error != QJsonParseError::NoError) {
            if (bad)
                *bad = line;
            return false;
        }
    }
    return true;
}

const QRegularExpression isoTime(QStringLiteral(
    R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$)"));

// The logger as a child process; stdout gathered by the test.
struct LoggerRun : LoggerProcess
{
    using LoggerProcess::LoggerProcess;
    bool waitForSamples(int n, int timeoutMs)
    {
        return QTest::qWaitFor([&] { return samplesIn(completeLines(out())).size() >= n; }, timeoutMs);
    }
};

} // namespace

class tst_logger : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(loggerExe()), "SOLAR_LOGGER_EXE names no program");
    }

    void logsEveryProtocol_data()
    {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("pty");
        QTest::newRow("Define PWM, TCP") << int(ProtocolDefine) << int(ControllerPwm) << false;
        QTest::newRow("Define MPPT, pty") << int(ProtocolDefine) << int(ControllerMppt) << true;
        QTest::newRow("Modbus RTU, pty") << int(ProtocolModbusRtu) << int(ControllerMppt) << true;
        QTest::newRow("Modbus TCP, TCP") << int(ProtocolModbusTcp) << int(ControllerPwm) << false;
    }

    void logsEveryProtocol()
    {
        QFETCH(int, protocol);
        QFETCH(int, type);
        QFETCH(bool, pty);
        TempWorkDir dir;
        SimulatedController sim{ProtocolKind(protocol), ControllerType(type)};
        SimulatedDevice *device = sim.device(1);
        device->setReg(SimReg::PvVoltage, 3456);
        device->setReg(SimReg::BatteryVoltage, 1321);
        if (pty)
            dir.writeConfig(serialConfigText(sim.openPty(), 9600, 1, configProtocol(ProtocolKind(protocol)),
                                             configController(ControllerType(type))));
        else
            dir.writeConfig(tcpConfigText(sim.listenTcp(), configProtocol(ProtocolKind(protocol)),
                                          configController(ControllerType(type))));

        LoggerRun run{QStringList()};
        QVERIFY(run.waitForSamples(2, 15000));
        QVERIFY(run.stop());
        QCOMPARE(run.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.process.exitCode(), 0);

        const QByteArray text = run.out();
        QVERIFY(text.endsWith('\n'));
        const QList<QByteArray> lines = completeLines(text);
        QByteArray bad;
        QVERIFY2(allLinesParse(lines, &bad), bad.constData());
        const QList<QJsonObject> samples = samplesIn(lines);
        for (const QJsonObject &s : samples) {
            QVERIFY2(isoTime.match(s.value(QLatin1String("time")).toString()).hasMatch(),
                     qPrintable(s.value(QLatin1String("time")).toString()));
            QCOMPARE(s.value(QLatin1String("address")).toInt(), 1);
            QCOMPARE(s.value(QLatin1String("pvVoltage")).toDouble(), 34.56);
            QCOMPARE(s.value(QLatin1String("batteryVoltage")).toDouble(), 13.21);
            for (const LiveField &field : liveFields)
                QVERIFY2(s.contains(QLatin1String(field.key)), field.key);
            QVERIFY(s.value(QLatin1String("chargeStageText")).isString());
            QVERIFY(s.value(QLatin1String("statusWord")).isDouble());
        }
        // The first reading waits for the totals: none is written as zero.
        QVERIFY(samples.first().value(QLatin1String("consumedChargeTotal")).toDouble() > 0);

        // The identity, once, under the DeviceData names.
        int identities = 0;
        for (const QByteArray &line : lines) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (!o.contains(QLatin1String("identity")))
                continue;
            ++identities;
            const QJsonObject id = o.value(QLatin1String("identity")).toObject();
            QVERIFY(id.value(QLatin1String("deviceModel")).toString().contains(device->deviceModel().trimmed()));
        }
        QVERIFY(identities <= 1);
    }

    void csvHasAHeaderWithUnits()
    {
        TempWorkDir dir;
        SimulatedController sim(ProtocolModbusTcp, ControllerMppt);
        dir.writeConfig(tcpConfigText(sim.listenTcp(), QStringLiteral("TCP Modbus"), QStringLiteral("MPPT")));
        const QString out = dir.path() + QStringLiteral("/samples.csv");
        for (int run = 0; run < 2; ++run) {
            LoggerRun logger({QStringLiteral("--format"), QStringLiteral("csv"), QStringLiteral("--out"), out});
            QVERIFY(QTest::qWaitFor([&] {
                QFile f(out);
                return f.open(QIODevice::ReadOnly) && completeLines(f.readAll()).size() >= 2 + run * 2;
            }, 15000));
            QVERIFY(logger.stop(SIGINT));
            QCOMPARE(logger.process.exitCode(), 0);
        }
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = completeLines(f.readAll());
        // One header, even though the second run appended.
        QVERIFY(lines.first().startsWith("time,address,pvVoltage (V),pvCurrent (A),pvPower (W)"));
        int headers = 0;
        for (const QByteArray &line : lines) {
            headers += line.startsWith("time,");
            if (!line.startsWith("time,"))
                QCOMPARE(line.count(','), lines.first().count(','));
        }
        QCOMPARE(headers, 1);
    }

    // The simulator goes away and comes back on the same port: the logger
    // reconnects within its longest pause, and no line is broken.
    void simulatorRestartMidRun()
    {
        TempWorkDir dir;
        SimulatedController sim(ProtocolModbusTcp, ControllerMppt);
        const quint16 port = sim.listenTcp();
        dir.writeConfig(tcpConfigText(port, QStringLiteral("TCP Modbus"), QStringLiteral("MPPT")));
        LoggerRun run({QStringLiteral("--retry-max"), QStringLiteral("2")});
        QVERIFY(run.waitForSamples(2, 15000));

        sim.closeTransports();
        QTest::qWait(2500);   // refused at least once: the pause grows
        const int before = samplesIn(completeLines(run.out())).size();
        QCOMPARE(sim.listenTcp(port), port);
        QElapsedTimer back;
        back.start();
        // Longest pause 2 s, then one Modbus cycle of 13 ticks.
        QVERIFY(QTest::qWaitFor([&] { return samplesIn(completeLines(run.out())).size() >= before + 2; },
                                 12000));
        QVERIFY(back.elapsed() < 12000);
        QVERIFY(run.stop());
        QCOMPARE(run.process.exitCode(), 0);
        const QByteArray text = run.out();
        QVERIFY(text.endsWith('\n'));
        QVERIFY(allLinesParse(completeLines(text)));
        const QByteArray err = run.err();
        QVERIFY2(err.contains("link down: ClosedByPeer"), err.constData());
        QVERIFY2(err.contains("link down: Refused"), err.constData());
    }

    // SIGTERM while the logger is blocked inside a line's write (its output
    // is a full FIFO): the line is finished once there is room, then the
    // logger ends.
    void sigtermMidWrite()
    {
        TempWorkDir dir;
        SimulatedController sim(ProtocolModbusTcp, ControllerMppt);
        dir.writeConfig(tcpConfigText(sim.listenTcp(), QStringLiteral("TCP Modbus"), QStringLiteral("MPPT")));
        const QByteArray fifo = QFile::encodeName(dir.path() + QStringLiteral("/out.fifo"));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        const int reader = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(reader >= 0);
        const int filler = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK);
        QVERIFY(filler >= 0);
        const int capacity = ::fcntl(filler, F_SETPIPE_SZ, 4096);
        QVERIFY(capacity >= 4096);
        // Full but for 100 bytes: the logger's first line cannot go out.
        const QByteArray padding = QByteArray(capacity - 101, 'x') + '\n';
        QCOMPARE(::write(filler, padding.constData(), size_t(padding.size())), ssize_t(padding.size()));

        LoggerRun run({QStringLiteral("--out"), QString::fromLocal8Bit(fifo)});
        QByteArray text;
        auto drain = [&] {
            char buffer[8192];
            ssize_t n;
            while ((n = ::read(reader, buffer, sizeof buffer)) > 0)
                text.append(buffer, int(n));
        };
        // A line no longer fits (a pipe takes it whole or not at all): the
        // first line the logger writes blocks it, and its polling stops.
        int seen = -1;
        for (int i = 0; i < 30 && (seen <= 0 || seen != sim.requestCount()); ++i) {
            seen = sim.requestCount();
            QTest::qWait(700);
        }
        QVERIFY(seen > 0 && seen == sim.requestCount());
        QTest::qWait(200);
        int queued = 0;
        QVERIFY(::ioctl(reader, FIONREAD, &queued) == 0);
        QCOMPARE(queued, padding.size());
        ::kill(pid_t(run.process.processId()), SIGTERM);
        QTest::qWait(300);
        QCOMPARE(run.process.state(), QProcess::Running);   // still inside its line
        ::close(filler);
        QVERIFY(QTest::qWaitFor([&] { drain(); return run.process.state() == QProcess::NotRunning; }, 5000));
        drain();
        ::close(reader);
        QCOMPARE(run.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.process.exitCode(), 0);

        QVERIFY(text.startsWith(padding));
        const QByteArray written = text.mid(padding.size());
        QVERIFY(written.endsWith('\n'));
        const QList<QByteArray> lines = completeLines(written);
        QVERIFY(!lines.isEmpty());
        QVERIFY(allLinesParse(lines));
    }

    void stopsPromptlyInsideAPoll()
    {
        TempWorkDir dir;
        SimulatedController sim(ProtocolModbusTcp, ControllerMppt);
        dir.writeConfig(tcpConfigText(sim.listenTcp(), QStringLiteral("TCP Modbus"), QStringLiteral("MPPT")));
        LoggerRun run{QStringList()};
        QVERIFY(run.waitForSamples(1, 15000));
        SimFaults silent;
        silent.silence = true;
        sim.setFaults(silent);   // every poll now waits out its retries
        QTest::qWait(200);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(run.stop(SIGINT));
        QVERIFY(clock.elapsed() < 1000);
        QCOMPARE(run.process.exitCode(), 0);
        QVERIFY(run.out().endsWith('\n'));
    }

    void badOptionsAndConfig_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("config");
        QTest::addColumn<QString>("message");
        const QString good = tcpConfigText(502, QStringLiteral("TCP Modbus"));
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--colour")} << good
                                        << QStringLiteral("Unknown option 'colour'");
        QTest::newRow("bad format") << QStringList{QStringLiteral("--format"), QStringLiteral("xml")} << good
                                    << QStringLiteral("--format must be jsonl or csv");
        QTest::newRow("stray argument") << QStringList{QStringLiteral("now")} << good
                                        << QStringLiteral("unexpected argument: now");
        QTest::newRow("bad retry") << QStringList{QStringLiteral("--retry-max"), QStringLiteral("-1")} << good
                                   << QStringLiteral("--retry-max wants seconds");
        QTest::newRow("missing config") << QStringList{QStringLiteral("--config"), QStringLiteral("nothere.ini")}
                                        << good << QStringLiteral("nothere.ini: no such file");
        QTest::newRow("no config at all") << QStringList{} << QString() << QStringLiteral("config.ini: no such file");
        QTest::newRow("Bluetooth") << QStringList{}
                                   << QStringLiteral("[common]\ncommunication_mode=Bluetooth\ncommunication_protocol=Define\n")
                                   << QStringLiteral("communication_mode is \"Bluetooth\"");
        QTest::newRow("unknown protocol") << QStringList{}
                                          << QStringLiteral("[common]\ncommunication_mode=Wifi\ncommunication_protocol=CAN\n")
                                          << QStringLiteral("communication_protocol is \"CAN\"");
        QTest::newRow("Define without type") << QStringList{}
                                             << QStringLiteral("[common]\ncommunication_mode=Wifi\ncommunication_protocol=Define\n[Wifi]\nip_address=127.0.0.1\nip_port=502\n")
                                             << QStringLiteral("controller_type is \"\"");
        QTest::newRow("port out of range") << QStringList{} << tcpConfigText(0, QStringLiteral("Modbus"))
                                           << QStringLiteral("ip_port is not a port number");
        QTest::newRow("no serial port") << QStringList{} << serialConfigText(QString(), 9600, 1, QStringLiteral("Modbus"))
                                        << QStringLiteral("serial_port is empty");
        // The recorder and the MQTT last will would name an address the link never polls.
        for (const int address : {0, 248, 257})
            QTest::addRow("address %d", address)
                << QStringList{} << serialConfigText(QStringLiteral("/dev/ttyS0"), 9600, address, QStringLiteral("Modbus"))
                << QStringLiteral("[Serial] serial_address is %1; a device answers at 1 to 247").arg(address);
        QTest::newRow("unwritable out") << QStringList{QStringLiteral("--out"), QStringLiteral("/nonexistent/dir/x")}
                                        << good << QStringLiteral("/nonexistent/dir/x: No such file");
    }

    void badOptionsAndConfig()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, config);
        QFETCH(QString, message);
        TempWorkDir dir;
        if (!config.isEmpty())
            dir.writeConfig(config);
        QProcess p;
        p.start(loggerExe(), arguments);
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitCode(), 2);
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        QVERIFY2(err.startsWith(QLatin1String("solar-logger: ")), qPrintable(err));
        QVERIFY2(err.contains(message), qPrintable(err));
        QVERIFY(p.readAllStandardOutput().isEmpty());
    }

    void helpAndVersion()
    {
        QProcess p;
        p.start(loggerExe(), {QStringLiteral("--help")});
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitCode(), 0);
        const QString help = QString::fromLocal8Bit(p.readAllStandardOutput());
        for (const char *option : {"--config", "--out", "--format", "--retry-max", "--silence", "--version"})
            QVERIFY2(help.contains(QLatin1String(option)), option);
        p.start(loggerExe(), {QStringLiteral("--version")});
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(QRegularExpression(QStringLiteral("^solar-logger \\d+\\.\\d+(\\.\\d+)?\\n$"))
                    .match(QString::fromLocal8Bit(p.readAllStandardOutput())).hasMatch());
    }

    // A day of a simulated controller polled with short timers: hundreds of
    // cycles, and once warm the heap in use stays where it is. The
    // simulator runs as its own process, so only the logger is on this heap.
    void compressedDayKeepsTheHeap()
    {
        TempWorkDir dir;
        constexpr int RunMs = 16000;
        QProcess sim;
        // Every scanned address answers, so no probe waits out its timeout;
        // the simulated day (86400 s) passes in the time of the run.
        sim.start(QString::fromLocal8Bit(qgetenv("SOLAR_SIM_EXE")),
                  {QStringLiteral("--protocol"), QStringLiteral("tcp"), QStringLiteral("--address"),
                   QStringLiteral("1-32"), QStringLiteral("--tcp-port"), QStringLiteral("0"),
                   QStringLiteral("--tick-ms"), QStringLiteral("50"), QStringLiteral("--tick-seconds"),
                   QString::number(86400 * 50 / RunMs)});
        QVERIFY(QTest::qWaitFor([&] { return sim.canReadLine(); }, 5000));
        const QString listening = QString::fromLocal8Bit(sim.readLine()).trimmed();
        const quint16 port = quint16(listening.section(QLatin1Char(':'), -1).toInt());
        QVERIFY2(port != 0, qPrintable(listening));
        dir.writeConfig(tcpConfigText(port, QStringLiteral("TCP Modbus"), QStringLiteral("MPPT")));

        struct CountingSink : SampleSink
        {
            int samples = 0;
            QList<double> pv;
            void writeSample(const LiveSample &s) override
            {
                ++samples;
                if (pv.isEmpty() || pv.last() != s.value(PvVoltage))
                    pv.append(s.value(PvVoltage));
            }
            void writeIdentity(const DeviceIdentity &, qint64, int) override {}
        } sink;
        sink.pv.reserve(100000);
        HeadlessLogger logger(dir.configPath());
        logger.core.setPollTiming(0, 1);
        logger.addSink(&sink);
        logger.start();

        // Warm: every text and buffer has met its largest value once.
        QVERIFY(QTest::qWaitFor([&] { return sink.samples >= 30; }, 10000));
        QTest::qWait(RunMs / 4);
        malloc_trim(0);
        const size_t early = mallinfo2().uordblks;
        const quint16 earlyRequests = logger.core.mainEngine.transactionId;
        QTest::qWait(RunMs * 3 / 4);
        malloc_trim(0);
        const size_t late = mallinfo2().uordblks;
        const int requests = quint16(logger.core.mainEngine.transactionId - earlyRequests);
        logger.stop();
        sim.kill();
        sim.waitForFinished(2000);
        qInfo("%d samples, %d requests in the measured part; heap in use %zu -> %zu bytes",
              sink.samples, requests, early, late);
        QVERIFY(requests > 500);
        QVERIFY(sink.pv.size() > 30);   // the values moved through the day
        QVERIFY2(late <= early + 8 * 1024, qPrintable(QStringLiteral("%1 -> %2").arg(early).arg(late)));
    }
};

QTEST_GUILESS_MAIN(tst_logger)
#include "tst_logger.moc"
