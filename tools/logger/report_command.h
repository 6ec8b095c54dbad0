#ifndef REPORT_COMMAND_H
#define REPORT_COMMAND_H

#include <QStringList>

// solar-logger report [--days N] [--format table|csv|json] [--address N]
//                     [--config FILE] [--db FILE]:
// per day of the last N, what each controller generated and consumed (kWh)
// and its lowest and highest battery voltage, from the history file the
// logger records into with the same --config and --db.
bool isReportCommand(const QStringList &arguments);
// Returns the exit code: 0 written (or help shown), 1 the history failed,
// 2 bad arguments.
int runReportCommand(const QStringList &arguments);

#endif
