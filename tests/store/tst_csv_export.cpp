// CSV export of a recorded range, and the ISO 8601 times the command line takes.
#include <QTemporaryDir>
#include <QtTest>

#include "csv_export.h"
#include "history_store.h"

class TstCsvExport : public QObject
{
    Q_OBJECT

private slots:
    void rangeMatchesRows();
    void cancelLeavesNoFile();
    void unwritableTarget();
    void isoTime_data();
    void isoTime();
};

namespace {

void fill(HistoryStore &store, int count)
{
    LiveSample s;
    s.utcOffsetSeconds = -5 * 3600;
    for (int i = 0; i < count; ++i) {
        s.timeMs = 1765400000000 + qint64(i) * 1000;
        s.address = 1 + i % 2;
        s.counts[PvVoltage] = 1800 + i % 100;
        s.counts[BatteryCurrent] = -(i % 321);
        s.counts[BatteryTemperature] = -3;
        s.statusWord = quint32(i % 4);
        s.chargeStageText = i % 3 ? QStringLiteral("Float") : QStringLiteral("Bulk \"1\"");
        store.append(s);
    }
    store.flush();
}

} // namespace

void TstCsvExport::rangeMatchesRows()
{
    QTemporaryDir dir;
    HistoryStore store;
    QVERIFY(store.open(dir.filePath(QStringLiteral("h.sqlite"))));
    fill(store, 10000);
    const qint64 from = 1765400000000 + 1000 * 1000, to = 1765400000000 + 9000 * 1000;
    QVector<QPair<qint64, qint64>> calls;
    const QString out = dir.filePath(QStringLiteral("out.csv"));
    const CsvExportResult r = exportCsv(store, from, to, out, [&](qint64 done, qint64 total) {
        calls.append({done, total});
        return true;
    });
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.rows, qint64(8001));
    QVERIFY(calls.size() >= 2);
    QCOMPARE(calls.last(), qMakePair(qint64(8001), qint64(8001)));

    QByteArray expected;
    appendLiveSampleCsvHeader(expected);
    expected.append('\n');
    for (const LiveSample &s : store.readRange(from, to)) {
        appendLiveSampleCsvRow(expected, s);
        expected.append('\n');
    }
    QFile f(out);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    QCOMPARE(text, expected);
    const QList<QByteArray> lines = text.split('\n');
    QVERIFY(lines.at(0).startsWith("time,address,pvVoltage (V),pvCurrent (A)"));
    // Local time of the recording, C locale numbers, quoted texts.
    QCOMPARE(lines.at(1).left(46), QByteArray("2025-12-10T16:10:00.000-05:00,1,18.00,0.00,0.0"));
    QVERIFY(lines.at(1).contains("\"Float\""));
    QVERIFY(text.contains(",-3,") && text.contains("\"Bulk \"\"1\"\"\""));

    // One address only.
    const CsvExportResult one = exportCsv(store, from, to, out, ExportProgress(), 1);
    QCOMPARE(one.rows, qint64(4001));
}

void TstCsvExport::cancelLeavesNoFile()
{
    QTemporaryDir dir;
    HistoryStore store;
    QVERIFY(store.open(dir.filePath(QStringLiteral("h.sqlite"))));
    fill(store, 20000);
    const QString out = dir.filePath(QStringLiteral("out.csv"));
    const CsvExportResult r = exportCsv(store, 0, std::numeric_limits<qint64>::max(), out,
                                        [](qint64 done, qint64) { return done < 8000; });
    QVERIFY(!r.ok);
    QCOMPARE(r.error, QStringLiteral("Export cancelled"));
    QVERIFY(!QFile::exists(out));
}

void TstCsvExport::unwritableTarget()
{
    QTemporaryDir dir;
    HistoryStore store;
    QVERIFY(store.open(dir.filePath(QStringLiteral("h.sqlite"))));
    fill(store, 10);
    const QString out = dir.filePath(QStringLiteral("no/such/dir/out.csv"));
    const CsvExportResult r = exportCsv(store, 0, std::numeric_limits<qint64>::max(), out);
    QVERIFY(!r.ok);
    QVERIFY2(r.error.contains(out), qPrintable(r.error));
}

void TstCsvExport::isoTime_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qint64>("ms");   // -1: local time, checked against QDateTime
    QTest::newRow("utc") << "2026-12-10T08:00:30Z" << true << qint64(1796889630000);
    QTest::newRow("millis and offset") << "2026-12-10T09:00:30.250+01:00" << true << qint64(1796889630250);
    QTest::newRow("offset without colon") << "2026-12-10T03:00:30-0500" << true << qint64(1796889630000);
    QTest::newRow("minutes only, utc") << "2026-12-10T08:00Z" << true << qint64(1796889600000);
    QTest::newRow("local date") << "2026-12-10" << true << qint64(-1);
    QTest::newRow("local time") << "2026-12-10T08:00:30" << true << qint64(-1);
    QTest::newRow("bad month") << "2026-13-10T08:00:00Z" << false << qint64(0);
    QTest::newRow("bad hour") << "2026-12-10T25:00:00Z" << false << qint64(0);
    QTest::newRow("text") << "yesterday" << false << qint64(0);
    QTest::newRow("empty") << "" << false << qint64(0);
    QTest::newRow("trailing junk") << "2026-12-10T08:00:00Zx" << false << qint64(0);
}

void TstCsvExport::isoTime()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(qint64, ms);
    qint64 parsed = 0;
    QCOMPARE(parseIsoTime(text, &parsed), valid);
    if (!valid)
        return;
    if (ms < 0)
        ms = QDateTime::fromString(text.size() == 10 ? text + QStringLiteral("T00:00:00") : text,
                                   Qt::ISODate).toMSecsSinceEpoch();
    QCOMPARE(parsed, ms);
}

QTEST_GUILESS_MAIN(TstCsvExport)
#include "tst_csv_export.moc"
