#include "daily_yield.h"

#include <QDateTime>
#include <QHash>

#include "history_store.h"
#include "sqlite_statement.h"

namespace {

constexpr qint64 DayMs = 86400000;
constexpr qint64 EpochJulianDay = 2440588;   // 1970-01-01

// Counts of 0.01 MWh are 10 kWh each.
constexpr double KwhPerCount = 10.0;

const QString columns = QStringLiteral(
    "address, day, generated, consumed, lowest_voltage, highest_voltage, samples,"
    " last_time, last_generated, last_consumed");

} // namespace

QDate DayYield::date() const
{
    return QDate::fromJulianDay(EpochJulianDay + day);
}

bool DayYield::operator==(const DayYield &o) const
{
    return address == o.address && day == o.day && generated == o.generated && consumed == o.consumed
           && lowestVoltage == o.lowestVoltage && highestVoltage == o.highestVoltage
           && samples == o.samples;
}

void DayFold::resume(const DayYield &newest, qint64 lastTimeMs, qint64 lastGenerated, qint64 lastConsumed)
{
    m_has = true;
    m_day = newest;
    m_lastTime = lastTimeMs;
    m_lastGenerated = lastGenerated;
    m_lastConsumed = lastConsumed;
}

qint64 DayFold::rise(qint64 from, qint64 to, qint64 elapsedMs) const
{
    const qint64 step = to - from;
    if (step <= 0)
        return 0;
    // One count may always tick over; beyond that the counter cannot have
    // climbed faster than the controller can deliver.
    const double credible = 1.0 + MaxKw * (double(elapsedMs) / 3600000.0) / KwhPerCount;
    return double(step) <= credible ? step : 0;
}

void DayFold::add(const LiveSample &s, QVector<DayYield> *done)
{
    if (m_has && s.timeMs <= m_lastTime)
        return;
    const qint64 day = DailyYield::localDay(s.timeMs, s.utcOffsetSeconds);
    const qint64 generated = s.counts[GeneratedEnergyTotal];
    const qint64 consumed = s.counts[ConsumedEnergyTotal];
    const qint64 volts = s.counts[BatteryVoltage];
    // The previous reading counts towards this one only from this day or the
    // day before.
    const bool follows = m_has && day - m_day.day <= 1;
    if (!m_has || day != m_day.day) {
        if (m_has && done)
            done->append(m_day);
        m_day = DayYield();
        m_day.address = s.address;
        m_day.day = day;
        m_day.lowestVoltage = m_day.highestVoltage = volts;
    }
    if (follows) {
        const qint64 elapsed = s.timeMs - m_lastTime;
        m_day.generated += rise(m_lastGenerated, generated, elapsed);
        m_day.consumed += rise(m_lastConsumed, consumed, elapsed);
    }
    m_day.lowestVoltage = qMin(m_day.lowestVoltage, volts);
    m_day.highestVoltage = qMax(m_day.highestVoltage, volts);
    ++m_day.samples;
    m_has = true;
    m_lastTime = s.timeMs;
    m_lastGenerated = generated;
    m_lastConsumed = consumed;
}

qint64 DailyYield::localDay(qint64 timeMs, int utcOffsetSeconds)
{
    const qint64 local = timeMs + qint64(utcOffsetSeconds) * 1000;
    return local >= 0 ? local / DayMs : -((-local + DayMs - 1) / DayMs);
}

qint64 DailyYield::today()
{
    const QDateTime now = QDateTime::currentDateTime();
    return localDay(now.toMSecsSinceEpoch(), now.offsetFromUtc());
}

qint64 DailyYield::dayOf(const QDate &date)
{
    return date.toJulianDay() - EpochJulianDay;
}

qint64 DailyYield::dayStartMs(qint64 day)
{
    return QDate::fromJulianDay(EpochJulianDay + day).startOfDay().toMSecsSinceEpoch();
}

qint64 DailyYield::dayEndMs(qint64 day)
{
    return dayStartMs(day + 1) - 1;
}

QStringList DailyYield::schema()
{
    // The newest row of an address also holds its last counted reading, where
    // the next batch (of this or another process) goes on from.
    return {QStringLiteral(
        "CREATE TABLE day_yield(address INTEGER NOT NULL, day INTEGER NOT NULL,"
        " generated INTEGER NOT NULL, consumed INTEGER NOT NULL,"
        " lowest_voltage INTEGER NOT NULL, highest_voltage INTEGER NOT NULL, samples INTEGER NOT NULL,"
        " last_time INTEGER NOT NULL, last_generated INTEGER NOT NULL, last_consumed INTEGER NOT NULL,"
        " PRIMARY KEY(address, day)) WITHOUT ROWID")};
}

namespace {

bool writeDays(SqliteStatement &insert, const QVector<DayYield> &days, const DayFold &fold, QString *why)
{
    for (const DayYield &d : days) {
        insert.bind(1, d.address);
        insert.bind(2, d.day);
        insert.bind(3, d.generated);
        insert.bind(4, d.consumed);
        insert.bind(5, d.lowestVoltage);
        insert.bind(6, d.highestVoltage);
        insert.bind(7, d.samples);
        // Only the newest row goes on; the older ones keep what they had.
        const bool newest = d.day == fold.current().day;
        insert.bind(8, newest ? fold.lastTimeMs() : 0);
        insert.bind(9, newest ? fold.lastGenerated() : 0);
        insert.bind(10, newest ? fold.lastConsumed() : 0);
        if (!insert.run()) {
            *why = insert.error();
            return false;
        }
    }
    return true;
}

bool prepareInsert(sqlite3 *db, SqliteStatement &insert, QString *why)
{
    if (insert.prepare(db, QStringLiteral("INSERT OR REPLACE INTO day_yield(%1) VALUES(?,?,?,?,?,?,?,?,?,?)")
                               .arg(columns)))
        return true;
    *why = insert.error();
    return false;
}

DayYield dayFrom(const SqliteStatement &q)
{
    DayYield d;
    d.address = q.integer(0);
    d.day = q.int64(1);
    d.generated = q.int64(2);
    d.consumed = q.int64(3);
    d.lowestVoltage = q.int64(4);
    d.highestVoltage = q.int64(5);
    d.samples = q.int64(6);
    return d;
}

} // namespace

bool DailyYield::record(sqlite3 *db, const QVector<LiveSample> &samples, QString *why)
{
    if (samples.isEmpty())
        return true;
    SqliteStatement newest, insert;
    if (!newest.prepare(db, QStringLiteral("SELECT %1 FROM day_yield WHERE address=? ORDER BY day DESC LIMIT 1")
                                .arg(columns))) {
        *why = newest.error();
        return false;
    }
    if (!prepareInsert(db, insert, why))
        return false;

    // Addresses in the order they first appear; each one's samples in order.
    QHash<int, int> slot;
    QVector<QVector<const LiveSample *>> byAddress;
    for (const LiveSample &s : samples) {
        auto it = slot.find(s.address);
        if (it == slot.end()) {
            it = slot.insert(s.address, byAddress.size());
            byAddress.append(QVector<const LiveSample *>());
        }
        byAddress[*it].append(&s);
    }
    for (const auto &list : qAsConst(byAddress)) {
        DayFold fold;
        // Read inside the write transaction: another writer's days are in.
        newest.bind(1, list.first()->address);
        const int rc = newest.step();
        if (rc == SQLITE_ROW)
            fold.resume(dayFrom(newest), newest.int64(7), newest.int64(8), newest.int64(9));
        newest.reset();
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
            *why = newest.error();
            return false;
        }
        QVector<DayYield> days;
        const qint64 before = fold.hasDay() ? fold.current().samples : -1;
        for (const LiveSample *s : list)
            fold.add(*s, &days);
        if (!fold.hasDay() || (days.isEmpty() && fold.current().samples == before))
            continue;   // nothing newer than what is stored
        days.append(fold.current());
        if (!writeDays(insert, days, fold, why))
            return false;
    }
    return true;
}

bool DailyYield::rebuild(sqlite3 *db, QString *why)
{
    SqliteStatement rows(db, QStringLiteral(
        "SELECT d.address, s.time, s.utc_offset, s.batteryVoltage, s.generatedEnergyTotal,"
        " s.consumedEnergyTotal FROM sample s JOIN device d ON d.id = s.device"
        " ORDER BY d.address, s.time"));
    if (!rows.isValid()) {
        *why = rows.error();
        return false;
    }
    SqliteStatement insert;
    if (!prepareInsert(db, insert, why))
        return false;
    DayFold fold;
    QVector<DayYield> days;
    int address = -1;
    LiveSample s;
    auto finish = [&] {
        if (!fold.hasDay())
            return true;
        days.append(fold.current());
        const bool ok = writeDays(insert, days, fold, why);
        days.clear();
        return ok;
    };
    int rc;
    while ((rc = rows.step()) == SQLITE_ROW) {
        s.address = rows.integer(0);
        if (s.address != address) {
            if (!finish())
                return false;
            fold = DayFold();
            address = s.address;
        }
        s.timeMs = rows.int64(1);
        s.utcOffsetSeconds = rows.integer(2);
        s.counts[BatteryVoltage] = rows.int64(3);
        s.counts[GeneratedEnergyTotal] = rows.int64(4);
        s.counts[ConsumedEnergyTotal] = rows.int64(5);
        fold.add(s, &days);
        // Finished days are written as they come, not held for the whole file.
        if (!days.isEmpty()) {
            if (!writeDays(insert, days, fold, why))
                return false;
            days.clear();
        }
    }
    if (rc != SQLITE_DONE) {
        *why = rows.error();
        return false;
    }
    return finish();
}

QVector<DayYield> DailyYield::read(HistoryStore &store, int address, qint64 firstDay, qint64 lastDay)
{
    QVector<DayYield> days;
    if (!store.isOpen())
        return days;
    QString sql = QStringLiteral("SELECT %1 FROM day_yield WHERE day BETWEEN ? AND ?").arg(columns);
    if (address >= 0)
        sql += QStringLiteral(" AND address=?");
    sql += QStringLiteral(" ORDER BY day, address");
    SqliteStatement q(store.handle(), sql);
    if (!q.isValid())
        return days;
    q.bind(1, firstDay);
    q.bind(2, lastDay);
    if (address >= 0)
        q.bind(3, address);
    while (q.step() == SQLITE_ROW)
        days.append(dayFrom(q));
    return days;
}
