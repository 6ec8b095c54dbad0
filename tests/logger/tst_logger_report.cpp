// solar-logger report: the per-day figures of a recorded month in each
// format, equal to the expected table, and its argument checks.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "daily_yield.h"
#include "history_store.h"
#include "logger_process.h"
#include "yield_month.h"

namespace {

struct ReportRun
{
    explicit ReportRun(const QStringList &arguments)
    {
        QProcess p;
        p.start(loggerExe(), QStringList{QStringLiteral("report")} + arguments);
        p.waitForFinished(20000);
        code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        out = QString::fromUtf8(p.readAllStandardOutput());
        err = QString::fromUtf8(p.readAllStandardError());
    }
    int code = -1;
    QString out;
    QString err;
};

QStringList lines(const QString &text)
{
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

class tst_logger_report : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void formats();
    void daysAndAddress();
    void badArguments_data();
    void badArguments();

private:
    QTemporaryDir dir_;
    QString db_;
    qint64 firstDay_ = 0;
};

// The month ends today, so the default 30 days cover it.
void tst_logger_report::initTestCase()
{
    QVERIFY(dir_.isValid());
    db_ = dir_.filePath(QStringLiteral("history.sqlite"));
    firstDay_ = DailyYield::today() - (YieldMonth::Days - 1);
    HistoryStore store;
    QVERIFY(store.open(db_));
    store.setBatchLimits(40, 60000);
    for (const LiveSample &s : YieldMonth::samples(firstDay_))
        store.append(s);
    QVERIFY(store.flush());
}

void tst_logger_report::formats()
{
    const QStringList expected = YieldMonth::expectedRows(firstDay_);

    const ReportRun csv({QStringLiteral("--db"), db_, QStringLiteral("--format"), QStringLiteral("csv"),
                         QStringLiteral("--address"), QStringLiteral("1")});
    QCOMPARE(csv.code, 0);
    QStringList rows = lines(csv.out);
    QCOMPARE(rows.takeFirst(), QStringLiteral("date,address,generated (kWh),consumed (kWh),"
                                              "lowest batteryVoltage (V),highest batteryVoltage (V),readings"));
    QStringList fromCsv;
    for (const QString &r : rows) {
        const QStringList f = r.split(QLatin1Char(','));
        QCOMPARE(f.size(), 7);
        QCOMPARE(f[1], QStringLiteral("1"));
        QCOMPARE(f[6], QStringLiteral("15"));
        fromCsv << QStringList({f[0], f[2], f[3], f[4], f[5]}).join(QLatin1Char(' '));
    }
    QCOMPARE(fromCsv, expected);

    const ReportRun table({QStringLiteral("--db"), db_, QStringLiteral("--address"), QStringLiteral("1")});
    QCOMPARE(table.code, 0);
    rows = lines(table.out);
    QVERIFY(rows.takeFirst().startsWith(QLatin1String("date")));
    QStringList fromTable;
    for (const QString &r : rows) {
        QStringList f = r.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QCOMPARE(f.size(), 6);
        f.removeAt(1);
        fromTable << f.join(QLatin1Char(' '));
    }
    QCOMPARE(fromTable, expected);

    const ReportRun json({QStringLiteral("--db"), db_, QStringLiteral("--format"), QStringLiteral("json")});
    QCOMPARE(json.code, 0);
    rows = lines(json.out);
    QCOMPARE(rows.size(), expected.size() + 3);   // and address 2 on the first three days
    QCOMPARE(rows.first(), QStringLiteral("{\"date\":\"%1\",\"address\":1,\"generatedKwh\":20,\"consumedKwh\":0,"
                                          "\"lowestBatteryVoltage\":12.50,\"highestBatteryVoltage\":13.90,"
                                          "\"readings\":15}")
                               .arg(YieldMonth::expected(firstDay_).first().date().toString(Qt::ISODate)));
    QVERIFY(rows[1].contains(QLatin1String("\"address\":2")));
}

void tst_logger_report::daysAndAddress()
{
    // The last 7 days: 23 to 29, the gap before them left out.
    const ReportRun week({QStringLiteral("--db"), db_, QStringLiteral("--days"), QStringLiteral("7"),
                          QStringLiteral("--format"), QStringLiteral("csv")});
    QCOMPARE(week.code, 0);
    QCOMPARE(lines(week.out).size(), 1 + 7);
    QVERIFY(lines(week.out)[1].startsWith(YieldMonth::expected(firstDay_)[20].date().toString(Qt::ISODate)));
    const ReportRun other({QStringLiteral("--db"), db_, QStringLiteral("--address"), QStringLiteral("2"),
                           QStringLiteral("--format"), QStringLiteral("csv")});
    QCOMPARE(other.code, 0);
    QStringList rows;
    const char *const tail[] = {",2,0,0,25.00,25.00,15", ",2,10,0,25.00,25.00,15", ",2,10,0,25.00,25.00,15"};
    for (int i = 0; i < 3; ++i)
        rows << QDate::fromJulianDay(2440588 + firstDay_ + i).toString(Qt::ISODate) + QLatin1String(tail[i]);
    QCOMPARE(lines(other.out).mid(1), rows);
}

void tst_logger_report::badArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("days not a number") << QStringList{"--days", "week"} << 2 << "--days";
    QTest::newRow("zero days") << QStringList{"--days", "0"} << 2 << "--days";
    QTest::newRow("format") << QStringList{"--format", "xml"} << 2 << "--format";
    QTest::newRow("address") << QStringList{"--address", "300"} << 2 << "--address";
    QTest::newRow("no such config") << QStringList{"--config", "/nonexistent/config.ini"} << 2 << "no such file";
    QTest::newRow("no history") << QStringList{"--db", "/nonexistent/h.sqlite"} << 1 << "no history";
}

void tst_logger_report::badArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QString, message);
    const ReportRun run(arguments);
    QCOMPARE(run.code, code);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

QTEST_GUILESS_MAIN(tst_logger_report)
#include "tst_logger_report.moc"
