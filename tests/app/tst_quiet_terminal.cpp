// The terminal stays quiet: nothing at start-up and nothing while polling,
// unless QT_LOGGING_RULES switches the traces on, which then keep their words.
//
// The minute of polling runs in a child process of this test, started as the
// operator starts the tool (no QT_LOGGING_RULES), so whatever reaches its
// standard output or error counts, not only Qt's messages.
#include <QApplication>
#include <QElapsedTimer>
#include <QMetaEnum>
#include <QMutex>
#include <QProcess>
#include <QtTest>

#include "app_language.h"
#include "form_fonts.h"
#include "simulated_controller.h"
#include "window_fixture.h"

namespace {

const char *const ChildVariable = "SOLAR_QUIET_CHILD";
const char *const ReportVariable = "SOLAR_QUIET_REPORT";

// Bus addresses with no device: their probes end in the scan's timeout.
const QList<int> silentAddresses = {7, 23};

// The window as main() builds it, polling at the fastest tick until it has
// gone through what a minute at the normal pace holds: over 30 cycles of the
// schedule with every step answered, and the bus scan over every address.
// Says how far it got in the report file, never on the terminal.
int runChild(int argc, char *argv[])
{
    FormFonts::prepareApplication();
    QApplication app(argc, argv);
    installLanguage();
    QStringList missing;
    {
        MainWindow window;
        window.show();
        MonitorCore &core = window.core;
        core.setPollTiming(0, 1);
        QSet<int> answered, probed;
        int cycles = 0;
        QObject::connect(&core, &MonitorCore::stepAnswered, &window,
                         [&](MonitorCore::StepResult r, const DeviceData &) { answered.insert(int(r)); });
        QObject::connect(&core, &MonitorCore::deviceProbed, &window, [&](int address, bool, const QString &) {
            probed.insert(address);
            ++cycles;
        });
        pressConnect(window);

        const QMetaEnum results = QMetaEnum::fromType<MonitorCore::StepResult>();
        auto notYet = [&] {
            QStringList left;
            for (int i = 0; i < results.keyCount(); ++i) {
                auto r = MonitorCore::StepResult(results.value(i));
                if (r == MonitorCore::StepResult::None || r == MonitorCore::StepResult::FactoryFirstHalf
                    || r == MonitorCore::StepResult::FactorySecondHalf)
                    continue;
                // The factory text of the Modbus schedule arrives in two halves.
                const bool scheduled = MonitorCore::scheduleAnswers(core.mainEngine, r)
                    || (r == MonitorCore::StepResult::FactoryInfo
                        && MonitorCore::scheduleAnswers(core.mainEngine, MonitorCore::StepResult::FactorySecondHalf));
                if (scheduled && !answered.contains(int(r)))
                    left << QString::fromLatin1(results.key(i));
            }
            for (int a = 1; a <= 32; ++a)
                if (!probed.contains(a))
                    left << QStringLiteral("probe of %1").arg(a);
            if (cycles < 32)
                left << QStringLiteral("cycle %1 of 32").arg(cycles);
            return left;
        };
        // A few seconds at least, for what runs by the clock (curve, lamps).
        QElapsedTimer clock;
        clock.start();
        if (!QTest::qWaitFor([&] { return clock.elapsed() > 3000 && notYet().isEmpty(); }, 40000))
            missing = notYet();
        pressConnect(window);
        QTest::qWait(200);
    }
    QFile report(qEnvironmentVariable(ReportVariable));
    if (report.open(QIODevice::WriteOnly))
        report.write(missing.join(QLatin1String(", ")).toUtf8());
    return missing.isEmpty() ? 0 : 3;
}

QStringList captured;
QtMessageHandler previous = nullptr;

void capture(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    // Qt Test's own reports are not the program's.
    if (QByteArray(context.category ? context.category : "").startsWith("qt.qpa"))
        return;
    if (text.contains(QLatin1String("propagateSizeHints")))   // offscreen platform only
        return;
    captured << text;
    previous(type, context, text);
}

} // namespace

class tst_quiet_terminal : public QObject
{
    Q_OBJECT

private slots:
    // A minute of polling, compressed: the child's standard output and error
    // stay empty from start-up to the end.
    void aMinuteOfPollingPrintsNothing_data()
    {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<QString>("config");
        QTest::newRow("Define") << int(ProtocolDefine) << "Define";
        QTest::newRow("Modbus TCP") << int(ProtocolModbusTcp) << "TCP Modbus";
    }

    void aMinuteOfPollingPrintsNothing()
    {
        QFETCH(int, protocol);
        QFETCH(QString, config);
        SimulatedController sim(ProtocolKind(protocol), ControllerMppt);
        for (int address = 2; address <= 32; ++address)
            if (!silentAddresses.contains(address))
                sim.addDevice(quint8(address));
        sim.setMotionEnabled(true, 100, 60);
        const quint16 port = sim.listenTcp();
        QVERIFY(port);

        QTemporaryDir work;
        QTemporaryDir runtime;
        QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QFile file(work.filePath(QStringLiteral("config.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(tcpConfigText(port, config, QStringLiteral("MPPT")).toUtf8());
        file.close();
        const QString reportPath = runtime.filePath(QStringLiteral("report"));

        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QLatin1String(ChildVariable), QStringLiteral("1"));
        env.insert(QLatin1String(ReportVariable), reportPath);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.remove(QStringLiteral("QT_LOGGING_RULES"));
        child.setProcessEnvironment(env);
        child.setWorkingDirectory(work.path());
        child.start(QCoreApplication::applicationFilePath(), QStringList());
        QVERIFY(child.waitForStarted());
        // The simulator answers from this event loop (qWaitFor would nap 10 ms
        // between its rounds).
        QEventLoop loop;
        connect(&child, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), &loop, &QEventLoop::quit);
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
        QCOMPARE(child.state(), QProcess::NotRunning);
        QFile report(reportPath);
        QVERIFY(report.open(QIODevice::ReadOnly));
        const QString notCovered = QString::fromUtf8(report.readAll());
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                 qPrintable(QStringLiteral("not covered: ") + notCovered));
        const QString out = QString::fromLocal8Bit(child.readAllStandardOutput());
        QString err = QString::fromLocal8Bit(child.readAllStandardError());
        // The offscreen platform's own remark; a desktop does not make it.
        err.remove(QStringLiteral("This plugin does not support propagateSizeHints()\n"));
        QVERIFY2(out.isEmpty(), qPrintable(out));
        QVERIFY2(err.isEmpty(), qPrintable(err));
    }

    // A few cycles in-process: quiet, then with the traces switched on they
    // print their words.
    void pollingPrintsNothingUntilTracesAreSwitchedOn_data() { aMinuteOfPollingPrintsNothing_data(); }

    void pollingPrintsNothingUntilTracesAreSwitchedOn()
    {
        QFETCH(int, protocol);
        QFETCH(QString, config);
        SimulatedController sim(ProtocolKind(protocol), ControllerMppt);
        sim.setMotionEnabled(true, 100, 60);
        const quint16 port = sim.listenTcp();
        QVERIFY(port);

        captured.clear();
        previous = qInstallMessageHandler(capture);
        struct Restore {
            ~Restore() { qInstallMessageHandler(previous); QLoggingCategory::setFilterRules(QString()); }
        } restore;
        {
            WindowFixture f;
            QVERIFY(f.dir.writeConfig(tcpConfigText(port, config, QStringLiteral("MPPT"))));
            pressConnect(f.w());
            QVERIFY(waitForLinkUp(f.w()));
            const int before = sim.requestCount();
            QTest::qWait(4000);
            QVERIFY2(sim.requestCount() - before > 10, qPrintable(QString::number(sim.requestCount() - before)));
            QVERIFY2(captured.isEmpty(), qPrintable(captured.join(QLatin1Char('\n'))));

            // Switched on, the specified lines appear with their words.
            QLoggingCategory::setFilterRules(QStringLiteral("solar.*.debug=true"));
            pressConnect(f.w());
            pressConnect(f.w());
            QVERIFY(waitForLinkUp(f.w()));
            // A new link polls from the top: the Modbus start step comes a
            // whole cycle later.
            if (protocol != ProtocolDefine)
                QTest::qWaitFor([] { return captured.contains(QStringLiteral("start----------")); }, 5000);
            else
                QTest::qWait(1500);
            QLoggingCategory::setFilterRules(QString());
            const QString all = captured.join(QLatin1Char('\n'));
            QVERIFY2(all.contains(QStringLiteral("mode_str \"Wifi\"")), qPrintable(all));
            QVERIFY2(all.contains(QStringLiteral("tcp client Connect成功！")), qPrintable(all));
            if (protocol != ProtocolDefine)
                QVERIFY2(captured.contains(QStringLiteral("start----------")), qPrintable(all));
            captured.clear();
            pressConnect(f.w());
        }
        QVERIFY2(captured.isEmpty(), qPrintable(captured.join(QLatin1Char('\n'))));
    }

    // The program itself, started as the operator starts it.
    void startUpPrintsNothing()
    {
        const QString program = qEnvironmentVariable("SOLAR_MONITOR_EXE");
        if (program.isEmpty())
            QSKIP("SOLAR_MONITOR_EXE not set (run through ctest)");
        QTemporaryDir work;
        QTemporaryDir runtime;
        QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.remove(QStringLiteral("QT_LOGGING_RULES"));
        tool.setProcessEnvironment(env);
        tool.setWorkingDirectory(work.path());
        tool.setProcessChannelMode(QProcess::MergedChannels);
        tool.start(program, QStringList());
        QVERIFY(tool.waitForStarted());
        QTest::qWait(2000);
        QCOMPARE(tool.state(), QProcess::Running);
        tool.terminate();
        QVERIFY(tool.waitForFinished(5000));
        const QString output = QString::fromLocal8Bit(tool.readAll());
        QVERIFY2(!output.contains(QLatin1String("graph has no data")), qPrintable(output));
        QVERIFY2(output.trimmed().isEmpty() || output.trimmed() == QLatin1String("This plugin does not support propagateSizeHints()"),
                 qPrintable(output));
    }
};

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsSet(ChildVariable))
        return runChild(argc, argv);
    QApplication app(argc, argv);
    tst_quiet_terminal test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_quiet_terminal.moc"
