#ifndef BUS_CONFIG_H
#define BUS_CONFIG_H

#include <QList>
#include <QMap>
#include <QString>

class ConfigFile;

// [bus] of config.ini: every controller on the line polled as one site.
//
//   [bus]
//   addresses=1,2,5-7     ; or scan: every address 1..32 that answers
//   interval=0            ; seconds from the start of a device's cycle to its
//                         ; next; 0 as fast as the line allows; absent: each
//                         ; device a step per 100 ms as when polled alone
//   offline_interval=60   ; seconds between requests to a device gone silent
//   [device.5]
//   controller_type=PWM   ; overrides [type] for that address
struct BusConfig
{
    bool enabled = false;      // a [bus] addresses key is there
    bool scan = false;         // addresses=scan
    QList<int> addresses;      // in the order written, without scan
    int intervalMs = -1;       // -1: no interval key
    int offlineIntervalMs = 60000;
    QMap<int, QString> controllerTypes;   // [device.N] controller_type

    // The type address is polled as: its own, else [type]'s.
    QString controllerFor(int address, const QString &fallback) const
    {
        return controllerTypes.value(address, fallback);
    }
};

// Scan probes these, and rescans every ScanRepeatMs.
constexpr int BusScanFirst = 1;
constexpr int BusScanLast = 32;
constexpr int ScanRepeatMs = 10 * 60 * 1000;

// Reads [bus] and the [device.N] sections. Returns what is wrong, naming
// the key ("[bus] addresses: 5 is listed twice"), or empty.
QString readBusConfig(const ConfigFile &config, BusConfig &bus);

#endif
