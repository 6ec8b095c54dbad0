// The link as the window shows it: the Connect action, the frame boxes and
// the status-bar lamps. The link itself is the core's.
#include "mainwindow.h"

#include <QAction>
#include <QMessageBox>

#include "config_file.h"
#include "operator_feedback.h"
#include "ui_mainwindow.h"


void MainWindow::menu_connect_solt()
{
    if (!linkIsDown()) {
        core.disconnectLink();
        resetDisplay();
        return;
    }
    if (!core.connectLink(readLinkConfig(ConfigFile(core.configFilePath()))))
        QMessageBox::about(this, tr("Connect"),
                           OperatorFeedback::serialOpenFailure(core.lastLinkEvent()));
}

// The action's text shows the core's link state; it is never read back.
void MainWindow::onLinkChanged(const MonitorCore::LinkEvent &event)
{
    connectAction->setText(event.state == MonitorCore::LinkState::Up ? tr("Disonnect")
                                                                     : tr("Connect"));
}

// An empty frame: the engines had nothing pending, only the lamps change.
void MainWindow::onFrameSent(const QByteArray &frame)
{
    if (!frame.isEmpty())
        txBox.show(frame);
    setRxLampGray();
    setTxLampGreen();
}

void MainWindow::onReplyStarted()
{
    setTxLampGray();
}

void MainWindow::onFrameReceived(const QByteArray &frame)
{
    rxBox.show(frame);
}

void MainWindow::onReplyOutcome(bool answered)
{
    setTxLampGray();
    if (answered)
        setRxLampGreen();
    else
        setRxLampRed();
}
