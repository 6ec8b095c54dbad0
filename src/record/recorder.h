#ifndef RECORDER_H
#define RECORDER_H

#include <QObject>
#include <QPointer>

#include "history_delivery.h"
#include "history_store.h"
#include "live_sample_builder.h"
#include "monitor_core.h"
#include "mqtt_publisher.h"

// Records and publishes what one core reads: it subscribes to the core once,
// turns every answered live-value step into a sample and hands it to the
// history store and the publisher, and tells both who answers.
//
//   Recorder recorder(core);
//   recorder.setStore(&store);           // not owned: several recorders (one
//   recorder.setPublisher(&publisher);   // per core) may share one of each
//   connect(&recorder, &Recorder::sampleTaken, ...);   // lines, metrics
//
// Store and publisher may be set, changed or cleared (nullptr) at any time;
// a store or publisher that is destroyed first is simply forgotten.
class Recorder : public QObject
{
    Q_OBJECT

public:
    explicit Recorder(MonitorCore &core, QObject *parent = nullptr);
    ~Recorder() override;

    void setStore(HistoryStore *store);
    void setPublisher(MqttPublisher *publisher);
    // With recording and publishing both on: what the broker missed is
    // sent from the store later (not owned).
    void setDelivery(HistoryDelivery *delivery) { delivery_ = delivery; }
    HistoryStore *store() const { return store_; }
    MqttPublisher *publisher() const { return publisher_; }
    MonitorCore &core() const { return core_; }

    // No sample or identity is handed on after this (a logger that stops).
    void stop();

    // The identity read since the link came up, if all of it was.
    bool identityKnown() const { return identityKnown_; }
    const DeviceIdentity &identity() const { return identity_; }

signals:
    // After the store and the publisher had it; on the core's thread, inside
    // the poll that produced it.
    void sampleTaken(const LiveSample &sample);
    void identityTaken(const DeviceIdentity &identity);

private:
    void onLinkChanged(const MonitorCore::LinkEvent &event);
    void onStepAnswered(MonitorCore::StepResult result, const DeviceData &data);
    void onIdentityKnown(const DeviceIdentity &identity);

    MonitorCore &core_;
    LiveSampleBuilder samples_;
    QPointer<HistoryStore> store_;
    QPointer<MqttPublisher> publisher_;
    QPointer<HistoryDelivery> delivery_;
    DeviceIdentity identity_;
    bool identityKnown_ = false;
    bool stopped_ = false;
};

#endif
