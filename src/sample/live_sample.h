#ifndef LIVE_SAMPLE_H
#define LIVE_SAMPLE_H

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include "device_data.h"

// One answered live-value step, as the window shows it: the logger's lines,
// the history store, CSV export and the MQTT state messages all carry this,
// under these names and units.

// The load as shown, plotted and recorded: nothing while it is switched off
// (status bit 3). Modbus has no load-voltage register: with the load on it
// carries the battery voltage.
bool loadIsOn(const DeviceData &data);
quint32 loadVoltageOf(const DeviceData &data, bool loadOn, bool modbus);
quint32 loadPowerOf(const DeviceData &data, bool loadOn);

enum LiveValue {
    PvVoltage,
    PvCurrent,
    PvPower,
    BatteryVoltage,
    BatteryCurrent,
    BatteryTemperature,
    BatteryCapacity,
    LoadVoltage,
    LoadCurrent,
    LoadPower,
    InternalTemperature,
    GeneratedChargeTotal,
    ConsumedChargeTotal,
    GeneratedEnergyTotal,
    ConsumedEnergyTotal,
    LiveValueCount
};

struct LiveField
{
    const char *key;          // the DeviceData member name
    const char *unit;         // as the window shows it
    int decimals;             // value = counts / 10^decimals
    const char *deviceClass;  // Home Assistant sensor device class, or nullptr
    const char *stateClass;   // Home Assistant state class
};

extern const LiveField liveFields[LiveValueCount];

// The text and word members that travel beside the numbers.
extern const char *const chargeStageKey;   // "chargeStageText"
extern const char *const pvStateKey;       // "pvStateText"
extern const char *const statusWordKey;    // "statusWord"

struct LiveSample
{
    qint64 timeMs = 0;        // milliseconds since the epoch, UTC
    int utcOffsetSeconds = 0; // local offset the time is written with
    int address = 0;          // bus address that answered
    qint64 counts[LiveValueCount] = {};
    quint32 statusWord = 0;
    QString chargeStageText;
    QString pvStateText;

    double value(LiveValue v) const;
};

// Who answered at an address, once the identity steps have been read.
struct DeviceIdentity
{
    int address = 0;
    QString model;
    QString serialNumber;
    QString version;
    QString factoryInfo;
};

// Fills sample from what the engine decoded for the live-value step, with
// the window's rules: Modbus battery current is PV minus load current, a
// switched-off load shows 0 V and 0 W, and a Modbus load that is on carries
// the battery voltage.
void fillLiveSample(LiveSample &sample, const DeviceData &data, ProtocolKind protocol);

// Writers append to out and allocate nothing once out has grown to a line's
// size, so a poller that reuses its buffer stays allocation-free.

// {"time":"2026-12-10T23:07:18.250+01:00","address":1,"pvVoltage":12.34,...}
void appendLiveSampleJson(QByteArray &out, const LiveSample &sample);

// time,address,pvVoltage (V),...,chargeStageText,pvStateText,statusWord
void appendLiveSampleCsvHeader(QByteArray &out);
void appendLiveSampleCsvRow(QByteArray &out, const LiveSample &sample);

// {"time":"...","address":1,"identity":{"deviceModel":"...","serialNumber":"...",
//  "versionInfo":"...","factoryInfo":"..."}}, under the DeviceData member names.
void appendDeviceIdentityJson(QByteArray &out, const DeviceIdentity &identity, qint64 timeMs,
                              int utcOffsetSeconds);

// ISO 8601 with milliseconds and the UTC offset (+hh:mm).
void appendIsoTime(QByteArray &out, qint64 timeMs, int utcOffsetSeconds);

// counts / 10^decimals in the C locale, e.g. -1234, 2 -> "-12.34".
void appendFixedPoint(QByteArray &out, qint64 counts, int decimals);

#endif
