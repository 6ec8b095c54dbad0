#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QByteArray>
#include <QLabel>
#include <QListWidgetItem>
#include <QMainWindow>
#include <QPixmap>
#include <QString>

#include "frame_box.h"
#include "monitor_core.h"

namespace Ui {
class MainWindow;
}
class HistoryRecording;
class HistoryStore;
class QCustomPlot;
class QCPItemTracer;
class QCPItemText;
class QMouseEvent;
class QPushButton;
class OperatorFeedback;
class LinkStatsEntry;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    static constexpr int DeviceSlots = 100;

    // --- members, in the order they are built and (reversed) destroyed ---
    QLabel txLabel;
    QLabel rxLabel;
    QLabel txLamp;
    QLabel rxLamp;
    QLabel snLabel;
    int curveMinutes = 0;
    QCPItemTracer *curveTracers[5] = {};
    QCPItemText *curveReadout = nullptr;
    quint8 deviceSeen[DeviceSlots] = {};
    QString deviceNames[DeviceSlots];
    QAction *settingAction = nullptr;
    QAction *connectAction = nullptr;
    // Recording and publishing, off unless config.ini turns them on.
    HistoryRecording *history = nullptr;
    // The link, both engines, the refresh cycle and the reply states: what
    // is said to the controller. The window shows what it tells.
    MonitorCore core;
    const QString styleOk;
    const QString styleIdle;
    const QString styleFail;
    const QString styleRed;
    const QString styleGreen;
    const QString stylePlain;
    QListWidgetItem deviceItems[DeviceSlots];
    Ui::MainWindow *ui = nullptr;

private:
    const QPixmap grayLamp;    // the status-bar lamps, scaled once
    const QPixmap greenLamp;
    const QPixmap redLamp;
    FrameBox txBox;   // textEdit: the request sent
    FrameBox rxBox;   // textEdit_2: the answer received
    OperatorFeedback *feedback_ = nullptr;   // status-bar texts, title, About, keys
    LinkStatsEntry *linkStats_ = nullptr;    // "Link statistics" window and tooltip
    bool curveDayHeld = false;   // the curve shows a recorded day, not the live span

public:
    // The curve's last key outlives connections (one per window).
    double lastCurveKey = 0.0;

    OperatorFeedback *feedback() const { return feedback_; }
    LinkStatsEntry *linkStats() const { return linkStats_; }

    // --- lamps (mainwindow.cpp) -------------------------------------------
    void setTxLampGray();
    void setTxLampGreen();
    void setRxLampGray();
    void setRxLampGreen();
    void setRxLampRed();
    bool linkIsDown() const;   // as the core tells it
    void setUpStatusBar();
    void connectSignals();

    // --- link as shown (link.cpp) ---------------------------------------
    void onLinkChanged(const MonitorCore::LinkEvent &event);
    void onFrameSent(const QByteArray &frame);
    void onReplyStarted();
    void onFrameReceived(const QByteArray &frame);
    void onReplyOutcome(bool answered);

    // --- refresh cycle as shown (refresh_cycle.cpp) ---------------------
    void onStepAnswered(MonitorCore::StepResult result);
    void onDeviceProbed(int address, bool answered, const QString &model);
    // Success actions of the polling schedules.
    void showRunData();                  // Define live values, lamps, curve point
    void showModbusRunData();            // Modbus live values, curve point
    void showPolledChargeTotals();
    void showVersionAndRatedCurrents();
    void showRatings();
    void showModbusStatus();

    // --- live display (live_display.cpp) --------------------------------
    void showDefineLiveValues();
    void showModbusLiveValues();
    void showChargeTotals(bool generated, bool consumed);
    void showEnergyTotals();
    void showInternalTemperature();
    void showChargeStage();
    void showSystemVoltage();
    void showStatusLamps(bool modbusLoadRule);
    void showLoadState(bool loadOn, bool modbusLoadRule);

    // --- curve view (curve_view.cpp) ------------------------------------
    void initCurvePlot(QCustomPlot *plot);
    void appendCurvePoint();
    void storeCurvePoint(double key);   // the five values, no redraw
    // The recorded history of address in [fromMs, toMs] ahead of the live
    // points; returns how many points it added.
    int showRecordedCurve(HistoryStore &store, int address, qint64 fromMs, qint64 toMs);
    // One recorded day (from the History tab): its points added where the
    // curve lacks them and the axis held on the day until lineEdit_72 is edited.
    void showRecordedDay(HistoryStore &store, int address, qint64 fromMs, qint64 toMs);

    // --- device information, list and reset (device_list.cpp) -----------
    void showRatedVoltage();
    void showRatedCurrents();
    void showVersionInfo();
    void showDeviceModel();
    void showSerialNumber();
    void showFactoryInfo();
    void showEncryptionState();
    void updateDeviceList(quint8 address, const QString &name);
    // A row clicked, or reached with the arrow keys and Enter: the window
    // talks to its address from now on, saved as Setting saves it.
    void chooseListedDevice(QListWidgetItem *item);
    void resetDisplay();

    // --- parameter page (parameter_page.cpp) ----------------------------
    struct ParameterRow;     // one field with its read and write action
    struct ParameterBlock;   // the actions one "One-click" button runs
    using ParameterAction = void (MainWindow::*)();
    bool beginParameterAction(QPushButton *button, bool idleFirst = true);
    void endParameterAction(QPushButton *button, int outcome, const char *caption = nullptr);
    void showParameterRanges();   // unit and range tooltips of the fields
    void readParameterRow(const ParameterRow &row);
    void writeParameterRow(const ParameterRow &row);
    void showParameterRow(const ParameterRow &row);
    void runDeviceCommand(QPushButton *button, DeviceCommand command, bool idleFirst = true);
    void switchLoad();
    void runParameterBlocks(std::initializer_list<const ParameterBlock *> blocks);
    void writeConfiguration();

public slots:
    // Parameter page, bound by name.
    void on_pushButton_clicked();
    void on_pushButton_8_clicked();
    void on_pushButton_4_clicked();
    void on_pushButton_7_clicked();
    void on_pushButton_2_clicked();
    void on_pushButton_6_clicked();
    void on_pushButton_3_clicked();
    void on_pushButton_5_clicked();
    void on_pushButton_9_clicked();
    void on_pushButton_10_clicked();
    void on_pushButton_11_clicked();
    void on_pushButton_12_clicked();
    void on_pushButton_33_clicked();
    void on_pushButton_35_clicked();
    void on_pushButton_36_clicked();
    void on_pushButton_95_clicked();
    void on_pushButton_94_clicked();
    void on_pushButton_16_clicked();
    void on_pushButton_22_clicked();
    void on_pushButton_18_clicked();
    void on_pushButton_25_clicked();
    void on_pushButton_92_clicked();
    void on_pushButton_39_clicked();
    void on_pushButton_40_clicked();
    void on_pushButton_41_clicked();
    void on_pushButton_47_clicked();
    void on_pushButton_49_clicked();
    void on_pushButton_90_clicked();
    void on_pushButton_91_clicked();
    void on_pushButton_76_clicked();
    void on_pushButton_78_clicked();
    void on_pushButton_87_clicked();
    void on_pushButton_75_clicked();
    void on_pushButton_77_clicked();
    void on_pushButton_86_clicked();
    void on_pushButton_54_clicked();
    void on_pushButton_68_clicked();
    void on_pushButton_69_clicked();
    void on_pushButton_56_clicked();
    void on_pushButton_57_clicked();
    void on_pushButton_88_clicked();
    void on_pushButton_89_clicked();
    void on_pushButton_96_clicked();
    void on_pushButton_53_clicked();
    void on_pushButton_55_clicked();
    void on_pushButton_58_clicked();
    void on_pushButton_110_clicked();
    void on_pushButton_106_clicked();
    void on_pushButton_107_clicked();
    void on_lineEdit_72_textChanged(const QString &text);
    void on_pushButton_42_clicked();
    void on_pushButton_109_clicked();
    void on_pushButton_43_clicked();
    void on_pushButton_44_clicked();

    void menu_set_solt();
    void menu_connect_solt();
    void cureMousePoint(QMouseEvent *event);

private:
    void onWindowDestroyed();
};

#endif
