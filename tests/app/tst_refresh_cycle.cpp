// The refresh cycle against the simulated controller: schedules, what each
// step shows, failures, guards, the lifetime of the step counter and the scan.
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>
#include <qcustomplot.h>

#include "live_sample.h"
#include "mainwindow.h"
#include "monitor_core_probe.h"
#include "monitoring_sim.h"
#include "simulated_controller.h"
#include "window_fixture.h"

namespace {

constexpr int PwmDefineSteps = 15;
constexpr int MpptDefineSteps = 10;
constexpr int ModbusSteps = 13;

const QString red = QStringLiteral("font:bold 12pt \"Arial\";background-color: rgb(255, 0, 0);");
const QString green = QStringLiteral("font:bold 12pt \"Arial\";;background-color: rgb(0, 255, 0);");
const QString plain = QStringLiteral("font:bold 12pt \"Arial\";");

const QString model = QStringLiteral("SIM-MPPT-40A");
const QString serial = QStringLiteral("SN2406000042");
const QString factory = QStringLiteral("Solar Works Ltd, Shenzhen, Guangdong");   // 36 characters

using Fields = QList<QPair<QString, QString>>;

// Values chosen so that every format shows: signed, two-digit, rounding.
void setKnownValues(SimulatedDevice *d)
{
    d->setReg(SimReg::PvVoltage, 1834);
    d->setReg(SimReg::PvCurrent, 150);
    d->setReg(SimReg::PvPower, 275);
    d->setReg(SimReg::PvState, 1);
    d->setReg(SimReg::BatteryVoltage, 1312);
    d->setReg(SimReg::BatteryTemperature, quint16(-5));
    d->setReg(SimReg::BatteryCurrent, 999);
    d->setReg(SimReg::LoadCurrent, 275);
    d->setReg(SimReg::SystemVoltage, 2);
    d->setReg(SimReg::BatteryCapacity, 100);
    d->setReg(SimReg::ChargeStage, 3);   // "Float" in both wire tables
    d->setReg(SimReg::InternalTemperature, quint16(-3));
    d->setReg(SimReg::GeneratedChargeTotal, 1234);
    d->setReg(SimReg::ConsumedChargeTotal, 567);
    d->setReg(SimReg::GeneratedEnergyTotal, 89);
    d->setReg(SimReg::ConsumedEnergyTotal, 4321);
    d->setReg(SimReg::StatusWord, 0x0001);
    d->setReg(SimReg::LoadPower, 360);
    d->setReg(SimReg::RatedVoltage, 24);
    d->setReg(SimReg::RatedChargeCurrent, 40);
    d->setReg(SimReg::RatedDischargeCurrent, 20);
    d->setReg(SimReg::Security, 0x30);   // not encrypted
    d->setVersion(12, 105);
    d->setDeviceModel(model);
    d->setSerialNumber(serial);
    d->setFactoryInfo(factory);
}

// What one request frame asks for: the Define command code, or the register
// range of a Modbus read.
QString describeRequest(const QByteArray &f, ProtocolKind protocol)
{
    auto word = [&f](int i) { return quint8(f.at(i)) * 256 + quint8(f.at(i + 1)); };
    switch (protocol) {
    case ProtocolDefine:
        return QStringLiteral("%1").arg(quint8(f.at(2)), 2, 16, QLatin1Char('0')).toUpper();
    case ProtocolModbusRtu:
        return QStringLiteral("%1,%2").arg(word(2)).arg(word(4));
    case ProtocolModbusTcp:
        return QStringLiteral("%1,%2").arg(word(8)).arg(word(10));
    }
    return QString();
}

QStringList describeRequests(const SimulatedController &sim)
{
    QStringList out;
    for (const SimRequest &r : sim.requests())
        out << describeRequest(r.frame, sim.protocol());
    return out;
}

QString lastRequest(const SimulatedController &sim)
{
    return sim.requestCount() ? describeRequest(sim.lastRequest(), sim.protocol()) : QString();
}

// The window connected to an in-process simulator holding the known values.
struct Session
{
    SimulatedController sim;
    WindowFixture f;
    MainWindow &w;

    Session(const QString &protocol, const QString &controller)
        : sim(simProtocolFor(protocol),
              controller == QLatin1String("PWM") ? ControllerPwm : ControllerMppt),
          w(f.w())
    {
        setKnownValues(sim.device(1));
    }

    bool connect(SimTransport link, const QString &protocol, const QString &controller,
                 int address = 1)
    {
        if (!connectToSim(f, sim, link, protocol, controller, address))
            return false;
        // Faults must not cost seconds.
        w.core.mainEngine.setResponseTimeout(60);
        w.core.mainEngine.setMaxRetries(0);
        w.core.scanEngine.setResponseTimeout(60);
        return true;
    }

    void checkFields(const Fields &fields)
    {
        for (const auto &e : fields)
            QCOMPARE(fieldText(w, e.first) + " in " + e.first, e.second + " in " + e.first);
    }
};

Fields liveValueFields()
{
    return {{"lineEdit_34", "18.34"}, {"lineEdit_35", "1.50"},  {"lineEdit_36", "27.5"},
            {"lineEdit_39", "27.50"}, {"lineEdit_40", "13.12"}, {"lineEdit_41", "-1.25"},
            {"lineEdit_43", "100"},   {"lineEdit_45", "-5"},    {"lineEdit_48", "2.75"},
            {"lineEdit_47", "13.12"}, {"lineEdit_49", "36.0"}};
}

} // namespace

class tst_refresh_cycle : public QObject
{
    Q_OBJECT

private slots:
    void fullCycle_data();
    void fullCycle();
    void failedStepKeepsFields_data();
    void failedStepKeepsFields();
    void guardsSendNothing_data();
    void guardsSendNothing();
    void parameterRequestEndsWaitingTick();
    void reconnectStartsScheduleAfresh();
    void factoryTextNeedsBothHalves();
    void chargeTotalsOverModbus_data();
    void chargeTotalsOverModbus();
    void scanListsAnsweringAddresses();
    void loadOffOverModbusShowsZeroEverywhere();
};

void tst_refresh_cycle::fullCycle_data()
{
    QTest::addColumn<int>("link");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("controller");
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<Fields>("fields");
    QTest::addColumn<QString>("lampCaption");

    const Fields totals{{"lineEdit_54", "12.34"}, {"lineEdit_62", "5.67"}};
    const Fields energy{{"lineEdit_56", "0.89"}, {"lineEdit_64", "43.21"}};
    const Fields energyUnread{{"lineEdit_56", "00.00"}, {"lineEdit_64", "00.00"}};

    // From program start the first tick runs step 1; step 0 closes the cycle.
    QTest::newRow("PWM Define over TCP")
        << int(SimTransport::Tcp) << "Define" << "PWM"
        << QStringList{"02", "06", "04", "07", "08", "09", "0A", "77", "78", "81", "C2", "C6",
                       "78", "01"}
        << liveValueFields() + totals + energy
               + Fields{{"lineEdit_46", "-3"}, {"lineEdit_44", "Float"},
                        {"lineEdit_70", factory.left(12)}, {"lineEdit_68", model},
                        {"lineEdit_69", serial},
                        // never read by this schedule
                        {"lineEdit_37", "NO"}, {"lineEdit_42", "000"}, {"lineEdit_67", "Unknow"},
                        {"lineEdit_77", "0000"}, {"lineEdit_78", "0000"}, {"lineEdit_79", "0000"}}
        << QStringLiteral("未加密");
    QTest::newRow("MPPT Define over pty")
        << int(SimTransport::Pty) << "Define" << "MPPT"
        << QStringList{"02", "06", "04", "05", "77", "78", "79", "78", "01"}
        << liveValueFields() + totals + energyUnread
               + Fields{{"lineEdit_46", "-3"}, {"lineEdit_44", "Float"}, {"lineEdit_42", "24"},
                        {"lineEdit_70", factory.left(12)}, {"lineEdit_68", model},
                        {"lineEdit_67", "HRV1.2"}, {"lineEdit_77", "40"}, {"lineEdit_78", "40"},
                        {"lineEdit_37", "NO"}, {"lineEdit_69", "0000-0000-0000-0000"},
                        {"lineEdit_79", "0000"}}
        << QStringLiteral("Self-check error");

    const QStringList modbusRequests{"1,12", "13,8", "21,8", "56,11", "70,2", "72,12", "84,12",
                                     "96,9", "105,9", "54,1", "118,1", "72,12", "128,8"};
    const Fields modbusFields = liveValueFields() + totals + energy
        + Fields{{"lineEdit_37", "Generating"}, {"lineEdit_42", "24"}, {"lineEdit_44", "Float"},
                 {"lineEdit_46", "-3"}, {"lineEdit_79", "24"}, {"lineEdit_77", "40"},
                 {"lineEdit_78", "20"}, {"lineEdit_67", "HRV1.2,SFV10.5"},
                 {"lineEdit_68", model}, {"lineEdit_69", serial}, {"lineEdit_70", factory}};
    QTest::newRow("Modbus RTU, MPPT, over pty")
        << int(SimTransport::Pty) << "Modbus" << "MPPT" << modbusRequests << modbusFields
        << QStringLiteral("Self-check error");
    QTest::newRow("Modbus TCP, PWM, over TCP")
        << int(SimTransport::Tcp) << "TCP Modbus" << "PWM" << modbusRequests << modbusFields
        << QStringLiteral("Self-check error");
}

void tst_refresh_cycle::fullCycle()
{
    QFETCH(int, link);
    QFETCH(QString, protocol);
    QFETCH(QString, controller);
    QFETCH(QStringList, requests);
    QFETCH(Fields, fields);
    QFETCH(QString, lampCaption);

    Session s(protocol, controller);
    QVERIFY(s.connect(SimTransport(link), protocol, controller));
    s.sim.clearRequests();
    lineEdit(s.w, "lineEdit_38")->setText("100");
    const int steps = protocol == "Define" && controller == "PWM" ? PwmDefineSteps
                      : protocol == "Define"                     ? MpptDefineSteps
                                                                 : ModbusSteps;
    for (int i = 0; i < steps; ++i)
        runTick(s.w);

    QCOMPARE(MonitorCoreProbe::pollStep(s.w.core), 0);
    QCOMPARE(describeRequests(s.sim), requests);
    s.checkFields(fields);

    QCOMPARE(pushButton(s.w, "pushButton_104")->styleSheet(), red);   // low voltage
    QCOMPARE(pushButton(s.w, "pushButton_113")->styleSheet(), plain);
    QCOMPARE(pushButton(s.w, "pushButton_106")->styleSheet(), green);   // load on
    QCOMPARE(pushButton(s.w, "pushButton_107")->styleSheet(), plain);
    QCOMPARE(pushButton(s.w, "pushButton_97")->text(), lampCaption);

    // The live-value step appended a point with the shown values.
    QCustomPlot *plot = s.w.findChild<QCustomPlot *>("customplot");
    QCOMPARE(plot->graph(0)->dataCount(), 1);
    QCOMPARE(plot->graph(0)->name(), QStringLiteral("PV Voltage:18.34V"));

    // The scan probed address 1, where the window's own device answers.
    QListWidget *list = s.w.findChild<QListWidget *>("listWidget");
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->item(0)->text(), "SN01:" + model);
    QCOMPARE(s.w.snLabel.text(), QStringLiteral("SN:01"));
}

void tst_refresh_cycle::failedStepKeepsFields_data()
{
    QTest::addColumn<int>("link");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("liveStep");
    QTest::addColumn<int>("steps");
    QTest::addColumn<QString>("nextRequest");

    QTest::newRow("Define over TCP") << int(SimTransport::Tcp) << "Define" << 0 << PwmDefineSteps << "02";
    QTest::newRow("Modbus RTU over pty") << int(SimTransport::Pty) << "Modbus" << 1 << ModbusSteps << "13,8";
}

void tst_refresh_cycle::failedStepKeepsFields()
{
    QFETCH(int, link);
    QFETCH(QString, protocol);
    QFETCH(int, liveStep);
    QFETCH(int, steps);
    QFETCH(QString, nextRequest);

    Session s(protocol, "PWM");
    QVERIFY(s.connect(SimTransport(link), protocol, "PWM"));
    runStep(s.w, liveStep, steps);
    s.checkFields({{"lineEdit_34", "18.34"}});
    QCustomPlot *plot = s.w.findChild<QCustomPlot *>("customplot");
    QCOMPARE(plot->graph(0)->dataCount(), 1);
    const QString loadOnStyle = pushButton(s.w, "pushButton_106")->styleSheet();

    // New values, but the controller stops answering.
    s.sim.device(1)->setReg(SimReg::PvVoltage, 2500);
    s.sim.device(1)->setReg(SimReg::StatusWord, 0x0008);
    SimFaults silent;
    silent.silence = true;
    s.sim.setFaults(silent);
    s.w.lastCurveKey = 0.0;
    runStep(s.w, liveStep, steps);
    QCOMPARE(MonitorCoreProbe::pollStep(s.w.core), liveStep);
    s.checkFields({{"lineEdit_34", "18.34"}, {"lineEdit_36", "27.5"}});
    QCOMPARE(pushButton(s.w, "pushButton_106")->styleSheet(), loadOnStyle);
    QCOMPARE(plot->graph(0)->dataCount(), 1);

    // The next tick moves on to the next step.
    s.sim.clearFaults();
    runTick(s.w);
    QCOMPARE(MonitorCoreProbe::pollStep(s.w.core), liveStep + 1);
    QCOMPARE(lastRequest(s.sim), nextRequest);
    s.checkFields({{"lineEdit_34", "18.34"}});
}

void tst_refresh_cycle::guardsSendNothing_data()
{
    QTest::addColumn<bool>("connected");
    QTest::newRow("link down") << false;
    QTest::newRow("parameter request pending") << true;
}

void tst_refresh_cycle::guardsSendNothing()
{
    QFETCH(bool, connected);

    Session s("Define", "PWM");
    if (connected) {
        QVERIFY(s.connect(SimTransport::Tcp, "Define", "PWM"));
        s.w.core.paramRequestState = 1;
    }
    s.sim.clearRequests();
    MonitorCoreProbe::setPollStep(s.w.core, 4);
    s.w.core.refreshTimer.start(100);
    for (int i = 0; i < 3; ++i)
        s.w.core.refereshDisplayRef();
    QTest::qWait(150);
    QCOMPARE(s.sim.requestCount(), 0);
    QCOMPARE(MonitorCoreProbe::pollStep(s.w.core), 4);
    QVERIFY(s.w.core.refreshTimer.isActive());
    QCOMPARE(s.w.core.refreshTimer.interval(), 100);

    // Once the way is clear, the timer's own ticks poll again: from step 5
    // after the parameter request, from the start on a new link.
    if (connected)
        s.w.core.paramRequestState = 0;
    else
        QVERIFY(s.connect(SimTransport::Tcp, "Define", "PWM"));
    s.w.core.refreshTimer.start(100);
    QTRY_VERIFY_WITH_TIMEOUT(s.sim.requestCount() > 0, 2000);
    s.w.core.refreshTimer.stop();
    QCOMPARE(describeRequest(s.sim.requests().first().frame, ProtocolDefine),
             connected ? QStringLiteral("08") : QStringLiteral("02"));
}

void tst_refresh_cycle::parameterRequestEndsWaitingTick()
{
    Session s("Define", "PWM");
    QVERIFY(s.connect(SimTransport::Tcp, "Define", "PWM"));
    // A parameter button pressed while the tick waits for the run data.
    QTimer::singleShot(0, &s.w, [&s] { s.w.core.paramRequestState = 1; });
    runStep(s.w, 0, PwmDefineSteps);
    QCOMPARE(fieldText(s.w, "lineEdit_34"), QStringLiteral("000.00"));
    QCOMPARE(s.w.findChild<QCustomPlot *>("customplot")->graph(0)->dataCount(), 0);

    // The parameter action ends; polling resumes with the next step.
    QTRY_COMPARE(s.w.core.mainEngine.txLength, 0);
    s.w.core.paramRequestState = 0;
    runTick(s.w);
    QCOMPARE(lastRequest(s.sim), QStringLiteral("02"));
    QCOMPARE(fieldText(s.w, "lineEdit_54"), QStringLiteral("12.34"));
}

// A new link begins the schedule as a fresh window does: nothing of the
// cycle the old link left half-way carries over.
void tst_refresh_cycle::reconnectStartsScheduleAfresh()
{
    Session s("Define", "PWM");
    QVERIFY(s.connect(SimTransport::Tcp, "Define", "PWM"));
    runStep(s.w, 5, PwmDefineSteps);
    QCOMPARE(lastRequest(s.sim), QStringLiteral("08"));

    pressConnect(s.w);   // "Disonnect"
    QVERIFY(!linkIsUp(s.w));
    s.sim.clearRequests();
    runTick(s.w);
    QCOMPARE(s.sim.requestCount(), 0);
    QCOMPARE(MonitorCoreProbe::pollStep(s.w.core), 5);

    pressConnect(s.w);
    QVERIFY(waitForLinkUp(s.w));
    s.f.holdRefreshCycle();
    runTick(s.w);
    QCOMPARE(MonitorCoreProbe::pollStep(s.w.core), 1);
    QCOMPARE(lastRequest(s.sim), QStringLiteral("02"));
    QCOMPARE(fieldText(s.w, "lineEdit_54"), QStringLiteral("12.34"));
}

void tst_refresh_cycle::factoryTextNeedsBothHalves()
{
    Session s("Modbus", "MPPT");
    QVERIFY(s.connect(SimTransport::Pty, "Modbus", "MPPT"));

    runStep(s.w, 9, ModbusSteps);   // second half alone
    QCOMPARE(lastRequest(s.sim), QStringLiteral("105,9"));
    QCOMPARE(fieldText(s.w, "lineEdit_70"), QStringLiteral("Unknow"));

    runStep(s.w, 8, ModbusSteps);
    QVERIFY(MonitorCoreProbe::factoryFirstHalf(s.w.core));
    QCOMPARE(fieldText(s.w, "lineEdit_70"), QStringLiteral("Unknow"));
    runTick(s.w);   // step 9
    QCOMPARE(fieldText(s.w, "lineEdit_70"), factory);
    QVERIFY(!MonitorCoreProbe::factoryFirstHalf(s.w.core));

    // Step 8 succeeds, step 9 fails: the first half still counts next cycle.
    const QString other = QStringLiteral("Other Factory Co. Ltd, Ningbo, China");
    s.sim.device(1)->setFactoryInfo(other);
    runStep(s.w, 8, ModbusSteps);
    SimFaults silent;
    silent.silence = true;
    s.sim.setFaults(silent);
    runTick(s.w);
    QCOMPARE(fieldText(s.w, "lineEdit_70"), factory);
    QVERIFY(MonitorCoreProbe::factoryFirstHalf(s.w.core));
    s.sim.clearFaults();
    runStep(s.w, 9, ModbusSteps);
    QCOMPARE(fieldText(s.w, "lineEdit_70"), other);
}

void tst_refresh_cycle::chargeTotalsOverModbus_data()
{
    QTest::addColumn<int>("link");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("controller");
    QTest::addColumn<QString>("generated");

    QTest::newRow("MPPT over Modbus TCP") << int(SimTransport::Tcp) << "TCP Modbus" << "MPPT" << "00.00";
    QTest::newRow("PWM over Modbus TCP") << int(SimTransport::Tcp) << "TCP Modbus" << "PWM" << "12.34";
    QTest::newRow("MPPT over Modbus RTU") << int(SimTransport::Pty) << "Modbus" << "MPPT" << "12.34";
}

void tst_refresh_cycle::chargeTotalsOverModbus()
{
    QFETCH(int, link);
    QFETCH(QString, protocol);
    QFETCH(QString, controller);
    QFETCH(QString, generated);

    Session s(protocol, controller);
    QVERIFY(s.connect(SimTransport(link), protocol, controller));
    runStep(s.w, 2, ModbusSteps);
    QCOMPARE(lastRequest(s.sim), QStringLiteral("13,8"));
    s.checkFields({{"lineEdit_54", generated}, {"lineEdit_62", "5.67"}});
}

void tst_refresh_cycle::scanListsAnsweringAddresses()
{
    Session s("Define", "PWM");
    s.sim.removeDevice(1);
    s.sim.addDevice(3)->setDeviceModel(QStringLiteral("MPPT-CTRL-03"));
    s.sim.addDevice(12)->setDeviceModel(QStringLiteral("PWM-CTRL-012"));
    // The window talks to address 3.
    QVERIFY(s.connect(SimTransport::Pty, "Define", "PWM", 3));
    QListWidget *list = s.w.findChild<QListWidget *>("listWidget");
    auto scanAt = [&s](int address) {
        MonitorCoreProbe::setScanAddress(s.w.core, address - 1);
        runStep(s.w, 13, PwmDefineSteps);
        return s.w.core.scanEngine.slaveAddress();
    };
    auto rows = [list] {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i)
            texts << list->item(i)->text();
        return texts;
    };

    QCOMPARE(scanAt(12), quint8(12));
    QCOMPARE(rows(), QStringList{"SN12:PWM-CTRL-012"});
    QCOMPARE(s.w.snLabel.text(), QStringLiteral("SN:01"));   // not seen yet
    QCOMPARE(scanAt(3), quint8(3));
    QCOMPARE(scanAt(4), quint8(4));   // nobody there
    QCOMPARE(rows(), (QStringList{"SN03:MPPT-CTRL-03", "SN12:PWM-CTRL-012"}));
    QCOMPARE(list->item(0)->background().color(), QColor(0, 0, 0));
    QCOMPARE(list->item(0)->foreground().color(), QColor(255, 0, 0));
    QCOMPARE(list->item(1)->background().color(), QColor(255, 255, 255));
    QCOMPARE(list->item(1)->foreground().color(), QColor(0, 0, 0));
    QCOMPARE(s.w.snLabel.text(), QStringLiteral("SN:03"));
    QCOMPARE(int(s.w.deviceSeen[12]), 12);

    // Address 12 stops answering: marked absent, its row stays.
    s.sim.removeDevice(12);
    QCOMPARE(scanAt(12), quint8(12));
    QCOMPARE(int(s.w.deviceSeen[12]), 0);
    QCOMPARE(rows(), (QStringList{"SN03:MPPT-CTRL-03", "SN12:PWM-CTRL-012"}));

    // After address 32 the scan starts again at 1.
    QCOMPARE(scanAt(33), quint8(1));
    QCOMPARE(MonitorCoreProbe::scanAddress(s.w.core), 1);
    QCOMPARE(quint8(s.sim.lastRequest().at(1)), quint8(1));
}

QTEST_MAIN(tst_refresh_cycle)
// Modbus has no load-voltage register. Once the status word says the load
// is off, the field, the curve and the recorded sample all give 0 V, not the
// battery voltage they carried while the load was on.
void tst_refresh_cycle::loadOffOverModbusShowsZeroEverywhere()
{
    Session s("TCP Modbus", "MPPT");
    QVERIFY(s.connect(SimTransport::Tcp, "TCP Modbus", "MPPT"));
    QCPGraph *load = s.w.findChild<QCustomPlot *>("customplot")->graph(2);
    const auto plotted = [&] {
        s.w.lastCurveKey = 0.0;   // a point whatever the second
        runStep(s.w, 1, ModbusSteps);
        return load->data()->at(load->dataCount() - 1)->value;
    };
    const auto recorded = [&] {
        LiveSample sample;
        fillLiveSample(sample, s.w.core.deviceData(), s.w.core.protocol());
        return sample.value(LoadVoltage);
    };

    runStep(s.w, 1, ModbusSteps);    // live values
    runStep(s.w, 10, ModbusSteps);   // status: load on
    QCOMPARE(fieldText(s.w, "lineEdit_47"), QStringLiteral("13.12"));
    QCOMPARE(plotted(), 13.12);
    QCOMPARE(recorded(), 13.12);

    s.sim.device(1)->setStatusBit(SimStatus::LoadOff, true);
    runStep(s.w, 10, ModbusSteps);
    QCOMPARE(fieldText(s.w, "lineEdit_47"), QStringLiteral("0.00"));
    QCOMPARE(plotted(), 0.0);
    QCOMPARE(load->name(), QStringLiteral("Load Voltage:0.00V"));
    QCOMPARE(recorded(), 0.0);
    QCOMPARE(fieldText(s.w, "lineEdit_47"), QStringLiteral("0.00"));
}

#include "tst_refresh_cycle.moc"
