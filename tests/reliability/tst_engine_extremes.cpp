// Engine writes take any int: the low 16 bits of what they pack go on the
// wire, and no argument, however large, overflows on the way (the sanitizer
// build turns such an overflow into a failure here). Hostile answers, fed to
// the engine directly, are refused or decoded within their frame.
#include <QtTest>

#include <climits>
#include <functional>

#include "com_protocol_solar.h"
#include "define_responder.h"

using Write = std::function<void(com_protocol_solar &)>;
Q_DECLARE_METATYPE(Write)
// Hostile answers to the pending request: each builds its frames from it.
using Answers = std::function<QList<QByteArray>(const QByteArray &request)>;
Q_DECLARE_METATYPE(Answers)

namespace {

QByteArray withCrc(QByteArray frame)
{
    const quint16 crc = modbusCrc16(reinterpret_cast<const quint8 *>(frame.constData()), unsigned(frame.size()));
    frame.append(char(crc >> 8));
    frame.append(char(crc & 0xFF));
    return frame;
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

// A whole well-formed TCP answer of 12 registers with the MBAP fields given.
QByteArray tcpAnswer(const QByteArray &request, int protocolId, int length, int unit)
{
    QByteArray a = request.left(2) + bytes({protocolId >> 8, protocolId & 0xFF, length >> 8, length & 0xFF, unit, 0x03, 24});
    return a + QByteArray(24, '\x11');
}

QList<QByteArray> everyCode(const std::function<QByteArray(int)> &make)
{
    QList<QByteArray> out;
    for (int code = 0; code < 256; ++code)
        out << make(code);
    return out;
}

} // namespace

class tst_engine_extremes : public QObject
{
    Q_OBJECT

private slots:
    void packedWritesKeepTheLowBits_data();
    void packedWritesKeepTheLowBits();
    void hostileModbusAnswersAreRefused_data();
    void hostileModbusAnswersAreRefused();
    void defineAnswersWithEveryCommandCode();
};

void tst_engine_extremes::packedWritesKeepTheLowBits_data()
{
    QTest::addColumn<Write>("write");
    QTest::addColumn<int>("start");
    QTest::addColumn<QVector<int>>("words");   // register values on the wire

    QTest::newRow("load timer, largest first half")
        << Write([](com_protocol_solar &e) { e.writeLoadTimer1(INT_MAX, 5); }) << 42 << QVector<int>{0xFF05};
    QTest::newRow("load timer, smallest first half")
        << Write([](com_protocol_solar &e) { e.writeLoadTimer2(INT_MIN, 7); }) << 43 << QVector<int>{0x0007};
    QTest::newRow("load timer, both halves at the ends")
        << Write([](com_protocol_solar &e) { e.writeLoadTimer3(INT_MIN, INT_MAX); }) << 44 << QVector<int>{0xFFFF};
    QTest::newRow("load timer, negative halves")
        << Write([](com_protocol_solar &e) { e.writeLoadTimer4(-1, -1); }) << 45 << QVector<int>{0xFEFF};
    QTest::newRow("clock, every field at an end")
        << Write([](com_protocol_solar &e) { e.writeClock(INT_MAX, INT_MIN, INT_MIN, INT_MAX, INT_MAX, INT_MAX); })
        << 64 << QVector<int>{47 * 256, 0xFFFF, 0xFEFF};
    QTest::newRow("clock, an ordinary date")
        << Write([](com_protocol_solar &e) { e.writeClock(2024, 5, 17, 9, 30, 0); }) << 64
        << QVector<int>{24 * 256 + 5, 17 * 256 + 9, 30 * 256};
}

void tst_engine_extremes::packedWritesKeepTheLowBits()
{
    QFETCH(Write, write);
    QFETCH(int, start);
    QFETCH(QVector<int>, words);

    com_protocol_solar engine;
    engine.setProtocol(ProtocolModbusRtu);
    int sent = 0;
    connect(&engine, &com_protocol_solar::beginSentData, [&] { ++sent; });
    write(engine);
    QCOMPARE(sent, 1);

    // address, 0x10, start, count, byte count, values, CRC
    const quint8 *f = engine.txFrame;
    QCOMPARE(f[1], quint8(0x10));
    QCOMPARE(f[2] * 256 + f[3], start);
    QCOMPARE(f[4] * 256 + f[5], words.size());
    QCOMPARE(engine.txLength, 9 + 2 * words.size());
    for (int i = 0; i < words.size(); ++i)
        QCOMPARE(f[7 + 2 * i] * 256 + f[8 + 2 * i], words.at(i));
}

void tst_engine_extremes::hostileModbusAnswersAreRefused_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<Answers>("answers");
    const int rtu = ProtocolModbusRtu, tcp = ProtocolModbusTcp;
    const QByteArray twelve(24, '\x11');

    QTest::newRow("RTU byte count 0, valid CRC") << rtu << Answers([](const QByteArray &) {
        return QList<QByteArray>{withCrc(bytes({1, 3, 0}))};
    });
    QTest::newRow("RTU byte count 255, valid CRC") << rtu << Answers([](const QByteArray &) {
        return QList<QByteArray>{withCrc(bytes({1, 3, 255}) + QByteArray(255, '\x22'))};
    });
    QTest::newRow("RTU unit id 0 and 255") << rtu << Answers([twelve](const QByteArray &) {
        return QList<QByteArray>{withCrc(bytes({0, 3, 24}) + twelve), withCrc(bytes({255, 3, 24}) + twelve)};
    });
    QTest::newRow("RTU answer to another function") << rtu << Answers([twelve](const QByteArray &) {
        return QList<QByteArray>{withCrc(bytes({1, 4, 24}) + twelve), withCrc(bytes({1, 0x10, 0, 1, 0, 12}))};
    });
    QTest::newRow("RTU exception codes 0..255") << rtu << Answers([](const QByteArray &) {
        return everyCode([](int code) { return withCrc(bytes({1, 0x83, code})); });
    });
    QTest::newRow("TCP MBAP length 0 and 65535") << tcp << Answers([](const QByteArray &q) {
        return QList<QByteArray>{tcpAnswer(q, 0, 0, 1), tcpAnswer(q, 0, 65535, 1)};
    });
    QTest::newRow("TCP protocol id not 0") << tcp << Answers([](const QByteArray &q) {
        return QList<QByteArray>{tcpAnswer(q, 1, 27, 1), tcpAnswer(q, 0xFFFF, 27, 1)};
    });
    QTest::newRow("TCP transaction id of an earlier request") << tcp << Answers([](const QByteArray &q) {
        QByteArray earlier = tcpAnswer(q, 0, 27, 1);
        earlier[1] = char(quint8(q.at(1)) - 1);
        return QList<QByteArray>{earlier};
    });
    QTest::newRow("TCP unit id 0 and 255") << tcp << Answers([](const QByteArray &q) {
        return QList<QByteArray>{tcpAnswer(q, 0, 27, 0), tcpAnswer(q, 0, 27, 255)};
    });
    QTest::newRow("TCP answer to another function") << tcp << Answers([twelve](const QByteArray &q) {
        return QList<QByteArray>{q.left(4) + bytes({0, 27, 1, 4, 24}) + twelve};
    });
    QTest::newRow("TCP exception codes 0..255") << tcp << Answers([](const QByteArray &q) {
        return everyCode([q](int code) { return q.left(4) + bytes({0, 3, 1, 0x83, code}); });
    });
}

// Each answer fails the pending read of registers 1..12 at once (no re-send
// left), decodes nothing and leaves the engine idle for the next request.
void tst_engine_extremes::hostileModbusAnswersAreRefused()
{
    QFETCH(int, protocol);
    QFETCH(Answers, answers);

    com_protocol_solar engine;
    engine.setProtocol(protocol);
    engine.setControllerType(ControllerMppt);
    engine.setMaxRetries(0);
    int successes = 0, failures = 0;
    connect(&engine, &com_protocol_solar::receiveSuccesSignal, [&] { ++successes; });
    connect(&engine, &com_protocol_solar::receiveFailSignal, [&] { ++failures; });

    int sent = 0;
    const auto read = [&] {
        protocol == ProtocolModbusTcp ? engine.modbusTcpReadRegisters(1, 12) : engine.modbusRtuReadRegisters(1, 12);
        ++sent;
        return QByteArray(reinterpret_cast<const char *>(engine.txFrame), engine.txLength);
    };
    QByteArray request = read();
    const int count = answers(request).size();
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            request = read();
        const QByteArray answer = answers(request).at(i);   // made for this very request
        memset(engine.rxFrame, 0, sizeof engine.rxFrame);
        memcpy(engine.rxFrame, answer.constData(), size_t(answer.size()));
        engine.rxLength = answer.size();
        engine.processResponse();
        QCOMPARE(engine.txLength, 0);
        QVERIFY(!engine.responseTimer.isActive());
    }
    QCOMPARE(successes, 0);
    QCOMPARE(failures, sent);
    QCOMPARE(engine.deviceData.pvVoltage, 0u);
    QCOMPARE(engine.registerImage[1], 0u);
}

// A device model read meets answers with every command code, their twelve
// data bytes and everything behind them in the receive buffer without a zero
// byte. Each is decoded as its own command or ignored; no text runs past the
// frame, and only the model answer ends the request.
void tst_engine_extremes::defineAnswersWithEveryCommandCode()
{
    com_protocol_solar engine;
    engine.setProtocol(ProtocolDefine);
    engine.setControllerType(ControllerPwm);
    engine.setMaxRetries(0);
    int successes = 0, failures = 0;
    connect(&engine, &com_protocol_solar::receiveSuccesSignal, [&] { ++successes; });
    connect(&engine, &com_protocol_solar::receiveFailSignal, [&] { ++failures; });
    const auto answer = [&engine](int code) {
        QByteArray frame = bytes({0x8E, 1, code}) + QByteArray(12, 'M') + QByteArray(1, '\0');
        DefineResponder::seal(frame);
        memset(engine.rxFrame, 'M', sizeof engine.rxFrame);
        memcpy(engine.rxFrame, frame.constData(), size_t(frame.size()));
        engine.rxLength = frame.size();
        engine.processResponse();
    };
    for (int code = 0; code < 256; ++code) {
        engine.defineReadDeviceModel();
        answer(code);
        if (code != 0x78) {
            QCOMPARE(successes + failures, code);
            QVERIFY(engine.txLength != 0);   // still waiting for its own answer
            answer(0x78);
        }
        QCOMPARE(successes, code + 1);
        QCOMPARE(engine.txLength, 0);
        const DeviceData &d = engine.deviceData;
        for (const QString *text : {&d.deviceModel, &d.serialNumber, &d.factoryInfo, &d.versionInfo,
                                    &d.chargeStageText, &d.loadModeText, &d.batteryTypeText})
            QVERIFY2(text->size() <= 12, qPrintable(QStringLiteral("code %1: %2").arg(code).arg(*text)));
    }
    QCOMPARE(failures, 0);
    QCOMPARE(engine.deviceData.deviceModel, QStringLiteral("MMMMMMMMMMMM"));
}

QTEST_GUILESS_MAIN(tst_engine_extremes)
#include "tst_engine_extremes.moc"
