#ifndef HISTORY_EXPORT_H
#define HISTORY_EXPORT_H

#include <QObject>

#include "csv_export.h"

class HistoryRecording;
class MainWindow;
class QAction;
class QDateTime;

// "Export CSV" in the menu bar, after "Setting" and "Connect", while the
// window records: a time range (the recorded span to start with), a file
// dialog, then the rows written with a progress dialog for long ranges.
class HistoryExport : public QObject
{
    Q_OBJECT

public:
    HistoryExport(MainWindow *window, HistoryRecording *recording);

    // In the menu bar only while recording is on.
    QAction *action() const { return action_; }

    // Writes the recorded rows with fromMs <= time <= toMs to path, on a
    // connection of its own so recording goes on meanwhile; a range that
    // takes a while shows a progress dialog that can cancel it.
    CsvExportResult exportRange(qint64 fromMs, qint64 toMs, const QString &path);

    // The menu action: asks for the range and the file, exports, tells.
    void run();

private:
    void setAvailable(bool on);
    bool askRange(QDateTime &from, QDateTime &to);

    MainWindow *window_;
    HistoryRecording *recording_;
    QAction *action_;
};

#endif
