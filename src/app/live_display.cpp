// Live values, totals and status lamps of the "Basic information" tab.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "code_tables.h"
#include "display_format.h"
#include "value_fields.h"

using namespace DisplayFormat;

namespace {

using Lamp = QPushButton *Ui::MainWindow::*;

// The lamp of each status bit, in the order of StatusBits::table, which says
// what each bit means; the load switch (bit 3) has no lamp of its own and is
// drawn by showLoadState at its place in the order.
const Lamp statusLamps[StatusBits::Count] = {
    &Ui::MainWindow::pushButton_104,   // "Low voltage"
    &Ui::MainWindow::pushButton_113,   // "Over load"
    &Ui::MainWindow::pushButton_114,   // "Short circut"
    nullptr,
    &Ui::MainWindow::pushButton_105,   // "Battery Over"
    &Ui::MainWindow::pushButton_103,   // "internal over hear"
    &Ui::MainWindow::pushButton_101,   // "PV over"
    &Ui::MainWindow::pushButton_102,   // "PV not connected"
    &Ui::MainWindow::pushButton_100,   // "internal temperature"
    &Ui::MainWindow::pushButton_97,    // "Self-check error"
    &Ui::MainWindow::pushButton_98,    // "Parameter not calibration"
};

// Panel output as a percentage of the nominal power typed into "Called
// power：" (watts). A nominal power of 1 W or less (the form's "0000001")
// or none at all gives no meaningful percentage, and a quotient the field
// cannot hold would show a plausible-looking part of itself: "--" for both.
QString efficiencyText(const QLineEdit *field, quint32 pvPower, const QString &calledPower)
{
    const QString none = QStringLiteral("--");
    bool ok = false;
    const int nominal = calledPower.toInt(&ok, 10);
    if (!ok || nominal <= 1)
        return none;
    const QString text = QStringLiteral("%1").arg(pvPower * 10.0 / nominal, 2, 'f', 2);
    return ValueFields::fits(field, text, QStringLiteral("00.00")) ? text : none;
}

} // namespace

void MainWindow::showDefineLiveValues()
{
    const DeviceData &d = core.deviceData();
    writeText(ui->lineEdit_34, centi(d.pvVoltage));
    writeText(ui->lineEdit_35, centi(d.pvCurrent));
    writeText(ui->lineEdit_36, deci(d.pvPower));
    writeText(ui->lineEdit_39, efficiencyText(ui->lineEdit_39, d.pvPower, ui->lineEdit_38->text()));
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
    writeText(ui->lineEdit_39, efficiencyText(ui->lineEdit_39, d.pvPower, ui->lineEdit_38->text()));
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
    for (int i = 0; i < StatusBits::Count; ++i) {
        const bool set = (status & StatusBits::table[i].mask) != 0;
        if (StatusBits::table[i].mask == StatusBits::LoadOff)
            showLoadState(!set, modbusLoadRule);
        else
            writeStyle(ui->*statusLamps[i], set ? styleRed : stylePlain);
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
