#include "history_store.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>
#include <sqlite3.h>

#include "daily_yield.h"

namespace {

// A write failure keeps this many samples for the next try; beyond it the
// oldest go first. About 20 minutes of polling.
constexpr int MaxPendingSamples = 20000;
constexpr qint64 PruneIntervalMs = 3600 * 1000;

QAtomicInt connectionCounter;

QString columnList()
{
    QString columns = QStringLiteral("time, device, utc_offset");
    for (const LiveField &field : liveFields)
        columns += QStringLiteral(", ") + QLatin1String(field.key);
    columns += QStringLiteral(", status, stage, pv_state");
    return columns;
}

constexpr int FirstValueColumn = 3;
constexpr int StatusColumn = FirstValueColumn + LiveValueCount;

QString sqlError(const QSqlError &error)
{
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return text.trimmed();
}

} // namespace

struct HistoryStore::Statements
{
    explicit Statements(const QSqlDatabase &db) : insert(db), device(db), label(db) {}
    QSqlQuery insert;
    QSqlQuery device;
    QSqlQuery label;
};

HistoryStore::HistoryStore(QObject *parent) : QObject(parent)
{
    m_connection = QStringLiteral("solar-history-%1").arg(connectionCounter.fetchAndAddRelaxed(1));
    m_batchTimer.setSingleShot(true);
    connect(&m_batchTimer, &QTimer::timeout, this, [this] { flush(); });
}

HistoryStore::~HistoryStore()
{
    close();
}

QString HistoryStore::defaultPath()
{
    return defaultHistoryPath();
}

bool HistoryStore::open(const QString &path)
{
    close();
    m_path = path.isEmpty() ? defaultPath() : path;
    m_error.clear();
    m_failing = false;

    const QFileInfo info(m_path);
    if (!QDir().mkpath(info.absolutePath())) {
        fail(tr("History folder %1 cannot be created").arg(info.absolutePath()));
        return false;
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        db.setDatabaseName(m_path);
        // The window and the logger may record into the same file.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open()) {
            fail(tr("History file %1 cannot be opened: %2").arg(m_path, sqlError(db.lastError())));
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_connection);
            return false;
        }
    }
    m_open = true;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    // FULL syncs the journal at each commit: a power cut then loses at most the
    // batch being gathered. WAL keeps readers (export, curve view) off the writer.
    const bool ok = q.exec(QStringLiteral("PRAGMA journal_mode=WAL")) && q.next()
                    && q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0
                    && q.exec(QStringLiteral("PRAGMA synchronous=FULL"))
                    && q.exec(QStringLiteral("PRAGMA foreign_keys=OFF"));
    if (!ok || !migrate() || !prepareStatements()) {
        const QString why = m_error.isEmpty() ? sqlError(q.lastError()) : m_error;
        m_error.clear();
        close();
        fail(tr("History file %1 cannot be written: %2").arg(m_path, why));
        return false;
    }
    pruneByRetention();
    return true;
}

bool HistoryStore::migrate()
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next()) {
        m_error = sqlError(q.lastError());
        return false;
    }
    int version = q.value(0).toInt();
    q.finish();
    if (version > SchemaVersion) {
        m_error = tr("it was written by a newer version (schema %1)").arg(version);
        return false;
    }
    // Each step takes the file from version i to i + 1 inside one transaction;
    // a later schema adds its step here.
    static const QStringList steps[] = {
        {
            QStringLiteral("CREATE TABLE device(id INTEGER PRIMARY KEY, address INTEGER NOT NULL,"
                           " model TEXT NOT NULL, serial TEXT NOT NULL, version TEXT NOT NULL,"
                           " factory TEXT NOT NULL,"
                           " UNIQUE(address, model, serial, version, factory))"),
            QStringLiteral("CREATE TABLE label(id INTEGER PRIMARY KEY, text TEXT NOT NULL UNIQUE)"),
            // Keyed by time: the rows are the time index, with no rowid beside it.
            [] {
                QString sql = QStringLiteral("CREATE TABLE sample(time INTEGER NOT NULL,"
                                             " device INTEGER NOT NULL, utc_offset INTEGER NOT NULL");
                for (const LiveField &field : liveFields)
                    sql += QStringLiteral(", %1 INTEGER NOT NULL").arg(QLatin1String(field.key));
                sql += QStringLiteral(", status INTEGER NOT NULL, stage INTEGER NOT NULL,"
                                      " pv_state INTEGER NOT NULL,"
                                      " PRIMARY KEY(time, device)) WITHOUT ROWID");
                return sql;
            }(),
        },
        DailyYield::schema(),
    };
    while (version < SchemaVersion) {
        if (!db.transaction()) {
            m_error = sqlError(db.lastError());
            return false;
        }
        for (const QString &sql : steps[version]) {
            if (!q.exec(sql)) {
                m_error = sqlError(q.lastError());
                db.rollback();
                return false;
            }
        }
        // Files recorded before the days were kept get theirs from the samples.
        if (version == 1 && !DailyYield::rebuild(m_connection, &m_error)) {
            db.rollback();
            return false;
        }
        ++version;
        if (!q.exec(QStringLiteral("PRAGMA user_version=%1").arg(version)) || !db.commit()) {
            m_error = sqlError(q.lastError().isValid() ? q.lastError() : db.lastError());
            db.rollback();
            return false;
        }
    }
    // Proves the file takes writes now rather than at the first batch.
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")) || !q.exec(QStringLiteral("COMMIT"))) {
        m_error = sqlError(q.lastError());
        return false;
    }
    return true;
}

bool HistoryStore::prepareStatements()
{
    m_sql = new Statements(QSqlDatabase::database(m_connection, false));
    QString marks = QStringLiteral("?");
    for (int i = 1; i < StatusColumn + 3; ++i)
        marks += QStringLiteral(",?");
    const bool ok =
        m_sql->insert.prepare(QStringLiteral("INSERT OR REPLACE INTO sample(%1) VALUES(%2)")
                                  .arg(columnList(), marks))
        && m_sql->device.prepare(QStringLiteral(
            "INSERT OR IGNORE INTO device(address, model, serial, version, factory) VALUES(?,?,?,?,?)"))
        && m_sql->label.prepare(QStringLiteral("INSERT OR IGNORE INTO label(text) VALUES(?)"));
    if (!ok)
        m_error = sqlError(m_sql->insert.lastError());
    return ok;
}

void HistoryStore::close()
{
    if (m_open)
        flush();
    m_batchTimer.stop();
    delete m_sql;
    m_sql = nullptr;
    m_deviceIds.clear();
    m_labelIds.clear();
    if (QSqlDatabase::contains(m_connection)) {
        QSqlDatabase::database(m_connection, false).close();
        QSqlDatabase::removeDatabase(m_connection);
    }
    m_open = false;
}

void HistoryStore::setBatchLimits(int samples, int ms)
{
    m_batchSamples = qMax(1, samples);
    m_batchMs = qMax(0, ms);
}

void HistoryStore::setRetentionDays(int days)
{
    m_retentionDays = qMax(0, days);
    m_lastPruneMs = 0;
    if (m_open)
        pruneByRetention();
}

void HistoryStore::pruneByRetention()
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (m_retentionDays <= 0 || now - m_lastPruneMs < PruneIntervalMs)
        return;
    m_lastPruneMs = now;
    prune(now - qint64(m_retentionDays) * 86400 * 1000);
}

qint64 HistoryStore::prune(qint64 beforeMs)
{
    if (!m_open)
        return -1;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("DELETE FROM sample WHERE time < ?"));
    q.addBindValue(beforeMs);
    if (!q.exec()) {
        fail(tr("History file %1: pruning failed: %2").arg(m_path, sqlError(q.lastError())));
        return -1;
    }
    return q.numRowsAffected();
}

void HistoryStore::setIdentity(const DeviceIdentity &identity)
{
    // Samples gathered so far belong to whoever answered before.
    flush();
    m_identities.insert(identity.address, identity);
    m_deviceIds.remove(identity.address);
}

void HistoryStore::append(const LiveSample &sample)
{
    if (!m_open) {
        ++m_lost;
        return;
    }
    if (m_pending.size() >= MaxPendingSamples) {
        m_pending.removeFirst();
        ++m_lost;
    }
    m_pending.append(sample);
    if (m_pending.size() >= m_batchSamples && !m_failing)
        flush();
    else if (!m_batchTimer.isActive())
        m_batchTimer.start(m_batchMs);
}

int HistoryStore::deviceId(int address)
{
    const auto cached = m_deviceIds.constFind(address);
    if (cached != m_deviceIds.constEnd())
        return *cached;
    const DeviceIdentity identity = m_identities.value(address);
    QSqlQuery &q = m_sql->device;
    q.bindValue(0, address);
    q.bindValue(1, identity.model.isNull() ? QStringLiteral("") : identity.model);
    q.bindValue(2, identity.serialNumber.isNull() ? QStringLiteral("") : identity.serialNumber);
    q.bindValue(3, identity.version.isNull() ? QStringLiteral("") : identity.version);
    q.bindValue(4, identity.factoryInfo.isNull() ? QStringLiteral("") : identity.factoryInfo);
    if (!q.exec())
        return -1;
    QSqlQuery find(QSqlDatabase::database(m_connection, false));
    find.prepare(QStringLiteral("SELECT id FROM device WHERE address=? AND model=? AND serial=?"
                                " AND version=? AND factory=?"));
    for (int i = 0; i < 5; ++i)
        find.addBindValue(q.boundValue(i));
    if (!find.exec() || !find.next())
        return -1;
    const int id = find.value(0).toInt();
    m_deviceIds.insert(address, id);
    return id;
}

int HistoryStore::labelId(const QString &text)
{
    const auto cached = m_labelIds.constFind(text);
    if (cached != m_labelIds.constEnd())
        return *cached;
    const QString value = text.isNull() ? QStringLiteral("") : text;
    m_sql->label.bindValue(0, value);
    if (!m_sql->label.exec())
        return -1;
    QSqlQuery find(QSqlDatabase::database(m_connection, false));
    find.prepare(QStringLiteral("SELECT id FROM label WHERE text=?"));
    find.addBindValue(value);
    if (!find.exec() || !find.next())
        return -1;
    const int id = find.value(0).toInt();
    m_labelIds.insert(text, id);
    return id;
}

bool HistoryStore::flush()
{
    m_batchTimer.stop();
    if (m_pending.isEmpty() || !m_open)
        return m_open;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QString why;
    if (!db.transaction()) {
        why = sqlError(db.lastError());
    } else {
        QSqlQuery &q = m_sql->insert;
        for (const LiveSample &s : qAsConst(m_pending)) {
            const int device = deviceId(s.address);
            const int stage = device < 0 ? -1 : labelId(s.chargeStageText);
            const int pvState = stage < 0 ? -1 : labelId(s.pvStateText);
            if (pvState < 0) {
                why = sqlError(m_sql->device.lastError().isValid() ? m_sql->device.lastError()
                                                                    : m_sql->label.lastError());
                break;
            }
            q.bindValue(0, s.timeMs);
            q.bindValue(1, device);
            q.bindValue(2, s.utcOffsetSeconds);
            for (int v = 0; v < LiveValueCount; ++v)
                q.bindValue(FirstValueColumn + v, s.counts[v]);
            q.bindValue(StatusColumn, qint64(s.statusWord));
            q.bindValue(StatusColumn + 1, stage);
            q.bindValue(StatusColumn + 2, pvState);
            if (!q.exec()) {
                why = sqlError(q.lastError());
                break;
            }
        }
        if (why.isEmpty())
            DailyYield::record(m_connection, m_pending, &why);
        if (why.isEmpty() && !db.commit())
            why = sqlError(db.lastError());
        if (!why.isEmpty()) {
            db.rollback();
            // Ids handed out inside the rolled-back transaction are gone.
            m_deviceIds.clear();
            m_labelIds.clear();
        }
    }
    if (!why.isEmpty()) {
        fail(tr("History file %1 cannot be written: %2").arg(m_path, why));
        m_batchTimer.start(qMax(m_batchMs, 1000));   // try again later, not at every sample
        return false;
    }
    m_pending.clear();
    if (m_failing) {
        m_failing = false;
        m_error.clear();
        emit writeRecovered();
    }
    pruneByRetention();
    return true;
}

void HistoryStore::fail(const QString &text)
{
    const bool first = !m_failing || m_error != text;
    m_failing = true;
    m_error = text;
    if (first)
        emit errorOccurred(text);
}

sqlite3_stmt *HistoryStore::selectRange(const QString &columns, qint64 fromMs, qint64 toMs, int address)
{
    QString sql = QStringLiteral("SELECT %1 FROM sample WHERE time BETWEEN ? AND ?").arg(columns);
    if (address >= 0)
        sql += QStringLiteral(" AND device IN (SELECT id FROM device WHERE address=?)");
    sql += QStringLiteral(" ORDER BY time, device");
    // A day is some 55 000 rows: QSqlQuery would make a QVariant of every
    // column of each, so the rows are stepped through SQLite itself, on the
    // connection Qt SQL opened.
    const QVariant handle = QSqlDatabase::database(m_connection, false).driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    sqlite3 *connection = *static_cast<sqlite3 *const *>(handle.data());
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt *stmt = nullptr;
    if (!connection || sqlite3_prepare_v2(connection, utf8.constData(), utf8.size(), &stmt, nullptr) != SQLITE_OK)
        return nullptr;
    sqlite3_bind_int64(stmt, 1, fromMs);
    sqlite3_bind_int64(stmt, 2, toMs);
    if (address >= 0)
        sqlite3_bind_int(stmt, 3, address);
    return stmt;
}

bool HistoryStore::forEachInRange(qint64 fromMs, qint64 toMs,
                                  const std::function<bool(const LiveSample &)> &visit, int address)
{
    if (!m_open)
        return false;
    QHash<int, int> addresses;
    QHash<int, QString> labels;
    {
        QSqlQuery q(QSqlDatabase::database(m_connection, false));
        q.setForwardOnly(true);
        if (!q.exec(QStringLiteral("SELECT id, address FROM device")))
            return false;
        while (q.next())
            addresses.insert(q.value(0).toInt(), q.value(1).toInt());
        if (!q.exec(QStringLiteral("SELECT id, text FROM label")))
            return false;
        while (q.next())
            labels.insert(q.value(0).toInt(), q.value(1).toString());
    }
    sqlite3_stmt *stmt = selectRange(columnList(), fromMs, toMs, address);
    if (!stmt)
        return false;
    LiveSample s;
    int device = -1, stage = -1, pvState = -1;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        s.timeMs = sqlite3_column_int64(stmt, 0);
        const int d = sqlite3_column_int(stmt, 1);
        if (d != device)
            s.address = addresses.value(device = d);
        s.utcOffsetSeconds = sqlite3_column_int(stmt, 2);
        for (int v = 0; v < LiveValueCount; ++v)
            s.counts[v] = sqlite3_column_int64(stmt, FirstValueColumn + v);
        s.statusWord = quint32(sqlite3_column_int64(stmt, StatusColumn));
        const int st = sqlite3_column_int(stmt, StatusColumn + 1);
        if (st != stage)
            s.chargeStageText = labels.value(stage = st);
        const int pv = sqlite3_column_int(stmt, StatusColumn + 2);
        if (pv != pvState)
            s.pvStateText = labels.value(pvState = pv);
        if (!visit(s)) {
            rc = SQLITE_DONE;
            break;
        }
    }
    sqlite3_finalize(stmt);
    return rc == SQLITE_DONE;
}

bool HistoryStore::forEachValueInRange(qint64 fromMs, qint64 toMs, int address,
                                       const QVector<LiveValue> &values,
                                       const std::function<bool(const LiveSample &)> &visit)
{
    if (!m_open)
        return false;
    QString columns = QStringLiteral("time");
    for (LiveValue v : values)
        columns += QStringLiteral(", ") + QLatin1String(liveFields[v].key);
    sqlite3_stmt *stmt = selectRange(columns, fromMs, toMs, address);
    if (!stmt)
        return false;
    LiveSample s;
    s.address = address;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        s.timeMs = sqlite3_column_int64(stmt, 0);
        for (int i = 0; i < values.size(); ++i)
            s.counts[values[i]] = sqlite3_column_int64(stmt, 1 + i);
        if (!visit(s)) {
            rc = SQLITE_DONE;
            break;
        }
    }
    sqlite3_finalize(stmt);
    return rc == SQLITE_DONE;
}

QVector<LiveSample> HistoryStore::readRange(qint64 fromMs, qint64 toMs, int address)
{
    QVector<LiveSample> rows;
    forEachInRange(fromMs, toMs, [&rows](const LiveSample &s) {
        rows.append(s);
        return true;
    }, address);
    return rows;
}

qint64 HistoryStore::countRange(qint64 fromMs, qint64 toMs, int address)
{
    if (!m_open)
        return 0;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    QString sql = QStringLiteral("SELECT count(*) FROM sample WHERE time BETWEEN ? AND ?");
    if (address >= 0)
        sql += QStringLiteral(" AND device IN (SELECT id FROM device WHERE address=?)");
    q.prepare(sql);
    q.addBindValue(fromMs);
    q.addBindValue(toMs);
    if (address >= 0)
        q.addBindValue(address);
    return q.exec() && q.next() ? q.value(0).toLongLong() : 0;
}

bool HistoryStore::span(qint64 *firstMs, qint64 *lastMs)
{
    if (!m_open)
        return false;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (!q.exec(QStringLiteral("SELECT min(time), max(time) FROM sample")) || !q.next()
        || q.value(0).isNull())
        return false;
    *firstMs = q.value(0).toLongLong();
    *lastMs = q.value(1).toLongLong();
    return true;
}

DeviceIdentity HistoryStore::identityAt(int address)
{
    DeviceIdentity identity;
    identity.address = address;
    if (!m_open)
        return identity;
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("SELECT model, serial, version, factory FROM device WHERE address=?"
                             " ORDER BY id DESC LIMIT 1"));
    q.addBindValue(address);
    if (q.exec() && q.next()) {
        identity.model = q.value(0).toString();
        identity.serialNumber = q.value(1).toString();
        identity.version = q.value(2).toString();
        identity.factoryInfo = q.value(3).toString();
    }
    return identity;
}
