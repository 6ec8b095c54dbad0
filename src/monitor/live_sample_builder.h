#ifndef LIVE_SAMPLE_BUILDER_H
#define LIVE_SAMPLE_BUILDER_H

#include "live_sample.h"
#include "monitor_core.h"

// Turns the core's answered poll steps into live samples, one per answered
// live-value step: the logger writes them, the window records and publishes
// them, and both get the same sample for the same step.
//
//   on link up:        builder.linkUp(core);
//   on stepAnswered:   if (builder.take(result, data, core)) use(builder.sample());
class LiveSampleBuilder
{
public:
    // A new link: the totals the engine's schedule reads are not in yet.
    void linkUp(const MonitorCore &core);
    // True when result was a live-value step and sample() now holds it, with
    // the time now, the core's address and its protocol's rules. Totals
    // not read yet would show as zero: the first reading after linkUp()
    // waits for them, one polling cycle at most.
    bool take(MonitorCore::StepResult result, const DeviceData &data, const MonitorCore &core);
    const LiveSample &sample() const { return sample_; }

private:
    LiveSample sample_;
    bool chargeTotalsRead_ = true;
    bool energyTotalsRead_ = true;
    bool firstReadingHeld_ = true;
};

// Local time's offset from UTC at timeMs, in seconds (no allocation).
int utcOffsetNow(qint64 timeMs);

#endif
