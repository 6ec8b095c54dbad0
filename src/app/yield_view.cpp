// The "History" tab: a day's yield at a glance, from the per-day figures the
// history store keeps as it records.
#include "yield_view.h"

#include <QHeaderView>
#include <QLabel>
#include <QShortcut>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <qcustomplot.h>

#include "history_recording.h"
#include "mainwindow.h"

namespace {

const QColor generatedColour(46, 160, 67);
const QColor consumedColour(230, 126, 34);
const QColor lowestColour(31, 97, 201);
const QColor highestColour(200, 30, 30);

constexpr double BarWidth = 0.38;

QString kwh(double value)
{
    return QString::number(value, 'f', 0);
}

QString volts(double value)
{
    return QString::number(value, 'f', 2);
}

} // namespace

YieldView::YieldView(MainWindow *window) : QObject(window), window_(window)
{
    setObjectName(QStringLiteral("yieldView"));
    connect(window->history, &HistoryRecording::recordingChanged, this, &YieldView::setRecording);
    setRecording(window->history->store() != nullptr);
}

void YieldView::setRecording(bool on)
{
    QTabWidget *tabs = window_->findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    if (!on) {
        if (page_) {
            tabs->removeTab(tabs->indexOf(page_));
            delete page_;
        }
        return;
    }
    if (page_)
        return;
    buildPage(tabs);
    // After the two tabs of the form, which keep their places.
    const int index = tabs->addTab(page_, tr("History"));
    tabs->setTabToolTip(index, tr("Ctrl+%1").arg(index + 1));
    auto *key = new QShortcut(QKeySequence(Qt::CTRL | (Qt::Key_1 + index)), page_);
    key->setContext(Qt::WindowShortcut);
    connect(key, &QShortcut::activated, tabs, [tabs, this] { tabs->setCurrentWidget(page_); });
    connect(tabs, &QTabWidget::currentChanged, page_, [this, tabs](int current) {
        if (tabs->widget(current) == page_)
            refresh();
    });
}

void YieldView::buildPage(QWidget *tabs)
{
    // Made on the tab widget, so it takes the form's font as the other pages do.
    page_ = new QWidget(tabs);
    page_->setObjectName(QStringLiteral("tabHistory"));
    // The face and size of the form's pages, whose widgets each carry it.
    QFont font(QStringLiteral("Arial"), 12);
    font.setBold(true);
    page_->setFont(font);
    auto *layout = new QVBoxLayout(page_);
    layout->setContentsMargins(11, 11, 11, 11);
    layout->setSpacing(6);

    caption_ = new QLabel(page_);
    caption_->setObjectName(QStringLiteral("yieldCaption"));
    caption_->setWordWrap(true);
    caption_->setFont(font);
    layout->addWidget(caption_);

    plot_ = new QCustomPlot(page_);
    plot_->setObjectName(QStringLiteral("yieldPlot"));
    plot_->setFont(page_->font());
    layout->addWidget(plot_, 3);

    table_ = new QTableWidget(0, 5, page_);
    table_->setObjectName(QStringLiteral("yieldTable"));
    table_->setFont(font);
    table_->horizontalHeader()->setFont(font);
    table_->setHorizontalHeaderLabels({tr("Day"), tr("Generated (kWh)"), tr("Consumed (kWh)"),
                                       tr("Lowest battery voltage (V)"), tr("Highest battery voltage (V)")});
    table_->verticalHeader()->setVisible(false);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setToolTip(tr("Click a day to see its curve"));
    layout->addWidget(table_, 2);
    connect(table_, &QTableWidget::cellClicked, this, [this](int row, int) {
        if (QTableWidgetItem *item = table_->item(row, 0))
            openDay(item->data(Qt::UserRole).toLongLong());
    });

    QCPAxis *x = plot_->xAxis;
    x->setLabel(tr("Day"));
    plot_->yAxis->setLabel(tr("Energy (kWh)"));
    plot_->yAxis2->setVisible(true);
    plot_->yAxis2->setLabel(tr("Battery voltage (V)"));
    plot_->yAxis->setRangeLower(0);
    auto *group = new QCPBarsGroup(plot_);
    group->setSpacingType(QCPBarsGroup::stAbsolute);
    group->setSpacing(1);
    generated_ = new QCPBars(x, plot_->yAxis);
    generated_->setName(tr("Generated"));
    consumed_ = new QCPBars(x, plot_->yAxis);
    consumed_->setName(tr("Consumed"));
    for (QCPBars *bars : {generated_, consumed_}) {
        const QColor colour = bars == generated_ ? generatedColour : consumedColour;
        bars->setWidth(BarWidth);
        bars->setPen(QPen(colour.darker(130)));
        bars->setBrush(colour);
        bars->setBarsGroup(group);
    }
    lowest_ = plot_->addGraph(x, plot_->yAxis2);
    lowest_->setName(tr("Lowest battery voltage"));
    highest_ = plot_->addGraph(x, plot_->yAxis2);
    highest_->setName(tr("Highest battery voltage"));
    for (QCPGraph *g : {lowest_, highest_}) {
        const QColor colour = g == lowest_ ? lowestColour : highestColour;
        g->setLineStyle(QCPGraph::lsNone);
        g->setScatterStyle(QCPScatterStyle(g == lowest_ ? QCPScatterStyle::ssTriangleInverted
                                                        : QCPScatterStyle::ssTriangle,
                                           colour, colour, 8));
    }
    // The legend in a row of its own above the bars, which it would hide.
    plot_->legend->setVisible(true);
    plot_->legend->setFont(page_->font());
    plot_->legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    plot_->plotLayout()->insertRow(0);
    plot_->plotLayout()->addElement(0, 0, plot_->legend);
    plot_->plotLayout()->setRowStretchFactor(0, 0.001);
    for (QCPAxis *axis : {x, plot_->yAxis, plot_->yAxis2}) {
        axis->setLabelFont(page_->font());
        axis->setTickLabelFont(QFont(page_->font().family(), page_->font().pointSize() - 2));
    }
    connect(plot_, &QCustomPlot::mousePress, this, &YieldView::onPlotPressed);
}

void YieldView::refresh()
{
    HistoryStore *store = window_->history->store();
    if (!page_ || !store)
        return;
    store->flush();   // what was gathered belongs to today's figures
    address_ = window_->history->configuredAddress();
    const qint64 today = DailyYield::today();
    firstDay_ = today - (Days - 1);
    days_ = DailyYield::read(*store, address_, firstDay_, today);

    caption_->setText(tr("The last %1 days of the controller at address %2. Click a day to see its curve.")
                          .arg(Days)
                          .arg(address_));

    QVector<double> keys, generated, consumed, lowest, highest;
    for (const DayYield &d : qAsConst(days_)) {
        const double key = double(d.day - firstDay_);
        keys << key;
        generated << d.generatedKwh();
        consumed << d.consumedKwh();
        lowest << d.lowestVolts();
        highest << d.highestVolts();
    }
    generated_->setData(keys, generated, true);
    consumed_->setData(keys, consumed, true);
    lowest_->setData(keys, lowest, true);
    highest_->setData(keys, highest, true);

    // A label every third day, the newest always: thirty would not fit.
    auto ticker = QSharedPointer<QCPAxisTickerText>::create();
    for (int i = Days - 1; i >= 0; i -= 3)
        ticker->addTick(i, DayYield{0, firstDay_ + i}.date().toString(QStringLiteral("MM-dd")));
    plot_->xAxis->setTicker(ticker);
    plot_->xAxis->setRange(-0.7, Days - 0.3);
    double top = 10;
    for (int i = 0; i < keys.size(); ++i)
        top = qMax(top, qMax(generated[i], consumed[i]));
    plot_->yAxis->setRange(0, top * 1.25);
    if (keys.isEmpty()) {
        plot_->yAxis2->setRange(0, 15);
    } else {
        plot_->yAxis2->rescale();   // lowest_ and highest_ are its only graphs
        const QCPRange r = plot_->yAxis2->range();
        plot_->yAxis2->setRange(r.lower - 0.5, r.upper + 0.5);
    }
    plot_->replot();

    // Newest first: today is what one looks for.
    table_->setRowCount(days_.size());
    for (int row = 0; row < days_.size(); ++row) {
        const DayYield &d = days_[days_.size() - 1 - row];
        const QString cells[] = {d.date().toString(Qt::ISODate), kwh(d.generatedKwh()),
                                 kwh(d.consumedKwh()), volts(d.lowestVolts()), volts(d.highestVolts())};
        for (int c = 0; c < 5; ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            item->setData(Qt::UserRole, d.day);
            item->setTextAlignment(c == 0 ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignRight | Qt::AlignVCenter);
            table_->setItem(row, c, item);
        }
    }
    // Some room beside the widest text: a style's header margins are slim
    // for a bold Han caption.
    table_->resizeColumnsToContents();
    for (int c = 0; c < table_->columnCount(); ++c)
        table_->setColumnWidth(c, table_->columnWidth(c) + 16);
}

void YieldView::onPlotPressed(QMouseEvent *event)
{
    if (!plot_->axisRect()->rect().contains(event->pos()))
        return;
    const int offset = qRound(plot_->xAxis->pixelToCoord(event->pos().x()));
    openDay(firstDay_ + offset);
}

bool YieldView::openDay(qint64 day)
{
    HistoryStore *store = window_->history->store();
    const bool recorded = std::any_of(days_.cbegin(), days_.cend(),
                                      [day](const DayYield &d) { return d.day == day; });
    if (!store || !recorded)
        return false;
    window_->showRecordedDay(*store, address_, DailyYield::dayStartMs(day), DailyYield::dayEndMs(day));
    window_->findChild<QTabWidget *>(QStringLiteral("tabWidget"))->setCurrentIndex(0);
    return true;
}
