// The parameter actions by id: the table says which request carries an id
// under the protocol and controller type of the moment; one request on
// mainEngine at a time, waited for with events running, guarded by
// paramRequestState against the refresh cycle and other actions.
#include "monitor_core.h"

namespace {

constexpr int LoadSwitchWord = 0x0FF7;

} // namespace

bool MonitorCore::parameterPageIdle() const
{
    return linkIsUp() && paramRequestState == ParamIdle;
}

bool MonitorCore::beginParameterAction()
{
    if (!linkIsUp()) {
        emit parameterFinished(ParameterOutcome::LinkDown, -1);
        return false;
    }
    if (paramRequestState != ParamIdle)
        return false;
    paramRequestState = ParamPending;
    return true;
}

void MonitorCore::endParameterAction()
{
    paramRequestState = ParamIdle;
}

// Waits for the outcome of the request just issued on mainEngine. Returns
// ParamAnswered or ParamFailed, or ParamIdle when the link went down.
int MonitorCore::awaitParameterReply()
{
    // A request the engine refused has reported before the call returned.
    if (paramRequestState == ParamAnswered || paramRequestState == ParamFailed) {
        finishParameter(paramRequestState);
        return paramRequestState;
    }
    for (;;) {
        // Only mainEngine's outcome moves the state on (see the link slots).
        if (paramRequestState == ParamAnswered || paramRequestState == ParamFailed) {
            finishParameter(paramRequestState);
            return paramRequestState;
        }
        if (!linkIsUp()) {
            paramRequestState = ParamIdle;
            finishParameter(ParamIdle);
            return ParamIdle;
        }
        wait(waitSliceMs_);
    }
}

// Tells why the action ended as it did.
void MonitorCore::finishParameter(int state)
{
    using F = com_protocol_solar::FailureReason;
    if (state == ParamAnswered) {
        emit parameterFinished(ParameterOutcome::Answered, -1);
        return;
    }
    if (state == ParamIdle) {
        emit parameterFinished(ParameterOutcome::LinkDown, -1);
        return;
    }
    ParameterOutcome outcome = ParameterOutcome::NoAnswer;
    switch (mainEngine.failureReason) {
    case F::NoAnswer:
        outcome = lastExceptionCode_ >= 0 ? ParameterOutcome::Exception : ParameterOutcome::NoAnswer;
        break;
    case F::NotAvailable: outcome = ParameterOutcome::NotAvailable; break;
    case F::CompanionUnknown: outcome = ParameterOutcome::CompanionUnknown; break;
    case F::ValueRefused: outcome = ParameterOutcome::ValueRefused; break;
    }
    emit parameterFinished(outcome, outcome == ParameterOutcome::Exception ? lastExceptionCode_ : -1);
}

int MonitorCore::readParameter(ParameterId id)
{
    const ParameterTable::Parameter &p = ParameterTable::parameter(id);
    linkStats_.setMainKind(RequestKind::ParameterRead);
    issueParameterRead(p.define, p.reg);
    return awaitParameterReply();
}

void MonitorCore::issueParameterRead(const ParameterTable::DefineRead &define, quint16 reg)
{
    using ParameterTable::ChosenBy;
    switch (mainEngine.protocol()) {
    case ProtocolModbusRtu:
        mainEngine.modbusRtuReadRegisters(reg, 1);
        return;
    case ProtocolModbusTcp:
        mainEngine.modbusTcpReadRegisters(reg, 1);
        return;
    case ProtocolDefine:
        break;
    default:
        mainEngine.reportFailure();
        return;
    }

    ParameterTable::Request request = nullptr;
    switch (define.chosenBy) {
    case ChosenBy::Nothing:
        request = define.pwm;
        break;
    case ChosenBy::Setting:
        // An unknown type must still end the action, as a failure.
        if (controllerSetting == QLatin1String("PWM"))
            request = define.pwm;
        else if (controllerSetting == QLatin1String("MPPT"))
            request = define.mppt;
        break;
    case ChosenBy::EngineType:
        if (mainEngine.controllerType() == ControllerPwm)
            request = define.pwm;
        else if (mainEngine.controllerType() == ControllerMppt)
            request = define.mppt;
        break;
    }
    if (request)
        (mainEngine.*request)();
    else
        mainEngine.reportFailure();
}

int MonitorCore::writeParameter(ParameterId id, const QString &input)
{
    using ParameterTable::Scale;
    const ParameterTable::Parameter &p = ParameterTable::parameter(id);
    linkStats_.setMainKind(RequestKind::ParameterWrite);
    if (!p.write) {
        // A read-only setting has no frame to carry it.
        mainEngine.reportFailure(com_protocol_solar::FailureReason::NotAvailable);
    } else if (p.scale != Scale::Code) {
        (mainEngine.*p.write)(ParameterTable::scaledInput(input, p.scale));
    } else {
        // A list text without a code is refused without a frame.
        const int code = ParameterTable::codeOf(id, mainEngine.protocol(), input);
        if (code < 0)
            mainEngine.reportFailure(com_protocol_solar::FailureReason::ValueRefused);
        else
            (mainEngine.*p.write)(code);
    }
    return awaitParameterReply();
}

int MonitorCore::runCommand(DeviceCommand command)
{
    linkStats_.setMainKind(RequestKind::Command);
    switch (command) {
    case DeviceCommand::ClearGeneratedChargeTotal: mainEngine.clearGeneratedChargeTotal(); break;
    case DeviceCommand::ClearGeneratedEnergyTotal: mainEngine.clearGeneratedEnergyTotal(); break;
    case DeviceCommand::ClearConsumedChargeTotal: mainEngine.clearConsumedChargeTotal(); break;
    case DeviceCommand::ClearConsumedEnergyTotal: mainEngine.clearConsumedEnergyTotal(); break;
    case DeviceCommand::ResetController: mainEngine.resetController(); break;
    }
    return awaitParameterReply();
}

// Both load buttons send the same word; the status word shows the result.
int MonitorCore::requestLoadSwitch()
{
    linkStats_.setMainKind(RequestKind::Command);
    mainEngine.writeControlWord(LoadSwitchWord);
    return awaitParameterReply();
}

QString MonitorCore::parameterText(ParameterId id) const
{
    return ParameterTable::shownText(id, mainEngine.deviceData);
}
