#ifndef HISTORY_STORE_H
#define HISTORY_STORE_H

#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>
#include <functional>

#include "live_sample.h"
#include "recording_config.h"

struct sqlite3;
struct sqlite3_stmt;

// The recorded history of live samples in one SQLite file per user.
//
//   HistoryStore store;
//   if (!store.open(path))            // empty path: HistoryStore::defaultPath()
//       report(store.errorString());  // the caller goes on; append() then only counts
//   store.setIdentity(identity);      // rows that follow carry who answered
//   store.append(sample);             // batched: committed after N samples or T ms
//   store.readRange(from, to);        // or forEachInRange() to stream
//   store.flush();                    // also done by close() and the destructor
//
// A batch is one transaction in a WAL journal, so a crash or power cut loses
// at most the samples of the batch being gathered and never corrupts the file.
// Write failures (read-only file or directory, full disk) are reported through
// errorOccurred() once per failing spell; the samples that could not be written
// are kept for the next try up to a bound and then dropped, oldest first, and
// counted in lostSamples().
class HistoryStore : public QObject
{
    Q_OBJECT

public:
    static constexpr int SchemaVersion = 3;
    static constexpr int DefaultBatchSamples = 50;
    static constexpr int DefaultBatchMs = 5000;

    explicit HistoryStore(QObject *parent = nullptr);
    ~HistoryStore() override;

    // <XDG data dir>/solar-monitor/history.sqlite
    static QString defaultPath();

    bool open(const QString &path = QString());
    void close();
    bool isOpen() const { return m_open; }
    QString path() const { return m_path; }
    QString errorString() const { return m_error; }
    // For tests and tools that need a statement of their own on the open
    // file: runs sql (one or more statements, no rows), or reads the first
    // column of its first row.
    bool execute(const QString &sql, QString *why = nullptr);
    qint64 queryInteger(const QString &sql, bool *ok = nullptr);
    QString queryText(const QString &sql, bool *ok = nullptr);
    // The open connection, for the store's own parts (the daily figures).
    sqlite3 *handle() const { return m_db; }

    // A batch commits after samples appends or ms milliseconds, whichever comes first.
    void setBatchLimits(int samples, int ms);
    // Rows older than this are pruned at open and then once an hour; 0 keeps everything.
    void setRetentionDays(int days);
    int retentionDays() const { return m_retentionDays; }
    // Deletes rows older than beforeMs; returns how many, or -1 on error.
    qint64 prune(qint64 beforeMs);

    // Identity of whoever answers at identity.address; later samples refer to it.
    void setIdentity(const DeviceIdentity &identity);
    void append(const LiveSample &sample);
    // Commits what is gathered; false when the write failed (see errorString()).
    bool flush();

    int pendingSamples() const { return m_pending.size(); }
    qint64 lostSamples() const { return m_lost; }
    bool writeFailing() const { return m_failing; }

    // Samples with fromMs <= time <= toMs in time order, of every address or of one.
    QVector<LiveSample> readRange(qint64 fromMs, qint64 toMs, int address = -1);
    // Streams the same rows; visit returns false to stop. False on a read error.
    bool forEachInRange(qint64 fromMs, qint64 toMs,
                        const std::function<bool(const LiveSample &)> &visit, int address = -1);
    // The same rows with only the time and the named values read: cheaper
    // for a curve that needs five values of a week of rows.
    bool forEachValueInRange(qint64 fromMs, qint64 toMs, int address, const QVector<LiveValue> &values,
                             const std::function<bool(const LiveSample &)> &visit);
    qint64 countRange(qint64 fromMs, qint64 toMs, int address = -1);
    // Times of the first and last recorded sample; false when there is none.
    bool span(qint64 *firstMs, qint64 *lastMs);
    // The identity recorded with the newest sample of an address.
    DeviceIdentity identityAt(int address);

    // How far the samples of an address reached the broker: every sample up
    // to this time was delivered. Kept in the file, so a restarted logger
    // goes on where the last one stopped; -1 when none was ever marked.
    qint64 deliveredUpTo(int address);
    bool setDeliveredUpTo(int address, qint64 timeMs);

signals:
    void errorOccurred(const QString &text);
    // Writing works again after a failure.
    void writeRecovered();

private:
    bool migrate();
    sqlite3_stmt *selectRange(const QString &columns, qint64 fromMs, qint64 toMs, int address);
    bool prepareStatements();
    int deviceId(int address);
    int labelId(const QString &text);
    void fail(const QString &text);
    void pruneByRetention();

    sqlite3 *m_db = nullptr;
    QString m_path;
    QString m_error;
    bool m_open = false;
    bool m_failing = false;
    int m_batchSamples = DefaultBatchSamples;
    int m_batchMs = DefaultBatchMs;
    int m_retentionDays = 0;
    qint64 m_lost = 0;
    qint64 m_lastPruneMs = 0;
    QVector<LiveSample> m_pending;
    QHash<int, DeviceIdentity> m_identities;   // address -> identity to record
    QHash<int, int> m_deviceIds;               // address -> device row of that identity
    QHash<QString, int> m_labelIds;            // stage and PV-state texts
    QTimer m_batchTimer;
    struct Statements;
    Statements *m_sql = nullptr;
};

#endif
