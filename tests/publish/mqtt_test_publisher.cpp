// Test helper: a publisher process to be killed, so the broker sends its last
// will. Prints "connected" once the broker took it, then publishes a sample a
// second until it dies.
//   mqtt_test_publisher PORT ADDRESS [SERIAL]
#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

#include "mqtt_publisher.h"

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    MqttConfig config;
    config.host = QStringLiteral("127.0.0.1");
    config.port = atoi(argv[1]);
    config.clientId = QStringLiteral("killed-publisher");
    MqttPublisher publisher;
    QObject::connect(&publisher, &MqttPublisher::connectedChanged, [](bool up) {
        if (up) {
            std::printf("connected\n");
            std::fflush(stdout);
        }
    });
    if (!publisher.start(config, atoi(argv[2])))
        return 1;
    if (argc > 3) {
        // Known before the broker answered: the will must follow the new name.
        DeviceIdentity identity;
        identity.address = atoi(argv[2]);
        identity.serialNumber = QString::fromLocal8Bit(argv[3]);
        publisher.setIdentity(identity);
    }
    LiveSample sample;
    sample.address = atoi(argv[2]);
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        sample.timeMs += 1000;
        publisher.publishSample(sample);
    });
    tick.start(1000);
    return app.exec();
}
