#include "simulated_controller.h"

#include <QMutexLocker>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>

#include "checksums.h"
#include "define_responder.h"
#include "modbus_responder.h"
#include "sim_links.h"

namespace {

constexpr quint8 GarbageMask = 0x5A;

quint8 byteAt(const QByteArray &b, int i)
{
    return quint8(b[i]);
}

// Re-computes the checksum of a reply after a fault changed its bytes.
void resealRtu(QByteArray &reply)
{
    reply.chop(2);
    const quint16 crc = modbusCrc16(reinterpret_cast<const quint8 *>(reply.constData()),
                                    unsigned(reply.size()));
    reply.append(char(crc >> 8));
    reply.append(char(crc));
}

// Where a frame of the protocol carries its address.
int addressOffset(ProtocolKind protocol)
{
    return protocol == ProtocolDefine ? 1 : protocol == ProtocolModbusRtu ? 0 : 6;
}

// The frame with another address, its checksum made good again.
QByteArray readdressed(ProtocolKind protocol, QByteArray frame, quint8 address)
{
    const int at = addressOffset(protocol);
    if (frame.size() <= at)
        return frame;
    frame[at] = char(address);
    if (protocol == ProtocolDefine)
        DefineResponder::seal(frame);
    else if (protocol == ProtocolModbusRtu && frame.size() >= 4)
        resealRtu(frame);
    return frame;
}

// Two drivers on one differential pair at once: a bit reads as 0 wherever
// either sends a 0, and the longer answer runs on alone.
QByteArray collide(const QByteArray &a, const QByteArray &b)
{
    QByteArray out = a.size() >= b.size() ? a : b;
    const QByteArray &shorter = a.size() >= b.size() ? b : a;
    for (int i = 0; i < shorter.size(); ++i)
        out[i] = char(quint8(out[i]) & quint8(shorter[i]));
    return out;
}

} // namespace

bool SimFaults::any() const
{
    return silence || garbage || badCrc || wrongAddress || wrongTransactionId || exceptionCode
           || splitDelayMs > 0 || staleBytes > 0 || byteGapMs > 0 || closeMidReply || noiseBytesPerSecond > 0
           || rewrite;
}

SimulatedController::SimulatedController(ProtocolKind protocol, ControllerType type, QObject *parent)
    : QObject(parent), protocol_(protocol), defaultType_(type)
{
    motionTimer_.setParent(this);   // moves along with a moveToThread()
    connect(&motionTimer_, &QTimer::timeout, this, [this] { advance(secondsPerTick_); });
    noiseTimer_.setParent(this);
    noiseTimer_.setInterval(10);
    connect(&noiseTimer_, &QTimer::timeout, this, &SimulatedController::writeNoise);
    addDevice(1, type);
}

SimulatedController::~SimulatedController()
{
    closeTransports();
}

ProtocolKind SimulatedController::protocol() const
{
    QMutexLocker lock(&mutex_);
    return protocol_;
}

void SimulatedController::setProtocol(ProtocolKind protocol)
{
    QMutexLocker lock(&mutex_);
    protocol_ = protocol;
    for (SimLink *link : qAsConst(links_))
        if (link)
            link->setProtocol(protocol);
}

// --- devices ---------------------------------------------------------------------

SimulatedDevice *SimulatedController::addDevice(quint8 address, ControllerType type)
{
    QMutexLocker lock(&mutex_);
    auto device = QSharedPointer<SimulatedDevice>::create(type, address);
    devices_.insert(address, device);
    return device.data();
}

SimulatedDevice *SimulatedController::addDevice(quint8 address)
{
    return addDevice(address, defaultType_);
}

void SimulatedController::removeDevice(quint8 address)
{
    QMutexLocker lock(&mutex_);
    devices_.remove(address);
}

SimulatedDevice *SimulatedController::device(quint8 address) const
{
    QMutexLocker lock(&mutex_);
    return devices_.value(address).data();
}

QList<quint8> SimulatedController::addresses() const
{
    QMutexLocker lock(&mutex_);
    return devices_.keys();
}

void SimulatedController::setControllerType(ControllerType type)
{
    QMutexLocker lock(&mutex_);
    defaultType_ = type;
    for (const auto &d : qAsConst(devices_))
        d->setControllerType(type);
}

// --- requests ----------------------------------------------------------------------

QByteArray SimulatedController::handleRequest(const QByteArray &frame)
{
    return answer(frame).bytes;
}

SimulatedController::Reply SimulatedController::answer(const QByteArray &frame)
{
    Reply reply;
    SimFaults used;
    {
        QMutexLocker lock(&mutex_);
        used = faults_;
        const bool faulty = used.any();
        reply.closeAfter = faults_.closeAfter;
        reply.bytes = used.silence ? QByteArray() : deviceReply(frame, used.exceptionCode);
        reply.bytes = applyReplyFaults(reply.bytes, used);
        if (used.rewrite)
            reply.bytes = used.rewrite(frame, reply.bytes);
        reply.staleBytes = reply.bytes.isEmpty() ? 0 : used.staleBytes;
        reply.splitDelayMs = used.splitDelayMs;
        reply.byteGapMs = used.byteGapMs;
        reply.closeMidReply = used.closeMidReply;
        if (faulty && faults_.limit > 0 && --faults_.limit == 0) {
            const int closeAfter = faults_.closeAfter;
            faults_ = SimFaults();
            faults_.closeAfter = closeAfter;
        }
        log_.append({frame, reply.bytes});
    }
    emit requestReceived(frame);
    if (!reply.bytes.isEmpty())
        emit replySent(reply.bytes);
    return reply;
}

// The addressed device's answer with its own faults, together with every
// device that answers for it as well; empty when none answers.
QByteArray SimulatedController::deviceReply(const QByteArray &frame, int exceptionCode)
{
    const int at = addressOffset(protocol_);
    if (frame.size() <= at)
        return {};
    const quint8 address = byteAt(frame, at);
    QByteArray reply = replyOf(address, frame, exceptionCode);
    if (address == 0)
        return reply;
    for (auto it = deviceFaults_.constBegin(); it != deviceFaults_.constEnd(); ++it) {
        if (it.value().alsoAnswers != address || it.key() == address)
            continue;
        const QByteArray other = replyOf(it.key(), readdressed(protocol_, frame, it.key()), exceptionCode);
        reply = reply.isEmpty() ? other : other.isEmpty() ? reply : collide(reply, other);
    }
    return reply;
}

// The clean answer of the device at address, after its own faults.
QByteArray SimulatedController::replyOf(quint8 address, const QByteArray &frame, int exceptionCode)
{
    const SimDeviceFaults own = deviceFaults_.value(address);
    if (own.silent)
        return {};
    QByteArray reply;
    switch (protocol_) {
    case ProtocolDefine: {
        if (!DefineResponder::isValidFrame(frame))
            return {};
        const auto dev = devices_.value(address);
        reply = dev ? DefineResponder::reply(*dev, frame) : QByteArray();
        break;
    }
    case ProtocolModbusRtu: {
        if (!ModbusResponder::isValidRtuFrame(frame))
            return {};
        const QByteArray pdu = frame.mid(1, frame.size() - 3);
        if (address == 0) {   // broadcast: every device obeys, none answers
            for (const auto &d : qAsConst(devices_))
                ModbusResponder::respond(*d, pdu);
            return {};
        }
        const auto dev = devices_.value(address);
        if (!dev)
            return {};
        reply = ModbusResponder::rtuFrame(address, exceptionCode
            ? ModbusResponder::exceptionPdu(byteAt(pdu, 0), quint8(exceptionCode))
            : ModbusResponder::respond(*dev, pdu));
        break;
    }
    case ProtocolModbusTcp: {
        if (frame.size() < ModbusResponder::MbapLength + 1)
            return {};
        const quint16 transaction = quint16(byteAt(frame, 0) << 8 | byteAt(frame, 1));
        const auto dev = devices_.value(address);
        if (!dev)
            return {};
        const QByteArray pdu = frame.mid(ModbusResponder::MbapLength);
        reply = ModbusResponder::tcpFrame(transaction, address, exceptionCode
            ? ModbusResponder::exceptionPdu(byteAt(pdu, 0), quint8(exceptionCode))
            : ModbusResponder::respond(*dev, pdu));
        break;
    }
    }
    if (own.answerAs > 0 && !reply.isEmpty())
        reply = readdressed(protocol_, reply, quint8(own.answerAs));
    return reply;
}

QByteArray SimulatedController::applyReplyFaults(QByteArray reply, const SimFaults &faults) const
{
    if (reply.isEmpty())
        return reply;
    const bool define = protocol_ == ProtocolDefine, rtu = protocol_ == ProtocolModbusRtu;
    if (faults.wrongAddress) {
        const int at = define ? 1 : rtu ? 0 : 6;
        reply[at] = char(byteAt(reply, at) + 1);
        if (define)
            DefineResponder::seal(reply);
        else if (rtu)
            resealRtu(reply);
    }
    if (faults.wrongTransactionId && protocol_ == ProtocolModbusTcp) {
        const quint16 t = quint16((byteAt(reply, 0) << 8 | byteAt(reply, 1)) + 1);
        reply[0] = char(t >> 8);
        reply[1] = char(t);
    }
    if (faults.badCrc && (define || rtu))   // Modbus TCP has no checksum to spoil
        reply[reply.size() - 1] = char(byteAt(reply, reply.size() - 1) ^ 0xFF);
    if (faults.garbage)
        for (char &c : reply)
            c = char(quint8(c) ^ GarbageMask);
    return reply;
}

void SimulatedController::setDeviceFaults(quint8 address, const SimDeviceFaults &faults)
{
    QMutexLocker lock(&mutex_);
    deviceFaults_.insert(address, faults);
}

SimDeviceFaults SimulatedController::deviceFaults(quint8 address) const
{
    QMutexLocker lock(&mutex_);
    return deviceFaults_.value(address);
}

void SimulatedController::setLineTiming(const SimLineTiming &timing)
{
    QMutexLocker lock(&mutex_);
    lineTiming_ = timing;
}

SimLineTiming SimulatedController::lineTiming() const
{
    QMutexLocker lock(&mutex_);
    return lineTiming_;
}

// --- request log -----------------------------------------------------------------------

int SimulatedController::requestCount() const
{
    QMutexLocker lock(&mutex_);
    return log_.size();
}

QList<SimRequest> SimulatedController::requests() const
{
    QMutexLocker lock(&mutex_);
    return log_;
}

QByteArray SimulatedController::lastRequest() const
{
    QMutexLocker lock(&mutex_);
    return log_.isEmpty() ? QByteArray() : log_.last().frame;
}

QByteArray SimulatedController::lastReply() const
{
    QMutexLocker lock(&mutex_);
    return log_.isEmpty() ? QByteArray() : log_.last().reply;
}

void SimulatedController::clearRequests()
{
    QMutexLocker lock(&mutex_);
    log_.clear();
}

// --- faults ---------------------------------------------------------------------------------

SimFaults SimulatedController::faults() const
{
    QMutexLocker lock(&mutex_);
    return faults_;
}

void SimulatedController::setFaults(const SimFaults &faults)
{
    QMutexLocker lock(&mutex_);
    faults_ = faults;
    if (faults.noiseBytesPerSecond > 0)
        QMetaObject::invokeMethod(&noiseTimer_, qOverload<>(&QTimer::start));
    else
        QMetaObject::invokeMethod(&noiseTimer_, &QTimer::stop);
}

// One slice of the noise flood on every link.
void SimulatedController::writeNoise()
{
    int bytes;
    {
        QMutexLocker lock(&mutex_);
        bytes = faults_.noiseBytesPerSecond * noiseTimer_.interval() / 1000;
    }
    if (bytes <= 0) {
        noiseTimer_.stop();
        return;
    }
    QByteArray noise(bytes, Qt::Uninitialized);
    for (char &c : noise)
        c = char(QRandomGenerator::global()->bounded(256));
    for (const QPointer<SimLink> &link : qAsConst(links_))
        if (link)
            link->writeNoise(noise);
}

// --- live day -----------------------------------------------------------------------------

void SimulatedController::setMotionEnabled(bool on, int intervalMs, int secondsPerTick)
{
    secondsPerTick_ = secondsPerTick;
    if (on)
        motionTimer_.start(intervalMs);
    else
        motionTimer_.stop();
}

bool SimulatedController::motionEnabled() const
{
    return motionTimer_.isActive();
}

void SimulatedController::advance(int seconds)
{
    QMutexLocker lock(&mutex_);
    for (const auto &d : qAsConst(devices_))
        d->advance(seconds);
}

// --- transports ------------------------------------------------------------------------------

void SimulatedController::addLink(SimLink *link)
{
    QMutexLocker lock(&mutex_);
    links_.removeAll(nullptr);
    links_.append(link);
}

quint16 SimulatedController::listenTcp(quint16 port)
{
    if (!tcpServer_) {
        tcpServer_ = new QTcpServer(this);
        connect(tcpServer_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = tcpServer_->nextPendingConnection()) {
                auto *link = new TcpSimLink(this, protocol(), socket);
                connect(socket, &QTcpSocket::disconnected, this, &SimulatedController::tcpClientDisconnected);
                addLink(link);
                emit tcpClientConnected();
            }
        });
    }
    if (!tcpServer_->isListening() && !tcpServer_->listen(QHostAddress::LocalHost, port))
        return 0;
    return tcpServer_->serverPort();
}

quint16 SimulatedController::tcpPort() const
{
    return tcpServer_ && tcpServer_->isListening() ? tcpServer_->serverPort() : 0;
}

int SimulatedController::tcpClientCount() const
{
    QMutexLocker lock(&mutex_);
    int n = 0;
    for (SimLink *link : links_)
        n += link && link->isStream();
    return n;
}

bool SimulatedController::openSerial(const QString &path, qint32 baud)
{
    auto *link = new SerialSimLink(this, protocol());
    if (!link->open(path, baud)) {
        delete link;
        return false;
    }
    addLink(link);
    return true;
}

QString SimulatedController::openPty()
{
    auto *link = new PtySimLink(this, protocol());
    if (!link->open()) {
        delete link;
        return {};
    }
    addLink(link);
    ptyPath_ = link->slavePath();
    return ptyPath_;
}

QString SimulatedController::ptyPath() const
{
    return ptyPath_;
}

void SimulatedController::dropTcpClients()
{
    for (SimLink *link : links_)
        if (link && link->isStream())
            link->close();
}

void SimulatedController::closeTransports()
{
    if (tcpServer_)
        tcpServer_->close();
    QList<QPointer<SimLink>> links;
    {
        QMutexLocker lock(&mutex_);
        links.swap(links_);
    }
    for (SimLink *link : qAsConst(links))
        if (link) {
            link->close();
            delete link;
        }
    ptyPath_.clear();
}
