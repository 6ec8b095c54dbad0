// The terminal stays quiet: nothing at start-up and nothing while polling,
// unless QT_LOGGING_RULES switches the traces on, which then keep their words.
#include <QMutex>
#include <QProcess>
#include <QtTest>

#include "simulated_controller.h"
#include "window_fixture.h"

namespace {

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
    // Seconds of polling at the fastest tick go through every step of the
    // schedule and the bus scan many times: what a minute would print.
    void pollingPrintsNothingUntilTracesAreSwitchedOn_data()
    {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<QString>("config");
        QTest::newRow("Define") << int(ProtocolDefine) << "Define";
        QTest::newRow("Modbus TCP") << int(ProtocolModbusTcp) << "TCP Modbus";
    }

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

QTEST_MAIN(tst_quiet_terminal)
#include "tst_quiet_terminal.moc"
