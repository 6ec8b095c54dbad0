// The device list and the reset of the monitoring widgets on disconnect.
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest>

#include "config_file.h"
#include "mainwindow.h"
#include "monitoring_sim.h"
#include "simulated_controller.h"
#include "tcp_device.h"
#include "window_fixture.h"

namespace {

const QString idle = QStringLiteral("font:bold 12pt \"Arial\";font-variant:bold;");
const QString emptyFrame = QStringLiteral(
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");

QImage lampImage(const char *colour)
{
    return QPixmap(QStringLiteral(":/Images/Images/64X64/") + colour + QStringLiteral("64x64.png"))
        .scaled(16, 16, Qt::IgnoreAspectRatio, Qt::FastTransformation)
        .toImage();
}

QImage shown(const QLabel &lamp)
{
    return lamp.pixmap(Qt::ReturnByValue).toImage();
}

QStringList rowTexts(QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

bool isActiveRow(const QListWidgetItem *item)
{
    return item->background().color() == QColor(0, 0, 0)
           && item->foreground().color() == QColor(255, 0, 0);
}

bool isPlainRow(const QListWidgetItem *item)
{
    return item->background().color() == QColor(255, 255, 255)
           && item->foreground().color() == QColor(0, 0, 0);
}

} // namespace

class tst_device_list : public QObject
{
    Q_OBJECT

private slots:
    void listRowsFollowAddresses();
    void disconnectResetsDisplay();
    void chosenRowSwitchesThePolledAddress_data();
    void chosenRowSwitchesThePolledAddress();
};

void tst_device_list::listRowsFollowAddresses()
{
    WindowFixture f;
    MainWindow &w = f.w();
    QListWidget *list = w.findChild<QListWidget *>(QStringLiteral("listWidget"));
    w.core.mainEngine.setSlaveAddress(5);

    // Answers arrive out of address order; the list is sorted regardless.
    w.updateDeviceList(17, QStringLiteral("PWM-20"));
    w.updateDeviceList(5, QStringLiteral("MPPT-40"));
    w.updateDeviceList(0, QString());   // the scan's refresh: address 0 never shows
    w.updateDeviceList(0, QString());
    QCOMPARE(rowTexts(list), (QStringList{"SN05:MPPT-40", "SN17:PWM-20"}));
    QVERIFY(isActiveRow(list->item(0)));
    QVERIFY(isPlainRow(list->item(1)));
    QCOMPARE(w.snLabel.text(), QStringLiteral("SN:05"));

    // Address 17 stops answering: its row stays with its last text and colours.
    w.deviceSeen[17] = 0;
    w.deviceNames[17] = QStringLiteral("gone");
    w.core.mainEngine.setSlaveAddress(17);
    w.updateDeviceList(0, QString());
    QCOMPARE(rowTexts(list), (QStringList{"SN05:MPPT-40", "SN17:PWM-20"}));
    QVERIFY(isPlainRow(list->item(0)));
    QVERIFY(isPlainRow(list->item(1)));
    QCOMPARE(w.snLabel.text(), QStringLiteral("SN:05"));

    // When it answers again, it is the active row.
    w.updateDeviceList(17, QStringLiteral("PWM-30"));
    QCOMPARE(rowTexts(list), (QStringList{"SN05:MPPT-40", "SN17:PWM-30"}));
    QVERIFY(isActiveRow(list->item(1)));
    QCOMPARE(w.snLabel.text(), QStringLiteral("SN:17"));
}

void tst_device_list::disconnectResetsDisplay()
{
    WindowFixture f;
    MainWindow &w = f.w();
    TcpDevice device;
    QVERIFY(device.isListening());
    f.holdRefreshCycle();
    QVERIFY(f.connectTcp(device, QStringLiteral("Define")));
    f.holdRefreshCycle();

    // Everything the reset touches carries something else first.
    const QList<QPair<QString, QString>> neutral = {
        {"lineEdit_34", "000.00"}, {"lineEdit_35", "000.00"}, {"lineEdit_36", "000.00"},
        {"lineEdit_37", "NO"},     {"lineEdit_39", "00.00"},  {"lineEdit_40", "000.00"},
        {"lineEdit_41", "000.00"}, {"lineEdit_42", "000"},    {"lineEdit_43", "000"},
        {"lineEdit_44", "Stop"},   {"lineEdit_45", "00"},     {"lineEdit_46", "00"},
        {"lineEdit_47", "000.00"}, {"lineEdit_48", "000.00"}, {"lineEdit_49", "000.00"},
        {"lineEdit_54", "00.00"},  {"lineEdit_56", "00.00"},  {"lineEdit_62", "00.00"},
        {"lineEdit_64", "00.00"},  {"lineEdit_67", "Unkown"}, {"lineEdit_68", "Unkown"},
        {"lineEdit_70", "Unkown"}, {"lineEdit_69", "0000-0000-0000-0000"},
        {"lineEdit_77", "0000"},   {"lineEdit_78", "0000"},   {"lineEdit_79", "0000"},
    };
    for (const auto &n : neutral)
        lineEdit(w, n.first)->setText(QStringLiteral("live"));
    lineEdit(w, "lineEdit_38")->setText(QStringLiteral("250"));
    lineEdit(w, "lineEdit_45")->setEnabled(false);   // a disabled field keeps its text

    const QStringList resetButtons{
        "pushButton_97",  "pushButton_98",  "pushButton_99",  "pushButton_100", "pushButton_101",
        "pushButton_102", "pushButton_103", "pushButton_104", "pushButton_105", "pushButton_106",
        "pushButton_107", "pushButton_108", "pushButton_109", "pushButton_113", "pushButton_114",
        "pushButton",     "pushButton_2",   "pushButton_3",   "pushButton_4",   "pushButton_5",
        "pushButton_6",   "pushButton_7",   "pushButton_8",   "pushButton_9",   "pushButton_10",
        "pushButton_11",  "pushButton_12",  "pushButton_33",  "pushButton_35",  "pushButton_36",
        "pushButton_39",  "pushButton_40",  "pushButton_41",  "pushButton_42",  "pushButton_43",
        "pushButton_44",  "pushButton_47",  "pushButton_49",  "pushButton_53",  "pushButton_54",
        "pushButton_55",  "pushButton_56",  "pushButton_57",  "pushButton_58",  "pushButton_68",
        "pushButton_69",  "pushButton_75",  "pushButton_76",  "pushButton_77",  "pushButton_78",
        "pushButton_86",  "pushButton_87",  "pushButton_16",  "pushButton_18",  "pushButton_22",
        "pushButton_25"};
    const QStringList keptButtons{"pushButton_88", "pushButton_89", "pushButton_90",
                                  "pushButton_91", "pushButton_92", "pushButton_94",
                                  "pushButton_95", "pushButton_96", "pushButton_110"};
    for (const QString &name : resetButtons + keptButtons)
        pushButton(w, name)->setStyleSheet(QStringLiteral("background-color: rgb(255, 0, 0);"));
    pushButton(w, "pushButton_104")->setEnabled(false);   // styles are reset regardless
    pushButton(w, "pushButton_97")->setText(QStringLiteral("未加密"));

    w.updateDeviceList(3, QStringLiteral("MPPT-40"));
    const QString snText = w.snLabel.text();
    w.setTxLampGreen();
    w.setRxLampGreen();
    QVERIFY(shown(w.rxLamp) != lampImage("gray"));

    pressConnect(w);   // "Disonnect"
    QVERIFY(!linkIsUp(w));

    for (const auto &n : neutral) {
        const QString expected = n.first == "lineEdit_45" ? QStringLiteral("live") : n.second;
        QCOMPARE(fieldText(w, n.first) + " in " + n.first, expected + " in " + n.first);
    }
    for (const QString &name : resetButtons)
        QCOMPARE(pushButton(w, name)->styleSheet() + " on " + name, idle + " on " + name);
    for (const QString &name : keptButtons)
        QCOMPARE(pushButton(w, name)->styleSheet() + " on " + name,
                 QStringLiteral("background-color: rgb(255, 0, 0); on ") + name);
    QCOMPARE(w.findChild<QTextEdit *>("textEdit")->toPlainText(), emptyFrame);
    QCOMPARE(w.findChild<QTextEdit *>("textEdit_2")->toPlainText(), emptyFrame);
    QCOMPARE(emptyFrame.split(' ').size(), 26);

    // Not reset: the lamp caption, the nominal power, the list and its label.
    QCOMPARE(pushButton(w, "pushButton_97")->text(), QStringLiteral("未加密"));
    QCOMPARE(fieldText(w, "lineEdit_38"), QStringLiteral("250"));
    QCOMPARE(rowTexts(w.findChild<QListWidget *>("listWidget")), QStringList{"SN03:MPPT-40"});
    QCOMPARE(w.snLabel.text(), snText);

    QVERIFY(lampImage("gray") != lampImage("green"));
    QCOMPARE(shown(w.rxLamp), lampImage("gray"));
    QCOMPARE(shown(w.txLamp), lampImage("gray"));
}

void tst_device_list::chosenRowSwitchesThePolledAddress_data()
{
    QTest::addColumn<int>("transport");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("addressAt");   // where the address stands in a request
    QTest::newRow("Modbus TCP") << int(SimTransport::Tcp) << QStringLiteral("TCP Modbus") << 6;
    QTest::newRow("Modbus RTU, pty") << int(SimTransport::Pty) << QStringLiteral("Modbus") << 0;
}

// A click on a row, or the arrow keys and Enter, make the window poll that
// address at once, saved in config.ini as Setting saves it; the rows show
// the polled one red on black.
void tst_device_list::chosenRowSwitchesThePolledAddress()
{
    QFETCH(int, transport);
    QFETCH(QString, protocol);
    QFETCH(int, addressAt);
    WindowFixture f;
    MainWindow &w = f.w();
    SimulatedController sim(simProtocolFor(protocol), ControllerMppt);
    sim.addDevice(5)->setReg(SimReg::BatteryVoltage, 1305);
    sim.device(1)->setReg(SimReg::BatteryVoltage, 1201);
    QVERIFY(connectToSim(f, sim, SimTransport(transport), protocol, QStringLiteral("MPPT"), 1));
    QListWidget *list = w.findChild<QListWidget *>(QStringLiteral("listWidget"));
    w.updateDeviceList(1, QStringLiteral("SIM-A"));
    w.updateDeviceList(5, QStringLiteral("SIM-B"));
    QCOMPARE(rowTexts(list), (QStringList{"SN01:SIM-A", "SN05:SIM-B"}));

    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    QCOMPARE(w.core.deviceAddress(), 5);
    QCOMPARE(ConfigFile(f.dir.configPath()).value(QStringLiteral("Serial/serial_address")),
             QStringLiteral("5"));
    QVERIFY(isPlainRow(list->item(0)));
    QVERIFY(isActiveRow(list->item(1)));
    QVERIFY(list->selectedItems().isEmpty());
    QCOMPARE(w.snLabel.text(), QStringLiteral("SN:05"));
    runStep(w, 1, 13);   // live values
    QCOMPARE(quint8(sim.lastRequest().at(addressAt)), quint8(5));
    QCOMPARE(fieldText(w, "lineEdit_40"), QStringLiteral("13.05"));

    list->setFocus();
    QTest::keyClick(list, Qt::Key_Up);
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(w.core.deviceAddress(), 1);
    QCOMPARE(ConfigFile(f.dir.configPath()).value(QStringLiteral("Serial/serial_address")),
             QStringLiteral("1"));
    QVERIFY(isActiveRow(list->item(0)));
    QVERIFY(isPlainRow(list->item(1)));
    QCOMPARE(w.snLabel.text(), QStringLiteral("SN:01"));
    runStep(w, 1, 13);
    QCOMPARE(quint8(sim.lastRequest().at(addressAt)), quint8(1));
    QCOMPARE(fieldText(w, "lineEdit_40"), QStringLiteral("12.01"));
}

QTEST_MAIN(tst_device_list)
#include "tst_device_list.moc"
