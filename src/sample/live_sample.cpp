#include "live_sample.h"

#include <cstdio>
#include <cstring>

const LiveField liveFields[LiveValueCount] = {
    {"pvVoltage", "V", 2, "voltage", "measurement"},
    {"pvCurrent", "A", 2, "current", "measurement"},
    {"pvPower", "W", 1, "power", "measurement"},
    {"batteryVoltage", "V", 2, "voltage", "measurement"},
    {"batteryCurrent", "A", 2, "current", "measurement"},
    {"batteryTemperature", "°C", 0, "temperature", "measurement"},
    {"batteryCapacity", "%", 0, "battery", "measurement"},
    {"loadVoltage", "V", 2, "voltage", "measurement"},
    {"loadCurrent", "A", 2, "current", "measurement"},
    {"loadPower", "W", 1, "power", "measurement"},
    {"internalTemperature", "°C", 0, "temperature", "measurement"},
    {"generatedChargeTotal", "kAh", 2, nullptr, "total_increasing"},
    {"consumedChargeTotal", "kAh", 2, nullptr, "total_increasing"},
    {"generatedEnergyTotal", "MWh", 2, "energy", "total_increasing"},
    {"consumedEnergyTotal", "MWh", 2, "energy", "total_increasing"},
};

const char *const chargeStageKey = "chargeStageText";
const char *const pvStateKey = "pvStateText";
const char *const statusWordKey = "statusWord";

namespace {

constexpr quint32 LoadOffBit = 0x008;

constexpr qint64 powerOfTen(int n)
{
    qint64 p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

void appendLatin1(QByteArray &out, const char *text)
{
    out.append(text, int(std::strlen(text)));
}

void appendNumber(QByteArray &out, long long value)
{
    char buf[24];
    const int n = std::snprintf(buf, sizeof buf, "%lld", value);
    out.append(buf, n);
}

enum class Escape { Json, Csv };

// UTF-8 of a QString without a temporary, escaped for a JSON string or a
// quoted CSV field.
void appendUtf8(QByteArray &out, const QString &text, Escape escape)
{
    const bool json = escape == Escape::Json;
    const int n = text.size();
    for (int i = 0; i < n; ++i) {
        uint c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < n && text.at(i + 1).isLowSurrogate())
            c = QChar::surrogateToUcs4(ushort(c), text.at(++i).unicode());
        if (json && (c == '"' || c == '\\')) {
            out.append('\\');
            out.append(char(c));
        } else if (!json && c == '"') {
            out.append("\"\"", 2);
        } else if (c < 0x20) {
            if (json) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out.append(buf, 6);
            } else {
                out.append(' ');
            }
        } else if (c < 0x80) {
            out.append(char(c));
        } else if (c < 0x800) {
            out.append(char(0xC0 | (c >> 6)));
            out.append(char(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.append(char(0xE0 | (c >> 12)));
            out.append(char(0x80 | ((c >> 6) & 0x3F)));
            out.append(char(0x80 | (c & 0x3F)));
        } else {
            out.append(char(0xF0 | (c >> 18)));
            out.append(char(0x80 | ((c >> 12) & 0x3F)));
            out.append(char(0x80 | ((c >> 6) & 0x3F)));
            out.append(char(0x80 | (c & 0x3F)));
        }
    }
}

void appendJsonString(QByteArray &out, const QString &text)
{
    out.append('"');
    appendUtf8(out, text, Escape::Json);
    out.append('"');
}

void appendCsvText(QByteArray &out, const QString &text)
{
    out.append('"');
    appendUtf8(out, text, Escape::Csv);
    out.append('"');
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void civilFromDays(qint64 days, int &year, int &month, int &day)
{
    days += 719468;
    const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
    const qint64 doe = days - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    day = int(doy - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = int(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

} // namespace

double LiveSample::value(LiveValue v) const
{
    return double(counts[v]) / double(powerOfTen(liveFields[v].decimals));
}

bool loadIsOn(const DeviceData &data)
{
    return (data.statusWord & LoadOffBit) == 0;
}

quint32 loadVoltageOf(const DeviceData &data, bool loadOn, bool modbus)
{
    if (!loadOn)
        return 0;
    return modbus ? data.batteryVoltage : data.loadVoltage;
}

quint32 loadPowerOf(const DeviceData &data, bool loadOn)
{
    return loadOn ? data.loadPower : 0;
}

void fillLiveSample(LiveSample &sample, const DeviceData &data, ProtocolKind protocol)
{
    const bool modbus = protocol != ProtocolDefine;
    const bool loadOn = loadIsOn(data);
    qint64 *c = sample.counts;
    c[PvVoltage] = data.pvVoltage;
    c[PvCurrent] = data.pvCurrent;
    c[PvPower] = data.pvPower;
    c[BatteryVoltage] = data.batteryVoltage;
    c[BatteryCurrent] = modbus ? qint64(qint32(data.pvCurrent - data.loadCurrent))
                               : qint64(data.batteryCurrent);
    c[BatteryTemperature] = data.batteryTemperature;
    c[BatteryCapacity] = data.batteryCapacity;
    c[LoadVoltage] = loadVoltageOf(data, loadOn, modbus);
    c[LoadCurrent] = data.loadCurrent;
    c[LoadPower] = loadPowerOf(data, loadOn);
    c[InternalTemperature] = data.internalTemperature;
    c[GeneratedChargeTotal] = data.generatedChargeTotal();
    c[ConsumedChargeTotal] = data.consumedChargeTotal();
    c[GeneratedEnergyTotal] = data.generatedEnergyTotal();
    c[ConsumedEnergyTotal] = data.consumedEnergyTotal();
    sample.statusWord = data.statusWord;
    if (sample.chargeStageText != data.chargeStageText)
        sample.chargeStageText = data.chargeStageText;
    if (sample.pvStateText != data.pvStateText)
        sample.pvStateText = data.pvStateText;
}

void appendFixedPoint(QByteArray &out, qint64 counts, int decimals)
{
    if (decimals <= 0) {
        appendNumber(out, counts);
        return;
    }
    const qint64 scale = powerOfTen(decimals);
    const quint64 magnitude = counts < 0 ? quint64(0) - quint64(counts) : quint64(counts);
    char buf[32];
    const int n = std::snprintf(buf, sizeof buf, "%s%llu.%0*llu", counts < 0 ? "-" : "",
                                (unsigned long long)(magnitude / quint64(scale)), decimals,
                                (unsigned long long)(magnitude % quint64(scale)));
    out.append(buf, n);
}

void appendIsoTime(QByteArray &out, qint64 timeMs, int utcOffsetSeconds)
{
    const qint64 local = timeMs + qint64(utcOffsetSeconds) * 1000;
    const qint64 days = floorDiv(local, 86400000);
    const qint64 msOfDay = local - days * 86400000;
    int year, month, day;
    civilFromDays(days, year, month, day);
    const int offsetMinutes = (utcOffsetSeconds < 0 ? -utcOffsetSeconds : utcOffsetSeconds) / 60;
    char buf[48];
    const int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d",
                                year, month, day, int(msOfDay / 3600000),
                                int(msOfDay / 60000 % 60), int(msOfDay / 1000 % 60),
                                int(msOfDay % 1000), utcOffsetSeconds < 0 ? '-' : '+',
                                offsetMinutes / 60, offsetMinutes % 60);
    out.append(buf, n);
}

void appendLiveSampleJson(QByteArray &out, const LiveSample &sample)
{
    appendLatin1(out, "{\"time\":\"");
    appendIsoTime(out, sample.timeMs, sample.utcOffsetSeconds);
    appendLatin1(out, "\",\"address\":");
    appendNumber(out, sample.address);
    for (int v = 0; v < LiveValueCount; ++v) {
        appendLatin1(out, ",\"");
        appendLatin1(out, liveFields[v].key);
        appendLatin1(out, "\":");
        appendFixedPoint(out, sample.counts[v], liveFields[v].decimals);
    }
    appendLatin1(out, ",\"");
    appendLatin1(out, chargeStageKey);
    appendLatin1(out, "\":");
    appendJsonString(out, sample.chargeStageText);
    appendLatin1(out, ",\"");
    appendLatin1(out, pvStateKey);
    appendLatin1(out, "\":");
    appendJsonString(out, sample.pvStateText);
    appendLatin1(out, ",\"");
    appendLatin1(out, statusWordKey);
    appendLatin1(out, "\":");
    appendNumber(out, sample.statusWord);
    out.append('}');
}

void appendLiveSampleCsvHeader(QByteArray &out)
{
    appendLatin1(out, "time,address");
    for (const LiveField &field : liveFields) {
        out.append(',');
        appendLatin1(out, field.key);
        appendLatin1(out, " (");
        appendLatin1(out, field.unit);
        out.append(')');
    }
    out.append(',');
    appendLatin1(out, chargeStageKey);
    out.append(',');
    appendLatin1(out, pvStateKey);
    out.append(',');
    appendLatin1(out, statusWordKey);
}

void appendLiveSampleCsvRow(QByteArray &out, const LiveSample &sample)
{
    appendIsoTime(out, sample.timeMs, sample.utcOffsetSeconds);
    out.append(',');
    appendNumber(out, sample.address);
    for (int v = 0; v < LiveValueCount; ++v) {
        out.append(',');
        appendFixedPoint(out, sample.counts[v], liveFields[v].decimals);
    }
    out.append(',');
    appendCsvText(out, sample.chargeStageText);
    out.append(',');
    appendCsvText(out, sample.pvStateText);
    out.append(',');
    appendNumber(out, sample.statusWord);
}

void appendDeviceIdentityJson(QByteArray &out, const DeviceIdentity &identity, qint64 timeMs,
                              int utcOffsetSeconds)
{
    appendLatin1(out, "{\"time\":\"");
    appendIsoTime(out, timeMs, utcOffsetSeconds);
    appendLatin1(out, "\",\"address\":");
    appendNumber(out, identity.address);
    appendLatin1(out, ",\"identity\":{\"deviceModel\":");
    appendJsonString(out, identity.model);
    appendLatin1(out, ",\"serialNumber\":");
    appendJsonString(out, identity.serialNumber);
    appendLatin1(out, ",\"versionInfo\":");
    appendJsonString(out, identity.version);
    appendLatin1(out, ",\"factoryInfo\":");
    appendJsonString(out, identity.factoryInfo);
    appendLatin1(out, "}}");
}
