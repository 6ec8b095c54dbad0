// Work in progress: empty bodies until its owner fills them.
#include "mainwindow.h"

double MainWindow::lastCurveKey = 0.0;
void MainWindow::initCurvePlot(QCustomPlot *plot) {}
void MainWindow::appendCurvePoint() {}
void MainWindow::on_lineEdit_72_textChanged(const QString &text) {}
void MainWindow::cureMousePoint(QMouseEvent *event) {}
