// The window's history: nothing but config.ini written while "Record history"
// is off; with it on every answered live-value step recorded, a new window's
// curve starting with the recorded span, the export matching the rows, and
// the state messages to a real broker equal to the recorded rows.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenuBar>
#include <QtTest>
#include <qcustomplot.h>

#include "csv_export.h"
#include "history_export.h"
#include "history_recording.h"
#include "history_store.h"
#include "mainwindow.h"
#include "monitoring_sim.h"
#include "mqtt_fixture.h"
#include "sample_text.h"
#include "simulated_controller.h"
#include "window_fixture.h"

namespace {

// Live-value steps answered since the spy was made.
struct LiveSteps
{
    explicit LiveSteps(MonitorCore &core)
    {
        QObject::connect(&core, &MonitorCore::stepAnswered, &context,
                         [this](MonitorCore::StepResult r, const DeviceData &) {
                             if (r == MonitorCore::StepResult::RunData || r == MonitorCore::StepResult::ModbusRunData)
                                 ++count;
                         });
    }
    QObject context;
    int count = 0;
};

QStringList filesUnder(const QString &path)
{
    QStringList files;
    QDirIterator it(path, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(path).relativeFilePath(it.next());
    return files;
}

} // namespace

class tst_history_window : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The default history lives under XDG_DATA_HOME: keep it in here.
        QVERIFY(dataHome_.isValid());
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome_.path()));
    }

    void recordingOffWritesOnlyConfig()
    {
        WindowFixture f;
        SimulatedController sim{ProtocolModbusTcp, ControllerMppt};
        f.dir.writeConfig(tcpConfigText(sim.listenTcp(), QStringLiteral("TCP Modbus"), QStringLiteral("MPPT"))
                          + QStringLiteral("[mqtt]\nhost=127.0.0.1\nport=1\n"));
        LiveSteps steps(f.w().core);
        pressConnect(f.w());
        QVERIFY(waitForLinkUp(f.w()));
        QVERIFY(QTest::qWaitFor([&] { return steps.count >= 3; }, 15000));
        QVERIFY(!f.w().history->store());
        QVERIFY(!f.w().history->publisher());
        QCOMPARE(f.w().menuBar()->actions().size(), 2);
        pressConnect(f.w());
        QVERIFY(waitForLinkDown(f.w()));
        f.window.reset();
        QCOMPARE(filesUnder(f.dir.path()), QStringList{QStringLiteral("config.ini")});
        QCOMPARE(filesUnder(dataHome_.path()), QStringList());
    }

    void recordsThenNewWindowShowsTheSpan()
    {
        TestBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.log()));
        TestSubscriber subscriber;
        QVERIFY(subscriber.connectTo(broker.port(), "solar/#"));

        WindowFixture f;
        SimulatedController sim{ProtocolModbusTcp, ControllerMppt};
        SimulatedDevice *device = sim.device(1);
        device->setReg(SimReg::PvVoltage, 3456);
        device->setReg(SimReg::BatteryVoltage, 1321);
        f.dir.writeConfig(tcpConfigText(sim.listenTcp(), QStringLiteral("TCP Modbus"), QStringLiteral("MPPT"))
                          + QStringLiteral("[record]\nenabled=true\ndatabase=history.sqlite\n"
                                           "[mqtt]\nenabled=true\nhost=127.0.0.1\nport=%1\nclient_id=window\n")
                                .arg(broker.port()));
        LiveSteps steps(f.w().core);
        pressConnect(f.w());
        QVERIFY(waitForLinkUp(f.w()));
        // Over two seconds, so the curve has more than one point to start with.
        QVERIFY(QTest::qWaitFor([&] { return steps.count >= 6; }, 20000));
        QTest::qWait(1100);
        QVERIFY(steps.count >= 6);
        HistoryStore *recorded = f.w().history->store();
        QVERIFY(recorded && recorded->isOpen());
        QCOMPARE(recorded->path(), QDir(f.dir.path()).absoluteFilePath(QStringLiteral("history.sqlite")));
        const QList<QAction *> actions = f.w().menuBar()->actions();
        QCOMPARE(actions.size(), 3);
        QCOMPARE(actions[0], f.w().settingAction);
        QCOMPARE(actions[1], f.w().connectAction);
        QCOMPARE(actions[2]->text(), QStringLiteral("Export CSV"));
        const auto stateCount = [&] {
            int n = 0;
            for (const ReceivedMessage &m : subscriber.messages())
                n += m.topic.endsWith("/state") ? 1 : 0;
            return n;
        };
        QVERIFY(QTest::qWaitFor([&] { return stateCount() >= 2; }, 5000));
        pressConnect(f.w());
        QVERIFY(waitForLinkDown(f.w()));
        f.window.reset();

        HistoryStore store;
        QVERIFY(store.open(QDir(f.dir.path()).absoluteFilePath(QStringLiteral("history.sqlite"))));
        const QVector<LiveSample> rows = store.readRange(0, QDateTime::currentMSecsSinceEpoch());
        // The first step after connecting waits for the totals.
        QVERIFY2(rows.size() >= steps.count - 1 && rows.size() <= steps.count,
                 qPrintable(QStringLiteral("%1 rows, %2 steps").arg(rows.size()).arg(steps.count)));
        for (const LiveSample &s : rows) {
            QCOMPARE(s.address, 1);
            QCOMPARE(s.counts[PvVoltage], qint64(3456));
            QCOMPARE(s.counts[BatteryVoltage], qint64(1321));
            QVERIFY(s.counts[ConsumedChargeTotal] > 0);
        }

        // Every state message the broker passed on is a recorded row as JSON.
        QSet<QByteArray> recordedJson;
        for (const LiveSample &s : rows)
            recordedJson.insert(sampleJson(s));
        int states = 0;
        for (const ReceivedMessage &m : subscriber.messages()) {
            if (!m.topic.endsWith("/state"))
                continue;
            ++states;
            QVERIFY2(recordedJson.contains(m.payload), m.payload.constData());
        }
        QVERIFY(states >= 2);
        // Disconnecting said goodbye; a name given up for the serial number
        // was cleared (an empty retained message).
        int offline = 0;
        for (const ReceivedMessage &m : subscriber.messages()) {
            if (!m.topic.endsWith("/availability"))
                continue;
            const QByteArray last = subscriber.last(m.topic);
            QVERIFY2(last == "offline" || last.isEmpty(), m.topic.constData());
            offline += last == "offline" ? 1 : 0;
        }
        QVERIFY(offline >= 1);

        // A new program: the curve starts with one point per recorded second.
        f.window = std::make_unique<MainWindow>();
        f.window->show();
        QVector<double> keys;
        QVector<LiveSample> firstOfSecond;
        for (const LiveSample &s : rows) {
            const double key = double(s.timeMs / 1000);
            if (keys.isEmpty() || key - keys.last() >= 1.0) {
                keys.append(key);
                firstOfSecond.append(s);
            }
        }
        QVERIFY(keys.size() >= 2);
        auto *plot = f.w().findChild<QCustomPlot *>(QStringLiteral("customplot"));
        QCOMPARE(plot->graph(0)->dataCount(), keys.size());
        const LiveValue shown[] = {PvVoltage, BatteryVoltage, LoadVoltage, PvCurrent, LoadCurrent};
        for (int g = 0; g < 5; ++g) {
            for (int i = 0; i < keys.size(); ++i) {
                QCOMPARE(plot->graph(g)->data()->at(i)->key, keys[i]);
                QCOMPARE(plot->graph(g)->data()->at(i)->value, firstOfSecond[i].value(shown[g]));
            }
        }
        QCOMPARE(f.w().lastCurveKey, keys.last());
        QCOMPARE(plot->xAxis->range().upper, keys.last());
        QCOMPARE(plot->xAxis->range().lower, keys.last() - 1000 * 60);
        QVERIFY(plot->yAxis->range().upper >= 34.56);
        QCOMPARE(plot->graph(0)->name(), QStringLiteral("PV Voltage"));

        // Export from this window: the rows of the range, as the store has them.
        HistoryExport *exporter = f.w().history->exporter();
        QVERIFY(f.w().menuBar()->actions().contains(exporter->action()));
        const QString all = QDir(f.dir.path()).absoluteFilePath(QStringLiteral("all.csv"));
        CsvExportResult result = exporter->exportRange(0, QDateTime::currentMSecsSinceEpoch(), all);
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(result.rows, qint64(rows.size()));
        QFile file(all);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), exportedCsv(rows));
        file.close();
        const QString part = QDir(f.dir.path()).absoluteFilePath(QStringLiteral("part.csv"));
        result = exporter->exportRange(rows[1].timeMs, rows.last().timeMs - 1, part);
        QVERIFY2(result.ok, qPrintable(result.error));
        file.setFileName(part);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), exportedCsv(rows.mid(1, rows.size() - 2)));
    }

private:
    QTemporaryDir dataHome_;
};

QTEST_MAIN(tst_history_window)
#include "tst_history_window.moc"
