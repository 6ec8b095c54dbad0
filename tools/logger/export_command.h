#ifndef EXPORT_COMMAND_H
#define EXPORT_COMMAND_H

#include <QStringList>

// solar-logger export --from TIME --to TIME --out FILE [--config FILE] [--db FILE]:
// the recorded readings of a time range as CSV, from the history file the
// logger records into with the same --config and --db.
bool isExportCommand(const QStringList &arguments);
// Returns the exit code: 0 written (or help shown), 1 the history or the
// file failed, 2 bad arguments.
int runExportCommand(const QStringList &arguments);

#endif
