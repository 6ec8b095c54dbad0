#ifndef ENGINE_PROBE_H
#define ENGINE_PROBE_H

// An engine with no link: every frame it sends is recorded, its outcomes are
// counted, and responses are handed in the way the link does (zeroed buffer,
// bytes at the start, rxLength, processResponse).

#include <QByteArray>
#include <QList>
#include <QObject>

#include <cstring>

#include "checksums.h"
#include "com_protocol_solar.h"

// "8e 01 22 ..." with spaces allowed.
inline QByteArray hexBytes(const char *hex)
{
    return QByteArray::fromHex(QByteArray(hex).replace(' ', ""));
}

inline const quint8 *bytesOf(const QByteArray &bytes)
{
    return reinterpret_cast<const quint8 *>(bytes.constData());
}

// Bytes 0..14 of a Define frame, completed with its CRC-8.
inline QByteArray defineFrame(const char *hex)
{
    QByteArray frame = hexBytes(hex);
    frame.append(char(crc8(bytesOf(frame), quint8(frame.size()))));
    return frame;
}

// A Define frame to address 1 from its code and the twelve payload bytes 3..14.
inline QByteArray defineReply(quint8 code, const char *payloadHex)
{
    QByteArray frame = QByteArray::fromHex("8e01") + char(code) + hexBytes(payloadHex);
    frame.append(char(crc8(bytesOf(frame), quint8(frame.size()))));
    return frame;
}

// A Modbus RTU frame completed with its CRC, low byte first on the wire.
inline QByteArray rtuFrame(const QByteArray &body)
{
    const quint16 crc = modbusCrc16(bytesOf(body), unsigned(body.size()));
    return body + char(crc >> 8) + char(crc & 0xFF);
}

inline QByteArray rtuFrame(const char *hex)
{
    return rtuFrame(hexBytes(hex));
}

// The RTU answer of address 1 to a read, carrying the given register values.
inline QByteArray rtuReadReply(const QList<int> &values)
{
    QByteArray body = QByteArray::fromHex("0103") + char(2 * values.size());
    for (int v : values)
        body += char(v >> 8 & 0xFF) + QByteArray(1, char(v & 0xFF));
    return rtuFrame(body);
}

struct EngineProbe
{
    com_protocol_solar engine;
    QList<QByteArray> sent;
    int successes = 0;
    int failures = 0;

    EngineProbe(int protocol = ProtocolDefine, int controllerType = ControllerPwm)
    {
        engine.setProtocol(protocol);
        engine.setControllerType(controllerType);
        QObject::connect(&engine, &com_protocol_solar::beginSentData, [this] {
            sent.append(QByteArray(reinterpret_cast<const char *>(engine.txFrame), engine.txLength));
        });
        QObject::connect(&engine, &com_protocol_solar::receiveSuccesSignal, [this] { ++successes; });
        QObject::connect(&engine, &com_protocol_solar::receiveFailSignal, [this] { ++failures; });
    }

    void reset()
    {
        sent.clear();
        successes = failures = 0;
    }

    // The link's hand-over of a response.
    void respond(const QByteArray &bytes)
    {
        std::memset(engine.rxFrame, 0, 1024);
        std::memcpy(engine.rxFrame, bytes.constData(), size_t(bytes.size()));
        engine.rxLength = bytes.size();
        engine.processResponse();
    }
};

#endif
