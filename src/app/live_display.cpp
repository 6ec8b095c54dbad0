// Work in progress: empty bodies until its owner fills them.
#include "mainwindow.h"

void MainWindow::showDefineLiveValues() {}
void MainWindow::showModbusLiveValues() {}
void MainWindow::showChargeTotals(bool generated, bool consumed) {}
void MainWindow::showEnergyTotals() {}
void MainWindow::showInternalTemperature() {}
void MainWindow::showChargeStage() {}
void MainWindow::showSystemVoltage() {}
void MainWindow::showStatusLamps(bool modbusLoadRule) {}
