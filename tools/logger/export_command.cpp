#include "export_command.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>

#include "config_file.h"
#include "csv_export.h"
#include "history_store.h"

namespace {

int fail(const QString &message, int code)
{
    QTextStream(stderr) << "solar-logger export: " << message << '\n';
    return code;
}

constexpr qint64 DayMs = 86400000;

// A date alone as --to means the whole of that day.
bool isDateOnly(const QString &text)
{
    static const QRegularExpression date(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d$"));
    return date.match(text.trimmed()).hasMatch();
}

bool readTime(const QString &option, const QString &text, bool endOfDay, qint64 *ms, QString &error)
{
    if (!parseIsoTime(text.trimmed(), ms)) {
        error = QStringLiteral("--%1 \"%2\" is not an ISO 8601 time (e.g. 2026-12-10, "
                               "2026-12-10T08:00, 2026-12-10T08:00:00+01:00)")
                    .arg(option, text);
        return false;
    }
    if (endOfDay && isDateOnly(text))
        *ms += DayMs - 1;
    return true;
}

} // namespace

bool isExportCommand(const QStringList &arguments)
{
    return arguments.size() > 1 && arguments.at(1) == QLatin1String("export");
}

int runExportCommand(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes the readings recorded between two times (both included) as CSV: a header\n"
        "with names and units, ISO 8601 times, C locale numbers. TIME is ISO 8601 local\n"
        "time or with an offset: 2026-12-10, 2026-12-10T08:00, 2026-12-10T08:00:30Z,\n"
        "2026-12-10T08:00:00+01:00; a date alone as --to means to the end of that day."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption from(QStringLiteral("from"), QStringLiteral("First time of the range."),
                                  QStringLiteral("time"));
    const QCommandLineOption to(QStringLiteral("to"), QStringLiteral("Last time of the range."),
                                QStringLiteral("time"));
    const QCommandLineOption out(QStringLiteral("out"), QStringLiteral("CSV file to write."),
                                 QStringLiteral("file"));
    const QCommandLineOption config(QStringLiteral("config"),
                                    QStringLiteral("Settings file naming the history in [record] database "
                                                   "(default: config.ini in the working directory)."),
                                    QStringLiteral("file"));
    const QCommandLineOption db(QStringLiteral("db"),
                                QStringLiteral("History file (default: as the logger finds it, else %1).")
                                    .arg(HistoryStore::defaultPath()),
                                QStringLiteral("file"));
    parser.addOptions({help, from, to, out, config, db});

    QStringList rest = arguments;
    rest.removeAt(1);   // "export"
    if (!parser.parse(rest))
        return fail(parser.errorText() + QStringLiteral("\nTry solar-logger export --help."), 2);
    if (parser.isSet(help)) {
        QTextStream(stdout) << parser.helpText().replace(QLatin1String("[options]"),
                                                         QLatin1String("export [options]"));
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first()), 2);
    for (const QCommandLineOption *needed : {&from, &to, &out}) {
        if (!parser.isSet(*needed) || parser.value(*needed).isEmpty())
            return fail(QStringLiteral("--%1 is needed\nTry solar-logger export --help.")
                            .arg(needed->names().first()), 2);
    }
    qint64 fromMs = 0, toMs = 0;
    QString error;
    if (!readTime(QStringLiteral("from"), parser.value(from), false, &fromMs, error)
        || !readTime(QStringLiteral("to"), parser.value(to), true, &toMs, error))
        return fail(error, 2);
    if (fromMs > toMs)
        return fail(QStringLiteral("--from is later than --to"), 2);

    QString path = parser.value(db);
    if (path.isEmpty()) {
        const QString configPath = QFileInfo(parser.isSet(config) ? parser.value(config)
                                                                  : ConfigFile::defaultPath())
                                       .absoluteFilePath();
        if (parser.isSet(config) && !QFileInfo(configPath).isFile())
            return fail(QStringLiteral("%1: no such file").arg(configPath), 2);
        path = historyPath(readRecordConfig(ConfigFile(configPath), true), configPath);
    }
    // Opening would create an empty history; a wrong path is better told.
    if (!QFileInfo(path).isFile())
        return fail(QStringLiteral("no history at %1").arg(path), 1);

    HistoryStore store;
    if (!store.open(path))
        return fail(store.errorString(), 1);
    const CsvExportResult result = exportCsv(store, fromMs, toMs, parser.value(out));
    if (!result.ok)
        return fail(result.error, 1);
    QTextStream(stderr) << "solar-logger export: " << result.rows << " readings written to "
                        << parser.value(out) << '\n';
    return 0;
}
