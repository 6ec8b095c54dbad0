// The settings dialog driven offscreen against config.ini in a temporary working directory.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSerialPortInfo>
#include <QtTest>

#include "app_setting_dialog.h"
#include "config_file.h"
#include "temp_workdir.h"

namespace {

const QString fullFile = QStringLiteral("; site A\n"
                                        "[Common]\n"
                                        "communication_mode=Serial\n"
                                        "communication_protocol=Modbus\n"
                                        "[type]\n"
                                        "controller_type=MPPT\n"
                                        "[serial]\n"
                                        "serial_port=COM12\n"
                                        "serial_baud=115200\n"
                                        "serial_address=17\n"
                                        "note=kept, too\n"
                                        "[Wifi]\n"
                                        "ip_address=192.168.4.1\n"
                                        "ip_port=8899\n");

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

template<class T>
T *part(const QDialog &dialog, const char *name)
{
    T *widget = dialog.findChild<T *>(QLatin1String(name));
    if (!widget)
        qFatal("no widget %s", name);
    return widget;
}

QRadioButton *radio(const QDialog &dialog, const char *name)
{
    return part<QRadioButton>(dialog, name);
}

QComboBox *combo(const QDialog &dialog, const char *name)
{
    return part<QComboBox>(dialog, name);
}

QLineEdit *edit(const QDialog &dialog, const char *name)
{
    return part<QLineEdit>(dialog, name);
}

// Which of the buttons is checked, by its stored value: "" for none, "+" joins several.
QString checked(const QDialog &dialog, const QVector<QPair<const char *, QString>> &buttons)
{
    QStringList on;
    for (const auto &b : buttons) {
        if (radio(dialog, b.first)->isChecked())
            on << b.second;
    }
    return on.join(QLatin1Char('+'));
}

QString checkedMode(const QDialog &d)
{
    return checked(d, {{"radioButtonSerise", "Serial"}, {"radioButtonWifi", "Wifi"}});
}

QString checkedProtocol(const QDialog &d)
{
    return checked(d, {{"radioButtonDef", "Define"}, {"radioButtonTCP", "TCP Modbus"}, {"radioButtonMod", "Modbus"}});
}

QString checkedType(const QDialog &d)
{
    return checked(d, {{"radioButtonPWM", "PWM"}, {"radioButtonMPPT", "MPPT"}});
}

const char *radioFor(const QString &value)
{
    static const QHash<QString, const char *> names{
        {"Serial", "radioButtonSerise"}, {"Wifi", "radioButtonWifi"},   {"Define", "radioButtonDef"},
        {"TCP Modbus", "radioButtonTCP"}, {"Modbus", "radioButtonMod"}, {"PWM", "radioButtonPWM"},
        {"MPPT", "radioButtonMPPT"}};
    return names.value(value);
}

void pressOk(const QDialog &dialog)
{
    part<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
}

void typeInto(QComboBox *box, const QString &text)
{
    QApplication::setActiveWindow(box->window());
    box->setFocus();
    box->lineEdit()->selectAll();
    QTest::keyClick(box->lineEdit(), Qt::Key_Backspace);
    QTest::keyClicks(box->lineEdit(), text);
}

} // namespace

class tst_SettingsDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void form_data();
    void form();
    void listItems();

    void noFileOkWritesNothing();
    void readsConfig_data();
    void readsConfig();
    void savesChoices_data();
    void savesChoices();
    void ethernetKeepsSerialSection();
    void rejectLeavesFileUnchanged_data();
    void rejectLeavesFileUnchanged();
    void radioExclusivity();

    void storedDevicePathSurvivesOk();
    void typedPortStoredAsTyped_data();
    void typedPortStoredAsTyped();
    void writeFailureIsReported();
    void recordHistoryRoundTrip();

private:
    TempWorkDir *work = nullptr;
};

// The saved-setting traces are silent by default; these tests read them.
void tst_SettingsDialog::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("solar.settings.debug=true"));
}

void tst_SettingsDialog::init()
{
    work = new TempWorkDir;
    QVERIFY(work->isValid());
}

void tst_SettingsDialog::cleanup()
{
    delete work;
    work = nullptr;
}

void tst_SettingsDialog::form_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");

    const auto row = [](const char *name, const char *parent, QRect geometry, const QString &text) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(parent) << geometry << text;
    };
    // 40 pixels wider than first drawn, so a device path, 115200 and the
    // protocol names show whole in Linux's faces.
    row("groupBox", "app_setting_Dialog", {9, 9, 311, 159}, "Communication mode");
    row("frame", "groupBox", {10, 22, 301, 77}, "");
    row("radioButtonSerise", "frame", {10, 0, 61, 16}, "Serial.");
    row("labelSerise", "frame", {10, 20, 48, 21}, QString::fromUtf8("Port："));
    row("comboBoxSerise", "frame", {44, 20, 100, 20}, "COM1");
    row("labelBaud", "frame", {150, 20, 73, 21}, QString::fromUtf8("Porter rate："));
    row("comboBoxBaud", "frame", {228, 20, 68, 20}, "4800");
    row("labeladdress", "frame", {8, 52, 85, 21}, QString::fromUtf8("SlaveAddress："));
    row("comboBoxAddress", "frame", {88, 52, 47, 20}, "0");
    row("frame_2", "groupBox", {10, 108, 301, 43}, "");
    row("radioButtonWifi", "frame_2", {10, 0, 81, 16}, "Ethernet.");
    row("labelIP", "frame_2", {5, 20, 69, 21}, QString::fromUtf8("IP Address："));
    row("lineEditIP", "frame_2", {74, 20, 101, 20}, "");
    row("labelPort", "frame_2", {180, 20, 36, 21}, QString::fromUtf8("Port："));
    row("lineEditPort", "frame_2", {214, 20, 51, 20}, "");
    row("groupBox_2", "app_setting_Dialog", {9, 170, 311, 71}, "Communication protocol");
    row("radioButtonDef", "groupBox_2", {12, 22, 63, 16}, "Custom");
    row("radioButtonTCP", "groupBox_2", {11, 44, 96, 16}, "TCP_Modbus");
    row("radioButtonMod", "groupBox_2", {145, 22, 65, 16}, "Modbus");
    row("groupBox_3", "app_setting_Dialog", {10, 252, 305, 53}, "Controller type");
    row("radioButtonPWM", "groupBox_3", {11, 25, 51, 16}, "PWM");
    row("radioButtonMPPT", "groupBox_3", {141, 25, 56, 16}, "MPPT");
    row("buttonBox", "app_setting_Dialog", {160, 310, 156, 23}, "");
}

void tst_SettingsDialog::form()
{
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);

    const app_setting_Dialog dialog(nullptr);
    QCOMPARE(dialog.objectName(), QStringLiteral("app_setting_Dialog"));
    QCOMPARE(dialog.windowTitle(), QString::fromUtf8("设置"));
    QCOMPARE(dialog.size(), QSize(344, 348));

    const QWidget *widget = dialog.findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->parentWidget()->objectName(), parent);
    QCOMPARE(widget->geometry(), geometry);
    QString shown;
    if (auto *box = qobject_cast<const QGroupBox *>(widget))
        shown = box->title();
    else if (auto *button = qobject_cast<const QAbstractButton *>(widget))
        shown = button->text();
    else if (auto *label = qobject_cast<const QLabel *>(widget))
        shown = label->text();
    else if (auto *list = qobject_cast<const QComboBox *>(widget))
        shown = list->currentText();
    else if (auto *line = qobject_cast<const QLineEdit *>(widget))
        shown = line->text();
    QCOMPARE(shown, text);
    if (auto *frame = qobject_cast<const QFrame *>(widget); frame && name.startsWith("frame")) {
        QCOMPARE(frame->frameShape(), QFrame::StyledPanel);
        QCOMPARE(frame->frameShadow(), QFrame::Raised);
    }
    if (auto *buttons = qobject_cast<const QDialogButtonBox *>(widget)) {
        QCOMPARE(buttons->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QCOMPARE(buttons->orientation(), Qt::Horizontal);
    }
}

void tst_SettingsDialog::listItems()
{
    const app_setting_Dialog dialog(nullptr);
    const auto items = [](const QComboBox *box) {
        QStringList texts;
        for (int i = 0; i < box->count(); ++i)
            texts << box->itemText(i);
        return texts;
    };
    const QStringList ports = items(combo(dialog, "comboBoxSerise"));
    QStringList addresses;
    QStringList com;
    for (int i = 0; i <= 40; ++i)
        addresses << QString::number(i);
    for (int i = 1; i <= 40; ++i)
        com << QStringLiteral("COM%1").arg(i);

    QCOMPARE(items(combo(dialog, "comboBoxAddress")), addresses);
    QCOMPARE(items(combo(dialog, "comboBoxBaud")),
             QStringList({"4800", "9600", "14400", "19200", "38400", "43000", "56000", "57600", "115200"}));

    // The COM names first and in order, then each port of this system once.
    QCOMPARE(ports.mid(0, 40), com);
    QStringList system;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        if (!com.contains(info.portName()) && !system.contains(info.portName()))
            system << info.portName();
    }
    QCOMPARE(ports.mid(40), system);
    QVERIFY(combo(dialog, "comboBoxSerise")->isEditable());
}

void tst_SettingsDialog::noFileOkWritesNothing()
{
    app_setting_Dialog dialog(nullptr);
    QCOMPARE(checkedMode(dialog), QString());
    QCOMPARE(checkedProtocol(dialog), QString());
    QCOMPARE(checkedType(dialog), QString());

    pressOk(dialog);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!work->configExists());
}

void tst_SettingsDialog::readsConfig_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("shown");   // mode, protocol, type, port, baud, address, ip, ip port

    QTest::newRow("serial, Common and serial sections")
        << fullFile << QStringList{"Serial", "Modbus", "MPPT", "COM12", "115200", "17", "192.168.4.1", "8899"};
    QTest::newRow("sections as written elsewhere")
        << QStringLiteral("[COMMON]\ncommunication_mode=Wifi\ncommunication_protocol=TCP Modbus\n"
                          "[Type]\ncontroller_type=PWM\n[WIFI]\nip_address=host.local\nip_port=502\n"
                          "[Serial]\nserial_port=COM40\nserial_baud=9600\nserial_address=40\n")
        << QStringList{"Wifi", "TCP Modbus", "PWM", "COM40", "9600", "40", "host.local", "502"};
    QTest::newRow("Define")
        << QStringLiteral("[common]\ncommunication_protocol=Define\n")
        << QStringList{"", "Define", "", "COM1", "4800", "0", "", ""};
    // Values are compared exactly; an unknown one checks nothing and leaves lists at their first item.
    QTest::newRow("values in the wrong case")
        << QStringLiteral("[common]\ncommunication_mode=serial\ncommunication_protocol=modbus\n"
                          "[type]\ncontroller_type=pwm\n[serial]\nserial_baud=1200\nserial_address=41\n")
        << QStringList{"", "", "", "COM1", "4800", "0", "", ""};
}

void tst_SettingsDialog::readsConfig()
{
    QFETCH(QString, file);
    QFETCH(QStringList, shown);
    QVERIFY(work->writeConfig(file));

    const app_setting_Dialog dialog(nullptr);
    const QStringList actual{checkedMode(dialog),
                             checkedProtocol(dialog),
                             checkedType(dialog),
                             combo(dialog, "comboBoxSerise")->currentText(),
                             combo(dialog, "comboBoxBaud")->currentText(),
                             combo(dialog, "comboBoxAddress")->currentText(),
                             edit(dialog, "lineEditIP")->text(),
                             edit(dialog, "lineEditPort")->text()};
    QCOMPARE(actual, shown);
    QCOMPARE(work->readConfig(), file);
}

void tst_SettingsDialog::savesChoices_data()
{
    QTest::addColumn<QStringList>("choices");   // values whose radio buttons are clicked
    QTest::addColumn<QStringList>("written");   // key=value expected in the file
    QTest::addColumn<QStringList>("absent");    // keys that must not be there

    QTest::newRow("serial, Custom, PWM")
        << QStringList{"Serial", "Define", "PWM"}
        << QStringList{"common/communication_mode=Serial", "common/communication_protocol=Define",
                       "type/controller_type=PWM", "serial/serial_port=COM5", "serial/serial_baud=57600",
                       "serial/serial_address=17"}
        << QStringList{"Wifi/ip_address", "Wifi/ip_port"};
    QTest::newRow("ethernet, TCP_Modbus, MPPT")
        << QStringList{"Wifi", "TCP Modbus", "MPPT"}
        << QStringList{"common/communication_mode=Wifi", "common/communication_protocol=TCP Modbus",
                       "type/controller_type=MPPT", "Wifi/ip_address=10.0.0.9, backup", "Wifi/ip_port=50 2"}
        << QStringList{"serial/serial_port", "serial/serial_baud", "serial/serial_address"};
    QTest::newRow("protocol only")
        << QStringList{"Modbus"} << QStringList{"common/communication_protocol=Modbus"}
        << QStringList{"common/communication_mode", "type/controller_type", "serial/serial_port", "Wifi/ip_port"};
}

void tst_SettingsDialog::savesChoices()
{
    QFETCH(QStringList, choices);
    QFETCH(QStringList, written);
    QFETCH(QStringList, absent);

    app_setting_Dialog dialog(nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    for (const QString &value : choices)
        QTest::mouseClick(radio(dialog, radioFor(value)), Qt::LeftButton);
    combo(dialog, "comboBoxSerise")->setCurrentText(QStringLiteral("COM5"));
    combo(dialog, "comboBoxBaud")->setCurrentText(QStringLiteral("57600"));
    combo(dialog, "comboBoxAddress")->setCurrentText(QStringLiteral("17"));
    // Typed text is stored unvalidated.
    QTest::keyClicks(edit(dialog, "lineEditIP"), QStringLiteral("10.0.0.9, backup"));
    QTest::keyClicks(edit(dialog, "lineEditPort"), QStringLiteral("50 2"));

    static const QHash<QString, const char *> keys{
        {"Serial", "communication_mode"}, {"Wifi", "communication_mode"},
        {"Define", "communication_protocol"}, {"TCP Modbus", "communication_protocol"},
        {"Modbus", "communication_protocol"}, {"PWM", "controller_type"}, {"MPPT", "controller_type"}};
    for (const QString &value : choices) {
        const QByteArray line = QByteArray(keys.value(value)) + " = " + value.toUtf8();
        QTest::ignoreMessage(QtDebugMsg, line.constData());
    }
    pressOk(dialog);
    QVERIFY(!dialog.isVisible());

    const ConfigFile file;
    for (const QString &pair : written) {
        const int eq = pair.indexOf(QLatin1Char('='));
        QCOMPARE(file.value(pair.left(eq)), pair.mid(eq + 1));
    }
    const QString text = work->readConfig();
    for (const QString &key : absent)
        QVERIFY2(!text.contains(key.section(QLatin1Char('/'), 1)), qPrintable(text));
}

void tst_SettingsDialog::ethernetKeepsSerialSection()
{
    QVERIFY(work->writeConfig(fullFile));
    app_setting_Dialog dialog(nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    QTest::mouseClick(radio(dialog, "radioButtonWifi"), Qt::LeftButton);
    edit(dialog, "lineEditIP")->setText(QStringLiteral("10.1.1.1"));
    edit(dialog, "lineEditPort")->setText(QStringLiteral("502"));
    combo(dialog, "comboBoxBaud")->setCurrentText(QStringLiteral("4800"));   // not the chosen link
    pressOk(dialog);

    QString expected = fullFile;
    expected.replace(QStringLiteral("communication_mode=Serial"), QStringLiteral("communication_mode=Wifi"))
        .replace(QStringLiteral("ip_address=192.168.4.1\nip_port=8899"), QStringLiteral("ip_address=10.1.1.1\nip_port=502"));
    QCOMPARE(work->readConfig(), expected);
}

void tst_SettingsDialog::rejectLeavesFileUnchanged_data()
{
    QTest::addColumn<bool>("closeWindow");
    QTest::newRow("Cancel") << false;
    QTest::newRow("window closed") << true;
}

void tst_SettingsDialog::rejectLeavesFileUnchanged()
{
    QFETCH(bool, closeWindow);
    QVERIFY(work->writeConfig(fullFile));
    const QByteArray before = fileBytes(work->configPath());

    app_setting_Dialog dialog(nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    for (const char *name : {"radioButtonWifi", "radioButtonDef", "radioButtonPWM"})
        QTest::mouseClick(radio(dialog, name), Qt::LeftButton);
    edit(dialog, "lineEditIP")->setText(QStringLiteral("10.9.9.9"));
    combo(dialog, "comboBoxSerise")->setCurrentText(QStringLiteral("COM2"));

    if (closeWindow)
        QVERIFY(dialog.close());
    else
        part<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Cancel)->click();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(fileBytes(work->configPath()) == before);
}

void tst_SettingsDialog::radioExclusivity()
{
    app_setting_Dialog dialog(nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const auto click = [&](const char *name) { QTest::mouseClick(radio(dialog, name), Qt::LeftButton); };

    // The link buttons live in two frames and are linked by the click slots.
    click("radioButtonSerise");
    QCOMPARE(checkedMode(dialog), QStringLiteral("Serial"));
    click("radioButtonWifi");
    QCOMPARE(checkedMode(dialog), QStringLiteral("Wifi"));
    click("radioButtonSerise");
    QCOMPARE(checkedMode(dialog), QStringLiteral("Serial"));
    click("radioButtonSerise");   // a second click does not leave both unchecked
    QCOMPARE(checkedMode(dialog), QStringLiteral("Serial"));
    click("radioButtonWifi");
    click("radioButtonWifi");
    QCOMPARE(checkedMode(dialog), QStringLiteral("Wifi"));

    for (const QString &value : {"Define", "TCP Modbus", "Modbus", "Define"}) {
        click(radioFor(value));
        QCOMPARE(checkedProtocol(dialog), value);
    }
    for (const QString &value : {"MPPT", "PWM", "PWM", "MPPT"}) {
        click(radioFor(value));
        QCOMPARE(checkedType(dialog), value);
    }
    QCOMPARE(checkedMode(dialog), QStringLiteral("Wifi"));
}

void tst_SettingsDialog::storedDevicePathSurvivesOk()
{
    const QString file = QStringLiteral("[common]\ncommunication_mode=Serial\n"
                                        "[serial]\nserial_port=/dev/pts/3\nserial_baud=9600\nserial_address=1\n");
    QVERIFY(work->writeConfig(file));

    app_setting_Dialog dialog(nullptr);
    QCOMPARE(combo(dialog, "comboBoxSerise")->currentText(), QStringLiteral("/dev/pts/3"));
    QTest::ignoreMessage(QtDebugMsg, "communication_mode = Serial");
    pressOk(dialog);
    QCOMPARE(work->readConfig(), file);
}

void tst_SettingsDialog::typedPortStoredAsTyped_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("device path") << QStringLiteral("/dev/ttyUSB0");
    QTest::newRow("pty") << QStringLiteral("/dev/pts/12");
    QTest::newRow("prefix of items is not completed") << QStringLiteral("COM");
    QTest::newRow("an item") << QStringLiteral("COM4");
}

void tst_SettingsDialog::typedPortStoredAsTyped()
{
    QFETCH(QString, typed);
    app_setting_Dialog dialog(nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::mouseClick(radio(dialog, "radioButtonSerise"), Qt::LeftButton);
    typeInto(combo(dialog, "comboBoxSerise"), typed);

    QTest::ignoreMessage(QtDebugMsg, "communication_mode = Serial");
    pressOk(dialog);
    QCOMPARE(ConfigFile().value(QStringLiteral("Serial/serial_port")), typed);

    const app_setting_Dialog reopened(nullptr);
    QCOMPARE(combo(reopened, "comboBoxSerise")->currentText(), typed);
}

void tst_SettingsDialog::writeFailureIsReported()
{
    // A directory where the file should be: nothing can be written there.
    QVERIFY(QDir().mkdir(QStringLiteral("config.ini")));
    app_setting_Dialog dialog(nullptr);
    radio(dialog, "radioButtonSerise")->click();

    QString warning;
    bool dialogHidden = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll.stop();
        warning = box->text();
        dialogHidden = !dialog.isVisible();
        box->close();
    });
    poll.start(10);
    QTest::ignoreMessage(QtDebugMsg, "communication_mode = Serial");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^config.ini not saved:"));
    dialog.show();
    pressOk(dialog);

    QVERIFY2(warning.contains(QStringLiteral("config.ini")), qPrintable(warning));
    QVERIFY(dialogHidden);
    QVERIFY(QFileInfo(work->configPath()).isDir());
}

// "Record history" is [record] enabled: off and absent by default, written
// only when changed, read back as checked, unrelated keys kept.
void tst_SettingsDialog::recordHistoryRoundTrip()
{
    {
        app_setting_Dialog dialog(nullptr);
        auto *box = part<QCheckBox>(dialog, "checkBoxRecord");
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("Record history"));
        QVERIFY(!box->isChecked());
        QTest::mouseClick(radio(dialog, "radioButtonMPPT"), Qt::LeftButton);
        pressOk(dialog);
        QVERIFY(!work->readConfig().contains(QLatin1String("record"), Qt::CaseInsensitive));
    }
    QVERIFY(work->writeConfig(work->readConfig() + QStringLiteral("[Record]\ndatabase=/tmp/h.sqlite\n")));
    {
        app_setting_Dialog dialog(nullptr);
        part<QCheckBox>(dialog, "checkBoxRecord")->setChecked(true);
        pressOk(dialog);
    }
    QCOMPARE(work->readConfig(), QStringLiteral("[type]\ncontroller_type=MPPT\n[Record]\n"
                                                "database=/tmp/h.sqlite\nenabled=true\n"));
    {
        app_setting_Dialog dialog(nullptr);
        auto *box = part<QCheckBox>(dialog, "checkBoxRecord");
        QVERIFY(box->isChecked());
        box->setChecked(false);
        pressOk(dialog);
    }
    QVERIFY(work->readConfig().endsWith(QLatin1String("enabled=false\n")));
    app_setting_Dialog dialog(nullptr);
    QVERIFY(!part<QCheckBox>(dialog, "checkBoxRecord")->isChecked());
}

QTEST_MAIN(tst_SettingsDialog)
#include "tst_settings_dialog.moc"
