#include "recording_config.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "config_file.h"

RecordConfig readRecordConfig(const ConfigFile &config, bool enabledByDefault)
{
    RecordConfig record;
    record.enabled = config.boolValue(QStringLiteral("record/enabled"), enabledByDefault);
    record.database = config.value(QStringLiteral("record/database")).trimmed();
    record.retentionDays = qMax(0, config.intValue(QStringLiteral("record/retention_days")));
    return record;
}

QString defaultHistoryPath()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dir.isEmpty())
        dir = QDir::homePath() + QStringLiteral("/.local/share");
    return dir + QStringLiteral("/solar-monitor/history.sqlite");
}

QString historyPath(const RecordConfig &record, const QString &configPath)
{
    if (record.database.isEmpty())
        return defaultHistoryPath();
    if (record.database.startsWith(QLatin1String("~/")))
        return QDir::homePath() + record.database.mid(1);
    return QFileInfo(configPath).absoluteDir().absoluteFilePath(record.database);
}

bool MqttConfig::sameConnection(const MqttConfig &o) const
{
    return enabled == o.enabled && host == o.host && port == o.port && clientId == o.clientId
           && username == o.username && password == o.password && caFile == o.caFile
           && certFile == o.certFile && keyFile == o.keyFile && topicPrefix == o.topicPrefix
           && discoveryPrefix == o.discoveryPrefix && qos == o.qos && retain == o.retain;
}

MqttConfig readMqttConfig(const ConfigFile &config)
{
    MqttConfig c;
    c.enabled = config.boolValue(QStringLiteral("mqtt/enabled"), false);
    const QString host = config.value(QStringLiteral("mqtt/host")).trimmed();
    if (!host.isEmpty())
        c.host = host;
    c.caFile = config.value(QStringLiteral("mqtt/ca_file")).trimmed();
    c.certFile = config.value(QStringLiteral("mqtt/cert_file")).trimmed();
    c.keyFile = config.value(QStringLiteral("mqtt/key_file")).trimmed();
    const int port = config.intValue(QStringLiteral("mqtt/port"));
    c.port = port > 0 && port < 65536 ? port : (c.caFile.isEmpty() ? 1883 : 8883);
    c.clientId = config.value(QStringLiteral("mqtt/client_id")).trimmed();
    c.username = config.value(QStringLiteral("mqtt/username"));
    c.password = config.value(QStringLiteral("mqtt/password"));
    const QString prefix = config.value(QStringLiteral("mqtt/topic_prefix")).trimmed();
    if (!prefix.isEmpty())
        c.topicPrefix = prefix;
    const QString discovery = config.value(QStringLiteral("mqtt/discovery_prefix")).trimmed();
    if (!discovery.isEmpty())
        c.discoveryPrefix = discovery;
    c.qos = qBound(0, config.intValue(QStringLiteral("mqtt/qos")), 2);
    c.retain = config.boolValue(QStringLiteral("mqtt/retain"), false);
    // Anyone who can read the file can log in as us.
    const QFileInfo file(config.path());
    if (!c.password.isEmpty() && file.exists()
        && (file.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther)))
        c.warnings.append(QCoreApplication::translate(
                              "MqttPublisher",
                              "MQTT: %1 holds the broker password and other users can read it "
                              "(chmod 600 %1)")
                              .arg(file.absoluteFilePath()));
    return c;
}
