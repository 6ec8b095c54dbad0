// MQTT publishing cost: what one state message costs the polling thread, with
// a real mosquitto broker on 127.0.0.1 and a subscriber counting what arrives.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include "bench_support.h"
#include "energy_today.h"
#include "mqtt_fixture.h"
#include "mqtt_publisher.h"

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
    sub.connectTo(broker.port(), "solar/+/state");
    MqttConfig config;
    config.host = QStringLiteral("127.0.0.1");
    config.port = broker.port();
    config.clientId = QStringLiteral("bench-publisher");
    MqttPublisher publisher;
    publisher.setQueueLimit(1000000);
    publisher.start(config, 1);
    if (!runEventsUntil([&] { return publisher.isConnected(); }, 5000)) {
        out << "no connection: " << publisher.errorString() << "\n";
        return 1;
    }
    LiveSample s;
    s.address = 1;
    s.utcOffsetSeconds = 3600;
    s.chargeStageText = QStringLiteral("MPPT");
    s.pvStateText = QStringLiteral("Generating");
    const int n = 20000;
    const double cpu0 = cpuSeconds();
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < n; ++i) {
        s.timeMs = 1767225600000 + qint64(i) * 1577;
        s.counts[PvVoltage] = 1500 + i % 300;
        s.counts[BatteryVoltage] = 1250 + i % 150;
        s.counts[GeneratedEnergyTotal] = 17 + i / 1000;
        publisher.publishSample(s);
    }
    const double us = double(t.nsecsElapsed()) / 1000.0 / n;
    runEventsUntil([&] { return sub.messages().size() >= n; }, 20000);
    const double cpuUs = (cpuSeconds() - cpu0) * 1e6 / n;
    reportNote(QStringLiteral("%1 state messages of %2 bytes, QoS 0; %3 arrived at the subscriber;"
                              " process CPU incl. the network thread %4 us each")
                   .arg(n).arg(sub.messages().isEmpty() ? 0 : sub.messages().last().payload.size())
                   .arg(sub.messages().size()).arg(cpuUs, 0, 'f', 2));
    reportResult(QStringLiteral("mqtt publish per state message"), us, QStringLiteral("us"),
                 QStringLiteral("target <= 100 us"), us / 100.0, us <= 100.0);
    publisher.stop();

    // The logger while it records: each state with its energy-today figure.
    MqttPublisher withToday;
    withToday.setQueueLimit(1000000);
    withToday.setExtras(MqttPublisher::EnergyTodayEntities);
    withToday.start(config, 2);
    if (!runEventsUntil([&] { return withToday.isConnected(); }, 5000))
        return 1;
    EnergyToday today;
    EnergyToday::Figure figure;
    s.address = 2;
    t.restart();
    for (int i = 0; i < n; ++i) {
        s.timeMs = 1767225600000 + qint64(i) * 1577;
        s.counts[PvVoltage] = 1500 + i % 300;
        s.counts[GeneratedEnergyTotal] = 17 + i / 1000;
        withToday.publishSample(s);
        if (today.add(s, &figure))
            withToday.publishEnergyToday(2, figure.generatedKwh(), figure.consumedKwh());
    }
    const double withUs = double(t.nsecsElapsed()) / 1000.0 / n;
    reportResult(QStringLiteral("mqtt publish per state message with energy today"), withUs, QStringLiteral("us"),
                 QStringLiteral("target <= 100 us"), withUs / 100.0, withUs <= 100.0);
    withToday.stop();
    return 0;
}
