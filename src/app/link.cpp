// The link as the window shows it: the Connect action, the frame boxes and
// the status-bar lamps. The link itself is the core's.
#include "mainwindow.h"

#include <QAction>
#include <QMessageBox>

#include "operator_feedback.h"
#include "ui_mainwindow.h"

namespace {

// Two upper-case hex digits and a blank per byte, the last byte included.
QString frameText(const QByteArray &bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    QString text;
    text.reserve(bytes.size() * 3);
    for (char c : bytes) {
        const auto b = quint8(c);
        text += QLatin1Char(digits[b >> 4]);
        text += QLatin1Char(digits[b & 0x0F]);
        text += QLatin1Char(' ');
    }
    return text;
}

// Setting a text box lays its document out anew; the same frame again
// (a repeated request, an unchanged answer) leaves it as it is.
void showFrame(QTextEdit *box, const QByteArray &bytes)
{
    const QString text = frameText(bytes);
    if (box->toPlainText() != text)
        box->setPlainText(text);
}

} // namespace

void MainWindow::menu_connect_solt()
{
    if (!linkIsDown()) {
        core.disconnectLink();
        resetDisplay();
        return;
    }
    if (!core.connectLink())
        QMessageBox::about(this, tr("Connect"),
                           OperatorFeedback::serialOpenFailure(core.lastLinkEvent()));
}

// The action's text is the link state the operator sees; it follows the
// core's state change for change.
void MainWindow::onLinkChanged(const MonitorCore::LinkEvent &event)
{
    if (event.state == MonitorCore::LinkState::Up) {
        if (linkIsDown())
            connectAction->setText(tr("Disonnect"));
    } else if (connectAction->text() == tr("Disonnect")) {
        connectAction->setText(tr("Connect"));
    }
}

// An empty frame: the engines had nothing pending, only the lamps change.
void MainWindow::onFrameSent(const QByteArray &frame)
{
    if (!frame.isEmpty())
        showFrame(ui->textEdit, frame);
    setRxLampGray();
    setTxLampGreen();
}

void MainWindow::onReplyStarted()
{
    setTxLampGray();
}

void MainWindow::onFrameReceived(const QByteArray &frame)
{
    showFrame(ui->textEdit_2, frame);
}

void MainWindow::onReplyOutcome(bool answered)
{
    setTxLampGray();
    if (answered)
        setRxLampGreen();
    else
        setRxLampRed();
}
