#include "mqtt_extras_feeds.h"

#include "recorder.h"

void EnergyTodaySink::writeSample(const LiveSample &sample)
{
    auto it = days_.find(sample.address);
    if (it == days_.end()) {
        it = days_.insert(sample.address, EnergyToday());
        EnergyToday::readSeed(store_, sample.address, &*it);
    }
    EnergyToday::Figure figure;
    if (it->add(sample, &figure))
        publisher_.publishEnergyToday(sample.address, figure.generatedKwh(), figure.consumedKwh());
}

LinkWindow::Figures LinkWindow::note(qint64 nowMs, quint64 answered, quint64 finished, quint64 timedOut)
{
    if (!points_.empty()) {
        const Point &last = points_.back();
        if (answered < last.answered || finished < last.finished || timedOut < last.timedOut)
            points_.clear();   // the statistics were reset
    }
    points_.push_back(Point{nowMs, answered, finished, timedOut});
    while (points_.size() > 1 && points_.front().ms < nowMs - WindowMs)
        points_.pop_front();
    const Point &oldest = points_.front();
    Figures f;
    f.finished = finished - oldest.finished;
    if (f.finished > 0)
        f.answerRate = 100.0 * double(answered - oldest.answered) / double(f.finished);
    // A lone timeout just after the start is one a minute, not twelve.
    f.timeoutsPerMinute = double(timedOut - oldest.timedOut) / qMax(1.0, double(nowMs - oldest.ms) / 60000.0);
    return f;
}

LinkWindow::Figures LinkWindow::note(qint64 nowMs, const LinkStats &stats)
{
    quint64 answered = 0, finished = 0, timedOut = 0;
    for (int k = 0; k < RequestKindCount; ++k) {
        if (RequestKind(k) == RequestKind::Scan)
            continue;
        const RequestCounters &c = stats.counters(RequestKind(k));
        answered += c.answered;
        finished += c.answered + c.failed;
        timedOut += c.timedOut;
    }
    return note(nowMs, answered, finished, timedOut);
}

LinkFiguresFeed::LinkFiguresFeed(MonitorCore &core, MqttPublisher &publisher, QObject *parent)
    : QObject(parent), core_(core), publisher_(publisher)
{
    clock_.start();
    window_.note(0, core.linkStats());   // where the first window begins
    timer_.setInterval(DefaultIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &LinkFiguresFeed::publishNow);
    timer_.start();
}

void LinkFiguresFeed::publishNow()
{
    const LinkWindow::Figures f = window_.note(clock_.elapsed(), core_.linkStats());
    // Nothing asked lately: no rate to tell, and the sensors expire.
    if (f.finished == 0)
        return;
    publisher_.publishLinkFigures(core_.deviceAddress(), f.answerRate, f.timeoutsPerMinute);
}

LoadCommands::LoadCommands(MonitorCore &core, MqttPublisher &publisher, QObject *parent)
    : QObject(parent), core_(core), publisher_(publisher)
{
    connect(&publisher, &MqttPublisher::loadSwitchRequested, this, &LoadCommands::carryOut);
}

void LoadCommands::carryOut(int address, bool on)
{
    using Result = MqttPublisher::CommandResult;
    if (address != core_.deviceAddress()) {
        publisher_.answerLoadSwitch(address, on, Result::Refused, QStringLiteral("not polled by this logger"));
        return;
    }
    if (!core_.linkIsUp()) {
        publisher_.answerLoadSwitch(address, on, Result::LinkDown);
        return;
    }
    if (!core_.beginParameterAction()) {
        publisher_.answerLoadSwitch(address, on, Result::Refused, QStringLiteral("busy with another request"));
        return;
    }
    using Outcome = MonitorCore::ParameterOutcome;
    Outcome outcome = Outcome::NoAnswer;
    int exceptionCode = -1;
    const QMetaObject::Connection said =
        connect(&core_, &MonitorCore::parameterFinished, this, [&](Outcome o, int code) {
            outcome = o;
            exceptionCode = code;
        });
    core_.requestLoadState(on);
    disconnect(said);
    core_.endParameterAction();
    switch (outcome) {
    case Outcome::Answered:
        publisher_.answerLoadSwitch(address, on, Result::Done);
        return;
    case Outcome::LinkDown:
        publisher_.answerLoadSwitch(address, on, Result::LinkDown);
        return;
    case Outcome::Exception:
        publisher_.answerLoadSwitch(address, on, Result::Refused,
                                    QStringLiteral("exception answer %1").arg(exceptionCode));
        return;
    case Outcome::NotAvailable:
    case Outcome::CompanionUnknown:
        publisher_.answerLoadSwitch(address, on, Result::Refused, QStringLiteral("not available"));
        return;
    case Outcome::ValueRefused:
        publisher_.answerLoadSwitch(address, on, Result::Refused, QStringLiteral("value refused"));
        return;
    case Outcome::NoAnswer:
        break;
    }
    publisher_.answerLoadSwitch(address, on, Result::Refused, QStringLiteral("no answer"));
}

void addMqttExtras(Recorder &recorder, HistoryStore *store, MqttPublisher &publisher, MqttExtras &extras)
{
    if (!publisher.isStarted())
        return;
    int kinds = MqttPublisher::LinkEntities | MqttPublisher::LoadSwitchEntity;
    // A day's figure without the store would begin at 0 at every restart.
    if (store && store->isOpen()) {
        kinds |= MqttPublisher::EnergyTodayEntities;
        extras.energy = std::make_unique<EnergyTodaySink>(*store, publisher);
        EnergyTodaySink *energy = extras.energy.get();
        QObject::connect(&recorder, &Recorder::sampleTaken, &recorder,
                         [energy](const LiveSample &sample) { energy->writeSample(sample); });
    }
    publisher.setExtras(kinds);
    extras.link = std::make_unique<LinkFiguresFeed>(recorder.core(), publisher);
    if (publisher.commandsEnabled())
        extras.commands = std::make_unique<LoadCommands>(recorder.core(), publisher);
}
