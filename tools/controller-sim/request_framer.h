#ifndef REQUEST_FRAMER_H
#define REQUEST_FRAMER_H

#include <QByteArray>
#include <QList>

#include "device_data.h"

// Cuts a byte stream into request frames. A stream carries no boundaries, so
// the frames are found by their own structure: the Define header and CRC-8,
// the RTU function code, byte count and CRC-16, the MBAP length. Junk in
// front of a frame is skipped a byte at a time until a frame checks out.
class RequestFramer
{
public:
    explicit RequestFramer(ProtocolKind protocol) : protocol_(protocol) {}

    void setProtocol(ProtocolKind protocol) { protocol_ = protocol; buffer_.clear(); }
    // Appends received bytes and returns every frame now complete.
    QList<QByteArray> feed(const QByteArray &bytes);
    // The line fell quiet: an RTU request of a function whose length is not
    // known is taken as it stands; other leftovers are dropped.
    QList<QByteArray> flushIdle();
    bool hasPending() const { return !buffer_.isEmpty(); }

private:
    // Length of the frame at the front: > 0 a frame of that many bytes,
    // 0 wait for more, -1 the first byte cannot start a frame.
    int frontLength() const;
    bool frontChecks(int length) const;

    ProtocolKind protocol_;
    QByteArray buffer_;
};

#endif
