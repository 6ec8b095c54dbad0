// Work in progress: empty bodies until its owner fills them.
#include "mainwindow.h"

bool MainWindow::openSerialLink() { return {}; }
void MainWindow::openTcpLink() {}
void MainWindow::onSerialError(QSerialPort::SerialPortError error) {}
void MainWindow::onTcpConnected() {}
void MainWindow::onTcpDisconnected() {}
com_protocol_solar *MainWindow::activeEngine() { return {}; }
void MainWindow::menu_connect_solt() {}
void MainWindow::dataSendSlot() {}
void MainWindow::dataReceiveSlot() {}
void MainWindow::dataReceiveSuccessSlot() {}
void MainWindow::dataReceiveFailSlot() {}
