// The "History" tab: absent while the window does not record; with a
// recorded month (a cleared counter, a gap of days) its bars and table
// equal the expected table; a day clicked opens that day's curve, whose
// axis stays on the day until the span is edited.
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <qcustomplot.h>

#include "daily_yield.h"
#include "history_recording.h"
#include "history_store.h"
#include "mainwindow.h"
#include "temp_workdir.h"
#include "window_fixture.h"
#include "yield_month.h"
#include "yield_view.h"

namespace {

const QString recordOn = QStringLiteral("[record]\nenabled=true\ndatabase=history.sqlite\n");
const QString recordOff = QStringLiteral("[record]\nenabled=false\ndatabase=history.sqlite\n");

QString linkConfig()
{
    return tcpConfigText(1502, QStringLiteral("TCP Modbus"), QStringLiteral("MPPT"));
}

QTabWidget *tabsOf(MainWindow &w)
{
    return w.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
}

int pointsBetween(const QCPGraph *g, double from, double to)
{
    int n = 0;
    for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it)
        n += it->key >= from && it->key <= to;
    return n;
}

bool keysSorted(const QCPGraph *g)
{
    double last = -1;
    for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it) {
        if (it->key <= last)
            return false;
        last = it->key;
    }
    return true;
}

} // namespace

class tst_yield_view : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void absentWithoutRecording();
    void followsTheRecordSetting();
    void recordedMonth();
    void dayClickedOpensItsCurve();

private:
    QTemporaryDir dataHome_;
};

void tst_yield_view::initTestCase()
{
    QVERIFY(dataHome_.isValid());
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome_.path()));
}

void tst_yield_view::absentWithoutRecording()
{
    TempWorkDir dir;
    QVERIFY(dir.writeConfig(linkConfig()));
    MainWindow w;
    QCOMPARE(tabsOf(w)->count(), 2);
    QVERIFY(!w.findChild<QWidget *>(QStringLiteral("tabHistory")));
    QVERIFY(!w.findChild<YieldView *>()->page());
}

void tst_yield_view::followsTheRecordSetting()
{
    TempWorkDir dir;
    QVERIFY(dir.writeConfig(linkConfig()));
    MainWindow w;
    QTabWidget *tabs = tabsOf(w);
    QVERIFY(dir.writeConfig(linkConfig() + recordOn));
    w.history->applyConfig();
    QCOMPARE(tabs->count(), 3);
    QCOMPARE(tabs->tabText(0), QStringLiteral("Curve view"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("Basic information"));
    QCOMPARE(tabs->tabText(2), QStringLiteral("History"));
    QCOMPARE(tabs->currentIndex(), 1);   // the form's start tab stays the one shown
    QVERIFY(dir.writeConfig(linkConfig() + recordOff));
    w.history->applyConfig();
    QCOMPARE(tabs->count(), 2);
    QVERIFY(!w.findChild<QWidget *>(QStringLiteral("tabHistory")));
}

void tst_yield_view::recordedMonth()
{
    TempWorkDir dir;
    QVERIFY(dir.writeConfig(linkConfig() + recordOn));
    const qint64 firstDay = DailyYield::today() - (YieldMonth::Days - 1);
    {
        HistoryStore store;
        QVERIFY(store.open(dir.path() + QStringLiteral("/history.sqlite")));
        for (const LiveSample &s : YieldMonth::samples(firstDay))
            store.append(s);
        QVERIFY(store.flush());
    }
    MainWindow w;
    w.core.refreshTimer.stop();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    tabsOf(w)->setCurrentIndex(2);
    auto *view = w.findChild<YieldView *>();
    QCOMPARE(view->firstDay(), firstDay);

    // The table, newest day first, as the expected table reads.
    QStringList shown;
    QTableWidget *table = view->table();
    for (int row = table->rowCount() - 1; row >= 0; --row) {
        QStringList cells;
        for (int c = 0; c < table->columnCount(); ++c)
            cells << table->item(row, c)->text();
        shown << cells.join(QLatin1Char(' '));
    }
    QCOMPARE(shown, YieldMonth::expectedRows(firstDay));

    // The bars: one pair a recorded day, at its place among the 30.
    const QVector<DayYield> expected = YieldMonth::expected(firstDay);
    QCOMPARE(view->generatedBars()->dataCount(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const auto g = view->generatedBars()->data()->at(i);
        const auto c = view->consumedBars()->data()->at(i);
        QCOMPARE(g->key, double(expected[i].day - firstDay));
        QCOMPARE(g->value, expected[i].generatedKwh());
        QCOMPARE(c->value, expected[i].consumedKwh());
    }
    QVERIFY(view->plot()->yAxis->range().contains(20));
    QVERIFY(view->plot()->yAxis2->range().contains(11.0));   // the dip on day 5
}

void tst_yield_view::dayClickedOpensItsCurve()
{
    TempWorkDir dir;
    QVERIFY(dir.writeConfig(linkConfig() + recordOn));
    const qint64 firstDay = DailyYield::today() - (YieldMonth::Days - 1);
    {
        HistoryStore store;
        QVERIFY(store.open(dir.path() + QStringLiteral("/history.sqlite")));
        for (const LiveSample &s : YieldMonth::samples(firstDay))
            store.append(s);
        QVERIFY(store.flush());
    }
    MainWindow w;
    w.core.refreshTimer.stop();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTabWidget *tabs = tabsOf(w);
    tabs->setCurrentIndex(2);
    auto *view = w.findChild<YieldView *>();
    QCustomPlot *bars = view->plot();
    auto *curve = w.findChild<QCustomPlot *>(QStringLiteral("customplot"));

    // A day without readings (in the gap) opens nothing.
    QTest::mouseClick(bars, Qt::LeftButton, Qt::NoModifier,
                      QPoint(int(bars->xAxis->coordToPixel(21)), int(bars->yAxis->coordToPixel(5))));
    QCOMPARE(tabs->currentIndex(), 2);

    // Days the curve had loaded and one long before them: each with its 15
    // readings once, the curve's keys still in order.
    for (int offset : {24, 3}) {
        tabs->setCurrentIndex(2);
        const qint64 day = firstDay + offset;
        QTest::mouseClick(bars, Qt::LeftButton, Qt::NoModifier,
                          QPoint(int(bars->xAxis->coordToPixel(offset)), int(bars->yAxis->coordToPixel(5))));
        QCOMPARE(tabs->currentIndex(), 0);
        const double from = double(DailyYield::dayStartMs(day) / 1000);
        const double to = double(DailyYield::dayEndMs(day) / 1000);
        QCOMPARE(curve->xAxis->range().lower, from);
        QCOMPARE(curve->xAxis->range().upper, to);
        for (int g = 0; g < 5; ++g) {
            QCOMPARE(pointsBetween(curve->graph(g), from, to), 15);
            QVERIFY(keysSorted(curve->graph(g)));
        }
    }
    // The table's rows open their days too.
    tabs->setCurrentIndex(2);
    QTableWidget *table = view->table();
    const QRect cell = table->visualItemRect(table->item(0, 0));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(curve->xAxis->range().lower, double(DailyYield::dayStartMs(firstDay + 29) / 1000));

    // A live point leaves the day on the axis; editing the span lets go.
    const QCPRange held = curve->xAxis->range();
    w.lastCurveKey = 0.0;
    w.appendCurvePoint();
    QCOMPARE(curve->xAxis->range(), held);
    formWidget<QLineEdit>(w, "lineEdit_72")->setText(QStringLiteral("5"));
    w.lastCurveKey = 0.0;
    w.appendCurvePoint();
    QCOMPARE(curve->xAxis->range().size(), 300.0);
}

QTEST_MAIN(tst_yield_view)
#include "tst_yield_view.moc"
