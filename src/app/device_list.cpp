// Work in progress: empty bodies until its owner fills them.
#include "mainwindow.h"

void MainWindow::updateDeviceList(quint8 address, const QString &name) {}
void MainWindow::resetDisplay() {}
