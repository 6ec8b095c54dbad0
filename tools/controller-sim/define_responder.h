#ifndef DEFINE_RESPONDER_H
#define DEFINE_RESPONDER_H

#include <QByteArray>

class SimulatedDevice;

// Device side of the Define protocol: 16-byte frames, header 0x8E, CRC-8 in
// the last byte. Answers are built from the device's holding registers with
// the positions and scales the tool decodes them with.
namespace DefineResponder {

constexpr int FrameLength = 16;
constexpr quint8 Header = 0x8E;

// Length, header and CRC are right.
bool isValidFrame(const QByteArray &frame);
// Writes the CRC of bytes 0..14 into byte 15.
void seal(QByteArray &frame);
// The answer of dev to a valid request addressed to it, after applying the
// request's effect; empty when this controller type does not know the code
// or the request's fixed bytes are wrong (a real controller stays silent).
QByteArray reply(SimulatedDevice &dev, const QByteArray &request);

}

#endif
