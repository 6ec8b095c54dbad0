#ifndef POLL_SCHEDULE_H
#define POLL_SCHEDULE_H

class com_protocol_solar;

// The shape of the schedule an engine is polled with, for the bus line:
// its number of steps, and which of them is the bus scan (-1: none).
int pollScheduleLength(const com_protocol_solar &engine);
int pollScanStep(const com_protocol_solar &engine);

#endif
