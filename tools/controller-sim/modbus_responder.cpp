#include "modbus_responder.h"

#include "checksums.h"
#include "simulated_device.h"

namespace {

constexpr quint8 ReadHoldingRegisters = 0x03;
constexpr quint8 WriteMultipleRegisters = 0x10;
constexpr int MaxReadCount = 125;    // what fits in one response
constexpr int MaxWriteCount = 123;

int be16(const QByteArray &b, int k)
{
    return quint8(b[k]) << 8 | quint8(b[k + 1]);
}

void appendBe16(QByteArray &b, int v)
{
    b.append(char(v >> 8));
    b.append(char(v));
}

bool inMap(int start, int count)
{
    return start + count <= RegisterCount;
}

QByteArray readRegisters(SimulatedDevice &dev, const QByteArray &pdu)
{
    if (pdu.size() != 5)
        return ModbusResponder::exceptionPdu(ReadHoldingRegisters, ModbusResponder::IllegalDataValue);
    const int start = be16(pdu, 1), count = be16(pdu, 3);
    if (count < 1 || count > MaxReadCount)
        return ModbusResponder::exceptionPdu(ReadHoldingRegisters, ModbusResponder::IllegalDataValue);
    if (!inMap(start, count))
        return ModbusResponder::exceptionPdu(ReadHoldingRegisters, ModbusResponder::IllegalDataAddress);
    QByteArray out;
    out.append(char(ReadHoldingRegisters));
    out.append(char(2 * count));
    for (int r = start; r < start + count; ++r)
        appendBe16(out, dev.reg(r));
    return out;
}

QByteArray writeRegisters(SimulatedDevice &dev, const QByteArray &pdu)
{
    if (pdu.size() < 6)
        return ModbusResponder::exceptionPdu(WriteMultipleRegisters, ModbusResponder::IllegalDataValue);
    const int start = be16(pdu, 1), count = be16(pdu, 3), bytes = quint8(pdu[5]);
    if (count < 1 || count > MaxWriteCount || bytes != 2 * count || pdu.size() != 6 + bytes)
        return ModbusResponder::exceptionPdu(WriteMultipleRegisters, ModbusResponder::IllegalDataValue);
    if (!inMap(start, count))
        return ModbusResponder::exceptionPdu(WriteMultipleRegisters, ModbusResponder::IllegalDataAddress);
    for (int i = 0; i < count; ++i)
        dev.writeFromBus(start + i, quint16(be16(pdu, 6 + 2 * i)));
    return pdu.left(5);
}

} // namespace

namespace ModbusResponder {

QByteArray respond(SimulatedDevice &dev, const QByteArray &pdu)
{
    if (pdu.isEmpty())
        return {};
    switch (quint8(pdu[0])) {
    case ReadHoldingRegisters:
        return readRegisters(dev, pdu);
    case WriteMultipleRegisters:
        return writeRegisters(dev, pdu);
    default:
        return exceptionPdu(quint8(pdu[0]), IllegalFunction);
    }
}

QByteArray exceptionPdu(quint8 function, quint8 code)
{
    QByteArray out;
    out.append(char(function | 0x80));
    out.append(char(code));
    return out;
}

bool isValidRtuFrame(const QByteArray &frame)
{
    if (frame.size() < 4)
        return false;
    const quint16 crc = modbusCrc16(reinterpret_cast<const quint8 *>(frame.constData()),
                                    unsigned(frame.size() - 2));
    return be16(frame, frame.size() - 2) == crc;
}

QByteArray rtuFrame(quint8 address, const QByteArray &pdu)
{
    QByteArray out;
    out.append(char(address));
    out.append(pdu);
    // modbusCrc16 packs the byte sent first in its high half.
    appendBe16(out, modbusCrc16(reinterpret_cast<const quint8 *>(out.constData()), unsigned(out.size())));
    return out;
}

QByteArray tcpFrame(quint16 transaction, quint8 unit, const QByteArray &pdu)
{
    QByteArray out;
    appendBe16(out, transaction);
    appendBe16(out, 0);
    appendBe16(out, pdu.size() + 1);
    out.append(char(unit));
    out.append(pdu);
    return out;
}

}
