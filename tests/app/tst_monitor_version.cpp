// solar-monitor --version answers on a box without a display (a headless
// build machine, a package check) and starts no window.
#include <QProcess>
#include <QProcessEnvironment>
#include <QtTest>

class tst_monitor_version : public QObject
{
    Q_OBJECT

private slots:
    void answersWithoutADisplay()
    {
        const QString program = qEnvironmentVariable("SOLAR_MONITOR_EXE");
        if (program.isEmpty())
            QSKIP("SOLAR_MONITOR_EXE not set (run through ctest)");
        // xcb with no display would abort had Qt been started.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(program, {QStringLiteral("--version")});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(QString::fromLocal8Bit(p.readAllStandardOutput()),
                 QStringLiteral("solar-monitor " SOLAR_VERSION "\n"));
        QCOMPARE(p.readAllStandardError(), QByteArray());
    }
};

QTEST_GUILESS_MAIN(tst_monitor_version)
#include "tst_monitor_version.moc"
