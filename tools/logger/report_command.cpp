#include "report_command.h"

#include <QTextStream>

#include "daily_yield.h"
#include "history_command.h"
#include "history_store.h"

namespace {

QString number(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

void writeTable(QTextStream &out, const QVector<DayYield> &days)
{
    const QString header = QStringLiteral("%1  %2  %3  %4  %5  %6")
                               .arg(QStringLiteral("date"), -10)
                               .arg(QStringLiteral("address"), 7)
                               .arg(QStringLiteral("generated kWh"), 13)
                               .arg(QStringLiteral("consumed kWh"), 12)
                               .arg(QStringLiteral("lowest V"), 8)
                               .arg(QStringLiteral("highest V"), 9);
    out << header << '\n';
    for (const DayYield &d : days)
        out << QStringLiteral("%1  %2  %3  %4  %5  %6")
                   .arg(d.date().toString(Qt::ISODate), -10)
                   .arg(d.address, 7)
                   .arg(number(d.generatedKwh(), 0), 13)
                   .arg(number(d.consumedKwh(), 0), 12)
                   .arg(number(d.lowestVolts(), 2), 8)
                   .arg(number(d.highestVolts(), 2), 9)
            << '\n';
    if (days.isEmpty())
        out << "(no readings in these days)\n";
}

void writeCsv(QTextStream &out, const QVector<DayYield> &days)
{
    out << "date,address,generated (kWh),consumed (kWh),lowest batteryVoltage (V),"
           "highest batteryVoltage (V),readings\n";
    for (const DayYield &d : days)
        out << d.date().toString(Qt::ISODate) << ',' << d.address << ','
            << number(d.generatedKwh(), 0) << ',' << number(d.consumedKwh(), 0) << ','
            << number(d.lowestVolts(), 2) << ',' << number(d.highestVolts(), 2) << ',' << d.samples
            << '\n';
}

// One JSON object a line, as the logger writes its readings.
void writeJson(QTextStream &out, const QVector<DayYield> &days)
{
    for (const DayYield &d : days)
        out << "{\"date\":\"" << d.date().toString(Qt::ISODate) << "\",\"address\":" << d.address
            << ",\"generatedKwh\":" << number(d.generatedKwh(), 0)
            << ",\"consumedKwh\":" << number(d.consumedKwh(), 0)
            << ",\"lowestBatteryVoltage\":" << number(d.lowestVolts(), 2)
            << ",\"highestBatteryVoltage\":" << number(d.highestVolts(), 2)
            << ",\"readings\":" << d.samples << "}\n";
}

} // namespace

bool isReportCommand(const QStringList &arguments)
{
    return arguments.size() > 1 && arguments.at(1) == QLatin1String("report");
}

int runReportCommand(const QStringList &arguments)
{
    HistoryCommand command(QStringLiteral("report"), QStringLiteral(
        "Prints, for each day of the last N (today included) with readings, what each\n"
        "controller generated and consumed in kWh, from the rise of its recorded energy\n"
        "totals (a cleared counter and days without readings count nothing), and its\n"
        "lowest and highest battery voltage."));
    const QCommandLineParser &parser = command.parser;
    const QCommandLineOption days(QStringLiteral("days"), QStringLiteral("How many days (default 30)."),
                                  QStringLiteral("n"), QStringLiteral("30"));
    const QCommandLineOption format(QStringLiteral("format"),
                                    QStringLiteral("table (default), csv or json (one line a day)."),
                                    QStringLiteral("format"), QStringLiteral("table"));
    const QCommandLineOption address(QStringLiteral("address"),
                                     QStringLiteral("Only the controller at this bus address."),
                                     QStringLiteral("n"));
    if (const int code = command.parse(arguments, {days, format, address}); code >= 0)
        return code;
    bool ok = false;
    const int dayCount = parser.value(days).toInt(&ok);
    if (!ok || dayCount < 1 || dayCount > 36600)
        return command.fail(QStringLiteral("--days \"%1\" is not a number of days from 1 to 36600")
                        .arg(parser.value(days)), 2);
    const QString style = parser.value(format);
    if (style != QLatin1String("table") && style != QLatin1String("csv") && style != QLatin1String("json"))
        return command.fail(QStringLiteral("--format \"%1\" is not table, csv or json").arg(style), 2);
    int only = -1;
    if (parser.isSet(address)) {
        only = parser.value(address).toInt(&ok);
        if (!ok || only < 0 || only > 255)
            return command.fail(QStringLiteral("--address \"%1\" is not a bus address (0 to 255)")
                            .arg(parser.value(address)), 2);
    }

    QString path;
    if (const int code = command.historyPath(&path); code >= 0)
        return code;
    HistoryStore store;
    if (!store.open(path))
        return command.fail(store.errorString(), 1);

    const qint64 last = DailyYield::today();
    const QVector<DayYield> list = DailyYield::read(store, only, last - dayCount + 1, last);
    QTextStream out(stdout);
    if (style == QLatin1String("csv"))
        writeCsv(out, list);
    else if (style == QLatin1String("json"))
        writeJson(out, list);
    else
        writeTable(out, list);
    out.flush();
    return out.status() == QTextStream::Ok ? 0 : 1;
}
