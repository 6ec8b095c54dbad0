// processResponse under every protocol and controller type, with any pending
// request and any response bytes and length (rxLength may be negative or
// larger than the buffer). Besides the sanitizers, the engine's own promises
// are checked: one outcome per request, idle after an outcome, a refused
// operation leaves the pending request alone.
#include <QCoreApplication>
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "checksums.h"
#include "com_protocol_solar.h"
#include "fuzz_support.h"

namespace {

using Engine = com_protocol_solar;
// The primitives of one protocol (the Define frame builders, the RTU and TCP
// register requests) are only called by the windows under that protocol;
// everything else dispatches by protocol itself (Any).
enum { Any = -1 };
struct Op
{
    int protocol;
    std::function<void(Engine &, FuzzedDataProvider &)> run;
};

int anyInt(FuzzedDataProvider &in)
{
    return in.ConsumeIntegral<int>();
}

std::vector<quint32> words(FuzzedDataProvider &in, int count)
{
    std::vector<quint32> v(size_t(qBound(0, count, 200)) + 1);
    for (auto &w : v)
        w = in.ConsumeIntegral<quint32>();
    return v;
}

#define DEFINE(f) {ProtocolDefine, [](Engine &e, FuzzedDataProvider &) { e.f(); }}
#define NOARG(f) {Any, [](Engine &e, FuzzedDataProvider &) { e.f(); }}
#define ONEARG(f) {Any, [](Engine &e, FuzzedDataProvider &in) { e.f(anyInt(in)); }}
#define TWOARGS(f) {Any, [](Engine &e, FuzzedDataProvider &in) { const int a = anyInt(in); e.f(a, anyInt(in)); }}

const std::vector<Op> &requests()
{
    static const std::vector<Op> ops = {
        // Modbus requests with any start and count, also counts a request cannot carry.
        {ProtocolModbusRtu, [](Engine &e, FuzzedDataProvider &in) {
             const auto start = in.ConsumeIntegral<quint16>();
             e.modbusRtuReadRegisters(start, in.ConsumeIntegralInRange(-2, 130));
         }},
        {ProtocolModbusTcp, [](Engine &e, FuzzedDataProvider &in) {
             const auto start = in.ConsumeIntegral<quint16>();
             e.modbusTcpReadRegisters(start, in.ConsumeIntegralInRange(-2, 130));
         }},
        {ProtocolModbusRtu, [](Engine &e, FuzzedDataProvider &in) {
             const auto start = in.ConsumeIntegral<quint16>();
             const int count = in.ConsumeIntegralInRange(-2, 130);
             const auto v = words(in, count);
             e.modbusRtuWriteRegisters(start, v.data(), count);
         }},
        {ProtocolModbusTcp, [](Engine &e, FuzzedDataProvider &in) {
             const auto start = in.ConsumeIntegral<quint16>();
             const int count = in.ConsumeIntegralInRange(-2, 130);
             const auto v = words(in, count);
             e.modbusTcpWriteRegisters(start, v.data(), count);
         }},
        ONEARG(writeFloatVoltage), ONEARG(writeAbsorbVoltage), ONEARG(writeEqualizeVoltage),
        ONEARG(writeAbsorbTime), ONEARG(writeEqualizeTime), ONEARG(writeTemperatureCompensation),
        ONEARG(writeLowVoltageProtect), ONEARG(writeLowVoltageRecover), ONEARG(writeRegister37),
        ONEARG(writeRegister38), ONEARG(writeLoadMode), ONEARG(writeNightTime1),
        ONEARG(writeNightTime2), TWOARGS(writeLoadTimer1), TWOARGS(writeLoadTimer2),
        TWOARGS(writeLoadTimer3), TWOARGS(writeLoadTimer4), ONEARG(writeLightOnVoltage),
        ONEARG(writeLightOffVoltage), ONEARG(writeRegister48), ONEARG(writeRegister49),
        ONEARG(writeBatteryType), ONEARG(writeSystemVoltage), ONEARG(writeOverVoltageProtect),
        ONEARG(writeOverVoltageRecover), ONEARG(writeControlWord), ONEARG(writeRegister55),
        {Any, [](Engine &e, FuzzedDataProvider &in) {
             int v[6];
             for (int &x : v)
                 x = anyInt(in);
             e.writeClock(v[0], v[1], v[2], v[3], v[4], v[5]);
         }},
        ONEARG(writeRegister67), ONEARG(writeRegister68), ONEARG(writeRegister69),
        ONEARG(writeRegister114), ONEARG(writeLithiumCapacity), ONEARG(writeLithiumChargeVoltage),
        ONEARG(writeBaudRate), ONEARG(clearAccumulationWord),
        NOARG(clearGeneratedChargeTotal), NOARG(clearConsumedChargeTotal),
        NOARG(clearGeneratedEnergyTotal), NOARG(clearConsumedEnergyTotal), NOARG(resetController),
        NOARG(readSerialNumber), NOARG(readFactoryInfo), NOARG(readEncryptionState),
        DEFINE(defineReadRunData), DEFINE(defineReadTotalsAndLimits), DEFINE(defineReadChargeStage),
        DEFINE(defineReadBatterySettings), DEFINE(defineReadLoadSettings), DEFINE(defineReadGroup07),
        DEFINE(defineReadGroup08), DEFINE(defineReadEnergyTotals),
        DEFINE(defineReadLithiumAndNightTimes), DEFINE(defineReadLithiumCapacity),
        DEFINE(defineReadFactoryInfo), DEFINE(defineReadDeviceModel),
        DEFINE(defineReadVersionAndRatings), DEFINE(defineReadCalibrationState),
        DEFINE(defineReadEncryptionState), DEFINE(defineWriteControlWord),
        DEFINE(defineWriteLowVoltageProtect), DEFINE(defineWriteLowVoltageRecover),
        DEFINE(defineWriteFloatVoltage), DEFINE(defineWriteAbsorbVoltage),
        DEFINE(defineWriteEqualizeVoltage), DEFINE(defineWriteLithiumChargeVoltage),
        DEFINE(defineWriteAbsorbSettings), DEFINE(defineWriteFloatVoltageMppt),
        DEFINE(defineWriteEqualizeSettings), DEFINE(defineWriteLowVoltageProtectMppt),
        DEFINE(defineWriteLowVoltageRecoverMppt), DEFINE(defineWriteBatterySettings),
        DEFINE(defineWriteTemperatureCompensation), DEFINE(defineWriteLoadSettings),
        DEFINE(defineWriteBaudRate), DEFINE(defineClearGeneratedCharge),
        DEFINE(defineClearConsumedCharge), DEFINE(defineResetController),
        DEFINE(defineWriteSystemVoltage), DEFINE(defineSendClockWords), DEFINE(defineWriteClock),
    };
    return ops;
}

struct Outcomes
{
    int sent = 0;
    int succeeded = 0;
    int failed = 0;
};

// Makes the checksum of the response right, so the fuzzer reaches the
// decoders instead of stopping at the checksum almost every time.
void fixChecksum(Engine &e, int length)
{
    quint8 *r = e.rxFrame;
    switch (e.protocol()) {
    case ProtocolDefine:
        r[15] = crc8(r, 15);
        break;
    case ProtocolModbusRtu: {
        const int end = r[1] == 0x03 ? r[2] + 3
                        : r[1] == 0x10 ? 6
                                       : int(qBound<qint64>(0, qint64(length) - 2, Engine::FrameBufferSize - 2));
        const quint16 crc = modbusCrc16(r, unsigned(end));
        r[end] = quint8(crc >> 8);
        r[end + 1] = quint8(crc);
        break;
    }
    default:
        break;
    }
}

// A response that echoes the request where the validator compares them, so
// the rest of the bytes decide.
void echoRequest(Engine &e)
{
    quint8 *r = e.rxFrame;
    const quint8 *q = e.txFrame;
    switch (e.protocol()) {
    case ProtocolDefine:
        r[0] = e.frameHeader;
        r[1] = e.slaveAddress();
        r[2] = q[2];
        break;
    case ProtocolModbusRtu:
        r[0] = q[0];
        r[1] = q[1];
        break;
    case ProtocolModbusTcp:
        std::memcpy(r, q, 4);
        r[6] = q[6];
        r[7] = q[7];
        break;
    }
}

void offerResponse(Engine &e, FuzzedDataProvider &in, const Outcomes &seen)
{
    const int mode = in.ConsumeIntegralInRange(0, 3);
    std::memset(e.rxFrame, in.ConsumeIntegral<quint8>(), sizeof e.rxFrame);
    const std::vector<quint8> bytes = in.ConsumeBytes<quint8>(in.ConsumeIntegralInRange(0, 300));
    if (!bytes.empty())
        std::memcpy(e.rxFrame, bytes.data(), bytes.size());
    int length = int(bytes.size());
    if (mode == 1)
        length = in.ConsumeIntegral<int>();   // any length, also outside the buffer
    else if (mode >= 2)
        length = e.expectedResponseLength();
    if (mode == 3)
        echoRequest(e);
    if (in.ConsumeBool())
        fixChecksum(e, length);
    e.rxLength = length;

    // The link asks this of whatever it has gathered so far.
    const int gathered = int(qBound<qint64>(0, length, Engine::FrameBufferSize));
    const int exception = e.exceptionResponseLength(e.rxFrame, gathered);
    FUZZ_CHECK(exception == 0 || (exception <= gathered && exception < e.expectedResponseLength()),
               "an exception answer longer than what was gathered or than the full answer");

    const bool pending = e.txLength != 0;
    const int retriesBefore = e.retryCount;
    const Outcomes before = seen;
    e.processResponse();

    const int outcomes = (seen.succeeded - before.succeeded) + (seen.failed - before.failed);
    FUZZ_CHECK(outcomes <= 1, "two outcomes for one response");
    FUZZ_CHECK(pending || outcomes == 0, "an outcome without a pending request");
    if (outcomes == 1) {
        FUZZ_CHECK(e.txLength == 0 && e.retryCount == 0, "not idle after an outcome");
        FUZZ_CHECK(!e.responseTimer.isActive(), "timer still running after an outcome");
    } else if (e.txLength != 0) {
        FUZZ_CHECK(e.responseTimer.isActive(), "pending request without a running timer");
        FUZZ_CHECK(e.retryCount <= qMax(0, e.maxRetries()), "more re-sends than allowed");
        FUZZ_CHECK(seen.sent - before.sent == e.retryCount - retriesBefore,
                   "re-send count and frames sent disagree");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    initFuzzApplication<QCoreApplication>(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    Engine e;
    Outcomes seen;
    QObject::connect(&e, &Engine::beginSentData, [&] { ++seen.sent; });
    QObject::connect(&e, &Engine::receiveSuccesSignal, [&] { ++seen.succeeded; });
    QObject::connect(&e, &Engine::receiveFailSignal, [&] { ++seen.failed; });

    e.setProtocol(in.ConsumeIntegralInRange(0, 2));
    e.setControllerType(in.ConsumeIntegralInRange(0, 1));
    e.setSlaveAddress(in.ConsumeIntegral<quint8>());
    e.setMaxRetries(in.ConsumeIntegralInRange(-1, 3));
    e.transactionId = in.ConsumeIntegral<quint16>();

    const auto &ops = requests();
    const int rounds = in.ConsumeIntegralInRange(1, 4);
    for (int round = 0; round < rounds && in.remaining_bytes() > 0; ++round) {
        const int pendingBefore = e.txLength;
        quint8 frameBefore[Engine::FrameBufferSize];
        std::memcpy(frameBefore, e.txFrame, sizeof frameBefore);
        const Outcomes before = seen;

        const Op &op = ops[in.ConsumeIntegralInRange<size_t>(0, ops.size() - 1)];
        if (op.protocol != Any && op.protocol != e.protocol())
            continue;
        op.run(e, in);

        const bool sent = seen.sent > before.sent;
        const bool refused = seen.failed > before.failed;
        FUZZ_CHECK(sent != refused, "a request must be sent or refused, not both or neither");
        if (sent) {
            FUZZ_CHECK(e.txLength > 0 && e.txLength <= Engine::FrameBufferSize, "bad txLength");
            FUZZ_CHECK(e.expectedResponseLength() > 0, "nothing expected for a sent request");
        } else {
            FUZZ_CHECK(e.txLength == pendingBefore
                           && std::memcmp(frameBefore, e.txFrame, sizeof frameBefore) == 0,
                       "a refused operation touched the pending request");
        }
        const int responses = in.ConsumeIntegralInRange(1, 4);
        for (int i = 0; i < responses && in.remaining_bytes() > 0; ++i)
            offerResponse(e, in, seen);
    }
    return 0;
}
