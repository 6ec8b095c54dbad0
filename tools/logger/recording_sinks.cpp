#include "recording_sinks.h"

#include <QFileInfo>
#include <QTextStream>

#include "config_file.h"
#include "headless_logger.h"
#include "logger_options.h"

namespace {

void say(const QString &line)
{
    QTextStream(stderr) << "solar-logger: " << line << '\n';
}

} // namespace

HistorySink::HistorySink()
{
    QObject::connect(&store, &HistoryStore::errorOccurred, &store, [](const QString &text) {
        say(text + QStringLiteral("; polling goes on"));
    });
    QObject::connect(&store, &HistoryStore::writeRecovered, &store, [this] {
        say(QStringLiteral("history file %1 takes writes again").arg(store.path()));
    });
}

bool HistorySink::open(const QString &configPath, const QString &dbPath)
{
    const RecordConfig record = readRecordConfig(ConfigFile(configPath), true);
    store.setRetentionDays(record.retentionDays);
    const QString path = QFileInfo(dbPath.isEmpty() ? historyPath(record, configPath) : dbPath).absoluteFilePath();
    if (!store.open(path))
        return false;   // errorOccurred has said why
    say(QStringLiteral("recording to %1").arg(store.path()));
    return true;
}

void HistorySink::writeSample(const LiveSample &sample)
{
    store.append(sample);
}

void HistorySink::writeIdentity(const DeviceIdentity &identity, qint64, int)
{
    store.setIdentity(identity);
}

bool HistorySink::finish()
{
    const bool written = !store.isOpen() || store.flush();
    if (store.lostSamples() > 0)
        say(QStringLiteral("%1 samples could not be recorded in %2")
                .arg(store.lostSamples())
                .arg(store.path().isEmpty() ? HistoryStore::defaultPath() : store.path()));
    return written && store.lostSamples() == 0;
}

MqttSink::MqttSink()
{
    // Each change of the broker link, once, in the publisher's words.
    QObject::connect(&publisher, &MqttPublisher::linkChanged, &publisher,
                     [](const MqttLinkStatus &status) { say(status.text); });
}

MqttSink::~MqttSink()
{
    // "offline" and a clean disconnect, without a word on stderr at the end.
    QObject::disconnect(&publisher, nullptr, nullptr, nullptr);
    publisher.stop();
}

bool MqttSink::start(const MqttConfig &config, int address)
{
    for (const QString &warning : config.warnings)
        say(warning);
    if (publisher.start(config, address))
        return true;
    say(publisher.errorString());
    return false;
}

void MqttSink::writeSample(const LiveSample &sample)
{
    publisher.publishSample(sample);
}

void MqttSink::writeIdentity(const DeviceIdentity &identity, qint64, int)
{
    publisher.setIdentity(identity);
}

bool addRecordingSinks(const LoggerOptions &options, HeadlessLogger &logger, HistorySink &history,
                       MqttSink &mqtt)
{
    const ConfigFile config(options.configPath);
    if (options.record && (!options.dbPath.isEmpty() || readRecordConfig(config, true).enabled)) {
        history.open(options.configPath, options.dbPath);   // a failure is said and polling goes on
        logger.addSink(&history);
    }
    const MqttConfig mqttConfig = readMqttConfig(config);
    if (mqttConfig.enabled) {
        // The last will names the address the link is about to poll.
        const LinkConfig link = readLinkConfig(config);
        const int address = link.serial() ? link.address() : logger.core.deviceAddress();
        if (!mqtt.start(mqttConfig, address))
            return false;
        logger.addSink(&mqtt);
    }
    return true;
}
