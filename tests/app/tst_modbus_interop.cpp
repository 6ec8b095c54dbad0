// Modbus RTU (over a pty) and Modbus TCP through the window's link and
// mainEngine, against libmodbus acting as the controller: an independent
// implementation of both framings, checked register by register.
#include <QElapsedTimer>
#include <QtTest>

#include <memory>

#include "modbus_device.h"
#include "pty_pair.h"
#include "tcp_device.h"
#include "window_fixture.h"

namespace {

// Distinct values with both bytes in use, some with the top bit set.
quint16 pattern(int reg)
{
    return quint16(0x1357 * (reg + 1) ^ 0x8421);
}

struct Block
{
    int start;
    int count;
};

} // namespace

class tst_modbus_interop : public QObject
{
    Q_OBJECT

    std::unique_ptr<PtyPair> pty;
    std::unique_ptr<ModbusDevice> device;
    std::unique_ptr<WindowFixture> f;
    bool rtu = false;

    // Sends one request and waits for its outcome: 6 answered, 7 failed.
    template <class Request>
    int exchange(Request request)
    {
        MainWindow &w = f->w();
        w.core.pollReplyState = 5;
        request(w.core.mainEngine);
        if (!QTest::qWaitFor([&w] { return w.core.pollReplyState != 5; }, 5000))
            return 0;
        return w.core.pollReplyState;
    }

    void read(int start, int count)
    {
        exchange([&](com_protocol_solar &e) {
            rtu ? e.modbusRtuReadRegisters(quint16(start), count)
                : e.modbusTcpReadRegisters(quint16(start), count);
        });
    }

    int write(int start, int count)
    {
        return exchange([&](com_protocol_solar &e) {
            rtu ? e.modbusRtuWriteRegisters(quint16(start), &e.registerImage[start], count)
                : e.modbusTcpWriteRegisters(quint16(start), &e.registerImage[start], count);
        });
    }

    static void transports_data()
    {
        QTest::addColumn<int>("unused");
        QTest::newRow("rtu") << 0;
        QTest::newRow("tcp") << 0;
    }

private slots:
    void init()
    {
        rtu = QByteArray(QTest::currentDataTag()) == "rtu";
        if (rtu) {
            pty = std::make_unique<PtyPair>();
            QVERIFY(pty->isOpen());
            device.reset(ModbusDevice::rtu(pty->masterFd(), 1));
        } else {
            device.reset(ModbusDevice::tcp(1));
        }
        QVERIFY(device->isValid());
        for (int r = 0; r < ModbusDevice::RegisterCount; ++r)
            device->setRegister(r, pattern(r));
        device->start();

        f = std::make_unique<WindowFixture>();
        f->holdRefreshCycle();
        if (rtu) {
            QVERIFY(f->connectSerial(*pty, QStringLiteral("Modbus"), 1, 115200));
        } else {
            QVERIFY(f->dir.writeConfig(tcpConfigText(device->port(), QStringLiteral("TCP Modbus"))));
            pressConnect(f->w());
            QVERIFY(waitForLinkUp(f->w()));
        }
    }

    void cleanup()
    {
        f.reset();
        device.reset();
        pty.reset();
    }

    void readsFillTheRegisterImage_data() { transports_data(); }
    void readsFillTheRegisterImage()
    {
        MainWindow &w = f->w();
        const Block blocks[] = {{72, 12}, {84, 12}, {96, 18}, {128, 8}};
        for (const Block &b : blocks) {
            read(b.start, b.count);
            QCOMPARE(w.core.pollReplyState, 6);
            for (int r = b.start; r < b.start + b.count; ++r)
                QCOMPARE(w.core.mainEngine.registerImage[r], quint32(pattern(r)));
        }
        QCOMPARE(device->repliesSent(), 4);
    }

    void readsFillTheLiveValues_data() { transports_data(); }
    void readsFillTheLiveValues()
    {
        MainWindow &w = f->w();
        device->setRegisters(1, {1040, 500, 520, 0, 1000, quint16(-25), 400, 100, 2, 80, 0, 31});
        read(1, 12);
        QCOMPARE(w.core.pollReplyState, 6);
        const DeviceData &d = w.core.mainEngine.deviceData;
        QCOMPARE(d.pvVoltage, 1040u);
        QCOMPARE(d.pvCurrent, 500u);
        QCOMPARE(d.pvPower, 520u);
        QCOMPARE(d.batteryVoltage, 1000u);
        QCOMPARE(d.batteryTemperature, -25);
        QCOMPARE(d.batteryCurrent, 400);
        QCOMPARE(d.loadCurrent, 100u);
        QCOMPARE(d.systemVoltage, 24u);
        QCOMPARE(d.batteryCapacity, 80u);
        QCOMPARE(d.internalTemperature, 31);
    }

    void writesReachTheDevice_data() { transports_data(); }
    void writesReachTheDevice()
    {
        MainWindow &w = f->w();
        const quint32 values[] = {1380, 1440, 1460, 120, 0xFFFF, 0x12345, 0, 0x8000};
        for (int i = 0; i < 8; ++i)
            w.core.mainEngine.registerImage[29 + i] = values[i];
        QCOMPARE(write(29, 8), 6);
        for (int i = 0; i < 8; ++i)
            QCOMPARE(device->registerValue(29 + i), quint16(values[i] & 0xFFFF));
        QCOMPARE(device->registerValue(28), pattern(28));   // neighbours untouched
        QCOMPARE(device->registerValue(37), pattern(37));

        // A single register, then read back through the engine.
        w.core.mainEngine.registerImage[72] = 0x4142;
        QCOMPARE(write(72, 1), 6);
        QCOMPARE(device->registerValue(72), quint16(0x4142));
        read(72, 1);
        QCOMPARE(w.core.pollReplyState, 6);
        QCOMPARE(w.core.mainEngine.registerImage[72], 0x4142u);
    }

    // libmodbus answers an exception for registers it does not hold. The
    // short exception frame is handed over as soon as it is complete, so the
    // engine re-sends at once and fails long before its response timeout.
    void exceptionResponseFails_data() { transports_data(); }
    void exceptionResponseFails()
    {
        MainWindow &w = f->w();
        w.core.mainEngine.setResponseTimeout(3000);
        w.core.mainEngine.setMaxRetries(1);
        QElapsedTimer clock;
        clock.start();
        read(140, 10);   // 140..149, beyond the device's 144 registers
        QCOMPARE(w.core.pollReplyState, 7);
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(device->repliesSent(), 2);   // first send and one re-send, each refused
        w.core.mainEngine.setResponseTimeout(200);
        read(1, 2);                           // and the link still works
        QCOMPARE(w.core.pollReplyState, 6);
    }
};

QTEST_MAIN(tst_modbus_interop)
#include "tst_modbus_interop.moc"
