// The page's one-click sequences and how its actions keep out of each
// other's way and out of the refresh cycle's, against the simulated
// controller.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "monitor_core_probe.h"
#include "mainwindow.h"
#include "params_rig.h"

Q_DECLARE_METATYPE(ParamsLink)

namespace {

// The members of "Read configuration" and "Write configuration", in order.
const QStringList leftReads = {"pushButton", "pushButton_4", "pushButton_2", "pushButton_3",
                               "pushButton_9", "pushButton_11", "pushButton_33", "pushButton_35",
                               "pushButton_43"};
const QStringList middleReads = {"pushButton_39", "pushButton_41", "pushButton_47", "pushButton_49",
                                 "pushButton_76", "pushButton_78", "pushButton_87"};
const QStringList rightReads = {"pushButton_54", "pushButton_68", "pushButton_69", "pushButton_56",
                                "pushButton_57"};
const QStringList leftWrites = {"pushButton_8", "pushButton_7", "pushButton_6", "pushButton_5",
                                "pushButton_10", "pushButton_12", "pushButton_36", "pushButton_44"};
const QStringList clearButtons = {"pushButton_16", "pushButton_22", "pushButton_18", "pushButton_25"};
const QStringList middleWrites = {"pushButton_40", "pushButton_42", "pushButton_75", "pushButton_77",
                                  "pushButton_86"};
const QStringList rightWrites = {"pushButton_53", "pushButton_55", "pushButton_58"};

QStringList stylesOf(ParamsRig &rig, const QStringList &buttons)
{
    QStringList out;
    for (const QString &name : buttons)
        out << name + QLatin1Char('=') + styleName(rig.w(), rig.button(name)->styleSheet());
    return out;
}

QStringList expectedStyles(const QStringList &buttons, const QStringList &failing,
                           const QString &others = QStringLiteral("ok"))
{
    QStringList out;
    for (const QString &name : buttons)
        out << name + QLatin1Char('=') + (failing.contains(name) ? QStringLiteral("fail") : others);
    return out;
}

// Inputs every write of the page accepts, the load mode letting night times through.
void fillWritableFields(ParamsRig &rig)
{
    const QStringList edits = {"lineEdit", "lineEdit_2", "lineEdit_3", "lineEdit_12", "lineEdit_13"};
    for (const QString &name : edits)
        rig.edit(name)->setText(QStringLiteral("13.5"));
    rig.edit(QStringLiteral("lineEdit_4"))->setText(QStringLiteral("120"));
    rig.edit(QStringLiteral("lineEdit_5"))->setText(QStringLiteral("60"));
    rig.edit(QStringLiteral("lineEdit_6"))->setText(QStringLiteral("-3"));
    rig.edit(QStringLiteral("lineEdit_10"))->setText(QStringLiteral("100"));
    rig.edit(QStringLiteral("lineEdit_11"))->setText(QStringLiteral("14.2"));
    rig.edit(QStringLiteral("lineEdit_19"))->setText(QStringLiteral("120"));
    rig.edit(QStringLiteral("lineEdit_20"))->setText(QStringLiteral("180"));
    rig.select(QStringLiteral("comboBox_2"), QStringLiteral("Fixed 24V"));
    rig.select(QStringLiteral("comboBox_3"), QStringLiteral("GEL"));
    rig.select(QStringLiteral("comboBox_4"), QStringLiteral("9600"));
    rig.select(QStringLiteral("comboBox"), QStringLiteral("Light time"));
}

void paint(ParamsRig &rig, const QStringList &buttons, const QString &style)
{
    for (const QString &name : buttons)
        rig.button(name)->setStyleSheet(style);
}

} // namespace

class tst_parameter_page_sequences : public QObject
{
    Q_OBJECT

private slots:
    void readConfiguration_data();
    void readConfiguration();
    void writeConfiguration_data();
    void writeConfiguration();
    void enableAllIsLookedAtAfterTheLeftBlock_data();
    void enableAllIsLookedAtAfterTheLeftBlock();
    void blockButtonsRunTheirOwnBlock();
    void linkLossLeavesTheRestPlain_data();
    void linkLossLeavesTheRestPlain();
    void pressWhileWaitingIsRefused();
    void refreshCycleStandsAsideAndResumes();
    void scanOutcomeDoesNotEndTheAction();
};

void tst_parameter_page_sequences::readConfiguration_data()
{
    QTest::addColumn<ParamsLink>("link");
    QTest::addColumn<QStringList>("failing");
    QTest::newRow("Define PWM") << ParamsLink::DefinePwm
                                << QStringList{"pushButton_33", "pushButton_35", "pushButton_43",
                                               "pushButton_47", "pushButton_49", "pushButton_87",
                                               "pushButton_69", "pushButton_56", "pushButton_57"};
    QTest::newRow("Define MPPT") << ParamsLink::DefineMppt
                                 << QStringList{"pushButton_33", "pushButton_47", "pushButton_49",
                                                "pushButton_69"};
    QTest::newRow("Modbus RTU") << ParamsLink::ModbusRtu << QStringList();
    QTest::newRow("Modbus TCP") << ParamsLink::ModbusTcp << QStringList();
}

void tst_parameter_page_sequences::readConfiguration()
{
    QFETCH(ParamsLink, link);
    QFETCH(QStringList, failing);

    ParamsRig rig(link);
    QVERIFY(rig.connect());
    rig.device().setReg(29, 1375);
    rig.device().setReg(41, 300);
    const QStringList all = leftReads + middleReads + rightReads;

    rig.button(QStringLiteral("pushButton_96"))->click();

    QCOMPARE(stylesOf(rig, all), expectedStyles(all, failing));
    // One request per member that has one; failures send nothing.
    QCOMPARE(rig.frames().size(), all.size() - failing.size());
    QCOMPARE(rig.edit(QStringLiteral("lineEdit"))->text(), QStringLiteral("13.75"));
    if (!failing.contains(QStringLiteral("pushButton_57")))
        QCOMPARE(rig.edit(QStringLiteral("lineEdit_20"))->text(), QStringLiteral("300"));
    QCOMPARE(rig.w().core.paramRequestState, 0);
}

void tst_parameter_page_sequences::writeConfiguration_data()
{
    QTest::addColumn<ParamsLink>("link");
    QTest::addColumn<bool>("enableAll");
    QTest::addColumn<QList<int>>("wire");   // Modbus: registers written; Define: command codes
    QTest::addColumn<QStringList>("failing");

    const QList<int> left = {29, 30, 31, 32, 33, 34, 115, 116};
    const QList<int> clears = {16, 24, 20, 28};
    const QList<int> rest = {35, 36, 51, 50, 117, 39, 40, 41};
    for (ParamsLink link : {ParamsLink::ModbusRtu, ParamsLink::ModbusTcp}) {
        QTest::newRow(qPrintable(QStringLiteral("%1, clears off").arg(paramsLinkName(link))))
            << link << false << left + rest << QStringList();
        QTest::newRow(qPrintable(QStringLiteral("%1, Enable all").arg(paramsLinkName(link))))
            << link << true << left + clears + rest << QStringList();
    }
    const QList<int> mpptLeft = {0x92, 0x91, 0x93, 0x91, 0x93, 0x97, 0x96, 0x90};
    const QList<int> mpptRest = {0x94, 0x95, 0xA5, 0x96, 0x99, 0x98, 0x98, 0x98};
    QTest::newRow("Define MPPT, clears off")
        << ParamsLink::DefineMppt << false << mpptLeft + mpptRest << QStringList();
    QTest::newRow("Define MPPT, Enable all")
        << ParamsLink::DefineMppt << true << mpptLeft + QList<int>{0xA1, 0xA2} + mpptRest
        << QStringList{"pushButton_22", "pushButton_25"};
    QTest::newRow("Define PWM, Enable all")
        << ParamsLink::DefinePwm << true << QList<int>{0x22, 0x25, 0x26, 0x20, 0x21}
        << QStringList{"pushButton_5", "pushButton_10", "pushButton_12", "pushButton_36",
                       "pushButton_44", "pushButton_16", "pushButton_22", "pushButton_18",
                       "pushButton_25", "pushButton_75", "pushButton_77", "pushButton_86",
                       "pushButton_53", "pushButton_55", "pushButton_58"};
}

void tst_parameter_page_sequences::writeConfiguration()
{
    QFETCH(ParamsLink, link);
    QFETCH(bool, enableAll);
    QFETCH(QList<int>, wire);
    QFETCH(QStringList, failing);

    ParamsRig rig(link);
    QVERIFY(rig.connect());
    if (link == ParamsLink::DefineMppt)
        QVERIFY(rig.readSettingGroups());
    fillWritableFields(rig);
    rig.w().findChild<QCheckBox *>(QStringLiteral("checkBox"))->setChecked(enableAll);
    paint(rig, clearButtons, rig.w().styleIdle);

    rig.button(QStringLiteral("pushButton_110"))->click();

    QCOMPARE(isModbusLink(link) ? rig.writtenRegisters() : rig.defineCodes(), wire);
    const QStringList writes = leftWrites + middleWrites + rightWrites;
    QCOMPARE(stylesOf(rig, writes), expectedStyles(writes, failing));
    QCOMPARE(stylesOf(rig, clearButtons),
             expectedStyles(clearButtons, failing, enableAll ? "ok" : "idle"));
    QCOMPARE(rig.device().reg(29), quint16(1350));
    QCOMPARE(rig.w().core.paramRequestState, 0);
}

// The box is looked at once, when the left block has run: changing it while
// the left block runs counts, changing it later does not.
void tst_parameter_page_sequences::enableAllIsLookedAtAfterTheLeftBlock_data()
{
    QTest::addColumn<bool>("checkedAtStart");
    QTest::addColumn<int>("toggleAtFrame");   // 1-based frame number that flips the box
    QTest::addColumn<bool>("clearsRun");
    QTest::newRow("checked during the left block") << false << 2 << true;
    QTest::newRow("unchecked during the left block") << true << 8 << false;
    QTest::newRow("unchecked during the middle block") << true << 14 << true;
}

void tst_parameter_page_sequences::enableAllIsLookedAtAfterTheLeftBlock()
{
    QFETCH(bool, checkedAtStart);
    QFETCH(int, toggleAtFrame);
    QFETCH(bool, clearsRun);

    ParamsRig rig(ParamsLink::ModbusTcp);
    QVERIFY(rig.connect());
    fillWritableFields(rig);
    auto *box = rig.w().findChild<QCheckBox *>(QStringLiteral("checkBox"));
    box->setChecked(checkedAtStart);
    int seen = 0;
    QObject::connect(&rig.sim, &SimulatedController::requestReceived, box, [&] {
        if (++seen == toggleAtFrame)
            box->toggle();
    });

    rig.button(QStringLiteral("pushButton_110"))->click();

    const QList<int> clears = rig.writtenRegisters().mid(8, 4);
    QCOMPARE(clears == QList<int>({16, 24, 20, 28}), clearsRun);
    QCOMPARE(rig.writtenRegisters().size(), clearsRun ? 20 : 16);
}

void tst_parameter_page_sequences::blockButtonsRunTheirOwnBlock()
{
    ParamsRig rig(ParamsLink::ModbusRtu);
    QVERIFY(rig.connect());
    struct Block
    {
        const char *button;
        QList<int> registers;
    };
    const Block blocks[] = {
        {"pushButton_95", {29, 30, 31, 32, 33, 34, 68, 115, 116}},
        {"pushButton_94", {29, 30, 31, 32, 33, 34, 115, 116}},
        {"pushButton_90", {35, 36, 52, 53, 51, 50, 117}},
        {"pushButton_91", {35, 36, 51, 50, 117}},
        {"pushButton_88", {39, 46, 47, 40, 41}},
        {"pushButton_89", {39, 40, 41}},
        {"pushButton_92", {16, 24, 20, 28}},
    };
    // Start register of each request, read or write alike.
    for (const Block &block : blocks) {
        fillWritableFields(rig);   // a read block may have changed the load mode
        rig.sim.clearRequests();
        rig.button(QLatin1String(block.button))->click();
        QList<int> starts;
        for (const QByteArray &frame : rig.frames())
            starts << (quint8(frame.at(2)) << 8 | quint8(frame.at(3)));
        QVERIFY2(starts == block.registers, block.button);
    }
}

// Pulling the link mid-sequence ends the member that waits with its button
// plain, and every later member only turns plain, without a request.
void tst_parameter_page_sequences::linkLossLeavesTheRestPlain_data()
{
    QTest::addColumn<QString>("sequence");
    QTest::addColumn<QStringList>("members");
    QTest::addColumn<int>("pullAtFrame");
    QTest::newRow("Read configuration") << "pushButton_96" << leftReads + middleReads + rightReads << 5;
    QTest::newRow("Write configuration, Enable all")
        << "pushButton_110" << leftWrites + clearButtons + middleWrites + rightWrites << 10;
    QTest::newRow("One-click delete") << "pushButton_92" << clearButtons << 2;
}

void tst_parameter_page_sequences::linkLossLeavesTheRestPlain()
{
    QFETCH(QString, sequence);
    QFETCH(QStringList, members);
    QFETCH(int, pullAtFrame);

    ParamsRig rig(ParamsLink::ModbusTcp);
    QVERIFY(rig.connect());
    fillWritableFields(rig);
    rig.w().findChild<QCheckBox *>(QStringLiteral("checkBox"))->setChecked(true);
    paint(rig, members, rig.w().styleFail);
    int seen = 0;
    QObject::connect(&rig.sim, &SimulatedController::requestReceived, &rig.sim, [&] {
        if (++seen != pullAtFrame)
            return;
        SimFaults faults;
        faults.silence = true;
        rig.sim.setFaults(faults);
        QTimer::singleShot(0, &rig.sim, [&rig] { rig.sim.closeTransports(); });
    });

    rig.button(sequence)->click();

    QVERIFY(!linkIsUp(rig.w()));
    QCOMPARE(rig.w().core.paramRequestState, 0);
    QCOMPARE(rig.frames().size(), pullAtFrame);
    const QStringList answered = members.mid(0, pullAtFrame - 1);
    QStringList expected = expectedStyles(answered, {});
    for (const QString &name : members.mid(pullAtFrame - 1))
        expected << name + QStringLiteral("=idle");
    QCOMPARE(stylesOf(rig, members), expected);
}

// While one action waits, every other press of the page is refused: its
// button turns plain, nothing is sent, and the waiting action ends normally.
void tst_parameter_page_sequences::pressWhileWaitingIsRefused()
{
    ParamsRig rig(ParamsLink::ModbusRtu);
    QVERIFY(rig.connect());
    MainWindow &w = rig.w();
    SimFaults faults;
    faults.silence = true;
    rig.sim.setFaults(faults);
    rig.edit(QStringLiteral("lineEdit_2"))->setText(QStringLiteral("14.4"));
    paint(rig, {"pushButton_4", "pushButton_7", "pushButton_109", "pushButton_106"}, w.styleOk);
    int stateDuringWait = -1;
    QTimer::singleShot(60, &w, [&] {
        stateDuringWait = w.core.paramRequestState;
        rig.button(QStringLiteral("pushButton_4"))->click();
        rig.button(QStringLiteral("pushButton_7"))->click();
        rig.button(QStringLiteral("pushButton_109"))->click();
        rig.button(QStringLiteral("pushButton_106"))->click();
        rig.button(QStringLiteral("pushButton_96"))->click();
        rig.button(QStringLiteral("pushButton_110"))->click();
    });

    rig.button(QStringLiteral("pushButton"))->click();

    QCOMPARE(stateDuringWait, 1);
    QCOMPARE(styleName(w, rig.button(QStringLiteral("pushButton"))->styleSheet()),
             QStringLiteral("fail"));
    QCOMPARE(styleName(w, rig.button(QStringLiteral("pushButton_4"))->styleSheet()),
             QStringLiteral("idle"));
    QCOMPARE(styleName(w, rig.button(QStringLiteral("pushButton_7"))->styleSheet()),
             QStringLiteral("idle"));
    // Reset and the load switch keep their look when refused.
    QCOMPARE(styleName(w, rig.button(QStringLiteral("pushButton_109"))->styleSheet()),
             QStringLiteral("ok"));
    QCOMPARE(styleName(w, rig.button(QStringLiteral("pushButton_106"))->styleSheet()),
             QStringLiteral("ok"));
    // The first request and its one re-send, nothing else.
    const QList<QByteArray> frames = rig.frames();
    QCOMPARE(frames.size(), 2);
    QCOMPARE(frames.at(0), QByteArray::fromHex("0103001d0001140c"));
    QCOMPARE(frames.at(1), frames.at(0));
    QCOMPARE(w.core.paramRequestState, 0);
}

// While an action waits the refresh ticks do nothing; afterwards the cycle
// goes on with the step after the last one it ran.
void tst_parameter_page_sequences::refreshCycleStandsAsideAndResumes()
{
    ParamsRig rig(ParamsLink::ModbusTcp);
    QVERIFY(rig.connect());
    MainWindow &w = rig.w();
    constexpr int ModbusSteps = 13;
    w.core.refreshTimer.start(100);
    const int startStep = MonitorCoreProbe::pollStep(w.core);
    QVERIFY(QTest::qWaitFor([&] { return MonitorCoreProbe::pollStep(w.core) != startStep; }, 3000));
    w.core.refreshTimer.stop();
    w.core.refreshTimer.start(20);   // ticks come often while the action waits

    const int stepBefore = MonitorCoreProbe::pollStep(w.core);
    SimFaults faults;
    faults.silence = true;
    rig.sim.setFaults(faults);
    rig.sim.clearRequests();
    QList<int> stepsDuringWait;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, &w, [&] { stepsDuringWait << MonitorCoreProbe::pollStep(w.core); });
    probe.start(30);

    rig.button(QStringLiteral("pushButton"))->click();
    probe.stop();

    QVERIFY(stepsDuringWait.size() >= 3);
    for (int step : stepsDuringWait)
        QCOMPARE(step, stepBefore);
    // Only the action's request (and its re-send) went out meanwhile.
    for (const QByteArray &frame : rig.frames())
        QCOMPARE(frame.mid(6), QByteArray::fromHex("0103001d0001"));
    QCOMPARE(styleName(w, rig.button(QStringLiteral("pushButton"))->styleSheet()),
             QStringLiteral("fail"));

    rig.sim.clearFaults();
    QVERIFY(QTest::qWaitFor([&] { return MonitorCoreProbe::pollStep(w.core) != stepBefore; }, 3000));
    QCOMPARE(MonitorCoreProbe::pollStep(w.core), (stepBefore + 1) % ModbusSteps);
    w.core.refreshTimer.stop();
}

// The bus scan's engine reports through the same slots as the main engine;
// its outcome must not end a parameter action whose own request still waits.
void tst_parameter_page_sequences::scanOutcomeDoesNotEndTheAction()
{
    ParamsRig rig(ParamsLink::ModbusTcp);
    QVERIFY(rig.connect());
    MainWindow &w = rig.w();
    w.core.mainEngine.setResponseTimeout(300);
    rig.device().setReg(29, 1380);
    SimFaults faults;
    faults.silence = true;
    faults.limit = 1;   // the first send goes unanswered, the re-send is answered
    rig.sim.setFaults(faults);
    QTimer::singleShot(50, &w, [&w] { w.core.scanEngine.reportFailure(); });

    rig.button(QStringLiteral("pushButton"))->click();

    QCOMPARE(styleName(w, rig.button(QStringLiteral("pushButton"))->styleSheet()),
             QStringLiteral("ok"));
    QCOMPARE(rig.edit(QStringLiteral("lineEdit"))->text(), QStringLiteral("13.80"));
    QCOMPARE(w.core.paramRequestState, 0);
}

QTEST_MAIN(tst_parameter_page_sequences)
#include "tst_parameter_page_sequences.moc"
