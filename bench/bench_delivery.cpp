// Delivery of a backlog: readings recorded while the broker was away go out
// from the history file at QoS 1 to a real mosquitto on 127.0.0.1; the rate
// counts only what the broker acknowledged.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

#include "bench_support.h"
#include "history_delivery.h"
#include "mqtt_fixture.h"

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    out << "machine: " << machineDescription() << Qt::endl;
    TestBroker broker;
    if (!broker.start()) {
        out << "mosquitto did not start\n";
        return 1;
    }
    TestSubscriber sub;
    sub.connectTo(broker.port(), "solar/+/history");

    QTemporaryDir dir;
    HistoryStore store;
    if (!store.open(dir.filePath(QStringLiteral("history.sqlite"))))
        return 1;
    const qint64 start = 1767225600000;
    const int n = 20000;
    LiveSample s;
    s.address = 1;
    s.utcOffsetSeconds = 3600;
    s.chargeStageText = QStringLiteral("MPPT");
    s.pvStateText = QStringLiteral("Generating");
    store.setBatchLimits(5000, 60000);
    for (int i = 0; i < n; ++i) {
        s.timeMs = start + qint64(i) * 1577;
        s.counts[PvVoltage] = 1500 + i % 300;
        store.append(s);
    }
    store.flush();
    store.setDeliveredUpTo(1, start - 1);   // the whole backlog is missed

    MqttConfig config;
    config.host = QStringLiteral("127.0.0.1");
    config.port = broker.port();
    config.clientId = QStringLiteral("bench-delivery");
    MqttPublisher publisher;
    HistoryDelivery delivery(&store, &publisher);
    publisher.start(config, 1);
    if (!runEventsUntil([&] { return publisher.isConnected(); }, 5000)) {
        out << "no connection: " << publisher.errorString() << "\n";
        return 1;
    }
    // Two live readings settle the device's name, then the walk begins.
    LiveSample live = s;
    for (int i = 1; i <= 2; ++i) {
        live.timeMs = s.timeMs + i * 1577;
        store.append(live);
        delivery.sampleTaken(live, publisher.publishSample(live));
    }
    qint64 acked = 0;
    QObject::connect(&publisher, &MqttPublisher::messageDelivered, [&acked] { ++acked; });
    const double cpu0 = cpuSeconds();
    QElapsedTimer t;
    t.start();
    delivery.sampleTaken(live, -1);
    if (!runEventsUntil([&] { return delivery.historySent() >= n && acked >= n; }, 60000)) {
        out << "only " << delivery.historySent() << " sent, " << acked << " acknowledged\n";
        return 1;
    }
    const double seconds = t.nsecsElapsed() / 1e9;
    const double cpu = cpuSeconds() - cpu0;
    runEventsUntil([&] { return sub.on(QByteArray("solar/addr1/history")).size() >= n; }, 5000);
    const double rate = n / seconds;
    reportNote(QStringLiteral("%1 recorded readings acknowledged in %2 s (%3 s CPU); the subscriber got %4")
                   .arg(n).arg(seconds, 0, 'f', 2).arg(cpu, 0, 'f', 2)
                   .arg(sub.on(QByteArray("solar/addr1/history")).size()));
    reportResult(QStringLiteral("backlog delivery at QoS 1"), rate, QStringLiteral("readings/s"),
                 QStringLiteral("target >= 5000 readings/s"), 5000.0 / rate, rate >= 5000.0);
    return 0;
}
