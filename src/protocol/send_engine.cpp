#include "com_protocol_solar.h"

#include <QDebug>
#include <QLoggingCategory>
#include <QWriteLocker>
#include <cstring>

namespace {

constexpr quint8 ReadHolding = 0x03;
constexpr quint8 WriteMultiple = 0x10;
// Largest register counts one Modbus request may carry (read, write).
constexpr int MaxReadCount = 125;
constexpr int MaxWriteCount = 123;
constexpr int MbapLength = 7;
constexpr int RtuWriteResponseLength = 8;
constexpr int TcpWriteResponseLength = 12;

quint16 wordAt(const quint8 *p)
{
    return quint16(p[0] << 8 | p[1]);
}

void putWord(quint8 *p, quint32 value)
{
    p[0] = quint8(value >> 8);
    p[1] = quint8(value);
}

} // namespace

// Re-send traces, silent unless QT_LOGGING_RULES turns them on.
Q_LOGGING_CATEGORY(lcEngine, "solar.engine", QtInfoMsg)

com_protocol_solar::com_protocol_solar(QObject *parent) : QObject(parent)
{
    responseTimer.setInterval(responseTimeoutMs);
    connect(&responseTimer, &QTimer::timeout, this, &com_protocol_solar::rec_timer_slot);
}

// --- settings ----------------------------------------------------------

void com_protocol_solar::setSlaveAddress(quint8 address) { slaveAddress_ = address; }
quint8 com_protocol_solar::slaveAddress() const { return slaveAddress_; }

// Unknown selector values are ignored: every operation must end in exactly one
// signal, which only the three protocols and two controller types guarantee.
void com_protocol_solar::setProtocol(int protocol)
{
    if (protocol >= ProtocolDefine && protocol <= ProtocolModbusTcp)
        protocol_ = protocol;
}
int com_protocol_solar::protocol() const { return protocol_; }

void com_protocol_solar::setControllerType(int type)
{
    if (type == ControllerPwm || type == ControllerMppt)
        controllerType_ = type;
}
int com_protocol_solar::controllerType() const { return controllerType_; }

void com_protocol_solar::setResponseTimeout(int ms)
{
    responseTimeoutMs = ms;
    responseTimer.setInterval(ms);
}
int com_protocol_solar::responseTimeout() const { return responseTimeoutMs; }

void com_protocol_solar::setMaxRetries(int retries) { maxRetries_ = retries; }
int com_protocol_solar::maxRetries() const { return maxRetries_; }

// --- sending, timer and retries ----------------------------------------

void com_protocol_solar::sendFrame(int length)
{
    txLength = length;
    rxLength = 0;
    retryCount = 0;
    if (observer)
        observer->requestSent(length);
    emit beginSentData();
    startResponseTimer();
}

void com_protocol_solar::startResponseTimer() { responseTimer.start(responseTimeoutMs); }
void com_protocol_solar::stopResponseTimer() { responseTimer.stop(); }
void com_protocol_solar::reportFailure() { reportFailure(FailureReason::NotAvailable); }

void com_protocol_solar::reportFailure(FailureReason reason)
{
    failureReason = reason;
    emit receiveFailSignal();
}

void com_protocol_solar::rec_timer_slot()
{
    if (observer && txLength != 0)
        observer->responseTimedOut();
    retryOrFail();
}

void com_protocol_solar::retryOrFail()
{
    ++retryCount;
    if (retryCount <= maxRetries_ && txLength != 0) {
        rxLength = 0;
        if (observer)
            observer->requestResent(txLength);
        emit beginSentData();
        startResponseTimer();
        qCDebug(lcEngine) << "发送重试" << retryCount;
        return;
    }
    rxLength = 0;
    retryCount = 0;
    if (observer && txLength != 0)
        observer->requestFailed();
    txLength = 0;
    stopResponseTimer();
    failureReason = FailureReason::NoAnswer;
    emit receiveFailSignal();
}

void com_protocol_solar::succeed()
{
    txLength = 0;
    retryCount = 0;
    stopResponseTimer();
    if (observer)
        observer->requestAnswered();
    emit receiveSuccesSignal();
}

int com_protocol_solar::expectedResponseLength() const
{
    if (txLength == 0)
        return 0;
    switch (protocol_) {
    case ProtocolDefine:
        return DefineFrameLength;
    case ProtocolModbusRtu:
        if (txFrame[1] == WriteMultiple)
            return RtuWriteResponseLength;
        return txFrame[1] == ReadHolding ? 5 + 2 * wordAt(txFrame + 4) : 0;
    case ProtocolModbusTcp:
        if (txFrame[7] == WriteMultiple)
            return TcpWriteResponseLength;
        return txFrame[7] == ReadHolding ? 9 + 2 * wordAt(txFrame + 10) : 0;
    }
    return 0;
}

int com_protocol_solar::exceptionResponseLength(const quint8 *bytes, int count) const
{
    if (txLength == 0)
        return 0;
    if (protocol_ == ProtocolModbusRtu) {
        constexpr int length = 5;   // address, function | 0x80, code, CRC
        if (count < length)
            return 0;
        const quint8 *e = bytes + count - length;
        const quint16 crc = modbusCrc16(e, 3);
        const bool match = e[0] == slaveAddress_ && e[1] == (txFrame[1] | 0x80)
                           && e[3] == crc >> 8 && e[4] == (crc & 0xFF);
        return match ? length : 0;
    }
    if (protocol_ == ProtocolModbusTcp) {
        constexpr int length = MbapLength + 2;   // MBAP, function | 0x80, code
        if (count < length)
            return 0;
        const quint8 *e = bytes + count - length;
        const bool match = std::memcmp(e, txFrame, 4) == 0 && wordAt(e + 4) == 3
                           && e[6] == txFrame[6] && e[7] == (txFrame[7] | 0x80);
        return match ? length : 0;
    }
    return 0;
}

// --- validation ----------------------------------------------------------

void com_protocol_solar::processResponse()
{
    if (txLength == 0 || rxLength == 0)
        return;
    // A length outside the buffer cannot describe bytes that are there.
    Verdict verdict = Verdict::Rejected;
    reject_ = RequestObserver::Reject::Malformed;
    rejectCode_ = -1;
    if (rxLength > 0 && rxLength <= FrameBufferSize) {
        QWriteLocker locker(&dataLock);
        switch (protocol_) {
        case ProtocolDefine: verdict = checkDefineResponse(); break;
        case ProtocolModbusRtu: verdict = checkRtuResponse(); break;
        case ProtocolModbusTcp: verdict = checkTcpResponse(); break;
        }
    }
    // Signals go out with the lock released, so their receivers may take it.
    if (verdict == Verdict::Accepted) {
        succeed();
    } else if (verdict == Verdict::Rejected) {
        if (observer)
            observer->responseRejected(reject_, rejectCode_);
        retryOrFail();
    }
}

com_protocol_solar::Verdict com_protocol_solar::rejected(RequestObserver::Reject why, int code)
{
    reject_ = why;
    rejectCode_ = code;
    return Verdict::Rejected;
}

com_protocol_solar::Verdict com_protocol_solar::checkDefineResponse()
{
    const quint8 *r = rxFrame;
    if (rxLength < DefineFrameLength || r[0] != frameHeader)
        return Verdict::Rejected;
    if (r[15] != crc8(r, 15))
        return rejected(RequestObserver::Reject::BadChecksum);
    if (r[1] != slaveAddress_)
        return rejected(RequestObserver::Reject::WrongAddress);
    decodeDefine(r);
    // A frame that answers another command still updates the model.
    return r[2] == txFrame[2] ? Verdict::Accepted : Verdict::Unrelated;
}

com_protocol_solar::Verdict com_protocol_solar::checkRtuResponse()
{
    const quint8 *r = rxFrame;
    const quint8 *q = txFrame;
    if (r[1] == (q[1] | 0x80) && rxLength >= 5) {
        if (wordAt(r + 3) != modbusCrc16(r, 3))
            return rejected(RequestObserver::Reject::BadChecksum);
        if (r[0] != slaveAddress_)
            return rejected(RequestObserver::Reject::WrongAddress);
        return rejected(RequestObserver::Reject::Exception, r[2]);
    }
    if (r[1] != q[1])
        return Verdict::Rejected;
    if (r[1] == ReadHolding) {
        const int bytes = r[2];
        if (bytes + 5 > rxLength || bytes / 2 != wordAt(q + 4))
            return Verdict::Rejected;
        if (wordAt(r + 3 + bytes) != modbusCrc16(r, unsigned(bytes + 3)))
            return rejected(RequestObserver::Reject::BadChecksum);
        if (r[0] != slaveAddress_)
            return rejected(RequestObserver::Reject::WrongAddress);
        decodeModbusRegisters(wordAt(q + 2), r + 3, bytes / 2);
        return Verdict::Accepted;
    }
    if (r[1] == WriteMultiple) {
        if (rxLength < RtuWriteResponseLength)
            return Verdict::Rejected;
        if (wordAt(r + 6) != modbusCrc16(r, 6))
            return rejected(RequestObserver::Reject::BadChecksum);
        if (r[0] != slaveAddress_)
            return rejected(RequestObserver::Reject::WrongAddress);
        if (std::memcmp(r + 2, q + 2, 4) != 0)
            return Verdict::Rejected;
        return Verdict::Accepted;
    }
    return Verdict::Rejected;
}

com_protocol_solar::Verdict com_protocol_solar::checkTcpResponse()
{
    const quint8 *r = rxFrame;
    const quint8 *q = txFrame;
    if (std::memcmp(r, q, 2) != 0)
        return rejected(RequestObserver::Reject::WrongTransaction);
    if (std::memcmp(r + 2, q + 2, 2) != 0)
        return Verdict::Rejected;
    if (r[6] != q[6])
        return rejected(RequestObserver::Reject::WrongUnit);
    if (r[7] == (q[7] | 0x80) && rxLength >= MbapLength + 2)
        return rejected(RequestObserver::Reject::Exception, r[8]);
    if (r[7] != q[7])
        return Verdict::Rejected;
    if (r[7] == ReadHolding) {
        const int count = wordAt(q + 10);
        if (wordAt(r + 4) != 2 * count + 3 || rxLength != 2 * count + 9 || r[8] / 2 != count)
            return Verdict::Rejected;
        decodeModbusRegisters(wordAt(q + 8), r + 9, count);
        return Verdict::Accepted;
    }
    if (r[7] == WriteMultiple) {
        if (wordAt(r + 4) != 6 || rxLength != TcpWriteResponseLength
            || std::memcmp(r + 8, q + 8, 4) != 0)
            return Verdict::Rejected;
        return Verdict::Accepted;
    }
    return Verdict::Rejected;
}

// --- Modbus request builders ---------------------------------------------

// Counts beyond one Modbus request are refused like an unavailable operation.
bool com_protocol_solar::modbusCountFits(int count, int limit)
{
    if (count >= 1 && count <= limit)
        return true;
    reportFailure(FailureReason::ValueRefused);
    return false;
}

int com_protocol_solar::putModbusWritePdu(int at, quint16 start, const quint32 *values, int count)
{
    txFrame[at] = WriteMultiple;
    putWord(txFrame + at + 1, start);
    putWord(txFrame + at + 3, quint32(count));
    txFrame[at + 5] = quint8(2 * count);
    for (int i = 0; i < count; ++i)
        putWord(txFrame + at + 6 + 2 * i, values[i]);
    return at + 6 + 2 * count;
}

void com_protocol_solar::beginTcpFrame(int pduLength)
{
    ++transactionId;
    putWord(txFrame, transactionId);
    putWord(txFrame + 2, 0);
    putWord(txFrame + 4, quint32(pduLength + 1));
    txFrame[6] = slaveAddress_;
}

void com_protocol_solar::modbusRtuReadRegisters(quint16 start, int count)
{
    if (!modbusCountFits(count, MaxReadCount))
        return;
    txFrame[0] = slaveAddress_;
    txFrame[1] = ReadHolding;
    putWord(txFrame + 2, start);
    putWord(txFrame + 4, quint32(count));
    putWord(txFrame + 6, modbusCrc16(txFrame, 6));
    sendFrame(8);
}

void com_protocol_solar::modbusRtuWriteRegisters(quint16 start, const quint32 *values, int count)
{
    if (!modbusCountFits(count, MaxWriteCount))
        return;
    txFrame[0] = slaveAddress_;
    const int end = putModbusWritePdu(1, start, values, count);
    putWord(txFrame + end, modbusCrc16(txFrame, unsigned(end)));
    sendFrame(end + 2);
}

void com_protocol_solar::modbusTcpReadRegisters(quint16 start, int count)
{
    if (!modbusCountFits(count, MaxReadCount))
        return;
    beginTcpFrame(5);
    txFrame[MbapLength] = ReadHolding;
    putWord(txFrame + MbapLength + 1, start);
    putWord(txFrame + MbapLength + 3, quint32(count));
    sendFrame(MbapLength + 5);
}

void com_protocol_solar::modbusTcpWriteRegisters(quint16 start, const quint32 *values, int count)
{
    if (!modbusCountFits(count, MaxWriteCount))
        return;
    beginTcpFrame(6 + 2 * count);
    sendFrame(putModbusWritePdu(MbapLength, start, values, count));
}
