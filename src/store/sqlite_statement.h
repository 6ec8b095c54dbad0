#ifndef SQLITE_STATEMENT_H
#define SQLITE_STATEMENT_H

#include <QByteArray>
#include <QString>
#include <sqlite3.h>

// A prepared statement of the store's connection, finalized when it goes.
// Internal to the store: nothing outside src/store speaks SQLite.
class SqliteStatement
{
public:
    SqliteStatement() = default;
    SqliteStatement(sqlite3 *db, const QString &sql) { prepare(db, sql); }
    ~SqliteStatement() { sqlite3_finalize(m_stmt); }
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    bool prepare(sqlite3 *db, const QString &sql)
    {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        m_db = db;
        const QByteArray utf8 = sql.toUtf8();
        return db && sqlite3_prepare_v2(db, utf8.constData(), utf8.size(), &m_stmt, nullptr) == SQLITE_OK;
    }
    bool isValid() const { return m_stmt != nullptr; }
    sqlite3_stmt *get() const { return m_stmt; }

    // Binds by position, from 1.
    void bind(int i, qint64 v) { sqlite3_bind_int64(m_stmt, i, v); }
    void bind(int i, const QString &text)
    {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(m_stmt, i, utf8.constData(), utf8.size(), SQLITE_TRANSIENT);
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int step() { return sqlite3_step(m_stmt); }
    // Runs a statement that returns no rows; ready to be bound and run again.
    bool run()
    {
        const int rc = sqlite3_step(m_stmt);
        sqlite3_reset(m_stmt);
        return rc == SQLITE_DONE || rc == SQLITE_ROW;
    }
    void reset() { sqlite3_reset(m_stmt); }
    qint64 int64(int col) const { return sqlite3_column_int64(m_stmt, col); }
    int integer(int col) const { return sqlite3_column_int(m_stmt, col); }
    QString text(int col) const
    {
        return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, col)),
                                 sqlite3_column_bytes(m_stmt, col));
    }
    bool isNull(int col) const { return sqlite3_column_type(m_stmt, col) == SQLITE_NULL; }
    QString error() const { return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString(); }

private:
    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_stmt = nullptr;
};

#endif
