#ifndef RECORDING_SINKS_H
#define RECORDING_SINKS_H

#include <QString>

#include "history_store.h"
#include "mqtt_publisher.h"
#include "sample_sink.h"

class HeadlessLogger;
struct LoggerOptions;

// Records every sample into the history file. A file that cannot be opened or
// written is reported on stderr (once per failing spell) and polling goes on;
// the store keeps what it could not write for the next try.
class HistorySink : public SampleSink
{
public:
    HistorySink();

    // dbPath: --db; empty for [record] database of the settings file.
    bool open(const QString &configPath, const QString &dbPath);

    void writeSample(const LiveSample &sample) override;
    void writeIdentity(const DeviceIdentity &identity, qint64 timeMs,
                       int utcOffsetSeconds) override;

    // Commits what is gathered; false, with the reason on stderr, when
    // samples were lost on the way.
    bool finish();

    HistoryStore store;
};

// Publishes every sample over MQTT when [mqtt] enabled. Each change of the
// broker link is said once on stderr and polling goes on; the publisher
// reconnects by itself and keeps a bounded queue meanwhile.
class MqttSink : public SampleSink
{
public:
    MqttSink();
    ~MqttSink() override;

    // False only for settings the publisher cannot start with (see
    // publisher.errorString()).
    bool start(const MqttConfig &config, int address);

    void writeSample(const LiveSample &sample) override;
    void writeIdentity(const DeviceIdentity &identity, qint64 timeMs,
                       int utcOffsetSeconds) override;

    MqttPublisher publisher;
};

// Adds the history sink unless recording is off (--no-record, or [record]
// enabled=false without a --db), and the MQTT sink when [mqtt] enabled.
// False when the MQTT settings cannot be started with (said on stderr).
bool addRecordingSinks(const LoggerOptions &options, HeadlessLogger &logger, HistorySink &history,
                       MqttSink &mqtt);

#endif
