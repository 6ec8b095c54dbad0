#ifndef CSV_EXPORT_H
#define CSV_EXPORT_H

#include <QString>
#include <functional>

class HistoryStore;

// Writes the recorded samples with fromMs <= time <= toMs (every address, or
// one) to a CSV file: the logger's header and rows (names with units, ISO 8601
// times, C locale numbers). The file is streamed, so a year costs no more memory
// than a line. progress(done, total) is called every few thousand rows and at
// the end; returning false from it cancels, removes the partial file and
// reports "Export cancelled". The file appears only when it is complete.
struct CsvExportResult
{
    bool ok = false;
    qint64 rows = 0;
    QString error;
};

using ExportProgress = std::function<bool(qint64 done, qint64 total)>;

CsvExportResult exportCsv(HistoryStore &store, qint64 fromMs, qint64 toMs, const QString &path,
                          const ExportProgress &progress = ExportProgress(), int address = -1);

// An ISO 8601 time for --from/--to: "2026-12-10", "2026-12-10T08:00",
// "2026-12-10T08:00:30", with ".mmm" and a "Z" or "+hh:mm" offset allowed;
// without an offset it is local time, a date alone is its midnight.
// Returns false for anything else.
bool parseIsoTime(const QString &text, qint64 *msSinceEpoch);

#endif
