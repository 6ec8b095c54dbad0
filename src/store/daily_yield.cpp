#include "daily_yield.h"

#include <QDateTime>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "history_store.h"

namespace {

constexpr qint64 DayMs = 86400000;
constexpr qint64 EpochJulianDay = 2440588;   // 1970-01-01

// Counts of 0.01 MWh are 10 kWh each.
constexpr double KwhPerCount = 10.0;

QString errorText(const QSqlQuery &q)
{
    const QSqlError e = q.lastError();
    return (e.databaseText().isEmpty() ? e.text() : e.databaseText()).trimmed();
}

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

bool writeDays(QSqlQuery &insert, const QVector<DayYield> &days, const DayFold &fold, QString *why)
{
    for (const DayYield &d : days) {
        insert.bindValue(0, d.address);
        insert.bindValue(1, d.day);
        insert.bindValue(2, d.generated);
        insert.bindValue(3, d.consumed);
        insert.bindValue(4, d.lowestVoltage);
        insert.bindValue(5, d.highestVoltage);
        insert.bindValue(6, d.samples);
        // Only the newest row goes on; the older ones keep what they had.
        const bool newest = d.day == fold.current().day;
        insert.bindValue(7, newest ? fold.lastTimeMs() : 0);
        insert.bindValue(8, newest ? fold.lastGenerated() : 0);
        insert.bindValue(9, newest ? fold.lastConsumed() : 0);
        if (!insert.exec()) {
            *why = errorText(insert);
            return false;
        }
    }
    return true;
}

bool prepareInsert(QSqlQuery &insert, QString *why)
{
    if (insert.prepare(QStringLiteral("INSERT OR REPLACE INTO day_yield(%1) VALUES(?,?,?,?,?,?,?,?,?,?)")
                           .arg(columns)))
        return true;
    *why = errorText(insert);
    return false;
}

} // namespace

bool DailyYield::record(const QString &connection, const QVector<LiveSample> &samples, QString *why)
{
    if (samples.isEmpty())
        return true;
    const QSqlDatabase db = QSqlDatabase::database(connection, false);
    QSqlQuery newest(db), insert(db);
    if (!newest.prepare(QStringLiteral("SELECT %1 FROM day_yield WHERE address=? ORDER BY day DESC LIMIT 1")
                            .arg(columns))) {
        *why = errorText(newest);
        return false;
    }
    if (!prepareInsert(insert, why))
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
        newest.bindValue(0, list.first()->address);
        if (!newest.exec()) {
            *why = errorText(newest);
            return false;
        }
        if (newest.next()) {
            DayYield d;
            d.address = newest.value(0).toInt();
            d.day = newest.value(1).toLongLong();
            d.generated = newest.value(2).toLongLong();
            d.consumed = newest.value(3).toLongLong();
            d.lowestVoltage = newest.value(4).toLongLong();
            d.highestVoltage = newest.value(5).toLongLong();
            d.samples = newest.value(6).toLongLong();
            fold.resume(d, newest.value(7).toLongLong(), newest.value(8).toLongLong(),
                        newest.value(9).toLongLong());
        }
        newest.finish();
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

bool DailyYield::rebuild(const QString &connection, QString *why)
{
    const QSqlDatabase db = QSqlDatabase::database(connection, false);
    QSqlQuery rows(db), insert(db);
    rows.setForwardOnly(true);
    if (!rows.exec(QStringLiteral(
            "SELECT d.address, s.time, s.utc_offset, s.batteryVoltage, s.generatedEnergyTotal,"
            " s.consumedEnergyTotal FROM sample s JOIN device d ON d.id = s.device"
            " ORDER BY d.address, s.time"))) {
        *why = errorText(rows);
        return false;
    }
    if (!prepareInsert(insert, why))
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
    while (rows.next()) {
        s.address = rows.value(0).toInt();
        if (s.address != address) {
            if (!finish())
                return false;
            fold = DayFold();
            address = s.address;
        }
        s.timeMs = rows.value(1).toLongLong();
        s.utcOffsetSeconds = rows.value(2).toInt();
        s.counts[BatteryVoltage] = rows.value(3).toLongLong();
        s.counts[GeneratedEnergyTotal] = rows.value(4).toLongLong();
        s.counts[ConsumedEnergyTotal] = rows.value(5).toLongLong();
        fold.add(s, &days);
        // Finished days are written as they come, not held for the whole file.
        if (!days.isEmpty()) {
            if (!writeDays(insert, days, fold, why))
                return false;
            days.clear();
        }
    }
    if (rows.lastError().isValid()) {
        *why = errorText(rows);
        return false;
    }
    return finish();
}

QVector<DayYield> DailyYield::read(HistoryStore &store, int address, qint64 firstDay, qint64 lastDay)
{
    QVector<DayYield> days;
    if (!store.isOpen())
        return days;
    QSqlQuery q(QSqlDatabase::database(store.connectionName(), false));
    QString sql = QStringLiteral("SELECT %1 FROM day_yield WHERE day BETWEEN ? AND ?").arg(columns);
    if (address >= 0)
        sql += QStringLiteral(" AND address=?");
    sql += QStringLiteral(" ORDER BY day, address");
    q.setForwardOnly(true);
    q.prepare(sql);
    q.addBindValue(firstDay);
    q.addBindValue(lastDay);
    if (address >= 0)
        q.addBindValue(address);
    if (!q.exec())
        return days;
    while (q.next()) {
        DayYield d;
        d.address = q.value(0).toInt();
        d.day = q.value(1).toLongLong();
        d.generated = q.value(2).toLongLong();
        d.consumed = q.value(3).toLongLong();
        d.lowestVoltage = q.value(4).toLongLong();
        d.highestVoltage = q.value(5).toLongLong();
        d.samples = q.value(6).toLongLong();
        days.append(d);
    }
    return days;
}
