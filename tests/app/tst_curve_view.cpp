// The curve view: one point per second, the sliding time window, legend
// values and the read-out under the mouse pointer.
#include <QDateTime>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QTabWidget>
#include <QtTest>
#include <qcustomplot.h>

#include <malloc.h>

#include "mainwindow.h"
#include "monitoring_sim.h"
#include "window_fixture.h"

namespace {

QCustomPlot *plotOf(MainWindow &w)
{
    return w.findChild<QCustomPlot *>(QStringLiteral("customplot"));
}

double nowKey()
{
    return double(QDateTime::currentSecsSinceEpoch());
}

// Appends one point now, whatever the previous one was.
void appendFresh(MainWindow &w)
{
    w.lastCurveKey = nowKey() - 1.0;
    w.appendCurvePoint();
}

// Waits until the current second has at least 600 ms left, so two calls in a
// row are sure to fall into the same second.
void waitForEarlyInSecond()
{
    QTRY_VERIFY_WITH_TIMEOUT(QDateTime::currentMSecsSinceEpoch() % 1000 < 400, 2000);
}

void moveMouse(QCustomPlot *plot, QPoint at)
{
    QMouseEvent move(QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(plot, &move);
}

// Three points per graph, 100 s apart, each graph on its own straight line so
// a value read at the wrong key or from the wrong graph shows.
struct ReadoutPlot
{
    double t0 = 0;
    QCustomPlot *plot = nullptr;

    static double valueAt(int graph, double dt) { return 2.0 + 3.0 * graph + 0.1 * dt; }

    void build(MainWindow &w)
    {
        w.findChild<QTabWidget *>(QStringLiteral("tabWidget"))->setCurrentIndex(0);
        plot = plotOf(w);
        t0 = double(QDateTime(QDate(2024, 6, 1), QTime(10, 0, 0)).toSecsSinceEpoch());
        for (int g = 0; g < 5; ++g)
            for (int i = 0; i < 3; ++i)
                plot->graph(g)->addData(t0 + 100 * i, valueAt(g, 100 * i));
        plot->xAxis->setRange(t0 - 50, t0 + 250);
        plot->yAxis->setRange(0, 40);
        plot->yAxis2->setRange(0, 40);
        plot->replot();
    }

    QPoint pixelAt(double key, double leftValue) const
    {
        return QPoint(qRound(plot->xAxis->coordToPixel(key)),
                      qRound(plot->yAxis->coordToPixel(leftValue)));
    }
};

} // namespace

class tst_curve_view : public QObject
{
    Q_OBJECT

private slots:
    void onePointPerSecond();
    void legendShowsLiveValues();
    void valueAxesCoverEveryValue();
    void timeWindow_data();
    void timeWindow();
    void readoutFollowsPointer();
    void readoutHiddenOutsideData_data();
    void readoutHiddenOutsideData();
    void spanFieldStaysVisible();
    void longHistoryCarriesLittleSlack();
};

void tst_curve_view::onePointPerSecond()
{
    WindowFixture f;
    QCustomPlot *plot = plotOf(f.w());
    DeviceData &d = f.w().core.mainEngine.deviceData;

    waitForEarlyInSecond();
    QSignalSpy replots(plot, &QCustomPlot::afterReplot);
    d.pvVoltage = 1200;
    f.w().appendCurvePoint();   // first point: lastCurveKey starts at 0
    d.pvVoltage = 1300;
    f.w().appendCurvePoint();   // same second

    for (int g = 0; g < 5; ++g)
        QCOMPARE(plot->graph(g)->dataCount(), 1);
    QCOMPARE(plot->graph(0)->data()->at(0)->value, 12.0);
    QCOMPARE(plot->graph(0)->name(), QStringLiteral("PV Voltage:12.00V"));
    QCOMPARE(replots.count(), 1);
    // Keys are whole Unix seconds.
    const double key = plot->graph(0)->data()->at(0)->key;
    QCOMPARE(key, std::floor(key));
    QCOMPARE(f.w().lastCurveKey, key);

    // The next second appends again, after the first point.
    QTRY_VERIFY_WITH_TIMEOUT(nowKey() > key, 1500);
    f.w().appendCurvePoint();
    QCOMPARE(plot->graph(0)->dataCount(), 2);
    QCOMPARE(plot->graph(0)->data()->at(1)->value, 13.0);
    QVERIFY(plot->graph(0)->data()->at(1)->key > key);
}

void tst_curve_view::legendShowsLiveValues()
{
    WindowFixture f;
    QCustomPlot *plot = plotOf(f.w());
    DeviceData &d = f.w().core.mainEngine.deviceData;
    d.pvVoltage = 1234;
    d.batteryVoltage = 1310;
    d.loadVoltage = 0;
    d.pvCurrent = 525;
    d.loadCurrent = 100000;
    appendFresh(f.w());

    const struct {
        const char *name;
        QCPAxis *axis;
        QColor colour;
        double value;
    } expected[] = {
        {"PV Voltage:12.34V", plot->yAxis, Qt::blue, 12.34},
        {"Battery Voltage:13.10V", plot->yAxis, Qt::green, 13.10},
        {"Load Voltage:0.00V", plot->yAxis, Qt::red, 0.0},
        {"Charging Current:5.25A", plot->yAxis2, Qt::yellow, 5.25},
        {"Discharge Current:1000.00A", plot->yAxis2, Qt::black, 1000.0},
    };
    QCOMPARE(plot->graphCount(), 5);
    for (int g = 0; g < 5; ++g) {
        QCPGraph *graph = plot->graph(g);
        QCOMPARE(graph->name(), QString::fromUtf8(expected[g].name));
        QCOMPARE(graph->keyAxis(), plot->xAxis);
        QCOMPARE(graph->valueAxis(), expected[g].axis);
        QCOMPARE(graph->pen().color(), expected[g].colour);
        QCOMPARE(graph->data()->at(0)->value, expected[g].value);
    }
    QVERIFY(plot->legend->visible());
}

void tst_curve_view::valueAxesCoverEveryValue()
{
    WindowFixture f;
    QCustomPlot *plot = plotOf(f.w());
    DeviceData &d = f.w().core.mainEngine.deviceData;
    const quint32 pv[] = {5000, 2000, 7000, 100};
    const quint32 current[] = {300, 4000, 50, 10};
    for (int i = 0; i < 4; ++i) {
        d.pvVoltage = pv[i];
        d.loadCurrent = current[i];
        appendFresh(f.w());
    }
    const QCPRange left = plot->yAxis->range();
    const QCPRange right = plot->yAxis2->range();
    QCOMPARE(left.lower, 0.0);
    QCOMPARE(left.upper, 70.0);
    QCOMPARE(right.lower, 0.0);
    QCOMPARE(right.upper, 40.0);

    // The same ranges QCustomPlot's own enlarging rescale over all data gives.
    for (int g = 0; g < 5; ++g)
        plot->graph(g)->rescaleValueAxis(true, false);
    QCOMPARE(plot->yAxis->range(), left);
    QCOMPARE(plot->yAxis2->range(), right);
}

void tst_curve_view::timeWindow_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("minutes");
    QTest::addColumn<double>("span");

    QTest::newRow("form's 1000 minutes") << "1000" << 1000 << 60000.0;
    QTest::newRow("5 minutes") << "5" << 5 << 300.0;
    QTest::newRow("beyond 32-bit seconds") << "2000000000" << 2000000000 << 120000000000.0;
    QTest::newRow("not a number") << "abc" << 0 << -1.0;
}

void tst_curve_view::timeWindow()
{
    QFETCH(QString, text);
    QFETCH(int, minutes);
    QFETCH(double, span);

    WindowFixture f;
    QCustomPlot *plot = plotOf(f.w());
    QCOMPARE(f.w().curveMinutes, 1000);
    appendFresh(f.w());
    const QCPRange before = plot->xAxis->range();

    f.w().findChild<QLineEdit *>(QStringLiteral("lineEdit_72"))->setText(text);
    QCOMPARE(f.w().curveMinutes, minutes);
    QCOMPARE(plot->xAxis->range(), before);   // applies at the next point only

    QTRY_VERIFY_WITH_TIMEOUT(nowKey() > f.w().lastCurveKey, 1500);
    f.w().appendCurvePoint();
    if (span < 0)
        return;
    const QCPRange range = plot->xAxis->range();
    QCOMPARE(range.upper, f.w().lastCurveKey);
    QCOMPARE(range.size(), span);
}

void tst_curve_view::readoutFollowsPointer()
{
    WindowFixture f;
    ReadoutPlot p;
    p.build(f.w());
    QCPItemText *readout = f.w().curveReadout;
    QVERIFY(!readout->visible());

    // Two positions far apart: each read-out must describe its own pointer
    // position, not the one of the event before.
    for (double dt : {30.0, 170.0, 60.0}) {
        const QPoint at = p.pixelAt(p.t0 + dt, 5.0);
        moveMouse(p.plot, at);
        QVERIFY(readout->visible());
        for (QCPItemTracer *tracer : f.w().curveTracers)
            QVERIFY(tracer->visible());
        QCOMPARE(readout->position->pixelPosition(), QPointF(at));

        const double key = p.plot->xAxis->pixelToCoord(at.x());
        const QString time = QDateTime::fromSecsSinceEpoch(qint64(key)).toString("hh:mm:ss");
        const QRegularExpression format(
            "^PV Voltage:(\\d+\\.\\d\\d)V\nBattery Voltage:(\\d+\\.\\d\\d)V\n"
            "Load Voltage:(\\d+\\.\\d\\d)V\nCharging Current:(\\d+\\.\\d\\d)A\n"
            "Discharge Current:(\\d+\\.\\d\\d)A\nTime:(\\d\\d:\\d\\d:\\d\\d)$");
        const QRegularExpressionMatch m = format.match(readout->text());
        QVERIFY2(m.hasMatch(), qPrintable(readout->text()));
        QCOMPARE(m.captured(6), time);
        // One vertical pixel is about 40 V / 600 px; allow two.
        for (int g = 0; g < 5; ++g)
            QVERIFY2(qAbs(m.captured(g + 1).toDouble() - ReadoutPlot::valueAt(g, key - p.t0)) < 0.15,
                     qPrintable(QStringLiteral("graph %1 at +%2 s: %3").arg(g).arg(dt).arg(readout->text())));
    }
}

void tst_curve_view::readoutHiddenOutsideData_data()
{
    QTest::addColumn<double>("dt");         // key relative to the first point
    QTest::addColumn<double>("leftValue");  // position on the left axis

    QTest::newRow("left of the first point") << -20.0 << 10.0;
    QTest::newRow("right of the axis") << 260.0 << 10.0;
    QTest::newRow("above the left axis") << 50.0 << 41.0;
}

void tst_curve_view::readoutHiddenOutsideData()
{
    QFETCH(double, dt);
    QFETCH(double, leftValue);

    WindowFixture f;
    ReadoutPlot p;
    p.build(f.w());
    moveMouse(p.plot, p.pixelAt(p.t0 + 50, 10.0));
    QVERIFY(f.w().curveReadout->visible());

    moveMouse(p.plot, p.pixelAt(p.t0 + dt, leftValue));
    QVERIFY(!f.w().curveReadout->visible());
    for (QCPItemTracer *tracer : f.w().curveTracers)
        QVERIFY(!tracer->visible());
}

// The span caption and field float over the plot's lower left corner; the
// tab page reaches below the central widget, so they must be kept above it.
void tst_curve_view::spanFieldStaysVisible()
{
    WindowFixture f;
    f.w().show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.w()));
    auto *tabs = f.w().findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    tabs->setCurrentIndex(0);
    QWidget *central = f.w().centralWidget();
    for (const char *name : {"label_84", "lineEdit_72"}) {
        auto *w = f.w().findChild<QWidget *>(QLatin1String(name));
        QVERIFY(w);
        const QRect inCentral(w->mapTo(central, QPoint(0, 0)), w->size());
        QVERIFY2(central->rect().contains(inCentral),
                 qPrintable(QStringLiteral("%1 at %2,%3 outside %4 high")
                                .arg(QLatin1String(name)).arg(inCentral.x())
                                .arg(inCentral.bottom()).arg(central->height())));
        QVERIFY(w->isVisible());
    }
}

// A week of points a second must fit in memory: each point is 16 bytes,
// and growing the graphs by doubling would add up to as much again unused.
void tst_curve_view::longHistoryCarriesLittleSlack()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("the sanitizer's allocator keeps its own books");
#else
    WindowFixture f;
    MainWindow &w = f.w();
    constexpr int Points = 40000;   // past 2^15, where doubling leaves most unused
    const double t0 = nowKey() - Points;
    const size_t before = mallinfo2().uordblks + mallinfo2().hblkhd;
    for (int i = 0; i < Points; ++i)
        w.storeCurvePoint(t0 + i);
    const size_t after = mallinfo2().uordblks + mallinfo2().hblkhd;
    QCOMPARE(plotOf(w)->graph(4)->dataCount(), Points);
    const double perPoint = double(after - before) / (5.0 * Points);
    QVERIFY2(perPoint < 18.0, qPrintable(QString::number(perPoint)));
#endif
}

QTEST_MAIN(tst_curve_view)
#include "tst_curve_view.moc"
