#ifndef CHECKSUMS_H
#define CHECKSUMS_H

#include <QtGlobal>

// CRC-8 of the Define frames: poly 0x31, init 0, no reflection, no final XOR.
// crc8("123456789") == 0xA2; an empty input gives 0.
quint8 crc8(const quint8 *data, quint8 length);

// CRC-16/MODBUS. The result holds the byte sent first (the low CRC byte) in its
// high half: modbusCrc16(01 03 00 01 00 0C) == 0x140F, sent as 14 0F.
// An empty input gives 0xFFFF.
quint16 modbusCrc16(const quint8 *data, unsigned length);

#endif
