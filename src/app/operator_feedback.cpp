#include "operator_feedback.h"

#include <QAction>
#include <QKeySequence>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QTabWidget>
#include <qcustomplot.h>

#include "mainwindow.h"
#include "ui_mainwindow.h"

#ifndef SOLAR_VERSION
#define SOLAR_VERSION "unknown"
#endif

using LinkReason = MonitorCore::LinkReason;
using LinkState = MonitorCore::LinkState;
using Outcome = MonitorCore::ParameterOutcome;

OperatorFeedback::OperatorFeedback(MainWindow *window) : QObject(window), window_(window)
{
    // A label of its own rather than showMessage(), which would hide the
    // address label while a message is up.
    notice = new QLabel(window->statusBar());
    window->statusBar()->addWidget(notice, 1);
    connect(&window->core, &MonitorCore::linkChanged, this, &OperatorFeedback::onLinkChanged,
            Qt::DirectConnection);
    connect(&window->core, &MonitorCore::parameterFinished, this,
            &OperatorFeedback::onParameterFinished, Qt::DirectConnection);
    window->setWindowTitle(titleFor(window->core.lastLinkEvent()));
    addKeyboardAccess();
}

QString OperatorFeedback::toolName()
{
    return tr("Solar Charge Controller Monitor");
}

QString OperatorFeedback::linkText(const MonitorCore::LinkEvent &event)
{
    const QString where = event.portName;
    switch (event.reason) {
    case LinkReason::Connecting: return tr("Connecting to %1 ...").arg(where);
    case LinkReason::Connected: return tr("Connected to %1").arg(where);
    case LinkReason::ClosedByUser: return tr("Disconnected");
    case LinkReason::Refused: return tr("%1 refused the connection").arg(where);
    case LinkReason::HostUnreachable:
        return tr("%1 cannot be reached (%2)").arg(where, event.errorText);
    case LinkReason::TimedOut: return tr("No answer from %1: the connection timed out").arg(where);
    case LinkReason::ClosedByPeer: return tr("%1 closed the connection").arg(where);
    case LinkReason::SerialPortLost:
        return tr("Serial port %1 was lost (%2)").arg(where, event.errorText);
    case LinkReason::SerialOpenFailed:
        return tr("Serial port %1 failed to open (%2)").arg(where, event.errorText);
    case LinkReason::SocketError: return tr("Connection to %1 failed (%2)").arg(where, event.errorText);
    case LinkReason::NoTransport:
        return tr("No link chosen: pick Serial or Ethernet under Setting");
    }
    return QString();
}

// The first sentence stays as it always was; the port and the reason follow.
QString OperatorFeedback::serialOpenFailure(const MonitorCore::LinkEvent &event)
{
    QString text = QCoreApplication::translate(
        "MainWindow", "The serial port failed to open, please resched the serial port!");
    text += QLatin1String("\n\n")
            + (event.portName.isEmpty() ? tr("No serial port is set: choose one under Setting.")
                                        : tr("Port: %1").arg(event.portName));
    if (!event.errorText.isEmpty())
        text += QLatin1Char('\n') + tr("Reason: %1").arg(event.errorText);
    if (event.permissionDenied)
        text += QLatin1String("\n\n")
                + tr("Your user may not use this port. Add it to the dialout group "
                     "(sudo usermod -aG dialout $USER), then log in again.");
    return text;
}

QString OperatorFeedback::outcomeText(Outcome outcome, int exceptionCode)
{
    switch (outcome) {
    case Outcome::Answered: return tr("done");
    case Outcome::NoAnswer: return tr("no answer from the controller");
    case Outcome::Exception: {
        const char *const meanings[] = {
            nullptr,
            QT_TR_NOOP("illegal function"),
            QT_TR_NOOP("illegal data address"),
            QT_TR_NOOP("illegal data value"),
            QT_TR_NOOP("device failure"),
        };
        if (exceptionCode > 0 && exceptionCode < int(std::size(meanings)))
            return tr("exception code %1 (%2)").arg(exceptionCode).arg(tr(meanings[exceptionCode]));
        return tr("exception code %1").arg(exceptionCode);
    }
    case Outcome::NotAvailable: return tr("not available on this controller type");
    case Outcome::CompanionUnknown: return tr("refused: read the block first");
    case Outcome::ValueRefused: return tr("value refused");
    case Outcome::LinkDown: return tr("link down: press Connect first");
    }
    return QString();
}

QString OperatorFeedback::titleFor(const MonitorCore::LinkEvent &event)
{
    switch (event.state) {
    case LinkState::Up: return tr("%1 - %2").arg(toolName(), event.portName);
    case LinkState::Connecting:
        return tr("%1 - connecting to %2").arg(toolName(), event.portName);
    case LinkState::Down: break;
    }
    return tr("%1 - not connected").arg(toolName());
}

QString OperatorFeedback::aboutText()
{
    return tr("<h3>%1</h3><p>Version %2</p><p>Built with Qt %3 (running %4) and QCustomPlot %5.</p>"
              "<p>Keys: Ctrl+, Setting; Ctrl+L Connect/Disconnect; Ctrl+1 and Ctrl+2 the tabs; "
              "Ctrl+Shift+R Read configuration; Ctrl+Shift+W Write configuration.</p>")
        .arg(toolName(), QStringLiteral(SOLAR_VERSION), QStringLiteral(QT_VERSION_STR),
             QString::fromLatin1(qVersion()), QStringLiteral(QCUSTOMPLOT_VERSION_STR));
}

void OperatorFeedback::tell(const QString &text)
{
    if (notice->text() != text)
        notice->setText(text);
}

void OperatorFeedback::onLinkChanged(const MonitorCore::LinkEvent &event)
{
    window_->setWindowTitle(titleFor(event));
    tell(linkText(event));
}

void OperatorFeedback::onParameterFinished(Outcome outcome, int exceptionCode)
{
    lastOutcome_ = outcome;
    lastExceptionCode_ = exceptionCode;
    // A press while the link is down ends before any button is involved.
    if (outcome == Outcome::LinkDown)
        tell(outcomeText(outcome, exceptionCode));
}

void OperatorFeedback::parameterEnded(QPushButton *button, const QString &subject)
{
    const QString what = subject.isEmpty() ? button->text() : subject + QLatin1Char(' ') + button->text();
    if (lastOutcome_ == Outcome::Answered) {
        button->setToolTip(QString());
        tell(tr("%1: done").arg(what));
        return;
    }
    const QString why = outcomeText(lastOutcome_, lastExceptionCode_);
    button->setToolTip(tr("Failed: %1").arg(why));
    tell(tr("%1: %2").arg(what, why));
}

// Shortcuts rather than mnemonics: the Connect action's text is the link
// state and must read exactly "Connect".
void OperatorFeedback::addKeyboardAccess()
{
    MainWindow *w = window_;
    w->settingAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    w->connectAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    w->ui->pushButton_96->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    w->ui->pushButton_96->setToolTip(tr("Read every parameter (Ctrl+Shift+R)"));
    w->ui->pushButton_110->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_W));
    w->ui->pushButton_110->setToolTip(tr("Write every parameter (Ctrl+Shift+W)"));
    QTabWidget *tabs = w->ui->tabWidget;
    for (int i = 0; i < tabs->count(); ++i) {
        auto *key = new QShortcut(QKeySequence(Qt::CTRL | (Qt::Key_1 + i)), w);
        connect(key, &QShortcut::activated, tabs, [tabs, i] { tabs->setCurrentIndex(i); });
        tabs->setTabToolTip(i, tr("Ctrl+%1").arg(i + 1));
    }

    // In the menu bar's corner, so the bar keeps its two actions.
    aboutAction = new QAction(tr("About"), this);
    aboutAction->setShortcut(QKeySequence(Qt::Key_F1));
    w->addAction(aboutAction);
    connect(aboutAction, &QAction::triggered, this, &OperatorFeedback::showAbout);
    auto *corner = new QLabel(QStringLiteral("<a href=\"about\">%1</a>").arg(aboutAction->text()),
                              w->menuBar());
    corner->setContentsMargins(0, 0, 8, 0);
    connect(corner, &QLabel::linkActivated, aboutAction, &QAction::trigger);
    w->menuBar()->setCornerWidget(corner, Qt::TopRightCorner);
}

void OperatorFeedback::showAbout()
{
    QMessageBox::about(window_, tr("About %1").arg(toolName()), aboutText());
}
