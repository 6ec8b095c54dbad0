// Work in progress: filled by its owner.
#include "checksums.h"
quint8 crc8(const quint8 *, quint8) { return 0; }
quint16 modbusCrc16(const quint8 *, unsigned) { return 0xFFFF; }
