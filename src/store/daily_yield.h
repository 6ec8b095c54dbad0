#ifndef DAILY_YIELD_H
#define DAILY_YIELD_H

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVector>

#include "live_sample.h"

class HistoryStore;
struct sqlite3;

// What one controller made and used on one local day, kept beside the
// samples as they are recorded, so a month of days is read as thirty rows
// instead of millions of samples.
struct DayYield
{
    int address = 0;
    qint64 day = 0;               // local days since 1970-01-01
    qint64 generated = 0;         // rise of generatedEnergyTotal, counts of 0.01 MWh
    qint64 consumed = 0;          // rise of consumedEnergyTotal
    qint64 lowestVoltage = 0;     // batteryVoltage, counts of 0.01 V
    qint64 highestVoltage = 0;
    qint64 samples = 0;

    QDate date() const;
    double generatedKwh() const { return generated * 10.0; }
    double consumedKwh() const { return consumed * 10.0; }
    double lowestVolts() const { return lowestVoltage / 100.0; }
    double highestVolts() const { return highestVoltage / 100.0; }
    bool operator==(const DayYield &o) const;
};

// How the recorded totals become a day's energy:
// - a day counts the rises of the totals between consecutive readings of the
//   controller, the first of them taken from the last reading of the day
//   before when there is one;
// - a fall (the counter cleared) counts nothing and the count goes on from
//   the new value;
// - readings more than a day apart count nothing: the energy of the missing
//   days belongs to no day that was seen;
// - a rise beyond what MaxKw could make in the time between two readings is
//   a counter that jumped (another controller, a garbled answer) and counts
//   nothing either.
// Readings not later than the last one counted are passed over.
class DayFold
{
public:
    static constexpr double MaxKw = 20.0;

    // Starts from the newest stored day of an address (or nothing).
    void resume(const DayYield &newest, qint64 lastTimeMs, qint64 lastGenerated, qint64 lastConsumed);
    // Folds s in; when s opens a new day the finished one is appended to done.
    void add(const LiveSample &s, QVector<DayYield> *done);

    bool hasDay() const { return m_has; }
    const DayYield &current() const { return m_day; }
    qint64 lastTimeMs() const { return m_lastTime; }
    qint64 lastGenerated() const { return m_lastGenerated; }
    qint64 lastConsumed() const { return m_lastConsumed; }

private:
    qint64 rise(qint64 from, qint64 to, qint64 elapsedMs) const;

    bool m_has = false;
    DayYield m_day;
    qint64 m_lastTime = 0;
    qint64 m_lastGenerated = 0;
    qint64 m_lastConsumed = 0;
};

namespace DailyYield {

// The local day of a sample, by the offset it was recorded with.
qint64 localDay(qint64 timeMs, int utcOffsetSeconds);
qint64 today();
qint64 dayOf(const QDate &date);
// [first ms, last ms] of a local day in the time zone of this machine.
qint64 dayStartMs(qint64 day);
qint64 dayEndMs(qint64 day);

// The table the store keeps the days in (a step of its schema).
QStringList schema();
// Folds samples (in time order per address) into the stored days, inside the
// caller's transaction on the connection. False with why set on an error.
bool record(sqlite3 *db, const QVector<LiveSample> &samples, QString *why);
// Builds the days of a file recorded before they were kept, from its samples.
bool rebuild(sqlite3 *db, QString *why);

// Days firstDay..lastDay of one address (all addresses with -1), oldest
// first and by address; days without a reading are not listed.
QVector<DayYield> read(HistoryStore &store, int address, qint64 firstDay, qint64 lastDay);

} // namespace DailyYield

#endif
