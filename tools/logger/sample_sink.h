#ifndef SAMPLE_SINK_H
#define SAMPLE_SINK_H

#include "live_sample.h"

// Where the logger hands each answered live-value step and the device's
// identity: its own line writer, and whatever else records or publishes them.
// Called on the logger's thread, inside the poll that produced the sample;
// a sink that needs time queues the work instead of waiting.
class SampleSink
{
public:
    virtual ~SampleSink() = default;
    virtual void writeSample(const LiveSample &sample) = 0;
    virtual void writeIdentity(const DeviceIdentity &identity, qint64 timeMs,
                               int utcOffsetSeconds) = 0;
};

#endif
