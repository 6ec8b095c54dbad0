// The parameter rows, clears, load switch and reset of the real window
// against the simulated controller, under each protocol and controller type.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "mainwindow.h"
#include "monitor_core_probe.h"
#include "params_rig.h"

Q_DECLARE_METATYPE(ParamsLink)

namespace {

const ParamsLink allLinks[] = {ParamsLink::DefinePwm, ParamsLink::DefineMppt,
                               ParamsLink::ModbusRtu, ParamsLink::ModbusTcp};

// Where a row has no request: the action fails at once, without a frame.
enum FailsOn { Never = 0, OnPwm = 1, OnMppt = 2, OnDefine = OnPwm | OnMppt, OnModbus = 4,
               Always = OnDefine | OnModbus };

bool failsOn(int fails, ParamsLink link)
{
    switch (link) {
    case ParamsLink::DefinePwm:
        return fails & OnPwm;
    case ParamsLink::DefineMppt:
        return fails & OnMppt;
    default:
        return fails & OnModbus;
    }
}

QString caseName(ParamsLink link, const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(paramsLinkName(link)), QLatin1String(what));
}

QString fieldText(ParamsRig &rig, const QString &field)
{
    if (QLineEdit *edit = rig.edit(field))
        return edit->text();
    if (QComboBox *list = rig.list(field))
        return list->currentText();
    return QStringLiteral("<no field %1>").arg(field);
}

void setField(ParamsRig &rig, const QString &field, const QString &text)
{
    if (QLineEdit *edit = rig.edit(field)) {
        edit->setText(text);
        return;
    }
    QVERIFY2(rig.select(field, text), qPrintable(field + QLatin1String(" has no ") + text));
}

// Presses a page button the way the form does: through its clicked signal.
void press(ParamsRig &rig, const QString &name)
{
    QPushButton *button = rig.button(name);
    QVERIFY2(button, qPrintable(name));
    button->click();
}

} // namespace

class tst_parameter_page : public QObject
{
    Q_OBJECT

private slots:
    void readRow_data();
    void readRow();
    void writeRow_data();
    void writeRow();
    void batteryTypeReadsBackAsWritten_data();
    void batteryTypeReadsBackAsWritten();
    void nightTimeWriteNeedsLightTime();
    void unknownControllerSettingFailsDefineRead();
    void linkDownPressOnlyResetsTheButton();
    void clears_data();
    void clears();
    void reset_data();
    void reset();
    void loadSwitch_data();
    void loadSwitch();
};

// --- reads ----------------------------------------------------------------

void tst_parameter_page::readRow_data()
{
    QTest::addColumn<ParamsLink>("link");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QList<int>>("regs");       // registers set to value
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("modbusText");
    QTest::addColumn<QString>("defineText");
    QTest::addColumn<int>("fails");

    struct Case
    {
        const char *name;
        const char *button;
        const char *field;
        QList<int> regs;
        int value;
        const char *modbusText;
        const char *defineText;
        int fails;
    };
    // Absorb, equalize and night times travel in hours under Define and are
    // shown in minutes; Modbus shows the register as it stands.
    const Case cases[] = {
        {"float voltage", "pushButton", "lineEdit", {29}, 1380, "13.80", "13.80", Never},
        {"absorb voltage", "pushButton_4", "lineEdit_2", {30}, 1440, "14.40", "14.40", Never},
        {"equalize voltage", "pushButton_2", "lineEdit_3", {31}, 1460, "14.60", "14.60", Never},
        {"absorb time", "pushButton_3", "lineEdit_4", {32}, 3, "3", "180", Never},
        {"equalize time", "pushButton_9", "lineEdit_5", {33}, 2, "2", "120", Never},
        {"negative compensation", "pushButton_11", "lineEdit_6", {34}, 0xFFFD, "-3", "-3", Never},
        {"lithium capacity", "pushButton_35", "lineEdit_10", {115}, 2000, "200.0", "200.0", OnPwm},
        {"lithium voltage", "pushButton_43", "lineEdit_11", {116}, 1420, "14.20", "14.20", OnPwm},
        {"charge limit", "pushButton_33", "lineEdit_9", {68}, 1440, "14.40", "", OnDefine},
        {"low voltage protect", "pushButton_39", "lineEdit_12", {35}, 1110, "11.10", "11.10", Never},
        {"low voltage recover", "pushButton_41", "lineEdit_13", {36}, 1250, "12.50", "12.50", Never},
        {"over voltage protect", "pushButton_47", "lineEdit_16", {52}, 1500, "15.00", "", OnDefine},
        {"over voltage recover", "pushButton_49", "lineEdit_17", {53}, 1440, "14.40", "", OnDefine},
        {"system voltage", "pushButton_76", "comboBox_2", {9, 51}, 2, "Fixed 24V", "Fixed 24V", Never},
        {"system voltage not listed", "pushButton_76", "comboBox_2", {9, 51}, 5, "Unknow", "Unknow", Never},
        {"battery type", "pushButton_78", "comboBox_3", {50}, 3, "FLD", "FLD", Never},
        {"baud rate", "pushButton_87", "comboBox_4", {117}, 960, "9600", "9600", OnPwm},
        {"load mode", "pushButton_54", "comboBox", {39}, 1, "Light time", "Light time", Never},
        {"load mode not listed", "pushButton_54", "comboBox", {39}, 3, "Unknow", "Unknow", Never},
        {"light on", "pushButton_68", "lineEdit_29", {46}, 1200, "12.00", "12.00", Never},
        {"light off", "pushButton_69", "lineEdit_30", {47}, 1150, "11.50", "", OnDefine},
        {"night time 1", "pushButton_56", "lineEdit_19", {40}, 180, "180", "180", OnPwm},
        {"night time 2", "pushButton_57", "lineEdit_20", {41}, 240, "240", "240", OnPwm},
    };
    for (ParamsLink link : allLinks)
        for (const Case &c : cases)
            QTest::newRow(qPrintable(caseName(link, c.name)))
                << link << c.button << c.field << c.regs << c.value << c.modbusText
                << c.defineText << c.fails;
}

void tst_parameter_page::readRow()
{
    QFETCH(ParamsLink, link);
    QFETCH(QString, button);
    QFETCH(QString, field);
    QFETCH(QList<int>, regs);
    QFETCH(int, value);
    QFETCH(QString, modbusText);
    QFETCH(QString, defineText);
    QFETCH(int, fails);

    ParamsRig rig(link);
    QVERIFY(rig.connect());
    for (int reg : regs)
        rig.device().setReg(reg, quint16(value));
    // Start from something no read produces, so a field left alone shows.
    if (QLineEdit *edit = rig.edit(field))
        edit->setText(QStringLiteral("untouched"));
    else
        rig.list(field)->setCurrentIndex(rig.list(field)->count() - 1);
    const QString before = fieldText(rig, field);

    press(rig, button);

    MainWindow &w = rig.w();
    QCOMPARE(w.core.paramRequestState, 0);
    if (failsOn(fails, link)) {
        QCOMPARE(styleName(w, rig.button(button)->styleSheet()), QStringLiteral("fail"));
        QCOMPARE(rig.frames().size(), 0);
        QCOMPARE(fieldText(rig, field), before);
        return;
    }
    QCOMPARE(styleName(w, rig.button(button)->styleSheet()), QStringLiteral("ok"));
    QCOMPARE(fieldText(rig, field), isModbusLink(link) ? modbusText : defineText);
    QVERIFY(rig.frames().size() >= 1);
    if (isModbusLink(link)) {
        // One register, the row's own.
        const QByteArray frame = rig.frames().first();
        const int pdu = link == ParamsLink::ModbusTcp ? 7 : 1;
        QCOMPARE(quint8(frame.at(pdu)), quint8(0x03));
        QCOMPARE(quint8(frame.at(pdu + 1)) << 8 | quint8(frame.at(pdu + 2)), regs.last());
        QCOMPARE(quint8(frame.at(pdu + 3)) << 8 | quint8(frame.at(pdu + 4)), 1);
    }
}

// --- writes ---------------------------------------------------------------

void tst_parameter_page::writeRow_data()
{
    QTest::addColumn<ParamsLink>("link");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("reg");
    QTest::addColumn<int>("stored");   // the device's register afterwards (16 bits)
    QTest::addColumn<int>("fails");

    struct Case
    {
        const char *name;
        const char *button;
        const char *field;
        const char *input;
        int reg;
        int stored;
        int fails;
        bool modbusOnly;
    };
    // Single precision, truncated: 10.11 * 100 is 1010.9999 in float.
    const Case cases[] = {
        {"float 13.8", "pushButton_8", "lineEdit", "13.8", 29, 1380, Never, false},
        {"float 10.11", "pushButton_8", "lineEdit", "10.11", 29, 1010, Never, false},
        {"float letters", "pushButton_8", "lineEdit", "abc", 29, 0, Never, false},
        {"float far out of range", "pushButton_8", "lineEdit", "1e12", 29, 0xFFFF, Never, true},
        {"absorb 16.05", "pushButton_7", "lineEdit_2", "16.05", 30, 1604, Never, false},
        {"equalize 13.8", "pushButton_6", "lineEdit_3", "13.8", 31, 1380, Never, false},
        {"absorb time 150.9 min", "pushButton_5", "lineEdit_4", "150.9", 32, 2, OnPwm, false},
        {"equalize time 120 min", "pushButton_10", "lineEdit_5", "120", 33, 2, OnPwm, false},
        {"compensation -3", "pushButton_12", "lineEdit_6", "-3", 34, 0xFFFD, OnPwm, false},
        {"lithium capacity 16.3", "pushButton_36", "lineEdit_10", "16.3", 115, 162, OnPwm, false},
        {"lithium voltage 14.2", "pushButton_44", "lineEdit_11", "14.2", 116, 1420, OnPwm, false},
        {"low protect 11.1", "pushButton_40", "lineEdit_12", "11.1", 35, 1110, Never, false},
        {"low recover 12.6", "pushButton_42", "lineEdit_13", "12.6", 36, 1260, Never, false},
        {"system voltage", "pushButton_75", "comboBox_2", "Fixed 24V", 51, 2, OnPwm, false},
        {"system voltage Unknow", "pushButton_75", "comboBox_2", "Unknow", 51, 0, Always, false},
        {"battery type LI", "pushButton_77", "comboBox_3", "LI", 50, 4, OnPwm, false},
        {"battery type FLD", "pushButton_77", "comboBox_3", "FLD", 50, 3, OnPwm, false},
        {"battery type SEAL", "pushButton_77", "comboBox_3", "SEAL", 50, 2, OnPwm, false},
        {"battery type Unknow", "pushButton_77", "comboBox_3", "Unknow", 50, 0, Always, false},
        {"baud 9600", "pushButton_86", "comboBox_4", "9600", 117, 960, OnPwm, false},
        {"baud Unknow", "pushButton_86", "comboBox_4", "Unknow", 117, 0, Always, false},
        {"load mode Light", "pushButton_53", "comboBox", "Light", 39, 2, OnPwm, false},
        {"load mode Unknow", "pushButton_53", "comboBox", "Unknow", 39, 0, Always, false},
        {"night time 1 180.7", "pushButton_55", "lineEdit_19", "180.7", 40, 180, OnPwm, false},
        {"night time 2 2.9", "pushButton_58", "lineEdit_20", "2.9", 41, 2, Never, true},
    };
    for (ParamsLink link : allLinks)
        for (const Case &c : cases) {
            if (c.modbusOnly && !isModbusLink(link))
                continue;
            QTest::newRow(qPrintable(caseName(link, c.name)))
                << link << c.button << c.field << c.input << c.reg << c.stored << c.fails;
        }
}

void tst_parameter_page::writeRow()
{
    QFETCH(ParamsLink, link);
    QFETCH(QString, button);
    QFETCH(QString, field);
    QFETCH(QString, input);
    QFETCH(int, reg);
    QFETCH(int, stored);
    QFETCH(int, fails);

    ParamsRig rig(link);
    QVERIFY(rig.connect());
    if (link == ParamsLink::DefineMppt)
        QVERIFY(rig.readSettingGroups());
    const quint16 sentinel = 0x1234 ^ quint16(stored);
    rig.device().setReg(reg, sentinel);
    // Night times are written only while the load mode is "Light time".
    QVERIFY(rig.select(QStringLiteral("comboBox"), QStringLiteral("Light time")));
    setField(rig, field, input);
    rig.sim.clearRequests();

    press(rig, button);

    MainWindow &w = rig.w();
    QCOMPARE(w.core.paramRequestState, 0);
    if (failsOn(fails, link)) {
        QCOMPARE(styleName(w, rig.button(button)->styleSheet()), QStringLiteral("fail"));
        QCOMPARE(rig.frames().size(), 0);
        QCOMPARE(rig.device().reg(reg), sentinel);
        return;
    }
    QCOMPARE(styleName(w, rig.button(button)->styleSheet()), QStringLiteral("ok"));
    QCOMPARE(int(rig.device().reg(reg)), stored);
    if (isModbusLink(link))
        QCOMPARE(rig.writtenRegisters(), QList<int>{reg});
    else
        QCOMPARE(rig.frames().size(), 1);
}

// The list offers the battery types by name; whatever the protocol, the type
// read back is the one written.
void tst_parameter_page::batteryTypeReadsBackAsWritten_data()
{
    QTest::addColumn<ParamsLink>("link");
    QTest::addColumn<QString>("type");
    for (ParamsLink link : {ParamsLink::DefineMppt, ParamsLink::ModbusRtu, ParamsLink::ModbusTcp})
        for (const char *type : {"FLD", "SEAL", "GEL"})
            QTest::newRow(qPrintable(caseName(link, type))) << link << QString::fromLatin1(type);
}

void tst_parameter_page::batteryTypeReadsBackAsWritten()
{
    QFETCH(ParamsLink, link);
    QFETCH(QString, type);

    ParamsRig rig(link);
    QVERIFY(rig.connect());
    QVERIFY(rig.readSettingGroups());
    rig.device().setReg(50, 4);   // LI
    QVERIFY(rig.select(QStringLiteral("comboBox_3"), type));
    press(rig, QStringLiteral("pushButton_77"));
    QCOMPARE(styleName(rig.w(), rig.button(QStringLiteral("pushButton_77"))->styleSheet()),
             QStringLiteral("ok"));

    QVERIFY(rig.select(QStringLiteral("comboBox_3"), QStringLiteral("Unknow")));
    press(rig, QStringLiteral("pushButton_78"));
    QCOMPARE(styleName(rig.w(), rig.button(QStringLiteral("pushButton_78"))->styleSheet()),
             QStringLiteral("ok"));
    QCOMPARE(rig.list(QStringLiteral("comboBox_3"))->currentText(), type);
}

void tst_parameter_page::nightTimeWriteNeedsLightTime()
{
    for (const char *mode : {"Normal", "Light", "Unknow"}) {
        ParamsRig rig(ParamsLink::ModbusTcp);
        QVERIFY(rig.connect());
        QVERIFY(rig.select(QStringLiteral("comboBox"), QString::fromLatin1(mode)));
        rig.edit(QStringLiteral("lineEdit_19"))->setText(QStringLiteral("300"));
        rig.button(QStringLiteral("pushButton_55"))->setStyleSheet(rig.w().styleOk);
        rig.device().setReg(40, 60);

        press(rig, QStringLiteral("pushButton_55"));

        QCOMPARE(styleName(rig.w(), rig.button(QStringLiteral("pushButton_55"))->styleSheet()),
                 QStringLiteral("idle"));
        QCOMPARE(rig.w().core.paramRequestState, 0);
        QCOMPARE(rig.frames().size(), 0);
        QCOMPARE(rig.device().reg(40), quint16(60));
    }
}

// With a controller type the page does not know, a Define read that depends
// on it must still end, as a failure, instead of waiting forever.
void tst_parameter_page::unknownControllerSettingFailsDefineRead()
{
    ParamsRig rig(ParamsLink::DefineMppt);
    QVERIFY(rig.connect());
    MainWindow &w = rig.w();
    MonitorCoreProbe::setControllerSetting(w.core, QStringLiteral("Hybrid"));
    // A read that never ends would hang here: pull the link after a while.
    QTimer::singleShot(2000, &rig.sim, [&rig] { rig.sim.closeTransports(); });
    const QStringList dependent = {QStringLiteral("pushButton"), QStringLiteral("pushButton_76"),
                                   QStringLiteral("pushButton_87"), QStringLiteral("pushButton_56"),
                                   QStringLiteral("pushButton_57")};
    for (const QString &name : dependent) {
        QElapsedTimer clock;
        clock.start();
        press(rig, name);
        QVERIFY2(clock.elapsed() < 100, qPrintable(name));
        QCOMPARE(styleName(w, rig.button(name)->styleSheet()), QStringLiteral("fail"));
        QCOMPARE(w.core.paramRequestState, 0);
    }
    QCOMPARE(rig.frames().size(), 0);

    // Rows with one request for both types, and the lithium rows that ask
    // the engine, still read.
    rig.device().setReg(30, 1440);
    press(rig, QStringLiteral("pushButton_4"));
    QCOMPARE(styleName(w, rig.button(QStringLiteral("pushButton_4"))->styleSheet()),
             QStringLiteral("ok"));
    QCOMPARE(rig.edit(QStringLiteral("lineEdit_2"))->text(), QStringLiteral("14.40"));
    press(rig, QStringLiteral("pushButton_43"));
    QCOMPARE(styleName(w, rig.button(QStringLiteral("pushButton_43"))->styleSheet()),
             QStringLiteral("ok"));
}

void tst_parameter_page::linkDownPressOnlyResetsTheButton()
{
    WindowFixture f;
    MainWindow &w = f.w();
    auto *read = w.findChild<QPushButton *>(QStringLiteral("pushButton"));
    auto *write = w.findChild<QPushButton *>(QStringLiteral("pushButton_8"));
    auto *reset = w.findChild<QPushButton *>(QStringLiteral("pushButton_109"));
    auto *loadOn = w.findChild<QPushButton *>(QStringLiteral("pushButton_106"));
    auto *field = w.findChild<QLineEdit *>(QStringLiteral("lineEdit"));
    read->setStyleSheet(w.styleOk);
    write->setStyleSheet(w.styleFail);
    reset->setStyleSheet(w.styleOk);
    loadOn->setStyleSheet(w.styleFail);
    field->setText(QStringLiteral("13.8"));

    read->click();
    write->click();
    reset->click();
    loadOn->click();
    w.findChild<QPushButton *>(QStringLiteral("pushButton_96"))->click();

    QCOMPARE(styleName(w, read->styleSheet()), QStringLiteral("idle"));
    QCOMPARE(styleName(w, write->styleSheet()), QStringLiteral("idle"));
    QCOMPARE(styleName(w, reset->styleSheet()), QStringLiteral("ok"));
    QCOMPARE(styleName(w, loadOn->styleSheet()), QStringLiteral("fail"));
    QCOMPARE(field->text(), QStringLiteral("13.8"));
    QCOMPARE(w.core.paramRequestState, 0);
}

// --- clears, reset, load switch ---------------------------------------------

void tst_parameter_page::clears_data()
{
    QTest::addColumn<ParamsLink>("link");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("reg");
    QTest::addColumn<bool>("works");

    struct Case
    {
        const char *button;
        int reg;
        bool defineMppt;   // Define offers only the two charge totals, on MPPT
    };
    const Case cases[] = {{"pushButton_16", 16, true}, {"pushButton_22", 24, false},
                          {"pushButton_18", 20, true}, {"pushButton_25", 28, false}};
    for (ParamsLink link : allLinks)
        for (const Case &c : cases) {
            const bool works = isModbusLink(link) || (link == ParamsLink::DefineMppt && c.defineMppt);
            QTest::newRow(qPrintable(caseName(link, c.button))) << link << c.button << c.reg << works;
        }
}

void tst_parameter_page::clears()
{
    QFETCH(ParamsLink, link);
    QFETCH(QString, button);
    QFETCH(int, reg);
    QFETCH(bool, works);

    ParamsRig rig(link);
    QVERIFY(rig.connect());
    rig.device().setReg(reg, 4321);

    press(rig, button);

    QCOMPARE(styleName(rig.w(), rig.button(button)->styleSheet()),
             works ? QStringLiteral("ok") : QStringLiteral("fail"));
    QCOMPARE(rig.device().reg(reg), quint16(works ? 0 : 4321));
    QCOMPARE(rig.frames().size(), works ? 1 : 0);
}

void tst_parameter_page::reset_data()
{
    QTest::addColumn<ParamsLink>("link");
    for (ParamsLink link : allLinks)
        QTest::newRow(paramsLinkName(link)) << link;
}

void tst_parameter_page::reset()
{
    QFETCH(ParamsLink, link);
    ParamsRig rig(link);
    QVERIFY(rig.connect());
    const bool works = link == ParamsLink::DefineMppt;

    press(rig, QStringLiteral("pushButton_109"));

    QCOMPARE(styleName(rig.w(), rig.button(QStringLiteral("pushButton_109"))->styleSheet()),
             works ? QStringLiteral("ok") : QStringLiteral("fail"));
    QCOMPARE(rig.device().resetCount(), works ? 1 : 0);
    QCOMPARE(rig.frames().size(), works ? 1 : 0);
}

void tst_parameter_page::loadSwitch_data()
{
    QTest::addColumn<ParamsLink>("link");
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("deviceFails");
    for (ParamsLink link : allLinks)
        for (const char *button : {"pushButton_106", "pushButton_107"}) {
            QTest::newRow(qPrintable(caseName(link, button))) << link << button << false;
        }
    QTest::newRow("Modbus RTU: exception answer") << ParamsLink::ModbusRtu << "pushButton_106" << true;
}

void tst_parameter_page::loadSwitch()
{
    QFETCH(ParamsLink, link);
    QFETCH(QString, button);
    QFETCH(bool, deviceFails);

    ParamsRig rig(link);
    QVERIFY(rig.connect());
    MainWindow &w = rig.w();
    rig.button(QStringLiteral("pushButton_106"))->setStyleSheet(w.styleOk);
    rig.button(QStringLiteral("pushButton_107"))->setStyleSheet(w.styleFail);
    if (deviceFails) {
        SimFaults faults;
        faults.exceptionCode = 4;
        rig.sim.setFaults(faults);
    }

    press(rig, button);

    QCOMPARE(w.core.paramRequestState, 0);
    QCOMPARE(styleName(w, rig.button(QStringLiteral("pushButton_106"))->styleSheet()),
             QStringLiteral("plain"));
    QCOMPARE(styleName(w, rig.button(QStringLiteral("pushButton_107"))->styleSheet()),
             QStringLiteral("plain"));
    QVERIFY(!rig.frames().isEmpty());
    const QByteArray frame = rig.frames().first();
    if (isModbusLink(link)) {
        // Write of register 54 with 0x0FF7.
        const QByteArray tail = QByteArray::fromHex("0036000102" "0ff7");
        QVERIFY2(frame.contains(tail), frame.toHex(' ').constData());
    } else {
        QCOMPARE(quint8(frame.at(2)), quint8(0x03));
        // Bits 0..2 set: bytes 3..5 zero; bit 3 clear: the load goes on.
        QCOMPARE(frame.mid(3, 3), QByteArray(3, '\0'));
        QCOMPARE(quint8(frame.at(7)), quint8(1));
    }
}

QTEST_MAIN(tst_parameter_page)
#include "tst_parameter_page.moc"
