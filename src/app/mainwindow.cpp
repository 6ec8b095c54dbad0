#include "mainwindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QPixmap>
#include <QStatusBar>
#include <QThread>

#include "app_setting_dialog.h"
#include "repaint_pacer.h"
#include "ui_mainwindow.h"

namespace {

const QString grayLampImage = QStringLiteral(":/Images/Images/64X64/gray64x64.png");
const QString greenLampImage = QStringLiteral(":/Images/Images/64X64/green64x64.png");
const QString redLampImage = QStringLiteral(":/Images/Images/64X64/red64x64.png");

constexpr int lampSize = 16;

// Status-bar lamps are 16x16 whatever the picture's size; fast scaling keeps
// the lamp's flat colours crisp.
QPixmap lampPixmap(const QString &image)
{
    return QPixmap(image).scaled(lampSize, lampSize, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

// Lamps are set several times per exchange; an unchanged lamp costs nothing.
void showLamp(QLabel &lamp, const QPixmap &pixmap)
{
    if (lamp.pixmap(Qt::ReturnByValue).cacheKey() != pixmap.cacheKey())
        lamp.setPixmap(pixmap);
}

} // namespace

// The pictures are compiled into this static library; without a reference the
// linker would drop them from the program and from the tests.
static void initWindowResources()
{
    Q_INIT_RESOURCE(resources);
}

void waitWithEvents(int ms)
{
    QElapsedTimer clock;
    clock.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, ms);
        QThread::msleep(1);
    } while (clock.elapsed() < ms);
}

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent),
      styleOk(QStringLiteral("font: bold 12pt \"Arial\";background-color: rgb(0, 255, 0);")),
      styleIdle(QStringLiteral("font:bold 12pt \"Arial\";font-variant:bold;")),
      styleFail(QStringLiteral("font:bold 12pt \"Arial\";font-variant:bold;background-color: rgb(255, 0, 0);")),
      styleRed(QStringLiteral("font:bold 12pt \"Arial\";background-color: rgb(255, 0, 0);")),
      styleGreen(QStringLiteral("font:bold 12pt \"Arial\";;background-color: rgb(0, 255, 0);")),
      stylePlain(QStringLiteral("font:bold 12pt \"Arial\";")),
      ui(new Ui::MainWindow),
      grayLamp(lampPixmap(grayLampImage)),
      greenLamp(lampPixmap(greenLampImage)),
      redLamp(lampPixmap(redLampImage))
{
    initWindowResources();
    deviceNames[0] = QStringLiteral(" ");

    ui->setupUi(this);
    initCurvePlot(ui->customplot);
    curveMinutes = ui->lineEdit_72->text().toInt(nullptr, 10);

    setUpStatusBar();
    settingAction = ui->menuBar->addAction(tr("Setting"));
    connectAction = ui->menuBar->addAction(tr("Connect"));
    connectSignals();
    new RepaintPacer(this);
}

MainWindow::~MainWindow()
{
    onWindowDestroyed();
    delete ui;
}

void MainWindow::setUpStatusBar()
{
    txLabel.setText(QStringLiteral("TX:"));
    rxLabel.setText(QStringLiteral("RX:"));
    ui->statusBar->addPermanentWidget(&txLabel, 0);
    ui->statusBar->addPermanentWidget(&txLamp, 0);
    ui->statusBar->addPermanentWidget(&rxLabel, 0);
    ui->statusBar->addPermanentWidget(&rxLamp, 0);
    // A fixed size spares the status bar a new layout at every colour change.
    txLamp.setFixedSize(lampSize, lampSize);
    rxLamp.setFixedSize(lampSize, lampSize);
    ui->statusBar->addWidget(&snLabel, 0);
    snLabel.setStyleSheet(QStringLiteral("color: rgb(255, 0, 0);bold 12pt \"Arial\";"));
    snLabel.setText(QStringLiteral("SN:%1").arg(mainEngine.slaveAddress(), 2, 10, QLatin1Char('0')));
    setTxLampGray();
    setRxLampGray();
}

void MainWindow::connectSignals()
{
    connect(settingAction, &QAction::triggered, this, &MainWindow::menu_set_solt);
    connect(connectAction, &QAction::triggered, this, &MainWindow::menu_connect_solt);
    connect(&serialPort, &QSerialPort::errorOccurred, this, &MainWindow::onSerialError,
            Qt::DirectConnection);
    connect(&tcpSocket, &QTcpSocket::connected, this, &MainWindow::onTcpConnected,
            Qt::DirectConnection);
    connect(&tcpSocket, &QTcpSocket::disconnected, this, &MainWindow::onTcpDisconnected,
            Qt::DirectConnection);
    refreshTimer.start(100);
    for (com_protocol_solar *engine : {&mainEngine, &scanEngine}) {
        connect(engine, &com_protocol_solar::beginSentData, this, &MainWindow::dataSendSlot,
                Qt::DirectConnection);
        connect(engine, &com_protocol_solar::receiveSuccesSignal, this,
                &MainWindow::dataReceiveSuccessSlot, Qt::DirectConnection);
        connect(engine, &com_protocol_solar::receiveFailSignal, this,
                &MainWindow::dataReceiveFailSlot, Qt::DirectConnection);
    }
    connect(&serialPort, &QSerialPort::readyRead, this, &MainWindow::dataReceiveSlot,
            Qt::DirectConnection);
    connect(&tcpSocket, &QTcpSocket::readyRead, this, &MainWindow::dataReceiveSlot,
            Qt::DirectConnection);
    connect(&refreshTimer, &QTimer::timeout, this, &MainWindow::refereshDisplayRef,
            Qt::DirectConnection);
    // The window's teardown runs onWindowDestroyed from the destructor, while
    // every member is still whole (destroyed() would come too late for that).
}

// Runs first in the destructor. The members' own destructors may still emit
// (aborting the socket, closing the port), so their signals are cut off here:
// no slot may run on a half-destroyed window.
void MainWindow::onWindowDestroyed()
{
    if (refreshTimer.isActive())
        refreshTimer.stop();
    tcpSocket.disconnectFromHost();
    tcpSocket.abort();
    for (QObject *sender : std::initializer_list<QObject *>{&serialPort, &tcpSocket, &refreshTimer,
                                                            &mainEngine, &scanEngine})
        disconnect(sender, nullptr, this, nullptr);
}

void MainWindow::setTxLampGray()
{
    showLamp(txLamp, grayLamp);
}

void MainWindow::setTxLampGreen()
{
    showLamp(txLamp, greenLamp);
}

void MainWindow::setRxLampGray()
{
    showLamp(rxLamp, grayLamp);
}

void MainWindow::setRxLampGreen()
{
    showLamp(rxLamp, greenLamp);
}

// A failure after the link went down is no news to the operator.
void MainWindow::setRxLampRed()
{
    if (!linkIsDown())
        showLamp(rxLamp, redLamp);
}

bool MainWindow::linkIsDown() const
{
    return !connectAction || connectAction->text() == tr("Connect");
}

void MainWindow::menu_set_solt()
{
    auto *dialog = new app_setting_Dialog(nullptr);
    qDebug() << "app setting dialog";
    dialog->exec();
    delete dialog;
}
