// The refresh cycle: one schedule step per timer tick, waiting for its reply
// inside the tick, and one bus address probed per cycle.
#include "monitor_core.h"
#include "monitor_trace.h"
#include "poll_schedule.h"

namespace {

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
using R = MonitorCore::StepResult;

// A step sends either a Define request (request set) or a register read.
struct PollStep
{
    StepKind kind;
    EngineRequest request;
    quint16 start;
    int count;
    R result;
};

using E = com_protocol_solar;

constexpr PollStep define(EngineRequest request, R result = R::None)
{
    return {StepKind::Request, request, 0, 0, result};
}
constexpr PollStep registers(quint16 start, int count, R result = R::None)
{
    return {StepKind::Request, nullptr, start, count, result};
}
constexpr PollStep defineScan{StepKind::Scan, &E::defineReadDeviceModel, 0, 0, R::None};
constexpr PollStep modbusScan{StepKind::Scan, nullptr, ModelRegister, ModelRegisterCount, R::None};
constexpr PollStep idle{StepKind::Idle, nullptr, 0, 0, R::None};

const PollStep pwmDefineSchedule[] = {
    define(&E::defineReadRunData, R::RunData),
    define(&E::defineReadTotalsAndLimits, R::ChargeTotals),
    define(&E::defineReadLoadSettings, R::InternalTemperature),
    define(&E::defineReadChargeStage, R::ChargeStage),
    define(&E::defineReadGroup07),
    define(&E::defineReadGroup08),
    define(&E::defineReadEnergyTotals, R::EnergyTotals),
    define(&E::defineReadLithiumAndNightTimes),
    define(&E::defineReadFactoryInfo, R::FactoryInfo),
    define(&E::defineReadDeviceModel, R::DeviceModel),
    define(&E::readSerialNumber, R::SerialNumber),
    define(&E::defineReadCalibrationState),
    define(&E::defineReadEncryptionState, R::EncryptionState),
    defineScan,
    idle,
};

const PollStep mpptDefineSchedule[] = {
    define(&E::defineReadRunData, R::RunData),
    define(&E::defineReadTotalsAndLimits, R::ChargeTotals),
    define(&E::defineReadLoadSettings, R::InternalTemperature),
    define(&E::defineReadChargeStage, R::ChargeStage),
    define(&E::defineReadBatterySettings, R::SystemVoltage),
    define(&E::defineReadFactoryInfo, R::FactoryInfo),
    define(&E::defineReadDeviceModel, R::DeviceModel),
    define(&E::defineReadVersionAndRatings, R::VersionAndRatedCurrents),
    defineScan,
    idle,
};

const PollStep modbusSchedule[] = {
    {StepKind::ModbusStart, nullptr, 128, 8, R::None},
    registers(1, 12, R::ModbusRunData),
    registers(13, 8, R::ChargeTotals),
    registers(21, 8, R::EnergyTotals),
    registers(56, 11, R::Ratings),
    registers(70, 2, R::VersionInfo),
    registers(72, 12, R::DeviceModel),
    registers(84, 12, R::SerialNumber),
    registers(96, 9, R::FactoryFirstHalf),
    registers(105, 9, R::FactorySecondHalf),
    registers(54, 1, R::ModbusStatus),
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

// The statistics' kind of a step on mainEngine, by what its answer fills.
// Steps whose answer is not shown read setting groups.
RequestKind requestKindOf(R result)
{
    switch (result) {
    case R::RunData:
    case R::ModbusRunData:
    case R::InternalTemperature:
    case R::ChargeStage:
    case R::SystemVoltage:
    case R::ModbusStatus:
        return RequestKind::LiveValues;
    case R::ChargeTotals:
    case R::EnergyTotals:
        return RequestKind::Totals;
    case R::None:
        return RequestKind::ParameterRead;
    default:
        return RequestKind::Identity;
    }
}

enum class PollOutcome { Answered, Failed, Abandoned };

// The identity fields, one bit each.
quint32 identityBit(R result)
{
    switch (result) {
    case R::DeviceModel: return 1u << 0;
    case R::SerialNumber: return 1u << 1;
    case R::FactoryInfo: return 1u << 2;
    case R::VersionInfo:
    case R::VersionAndRatedCurrents: return 1u << 3;
    default: return 0;
    }
}

} // namespace

struct PollRunner
{
    // Waits, with the event loop running, until the link slots record the
    // outcome of the request just sent. The engine ends every request with
    // exactly one success or failure; a dropped link or a parameter request
    // ends the wait too.
    static PollOutcome waitForPollReply(MonitorCore &c)
    {
        for (;;) {
            if (!c.linkIsUp() || c.paramRequestState != 0 || c.pollReplyState == 4)
                return PollOutcome::Abandoned;
            if (c.pollReplyState == 6)
                return PollOutcome::Answered;
            if (c.pollReplyState == 7)
                return PollOutcome::Failed;
            c.wait(c.waitSlice());
        }
    }

    // Probes the next bus address with the second engine and tells whether a
    // device answered there.
    static void scanNextAddress(MonitorCore &c, const PollStep &step)
    {
        c.pollReplyState = 5;
        int &address = c.poll_.scanAddress;
        if (++address > LastScanAddress)
            address = FirstScanAddress;
        c.scanEngine.setSlaveAddress(quint8(address));
        sendStepRequest(c.scanEngine, step);

        const PollOutcome outcome = waitForPollReply(c);
        if (outcome == PollOutcome::Abandoned)
            return;
        const bool answered = outcome == PollOutcome::Answered;
        emit c.deviceProbed(c.scanEngine.slaveAddress(), answered,
                            answered ? c.scanEngine.deviceData.deviceModel : QString());
    }

    // The factory text spans two Modbus reads; it counts once both arrived.
    static R resultOf(MonitorCore &c, R result)
    {
        if (result == R::FactoryFirstHalf) {
            c.poll_.factoryFirstHalf = true;
            return R::None;
        }
        if (result == R::FactorySecondHalf) {
            const bool whole = c.poll_.factoryFirstHalf;
            c.poll_.factoryFirstHalf = false;
            return whole ? R::FactoryInfo : R::None;
        }
        return result;
    }

    static void runStep(MonitorCore &c, const PollStep &step)
    {
        switch (step.kind) {
        case StepKind::Idle:
            return;
        case StepKind::Scan:
            if (c.pollsScan_)
                scanNextAddress(c, step);
            return;
        case StepKind::ModbusStart:
            c.pollReplyState = 5;
            qCDebug(lcPoll) << "start----------";
            c.linkStats_.setMainKind(requestKindOf(step.result));
            sendStepRequest(c.mainEngine, step);
            // Success and failure end the step alike: the words stay in DeviceData.
            waitForPollReply(c);
            return;
        case StepKind::Request:
            c.pollReplyState = 5;
            c.linkStats_.setMainKind(requestKindOf(step.result));
            sendStepRequest(c.mainEngine, step);
            if (waitForPollReply(c) == PollOutcome::Answered) {
                const R result = resultOf(c, step.result);
                emit c.stepAnswered(result, c.mainEngine.deviceData);
                c.noteIdentity(result);
            }
            return;
        }
    }
};

void MonitorCore::refereshDisplayRef()
{
    if (!linkIsUp())
        return;
    if (paramRequestState != 0)
        return;

    // Stopped while the tick waits, so it cannot re-enter; the next tick
    // comes a full interval after this one ends.
    refreshTimer.stop();
    applyNextAddress();
    const Schedule schedule = scheduleFor(mainEngine);
    if (schedule.count > 0) {
        int &step = poll_.step;
        if (++step >= schedule.count || step < 0)
            step = 0;
        PollRunner::runStep(*this, schedule.steps[step]);
    }
    refreshTimer.start(tickIntervalMs_);
}

void MonitorCore::setPollTiming(int tickIntervalMs, int waitSliceMs)
{
    tickIntervalMs_ = qMax(0, tickIntervalMs);
    waitSliceMs_ = qMax(0, waitSliceMs);
    if (refreshTimer.isActive())
        refreshTimer.start(tickIntervalMs_);
}

quint32 MonitorCore::identityStepsFor(const com_protocol_solar &engine)
{
    const Schedule schedule = scheduleFor(engine);
    quint32 bits = 0;
    for (int i = 0; i < schedule.count; ++i) {
        const R result = schedule.steps[i].result;
        bits |= identityBit(result == R::FactorySecondHalf ? R::FactoryInfo : result);
    }
    return bits;
}

bool MonitorCore::scheduleAnswers(const com_protocol_solar &engine, StepResult result)
{
    const Schedule schedule = scheduleFor(engine);
    for (int i = 0; i < schedule.count; ++i)
        if (schedule.steps[i].result == result)
            return true;
    return false;
}

// Once every identity step of the schedule has answered since the link came
// up, the identity is told; afterwards only when a field changes.
void MonitorCore::noteIdentity(StepResult result)
{
    const quint32 bit = identityBit(result);
    if (!bit)
        return;
    const DeviceData &data = mainEngine.deviceData;
    DeviceIdentity seen = identity_;
    seen.address = mainEngine.slaveAddress();
    switch (result) {
    case R::DeviceModel: seen.model = data.deviceModel; break;
    case R::SerialNumber: seen.serialNumber = data.serialNumber; break;
    case R::FactoryInfo: seen.factoryInfo = data.factoryInfo; break;
    default: seen.version = data.versionInfo; break;
    }
    const bool changed = seen.address != identity_.address || seen.model != identity_.model
                         || seen.serialNumber != identity_.serialNumber
                         || seen.version != identity_.version
                         || seen.factoryInfo != identity_.factoryInfo;
    identity_ = seen;
    identitySeen_ |= bit;
    const quint32 needed = identityStepsFor(mainEngine);
    if ((identitySeen_ & needed) != needed)
        return;
    if (identityAnnounced_ && !changed)
        return;
    identityAnnounced_ = true;
    emit identityKnown(identity_);
}

int pollScheduleLength(const com_protocol_solar &engine)
{
    return scheduleFor(engine).count;
}

int pollScanStep(const com_protocol_solar &engine)
{
    const Schedule schedule = scheduleFor(engine);
    for (int i = 0; i < schedule.count; ++i)
        if (schedule.steps[i].kind == StepKind::Scan)
            return i;
    return -1;
}
