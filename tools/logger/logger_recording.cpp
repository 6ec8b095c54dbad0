#include "logger_recording.h"

#include <QFileInfo>
#include <QTextStream>

#include "config_file.h"
#include "link_config.h"
#include "logger_options.h"
#include "recorder.h"

namespace {

void say(const QString &line)
{
    QTextStream(stderr) << "solar-logger: " << line << '\n';
}

} // namespace

LoggerRecording::LoggerRecording()
{
    QObject::connect(&store, &HistoryStore::errorOccurred, &store, [](const QString &text) {
        say(text + QStringLiteral("; polling goes on"));
    });
    QObject::connect(&store, &HistoryStore::writeRecovered, &store, [this] {
        say(QStringLiteral("history file %1 takes writes again").arg(store.path()));
    });
    // Each change of the broker link, once, in the publisher's words.
    QObject::connect(&publisher, &MqttPublisher::linkChanged, &publisher,
                     [](const MqttLinkStatus &status) { say(status.text); });
}

LoggerRecording::~LoggerRecording()
{
    // "offline" and a clean disconnect, without a word on stderr at the end.
    delivery.reset();
    QObject::disconnect(&publisher, nullptr, nullptr, nullptr);
    publisher.stop();
}

bool LoggerRecording::openStore(const LoggerOptions &options)
{
    const RecordConfig record = readRecordConfig(ConfigFile(options.configPath), true);
    if (!options.record || (options.dbPath.isEmpty() && !record.enabled))
        return false;
    recording_ = true;
    store.setRetentionDays(record.retentionDays);
    const QString path = QFileInfo(options.dbPath.isEmpty() ? historyPath(record, options.configPath)
                                                            : options.dbPath)
                             .absoluteFilePath();
    // A failure is said by errorOccurred and polling goes on.
    if (store.open(path))
        say(QStringLiteral("recording to %1").arg(store.path()));
    return true;
}

bool LoggerRecording::start(const LoggerOptions &options, Recorder &recorder)
{
    const ConfigFile config(options.configPath);
    if (openStore(options))
        recorder.setStore(&store);
    const MqttConfig mqtt = readMqttConfig(config);
    if (mqtt.enabled) {
        for (const QString &warning : mqtt.warnings)
            say(warning);
        // The last will names the address the link is about to poll.
        const int address = readLinkConfig(config).deviceAddress(recorder.core().deviceAddress());
        if (!publisher.start(mqtt, address)) {
            say(publisher.errorString());
            return false;
        }
        recorder.setPublisher(&publisher);
        if (recording_) {
            delivery = std::make_unique<HistoryDelivery>(&store, &publisher);
            recorder.setDelivery(delivery.get());
        }
    }
    return true;
}

bool LoggerRecording::finish()
{
    if (!recording_)
        return true;
    const bool written = !store.isOpen() || store.flush();
    if (store.lostSamples() > 0)
        say(QStringLiteral("%1 samples could not be recorded in %2")
                .arg(store.lostSamples())
                .arg(store.path().isEmpty() ? HistoryStore::defaultPath() : store.path()));
    return written && store.lostSamples() == 0;
}
