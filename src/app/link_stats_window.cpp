#include "link_stats_window.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

#include "mainwindow.h"
#include "monitor_core.h"
#include "operator_feedback.h"

namespace {

constexpr int RefreshMs = 500;

QString count(quint64 n)
{
    return QString::number(n);
}

} // namespace

LinkStatsWindow::LinkStatsWindow(const MonitorCore &core, QWidget *parent)
    : QWidget(parent, Qt::Window), core_(core)
{
    setObjectName(QStringLiteral("linkStatsWindow"));
    setWindowTitle(tr("Link statistics"));

    const QStringList columns = {tr("Live values"), tr("Totals"), tr("Identity"), tr("Scan"),
                                 tr("Parameter read"), tr("Parameter write"), tr("Command"),
                                 tr("All")};
    QStringList rows = {tr("Sent"), tr("Answered"), tr("Failed"), tr("Timed out"), tr("Re-sent"),
                        tr("Bad checksum"), tr("Wrong address"), tr("Wrong transaction"),
                        tr("Wrong unit"), tr("Malformed"), tr("Exception answers"),
                        tr("Bytes out"), tr("Bytes in"), tr("Round trip, mean (ms)")};
    for (double bound : RequestCounters::RttBoundSeconds)
        rows << tr("Round trip up to %1 ms").arg(bound * 1000, 0, 'f', 0);
    rows << tr("Round trip over %1 ms")
                .arg(RequestCounters::RttBoundSeconds[RequestCounters::RttBounds - 1] * 1000, 0, 'f', 0);

    table = new QTableWidget(rows.size(), columns.size(), this);
    table->setObjectName(QStringLiteral("linkStatsTable"));
    table->setHorizontalHeaderLabels(columns);
    table->setVerticalHeaderLabels(rows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < columns.size(); ++c) {
            auto *item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table->setItem(r, c, item);
        }
    }

    exceptionCodes = new QLabel(this);
    exceptionCodes->setObjectName(QStringLiteral("linkStatsExceptionCodes"));
    recent = new QLabel(this);
    recent->setObjectName(QStringLiteral("linkStatsRecent"));
    resetButton = new QPushButton(tr("Reset"), this);
    resetButton->setObjectName(QStringLiteral("linkStatsReset"));
    connect(resetButton, &QPushButton::clicked, this, [this] {
        emit resetRequested();
        refresh();
    });

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(recent, 1);
    bottom->addWidget(resetButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(table, 1);
    layout->addWidget(exceptionCodes);
    layout->addLayout(bottom);

    refresh_.setInterval(RefreshMs);
    connect(&refresh_, &QTimer::timeout, this, &LinkStatsWindow::refresh);
    table->setFocusPolicy(Qt::NoFocus);
    refresh();
}

// The whole table in view: the headers know their sizes once polished.
void LinkStatsWindow::fitTable()
{
    table->resizeColumnsToContents();
    table->resizeRowsToContents();
    // Room for scroll bars too: they only go once the table fits without them.
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2;
    const int width = table->verticalHeader()->width() + table->horizontalHeader()->length()
                      + 2 * table->frameWidth() + bar;
    const int height = table->horizontalHeader()->height() + table->verticalHeader()->length()
                       + 2 * table->frameWidth() + bar;
    table->setMinimumSize(qMin(width, 1400), qMin(height, 800));
    adjustSize();
}

void LinkStatsWindow::refresh()
{
    const LinkStats &stats = core_.linkStats();
    quint64 byCode[RequestCounters::ExceptionSlots] = {};
    for (int column = 0; column <= RequestKindCount; ++column) {
        const RequestCounters c = column == AllColumn ? stats.total()
                                                      : stats.counters(RequestKind(column));
        const quint64 values[] = {c.sent, c.answered, c.failed, c.timedOut, c.resent,
                                  c.badChecksum, c.wrongAddress, c.wrongTransaction, c.wrongUnit,
                                  c.malformed, c.exceptionTotal(), c.bytesOut, c.bytesIn};
        for (int row = 0; row < int(sizeof values / sizeof values[0]); ++row)
            table->item(row, column)->setText(count(values[row]));
        table->item(MeanRoundTrip, column)
            ->setText(c.rttCount ? QString::number(c.rttSumSeconds * 1000 / double(c.rttCount), 'f', 1)
                                 : QStringLiteral("-"));
        for (int b = 0; b <= RequestCounters::RttBounds; ++b)
            table->item(FirstRoundTripBucket + b, column)->setText(count(c.rttBuckets[b]));
        if (column == AllColumn)
            std::copy(std::begin(c.exceptions), std::end(c.exceptions), byCode);
    }

    QStringList codes;
    for (int code = 1; code < RequestCounters::ExceptionSlots; ++code)
        if (byCode[code])
            codes << tr("%1: %2").arg(code).arg(byCode[code]);
    if (byCode[0])
        codes << tr("other: %1").arg(byCode[0]);
    exceptionCodes->setText(codes.isEmpty() ? tr("Exception codes: none")
                                            : tr("Exception codes: %1").arg(codes.join(QStringLiteral(", "))));
    recent->setText(recentText(stats.recent()));
    table->resizeColumnsToContents();
}

QString LinkStatsWindow::recentText(const LinkStats::Recent &r)
{
    if (r.finished == 0)
        return tr("No requests in the last five minutes");
    const double percent = 100.0 * double(r.answered) / double(r.finished);
    return tr("%1 % of %2 requests answered in the last five minutes")
        .arg(percent, 0, 'f', 1)
        .arg(r.finished);
}

void LinkStatsWindow::showEvent(QShowEvent *event)
{
    refresh();
    refresh_.start();
    QWidget::showEvent(event);
    if (!fitted_) {
        fitted_ = true;
        ensurePolished();
        table->horizontalHeader()->ensurePolished();
        fitTable();
    }
}

void LinkStatsWindow::hideEvent(QHideEvent *event)
{
    refresh_.stop();
    QWidget::hideEvent(event);
}

// --- the way in ------------------------------------------------------------------

LinkStatsEntry::LinkStatsEntry(MainWindow *window) : QObject(window), window_(window)
{
    action = new QAction(tr("Link statistics"), this);
    action->setObjectName(QStringLiteral("linkStatsAction"));
    action->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L));
    window->addAction(action);
    connect(action, &QAction::triggered, this, &LinkStatsEntry::open);

    // Beside whatever the corner already holds (About), in one row.
    QMenuBar *bar = window->menuBar();
    QWidget *previous = bar->cornerWidget(Qt::TopRightCorner);
    auto *corner = new QWidget(bar);
    auto *row = new QHBoxLayout(corner);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    cornerLink = new QLabel(QStringLiteral("<a href=\"stats\">%1</a>").arg(action->text()), corner);
    cornerLink->setObjectName(QStringLiteral("linkStatsCornerLink"));
    cornerLink->setToolTip(tr("Link statistics (Ctrl+Shift+L)"));
    connect(cornerLink, &QLabel::linkActivated, action, &QAction::trigger);
    row->addWidget(cornerLink);
    if (previous)
        row->addWidget(previous);
    bar->setCornerWidget(corner, Qt::TopRightCorner);
    corner->show();

    tooltipTimer_.setInterval(1000);
    connect(&tooltipTimer_, &QTimer::timeout, this, &LinkStatsEntry::updateTooltip);
    tooltipTimer_.start();
    updateTooltip();
}

void LinkStatsEntry::open()
{
    if (!statsWindow_) {
        statsWindow_ = new LinkStatsWindow(window_->core, window_);
        statsWindow_->setAttribute(Qt::WA_DeleteOnClose);
        connect(statsWindow_, &LinkStatsWindow::resetRequested, this, [this] {
            window_->core.resetLinkStats();
            updateTooltip();
        });
    }
    statsWindow_->show();
    statsWindow_->raise();
    statsWindow_->activateWindow();
}

void LinkStatsEntry::updateTooltip()
{
    if (QLabel *notice = window_->feedback() ? window_->feedback()->notice : nullptr)
        notice->setToolTip(LinkStatsWindow::recentText(window_->core.linkStats().recent()));
}
