// Work in progress: empty bodies until its owner fills them.
#include "mainwindow.h"

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent) {}
MainWindow::~MainWindow() {}
void MainWindow::onWindowDestroyed() {}
void waitWithEvents(int) {}
void MainWindow::setTxLampGray() {}
void MainWindow::setTxLampGreen() {}
void MainWindow::setRxLampGray() {}
void MainWindow::setRxLampGreen() {}
void MainWindow::setRxLampRed() {}
bool MainWindow::linkIsDown() const { return {}; }
void MainWindow::menu_set_solt() {}
