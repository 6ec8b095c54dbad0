#include "recorder.h"


Recorder::Recorder(MonitorCore &core, QObject *parent) : QObject(parent), core_(core)
{
    // Direct: the sample is taken inside the poll step, while the engine's
    // model still holds what was answered.
    connect(&core, &MonitorCore::linkChanged, this, &Recorder::onLinkChanged, Qt::DirectConnection);
    connect(&core, &MonitorCore::stepAnswered, this, &Recorder::onStepAnswered, Qt::DirectConnection);
    connect(&core, &MonitorCore::identityKnown, this, &Recorder::onIdentityKnown, Qt::DirectConnection);
}

Recorder::~Recorder()
{
    disconnect(&core_, nullptr, this, nullptr);
}

void Recorder::setStore(HistoryStore *store)
{
    if (store == store_)
        return;
    store_ = store;
    if (store && identityKnown_)
        store->setIdentity(identity_);
}

void Recorder::setPublisher(MqttPublisher *publisher)
{
    if (publisher == publisher_)
        return;
    publisher_ = publisher;
    if (publisher && identityKnown_)
        publisher->setIdentity(identity_);
}

void Recorder::stop()
{
    stopped_ = true;
    disconnect(&core_, nullptr, this, nullptr);
}

void Recorder::onLinkChanged(const MonitorCore::LinkEvent &event)
{
    switch (event.state) {
    case MonitorCore::LinkState::Up:
        // Possibly another controller: who it is is read afresh.
        identityKnown_ = false;
        samples_.linkUp(core_);
        return;
    case MonitorCore::LinkState::Connecting:
        return;
    case MonitorCore::LinkState::Down:
        if (store_)
            store_->flush();
        return;
    }
}

void Recorder::onStepAnswered(MonitorCore::StepResult result, const DeviceData &data)
{
    if (stopped_ || !samples_.take(result, data, core_))
        return;
    const LiveSample &sample = samples_.sample();
    if (store_)
        store_->append(sample);
    const int mid = publisher_ ? publisher_->publishSample(sample) : -1;
    if (delivery_)
        delivery_->sampleTaken(sample, mid);
    emit sampleTaken(sample);
}

void Recorder::onIdentityKnown(const DeviceIdentity &identity)
{
    if (stopped_)
        return;
    identity_ = identity;
    identityKnown_ = true;
    if (store_)
        store_->setIdentity(identity);
    if (publisher_)
        publisher_->setIdentity(identity);
    emit identityTaken(identity);
}
