#include "energy_today.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include "history_store.h"

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
    QSqlQuery q(QSqlDatabase::database(store.connectionName(), false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT day, generated, consumed, lowest_voltage, highest_voltage, samples,"
                             " last_time, last_generated, last_consumed"
                             " FROM day_yield WHERE address=? ORDER BY day DESC LIMIT 1"));
    q.addBindValue(address);
    if (!q.exec() || !q.next())
        return false;
    DayYield d;
    d.address = address;
    d.day = q.value(0).toLongLong();
    d.generated = q.value(1).toLongLong();
    d.consumed = q.value(2).toLongLong();
    d.lowestVoltage = q.value(3).toLongLong();
    d.highestVoltage = q.value(4).toLongLong();
    d.samples = q.value(5).toLongLong();
    into->seed(d, q.value(6).toLongLong(), q.value(7).toLongLong(), q.value(8).toLongLong());
    return true;
}
