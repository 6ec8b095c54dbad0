#include "csv_export.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTimeZone>

#include "history_store.h"

namespace {

constexpr qint64 ProgressEvery = 4096;
constexpr int WriteChunk = 1 << 16;

QString tr(const char *text)
{
    return QCoreApplication::translate("CsvExport", text);
}

} // namespace

CsvExportResult exportCsv(HistoryStore &store, qint64 fromMs, qint64 toMs, const QString &path,
                          const ExportProgress &progress, int address)
{
    CsvExportResult result;
    if (!store.isOpen()) {
        result.error = tr("No history is open");
        return result;
    }
    store.flush();   // what is gathered belongs to the range too
    const qint64 total = store.countRange(fromMs, toMs, address);
    // QSaveFile: an interrupted export never leaves a truncated file behind.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        result.error = tr("%1 cannot be written: %2").arg(path, file.errorString());
        return result;
    }
    QByteArray buffer;
    buffer.reserve(WriteChunk + 1024);
    appendLiveSampleCsvHeader(buffer);
    buffer.append('\n');
    bool cancelled = false;
    bool writeFailed = false;
    const bool read = store.forEachInRange(fromMs, toMs, [&](const LiveSample &s) {
        appendLiveSampleCsvRow(buffer, s);
        buffer.append('\n');
        ++result.rows;
        if (buffer.size() >= WriteChunk) {
            if (file.write(buffer) != buffer.size()) {
                writeFailed = true;
                return false;
            }
            buffer.clear();
        }
        if (progress && result.rows % ProgressEvery == 0 && !progress(result.rows, total)) {
            cancelled = true;
            return false;
        }
        return true;
    }, address);
    if (!writeFailed && !cancelled && file.write(buffer) != buffer.size())
        writeFailed = true;
    if (cancelled) {
        file.cancelWriting();
        result.error = tr("Export cancelled");
        return result;
    }
    if (!read) {
        file.cancelWriting();
        result.error = tr("History file %1 cannot be read").arg(store.path());
        return result;
    }
    if (writeFailed || !file.commit()) {
        result.error = tr("%1 cannot be written: %2").arg(path, file.errorString());
        return result;
    }
    if (progress)
        progress(result.rows, total);
    result.ok = true;
    return result;
}

bool parseIsoTime(const QString &text, qint64 *msSinceEpoch)
{
    static const QRegularExpression pattern(QStringLiteral(
        "^(\\d{4})-(\\d{2})-(\\d{2})(?:[T ](\\d{2}):(\\d{2})(?::(\\d{2})(?:[.,](\\d{1,3}))?)?"
        "(Z|[+-]\\d{2}(?::?\\d{2})?)?)?$"));
    const QRegularExpressionMatch m = pattern.match(text.trimmed());
    if (!m.hasMatch())
        return false;
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    QString fraction = m.captured(7);
    while (!fraction.isEmpty() && fraction.size() < 3)
        fraction += QLatin1Char('0');
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt(),
                     fraction.toInt());
    if (!date.isValid() || !time.isValid())
        return false;
    const QString zone = m.captured(8);
    QDateTime dt;
    if (zone.isEmpty()) {
        dt = QDateTime(date, time, Qt::LocalTime);
    } else if (zone == QLatin1String("Z")) {
        dt = QDateTime(date, time, Qt::UTC);
    } else {
        const int sign = zone.at(0) == QLatin1Char('-') ? -1 : 1;
        const QString digits = QString(zone.mid(1)).remove(QLatin1Char(':'));
        const int hours = digits.left(2).toInt();
        const int minutes = digits.size() > 2 ? digits.mid(2, 2).toInt() : 0;
        if (hours > 23 || minutes > 59)
            return false;
        dt = QDateTime(date, time, Qt::OffsetFromUTC, sign * (hours * 3600 + minutes * 60));
    }
    if (!dt.isValid())
        return false;
    *msSinceEpoch = dt.toMSecsSinceEpoch();
    return true;
}
