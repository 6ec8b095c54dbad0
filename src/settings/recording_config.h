#ifndef RECORDING_CONFIG_H
#define RECORDING_CONFIG_H

#include <QString>
#include <QStringList>

class ConfigFile;

// [record] of config.ini: enabled (0/1, true/false), database (a path; empty
// for the default), retention_days (0 keeps everything).
struct RecordConfig
{
    bool enabled = false;
    QString database;
    int retentionDays = 0;
};

// The window records only when asked to; the logger unless told not to.
RecordConfig readRecordConfig(const ConfigFile &config, bool enabledByDefault = false);

// <XDG data dir>/solar-monitor/history.sqlite
QString defaultHistoryPath();

// The file a [record] section names: database taken relative to the folder of
// the settings file it was read from (a service's config.ini in /etc names
// its history beside it), "~/" the home folder, or defaultHistoryPath()
// when empty.
QString historyPath(const RecordConfig &record, const QString &configPath);

// [mqtt] of config.ini.
struct MqttConfig
{
    bool enabled = false;
    QString host = QStringLiteral("localhost");
    int port = 1883;                 // 8883 when ca_file is set and no port is given
    QString clientId;                // empty: "solar-monitor-<pid>"
    QString username;
    QString password;
    QString caFile;                  // set: TLS, the broker's certificate checked against it
    QString certFile;                // with keyFile: our client certificate (needs caFile)
    QString keyFile;
    QString topicPrefix = QStringLiteral("solar");
    QString discoveryPrefix = QStringLiteral("homeassistant");
    int qos = 0;
    bool retain = false;             // for the state messages; discovery and availability always are
    bool commands = false;           // the load switch may be set over MQTT (a program that serves it)
    QStringList warnings;            // said at start: settings that work but should not be so
    // On a bus: the identifier of the bridge device every controller hangs
    // off (via_device), and its availability topic, which must say online
    // too (availability_mode all). Empty: a controller of its own.
    QString viaDevice;
    QString bridgeAvailability;

    // Everything that needs a new broker connection when it changes.
    bool sameConnection(const MqttConfig &other) const;
};

MqttConfig readMqttConfig(const ConfigFile &config);

#endif
