// Link transport: connect/disconnect, serial port and TCP socket, and the
// byte path between the link and the two protocol engines.
#include "monitor_core.h"
#include "monitor_trace.h"

#include <QElapsedTimer>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>

#include "config_file.h"

namespace {

struct SettingCode
{
    const char *text;
    int code;
};

// config.ini texts, compared exactly.
const SettingCode protocolCodes[] = {
    {"Modbus", ProtocolModbusRtu},
    {"TCP Modbus", ProtocolModbusTcp},
    {"Define", ProtocolDefine},
};

const SettingCode controllerCodes[] = {
    {"PWM", ControllerPwm},
    {"MPPT", ControllerMppt},
};

template <size_t N>
int codeOf(const SettingCode (&table)[N], const QString &text)
{
    for (const SettingCode &entry : table)
        if (text == QLatin1String(entry.text))
            return entry.code;
    return -1;
}

const QString serialMode = QStringLiteral("Serial");
const QString tcpMode = QStringLiteral("Wifi");

// Longest a request waits for a chattering Modbus RTU line to fall silent;
// a line that never does gets the request all the same.
constexpr int MaxSettleMs = 50;

// Bytes a link may hold while no request is pending, and what is kept of
// them when more come: far more than any frame, far less than a flood.
constexpr qint64 MaxIdleBytes = 16 * 1024;
constexpr qint64 KeptIdleBytes = 1024;

// Zeroed in front of every response, so a text field decoded from a Define
// frame always finds a terminating zero after the frame.
constexpr int rxFrameClearBytes = 1024;

// Far more than a few requests, far less than a peer that stopped reading
// could make us hold.
constexpr qint64 MaxQueuedBytes = 64 * 1024;

// The descriptor of a connected socket or an open port, or -1.
int descriptorOf(QIODevice *link, bool *socket)
{
    *socket = false;
    if (auto *tcp = qobject_cast<QAbstractSocket *>(link)) {
        *socket = true;
        return tcp->state() == QAbstractSocket::ConnectedState ? int(tcp->socketDescriptor()) : -1;
    }
    if (auto *port = qobject_cast<QSerialPort *>(link))
        return port->handle();
    return -1;
}

// Both devices buffer writes until the event loop comes round again, and
// registering their write notifier for that allocates on every request. When
// nothing is queued and the kernel has room, the frame goes to the descriptor
// at once instead. A descriptor with an error or hang-up pending is left to
// Qt, so the error is not consumed here and Qt reports it as before.
// What the kernel has no room for waits in the device's queue for its write
// notifier: flushing then would only meet EAGAIN, which QSerialPort reports
// as a lost port.
void sendNow(QIODevice *link, const QByteArray &frame)
{
    bool socket = false;
    const int fd = descriptorOf(link, &socket);
    qint64 taken = 0;
    bool full = false;
    if (fd >= 0 && !frame.isEmpty()) {
        pollfd ready = {fd, POLLOUT, 0};
        const int events = ::poll(&ready, 1, 0);
        full = events == 0;
        if (events == 1 && ready.revents == POLLOUT && link->bytesToWrite() == 0) {
            ssize_t n;
            do {
                n = socket ? ::send(fd, frame.constData(), size_t(frame.size()), MSG_NOSIGNAL)
                           : ::write(fd, frame.constData(), size_t(frame.size()));
            } while (n < 0 && errno == EINTR);
            if (n == frame.size())
                return;
            taken = qMax<qint64>(0, n);
            full = n >= 0 || errno == EAGAIN || errno == EWOULDBLOCK;
        }
    }
    // A peer that takes nothing more is not answering either: the request
    // fails by its timeout instead of queueing without end.
    if (link->bytesToWrite() >= MaxQueuedBytes)
        return;
    link->write(frame.constData() + taken, frame.size() - taken);
    if (full)
        return;
    if (auto *tcp = qobject_cast<QAbstractSocket *>(link))
        tcp->flush();
    else if (auto *port = qobject_cast<QSerialPort *>(link))
        port->flush();
}

MonitorCore::LinkReason socketReason(QAbstractSocket::SocketError error)
{
    using R = MonitorCore::LinkReason;
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return R::Refused;
    case QAbstractSocket::HostNotFoundError:
    case QAbstractSocket::NetworkError:
        return R::HostUnreachable;
    case QAbstractSocket::SocketTimeoutError:
        return R::TimedOut;
    case QAbstractSocket::RemoteHostClosedError:
        return R::ClosedByPeer;
    default:
        return R::SocketError;
    }
}

// QSerialPort reports a port locked by another program as a permission
// error too; only the device's own access rights call for the group hint.
bool mayUse(const QString &path)
{
    return ::access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0;
}

// The device path as QSerialPort opens it; portName() drops the /dev/.
QString systemPathOf(const QSerialPort &port)
{
    const QString name = port.portName();
    if (name.isEmpty())
        return name;
    return name.startsWith(QLatin1Char('/')) ? name : QStringLiteral("/dev/") + name;
}

} // namespace

QString MonitorCore::configFilePath() const
{
    return configPath.isEmpty() ? ConfigFile::defaultPath() : configPath;
}

bool MonitorCore::connectLink()
{
    return connectLink(readLinkConfig(ConfigFile(configFilePath())));
}

bool MonitorCore::connectLink(const LinkConfig &link)
{
    link_ = link;
    modeSetting = link.mode;
    protocolSetting = link.protocol;
    controllerSetting = link.controller;
    qCDebug(lcLink) << "mode_str" << modeSetting;

    scanEngine.setResponseTimeout(500);
    scanEngine.setMaxRetries(0);
    applyProtocolSetting();
    applyControllerSetting();

    // A TCP attempt still under way from an earlier Connect must not bring
    // the link up later behind the link chosen now.
    tcpSocket.abort();

    if (modeSetting == serialMode) {
        if (!openSerialLink()) {
            const QSerialPort::SerialPortError error = serialPort.error();
            const QString path = systemPathOf(serialPort);
            setLink(LinkState::Down, LinkReason::SerialOpenFailed, path, serialPort.errorString(),
                    error == QSerialPort::PermissionError && !mayUse(path));
            return false;
        }
        if (!linkUp_)
            setLink(LinkState::Up, LinkReason::Connected, systemPathOf(serialPort));
    } else if (modeSetting == tcpMode) {
        openTcpLink();
    } else {
        setLink(LinkState::Down, LinkReason::NoTransport, modeSetting);
    }
    return true;
}

void MonitorCore::setDeviceAddress(quint8 address)
{
    link_.addressSetting = address;
    nextAddress_ = address;
    // A request on its way keeps the address it went to.
    if (mainEngine.txLength == 0)
        applyNextAddress();
}

void MonitorCore::applyNextAddress()
{
    if (nextAddress_ < 0)
        return;
    mainEngine.setSlaveAddress(quint8(nextAddress_));
    nextAddress_ = -1;
    poll_.factoryFirstHalf = false;
    identity_ = DeviceIdentity();
    identitySeen_ = 0;
    identityAnnounced_ = false;
}

void MonitorCore::disconnectLink()
{
    setLink(LinkState::Down, LinkReason::ClosedByUser);
    if (serialPort.isOpen())
        serialPort.close();
    tcpSocket.disconnectFromHost();
}

// Tells the listeners; the link is up only in state Up.
void MonitorCore::setLink(LinkState state, LinkReason reason, const QString &portName,
                          const QString &errorText, bool permissionDenied)
{
    if (state == LinkState::Up && !linkUp_)
        poll_ = PollState();
    linkUp_ = state == LinkState::Up;
    if (!linkUp_) {
        identitySeen_ = 0;
        identityAnnounced_ = false;
    }
    if (state != LinkState::Connecting)
        connectTimer_.stop();
    lastLinkEvent_.state = state;
    lastLinkEvent_.reason = reason;
    lastLinkEvent_.portName = portName;
    lastLinkEvent_.errorText = errorText;
    lastLinkEvent_.permissionDenied = permissionDenied;
    emit linkChanged(lastLinkEvent_);
}

void MonitorCore::applyProtocolSetting()
{
    const int protocol = codeOf(protocolCodes, protocolSetting);
    if (protocol < 0)
        return;
    mainEngine.setProtocol(protocol);
    scanEngine.setProtocol(protocol);
}

// The scan engine probes with its default controller type.
void MonitorCore::applyControllerSetting()
{
    const int type = codeOf(controllerCodes, controllerSetting);
    if (type >= 0)
        mainEngine.setControllerType(type);
}

bool MonitorCore::openSerialLink()
{
    const QString &name = link_.serialPort;
    const quint8 address = link_.address();
    qCDebug(lcLink) << "serialPort" << name;
    qCDebug(lcLink) << "serialBaud" << link_.baud;
    qCDebug(lcLink) << "serialAddress" << int(address);

    // Only a serial Connect sets the address; TCP keeps the last one used.
    mainEngine.setSlaveAddress(address);

    serialPort.setPortName(name);
    serialPort.setDataBits(QSerialPort::Data8);
    serialPort.setStopBits(QSerialPort::OneStop);
    serialPort.setParity(QSerialPort::NoParity);
    serialPort.setBaudRate(link_.baud, QSerialPort::AllDirections);
    return serialPort.open(QIODevice::ReadWrite);
}

void MonitorCore::openTcpLink()
{
    const QString &host = link_.host;
    tcpSocket.abort();
    const quint16 portNumber = link_.tcpPort();
    setLink(LinkState::Connecting, LinkReason::Connecting,
            QStringLiteral("%1:%2").arg(host).arg(portNumber));
    tcpSocket.connectToHost(host, portNumber, QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
    if (connectTimeoutMs_ > 0 && tcpSocket.state() != QAbstractSocket::ConnectedState
        && lastLinkEvent_.state == LinkState::Connecting)
        connectTimer_.start(connectTimeoutMs_);
}

void MonitorCore::onConnectTimeout()
{
    if (linkUp_ || lastLinkEvent_.state != LinkState::Connecting)
        return;
    tcpSocket.abort();
    setLink(LinkState::Down, LinkReason::TimedOut, lastLinkEvent_.portName);
}

void MonitorCore::onSerialError(QSerialPort::SerialPortError error)
{
    // A timeout comes only from a waitFor call (the line settling before a
    // Modbus RTU request); the port itself is fine.
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError)
        return;
    // An open that fails reports here first; connectLink tells that one.
    if (linkUp_)
        setLink(LinkState::Down, LinkReason::SerialPortLost, systemPathOf(serialPort),
                serialPort.errorString());
    if (serialPort.isOpen())
        serialPort.close();
    qCDebug(lcLink) << "串口" << serialPort.portName() << "ConnectDisonnect！";
}

void MonitorCore::onTcpConnected()
{
    if (!linkUp_)
        setLink(LinkState::Up, LinkReason::Connected, lastLinkEvent_.portName);
    qCDebug(lcLink) << "tcp client Connect成功！";
}

void MonitorCore::onTcpDisconnected()
{
    if (linkUp_)
        setLink(LinkState::Down, tcpDownReason_, lastLinkEvent_.portName, tcpDownText_);
    tcpDownReason_ = LinkReason::ClosedByPeer;
    tcpDownText_.clear();
    qCDebug(lcLink) << "tcp client ConnectDisonnect！";
}

// A failed attempt says why at once; a connected socket that fails goes on
// to disconnected(), which brings the link down with the reason noted here.
void MonitorCore::onTcpError(QAbstractSocket::SocketError error)
{
    if (linkUp_) {
        tcpDownReason_ = socketReason(error);
        tcpDownText_ = tcpSocket.errorString();
        return;
    }
    if (lastLinkEvent_.state != LinkState::Connecting)
        return;
    setLink(LinkState::Down, socketReason(error), lastLinkEvent_.portName,
            tcpSocket.errorString());
}

// The engine whose request is outstanding, mainEngine first.
com_protocol_solar *MonitorCore::activeEngine()
{
    if (mainEngine.txLength != 0)
        return &mainEngine;
    if (scanEngine.txLength != 0)
        return &scanEngine;
    return nullptr;
}

QIODevice *MonitorCore::activeLink()
{
    if (sharedLink_)
        return sharedLink_->isOpen() ? sharedLink_ : nullptr;
    QIODevice *link = nullptr;
    if (modeSetting == serialMode)
        link = &serialPort;
    else if (modeSetting == tcpMode)
        link = &tcpSocket;
    return link && link->isOpen() ? link : nullptr;
}

void MonitorCore::dataSendSlot()
{
    com_protocol_solar *engine = activeEngine();
    if (!engine) {
        emit frameSent(QByteArray());
        return;
    }
    QIODevice *link = activeLink();
    if (link && engine->protocol() == ProtocolModbusRtu) {
        // A re-send repeats the frame, so a late answer to the earlier send
        // still carries the right registers; the next new request must not
        // meet it.
        // On a shared line every frame waits for the silence: the one
        // before it may have been another device's.
        if (sharedLink_)
            rtuLineDirty_ = true;
        if (engine->retryCount > 0 && !sharedLink_)
            rtuLineDirty_ = true;
        else
            settleRtuLine(link);
    }
    rxBuffer.resize(0);   // keeps its capacity: a poll allocates nothing here
    lastExceptionCode_ = -1;
    const int length = qBound(0, engine->txLength, int(sizeof engine->txFrame));
    txCopy_.resize(length);
    memcpy(txCopy_.data(), engine->txFrame, size_t(length));
    if (link)
        sendNow(link, txCopy_);
    if (engine->observer)
        engine->observer->frameWritten();
    emit frameSent(txCopy_);
}

// 3.5 character times of 8N1 at the port's speed; over TCP the fixed value
// Modbus takes for fast lines.
qint64 MonitorCore::rtuSilenceGapNs() const
{
    constexpr qint64 fastLineGapNs = 1750000;
    const auto *port = sharedLink_ ? qobject_cast<const QSerialPort *>(sharedLink_) : &serialPort;
    const qint32 baud = modeSetting == serialMode && port ? port->baudRate() : 0;
    return baud > 0 ? qMax<qint64>(35000000000LL / baud, 1) : fastLineGapNs;
}

// Modbus RTU answers carry no request identity. After an exchange that may
// have left an answer on its way (a re-send, a failure, bytes nobody asked
// for, more bytes than the answer), the next request waits until the line
// has been silent for the gap, and whatever comes meanwhile is dropped.
void MonitorCore::settleRtuLine(QIODevice *link)
{
    settlingRtuLine_ = true;
    if (link->bytesAvailable() > 0) {
        link->readAll();
        rtuLineDirty_ = true;
        rtuLineActivity_.start();
    }
    if (rtuLineDirty_ && rtuLineActivity_.isValid()) {
        const qint64 gapNs = rtuSilenceGapNs();
        QElapsedTimer overall;
        overall.start();
        while (rtuLineActivity_.nsecsElapsed() < gapNs && overall.elapsed() < MaxSettleMs) {
            const int waitMs = int((gapNs - rtuLineActivity_.nsecsElapsed()) / 1000000) + 1;
            if (link->waitForReadyRead(waitMs) && link->bytesAvailable() > 0) {
                link->readAll();
                rtuLineActivity_.start();
            }
        }
    }
    rtuLineDirty_ = false;
    settlingRtuLine_ = false;
}

void MonitorCore::dataReceiveSlot()
{
    com_protocol_solar *engine = activeEngine();
    const bool rtu = mainEngine.protocol() == ProtocolModbusRtu;
    if (settlingRtuLine_ || (!engine && rtu)) {
        // No request of ours is waiting for these: an answer too late for
        // its request, or noise. Read, so they cannot meet the next one.
        if (QIODevice *link = activeLink()) {
            if (link->bytesAvailable() > 0) {
                link->readAll();
                rtuLineDirty_ = true;
                rtuLineActivity_.start();
            }
        }
        return;
    }
    if (!engine) {
        // Left in the link's buffer until a request is pending, all but the
        // newest bytes of a flood: nothing older than a frame can be its answer.
        if (QIODevice *link = activeLink()) {
            if (link->bytesAvailable() > MaxIdleBytes)
                link->skip(link->bytesAvailable() - KeptIdleBytes);
        }
        return;
    }
    emit replyStarted();
    int n = engine->expectedResponseLength();
    const int before = rxBuffer.size();
    if (QIODevice *link = activeLink())
        appendAvailable(link);
    if (engine->observer)
        engine->observer->bytesReceived(rxBuffer.size() - before);
    if (rtu)
        rtuLineActivity_.start();
    if (n <= 0) {
        rxBuffer.clear();   // nothing this request could be answered with
        return;
    }
    if (rxBuffer.size() < n) {
        // A Modbus exception answer is short; handing it over lets the
        // engine re-send at once rather than after its timeout.
        n = engine->exceptionResponseLength(
            reinterpret_cast<const quint8 *>(rxBuffer.constData()), rxBuffer.size());
        if (n == 0)
            return;
        lastExceptionCode_ = quint8(rxBuffer.at(rxBuffer.size() - (n == 5 ? 3 : 1)));
    }
    if (rtu && rxBuffer.size() > n)
        rtuLineDirty_ = true;   // something came before this answer

    // Whatever came in front of the response is noise or a stale answer.
    // Trimming here also keeps a stream of garbage from growing the buffer.
    if (rxBuffer.size() > n) {
        memmove(rxBuffer.data(), rxBuffer.constData() + rxBuffer.size() - n, size_t(n));
        rxBuffer.resize(n);
    }
    const int copied = qMin(n, int(sizeof engine->rxFrame));
    memset(engine->rxFrame, 0, qMin(rxFrameClearBytes, int(sizeof engine->rxFrame)));
    memcpy(engine->rxFrame, rxBuffer.constData(), size_t(copied));
    engine->rxLength = copied;
    emit frameReceived(rxBuffer);
    engine->processResponse();
}

// Everything the link holds, read into rxBuffer's own storage.
void MonitorCore::appendAvailable(QIODevice *link)
{
    const qint64 available = link->bytesAvailable();
    if (available <= 0)
        return;
    const int old = rxBuffer.size();
    rxBuffer.resize(old + int(available));
    const qint64 got = link->read(rxBuffer.data() + old, available);
    rxBuffer.resize(old + int(qMax<qint64>(0, got)));
}

// The two reply states are written here and only here. A parameter action
// travels on mainEngine alone, so only mainEngine's outcome ends it: the bus
// scan's engine may report in the same wait slice and must not decide it.
void MonitorCore::dataReceiveSuccessSlot()
{
    const bool carriesParameter = sender() != &scanEngine;
    emit replyOutcome(true);
    if (wakeOnReply_)
        waitTimer_.stop();
    if (paramRequestState == 1) {
        if (carriesParameter)
            paramRequestState = 2;
        pollReplyState = 4;
    } else if (paramRequestState == 0) {
        pollReplyState = 6;
    }
}

void MonitorCore::dataReceiveFailSlot()
{
    const QObject *from = sender();
    const bool carriesParameter = from != &scanEngine;
    const com_protocol_solar &engine = from == &scanEngine ? scanEngine : mainEngine;
    if (engine.protocol() == ProtocolModbusRtu
        && engine.failureReason == com_protocol_solar::FailureReason::NoAnswer) {
        // The answer may yet come: the gap is counted from here.
        rtuLineDirty_ = true;
        rtuLineActivity_.start();
    }
    emit replyOutcome(false);
    if (wakeOnReply_)
        waitTimer_.stop();
    if (paramRequestState == 1) {
        if (carriesParameter)
            paramRequestState = 3;
        pollReplyState = 4;
    } else if (paramRequestState == 0) {
        pollReplyState = 7;
    }
}
