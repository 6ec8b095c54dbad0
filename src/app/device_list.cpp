// Device information fields, the list of answering bus addresses and the
// reset of the monitoring widgets on disconnect.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QBrush>
#include <QColor>
#include <QLoggingCategory>

#include "config_file.h"
#include "display_format.h"

using namespace DisplayFormat;

namespace {

using Button = QPushButton *Ui::MainWindow::*;
using Field = QLineEdit *Ui::MainWindow::*;

// Lamps, parameter read/write buttons and the four clear buttons. The
// configuration and one-click buttons keep their colours.
const Button idleButtons[] = {
    &Ui::MainWindow::pushButton_97,  &Ui::MainWindow::pushButton_98,
    &Ui::MainWindow::pushButton_99,  &Ui::MainWindow::pushButton_100,
    &Ui::MainWindow::pushButton_101, &Ui::MainWindow::pushButton_102,
    &Ui::MainWindow::pushButton_103, &Ui::MainWindow::pushButton_104,
    &Ui::MainWindow::pushButton_105, &Ui::MainWindow::pushButton_106,
    &Ui::MainWindow::pushButton_107, &Ui::MainWindow::pushButton_108,
    &Ui::MainWindow::pushButton_109, &Ui::MainWindow::pushButton_113,
    &Ui::MainWindow::pushButton_114,
    &Ui::MainWindow::pushButton,     &Ui::MainWindow::pushButton_2,
    &Ui::MainWindow::pushButton_3,   &Ui::MainWindow::pushButton_4,
    &Ui::MainWindow::pushButton_5,   &Ui::MainWindow::pushButton_6,
    &Ui::MainWindow::pushButton_7,   &Ui::MainWindow::pushButton_8,
    &Ui::MainWindow::pushButton_9,   &Ui::MainWindow::pushButton_10,
    &Ui::MainWindow::pushButton_11,  &Ui::MainWindow::pushButton_12,
    &Ui::MainWindow::pushButton_33,  &Ui::MainWindow::pushButton_35,
    &Ui::MainWindow::pushButton_36,  &Ui::MainWindow::pushButton_39,
    &Ui::MainWindow::pushButton_40,  &Ui::MainWindow::pushButton_41,
    &Ui::MainWindow::pushButton_42,  &Ui::MainWindow::pushButton_43,
    &Ui::MainWindow::pushButton_44,  &Ui::MainWindow::pushButton_47,
    &Ui::MainWindow::pushButton_49,  &Ui::MainWindow::pushButton_53,
    &Ui::MainWindow::pushButton_54,  &Ui::MainWindow::pushButton_55,
    &Ui::MainWindow::pushButton_56,  &Ui::MainWindow::pushButton_57,
    &Ui::MainWindow::pushButton_58,  &Ui::MainWindow::pushButton_68,
    &Ui::MainWindow::pushButton_69,  &Ui::MainWindow::pushButton_75,
    &Ui::MainWindow::pushButton_76,  &Ui::MainWindow::pushButton_77,
    &Ui::MainWindow::pushButton_78,  &Ui::MainWindow::pushButton_86,
    &Ui::MainWindow::pushButton_87,
    &Ui::MainWindow::pushButton_16,  &Ui::MainWindow::pushButton_18,
    &Ui::MainWindow::pushButton_22,  &Ui::MainWindow::pushButton_25,
};

struct NeutralText
{
    Field field;
    const char *text;
};

const NeutralText neutralTexts[] = {
    {&Ui::MainWindow::lineEdit_34, "000.00"},
    {&Ui::MainWindow::lineEdit_35, "000.00"},
    {&Ui::MainWindow::lineEdit_36, "000.00"},
    {&Ui::MainWindow::lineEdit_37, QT_TRANSLATE_NOOP("MainWindow", "NO")},
    {&Ui::MainWindow::lineEdit_39, "00.00"},
    {&Ui::MainWindow::lineEdit_40, "000.00"},
    {&Ui::MainWindow::lineEdit_41, "000.00"},
    {&Ui::MainWindow::lineEdit_42, "000"},
    {&Ui::MainWindow::lineEdit_43, "000"},
    {&Ui::MainWindow::lineEdit_44, QT_TRANSLATE_NOOP("MainWindow", "Stop")},
    {&Ui::MainWindow::lineEdit_45, "00"},
    {&Ui::MainWindow::lineEdit_46, "00"},
    {&Ui::MainWindow::lineEdit_47, "000.00"},
    {&Ui::MainWindow::lineEdit_48, "000.00"},
    {&Ui::MainWindow::lineEdit_49, "000.00"},
    {&Ui::MainWindow::lineEdit_54, "00.00"},
    {&Ui::MainWindow::lineEdit_56, "00.00"},
    {&Ui::MainWindow::lineEdit_62, "00.00"},
    {&Ui::MainWindow::lineEdit_64, "00.00"},
    {&Ui::MainWindow::lineEdit_67, QT_TRANSLATE_NOOP("MainWindow", "Unkown")},
    {&Ui::MainWindow::lineEdit_68, QT_TRANSLATE_NOOP("MainWindow", "Unkown")},
    {&Ui::MainWindow::lineEdit_70, QT_TRANSLATE_NOOP("MainWindow", "Unkown")},
    {&Ui::MainWindow::lineEdit_69, QT_TRANSLATE_NOOP("MainWindow", "0000-0000-0000-0000")},
    {&Ui::MainWindow::lineEdit_77, "0000"},
    {&Ui::MainWindow::lineEdit_78, "0000"},
    {&Ui::MainWindow::lineEdit_79, "0000"},
};

Q_LOGGING_CATEGORY(lcDeviceList, "solar.window", QtInfoMsg)

QString twoDigits(int address)
{
    return QStringLiteral("%1").arg(address, 2, 10, QLatin1Char('0'));
}

} // namespace

// --- device information ------------------------------------------------

void MainWindow::showRatedVoltage()
{
    writeText(ui->lineEdit_79, unsignedNumber(core.deviceData().ratedVoltage));
}

void MainWindow::showRatedCurrents()
{
    writeText(ui->lineEdit_77, unsignedNumber(core.deviceData().ratedChargeCurrent));
    writeText(ui->lineEdit_78, unsignedNumber(core.deviceData().ratedDischargeCurrent));
}

void MainWindow::showVersionInfo()
{
    writeText(ui->lineEdit_67, core.deviceData().versionInfo);
}

void MainWindow::showDeviceModel()
{
    writeText(ui->lineEdit_68, core.deviceData().deviceModel);
}

void MainWindow::showSerialNumber()
{
    writeText(ui->lineEdit_69, core.deviceData().serialNumber);
}

void MainWindow::showFactoryInfo()
{
    writeText(ui->lineEdit_70, core.deviceData().factoryInfo);
}

// The PWM controller reports its encryption state in the caption of the
// "Self-check error" lamp; the lamp's colour still follows status bit 9.
void MainWindow::showEncryptionState()
{
    if (ui->pushButton_97->isEnabled())
        ui->pushButton_97->setText(core.deviceData().encryptionText);
}

// --- device list -------------------------------------------------------

void MainWindow::updateDeviceList(quint8 address, const QString &name)
{
    if (address < DeviceSlots) {
        deviceSeen[address] = address;
        deviceNames[address] = name;
    }
    const int active = core.deviceAddress();
    for (int i = 0; i < DeviceSlots; ++i) {
        if (deviceSeen[i] == 0)
            continue;
        QListWidgetItem &item = deviceItems[i];
        item.setText(QStringLiteral("SN%1:").arg(twoDigits(i)) + deviceNames[i]);
        if (i == active) {
            item.setBackground(QColor(0, 0, 0));
            item.setForeground(QColor(255, 0, 0));
            snLabel.setText(QStringLiteral("SN:%1").arg(twoDigits(i)));
        } else {
            item.setBackground(QColor(255, 255, 255));
            item.setForeground(QColor(0, 0, 0));
        }
        // Rows are never taken out: an item already in the list stays put.
        if (!item.listWidget())
            ui->listWidget->insertItem(ui->listWidget->count(), &item);
    }
    ui->listWidget->sortItems(Qt::AscendingOrder);
}

void MainWindow::chooseListedDevice(QListWidgetItem *item)
{
    if (item < deviceItems || item >= deviceItems + DeviceSlots)
        return;
    const int address = int(item - deviceItems);
    if (address == 0)
        return;
    ConfigFile config(core.configFilePath());
    config.setValue(QStringLiteral("serial/serial_address"), QString::number(address));
    if (!config.save())
        qCWarning(lcDeviceList) << "cannot save the address:" << config.errorString();
    core.setDeviceAddress(quint8(address));
    // Its own colours show which row is polled, not the selection's.
    ui->listWidget->clearSelection();
    updateDeviceList(0, QString());
}

// --- reset on disconnect -----------------------------------------------

void MainWindow::resetDisplay()
{
    for (Button button : idleButtons)
        (ui->*button)->setStyleSheet(styleIdle);
    for (const NeutralText &entry : neutralTexts)
        writeText(ui->*entry.field, tr(entry.text));
    const QString emptyFrame = tr("00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");
    txBox.setText(emptyFrame);
    rxBox.setText(emptyFrame);
    setRxLampGray();
    setTxLampGray();
}
