#include "logger_options.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include "config_file.h"
#include "history_store.h"
#include "link_config.h"
#include "metrics_endpoint.h"

namespace {

bool positiveSeconds(const QString &text, int &ms)
{
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || seconds <= 0 || seconds > 86400)
        return false;
    ms = qMax(1, int(seconds * 1000));
    return true;
}

} // namespace

QString checkLoggerConfig(const QString &path, BusConfig *busOut)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("%1: no such file").arg(path);
    if (!info.isFile() || !info.isReadable())
        return QStringLiteral("%1: not a readable file").arg(path);

    const ConfigFile config(path);
    BusConfig bus;
    QString reason = readBusConfig(config, bus);
    if (reason.isEmpty()) {
        LinkConfig link = readLinkConfig(config);
        if (bus.enabled) {
            // The line's devices have their addresses in [bus], and may each
            // have their type in [device.N].
            link.addressSetting = FirstBusAddress;
            bool allTyped = !bus.scan;
            for (int a : qAsConst(bus.addresses))
                allTyped = allTyped && bus.controllerTypes.contains(a);
            if (allTyped && link.controller.isEmpty())
                link.controller = bus.controllerTypes.value(bus.addresses.value(0));
        }
        reason = unpollableLinkReason(link);
    }
    if (busOut)
        *busOut = bus;
    return reason.isEmpty() ? reason : path + QStringLiteral(": ") + reason;
}

ParseResult parseLoggerOptions(const QStringList &arguments, LoggerOptions &options,
                               QString &output)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Polls a solar charge controller with the settings of config.ini and writes every\n"
        "live-value reading as one line (JSON lines or CSV), plus the device identity.\n"
        "Every reading is also recorded in the history file ([record] of config.ini;\n"
        "enabled=false or --no-record turns that off) and, with [mqtt] enabled=true,\n"
        "published to an MQTT broker. With [bus] addresses=1,2,5-7 (or scan) it polls\n"
        "every controller of the line, each under its own address ([device.N]\n"
        "controller_type per address; [bus] interval=0 as fast as the line allows).\n"
        "\n"
        "solar-logger export --from TIME --to TIME --out FILE [--config FILE] [--db FILE]\n"
        "  writes the recorded readings of a time range as CSV (ISO 8601 times such as\n"
        "  2026-12-10 or 2026-12-10T08:00:00+01:00; see solar-logger export --help).\n"
        "solar-logger report [--days N] [--format table|csv|json] [--address N] [--config FILE]\n"
        "                   [--db FILE]\n"
        "  prints each day's generated and consumed kWh and battery voltage range."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Show the version."));
    const QCommandLineOption config(QStringLiteral("config"),
                                    QStringLiteral("Settings file (default: config.ini in the working directory)."),
                                    QStringLiteral("file"));
    const QCommandLineOption out(QStringLiteral("out"),
                                 QStringLiteral("Append lines to this file (default: standard output)."),
                                 QStringLiteral("file"));
    const QCommandLineOption format(QStringLiteral("format"),
                                    QStringLiteral("jsonl or csv (default jsonl)."), QStringLiteral("format"));
    const QCommandLineOption retryMax(QStringLiteral("retry-max"),
                                      QStringLiteral("Longest pause between reconnect attempts, seconds (default 60)."),
                                      QStringLiteral("s"));
    const QCommandLineOption silence(QStringLiteral("silence"),
                                     QStringLiteral("Reconnect when nothing was answered this long, seconds (default 120)."),
                                     QStringLiteral("s"));
    const QCommandLineOption db(QStringLiteral("db"),
                                QStringLiteral("History file (default: [record] database of the settings, else %1).")
                                    .arg(HistoryStore::defaultPath()),
                                QStringLiteral("file"));
    const QCommandLineOption noRecord(QStringLiteral("no-record"),
                                      QStringLiteral("Do not record into the history file."));
    const QCommandLineOption metrics(QStringLiteral("metrics"),
                                     QStringLiteral("Serve Prometheus metrics on http://HOST:PORT/metrics "
                                                    "(host 127.0.0.1 unless given; default: [metrics] listen, else off)."),
                                     QStringLiteral("host:port"));
    parser.addOptions({help, version, config, out, format, retryMax, silence, db, noRecord, metrics});

    if (!parser.parse(arguments)) {
        output = parser.errorText() + QStringLiteral("\nTry solar-logger --help.");
        return ParseResult::Error;
    }
    if (parser.isSet(help)) {
        output = parser.helpText();
        return ParseResult::Exit;
    }
    if (parser.isSet(version)) {
        output = QStringLiteral("solar-logger " SOLAR_VERSION);
        return ParseResult::Exit;
    }
    if (!parser.positionalArguments().isEmpty()) {
        output = QStringLiteral("unexpected argument: %1\nTry solar-logger --help.")
                     .arg(parser.positionalArguments().first());
        return ParseResult::Error;
    }

    const QString formatText = parser.isSet(format) ? parser.value(format) : QStringLiteral("jsonl");
    if (formatText == QLatin1String("jsonl"))
        options.format = LineSink::Format::JsonLines;
    else if (formatText == QLatin1String("csv"))
        options.format = LineSink::Format::Csv;
    else {
        output = QStringLiteral("--format must be jsonl or csv, not \"%1\"").arg(formatText);
        return ParseResult::Error;
    }
    if (parser.isSet(retryMax) && !positiveSeconds(parser.value(retryMax), options.timing.maxRetryMs)) {
        output = QStringLiteral("--retry-max wants seconds (more than 0, at most 86400)");
        return ParseResult::Error;
    }
    if (parser.isSet(silence) && !positiveSeconds(parser.value(silence), options.timing.silenceMs)) {
        output = QStringLiteral("--silence wants seconds (more than 0, at most 86400)");
        return ParseResult::Error;
    }
    options.timing.firstRetryMs = qMin(options.timing.firstRetryMs, options.timing.maxRetryMs);
    options.outPath = parser.value(out);
    if (parser.isSet(out) && options.outPath.isEmpty()) {
        output = QStringLiteral("--out wants a file name");
        return ParseResult::Error;
    }

    options.dbPath = parser.value(db);
    options.record = !parser.isSet(noRecord);
    if (parser.isSet(db) && options.dbPath.isEmpty()) {
        output = QStringLiteral("--db wants a file name");
        return ParseResult::Error;
    }
    if (parser.isSet(db) && parser.isSet(noRecord)) {
        output = QStringLiteral("--db and --no-record contradict each other");
        return ParseResult::Error;
    }

    options.configPath = QFileInfo(parser.isSet(config) ? parser.value(config)
                                                        : ConfigFile::defaultPath())
                             .absoluteFilePath();
    output = checkLoggerConfig(options.configPath, &options.bus);
    if (!output.isEmpty())
        return ParseResult::Error;

    const QString listen = parser.isSet(metrics)
                               ? parser.value(metrics)
                               : ConfigFile(options.configPath).value(QStringLiteral("metrics/listen"));
    if (parser.isSet(metrics) || !listen.trimmed().isEmpty()) {
        QString why;
        if (!parseListenAddress(listen, options.metricsHost, options.metricsPort, why)) {
            output = QStringLiteral("%1 %2").arg(parser.isSet(metrics) ? QStringLiteral("--metrics:")
                                                                        : QStringLiteral("[metrics] listen:"),
                                                 why);
            return ParseResult::Error;
        }
    }
    return ParseResult::Run;
}
