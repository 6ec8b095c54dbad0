// Nothing lost to a broker that was away: a core polls the simulator, the
// recorder records and publishes, the broker is stopped and started again
// (a real mosquitto), and a subscriber of state and history gets every
// recorded reading exactly once, with the times of the store's rows.
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <memory>

#include "history_delivery.h"
#include "monitor_core.h"
#include "mqtt_fixture.h"
#include "recorder.h"
#include "simulated_controller.h"
#include "temp_workdir.h"

namespace {

constexpr qint64 Forever = std::numeric_limits<qint64>::max();

// What the logger sets up around its recorder, to be torn down and built
// again as a restarted logger would.
struct Recording
{
    HistoryStore store;
    MqttPublisher publisher;
    std::unique_ptr<HistoryDelivery> delivery;

    bool start(const QString &db, quint16 port, Recorder &recorder)
    {
        if (!store.open(db))
            return false;
        MqttConfig c;
        c.enabled = true;
        c.host = QStringLiteral("127.0.0.1");
        c.port = port;
        c.clientId = QStringLiteral("tst-delivery");
        c.qos = 1;
        publisher.setReconnectDelays(1, 1);
        delivery = std::make_unique<HistoryDelivery>(&store, &publisher);
        if (!publisher.start(c, 1))
            return false;
        recorder.setStore(&store);
        recorder.setPublisher(&publisher);
        recorder.setDelivery(delivery.get());
        return true;
    }
};

QVector<qint64> timesOf(const QVector<ReceivedMessage> &messages, int *states, int *history)
{
    QVector<qint64> times;
    for (const ReceivedMessage &m : messages) {
        const bool state = m.topic.endsWith("/state");
        if (!state && !m.topic.endsWith("/history"))
            continue;
        ++*(state ? states : history);
        const QString time = QJsonDocument::fromJson(m.payload).object().value(QStringLiteral("time")).toString();
        times.append(QDateTime::fromString(time, Qt::ISODateWithMs).toMSecsSinceEpoch());
    }
    return times;
}

} // namespace

class TstHistoryDelivery : public QObject
{
    Q_OBJECT

private slots:
    void everyReadingOnceThroughAnOutage_data()
    {
        QTest::addColumn<bool>("restartDuringOutage");
        QTest::newRow("broker stopped and started") << false;
        QTest::newRow("logger restarted while the broker is away") << true;
    }

    void everyReadingOnceThroughAnOutage()
    {
        QFETCH(bool, restartDuringOutage);
        TempWorkDir dir;
        TestBroker broker;
        QVERIFY(broker.start());
        const quint16 port = broker.port();
        auto before = std::make_unique<TestSubscriber>();
        QVERIFY(before->connectTo(port, "solar/#"));

        SimulatedController sim(ProtocolModbusTcp, ControllerMppt);
        MonitorCore core;
        core.configPath = dir.path() + QStringLiteral("/config.ini");
        QFile file(core.configPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(tcpConfigText(sim.listenTcp(), QStringLiteral("TCP Modbus"), QStringLiteral("MPPT")).toUtf8());
        file.close();
        core.setPollTiming(5, 1);
        auto recorder = std::make_unique<Recorder>(core);
        auto recording = std::make_unique<Recording>();
        const QString db = dir.path() + QStringLiteral("/history.sqlite");
        QVERIFY(recording->start(db, port, *recorder));
        int taken = 0;
        auto count = [&taken](Recorder &r) {
            QObject::connect(&r, &Recorder::sampleTaken, &r, [&taken] { ++taken; });
        };
        count(*recorder);
        core.connectLink();
        QTRY_VERIFY(core.linkIsUp());
        QTRY_VERIFY_WITH_TIMEOUT(recording->publisher.isConnected() && taken >= 5, 10000);

        broker.stop();
        const int atStop = taken;
        QTRY_VERIFY_WITH_TIMEOUT(taken >= atStop + 10, 10000);
        if (restartDuringOutage) {
            recorder.reset();
            recording.reset();   // the store commits, the mark stays in the file
            recorder = std::make_unique<Recorder>(core);
            recording = std::make_unique<Recording>();
            QVERIFY(recording->start(db, port, *recorder));
            count(*recorder);
            const int atRestart = taken;
            QTRY_VERIFY_WITH_TIMEOUT(taken >= atRestart + 10, 10000);
        }
        QVERIFY(!recording->publisher.isConnected());

        QVERIFY(broker.start(port));
        TestSubscriber after;
        QVERIFY(after.connectTo(port, "solar/#"));
        QTRY_VERIFY_WITH_TIMEOUT(recording->publisher.isConnected(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(recording->delivery->historySent() > 0 && !recording->delivery->catchingUp(), 10000);
        const int atCatchUp = taken;
        QTRY_VERIFY_WITH_TIMEOUT(taken >= atCatchUp + 3, 10000);   // live states flow again

        core.disconnectLink();
        QVERIFY(recording->store.flush());
        const QVector<LiveSample> rows = recording->store.readRange(0, Forever, 1);
        QVERIFY(rows.size() >= 18);
        // Every acknowledgement is in: the mark reaches the newest row.
        QTRY_COMPARE_WITH_TIMEOUT(recording->store.deliveredUpTo(1), rows.last().timeMs, 5000);

        int states = 0, history = 0;
        QVector<qint64> got = timesOf(before->messages(), &states, &history);
        got += timesOf(after.messages(), &states, &history);
        std::sort(got.begin(), got.end());
        QVector<qint64> recorded;
        for (const LiveSample &s : rows)
            recorded.append(s.timeMs);
        QCOMPARE(std::unique(got.begin(), got.end()) - got.begin(), qint64(got.size()));   // none twice
        QCOMPARE(got.size(), recorded.size());   // none missing
        QCOMPARE(got, recorded);
        QVERIFY2(history >= 10, qPrintable(QString::number(history)));
        QVERIFY(states >= 3);
    }
};

QTEST_GUILESS_MAIN(TstHistoryDelivery)
#include "tst_history_delivery.moc"
