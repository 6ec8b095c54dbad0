// solar-logger recording and publishing: the history file it writes against
// the simulated controller (where it goes by default, --db, [record], and
// --no-record), `export` giving those rows back, a history that cannot be
// written while polling goes on, the state messages on a real broker equal
// to its JSON lines, and the export command's argument checks.
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <csignal>

#include "history_store.h"
#include "logger_process.h"
#include "mqtt_fixture.h"
#include "sample_text.h"
#include "simulated_controller.h"
#include "temp_workdir.h"

namespace {

QList<QByteArray> sampleLines(const QByteArray &text)
{
    QList<QByteArray> lines;
    const QList<QByteArray> all = text.split('\n');
    for (int i = 0; i + 1 < all.size(); ++i) {   // the last piece is not a whole line yet
        if (all[i].contains("\"pvVoltage\""))
            lines.append(all[i]);
    }
    return lines;
}

// The logger as a child process in the working directory, its data home set.
struct LoggerRun : LoggerProcess
{
    using LoggerProcess::LoggerProcess;
    bool waitForSamples(int n, int timeoutMs = 15000)
    {
        return QTest::qWaitFor([&] { return sampleLines(out()).size() >= n; }, timeoutMs);
    }
};

struct ExportRun
{
    explicit ExportRun(const QStringList &arguments)
    {
        QProcess p;
        p.start(loggerExe(), QStringList{QStringLiteral("export")} + arguments);
        p.waitForFinished(10000);
        code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        out = p.readAllStandardOutput();
        err = p.readAllStandardError();
    }
    int code = -1;
    QByteArray out;
    QByteArray err;
};

QString isoOf(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs);
}

} // namespace

class tst_logger_history : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(loggerExe()), "SOLAR_LOGGER_EXE names no program");
    }

    void whereItRecords_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("record");      // [record] section text
        QTest::addColumn<QString>("expected");    // relative to the work dir; "data:" the data home; empty: none
        QTest::newRow("default") << QStringList() << QString() << "data:solar-monitor/history.sqlite";
        QTest::newRow("[record] database") << QStringList() << "database=sub/h.sqlite\n" << "sub/h.sqlite";
        QTest::newRow("--db beats the file") << QStringList{QStringLiteral("--db"), QStringLiteral("cli.sqlite")}
                                             << "database=sub/h.sqlite\n" << "cli.sqlite";
        QTest::newRow("enabled=false") << QStringList() << "enabled=false\n" << QString();
        QTest::newRow("--no-record") << QStringList{QStringLiteral("--no-record")} << QString() << QString();
    }

    // The rows in the file are the lines the logger wrote, value for value.
    void whereItRecords()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, record);
        QFETCH(QString, expected);
        TempWorkDir dir;
        const QString dataHome = QDir(dir.path()).absoluteFilePath(QStringLiteral("data"));
        SimulatedController sim{ProtocolDefine, ControllerMppt};
        sim.device(1)->setReg(SimReg::PvVoltage, 2345);
        dir.writeConfig(tcpConfigText(sim.listenTcp(), QStringLiteral("Define"), QStringLiteral("MPPT"))
                        + (record.isEmpty() ? QString() : QStringLiteral("[record]\n") + record));
        LoggerRun run(arguments, dataHome);
        QVERIFY(run.waitForSamples(3));
        QVERIFY(run.stop());
        QCOMPARE(run.process.exitCode(), 0);
        const QList<QByteArray> lines = sampleLines(run.stdoutText);

        if (expected.isEmpty()) {
            QVERIFY(!QDir(dataHome).exists());
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("config.ini")});
            return;
        }
        const QString path = expected.startsWith(QLatin1String("data:"))
                                 ? QDir(dataHome).absoluteFilePath(expected.mid(5))
                                 : QDir(dir.path()).absoluteFilePath(expected);
        QVERIFY2(run.stderrText.contains(QFile::encodeName(path)), run.stderrText.constData());
        HistoryStore store;
        QVERIFY(store.open(path));
        const QVector<LiveSample> rows = store.readRange(0, QDateTime::currentMSecsSinceEpoch());
        QCOMPARE(rows.size(), lines.size());
        for (int i = 0; i < rows.size(); ++i)
            QCOMPARE(sampleJson(rows[i]), lines[i]);
        QCOMPARE(rows.first().counts[PvVoltage], qint64(2345));
    }

    void exportGivesTheRowsBack()
    {
        TempWorkDir dir;
        SimulatedController sim{ProtocolModbusTcp, ControllerMppt};
        dir.writeConfig(tcpConfigText(sim.listenTcp(), QStringLiteral("TCP Modbus"), QStringLiteral("MPPT"))
                        + QStringLiteral("[record]\ndatabase=history.sqlite\n"));
        {
            LoggerRun run({}, dir.path());
            QVERIFY(run.waitForSamples(4));
            QVERIFY(run.stop());
            QCOMPARE(run.process.exitCode(), 0);
        }
        HistoryStore store;
        QVERIFY(store.open(QDir(dir.path()).absoluteFilePath(QStringLiteral("history.sqlite"))));
        const QVector<LiveSample> rows = store.readRange(0, QDateTime::currentMSecsSinceEpoch());
        QVERIFY(rows.size() >= 4);
        store.close();

        // Found through config.ini as the logger found it; the range's ends included.
        ExportRun all({QStringLiteral("--from"), QStringLiteral("2000-01-01"), QStringLiteral("--to"),
                       isoOf(rows.last().timeMs), QStringLiteral("--out"), QStringLiteral("all.csv")});
        QVERIFY2(all.code == 0, all.err.constData());
        QFile file(QStringLiteral("all.csv"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), exportedCsv(rows));
        file.close();

        ExportRun part({QStringLiteral("--db"), QStringLiteral("history.sqlite"), QStringLiteral("--from"),
                        isoOf(rows[1].timeMs), QStringLiteral("--to"), isoOf(rows[2].timeMs),
                        QStringLiteral("--out"), QStringLiteral("part.csv")});
        QVERIFY2(part.code == 0, part.err.constData());
        file.setFileName(QStringLiteral("part.csv"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), exportedCsv(rows.mid(1, 2)));
    }

    void exportArguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        const QString from = QStringLiteral("--from"), to = QStringLiteral("--to"), out = QStringLiteral("--out");
        QTest::newRow("no --from") << QStringList{to, "2026-12-10", out, "x.csv"} << 2 << "--from is needed";
        QTest::newRow("no --out") << QStringList{from, "2026-12-10", to, "2026-12-11"} << 2 << "--out is needed";
        QTest::newRow("bad time") << QStringList{from, "yesterday", to, "2026-12-11", out, "x.csv"} << 2
                                  << "\"yesterday\" is not an ISO 8601 time";
        QTest::newRow("reversed") << QStringList{from, "2026-12-11", to, "2026-12-10", out, "x.csv"} << 2
                                  << "--from is later than --to";
        QTest::newRow("unknown option") << QStringList{from, "2026-12-10", to, "2026-12-11", out, "x.csv", "--fast"}
                                        << 2 << "fast";
        QTest::newRow("missing --config") << QStringList{from, "2026-12-10", to, "2026-12-11", out, "x.csv",
                                                         "--config", "none.ini"}
                                          << 2 << "none.ini: no such file";
        QTest::newRow("no history") << QStringList{from, "2026-12-10", to, "2026-12-11", out, "x.csv",
                                                   "--db", "none.sqlite"}
                                    << 1 << "no history at none.sqlite";
    }

    void exportArguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QString, message);
        TempWorkDir dir;
        const ExportRun run(arguments);
        QCOMPARE(run.code, code);
        QVERIFY2(run.err.contains(message.toUtf8()), run.err.constData());
        QVERIFY(!QFile::exists(QStringLiteral("x.csv")));
        QVERIFY(!QFile::exists(QStringLiteral("none.sqlite")));
    }

    void unwritableHistoryKeepsPolling()
    {
        TempWorkDir dir;
        QFile blocker(QStringLiteral("not-a-folder"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        SimulatedController sim{ProtocolDefine, ControllerPwm};
        dir.writeConfig(tcpConfigText(sim.listenTcp(), QStringLiteral("Define"), QStringLiteral("PWM")));
        LoggerRun run({QStringLiteral("--db"), QStringLiteral("not-a-folder/history.sqlite")}, dir.path());
        QVERIFY(run.waitForSamples(3));
        QVERIFY(run.stop());
        QVERIFY2(run.stderrText.contains("cannot be created"), run.stderrText.constData());
        QVERIFY2(run.stderrText.contains("samples could not be recorded"), run.stderrText.constData());
        QCOMPARE(run.process.exitCode(), 1);
    }

    void publishesItsLines()
    {
        TestBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.log()));
        TestSubscriber subscriber;
        QVERIFY(subscriber.connectTo(broker.port()));
        TempWorkDir dir;
        SimulatedController sim{ProtocolModbusTcp, ControllerMppt};
        dir.writeConfig(tcpConfigText(sim.listenTcp(), QStringLiteral("TCP Modbus"), QStringLiteral("MPPT"))
                        + QStringLiteral("[mqtt]\nenabled=true\nhost=127.0.0.1\nport=%1\nclient_id=logger\n")
                              .arg(broker.port()));
        LoggerRun run({QStringLiteral("--no-record")}, dir.path());
        QVERIFY(run.waitForSamples(4));
        QVERIFY(QTest::qWaitFor([&] { return subscriber.messages().size() > 20; }, 5000));
        QVERIFY(run.stop());
        QCOMPARE(run.process.exitCode(), 0);

        // The device is named by the serial number the identity line gave.
        QString serial;
        for (const QByteArray &line : run.stdoutText.split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (o.contains(QLatin1String("identity")))
                serial = o.value(QLatin1String("identity")).toObject().value(QLatin1String("serialNumber")).toString().trimmed();
        }
        QVERIFY(!serial.isEmpty());
        const QList<QByteArray> lines = sampleLines(run.stdoutText);
        int states = 0;
        for (const ReceivedMessage &m : subscriber.messages()) {
            if (!m.topic.endsWith("/state"))
                continue;
            ++states;
            QVERIFY2(lines.contains(m.payload), m.payload.constData());
        }
        QVERIFY(states >= 2);
        const QVector<ReceivedMessage> named = subscriber.on("solar/" + serial.toUtf8() + "/state");
        QVERIFY(!named.isEmpty());
        QCOMPARE(named.last().payload, lines.last());
        // The goodbye reaches the subscriber through the broker a moment after the logger ends.
        QTRY_COMPARE_WITH_TIMEOUT(subscriber.last("solar/" + serial.toUtf8() + "/availability"),
                                  QByteArray("offline"), 3000);
        bool discovery = false;
        for (const ReceivedMessage &m : subscriber.messages())
            discovery = discovery || (m.topic.startsWith("homeassistant/sensor/") && m.topic.endsWith("/config"));
        QVERIFY(discovery);
    }
};

QTEST_MAIN(tst_logger_history)
#include "tst_logger_history.moc"
