#include "export_command.h"

#include <QRegularExpression>
#include <QTextStream>

#include "csv_export.h"
#include "history_command.h"
#include "history_store.h"

namespace {

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
    HistoryCommand command(QStringLiteral("export"), QStringLiteral(
        "Writes the readings recorded between two times (both included) as CSV: a header\n"
        "with names and units, ISO 8601 times, C locale numbers. TIME is ISO 8601 local\n"
        "time or with an offset: 2026-12-10, 2026-12-10T08:00, 2026-12-10T08:00:30Z,\n"
        "2026-12-10T08:00:00+01:00; a date alone as --to means to the end of that day."));
    const QCommandLineParser &parser = command.parser;
    const QCommandLineOption from(QStringLiteral("from"), QStringLiteral("First time of the range."),
                                  QStringLiteral("time"));
    const QCommandLineOption to(QStringLiteral("to"), QStringLiteral("Last time of the range."),
                                QStringLiteral("time"));
    const QCommandLineOption out(QStringLiteral("out"), QStringLiteral("CSV file to write."),
                                 QStringLiteral("file"));
    if (const int code = command.parse(arguments, {from, to, out}); code >= 0)
        return code;
    for (const QCommandLineOption *needed : {&from, &to, &out}) {
        if (!parser.isSet(*needed) || parser.value(*needed).isEmpty())
            return command.fail(QStringLiteral("--%1 is needed\nTry solar-logger export --help.")
                            .arg(needed->names().first()), 2);
    }
    qint64 fromMs = 0, toMs = 0;
    QString error;
    if (!readTime(QStringLiteral("from"), parser.value(from), false, &fromMs, error)
        || !readTime(QStringLiteral("to"), parser.value(to), true, &toMs, error))
        return command.fail(error, 2);
    if (fromMs > toMs)
        return command.fail(QStringLiteral("--from is later than --to"), 2);

    QString path;
    if (const int code = command.historyPath(&path); code >= 0)
        return code;
    HistoryStore store;
    if (!store.open(path))
        return command.fail(store.errorString(), 1);
    const CsvExportResult result = exportCsv(store, fromMs, toMs, parser.value(out));
    if (!result.ok)
        return command.fail(result.error, 1);
    QTextStream(stderr) << "solar-logger export: " << result.rows << " readings written to "
                        << parser.value(out) << '\n';
    return 0;
}
