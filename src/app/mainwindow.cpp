#include "mainwindow.h"

#include <QAction>
#include <QDebug>
#include <QLoggingCategory>
#include <QPixmap>
#include <QStatusBar>

#include "app_setting_dialog.h"
#include "form_fonts.h"
#include "history_recording.h"
#include "link_stats_window.h"
#include "operator_feedback.h"
#include "repaint_pacer.h"
#include "value_fields.h"
#include "yield_view.h"
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

// Window traces, silent unless QT_LOGGING_RULES turns them on.
Q_LOGGING_CATEGORY(lcWindow, "solar.window", QtInfoMsg)

} // namespace

// The pictures are compiled into this static library; without a reference the
// linker would drop them from the program and from the tests.
static void initWindowResources()
{
    Q_INIT_RESOURCE(resources);
    Q_INIT_RESOURCE(translations);
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

    FormFonts::setUp(this);   // before any text of the form is measured
    ui->setupUi(this);
    txBox.attach(ui->textEdit);
    rxBox.attach(ui->textEdit_2);
    initCurvePlot(ui->customplot);
    curveMinutes = ui->lineEdit_72->text().toInt(nullptr, 10);

    setUpStatusBar();
    settingAction = ui->menuBar->addAction(tr("Setting"));
    connectAction = ui->menuBar->addAction(tr("Connect"));
    connectSignals();
    feedback_ = new OperatorFeedback(this);
    linkStats_ = new LinkStatsEntry(this);
    showParameterRanges();
    ValueFields::showBeginnings(ui->centralWidget);
    new RepaintPacer(this);
    history = new HistoryRecording(this);
    new YieldView(this);
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
    snLabel.setText(QStringLiteral("SN:%1").arg(core.deviceAddress(), 2, 10, QLatin1Char('0')));
    setTxLampGray();
    setRxLampGray();
}

void MainWindow::connectSignals()
{
    connect(settingAction, &QAction::triggered, this, &MainWindow::menu_set_solt);
    connect(connectAction, &QAction::triggered, this, &MainWindow::menu_connect_solt);
    connect(ui->listWidget, &QListWidget::itemClicked, this, &MainWindow::chooseListedDevice);
    connect(ui->listWidget, &QListWidget::itemActivated, this, &MainWindow::chooseListedDevice);
    // Direct, as the core's own wiring: the view is up to date before the
    // core goes on (a tick ends, a reply state is looked at).
    connect(&core, &MonitorCore::linkChanged, this, &MainWindow::onLinkChanged,
            Qt::DirectConnection);
    connect(&core, &MonitorCore::frameSent, this, &MainWindow::onFrameSent, Qt::DirectConnection);
    connect(&core, &MonitorCore::replyStarted, this, &MainWindow::onReplyStarted,
            Qt::DirectConnection);
    connect(&core, &MonitorCore::frameReceived, this, &MainWindow::onFrameReceived,
            Qt::DirectConnection);
    connect(&core, &MonitorCore::replyOutcome, this, &MainWindow::onReplyOutcome,
            Qt::DirectConnection);
    connect(&core, &MonitorCore::stepAnswered, this,
            [this](MonitorCore::StepResult result, const DeviceData &) { onStepAnswered(result); },
            Qt::DirectConnection);
    connect(&core, &MonitorCore::deviceProbed, this, &MainWindow::onDeviceProbed,
            Qt::DirectConnection);
}

// Runs first in the destructor: the core's members may still emit while
// they are torn down, and no slot may run on a half-destroyed window.
void MainWindow::onWindowDestroyed()
{
    disconnect(&core, nullptr, this, nullptr);
    delete history;
    history = nullptr;
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
    return !core.linkIsUp();
}

void MainWindow::menu_set_solt()
{
    auto *dialog = new app_setting_Dialog(nullptr, core.configFilePath());
    qCDebug(lcWindow) << "app setting dialog";
    dialog->exec();
    delete dialog;
}
