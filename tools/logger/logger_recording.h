#ifndef LOGGER_RECORDING_H
#define LOGGER_RECORDING_H

#include <QString>
#include <memory>

#include "history_delivery.h"
#include "history_store.h"
#include "mqtt_publisher.h"

class Recorder;
struct LoggerOptions;

// The logger's history file and broker link, set up from its options and
// config.ini and handed to its recorder. A history file that cannot be
// opened or written is said on stderr (once per failing spell) and polling
// goes on; the store keeps what it could not write for the next try. Each
// change of the broker link is said once on stderr; the publisher
// reconnects by itself.
class LoggerRecording
{
public:
    LoggerRecording();
    ~LoggerRecording();

    // Opens the history unless recording is off (--no-record, or [record]
    // enabled=false without a --db) and starts the publisher when [mqtt]
    // enabled. False when the MQTT settings cannot be started with (said on
    // stderr).
    bool start(const LoggerOptions &options, Recorder &recorder);
    // Only the history: opens it unless recording is off; false then.
    bool openStore(const LoggerOptions &options);

    // Commits what is gathered; false, with the reason on stderr, when
    // samples were lost on the way.
    bool finish();

    bool recording() const { return recording_; }
    bool publishing() const { return publisher.isStarted(); }

    HistoryStore store;
    MqttPublisher publisher;
    // Recording and publishing: what the broker missed goes out from the store.
    std::unique_ptr<HistoryDelivery> delivery;

private:
    bool recording_ = false;
};

#endif
