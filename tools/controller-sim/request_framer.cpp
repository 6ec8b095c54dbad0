#include "request_framer.h"

#include "define_responder.h"
#include "modbus_responder.h"

namespace {

constexpr int MaxTcpPduLength = 253;
constexpr int UnknownLength = -2;

// RTU request length from its first bytes, UnknownLength for a function
// whose requests this device cannot size.
int rtuRequestLength(const QByteArray &b)
{
    switch (quint8(b[1])) {
    case 0x01: case 0x02: case 0x03: case 0x04: case 0x05: case 0x06:
        return 8;
    case 0x0F: case 0x10:
        return b.size() < 7 ? 0 : 9 + quint8(b[6]);
    default:
        return UnknownLength;
    }
}

} // namespace

int RequestFramer::frontLength() const
{
    switch (protocol_) {
    case ProtocolDefine:
        if (quint8(buffer_[0]) != DefineResponder::Header)
            return -1;
        return buffer_.size() < DefineResponder::FrameLength ? 0 : DefineResponder::FrameLength;
    case ProtocolModbusRtu: {
        if (buffer_.size() < 2)
            return 0;
        const int n = rtuRequestLength(buffer_);
        if (n == UnknownLength)
            return 0;   // wait for the line to fall quiet
        return buffer_.size() < n ? 0 : n;
    }
    case ProtocolModbusTcp: {
        if (buffer_.size() < ModbusResponder::MbapLength)
            return 0;
        const int protocolId = quint8(buffer_[2]) << 8 | quint8(buffer_[3]);
        const int length = quint8(buffer_[4]) << 8 | quint8(buffer_[5]);
        if (protocolId != 0 || length < 2 || length > MaxTcpPduLength + 1)
            return -1;
        const int n = 6 + length;
        return buffer_.size() < n ? 0 : n;
    }
    }
    return -1;
}

bool RequestFramer::frontChecks(int length) const
{
    const QByteArray frame = buffer_.left(length);
    switch (protocol_) {
    case ProtocolDefine:
        return DefineResponder::isValidFrame(frame);
    case ProtocolModbusRtu:
        return ModbusResponder::isValidRtuFrame(frame);
    case ProtocolModbusTcp:
        return true;   // TCP carries no checksum; the header passed frontLength
    }
    return false;
}

QList<QByteArray> RequestFramer::feed(const QByteArray &bytes)
{
    buffer_.append(bytes);
    QList<QByteArray> frames;
    while (!buffer_.isEmpty()) {
        const int n = frontLength();
        if (n == 0)
            break;
        if (n < 0 || !frontChecks(n)) {
            buffer_.remove(0, 1);
            continue;
        }
        frames.append(buffer_.left(n));
        buffer_.remove(0, n);
    }
    return frames;
}

QList<QByteArray> RequestFramer::flushIdle()
{
    QList<QByteArray> frames;
    while (!buffer_.isEmpty()) {
        // An RTU request of an unknown function: if its CRC holds it is a
        // real request and deserves an "illegal function" answer.
        if (protocol_ == ProtocolModbusRtu && ModbusResponder::isValidRtuFrame(buffer_)) {
            frames.append(buffer_);
            buffer_.clear();
            break;
        }
        buffer_.remove(0, 1);   // junk in front: a whole frame may follow it
        frames += feed({});
    }
    return frames;
}
