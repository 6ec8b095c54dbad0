#ifndef MODBUS_RESPONDER_H
#define MODBUS_RESPONDER_H

#include <QByteArray>

class SimulatedDevice;

// Device side of Modbus: Read Holding Registers (0x03) and Write Multiple
// Registers (0x10) over registers 0..143, framed for RTU (CRC-16) or TCP (MBAP).
namespace ModbusResponder {

enum Exception : quint8 {
    IllegalFunction = 0x01,
    IllegalDataAddress = 0x02,
    IllegalDataValue = 0x03,
};

constexpr int MbapLength = 7;

// Executes a request PDU (function code first) and returns the response PDU,
// an exception response when the request cannot be served.
QByteArray respond(SimulatedDevice &dev, const QByteArray &pdu);
QByteArray exceptionPdu(quint8 function, quint8 code);

// RTU: address, PDU, CRC low byte first.
bool isValidRtuFrame(const QByteArray &frame);
QByteArray rtuFrame(quint8 address, const QByteArray &pdu);
// TCP: MBAP header (transaction, protocol 0, length, unit) and the PDU.
QByteArray tcpFrame(quint16 transaction, quint8 unit, const QByteArray &pdu);

}

#endif
