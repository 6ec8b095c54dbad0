// CSV export of the recorded history from the window.
#include "history_export.h"

#include <QAction>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>

#include "history_recording.h"
#include "history_store.h"
#include "mainwindow.h"

namespace {

constexpr int ProgressAfterMs = 400;
const QString timeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

} // namespace

HistoryExport::HistoryExport(MainWindow *window, HistoryRecording *recording)
    : QObject(recording), window_(window), recording_(recording),
      action_(new QAction(tr("Export CSV"), this))
{
    connect(action_, &QAction::triggered, this, &HistoryExport::run);
    connect(recording, &HistoryRecording::recordingChanged, this, &HistoryExport::setAvailable);
}

void HistoryExport::setAvailable(bool on)
{
    QMenuBar *bar = window_->menuBar();
    if (on && !bar->actions().contains(action_))
        bar->addAction(action_);
    else if (!on)
        bar->removeAction(action_);
}

CsvExportResult HistoryExport::exportRange(qint64 fromMs, qint64 toMs, const QString &path)
{
    HistoryStore *recorded = recording_->store();
    if (!recorded || !recorded->isOpen()) {
        CsvExportResult result;
        result.error = recorded ? recorded->errorString() : tr("History is not recorded");
        return result;
    }
    recorded->flush();   // the rows gathered so far belong to the range
    HistoryStore store;
    if (!store.open(recorded->path())) {
        CsvExportResult result;
        result.error = store.errorString();
        return result;
    }

    QProgressDialog progress(tr("Exporting %1 ...").arg(QDir::toNativeSeparators(path)), tr("Cancel"),
                             0, 0, window_);
    progress.setWindowTitle(tr("Export CSV"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(ProgressAfterMs);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    const CsvExportResult result =
        exportCsv(store, fromMs, toMs, path, [&progress](qint64 done, qint64 total) {
            progress.setMaximum(int(qMin<qint64>(total, INT_MAX)));
            progress.setValue(int(qMin<qint64>(done, INT_MAX)));
            return !progress.wasCanceled();
        });
    progress.close();
    return result;
}

bool HistoryExport::askRange(QDateTime &from, QDateTime &to)
{
    QDialog dialog(window_);
    dialog.setWindowTitle(tr("Export CSV"));
    auto *layout = new QFormLayout(&dialog);
    auto *fromEdit = new QDateTimeEdit(from, &dialog);
    auto *toEdit = new QDateTimeEdit(to, &dialog);
    for (QDateTimeEdit *edit : {fromEdit, toEdit}) {
        edit->setObjectName(edit == fromEdit ? QStringLiteral("exportFrom") : QStringLiteral("exportTo"));
        edit->setDisplayFormat(timeFormat);
        edit->setCalendarPopup(true);
    }
    layout->addRow(tr("From:"), fromEdit);
    layout->addRow(tr("To:"), toEdit);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    from = fromEdit->dateTime();
    // The edit shows whole seconds: the last one shown is included whole.
    to = toEdit->dateTime().addMSecs(999);
    return true;
}

void HistoryExport::run()
{
    HistoryStore *store = recording_->store();
    qint64 first = 0, last = 0;
    if (store && store->isOpen()) {
        store->flush();
        store->span(&first, &last);
    }
    if (last == 0)
        first = last = QDateTime::currentMSecsSinceEpoch();
    QDateTime from = QDateTime::fromMSecsSinceEpoch(first - first % 1000);
    QDateTime to = QDateTime::fromMSecsSinceEpoch(last);
    if (!askRange(from, to))
        return;
    if (from > to) {
        QMessageBox::warning(window_, tr("Export CSV"), tr("The range ends before it begins."));
        return;
    }
    const QString suggested = QStringLiteral("history-%1.csv").arg(from.toString(QStringLiteral("yyyyMMdd-HHmm")));
    const QString path = QFileDialog::getSaveFileName(window_, tr("Export CSV"), suggested,
                                                      tr("CSV files (*.csv);;All files (*)"));
    if (path.isEmpty())
        return;
    const CsvExportResult result = exportRange(from.toMSecsSinceEpoch(), to.toMSecsSinceEpoch(), path);
    if (result.ok)
        QMessageBox::information(window_, tr("Export CSV"),
                                 tr("%1 readings written to %2.")
                                     .arg(result.rows)
                                     .arg(QDir::toNativeSeparators(path)));
    else
        QMessageBox::warning(window_, tr("Export CSV"), result.error);
}
