// The receive path (the core's dataReceiveSlot and the window slots it leads to) on a
// real MainWindow and a real loopback TCP link: any bytes, cut into any
// chunks, against any pending request of either engine. Besides the
// sanitizers: the engine is always handed the newest expected-length bytes
// (or a Modbus exception answer) with the rest of the first 1024 bytes of
// rxFrame zeroed, and the window's buffer stays bounded whatever arrives.
#include <QApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <fuzzer/FuzzedDataProvider.h>

#include <sys/socket.h>

#include <cstring>

#include "fuzz_support.h"
#include "mainwindow.h"
#include "monitor_core_probe.h"

namespace {

struct Rig
{
    MainWindow *window = nullptr;
    QTcpSocket *device = nullptr;   // the controller's end
};
Rig rig;

// What this input has written to the window so far, and the engine whose
// request the bytes of the current chunk were read for.
QByteArray stream;
com_protocol_solar *chunkEngine = nullptr;
int chunkExpected = 0;

// Whether rxFrame holds the stream's newest length bytes, zeros behind them.
bool handedNewest(const com_protocol_solar *engine, int length)
{
    if (length <= 0 || stream.size() < length
        || std::memcmp(engine->rxFrame, stream.constData() + stream.size() - length, size_t(length)) != 0)
        return false;
    for (int i = length; i < 1024; ++i) {
        if (engine->rxFrame[i] != 0)
            return false;
    }
    return true;
}

// Runs when the engine reports the outcome of a response the window handed
// it (or re-sends because of it): the frame is the stream's newest bytes, as
// many as the request expects, or a Modbus exception answer.
void checkHandedFrame(com_protocol_solar *engine)
{
    if (engine != chunkEngine || chunkExpected <= 0)
        return;
    const int exceptionLength = engine->protocol() == ProtocolModbusRtu   ? 5
                                : engine->protocol() == ProtocolModbusTcp ? 9
                                                                          : 0;
    FUZZ_CHECK(handedNewest(engine, chunkExpected) || handedNewest(engine, exceptionLength),
               "the engine was not handed the newest bytes");
    chunkExpected = 0;   // once per chunk: a re-send inside the same call follows
}

void watch(com_protocol_solar &engine)
{
    auto check = [e = &engine] { checkHandedFrame(e); };
    QObject::connect(&engine, &com_protocol_solar::beginSentData, check);
    QObject::connect(&engine, &com_protocol_solar::receiveSuccesSignal, check);
    QObject::connect(&engine, &com_protocol_solar::receiveFailSignal, check);
    // The harness runs no event loop; timers never fire, so only responses decide.
    engine.setResponseTimeout(60000);
}

void issue(com_protocol_solar &engine, FuzzedDataProvider &in)
{
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
        engine.defineReadRunData();
        break;
    case 1: {
        const auto start = in.ConsumeIntegral<quint16>();
        const int count = in.ConsumeIntegralInRange(1, 125);
        engine.protocol() == ProtocolModbusTcp ? engine.modbusTcpReadRegisters(start, count)
                                               : engine.modbusRtuReadRegisters(start, count);
        break;
    }
    case 2: {
        const quint32 values[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        const auto start = in.ConsumeIntegral<quint16>();
        const int count = in.ConsumeIntegralInRange(1, 8);
        engine.protocol() == ProtocolModbusTcp ? engine.modbusTcpWriteRegisters(start, values, count)
                                               : engine.modbusRtuWriteRegisters(start, values, count);
        break;
    }
    default:
        break;   // nothing pending: bytes must wait in the link's buffer
    }
}

// Discards what the window wrote, so its socket never backs up.
void drainDevice()
{
    rig.window->core.tcpSocket.flush();
    char sink[4096];
    while (::recv(int(rig.device->socketDescriptor()), sink, sizeof sink, MSG_DONTWAIT) > 0) {
    }
}

void deliver(const QByteArray &chunk)
{
    MainWindow &w = *rig.window;
    const int fd = int(rig.device->socketDescriptor());
    FUZZ_CHECK(::send(fd, chunk.constData(), size_t(chunk.size()), 0) == chunk.size(),
               "loopback write failed");
    stream += chunk;
    chunkEngine = w.core.activeEngine();
    chunkExpected = chunkEngine ? chunkEngine->expectedResponseLength() : 0;
    w.core.tcpSocket.waitForReadyRead(1000);   // reads and emits readyRead here
    chunkEngine = nullptr;
    FUZZ_CHECK(MonitorCoreProbe::rxBuffer(w.core).size() <= 9 + 2 * 125, "the receive buffer grows without bound");
    drainDevice();
}

void resetWindow()
{
    MainWindow &w = *rig.window;
    for (com_protocol_solar *e : {&w.core.mainEngine, &w.core.scanEngine}) {
        e->stopResponseTimer();
        e->txLength = 0;
        e->retryCount = 0;
        e->transactionId = 1;
    }
    MonitorCoreProbe::clearRxBuffer(w.core);
    w.core.paramRequestState = 0;
    w.core.pollReplyState = 5;
    w.core.tcpSocket.readAll();   // bytes left unread while no request was pending
    stream.clear();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    initFuzzApplication<QApplication>(argc, argv);
    static QTcpServer server;
    FUZZ_CHECK(server.listen(QHostAddress::LocalHost), "cannot listen on loopback");
    rig.window = new MainWindow;
    rig.window->core.refreshTimer.stop();   // the harness decides every request
    MonitorCoreProbe::setModeSetting(rig.window->core, QStringLiteral("Wifi"));
    rig.window->core.tcpSocket.connectToHost(QHostAddress::LocalHost, server.serverPort());
    FUZZ_CHECK(rig.window->core.tcpSocket.waitForConnected(5000), "loopback connect failed");
    FUZZ_CHECK(server.waitForNewConnection(5000), "loopback accept failed");
    rig.device = server.nextPendingConnection();
    rig.window->core.refreshTimer.stop();
    watch(rig.window->core.mainEngine);
    watch(rig.window->core.scanEngine);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    MainWindow &w = *rig.window;
    resetWindow();
    const int protocol = in.ConsumeIntegralInRange(0, 2);
    w.core.mainEngine.setProtocol(protocol);
    w.core.scanEngine.setProtocol(protocol);
    w.core.mainEngine.setSlaveAddress(in.ConsumeIntegralInRange(0, 3));
    w.core.scanEngine.setSlaveAddress(in.ConsumeIntegralInRange(0, 3));
    for (com_protocol_solar *e : {&w.core.mainEngine, &w.core.scanEngine})
        e->setMaxRetries(in.ConsumeIntegralInRange(0, 2));

    while (in.remaining_bytes() > 0) {
        switch (in.ConsumeIntegralInRange(0, 7)) {
        case 0:
            issue(w.core.mainEngine, in);
            break;
        case 1:
            issue(w.core.scanEngine, in);
            break;
        default: {
            const auto chunk = in.ConsumeBytes<char>(in.ConsumeIntegralInRange(1, 64));
            if (!chunk.empty())
                deliver(QByteArray(chunk.data(), int(chunk.size())));
            break;
        }
        }
        drainDevice();
    }
    return 0;
}
