#ifndef ENGINE_WIRE_H
#define ENGINE_WIRE_H

// The protocol engine wired to the simulator without a transport: each frame
// the engine sends goes to handleRequest(), and the answer comes back the way
// the link hands it over (the last expected-length bytes, a zeroed buffer
// behind them), from the event loop as a real answer would.

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <functional>

#include "com_protocol_solar.h"
#include "simulated_controller.h"

inline QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// A Modbus RTU frame with its CRC appended, low byte first.
inline QByteArray withCrc(const QByteArray &frame)
{
    const quint16 crc = modbusCrc16(reinterpret_cast<const quint8 *>(frame.constData()), unsigned(frame.size()));
    return frame + char(crc >> 8) + char(crc);
}

// Runs one request of the engine to its outcome; true on success.
inline bool runToOutcome(com_protocol_solar &engine, const std::function<void()> &request, int timeoutMs = 2000)
{
    QSignalSpy ok(&engine, &com_protocol_solar::receiveSuccesSignal);
    QSignalSpy failed(&engine, &com_protocol_solar::receiveFailSignal);
    request();
    QElapsedTimer clock;
    clock.start();
    while (ok.isEmpty() && failed.isEmpty() && clock.elapsed() < timeoutMs)
        QTest::qWait(2);
    return ok.count() == 1 && failed.isEmpty();
}

// Hands the answer bytes to the engine as the link does.
inline void handOver(com_protocol_solar &engine, const QByteArray &bytes)
{
    const int n = engine.expectedResponseLength();
    if (n == 0 || bytes.size() < n)
        return;   // the link would go on waiting: the engine's timer decides
    std::memset(engine.rxFrame, 0, 1024);
    std::memcpy(engine.rxFrame, bytes.constData() + bytes.size() - n, size_t(n));
    engine.rxLength = n;
    engine.processResponse();
}

class EngineWire
{
public:
    EngineWire(SimulatedController &sim, com_protocol_solar &engine) : sim_(sim), engine_(engine)
    {
        engine.setResponseTimeout(100);
        engine.setMaxRetries(0);
        QObject::connect(&engine, &com_protocol_solar::beginSentData, &engine, [this] {
            const QByteArray frame(reinterpret_cast<const char *>(engine_.txFrame), engine_.txLength);
            const QByteArray reply = sim_.handleRequest(frame);
            QTimer::singleShot(0, &engine_, [this, reply] { deliver(reply); });
        });
    }

    // Runs one request to its outcome; true on success.
    bool run(const std::function<void()> &request, int timeoutMs = 2000)
    {
        return runToOutcome(engine_, request, timeoutMs);
    }

    // A register read through whichever Modbus variant the engine speaks.
    bool read(int start, int count)
    {
        return run([&] {
            if (engine_.protocol() == ProtocolModbusTcp)
                engine_.modbusTcpReadRegisters(quint16(start), count);
            else
                engine_.modbusRtuReadRegisters(quint16(start), count);
        });
    }

private:
    void deliver(const QByteArray &reply) { handOver(engine_, reply); }

    SimulatedController &sim_;
    com_protocol_solar &engine_;
};

// The engine on a real byte stream (a TCP socket, a serial port): frames go
// out as they are built, answers gather until the expected length is there.
class IoWire
{
public:
    IoWire(com_protocol_solar &engine, QIODevice &io) : engine_(engine), io_(io)
    {
        QObject::connect(&engine, &com_protocol_solar::beginSentData, &engine, [this] {
            buffer_.clear();
            io_.write(reinterpret_cast<const char *>(engine_.txFrame), engine_.txLength);
        });
        QObject::connect(&io, &QIODevice::readyRead, &engine, [this] {
            if (engine_.txLength == 0)
                return;
            buffer_ += io_.readAll();
            handOver(engine_, buffer_);
        });
    }

    bool run(const std::function<void()> &request, int timeoutMs = 2000)
    {
        return runToOutcome(engine_, request, timeoutMs);
    }

private:
    com_protocol_solar &engine_;
    QIODevice &io_;
    QByteArray buffer_;
};

#endif
