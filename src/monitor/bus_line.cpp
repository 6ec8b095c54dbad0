#include "bus_line.h"

#include "monitor_trace.h"
#include <algorithm>
#include "poll_schedule.h"

namespace {

constexpr qint64 NsPerMs = 1000000;

// A core's own timer must never start a tick: on a shared line only the
// line decides who speaks.
void silenceOwnTimer(MonitorCore &core)
{
    QObject::disconnect(&core.refreshTimer, &QTimer::timeout, &core, &MonitorCore::refereshDisplayRef);
    core.refreshTimer.stop();
}

} // namespace

BusLine::BusLine(QObject *parent) : QObject(parent)
{
    clock_.start();
    pump_.setSingleShot(true);
    pump_.setTimerType(Qt::PreciseTimer);
    connect(&pump_, &QTimer::timeout, this, &BusLine::pump);

    silenceOwnTimer(carrier_);
    carrier_.setBlockingWait(true);
    carrier_.wakeOnReply_ = true;
    // The line's bytes go to whichever core asked, through onReadyRead.
    disconnect(&carrier_.serialPort, &QSerialPort::readyRead, &carrier_, &MonitorCore::dataReceiveSlot);
    disconnect(&carrier_.tcpSocket, &QTcpSocket::readyRead, &carrier_, &MonitorCore::dataReceiveSlot);
    connect(&carrier_.serialPort, &QSerialPort::readyRead, this, &BusLine::onReadyRead,
            Qt::DirectConnection);
    connect(&carrier_.tcpSocket, &QTcpSocket::readyRead, this, &BusLine::onReadyRead,
            Qt::DirectConnection);
    connect(&carrier_, &MonitorCore::linkChanged, this, &BusLine::onCarrierLink,
            Qt::DirectConnection);
    connect(&carrier_, &MonitorCore::deviceProbed, this,
            [this](int address, bool answered, const QString &) {
                if (answered && !scanAnswered_.contains(address))
                    scanAnswered_.append(address);
            });
    connect(&carrier_, &MonitorCore::frameSent, this, [this](const QByteArray &frame) {
        if (!frame.isEmpty()) {
            ++counters_.requests;
            counters_.bytesOut += frame.size();
        }
    });
    connect(&carrier_, &MonitorCore::frameReceived, this,
            [this](const QByteArray &frame) { counters_.bytesIn += frame.size(); });
}

BusLine::~BusLine()
{
    pump_.stop();
    disconnect(&carrier_, nullptr, this, nullptr);
    for (auto &d : devices_)
        disconnect(d->core.get(), nullptr, this, nullptr);
    carrier_.disconnectLink();
}

MonitorCore *BusLine::addDevice(int address, const QString &controller)
{
    removeDevice(address);
    auto d = std::make_unique<Device>();
    d->address = address;
    d->controller = controller;
    d->core = std::make_unique<MonitorCore>();
    MonitorCore &core = *d->core;
    silenceOwnTimer(core);
    core.setBlockingWait(true);
    core.wakeOnReply_ = true;
    core.pollsScan_ = false;
    core.configPath = carrier_.configPath;
    Device *raw = d.get();
    connect(&core, &MonitorCore::frameSent, this, [this, raw](const QByteArray &frame) {
        if (frame.isEmpty())
            return;
        raw->sent = true;
        ++counters_.requests;
        counters_.bytesOut += frame.size();
    });
    connect(&core, &MonitorCore::frameReceived, this,
            [this](const QByteArray &frame) { counters_.bytesIn += frame.size(); });
    connect(&core, &MonitorCore::replyOutcome, this, [this, raw](bool answered) {
        if (answered) {
            raw->answered = true;
            ++counters_.answered;
        }
    });
    devices_.push_back(std::move(d));
    configure(*raw);
    if (linkIsUp()) {
        raw->core->setLink(MonitorCore::LinkState::Up, MonitorCore::LinkReason::Connected,
                           carrier_.lastLinkEvent().portName);
        raw->dueNs = nowNs();
        schedule();
    }
    return raw->core.get();
}

void BusLine::removeDevice(int address)
{
    for (auto it = devices_.begin(); it != devices_.end(); ++it) {
        if ((*it)->address != address)
            continue;
        // A device whose tick is under way goes once that tick has unwound.
        if (active_ == (*it)->core.get())
            return;
        disconnect((*it)->core.get(), nullptr, this, nullptr);
        devices_.erase(it);
        return;
    }
}

MonitorCore *BusLine::device(int address) const
{
    for (const auto &d : devices_)
        if (d->address == address)
            return d->core.get();
    return nullptr;
}

QList<int> BusLine::addresses() const
{
    QList<int> out;
    for (const auto &d : devices_)
        out.append(d->address);
    return out;
}

bool BusLine::isOnline(int address) const
{
    for (const auto &d : devices_)
        if (d->address == address)
            return d->online;
    return false;
}

void BusLine::setResponseTimeout(int ms)
{
    responseTimeoutMs_ = ms;
    carrier_.mainEngine.setResponseTimeout(ms);
    carrier_.scanEngine.setResponseTimeout(ms);
    for (auto &d : devices_)
        d->core->mainEngine.setResponseTimeout(ms);
}

// A device core speaks the line's protocol at its own address, with its own
// controller type, through the carrier's port or socket.
void BusLine::configure(Device &d)
{
    MonitorCore &core = *d.core;
    core.modeSetting = link_.mode;
    core.protocolSetting = link_.protocol;
    core.controllerSetting = d.controller.isEmpty() ? link_.controller : d.controller;
    core.applyProtocolSetting();
    core.applyControllerSetting();
    core.mainEngine.setSlaveAddress(quint8(d.address));
    core.mainEngine.setResponseTimeout(responseTimeoutMs_);
    if (link_.serial())
        core.sharedLink_ = &carrier_.serialPort;
    else if (link_.tcp())
        core.sharedLink_ = &carrier_.tcpSocket;
    else
        core.sharedLink_ = nullptr;
}

bool BusLine::connectLink(const LinkConfig &link)
{
    link_ = link;
    for (auto &d : devices_)
        configure(*d);
    const bool opened = carrier_.connectLink(link);
    carrier_.refreshTimer.stop();
    carrier_.mainEngine.setResponseTimeout(responseTimeoutMs_);
    carrier_.scanEngine.setResponseTimeout(responseTimeoutMs_);
    return opened;
}

void BusLine::disconnectLink()
{
    pump_.stop();
    carrier_.disconnectLink();
}

void BusLine::onCarrierLink(const MonitorCore::LinkEvent &event)
{
    carrier_.refreshTimer.stop();
    for (auto &d : devices_) {
        if (event.state == MonitorCore::LinkState::Up) {
            d->dueNs = nowNs();
            d->cycleStartNs = d->dueNs;
            d->cycleAnswered = false;
            d->failedCycles = 0;
            if (!d->online)
                setOnline(*d, true);
        }
        if ((event.state == MonitorCore::LinkState::Up) != d->core->linkIsUp()
            || event.state != MonitorCore::LinkState::Up)
            d->core->setLink(event.state, event.reason, event.portName, event.errorText,
                             event.permissionDenied);
    }
    if (event.state == MonitorCore::LinkState::Up) {
        counters_ = Counters();
        lineActivity_.invalidate();
        scanDueNs_ = nowNs();
        schedule();
    } else {
        pump_.stop();
    }
}

// The line's bytes belong to the request on it; with none, they are an
// answer too late for its request, or noise.
void BusLine::onReadyRead()
{
    lineActivity_.start();
    bytesSeen_ = true;
    if (active_) {
        active_->dataReceiveSlot();
        return;
    }
    if (QIODevice *link = carrier_.activeLink())
        link->readAll();
}

void BusLine::dropStaleBytes()
{
    QIODevice *link = carrier_.activeLink();
    if (link && link->bytesAvailable() > 0) {
        link->readAll();
        lineActivity_.start();
    }
}

BusLine::Device *BusLine::nextDue(qint64 now)
{
    Device *best = nullptr;
    for (auto &d : devices_)
        if (d->dueNs <= now && (!best || d->dueNs < best->dueNs))
            best = d.get();
    return best;
}

void BusLine::schedule()
{
    if (running_ || !linkIsUp())
        return;
    qint64 next = -1;
    for (const auto &d : devices_)
        if (next < 0 || d->dueNs < next)
            next = d->dueNs;
    if (!scanQueue_.isEmpty() && (next < 0 || scanDueNs_ < next))
        next = scanDueNs_;
    if (next < 0)
        return;
    const qint64 waitNs = next - nowNs();
    pump_.start(waitNs <= 0 ? 0 : int((waitNs + NsPerMs - 1) / NsPerMs));
}

// One turn on the line: the device (or the scan) due longest, then back to
// the event loop so a stop or a link change is seen between turns.
void BusLine::pump()
{
    if (running_ || !linkIsUp())
        return;
    const qint64 now = nowNs();
    Device *d = nextDue(now);
    const bool probeDue = !scanQueue_.isEmpty() && scanDueNs_ <= now;
    running_ = true;
    if (probeDue && (!d || scanDueNs_ <= d->dueNs))
        runProbe();
    else if (d)
        runDevice(*d);
    running_ = false;
    schedule();
}

void BusLine::runProbe()
{
    const int address = scanQueue_.takeFirst();
    const int scanStep = pollScanStep(carrier_.mainEngine);
    if (scanStep >= 0) {
        dropStaleBytes();
        carrier_.rtuLineActivity_ = lineActivity_;
        carrier_.poll_.step = scanStep - 1;
        carrier_.poll_.scanAddress = address - 1;
        active_ = &carrier_;
        bytesSeen_ = false;
        carrier_.refereshDisplayRef();
        active_ = nullptr;
        carrier_.refreshTimer.stop();
        if (carrier_.rtuLineActivity_.isValid()
            && (!lineActivity_.isValid()
                || carrier_.rtuLineActivity_.nsecsElapsed() < lineActivity_.nsecsElapsed()))
            lineActivity_ = carrier_.rtuLineActivity_;
    }
    scanDueNs_ = nowNs();
    if (scanQueue_.isEmpty()) {
        QList<int> found = scanAnswered_;
        std::sort(found.begin(), found.end());
        scanAnswered_.clear();
        emit scanFinished(found);
    }
}

void BusLine::scan(int first, int last)
{
    for (int a = first; a <= last; ++a)
        if (!scanQueue_.contains(a))
            scanQueue_.append(a);
    scanDueNs_ = nowNs();
    schedule();
}

void BusLine::runDevice(Device &d)
{
    MonitorCore &core = *d.core;
    const int length = pollScheduleLength(core.mainEngine);
    if (length <= 0) {
        d.dueNs = nowNs() + qint64(offlineIntervalMs_) * NsPerMs;
        return;
    }
    dropStaleBytes();
    active_ = &core;
    d.sent = false;
    d.answered = false;
    bytesSeen_ = false;
    bool cycleEnded = false;
    // Steps without a request (the idle step, the scan left to the line)
    // cost no line time: at the line's pace the next step goes at once;
    // at the step pace each takes its tick, as on a core polled alone.
    for (int guard = 0; guard < length && !d.sent; ++guard) {
        if (core.poll_.step == length - 1 || core.poll_.step < 0)
            d.cycleStartNs = nowNs();
        core.rtuLineActivity_ = lineActivity_;
        core.refereshDisplayRef();
        core.refreshTimer.stop();
        if (core.poll_.step == length - 1) {
            closeCycle(d);
            cycleEnded = true;
        }
        if (cycleIntervalMs_ == StepPace || !core.linkIsUp())
            break;
        if (cycleEnded)
            break;
    }
    active_ = nullptr;
    if (core.rtuLineActivity_.isValid()
        && (!lineActivity_.isValid()
            || core.rtuLineActivity_.nsecsElapsed() < lineActivity_.nsecsElapsed()))
        lineActivity_ = core.rtuLineActivity_;
    if (!core.linkIsUp())
        return;

    const bool silent = d.sent && !d.answered && !bytesSeen_;
    if (d.answered) {
        if (!cycleEnded)
            d.cycleAnswered = true;
        d.failedCycles = 0;
        if (!d.online)
            setOnline(d, true);
    } else if (silent && !cycleEnded && (!d.cycleAnswered || d.silentBefore)) {
        // Not a byte came back: the device is not there. The rest of its
        // cycle would only hold up the line timeout after timeout.
        core.poll_.step = -1;
        closeCycle(d);
        cycleEnded = true;
    }
    if (d.sent)
        d.silentBefore = silent;

    const qint64 now = nowNs();
    if (!d.online)
        d.dueNs = now + qint64(offlineIntervalMs_) * NsPerMs;
    else if (cycleIntervalMs_ == StepPace)
        d.dueNs = now + qint64(core.tickInterval()) * NsPerMs;
    else if (cycleIntervalMs_ > 0 && cycleEnded)
        d.dueNs = qMax(now, d.cycleStartNs + qint64(cycleIntervalMs_) * NsPerMs);
    else
        d.dueNs = now;
}

void BusLine::closeCycle(Device &d)
{
    if (d.cycleAnswered || d.answered) {
        d.failedCycles = 0;
    } else if (++d.failedCycles >= FailedCyclesOffline && d.online) {
        setOnline(d, false);
    }
    d.cycleAnswered = false;
}

// Offline, a device gets single requests: no re-sends to wait through.
void BusLine::setOnline(Device &d, bool online)
{
    d.online = online;
    com_protocol_solar &engine = d.core->mainEngine;
    if (!online) {
        d.retries = engine.maxRetries();
        engine.setMaxRetries(0);
        d.core->poll_.step = -1;
    } else {
        engine.setMaxRetries(d.retries);
        d.failedCycles = 0;
    }
    qCDebug(lcPoll) << "bus address" << d.address << (online ? "online" : "offline");
    emit deviceOnlineChanged(d.address, online);
}
