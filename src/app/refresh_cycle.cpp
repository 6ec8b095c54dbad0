// Work in progress: empty bodies until its owner fills them.
#include "mainwindow.h"

int MainWindow::pollStep = 0;
int MainWindow::scanAddress = 0;
bool MainWindow::factoryFirstHalfOk = false;
void MainWindow::refereshDisplayRef() {}
