#ifndef LOGGER_OPTIONS_H
#define LOGGER_OPTIONS_H

#include <QString>
#include <QStringList>
#include <string>

#include "bus_config.h"
#include "headless_logger.h"
#include "line_sink.h"

struct LoggerOptions
{
    QString configPath;    // absolute
    QString outPath;       // empty: stdout
    LineSink::Format format = LineSink::Format::JsonLines;
    QString dbPath;        // --db; empty: [record] database or the default
    bool record = true;    // false: --no-record
    HeadlessLogger::Timing timing;
    // --metrics or [metrics] listen: where /metrics is served; empty: nowhere.
    std::string metricsHost;
    int metricsPort = -1;
    // [bus]: every controller on the line; not enabled: the one address.
    BusConfig bus;
};

enum class ParseResult { Run, Exit, Error };

// Reads the command line and checks config.ini. On Exit, output holds the
// help or version text; on Error, a message for stderr (exit code 2).
ParseResult parseLoggerOptions(const QStringList &arguments, LoggerOptions &options,
                               QString &output);

// What is wrong with the settings file for a headless run, or empty.
// bus, when given, receives [bus] as read.
QString checkLoggerConfig(const QString &path, BusConfig *bus = nullptr);

#endif
