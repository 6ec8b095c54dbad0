#ifndef LINK_STATS_WINDOW_H
#define LINK_STATS_WINDOW_H

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "link_stats.h"

class MainWindow;
class MonitorCore;
class QAction;
class QLabel;
class QPushButton;
class QTableWidget;

// The link statistics of one core as a table, a column per request kind and
// one for all of them, refreshed while shown. Non-modal: polling goes on.
class LinkStatsWindow : public QWidget
{
    Q_OBJECT

public:
    // Rows of the table, in order; the round-trip histogram follows them.
    enum Row {
        Sent, Answered, Failed, TimedOut, Resent, BadChecksum, WrongAddress,
        WrongTransaction, WrongUnit, Malformed, Exceptions, BytesOut, BytesIn, MeanRoundTrip,
        FirstRoundTripBucket,
    };
    static constexpr int AllColumn = RequestKindCount;

    explicit LinkStatsWindow(const MonitorCore &core, QWidget *parent = nullptr);

    void refresh();
    // "97.5 % of 200 requests answered in the last five minutes", or that
    // none were asked.
    static QString recentText(const LinkStats::Recent &recent);

    QTableWidget *table = nullptr;
    QLabel *exceptionCodes = nullptr;
    QLabel *recent = nullptr;
    QPushButton *resetButton = nullptr;

signals:
    void resetRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void fitTable();

    const MonitorCore &core_;
    QTimer refresh_;
    bool fitted_ = false;
};

// The window's way in: "Link statistics" beside About in the menu bar's
// corner and Ctrl+Shift+L, and the answer rate as the tooltip of the link
// text in the status bar.
class LinkStatsEntry : public QObject
{
    Q_OBJECT

public:
    explicit LinkStatsEntry(MainWindow *window);

    void open();
    void updateTooltip();
    LinkStatsWindow *statsWindow() const { return statsWindow_; }

    QAction *action = nullptr;
    QLabel *cornerLink = nullptr;

private:
    MainWindow *window_;
    QPointer<LinkStatsWindow> statsWindow_;
    QTimer tooltipTimer_;
};

#endif
