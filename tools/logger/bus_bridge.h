#ifndef BUS_BRIDGE_H
#define BUS_BRIDGE_H

#include <QByteArray>
#include <QString>

#include "mqtt_publisher.h"

struct mosquitto;

// The line itself as a Home Assistant device: every controller of the bus
// names it as its via_device. Its availability topic says "online" while
// the logger runs, and its last will says "offline" when the logger dies,
// which takes every controller of the line offline with it (their
// availability lists both topics, mode all).
class BusBridge
{
public:
    // line: what the logger polls through, "host:port" or the serial device.
    BusBridge(const MqttConfig &config, const QString &line);
    ~BusBridge();

    bool start();   // false: the client could not be set up (errorString())
    void stop();    // "offline", then a clean goodbye

    QString name() const { return name_; }            // "bridge_<line>"
    QString identifier() const { return QStringLiteral("solar_") + name_; }
    QByteArray availabilityTopic() const;
    QString errorString() const { return error_; }
    // The settings for a controller's publisher behind this bridge.
    MqttConfig deviceConfig(int address) const;

private:
    static void onConnect(mosquitto *mosq, void *self, int rc);
    void announce();

    MqttConfig config_;
    QString line_;
    QString name_;
    QString error_;
    mosquitto *mosq_ = nullptr;
};

#endif
