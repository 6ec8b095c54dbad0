#include "energy_today.h"

#include "history_store.h"
#include "sqlite_statement.h"

void EnergyToday::seed(const DayYield &newest, qint64 lastTimeMs, qint64 lastGenerated, qint64 lastConsumed)
{
    m_fold.resume(newest, lastTimeMs, lastGenerated, lastConsumed);
}

bool EnergyToday::add(const LiveSample &s, Figure *figure)
{
    // Without an earlier reading of this day or the one before, the day's
    // first reading has nothing to count from: what came before it is unknown.
    const qint64 day = DailyYield::localDay(s.timeMs, s.utcOffsetSeconds);
    const bool counted = m_fold.hasDay() && day - m_fold.current().day <= 1;
    m_fold.add(s, nullptr);
    if (!counted)
        return false;
    const DayYield &current = m_fold.current();
    figure->day = current.day;
    figure->generated = current.generated;
    figure->consumed = current.consumed;
    return true;
}

bool EnergyToday::readSeed(HistoryStore &store, int address, EnergyToday *into)
{
    if (!store.isOpen())
        return false;
    SqliteStatement q(store.handle(),
                      QStringLiteral("SELECT day, generated, consumed, lowest_voltage, highest_voltage, samples,"
                                     " last_time, last_generated, last_consumed"
                                     " FROM day_yield WHERE address=? ORDER BY day DESC LIMIT 1"));
    if (!q.isValid())
        return false;
    q.bind(1, qint64(address));
    if (q.step() != SQLITE_ROW)
        return false;
    DayYield d;
    d.address = address;
    d.day = q.int64(0);
    d.generated = q.int64(1);
    d.consumed = q.int64(2);
    d.lowestVoltage = q.int64(3);
    d.highestVoltage = q.int64(4);
    d.samples = q.int64(5);
    into->seed(d, q.int64(6), q.int64(7), q.int64(8));
    return true;
}
