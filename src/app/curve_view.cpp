// "Curve view" tab: five live values against wall-clock time, with a read-out
// of the values under the mouse pointer.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QDateTime>
#include <QMouseEvent>
#include <qcustomplot.h>

#include "history_store.h"


namespace {

enum class ValueAxis { Left, Right };

struct CurveGraph
{
    const char *name;
    ValueAxis axis;
    Qt::GlobalColor colour;
    quint32 DeviceData::*field;   // in 0.01 V or 0.01 A
    const char *unit;
    LiveValue recorded;           // the same value in a recorded sample
};

const CurveGraph curveGraphs[] = {
    {QT_TRANSLATE_NOOP("MainWindow", "PV Voltage"), ValueAxis::Left, Qt::blue, &DeviceData::pvVoltage, "V", PvVoltage},
    {QT_TRANSLATE_NOOP("MainWindow", "Battery Voltage"), ValueAxis::Left, Qt::green, &DeviceData::batteryVoltage, "V", BatteryVoltage},
    {QT_TRANSLATE_NOOP("MainWindow", "Load Voltage"), ValueAxis::Left, Qt::red, &DeviceData::loadVoltage, "V", LoadVoltage},
    {QT_TRANSLATE_NOOP("MainWindow", "Charging Current"), ValueAxis::Right, Qt::yellow, &DeviceData::pvCurrent, "A", PvCurrent},
    {QT_TRANSLATE_NOOP("MainWindow", "Discharge Current"), ValueAxis::Right, Qt::black, &DeviceData::loadCurrent, "A", LoadCurrent},
};
constexpr int CurveCount = int(sizeof curveGraphs / sizeof curveGraphs[0]);

// In volts or amperes; the load voltage by the rule the display and the
// history follow.
double valueOf(const DeviceData &d, const CurveGraph &g, bool modbus)
{
    if (g.recorded == LoadVoltage)
        return loadVoltageOf(d, loadIsOn(d), modbus) * 0.01;
    return (d.*g.field) * 0.01;
}

QCPAxis *valueAxisOf(QCustomPlot *plot, ValueAxis axis)
{
    return axis == ValueAxis::Left ? plot->yAxis : plot->yAxis2;
}

double nowAsKey()
{
    // Keys are whole Unix seconds, as the controller clock would count them.
    return double(quint32(QDateTime::currentSecsSinceEpoch()));
}

// A graph's points in one block grown by an hour's worth at a time. QVector
// would double the block instead, and with a point a second a day's curve
// would carry up to as much unused room as points.
class CurveData : public QCPGraphDataContainer
{
public:
    static constexpr int GrowthPoints = 3600;

    void reserveMore(int points) { mData.reserve(mData.size() + points); }

    void append(double key, double value)
    {
        if (mData.size() == mData.capacity())
            mData.reserve(mData.size() + GrowthPoints);
        add(QCPGraphData(key, value));
    }
};

// Keeps the span caption and field floating over the plot's lower left corner
// inside the visible part of the window: the tab page reaches below the
// central widget on desktops whose status bar is taller than the form expects.
class FloatInsideVisibleArea : public QObject
{
public:
    FloatInsideVisibleArea(QWidget *plot, QWidget *clip, QList<QWidget *> floating)
        : QObject(plot), plot_(plot), clip_(clip), floating_(floating)
    {
        for (QWidget *w : floating_)
            formY_.append(w->y());
        plot_->installEventFilter(this);
        clip_->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Resize || event->type() == QEvent::Show
            || event->type() == QEvent::Move)
            place();
        return QObject::eventFilter(watched, event);
    }

private:
    void place()
    {
        const int clipBottom = plot_->mapFrom(clip_, QPoint(0, clip_->height())).y();
        const int bottom = qMin(plot_->height(), clipBottom);
        for (int i = 0; i < floating_.size(); ++i) {
            QWidget *w = floating_[i];
            w->move(w->x(), qMax(0, qMin(formY_[i], bottom - w->height() - 2)));
        }
    }

    QWidget *plot_;
    QWidget *clip_;
    QList<QWidget *> floating_;
    QList<int> formY_;
};

} // namespace

void MainWindow::initCurvePlot(QCustomPlot *plot)
{
    plot->xAxis->setVisible(true);
    plot->yAxis->setVisible(true);
    plot->yAxis2->setVisible(true);

    for (const CurveGraph &g : curveGraphs) {
        QCPGraph *graph = plot->addGraph(plot->xAxis, valueAxisOf(plot, g.axis));
        graph->setData(QSharedPointer<QCPGraphDataContainer>(new CurveData));
        graph->setPen(QPen(QColor(g.colour)));
        graph->setName(tr(g.name));
    }

    QSharedPointer<QCPAxisTickerDateTime> ticker(new QCPAxisTickerDateTime);
    ticker->setDateTimeFormat(QStringLiteral("hh:mm"));
    plot->xAxis->setTicker(ticker);
    plot->xAxis->setLabel(tr("Time"));
    plot->yAxis->setLabel(tr("Voltage(V)"));
    plot->yAxis->setRangeLower(0);
    plot->yAxis2->setLabel(tr("Current(A)"));
    plot->yAxis2->setRangeLower(0);

    plot->legend->setVisible(true);
    plot->legend->setIconSize(16, 16);
    plot->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignLeft);

    for (int i = 0; i < CurveCount; ++i) {
        // The graph is attached once it has data: QCustomPlot warns about
        // tracing an empty graph.
        auto *tracer = new QCPItemTracer(plot);
        tracer->setInterpolating(true);
        tracer->setStyle(QCPItemTracer::tsCircle);
        tracer->setSize(8);
        tracer->setPen(plot->graph(i)->pen());
        tracer->setBrush(QBrush(plot->graph(i)->pen().color()));
        // Markers appear only while the pointer is over the data.
        tracer->setVisible(false);
        curveTracers[i] = tracer;
    }

    curveReadout = new QCPItemText(plot);
    curveReadout->position->setType(QCPItemPosition::ptAxisRectRatio);
    curveReadout->position->setType(QCPItemPosition::ptAbsolute);
    // Anchored top-right, so the box hangs down and to the left of the pointer.
    curveReadout->setPositionAlignment(Qt::AlignTop | Qt::AlignRight);
    curveReadout->setVisible(false);
    curveReadout->setTextAlignment(Qt::AlignLeft);
    curveReadout->setFont(QFont(font().family(), 9));
    curveReadout->setPadding(QMargins(8, 0, 0, 0));

    connect(plot, SIGNAL(mouseMove(QMouseEvent*)), this, SLOT(cureMousePoint(QMouseEvent*)));
    new FloatInsideVisibleArea(plot, ui->centralWidget, {ui->label_84, ui->lineEdit_72});
}

void MainWindow::appendCurvePoint()
{
    const double now = nowAsKey();
    if (now - lastCurveKey < 1.0)
        return;

    QCustomPlot *plot = ui->customplot;
    const DeviceData &d = core.deviceData();
    const bool modbus = core.protocol() != ProtocolDefine;
    const QCPRange heldDay = plot->xAxis->range();
    storeCurvePoint(now);

    // Value axes only ever grow to cover every value plotted. Widening them by
    // the new point gives what a full rescale would, without walking the
    // whole history on every append.
    for (int i = 0; i < CurveCount; ++i) {
        QCPAxis *axis = plot->graph(i)->valueAxis();
        QCPRange range = axis->range();
        range.expand(valueOf(d, curveGraphs[i], modbus));
        axis->setRange(range);
    }
    for (int i = 0; i < CurveCount; ++i)
        plot->graph(i)->rescaleKeyAxis(true);

    for (int i = 0; i < CurveCount; ++i) {
        const CurveGraph &g = curveGraphs[i];
        plot->graph(i)->setName(tr(g.name) + QStringLiteral(":%1%2")
                                                 .arg(valueOf(d, g, modbus), 2, 'f', 2)
                                                 .arg(QLatin1String(g.unit)));
    }

    lastCurveKey = now;
    // 64-bit: a huge minute count must not overflow into a nonsense window.
    const qint64 span = qint64(curveMinutes) * 60;
    if (curveDayHeld)
        plot->xAxis->setRange(heldDay);
    else
        plot->xAxis->setRange(now - double(span), now);
    plot->replot();
}

void MainWindow::storeCurvePoint(double key)
{
    QCustomPlot *plot = ui->customplot;
    const DeviceData &d = core.deviceData();
    const bool modbus = core.protocol() != ProtocolDefine;
    for (int i = 0; i < CurveCount; ++i) {
        auto *data = static_cast<CurveData *>(plot->graph(i)->data().data());
        data->append(key, valueOf(d, curveGraphs[i], modbus));
    }
}

// Keys and the one-point-a-second rule as appendCurvePoint has them, so the
// live points carry on where the recorded ones end; the legend keeps its
// plain names until a live value arrives.
int MainWindow::showRecordedCurve(HistoryStore &store, int address, qint64 fromMs, qint64 toMs)
{
    QCustomPlot *plot = ui->customplot;
    CurveData *data[CurveCount];
    const int expected = int(qMin<qint64>(store.countRange(fromMs, toMs, address), 1 << 26));
    for (int i = 0; i < CurveCount; ++i) {
        data[i] = static_cast<CurveData *>(plot->graph(i)->data().data());
        data[i]->reserveMore(expected);
    }
    QVector<LiveValue> values;
    for (const CurveGraph &g : curveGraphs)
        values.append(g.recorded);
    int points = 0;
    store.forEachValueInRange(fromMs, toMs, address, values, [&](const LiveSample &s) {
        const double key = double(quint32(s.timeMs / 1000));
        if (key - lastCurveKey < 1.0)
            return true;
        for (int i = 0; i < CurveCount; ++i)
            data[i]->append(key, s.value(curveGraphs[i].recorded));
        lastCurveKey = key;
        ++points;
        return true;
    });
    if (points == 0)
        return 0;

    for (int i = 0; i < CurveCount; ++i)
        plot->graph(i)->rescaleValueAxis(true, false);
    for (int i = 0; i < CurveCount; ++i)
        plot->graph(i)->rescaleKeyAxis(true);
    const qint64 span = qint64(curveMinutes) * 60;
    plot->xAxis->setRange(lastCurveKey - double(span), lastCurveKey);
    plot->replot();
    return points;
}

void MainWindow::showRecordedDay(HistoryStore &store, int address, qint64 fromMs, qint64 toMs)
{
    QCustomPlot *plot = ui->customplot;
    const QCPGraph *first = plot->graph(0);
    const bool empty = first->dataCount() == 0;
    const double firstKey = empty ? 0.0 : first->dataMainKey(0);
    QVector<LiveValue> values;
    for (const CurveGraph &g : curveGraphs)
        values.append(g.recorded);
    // Only what lies outside the points the curve holds: before its first
    // key or after its last, so no second has two points.
    QVector<QCPGraphData> points[CurveCount];
    double newest = lastCurveKey;
    // Nothing ahead of now: live points go on after the newest key.
    const qint64 untilMs = qMin(toMs, QDateTime::currentMSecsSinceEpoch());
    store.forEachValueInRange(fromMs, untilMs, address, values, [&](const LiveSample &s) {
        const double key = double(quint32(s.timeMs / 1000));
        const bool before = !empty && key < firstKey;
        const bool after = key - newest >= 1.0;
        if (!before && !after)
            return true;
        if (!points[0].isEmpty() && key - points[0].last().key < 1.0)
            return true;
        for (int i = 0; i < CurveCount; ++i)
            points[i].append(QCPGraphData(key, s.value(curveGraphs[i].recorded)));
        if (after)
            newest = key;
        return true;
    });
    for (int i = 0; i < CurveCount; ++i) {
        plot->graph(i)->data()->add(points[i], true);
        plot->graph(i)->rescaleValueAxis(true, false);
    }
    lastCurveKey = newest;
    curveDayHeld = true;
    plot->xAxis->setRange(double(fromMs / 1000), double(toMs / 1000));
    plot->replot();
}

void MainWindow::on_lineEdit_72_textChanged(const QString &text)
{
    bool ok = false;
    const int minutes = text.toInt(&ok, 10);
    curveMinutes = ok ? minutes : 0;
    curveDayHeld = false;
}

void MainWindow::cureMousePoint(QMouseEvent *event)
{
    QCustomPlot *plot = ui->customplot;
    const QPoint pixel = event->pos();
    const double x = plot->xAxis->pixelToCoord(pixel.x());
    const double y = plot->yAxis->pixelToCoord(pixel.y());
    const QString time =
        QDateTime::fromSecsSinceEpoch(qint64(x)).toString(QStringLiteral("hh:mm:ss"));

    const QCPGraph *first = plot->graph(0);
    const double firstKey = first->dataCount() > 0 ? first->dataMainKey(0) : 0.0;
    const bool inside = first->dataCount() > 0 && x >= firstKey && x <= plot->xAxis->range().upper
                        && y < plot->yAxis->range().upper;
    if (!inside) {
        curveReadout->setVisible(false);
        for (QCPItemTracer *tracer : curveTracers)
            tracer->setVisible(false);
        plot->replot();
        return;
    }

    double values[CurveCount] = {};
    for (int i = 0; i < CurveCount; ++i) {
        QCPItemTracer *tracer = curveTracers[i];
        if (tracer->graph() != plot->graph(i))
            tracer->setGraph(plot->graph(i));
        tracer->setVisible(true);
        tracer->setGraphKey(x);
        // The tracer moves to its key only on a redraw; bring it there now so
        // the read-out matches the pointer rather than the previous event.
        if (tracer->graph()->dataCount() > 0)
            tracer->updatePosition();
        const QPoint at = tracer->position->pixelPosition().toPoint();
        values[i] = tracer->graph()->valueAxis()->pixelToCoord(at.y());
    }

    curveReadout->setVisible(true);
    curveReadout->position->setPixelPosition(pixel);
    curveReadout->setText(
        tr("PV Voltage:%1V\nBattery Voltage:%2V\nLoad Voltage:%3V\n"
           "Charging Current:%4A\nDischarge Current:%5A\nTime:%6")
            .arg(values[0], 0, 'f', 2)
            .arg(values[1], 0, 'f', 2)
            .arg(values[2], 0, 'f', 2)
            .arg(values[3], 0, 'f', 2)
            .arg(values[4], 0, 'f', 2)
            .arg(time));
    // Down and to the left of the pointer, unless the plot's edge would cut
    // the box there: then it hangs on the side that has room.
    const QRect room = plot->axisRect()->rect();
    const QSize box = QFontMetrics(curveReadout->font())
                          .boundingRect(QRect(), Qt::TextDontClip | Qt::AlignLeft, curveReadout->text())
                          .size()
                      + QSize(curveReadout->padding().left() + curveReadout->padding().right(), 0);
    const Qt::Alignment side = pixel.x() - box.width() < room.left() ? Qt::AlignLeft : Qt::AlignRight;
    const Qt::Alignment end = pixel.y() + box.height() > room.bottom() ? Qt::AlignBottom : Qt::AlignTop;
    curveReadout->setPositionAlignment(side | end);
    plot->replot();
}
