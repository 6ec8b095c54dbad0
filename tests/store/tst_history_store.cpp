// The history store on a real SQLite file: what survives a restart and a
// killed writer, batching, failures that must not stop the caller, retention
// and schema versions.
#include <QProcess>
#include <QSignalSpy>
#include <sqlite3.h>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include "history_store.h"
#include "config_file.h"

class TstHistoryStore : public QObject
{
    Q_OBJECT

private slots:
    void restartKeepsSamplesAndIdentity();
    void batchCommitsAfterCountOrTime();
    void killedWriterLosesAtMostOneBatch();
    void readOnlyFileReportedAppendsGoOn();
    void fullDiskReportedThenRecovered();
    void rangeByTimeAndAddressAndPrune();
    void schemaVersion();
    void recordConfig();
};

namespace {

LiveSample sampleAt(qint64 timeMs, int address, qint64 seed)
{
    LiveSample s;
    s.timeMs = timeMs;
    s.utcOffsetSeconds = 3600;
    s.address = address;
    for (int v = 0; v < LiveValueCount; ++v)
        s.counts[v] = seed * 7 + v - (v == BatteryCurrent ? 500 : 0);
    s.statusWord = quint32(seed) & 0x7FF;
    s.chargeStageText = seed % 2 ? QStringLiteral("Float") : QStringLiteral("MPPT");
    s.pvStateText = QStringLiteral("Generating");
    return s;
}

void compareSamples(const LiveSample &a, const LiveSample &b)
{
    QCOMPARE(a.timeMs, b.timeMs);
    QCOMPARE(a.utcOffsetSeconds, b.utcOffsetSeconds);
    QCOMPARE(a.address, b.address);
    for (int v = 0; v < LiveValueCount; ++v)
        QCOMPARE(a.counts[v], b.counts[v]);
    QCOMPARE(a.statusWord, b.statusWord);
    QCOMPARE(a.chargeStageText, b.chargeStageText);
    QCOMPARE(a.pvStateText, b.pvStateText);
}

qint64 rowsInFile(const QString &path, QString *integrity = nullptr)
{
    // A connection of its own, beside whatever store has the file open.
    qint64 rows = -1;
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, 5000);
        auto first = [db](const char *sql, auto take) {
            sqlite3_stmt *stmt = nullptr;
            if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
                take(stmt);
            sqlite3_finalize(stmt);
        };
        if (integrity)
            first("PRAGMA integrity_check", [integrity](sqlite3_stmt *s) {
                *integrity = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(s, 0)));
            });
        first("SELECT count(*) FROM sample", [&rows](sqlite3_stmt *s) { rows = sqlite3_column_int64(s, 0); });
    }
    sqlite3_close(db);
    return rows;
}

} // namespace

void TstHistoryStore::restartKeepsSamplesAndIdentity()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sub/history.sqlite"));
    QVector<LiveSample> written;
    {
        HistoryStore store;
        QVERIFY2(store.open(path), qPrintable(store.errorString()));
        DeviceIdentity id;
        id.address = 3;
        id.model = QStringLiteral("MPPT-40A");
        id.serialNumber = QStringLiteral("SN0042");
        id.version = QStringLiteral("HRV1.2,SFV3.4");
        store.setIdentity(id);
        for (int i = 0; i < 7; ++i) {
            written.append(sampleAt(1700000000000 + i * 1500, 3, i));
            store.append(written.last());
        }
        QCOMPARE(store.pendingSamples(), 7);   // below the batch size: gathered, not written
    }   // destruction commits
    HistoryStore store;
    QVERIFY(store.open(path));
    const QVector<LiveSample> read = store.readRange(0, std::numeric_limits<qint64>::max());
    QCOMPARE(read.size(), written.size());
    for (int i = 0; i < read.size(); ++i)
        compareSamples(read.at(i), written.at(i));
    const DeviceIdentity id = store.identityAt(3);
    QCOMPARE(id.serialNumber, QStringLiteral("SN0042"));
    QCOMPARE(id.version, QStringLiteral("HRV1.2,SFV3.4"));
    qint64 first = 0, last = 0;
    QVERIFY(store.span(&first, &last));
    QCOMPARE(first, written.first().timeMs);
    QCOMPARE(last, written.last().timeMs);
}

void TstHistoryStore::batchCommitsAfterCountOrTime()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("h.sqlite"));
    HistoryStore store;
    store.setBatchLimits(3, 80);
    QVERIFY(store.open(path));
    store.append(sampleAt(1000, 1, 1));
    store.append(sampleAt(2000, 1, 2));
    QCOMPARE(rowsInFile(path), qint64(0));   // another reader sees only committed batches
    store.append(sampleAt(3000, 1, 3));
    QCOMPARE(rowsInFile(path), qint64(3));
    store.append(sampleAt(4000, 1, 4));
    QCOMPARE(rowsInFile(path), qint64(3));
    QTRY_COMPARE_WITH_TIMEOUT(rowsInFile(path), qint64(4), 2000);
    QCOMPARE(store.pendingSamples(), 0);
}

void TstHistoryStore::killedWriterLosesAtMostOneBatch()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("h.sqlite"));
    const int batch = 25;
    QProcess writer;
    writer.start(QStringLiteral(HISTORY_WRITER_EXE), {path, QString::number(batch)});
    QVERIFY(writer.waitForStarted());
    qint64 lastAppended = -1;
    QByteArray out;
    QElapsedTimer t;
    t.start();
    // Kill it at some sample in the middle of a batch, several batches in.
    while (lastAppended < 40 * batch && t.elapsed() < 20000) {
        writer.waitForReadyRead(200);
        out += writer.readAllStandardOutput();
        const int end = out.lastIndexOf('\n');
        if (end > 0) {
            const int start = out.lastIndexOf('\n', end - 1) + 1;
            lastAppended = out.mid(start, end - start).toLongLong();
        }
    }
    ::kill(pid_t(writer.processId()), SIGKILL);
    QVERIFY(writer.waitForFinished());
    out += writer.readAllStandardOutput();
    lastAppended = out.trimmed().split('\n').last().toLongLong();
    QVERIFY(lastAppended >= 40 * batch);

    QString integrity;
    const qint64 rows = rowsInFile(path, &integrity);
    QCOMPARE(integrity, QStringLiteral("ok"));
    // Whole batches only, and no more than the one being gathered is missing.
    QCOMPARE(rows % batch, qint64(0));
    QVERIFY2(rows >= lastAppended + 1 - batch, qPrintable(QStringLiteral("%1 rows, %2 appended")
                                                               .arg(rows).arg(lastAppended + 1)));
    HistoryStore store;
    QVERIFY(store.open(path));
    const QVector<LiveSample> read = store.readRange(0, std::numeric_limits<qint64>::max());
    QCOMPARE(read.size(), int(rows));
    QCOMPARE(read.last().timeMs, 1800000000000 + (rows - 1) * 1000);
}

void TstHistoryStore::readOnlyFileReportedAppendsGoOn()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("h.sqlite"));
    {
        HistoryStore store;
        QVERIFY(store.open(path));
        store.append(sampleAt(1000, 1, 1));
    }
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0444) == 0);
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0555) == 0);
    // root writes anything: take an ordinary user's rights for the open.
    const bool root = ::geteuid() == 0;
    if (root)
        QVERIFY(::seteuid(65534) == 0);
    HistoryStore store;
    QSignalSpy errors(&store, &HistoryStore::errorOccurred);
    const bool opened = store.open(path);
    if (root)
        QVERIFY(::seteuid(0) == 0);
    ::chmod(QFile::encodeName(dir.path()).constData(), 0700);
    QVERIFY(!opened);
    QCOMPARE(errors.count(), 1);
    QVERIFY2(store.errorString().contains(path), qPrintable(store.errorString()));
    for (int i = 0; i < 100; ++i)
        store.append(sampleAt(2000 + i, 1, i));
    QVERIFY(!store.flush());
    QCOMPARE(store.lostSamples(), qint64(100));
    QCOMPARE(errors.count(), 1);   // reported once, not at every sample
    QCOMPARE(rowsInFile(path), qint64(1));
}

void TstHistoryStore::fullDiskReportedThenRecovered()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("h.sqlite"));
    HistoryStore store;
    store.setBatchLimits(100, 50);
    QVERIFY(store.open(path));
    QSignalSpy errors(&store, &HistoryStore::errorOccurred);
    QSignalSpy recovered(&store, &HistoryStore::writeRecovered);
    // A file that may not grow is what a full disk looks like to SQLite.
    bool ok = false;
    const qint64 pages = store.queryInteger(QStringLiteral("PRAGMA page_count"), &ok);
    QVERIFY(ok);
    QVERIFY(store.queryInteger(QStringLiteral("PRAGMA max_page_count=%1").arg(pages), &ok) == pages && ok);
    for (int i = 0; i < 1000; ++i)
        store.append(sampleAt(1000 + i * 1000, 1, i));
    QVERIFY(!store.flush());
    QVERIFY(store.writeFailing());
    QCOMPARE(errors.count(), 1);
    QVERIFY2(errors.at(0).at(0).toString().contains(QLatin1String("full")),
             qPrintable(errors.at(0).at(0).toString()));
    QCOMPARE(store.pendingSamples(), 1000);   // kept for the next try
    QVERIFY(store.queryInteger(QStringLiteral("PRAGMA max_page_count=1000000"), &ok) == 1000000 && ok);
    QTRY_COMPARE_WITH_TIMEOUT(recovered.count(), 1, 3000);   // the retry timer writes them
    QCOMPARE(store.countRange(0, std::numeric_limits<qint64>::max()), qint64(1000));
    QCOMPARE(store.lostSamples(), qint64(0));
}

void TstHistoryStore::rangeByTimeAndAddressAndPrune()
{
    QTemporaryDir dir;
    HistoryStore store;
    QVERIFY(store.open(dir.filePath(QStringLiteral("h.sqlite"))));
    for (int i = 0; i < 20; ++i)
        store.append(sampleAt(10000 + i * 1000, 1 + i % 2, i));
    QVERIFY(store.flush());
    QCOMPARE(store.readRange(12000, 15000).size(), 4);                    // both ends included
    const QVector<LiveSample> second = store.readRange(0, 100000, 2);
    QCOMPARE(second.size(), 10);
    for (const LiveSample &s : second)
        QCOMPARE(s.address, 2);
    QCOMPARE(store.countRange(0, 100000, 1), qint64(10));
    QCOMPARE(store.prune(15000), qint64(5));
    QCOMPARE(store.readRange(0, 100000).first().timeMs, qint64(15000));

    // Retention counts days back from now; everything older goes.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    store.append(sampleAt(now - 10 * 86400000LL, 1, 1));
    store.append(sampleAt(now - 4 * 86400000LL, 1, 2));
    QVERIFY(store.flush());
    store.setRetentionDays(5);
    const QVector<LiveSample> kept = store.readRange(0, now);
    QCOMPARE(kept.size(), 1);
    QCOMPARE(kept.first().timeMs, now - 4 * 86400000LL);
}

void TstHistoryStore::schemaVersion()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("h.sqlite"));
    {
        HistoryStore store;
        QVERIFY(store.open(path));
        QCOMPARE(store.queryInteger(QStringLiteral("PRAGMA user_version")), qint64(HistoryStore::SchemaVersion));
        QCOMPARE(store.queryText(QStringLiteral("PRAGMA journal_mode")), QStringLiteral("wal"));
        QVERIFY(store.execute(QStringLiteral("PRAGMA user_version=99")));
    }
    HistoryStore store;
    QVERIFY(!store.open(path));   // a newer program's file is left alone
    QVERIFY2(store.errorString().contains(QLatin1String("newer")), qPrintable(store.errorString()));
}

void TstHistoryStore::recordConfig()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("config.ini"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[Record]\nEnabled=true\ndatabase=/data/h.sqlite\nretention_days=30\n");
    f.close();
    RecordConfig c = readRecordConfig(ConfigFile(path));
    QVERIFY(c.enabled);
    QCOMPARE(c.database, QStringLiteral("/data/h.sqlite"));
    QCOMPARE(c.retentionDays, 30);
    c = readRecordConfig(ConfigFile(dir.filePath(QStringLiteral("missing.ini"))));
    QVERIFY(!c.enabled);   // off unless asked, for the window
    QVERIFY(readRecordConfig(ConfigFile(dir.filePath(QStringLiteral("missing.ini"))), true).enabled);
}

QTEST_GUILESS_MAIN(TstHistoryStore)
#include "tst_history_store.moc"
