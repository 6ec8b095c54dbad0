#include "history_store.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "daily_yield.h"
#include "sqlite_statement.h"

namespace {

// A write failure keeps this many samples for the next try; beyond it the
// oldest go first. About 20 minutes of polling.
constexpr int MaxPendingSamples = 20000;
constexpr qint64 PruneIntervalMs = 3600 * 1000;

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

// One statement or several, no rows wanted; the reason in *why on failure.
bool execSql(sqlite3 *db, const QString &sql, QString *why)
{
    char *message = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    if (why)
        *why = QString::fromUtf8(message ? message : sqlite3_errmsg(db)).trimmed();
    sqlite3_free(message);
    return false;
}

QString lastError(sqlite3 *db)
{
    return QString::fromUtf8(sqlite3_errmsg(db)).trimmed();
}

} // namespace

struct HistoryStore::Statements
{
    SqliteStatement insert;
    SqliteStatement device;
    SqliteStatement findDevice;
    SqliteStatement label;
    SqliteStatement findLabel;
};

HistoryStore::HistoryStore(QObject *parent) : QObject(parent)
{
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
    const int rc = sqlite3_open_v2(QFile::encodeName(m_path).constData(), &m_db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        const QString why = m_db ? lastError(m_db) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(m_db);
        m_db = nullptr;
        fail(tr("History file %1 cannot be opened: %2").arg(m_path, why));
        return false;
    }
    // The window and the logger may record into the same file.
    sqlite3_busy_timeout(m_db, 5000);
    m_open = true;
    // FULL syncs the journal at each commit: a power cut then loses at most the
    // batch being gathered. WAL keeps readers (export, curve view) off the writer.
    QString why;
    SqliteStatement journal(m_db, QStringLiteral("PRAGMA journal_mode=WAL"));
    const bool wal = journal.step() == SQLITE_ROW
                     && journal.text(0).compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0;
    if (!wal)
        why = lastError(m_db);
    journal.reset();
    const bool ok = wal && execSql(m_db, QStringLiteral("PRAGMA synchronous=FULL; PRAGMA foreign_keys=OFF"), &why);
    if (!ok || !migrate() || !prepareStatements()) {
        if (!m_error.isEmpty())
            why = m_error;
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
    int version = 0;
    {
        SqliteStatement q(m_db, QStringLiteral("PRAGMA user_version"));
        if (q.step() != SQLITE_ROW) {
            m_error = lastError(m_db);
            return false;
        }
        version = q.integer(0);
    }
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
        {QStringLiteral("CREATE TABLE IF NOT EXISTS delivery(address INTEGER PRIMARY KEY, time INTEGER NOT NULL)")},
    };
    while (version < SchemaVersion) {
        if (!execSql(m_db, QStringLiteral("BEGIN"), &m_error))
            return false;
        bool ok = true;
        for (const QString &sql : steps[version])
            ok = ok && execSql(m_db, sql, &m_error);
        // Files recorded before the days were kept get theirs from the samples.
        if (ok && version == 1)
            ok = DailyYield::rebuild(m_db, &m_error);
        ++version;
        ok = ok && execSql(m_db, QStringLiteral("PRAGMA user_version=%1").arg(version), &m_error)
             && execSql(m_db, QStringLiteral("COMMIT"), &m_error);
        if (!ok) {
            execSql(m_db, QStringLiteral("ROLLBACK"), nullptr);
            return false;
        }
    }
    // Proves the file takes writes now rather than at the first batch.
    return execSql(m_db, QStringLiteral("BEGIN IMMEDIATE; COMMIT"), &m_error);
}

bool HistoryStore::prepareStatements()
{
    m_sql = new Statements;
    QString marks = QStringLiteral("?");
    for (int i = 1; i < StatusColumn + 3; ++i)
        marks += QStringLiteral(",?");
    const bool ok =
        m_sql->insert.prepare(m_db, QStringLiteral("INSERT OR REPLACE INTO sample(%1) VALUES(%2)")
                                        .arg(columnList(), marks))
        && m_sql->device.prepare(m_db, QStringLiteral("INSERT OR IGNORE INTO device(address, model, serial,"
                                                      " version, factory) VALUES(?,?,?,?,?)"))
        && m_sql->findDevice.prepare(m_db, QStringLiteral("SELECT id FROM device WHERE address=? AND model=?"
                                                          " AND serial=? AND version=? AND factory=?"))
        && m_sql->label.prepare(m_db, QStringLiteral("INSERT OR IGNORE INTO label(text) VALUES(?)"))
        && m_sql->findLabel.prepare(m_db, QStringLiteral("SELECT id FROM label WHERE text=?"));
    if (!ok)
        m_error = lastError(m_db);
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
    sqlite3_close_v2(m_db);   // goes once the last statement is finalized
    m_db = nullptr;
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
    SqliteStatement q(m_db, QStringLiteral("DELETE FROM sample WHERE time < ?"));
    q.bind(1, beforeMs);
    if (!q.isValid() || !q.run()) {
        fail(tr("History file %1: pruning failed: %2").arg(m_path, lastError(m_db)));
        return -1;
    }
    return sqlite3_changes(m_db);
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
    const QString fields[] = {identity.model, identity.serialNumber, identity.version, identity.factoryInfo};
    for (SqliteStatement *q : {&m_sql->device, &m_sql->findDevice}) {
        q->bind(1, address);
        for (int i = 0; i < 4; ++i)
            q->bind(2 + i, fields[i]);
    }
    if (!m_sql->device.run())
        return -1;
    const int id = m_sql->findDevice.step() == SQLITE_ROW ? m_sql->findDevice.integer(0) : -1;
    m_sql->findDevice.reset();
    if (id >= 0)
        m_deviceIds.insert(address, id);
    return id;
}

int HistoryStore::labelId(const QString &text)
{
    const auto cached = m_labelIds.constFind(text);
    if (cached != m_labelIds.constEnd())
        return *cached;
    m_sql->label.bind(1, text);
    m_sql->findLabel.bind(1, text);
    if (!m_sql->label.run())
        return -1;
    const int id = m_sql->findLabel.step() == SQLITE_ROW ? m_sql->findLabel.integer(0) : -1;
    m_sql->findLabel.reset();
    if (id >= 0)
        m_labelIds.insert(text, id);
    return id;
}

bool HistoryStore::flush()
{
    m_batchTimer.stop();
    if (m_pending.isEmpty() || !m_open)
        return m_open;
    QString why;
    if (execSql(m_db, QStringLiteral("BEGIN"), &why)) {
        SqliteStatement &q = m_sql->insert;
        for (const LiveSample &s : qAsConst(m_pending)) {
            const int device = deviceId(s.address);
            const int stage = device < 0 ? -1 : labelId(s.chargeStageText);
            const int pvState = stage < 0 ? -1 : labelId(s.pvStateText);
            if (pvState < 0) {
                why = lastError(m_db);
                break;
            }
            q.bind(1, s.timeMs);
            q.bind(2, device);
            q.bind(3, s.utcOffsetSeconds);
            for (int v = 0; v < LiveValueCount; ++v)
                q.bind(1 + FirstValueColumn + v, s.counts[v]);
            q.bind(1 + StatusColumn, qint64(s.statusWord));
            q.bind(2 + StatusColumn, stage);
            q.bind(3 + StatusColumn, pvState);
            if (!q.run()) {
                why = lastError(m_db);
                break;
            }
        }
        if (why.isEmpty())
            DailyYield::record(m_db, m_pending, &why);
        if (why.isEmpty())
            execSql(m_db, QStringLiteral("COMMIT"), &why);
        if (!why.isEmpty()) {
            execSql(m_db, QStringLiteral("ROLLBACK"), nullptr);
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
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(m_db, utf8.constData(), utf8.size(), &stmt, nullptr) != SQLITE_OK)
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
        SqliteStatement devices(m_db, QStringLiteral("SELECT id, address FROM device"));
        SqliteStatement texts(m_db, QStringLiteral("SELECT id, text FROM label"));
        if (!devices.isValid() || !texts.isValid())
            return false;
        int rc;
        while ((rc = devices.step()) == SQLITE_ROW)
            addresses.insert(devices.integer(0), devices.integer(1));
        if (rc != SQLITE_DONE)
            return false;
        while ((rc = texts.step()) == SQLITE_ROW)
            labels.insert(texts.integer(0), texts.text(1));
        if (rc != SQLITE_DONE)
            return false;
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
    QString sql = QStringLiteral("SELECT count(*) FROM sample WHERE time BETWEEN ? AND ?");
    if (address >= 0)
        sql += QStringLiteral(" AND device IN (SELECT id FROM device WHERE address=?)");
    SqliteStatement q(m_db, sql);
    q.bind(1, fromMs);
    q.bind(2, toMs);
    if (address >= 0)
        q.bind(3, address);
    return q.isValid() && q.step() == SQLITE_ROW ? q.int64(0) : 0;
}

bool HistoryStore::span(qint64 *firstMs, qint64 *lastMs)
{
    if (!m_open)
        return false;
    SqliteStatement q(m_db, QStringLiteral("SELECT min(time), max(time) FROM sample"));
    if (!q.isValid() || q.step() != SQLITE_ROW || q.isNull(0))
        return false;
    *firstMs = q.int64(0);
    *lastMs = q.int64(1);
    return true;
}

DeviceIdentity HistoryStore::identityAt(int address)
{
    DeviceIdentity identity;
    identity.address = address;
    if (!m_open)
        return identity;
    SqliteStatement q(m_db, QStringLiteral("SELECT model, serial, version, factory FROM device WHERE address=?"
                                           " ORDER BY id DESC LIMIT 1"));
    q.bind(1, address);
    if (q.isValid() && q.step() == SQLITE_ROW) {
        identity.model = q.text(0);
        identity.serialNumber = q.text(1);
        identity.version = q.text(2);
        identity.factoryInfo = q.text(3);
    }
    return identity;
}

qint64 HistoryStore::deliveredUpTo(int address)
{
    if (!m_open)
        return -1;
    SqliteStatement q(m_db, QStringLiteral("SELECT time FROM delivery WHERE address=?"));
    q.bind(1, address);
    return q.isValid() && q.step() == SQLITE_ROW ? q.int64(0) : -1;
}

bool HistoryStore::setDeliveredUpTo(int address, qint64 timeMs)
{
    if (!m_open)
        return false;
    SqliteStatement q(m_db, QStringLiteral("INSERT OR REPLACE INTO delivery(address, time) VALUES(?,?)"));
    q.bind(1, address);
    q.bind(2, timeMs);
    return q.isValid() && q.run();
}

bool HistoryStore::execute(const QString &sql, QString *why)
{
    if (!m_open) {
        if (why)
            *why = tr("not open");
        return false;
    }
    return execSql(m_db, sql, why);
}

qint64 HistoryStore::queryInteger(const QString &sql, bool *ok)
{
    SqliteStatement q(m_open ? m_db : nullptr, sql);
    const bool row = q.isValid() && q.step() == SQLITE_ROW;
    if (ok)
        *ok = row;
    return row ? q.int64(0) : 0;
}

QString HistoryStore::queryText(const QString &sql, bool *ok)
{
    SqliteStatement q(m_open ? m_db : nullptr, sql);
    const bool row = q.isValid() && q.step() == SQLITE_ROW;
    if (ok)
        *ok = row;
    return row ? q.text(0) : QString();
}
