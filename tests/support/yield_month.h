#ifndef YIELD_MONTH_H
#define YIELD_MONTH_H

#include <QString>
#include <QStringList>
#include <QVector>

#include "daily_yield.h"
#include "live_sample.h"

// A recorded month of one controller (address 1) with what goes wrong in
// real files: readings every hour from 06:00 to 20:00 local time, the
// generated total rising twice a day and the consumed one at night, both
// counters cleared on day 10 right after a rise the readings never saw, no
// readings on days 20 to 22 while the counters go on, a voltage dip on day 5,
// and a second controller (address 2) answering on days 0 to 2.
namespace YieldMonth {

constexpr int Days = 30;
constexpr int UtcOffsetSeconds = 3600;

// Readings in time order, the month starting on local day firstDay.
QVector<LiveSample> samples(qint64 firstDay);

// The expected days of address 1, written out (not computed by the rules).
QVector<DayYield> expected(qint64 firstDay);

// The same as table rows: "yyyy-MM-dd generated consumed lowest highest"
// with kWh and volts as the report and the window print them.
QStringList expectedRows(qint64 firstDay);
QString row(const DayYield &d);

} // namespace YieldMonth

#endif
