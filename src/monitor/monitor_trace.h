#ifndef MONITOR_TRACE_H
#define MONITOR_TRACE_H

#include <QLoggingCategory>

// Trace lines of the core, silent unless QT_LOGGING_RULES turns them on
// (e.g. "solar.*.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcLink)   // solar.link: connect, transport
Q_DECLARE_LOGGING_CATEGORY(lcPoll)   // solar.poll: refresh cycle

#endif
