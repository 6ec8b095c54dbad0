// Live values, totals and status lamps of the "Basic information" tab.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "display_format.h"

using namespace DisplayFormat;

namespace {

using Lamp = QPushButton *Ui::MainWindow::*;

constexpr quint32 LoadOffBit = 0x008;

// Status-word bits in the order they are shown; the load switch (bit 3) has no
// lamp of its own and is drawn by showLoadState at its place in the order.
struct StatusLamp
{
    quint32 mask;
    Lamp lamp;
};

const StatusLamp statusLamps[] = {
    {0x001, &Ui::MainWindow::pushButton_104},   // "Low voltage"
    {0x002, &Ui::MainWindow::pushButton_113},   // "Over load"
    {0x004, &Ui::MainWindow::pushButton_114},   // "Short circut"
    {LoadOffBit, nullptr},
    {0x010, &Ui::MainWindow::pushButton_105},   // "Battery Over"
    {0x020, &Ui::MainWindow::pushButton_103},   // "internal over hear"
    {0x040, &Ui::MainWindow::pushButton_101},   // "PV over"
    {0x080, &Ui::MainWindow::pushButton_102},   // "PV not connected"
    {0x100, &Ui::MainWindow::pushButton_100},   // "internal temperature"
    {0x200, &Ui::MainWindow::pushButton_97},    // "Self-check error"
    {0x400, &Ui::MainWindow::pushButton_98},    // "Parameter not calibration"
};

// Panel output as a percentage of the nominal power typed into "Called
// power：" (watts). Without a usable nominal power there is nothing to
// divide by, so show zero rather than inf or nan.
QString efficiencyText(quint32 pvPower, const QString &calledPower)
{
    bool ok = false;
    const int nominal = calledPower.toInt(&ok, 10);
    const double percent = (ok && nominal != 0) ? pvPower * 10.0 / nominal : 0.0;
    return QStringLiteral("%1").arg(percent, 2, 'f', 2);
}

} // namespace

void MainWindow::showDefineLiveValues()
{
    const DeviceData &d = core.deviceData();
    writeText(ui->lineEdit_34, centi(d.pvVoltage));
    writeText(ui->lineEdit_35, centi(d.pvCurrent));
    writeText(ui->lineEdit_36, deci(d.pvPower));
    writeText(ui->lineEdit_39, efficiencyText(d.pvPower, ui->lineEdit_38->text()));
    writeText(ui->lineEdit_40, centi(d.batteryVoltage));
    writeText(ui->lineEdit_41, scenti(d.batteryCurrent));
    writeText(ui->lineEdit_43, unsignedNumber(d.batteryCapacity));
    writeText(ui->lineEdit_45, signedNumber(d.batteryTemperature));
    writeText(ui->lineEdit_48, centi(d.loadCurrent));
}

void MainWindow::showModbusLiveValues()
{
    const DeviceData &d = core.deviceData();
    writeText(ui->lineEdit_34, centi(d.pvVoltage));
    writeText(ui->lineEdit_35, centi(d.pvCurrent));
    writeText(ui->lineEdit_36, deci(d.pvPower));
    writeText(ui->lineEdit_37, d.pvStateText);
    writeText(ui->lineEdit_39, efficiencyText(d.pvPower, ui->lineEdit_38->text()));
    writeText(ui->lineEdit_40, centi(d.batteryVoltage));
    // The battery current register is not trusted here; derive it from the
    // panel and load currents as the Define decoder does.
    writeText(ui->lineEdit_41, scenti(qint32(d.pvCurrent - d.loadCurrent)));
    writeText(ui->lineEdit_43, unsignedNumber(d.batteryCapacity));
    writeText(ui->lineEdit_45, signedNumber(d.batteryTemperature));
    writeText(ui->lineEdit_48, centi(d.loadCurrent));
    writeText(ui->lineEdit_44, d.chargeStageText);
    writeText(ui->lineEdit_46, signedNumber(d.internalTemperature));
    writeText(ui->lineEdit_42, unsignedNumber(d.systemVoltage));
}

void MainWindow::showChargeTotals(bool generated, bool consumed)
{
    const DeviceData &d = core.deviceData();
    if (generated)
        writeText(ui->lineEdit_54, centi(d.generatedChargeTotal()));
    if (consumed)
        writeText(ui->lineEdit_62, centi(d.consumedChargeTotal()));
}

void MainWindow::showEnergyTotals()
{
    const DeviceData &d = core.deviceData();
    writeText(ui->lineEdit_56, centi(d.generatedEnergyTotal()));
    writeText(ui->lineEdit_64, centi(d.consumedEnergyTotal()));
}

void MainWindow::showInternalTemperature()
{
    writeText(ui->lineEdit_46, signedNumber(core.deviceData().internalTemperature));
}

void MainWindow::showChargeStage()
{
    writeText(ui->lineEdit_44, core.deviceData().chargeStageText);
}

void MainWindow::showSystemVoltage()
{
    writeText(ui->lineEdit_42, unsignedNumber(core.deviceData().systemVoltage));
}

void MainWindow::showStatusLamps(bool modbusLoadRule)
{
    const quint32 status = core.deviceData().statusWord;
    for (const StatusLamp &entry : statusLamps) {
        const bool set = (status & entry.mask) != 0;
        if (entry.lamp)
            writeStyle(ui->*entry.lamp, set ? styleRed : stylePlain);
        else
            showLoadState(!set, modbusLoadRule);
    }
}

// The curve and the history follow the same rule (loadVoltageOf).
void MainWindow::showLoadState(bool loadOn, bool modbusLoadRule)
{
    const DeviceData &d = core.deviceData();
    writeStyle(ui->pushButton_106, loadOn ? styleGreen : stylePlain);
    writeStyle(ui->pushButton_107, loadOn ? stylePlain : styleGreen);
    writeText(ui->lineEdit_49, deci(loadPowerOf(d, loadOn)));
    writeText(ui->lineEdit_47, centi(loadVoltageOf(d, loadOn, modbusLoadRule)));
}
