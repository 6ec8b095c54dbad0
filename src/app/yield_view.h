#ifndef YIELD_VIEW_H
#define YIELD_VIEW_H

#include <QObject>
#include <QPointer>
#include <QVector>

#include "daily_yield.h"

class MainWindow;
class QCustomPlot;
class QCPBars;
class QCPGraph;
class QLabel;
class QMouseEvent;
class QTableWidget;
class QWidget;

// The "History" tab, there while the window records: what the window's
// controller generated and consumed on each of the last Days days (bars, in
// kWh) with the day's lowest and highest battery voltage, and the same as a
// table. A day clicked in either opens its curve in "Curve view".
class YieldView : public QObject
{
    Q_OBJECT

public:
    static constexpr int Days = 30;

    explicit YieldView(MainWindow *window);

    // The tab's page while recording is on, else nullptr.
    QWidget *page() const { return page_; }
    QCustomPlot *plot() const { return plot_; }
    QTableWidget *table() const { return table_; }
    QCPBars *generatedBars() const { return generated_; }
    QCPBars *consumedBars() const { return consumed_; }
    const QVector<DayYield> &days() const { return days_; }
    qint64 firstDay() const { return firstDay_; }

    // Reads the days again (done whenever the tab is shown).
    void refresh();
    // Shows a day in the curve view; false when it has no readings.
    bool openDay(qint64 day);

private:
    void setRecording(bool on);
    void buildPage(QWidget *tabs);
    void onPlotPressed(QMouseEvent *event);

    MainWindow *window_;
    QPointer<QWidget> page_;
    QCustomPlot *plot_ = nullptr;
    QTableWidget *table_ = nullptr;
    QLabel *caption_ = nullptr;
    QCPBars *generated_ = nullptr;
    QCPBars *consumed_ = nullptr;
    QCPGraph *lowest_ = nullptr;
    QCPGraph *highest_ = nullptr;
    QVector<DayYield> days_;
    qint64 firstDay_ = 0;
    int address_ = 0;
};

#endif
