#include <QtTest>

#include <cstdlib>
#include <cstring>
#include <functional>

#include "com_protocol_solar.h"

// A request builds its frame in place: the only heap work it may cause is Qt's
// own registration of the restarted response timer. Every allocation of this
// thread (operator new and Qt's containers both end in malloc, which this
// executable interposes) is counted while a request is issued and compared
// with a bare restart of the timer.
namespace {
thread_local bool counting = false;
thread_local long allocations = 0;
}

// AddressSanitizer brings its own malloc; the counting one cannot sit beside it.
#ifndef __SANITIZE_ADDRESS__
extern "C" {
void *__libc_malloc(std::size_t size);
void *__libc_calloc(std::size_t count, std::size_t size);
void *__libc_realloc(void *p, std::size_t size);

void *malloc(std::size_t size)
{
    if (counting)
        ++allocations;
    return __libc_malloc(size);
}

void *calloc(std::size_t count, std::size_t size)
{
    if (counting)
        ++allocations;
    return __libc_calloc(count, size);
}

void *realloc(void *p, std::size_t size)
{
    if (counting)
        ++allocations;
    return __libc_realloc(p, size);
}
}
#endif

namespace {

long allocationsOf(const std::function<void()> &call)
{
    allocations = 0;
    counting = true;
    call();
    counting = false;
    return allocations;
}

using Request = std::function<void(com_protocol_solar &)>;

// Appends the Modbus CRC to the RTU answer held in rxFrame.
void sealRtuAnswer(com_protocol_solar &engine)
{
    const quint16 crc = modbusCrc16(engine.rxFrame, unsigned(engine.rxLength));
    engine.rxFrame[engine.rxLength++] = quint8(crc >> 8);
    engine.rxFrame[engine.rxLength++] = quint8(crc);
}

} // namespace

Q_DECLARE_METATYPE(Request)

class tst_request_allocations : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void requestAllocatesNothing_data();
    void requestAllocatesNothing();
    void refusalAllocatesNothing();
    void answerAllocatesNothing_data();
    void answerAllocatesNothing();
};

void tst_request_allocations::init()
{
#ifdef __SANITIZE_ADDRESS__
    QSKIP("allocations are not counted under AddressSanitizer");
#endif
}

void tst_request_allocations::requestAllocatesNothing_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<int>("type");
    QTest::addColumn<Request>("request");
    const int D = ProtocolDefine, R = ProtocolModbusRtu, T = ProtocolModbusTcp;
    const int P = ControllerPwm, M = ControllerMppt;
    QTest::newRow("Define read") << D << P << Request([](com_protocol_solar &e) { e.defineReadVersionAndRatings(); });
    QTest::newRow("Define PWM write") << D << P << Request([](com_protocol_solar &e) { e.writeFloatVoltage(1380); });
    QTest::newRow("Define MPPT baud rate") << D << M << Request([](com_protocol_solar &e) { e.writeBaudRate(6); });
    QTest::newRow("Define MPPT load settings") << D << M << Request([](com_protocol_solar &e) { e.writeLoadMode(2); });
    QTest::newRow("Define serial number") << D << M << Request([](com_protocol_solar &e) { e.readSerialNumber(); });
    QTest::newRow("RTU read") << R << P << Request([](com_protocol_solar &e) { e.modbusRtuReadRegisters(96, 18); });
    QTest::newRow("RTU clock write") << R << P << Request([](com_protocol_solar &e) { e.writeClock(2024, 5, 17, 9, 30, 0); });
    QTest::newRow("TCP read") << T << P << Request([](com_protocol_solar &e) { e.readFactoryInfo(); });
    QTest::newRow("TCP write") << T << P << Request([](com_protocol_solar &e) { e.writeBatteryType(2); });
}

void tst_request_allocations::requestAllocatesNothing()
{
    QFETCH(int, protocol);
    QFETCH(int, type);
    QFETCH(Request, request);
    com_protocol_solar engine;
    engine.setProtocol(protocol);
    engine.setControllerType(type);
    // Companions of the MPPT load frame, as if read before.
    engine.setProtocol(ProtocolModbusRtu);
    engine.modbusRtuReadRegisters(39, 3);
    const quint8 reply[] = {0x01, 0x03, 0x06, 0x00, 0x00, 0x00, 0x78, 0x01, 0x2C};
    std::memcpy(engine.rxFrame, reply, sizeof reply);
    engine.rxLength = int(sizeof reply);
    sealRtuAnswer(engine);
    engine.processResponse();
    QCOMPARE(engine.txLength, 0);
    engine.setProtocol(protocol);

    request(engine);   // warm up: first registrations of the timer
    const long timerRestart = allocationsOf([&] { engine.startResponseTimer(); });
    const long requestCost = allocationsOf([&] { request(engine); });
    QVERIFY(engine.txLength > 0);
    QCOMPARE(requestCost, timerRestart);
}

void tst_request_allocations::refusalAllocatesNothing()
{
    com_protocol_solar engine;
    engine.reportFailure();
    QCOMPARE(allocationsOf([&] { engine.writeRegister37(1); }), 0L);
    QCOMPARE(allocationsOf([&] { engine.clearConsumedEnergyTotal(); }), 0L);
    QCOMPARE(engine.txLength, 0);
}

void tst_request_allocations::answerAllocatesNothing_data()
{
    QTest::addColumn<int>("protocol");
    QTest::newRow("RTU") << int(ProtocolModbusRtu);
    QTest::newRow("TCP") << int(ProtocolModbusTcp);
}

// Validating and decoding the answer to a poll of the live values, texts of
// the PV and charge states included, once each text has been seen.
void tst_request_allocations::answerAllocatesNothing()
{
    QFETCH(int, protocol);
    com_protocol_solar engine;
    engine.setProtocol(protocol);
    const bool tcp = protocol == ProtocolModbusTcp;
    const auto answer = [&] {
        tcp ? engine.modbusTcpReadRegisters(1, 12) : engine.modbusRtuReadRegisters(1, 12);
        quint8 *f = engine.rxFrame;
        const int at = tcp ? 6 : 0;
        if (tcp) {
            std::memcpy(f, engine.txFrame, 4);   // transaction and protocol id
            f[4] = 0;
            f[5] = 3 + 24;
        }
        f[at] = 1;
        f[at + 1] = 3;
        f[at + 2] = 24;
        for (int i = 0; i < 24; ++i)
            f[at + 3 + i] = quint8(i % 2 ? 1 : 0);   // every register 1
        engine.rxLength = at + 3 + 24;
        if (!tcp)
            sealRtuAnswer(engine);
    };
    QSignalSpy succeeded(&engine, &com_protocol_solar::receiveSuccesSignal);
    answer();
    engine.processResponse();   // first sight of each text
    answer();
    QCOMPARE(allocationsOf([&] { engine.processResponse(); }), 0L);
    QCOMPARE(succeeded.count(), 2);
    QVERIFY(!engine.deviceData.pvStateText.isEmpty());
}

QTEST_GUILESS_MAIN(tst_request_allocations)
#include "tst_request_allocations.moc"
