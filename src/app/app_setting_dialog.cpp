#include "app_setting_dialog.h"

#include <algorithm>

#include <QLoggingCategory>
#include <QMessageBox>
#include <QSerialPortInfo>
#include <QtDebug>

#include "ui_app_setting_dialog.h"

namespace {

// "Record history": whether the window records into its history file.
const QString recordKey = QStringLiteral("record/enabled");

// Traces of what is saved, silent unless QT_LOGGING_RULES turns them on.
Q_LOGGING_CATEGORY(lcSettings, "solar.settings", QtInfoMsg)

struct Choice {
    QRadioButton *button;
    QString value;
};

// A setting held by a group of radio buttons: each button stands for one value.
struct RadioSetting {
    QString key;
    QVector<Choice> choices;
};

// The three radio settings, each button in the order its value is preferred when saving.
QVector<RadioSetting> radioSettings(const Ui::app_setting_Dialog *ui)
{
    return {
        {QStringLiteral("common/communication_mode"),
         {{ui->radioButtonSerise, QStringLiteral("Serial")}, {ui->radioButtonWifi, QStringLiteral("Wifi")}}},
        {QStringLiteral("common/communication_protocol"),
         {{ui->radioButtonDef, QStringLiteral("Define")},
          {ui->radioButtonTCP, QStringLiteral("TCP Modbus")},
          {ui->radioButtonMod, QStringLiteral("Modbus")}}},
        {QStringLiteral("type/controller_type"),
         {{ui->radioButtonPWM, QStringLiteral("PWM")}, {ui->radioButtonMPPT, QStringLiteral("MPPT")}}},
    };
}

// Checks the button of text and unchecks the others; an unknown text changes none.
void showChoice(const RadioSetting &setting, const QString &text)
{
    const bool known = std::any_of(setting.choices.cbegin(), setting.choices.cend(),
                                   [&](const Choice &c) { return c.value == text; });
    if (!known)
        return;
    for (const Choice &c : setting.choices)
        c.button->setChecked(c.value == text);
}

// Writes the value of the first checked button; nothing when none is checked.
void storeChoice(const RadioSetting &setting, ConfigFile &config)
{
    for (const Choice &c : setting.choices) {
        if (!c.button->isChecked())
            continue;
        config.setValue(setting.key, c.value);
        qCDebug(lcSettings).noquote() << QStringLiteral("%1 = %2").arg(setting.key.section(QLatin1Char('/'), 1), c.value);
        return;
    }
}

// Selects the item equal to text; a text that no item has leaves the list as it is.
void showItem(QComboBox *box, const QString &text)
{
    const int index = box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        box->setCurrentIndex(index);
}

} // namespace

app_setting_Dialog::app_setting_Dialog(QWidget *parent, const QString &configPath)
    : QDialog(parent)
    , ui(new Ui::app_setting_Dialog)
    , m_configPath(configPath)
{
    ui->setupUi(this);
    setWindowTitle(tr("设置"));
    // Device names share prefixes (ttyUSB1, ttyUSB10): completing them would
    // store a port other than the one typed.
    ui->comboBoxSerise->setCompleter(nullptr);
    addSystemSerialPorts();
    readconfig();
}

app_setting_Dialog::~app_setting_Dialog()
{
    delete ui;
}

// The COM names stay first for files written on Windows; the ports this
// system has follow, so a Linux device can be picked as well as typed.
void app_setting_Dialog::addSystemSerialPorts()
{
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports) {
        const QString name = port.portName();
        if (!name.isEmpty() && ui->comboBoxSerise->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
            ui->comboBoxSerise->addItem(name);
    }
}

void app_setting_Dialog::readconfig()
{
    const ConfigFile config(m_configPath);
    for (const RadioSetting &setting : radioSettings(ui))
        showChoice(setting, config.value(setting.key));

    showSerialPort(config.value(QStringLiteral("Serial/serial_port")));
    showItem(ui->comboBoxAddress, config.value(QStringLiteral("Serial/serial_address")));
    showItem(ui->comboBoxBaud, config.value(QStringLiteral("Serial/serial_baud")));

    ui->lineEditIP->setText(config.value(QStringLiteral("Wifi/ip_address")));
    ui->lineEditPort->setText(config.value(QStringLiteral("Wifi/ip_port")));

    ui->checkBoxRecord->setChecked(config.boolValue(recordKey, false));
}

// A stored port that is not in the list (a device path) is shown as it is,
// so that OK stores it again unchanged.
void app_setting_Dialog::showSerialPort(const QString &port)
{
    QComboBox *box = ui->comboBoxSerise;
    const int index = box->findText(port, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0) {
        box->setCurrentIndex(index);
    } else if (!port.isEmpty()) {
        box->setCurrentIndex(-1);
        box->setEditText(port);
    }
}

void app_setting_Dialog::on_buttonBox_accepted()
{
    ConfigFile config(m_configPath);
    for (const RadioSetting &setting : radioSettings(ui))
        storeChoice(setting, config);

    // Only the chosen link's parameters: the other link keeps its old ones.
    if (ui->radioButtonSerise->isChecked()) {
        config.setValue(QStringLiteral("serial/serial_port"), ui->comboBoxSerise->currentText());
        config.setValue(QStringLiteral("serial/serial_baud"), ui->comboBoxBaud->currentText());
        config.setValue(QStringLiteral("serial/serial_address"), ui->comboBoxAddress->currentText());
    } else if (ui->radioButtonWifi->isChecked()) {
        config.setValue(QStringLiteral("Wifi/ip_address"), ui->lineEditIP->text());
        config.setValue(QStringLiteral("Wifi/ip_port"), ui->lineEditPort->text());
    }

    // Written only when changed: an untouched box adds no key to the file.
    if (ui->checkBoxRecord->isChecked() != config.boolValue(recordKey, false))
        config.setValue(recordKey, ui->checkBoxRecord->isChecked() ? QStringLiteral("true")
                                                                   : QStringLiteral("false"));

    // The dialog has closed as accepted: a lost write must not pass for a saved one.
    if (!config.save()) {
        qWarning().noquote() << "config.ini not saved:" << config.errorString();
        QMessageBox::warning(parentWidget(), windowTitle(),
                             tr("The settings could not be saved to %1:\n%2")
                                 .arg(config.path(), config.errorString()));
    }
}

// The two link buttons sit in different frames, so these keep them exclusive.
// A click on the checked one keeps it checked, as in any radio group.
void app_setting_Dialog::on_radioButtonSerise_clicked()
{
    ui->radioButtonSerise->setChecked(true);
    ui->radioButtonWifi->setChecked(false);
}

void app_setting_Dialog::on_radioButtonWifi_clicked()
{
    ui->radioButtonWifi->setChecked(true);
    ui->radioButtonSerise->setChecked(false);
}
