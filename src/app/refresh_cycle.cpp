// The refresh cycle: one schedule step per timer tick, waiting for its reply
// inside the tick, and one bus address probed per cycle.
#include "mainwindow.h"

#include <QDebug>

int MainWindow::pollStep = 0;
int MainWindow::scanAddress = 0;
bool MainWindow::factoryFirstHalfOk = false;

namespace {

constexpr int TickIntervalMs = 100;
constexpr int WaitSliceMs = 20;
constexpr int FirstScanAddress = 1;
constexpr int LastScanAddress = 32;
constexpr quint16 ModelRegister = 72;
constexpr int ModelRegisterCount = 12;

enum class StepKind {
    Request,        // one request on mainEngine, then the success action
    ModbusStart,    // register read whose outcome is not shown
    Scan,           // model request on scanEngine at the next bus address
    Idle,
};

using EngineRequest = void (com_protocol_solar::*)();
using SuccessAction = void (MainWindow::*)();

// A step sends either a Define request (request set) or a register read.
struct PollStep
{
    StepKind kind;
    EngineRequest request;
    quint16 start;
    int count;
    SuccessAction onSuccess;
};

using E = com_protocol_solar;
using W = MainWindow;

constexpr PollStep define(EngineRequest request, SuccessAction onSuccess = nullptr)
{
    return {StepKind::Request, request, 0, 0, onSuccess};
}
constexpr PollStep registers(quint16 start, int count, SuccessAction onSuccess = nullptr)
{
    return {StepKind::Request, nullptr, start, count, onSuccess};
}
constexpr PollStep defineScan{StepKind::Scan, &E::defineReadDeviceModel, 0, 0, nullptr};
constexpr PollStep modbusScan{StepKind::Scan, nullptr, ModelRegister, ModelRegisterCount, nullptr};
constexpr PollStep idle{StepKind::Idle, nullptr, 0, 0, nullptr};

const PollStep pwmDefineSchedule[] = {
    define(&E::defineReadRunData, &W::showRunData),
    define(&E::defineReadTotalsAndLimits, &W::showPolledChargeTotals),
    define(&E::defineReadLoadSettings, &W::showInternalTemperature),
    define(&E::defineReadChargeStage, &W::showChargeStage),
    define(&E::defineReadGroup07),
    define(&E::defineReadGroup08),
    define(&E::defineReadEnergyTotals, &W::showEnergyTotals),
    define(&E::defineReadLithiumAndNightTimes),
    define(&E::defineReadFactoryInfo, &W::showFactoryInfo),
    define(&E::defineReadDeviceModel, &W::showDeviceModel),
    define(&E::readSerialNumber, &W::showSerialNumber),
    define(&E::defineReadCalibrationState),
    define(&E::defineReadEncryptionState, &W::showEncryptionState),
    defineScan,
    idle,
};

const PollStep mpptDefineSchedule[] = {
    define(&E::defineReadRunData, &W::showRunData),
    define(&E::defineReadTotalsAndLimits, &W::showPolledChargeTotals),
    define(&E::defineReadLoadSettings, &W::showInternalTemperature),
    define(&E::defineReadChargeStage, &W::showChargeStage),
    define(&E::defineReadBatterySettings, &W::showSystemVoltage),
    define(&E::defineReadFactoryInfo, &W::showFactoryInfo),
    define(&E::defineReadDeviceModel, &W::showDeviceModel),
    define(&E::defineReadVersionAndRatings, &W::showVersionAndRatedCurrents),
    defineScan,
    idle,
};

const PollStep modbusSchedule[] = {
    {StepKind::ModbusStart, nullptr, 128, 8, nullptr},
    registers(1, 12, &W::showModbusRunData),
    registers(13, 8, &W::showPolledChargeTotals),
    registers(21, 8, &W::showEnergyTotals),
    registers(56, 11, &W::showRatings),
    registers(70, 2, &W::showVersionInfo),
    registers(72, 12, &W::showDeviceModel),
    registers(84, 12, &W::showSerialNumber),
    registers(96, 9, &W::noteFactoryFirstHalf),
    registers(105, 9, &W::showFactorySecondHalf),
    registers(54, 1, &W::showModbusStatus),
    registers(118, 1),
    modbusScan,
};

struct Schedule
{
    const PollStep *steps;
    int count;
};

template <int N>
constexpr Schedule scheduleOf(const PollStep (&steps)[N])
{
    return {steps, N};
}

// Define schedules depend on the controller type; Modbus polls both alike.
// Any other protocol or controller type has nothing to poll (no steps).
Schedule scheduleFor(const com_protocol_solar &engine)
{
    switch (engine.protocol()) {
    case ProtocolDefine:
        if (engine.controllerType() == ControllerPwm)
            return scheduleOf(pwmDefineSchedule);
        if (engine.controllerType() == ControllerMppt)
            return scheduleOf(mpptDefineSchedule);
        return {nullptr, 0};
    case ProtocolModbusRtu:
    case ProtocolModbusTcp:
        return scheduleOf(modbusSchedule);
    default:
        return {nullptr, 0};
    }
}

void sendStepRequest(com_protocol_solar &engine, const PollStep &step)
{
    if (step.request)
        (engine.*step.request)();
    else if (engine.protocol() == ProtocolModbusTcp)
        engine.modbusTcpReadRegisters(step.start, step.count);
    else
        engine.modbusRtuReadRegisters(step.start, step.count);
}

enum class PollOutcome { Answered, Failed, Abandoned };

// Waits, with the event loop running, until the link slots record the outcome
// of the request just sent. The engine ends every request with exactly one
// success or failure; a dropped link or a parameter request ends the wait too.
PollOutcome waitForPollReply(MainWindow &w)
{
    for (;;) {
        if (w.linkIsDown() || w.paramRequestState != 0 || w.pollReplyState == 4)
            return PollOutcome::Abandoned;
        if (w.pollReplyState == 6)
            return PollOutcome::Answered;
        if (w.pollReplyState == 7)
            return PollOutcome::Failed;
        waitWithEvents(WaitSliceMs);
    }
}

// Probes the next bus address with the second engine and records whether a
// device answered there.
void scanNextAddress(MainWindow &w, const PollStep &step)
{
    w.pollReplyState = 5;
    if (++MainWindow::scanAddress > LastScanAddress)
        MainWindow::scanAddress = FirstScanAddress;
    w.scanEngine.setSlaveAddress(quint8(MainWindow::scanAddress));
    sendStepRequest(w.scanEngine, step);

    const PollOutcome outcome = waitForPollReply(w);
    if (outcome == PollOutcome::Abandoned)
        return;
    const quint8 address = w.scanEngine.slaveAddress();
    if (address < MainWindow::DeviceSlots) {
        const bool answered = outcome == PollOutcome::Answered;
        w.deviceSeen[address] = answered ? address : 0;
        if (answered)
            w.deviceNames[address] = w.scanEngine.deviceData.deviceModel;
    }
    w.updateDeviceList(0, QString());
}

void runStep(MainWindow &w, const PollStep &step)
{
    switch (step.kind) {
    case StepKind::Idle:
        return;
    case StepKind::Scan:
        scanNextAddress(w, step);
        return;
    case StepKind::ModbusStart:
        w.pollReplyState = 5;
        qDebug() << "start----------";
        sendStepRequest(w.mainEngine, step);
        // Success and failure end the step alike: the words stay in DeviceData.
        waitForPollReply(w);
        return;
    case StepKind::Request:
        w.pollReplyState = 5;
        sendStepRequest(w.mainEngine, step);
        if (waitForPollReply(w) == PollOutcome::Answered && step.onSuccess)
            (w.*step.onSuccess)();
        return;
    }
}

} // namespace

void MainWindow::refereshDisplayRef()
{
    if (linkIsDown())
        return;
    if (paramRequestState != 0)
        return;

    // Stopped while the tick waits, so it cannot re-enter; the next tick
    // comes a full interval after this one ends.
    refreshTimer.stop();
    const Schedule schedule = scheduleFor(mainEngine);
    if (schedule.count > 0) {
        if (++pollStep >= schedule.count || pollStep < 0)
            pollStep = 0;
        runStep(*this, schedule.steps[pollStep]);
    }
    refreshTimer.start(TickIntervalMs);
}

// --- success actions ---------------------------------------------------

void MainWindow::showRunData()
{
    showDefineLiveValues();
    showStatusLamps(false);
    appendCurvePoint();
}

void MainWindow::showModbusRunData()
{
    showModbusLiveValues();
    appendCurvePoint();
}

// An MPPT controller over Modbus TCP does not report its generated charge
// total in register 16, so that field is left alone there.
void MainWindow::showPolledChargeTotals()
{
    const bool mpptOverTcp = mainEngine.protocol() == ProtocolModbusTcp
                             && mainEngine.controllerType() == ControllerMppt;
    showChargeTotals(!mpptOverTcp, true);
}

void MainWindow::showVersionAndRatedCurrents()
{
    showVersionInfo();
    showRatedCurrents();
}

void MainWindow::showRatings()
{
    showRatedVoltage();
    showRatedCurrents();
}

// The factory text spans two reads; show it only once both halves arrived.
void MainWindow::noteFactoryFirstHalf()
{
    factoryFirstHalfOk = true;
}

void MainWindow::showFactorySecondHalf()
{
    if (factoryFirstHalfOk)
        showFactoryInfo();
    factoryFirstHalfOk = false;
}

void MainWindow::showModbusStatus()
{
    showStatusLamps(true);
}
