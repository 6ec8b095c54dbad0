// The request-and-await part of the parameter actions: one request on
// mainEngine at a time, waited for with events running, guarded by
// paramRequestState against the refresh cycle and other actions.
#include "monitor_core.h"

namespace {

constexpr int LoadSwitchWord = 0x0FF7;
// The same word with bit 3 (load off) set: the only difference between on and off.
constexpr int LoadOffWord = LoadSwitchWord | 0x008;

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

int MonitorCore::requestParameterRead(const DefineRead &define, quint16 reg)
{
    linkStats_.setMainKind(RequestKind::ParameterRead);
    issueParameterRead(define, reg);
    return awaitParameterReply();
}

void MonitorCore::issueParameterRead(const DefineRead &define, quint16 reg)
{
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

    Request request = nullptr;
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

int MonitorCore::requestParameterWrite(Write write, qint32 value)
{
    linkStats_.setMainKind(RequestKind::ParameterWrite);
    (mainEngine.*write)(value);
    return awaitParameterReply();
}

// A list text without a code is refused without a frame.
int MonitorCore::requestCodedWrite(Write write, int code)
{
    linkStats_.setMainKind(RequestKind::ParameterWrite);
    if (code < 0)
        mainEngine.reportFailure(com_protocol_solar::FailureReason::ValueRefused);
    else
        (mainEngine.*write)(code);
    return awaitParameterReply();
}

int MonitorCore::requestCommand(Request command)
{
    linkStats_.setMainKind(RequestKind::Command);
    (mainEngine.*command)();
    return awaitParameterReply();
}

// Both load buttons send the same word; the status word shows the result.
int MonitorCore::requestLoadSwitch()
{
    linkStats_.setMainKind(RequestKind::Command);
    mainEngine.writeControlWord(LoadSwitchWord);
    return awaitParameterReply();
}

// Sets the load as asked: on is the load buttons' very word, off the same
// word with the load-off bit set (the buttons' word only ever switches on).
int MonitorCore::requestLoadState(bool on)
{
    linkStats_.setMainKind(RequestKind::Command);
    mainEngine.writeControlWord(on ? LoadSwitchWord : LoadOffWord);
    return awaitParameterReply();
}
