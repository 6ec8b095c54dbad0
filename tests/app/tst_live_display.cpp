// Live values, efficiency, status lamps and load state as the window shows
// them from the engine's device data.
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "mainwindow.h"
#include "monitoring_sim.h"
#include "window_fixture.h"

namespace {

const QString red = QStringLiteral("font:bold 12pt \"Arial\";background-color: rgb(255, 0, 0);");
const QString green = QStringLiteral("font:bold 12pt \"Arial\";;background-color: rgb(0, 255, 0);");
const QString plain = QStringLiteral("font:bold 12pt \"Arial\";");

// Every lamp the status word drives, by object name.
const QStringList faultLamps = {
    QStringLiteral("pushButton_104"), QStringLiteral("pushButton_113"),
    QStringLiteral("pushButton_114"), QStringLiteral("pushButton_105"),
    QStringLiteral("pushButton_103"), QStringLiteral("pushButton_101"),
    QStringLiteral("pushButton_102"), QStringLiteral("pushButton_100"),
    QStringLiteral("pushButton_97"),  QStringLiteral("pushButton_98"),
};

// Counts the style changes a widget goes through.
class RestyleCounter : public QObject
{
public:
    explicit RestyleCounter(QWidget *w) { w->installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::StyleChange)
            ++count;
        return false;
    }
    int count = 0;
};

} // namespace

class tst_live_display : public QObject
{
    Q_OBJECT

private slots:
    void defineLiveValues_data();
    void defineLiveValues();
    void modbusLiveValues();
    void efficiency_data();
    void efficiency();
    void wideTextShowsItsBeginning();
    void statusLamps_data();
    void statusLamps();
    void loadVoltageRule_data();
    void loadVoltageRule();
    void disabledWidgetsKeepWhatTheyShow();
    void unchangedValuesAreLeftAsTheyAre();
};

void tst_live_display::defineLiveValues_data()
{
    QTest::addColumn<quint32>("pvVoltage");
    QTest::addColumn<quint32>("pvCurrent");
    QTest::addColumn<quint32>("pvPower");
    QTest::addColumn<quint32>("batteryVoltage");
    QTest::addColumn<qint32>("batteryCurrent");
    QTest::addColumn<quint32>("capacity");
    QTest::addColumn<qint32>("temperature");
    QTest::addColumn<quint32>("loadCurrent");
    // lineEdit_34, 35, 36, 40, 41, 43, 45, 48
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("typical, battery discharging")
        << 1834u << 150u << 275u << 1312u << -125 << 100u << -5 << 275u
        << QStringList{"18.34", "1.50", "27.5", "13.12", "-1.25", "100", "-5", "2.75"};
    QTest::newRow("zeros keep two decimals")
        << 0u << 0u << 0u << 0u << 0 << 0u << 0 << 0u
        << QStringList{"0.00", "0.00", "0.0", "0.00", "0.00", "0", "0", "0.00"};
    QTest::newRow("single digits and rounding")
        << 5u << 99u << 7u << 1001u << 3 << 7u << 45 << 1u
        << QStringList{"0.05", "0.99", "0.7", "10.01", "0.03", "7", "45", "0.01"};
    QTest::newRow("full unsigned range")
        << 0xFFFFFFFFu << 65535u << 65535u << 65535u << -32768 << 255u << -128 << 65535u
        << QStringList{"42949672.95", "655.35", "6553.5", "655.35", "-327.68", "255", "-128", "655.35"};
}

void tst_live_display::defineLiveValues()
{
    QFETCH(quint32, pvVoltage);
    QFETCH(quint32, pvCurrent);
    QFETCH(quint32, pvPower);
    QFETCH(quint32, batteryVoltage);
    QFETCH(qint32, batteryCurrent);
    QFETCH(quint32, capacity);
    QFETCH(qint32, temperature);
    QFETCH(quint32, loadCurrent);
    QFETCH(QStringList, texts);

    WindowFixture f;
    DeviceData &d = f.w().core.mainEngine.deviceData;
    d.pvVoltage = pvVoltage;
    d.pvCurrent = pvCurrent;
    d.pvPower = pvPower;
    d.batteryVoltage = batteryVoltage;
    d.batteryCurrent = batteryCurrent;
    d.batteryCapacity = capacity;
    d.batteryTemperature = temperature;
    d.loadCurrent = loadCurrent;
    f.w().showDefineLiveValues();

    const QStringList fields{"lineEdit_34", "lineEdit_35", "lineEdit_36", "lineEdit_40",
                             "lineEdit_41", "lineEdit_43", "lineEdit_45", "lineEdit_48"};
    for (int i = 0; i < fields.size(); ++i)
        QCOMPARE(fieldText(f.w(), fields[i]) + " in " + fields[i], texts[i] + " in " + fields[i]);
    // Fields the Define run data does not carry keep the form's texts.
    QCOMPARE(fieldText(f.w(), "lineEdit_37"), QStringLiteral("NO"));
    QCOMPARE(fieldText(f.w(), "lineEdit_42"), QStringLiteral("000"));
    QCOMPARE(fieldText(f.w(), "lineEdit_44"), QStringLiteral("Bulk"));
}

void tst_live_display::modbusLiveValues()
{
    WindowFixture f;
    DeviceData &d = f.w().core.mainEngine.deviceData;
    d.pvVoltage = 2050;
    d.pvCurrent = 150;
    d.pvPower = 307;
    d.pvStateText = QStringLiteral("Generating");
    d.batteryVoltage = 1275;
    d.batteryCurrent = 999;   // register 7: not what the window shows
    d.loadCurrent = 275;
    d.batteryCapacity = 64;
    d.batteryTemperature = -10;
    d.chargeStageText = QStringLiteral("MPPT");
    d.internalTemperature = -3;
    d.systemVoltage = 24;
    f.w().showModbusLiveValues();

    const QList<QPair<QString, QString>> expected = {
        {"lineEdit_34", "20.50"}, {"lineEdit_35", "1.50"},  {"lineEdit_36", "30.7"},
        {"lineEdit_37", "Generating"}, {"lineEdit_40", "12.75"},
        {"lineEdit_41", "-1.25"}, {"lineEdit_43", "64"},   {"lineEdit_45", "-10"},
        {"lineEdit_48", "2.75"},  {"lineEdit_44", "MPPT"}, {"lineEdit_46", "-3"},
        {"lineEdit_42", "24"},
    };
    for (const auto &e : expected)
        QCOMPARE(fieldText(f.w(), e.first) + " in " + e.first, e.second + " in " + e.first);
}

void tst_live_display::efficiency_data()
{
    QTest::addColumn<bool>("modbus");
    QTest::addColumn<quint32>("pvPower");
    QTest::addColumn<QString>("calledPower");
    QTest::addColumn<QString>("expected");

    QTest::newRow("52 W of 100 W") << false << 520u << "100" << "52.00";
    QTest::newRow("566 W of 600 W") << true << 5660u << "600" << "94.33";
    QTest::newRow("a third") << true << 1u << "3" << "3.33";
    QTest::newRow("2 W, the least") << false << 5u << "2" << "25.00";
    // No nominal power worth dividing by: "--", not a number.
    QTest::newRow("form's initial 1 W") << false << 5u << "0000001" << "--";
    QTest::newRow("1 W, Modbus") << true << 6165u << "1" << "--";
    QTest::newRow("zero nominal power") << false << 520u << "0" << "--";
    QTest::newRow("zero nominal power, Modbus") << true << 520u << "0" << "--";
    QTest::newRow("negative") << false << 520u << "-600" << "--";
    QTest::newRow("empty") << false << 520u << "" << "--";
    QTest::newRow("not a number") << true << 520u << "abc" << "--";
    QTest::newRow("not an integer") << false << 520u << "12.5" << "--";
    QTest::newRow("no power, no nominal") << false << 0u << "0" << "--";
    // A quotient the field cannot hold would show a part of itself.
    QTest::newRow("6165 W of 10 W") << true << 61650u << "10" << "--";
    QTest::newRow("650 W of 100 W") << false << 6500u << "100" << "--";
}

void tst_live_display::efficiency()
{
    QFETCH(bool, modbus);
    QFETCH(quint32, pvPower);
    QFETCH(QString, calledPower);
    QFETCH(QString, expected);

    WindowFixture f;
    f.w().core.mainEngine.deviceData.pvPower = pvPower;
    lineEdit(f.w(), "lineEdit_38")->setText(calledPower);
    if (modbus)
        f.w().showModbusLiveValues();
    else
        f.w().showDefineLiveValues();
    QCOMPARE(fieldText(f.w(), "lineEdit_39"), expected);
    QCOMPARE(fieldText(f.w(), "lineEdit_38"), calledPower);
}

// A text wider than its field shows its first characters; a field being
// typed in keeps its cursor where the typing is.
void tst_live_display::wideTextShowsItsBeginning()
{
    WindowFixture f;
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    DeviceData &d = f.w().core.mainEngine.deviceData;
    d.factoryInfo = QStringLiteral("Solar Simulation Works, Test Bench 1, Hall 7, Line 3, Shift B");
    f.w().showFactoryInfo();
    QLineEdit *factory = lineEdit(f.w(), "lineEdit_70");
    QCOMPARE(factory->text(), d.factoryInfo);
    QVERIFY(factory->fontMetrics().horizontalAdvance(d.factoryInfo) > factory->width());
    QCOMPARE(factory->cursorPosition(), 0);
    d.pvVoltage = 123456789;
    f.w().showModbusLiveValues();
    QCOMPARE(lineEdit(f.w(), "lineEdit_34")->cursorPosition(), 0);

    QLineEdit *typed = lineEdit(f.w(), "lineEdit_38");
    typed->setFocus();
    QVERIFY(QTest::qWaitFor([&] { return typed->hasFocus(); }));
    QTest::keyClicks(typed, QStringLiteral("1234567890123"));
    QCOMPARE(typed->cursorPosition(), typed->text().size());
}

void tst_live_display::statusLamps_data()
{
    QTest::addColumn<quint32>("word");
    QTest::addColumn<QStringList>("lit");
    QTest::addColumn<bool>("loadOn");

    QTest::newRow("all clear") << 0x000u << QStringList() << true;
    QTest::newRow("bit 0 Low voltage") << 0x001u << QStringList{"pushButton_104"} << true;
    QTest::newRow("bit 1 Over load") << 0x002u << QStringList{"pushButton_113"} << true;
    QTest::newRow("bit 2 Short circut") << 0x004u << QStringList{"pushButton_114"} << true;
    QTest::newRow("bit 3 load off") << 0x008u << QStringList() << false;
    QTest::newRow("bit 4 Battery Over") << 0x010u << QStringList{"pushButton_105"} << true;
    QTest::newRow("bit 5 internal over hear") << 0x020u << QStringList{"pushButton_103"} << true;
    QTest::newRow("bit 6 PV over") << 0x040u << QStringList{"pushButton_101"} << true;
    QTest::newRow("bit 7 PV not connected") << 0x080u << QStringList{"pushButton_102"} << true;
    QTest::newRow("bit 8 internal temperature") << 0x100u << QStringList{"pushButton_100"} << true;
    QTest::newRow("bit 9 Self-check error") << 0x200u << QStringList{"pushButton_97"} << true;
    QTest::newRow("bit 10 Parameter not calibration") << 0x400u << QStringList{"pushButton_98"} << true;
    QTest::newRow("low voltage with load off") << 0x009u << QStringList{"pushButton_104"} << false;
    QTest::newRow("every fault") << 0x7F7u << faultLamps << true;
    QTest::newRow("bits above 10 ignored") << 0xFFFFF800u << QStringList() << true;
}

void tst_live_display::statusLamps()
{
    QFETCH(quint32, word);
    QFETCH(QStringList, lit);
    QFETCH(bool, loadOn);

    WindowFixture f;
    const QStringList others{"pushButton_99", "pushButton_108", "pushButton_109"};
    for (const QString &other : others)
        pushButton(f.w(), other)->setStyleSheet("untouched");
    DeviceData &d = f.w().core.mainEngine.deviceData;
    d.loadPower = 360;
    d.loadVoltage = 1312;
    // Start from the opposite of every expected style, so a lamp the code
    // forgets to write shows up.
    d.statusWord = ~word & 0x7FF;
    f.w().showStatusLamps(false);
    d.statusWord = word;
    f.w().showStatusLamps(false);

    for (const QString &lamp : faultLamps)
        QCOMPARE(pushButton(f.w(), lamp)->styleSheet() + " on " + lamp,
                 (lit.contains(lamp) ? red : plain) + " on " + lamp);
    QCOMPARE(pushButton(f.w(), "pushButton_106")->styleSheet(), loadOn ? green : plain);
    QCOMPARE(pushButton(f.w(), "pushButton_107")->styleSheet(), loadOn ? plain : green);
    QCOMPARE(fieldText(f.w(), "lineEdit_49"), loadOn ? QStringLiteral("36.0") : QStringLiteral("0.0"));
    QCOMPARE(fieldText(f.w(), "lineEdit_47"), loadOn ? QStringLiteral("13.12") : QStringLiteral("0.00"));
    // Lamps outside the status word are left alone.
    for (const QString &other : others)
        QCOMPARE(pushButton(f.w(), other)->styleSheet(), QStringLiteral("untouched"));
}

void tst_live_display::loadVoltageRule_data()
{
    QTest::addColumn<bool>("modbusRule");
    QTest::addColumn<quint32>("word");
    QTest::addColumn<QString>("shown");

    QTest::newRow("Modbus, load on: battery voltage") << true << 0x0u << "12.50";
    QTest::newRow("Modbus, load off") << true << 0x8u << "0.00";
    QTest::newRow("Define, load on: as decoded") << false << 0x0u << "0.00";
}

void tst_live_display::loadVoltageRule()
{
    QFETCH(bool, modbusRule);
    QFETCH(quint32, word);
    QFETCH(QString, shown);

    WindowFixture f;
    DeviceData &d = f.w().core.mainEngine.deviceData;
    d.batteryVoltage = 1250;
    d.loadVoltage = 0;
    d.statusWord = word;
    f.w().showStatusLamps(modbusRule);
    QCOMPARE(d.loadVoltage, 0u);   // the view writes nothing into the model
    QCOMPARE(fieldText(f.w(), "lineEdit_47"), shown);
}

void tst_live_display::disabledWidgetsKeepWhatTheyShow()
{
    WindowFixture f;
    DeviceData &d = f.w().core.mainEngine.deviceData;
    d.pvVoltage = 1234;
    d.pvCurrent = 500;
    d.statusWord = 0x003;
    d.accumulationWords[3] = 1111;    // generated charge
    d.accumulationWords[7] = 2222;    // consumed charge
    d.accumulationWords[11] = 3333;   // generated energy
    d.accumulationWords[15] = 4444;   // consumed energy
    const QStringList frozen{"lineEdit_34", "lineEdit_54", "lineEdit_64"};
    for (const QString &name : frozen) {
        lineEdit(f.w(), name)->setText("frozen");
        lineEdit(f.w(), name)->setEnabled(false);
    }
    pushButton(f.w(), "pushButton_104")->setStyleSheet("frozen");
    pushButton(f.w(), "pushButton_104")->setEnabled(false);

    f.w().showDefineLiveValues();
    f.w().showStatusLamps(false);
    f.w().showChargeTotals(true, true);
    f.w().showEnergyTotals();

    for (const QString &name : frozen)
        QCOMPARE(fieldText(f.w(), name), QStringLiteral("frozen"));
    QCOMPARE(pushButton(f.w(), "pushButton_104")->styleSheet(), QStringLiteral("frozen"));
    // The rest of each group is still written.
    QCOMPARE(fieldText(f.w(), "lineEdit_35"), QStringLiteral("5.00"));
    QCOMPARE(fieldText(f.w(), "lineEdit_62"), QStringLiteral("22.22"));
    QCOMPARE(fieldText(f.w(), "lineEdit_56"), QStringLiteral("33.33"));
    QCOMPARE(pushButton(f.w(), "pushButton_113")->styleSheet(), red);
}

// Every poll shows every value again. One that has not changed is left as it
// is: a selection the operator made to copy it survives, and no lamp goes
// through a new style sheet for nothing.
void tst_live_display::unchangedValuesAreLeftAsTheyAre()
{
    WindowFixture f;
    DeviceData &d = f.w().core.mainEngine.deviceData;
    d.pvCurrent = 500;
    d.statusWord = 0x003;
    f.w().showDefineLiveValues();
    f.w().showStatusLamps(false);
    QLineEdit *field = lineEdit(f.w(), "lineEdit_35");
    field->selectAll();
    RestyleCounter restyled(pushButton(f.w(), "pushButton_113"));

    f.w().showDefineLiveValues();
    f.w().showStatusLamps(false);
    QCOMPARE(field->selectedText(), QStringLiteral("5.00"));
    QCOMPARE(restyled.count, 0);

    d.pvCurrent = 600;
    d.statusWord = 0;
    f.w().showDefineLiveValues();
    f.w().showStatusLamps(false);
    QCOMPARE(fieldText(f.w(), "lineEdit_35"), QStringLiteral("6.00"));
    QVERIFY(restyled.count > 0);
    QCOMPARE(pushButton(f.w(), "pushButton_113")->styleSheet(), plain);
}

QTEST_MAIN(tst_live_display)
#include "tst_live_display.moc"
