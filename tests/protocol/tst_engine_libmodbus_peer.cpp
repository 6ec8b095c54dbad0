#include <QtTest>
#include <QSocketNotifier>
#include <QTcpSocket>

#include <cstring>
#include <memory>
#include <unistd.h>

#include "com_protocol_solar.h"
#include "modbus_device.h"
#include "pty_pair.h"

// The engine's Modbus RTU and TCP requests against libmodbus as the device,
// over a real socket and a pseudo-terminal. A minimal link stands in for the
// window's: it writes each frame and hands over the last expected-length bytes.
class MiniLink : public QObject
{
public:
    MiniLink(com_protocol_solar &engine) : engine_(engine)
    {
        connect(&engine, &com_protocol_solar::beginSentData, this, [this] {
            received_.clear();
            write(reinterpret_cast<const char *>(engine_.txFrame), engine_.txLength);
        });
    }

    void useSocket(QTcpSocket *socket)
    {
        write = [socket](const char *data, int n) { socket->write(data, n); };
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { take(socket->readAll()); });
    }

    void useDescriptor(int fd)
    {
        write = [fd](const char *data, int n) { QVERIFY(::write(fd, data, size_t(n)) == n); };
        notifier_.reset(new QSocketNotifier(fd, QSocketNotifier::Read));
        connect(notifier_.get(), &QSocketNotifier::activated, this, [this, fd] {
            char buffer[512];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0)
                take(QByteArray(buffer, int(n)));
        });
    }

    // Runs one request to its outcome; true on success.
    bool run(const std::function<void()> &request)
    {
        QSignalSpy ok(&engine_, &com_protocol_solar::receiveSuccesSignal);
        QSignalSpy failed(&engine_, &com_protocol_solar::receiveFailSignal);
        request();
        QElapsedTimer clock;
        clock.start();
        while (ok.isEmpty() && failed.isEmpty() && clock.elapsed() < 5000)
            QTest::qWait(2);
        return ok.count() == 1 && failed.isEmpty();
    }

    std::function<void(const char *, int)> write;

private:
    void take(const QByteArray &bytes)
    {
        received_ += bytes;
        const int n = engine_.expectedResponseLength();
        if (n == 0 || received_.size() < n)
            return;
        std::memset(engine_.rxFrame, 0, 1024);
        std::memcpy(engine_.rxFrame, received_.constData() + received_.size() - n, size_t(n));
        engine_.rxLength = n;
        engine_.processResponse();
    }

    com_protocol_solar &engine_;
    QByteArray received_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

class tst_engine_libmodbus_peer : public QObject
{
    Q_OBJECT
private slots:
    void readsAndWrites_data();
    void readsAndWrites();
};

void tst_engine_libmodbus_peer::readsAndWrites_data()
{
    QTest::addColumn<int>("protocol");
    QTest::newRow("RTU over a pseudo-terminal") << int(ProtocolModbusRtu);
    QTest::newRow("TCP over a socket") << int(ProtocolModbusTcp);
}

void tst_engine_libmodbus_peer::readsAndWrites()
{
    QFETCH(int, protocol);
    com_protocol_solar engine;
    engine.setProtocol(protocol);
    engine.setResponseTimeout(300);
    MiniLink link(engine);

    PtyPair pty;
    QTcpSocket socket;
    std::unique_ptr<ModbusDevice> device;
    if (protocol == ProtocolModbusRtu) {
        QVERIFY(pty.isOpen());
        device.reset(ModbusDevice::rtu(pty.masterFd()));
        link.useDescriptor(pty.slaveFd());
    } else {
        device.reset(ModbusDevice::tcp());
        QVERIFY(device->isValid());
        socket.connectToHost(QStringLiteral("127.0.0.1"), device->port());
        QVERIFY(socket.waitForConnected(3000));
        link.useSocket(&socket);
    }
    QVERIFY(device->isValid());
    device->setRegisters(1, {1040, 500, 520, 1, 1000, 0xFFF6, 400, 100, 2, 80, 2, 35});
    device->setRegisters(84, {'2', '1', '0', '9', '8', '7', '6', '5', '4', '3', '2', '1'});
    device->start();

    QVERIFY(link.run([&] {
        protocol == ProtocolModbusRtu ? engine.modbusRtuReadRegisters(1, 12) : engine.modbusTcpReadRegisters(1, 12);
    }));
    QCOMPARE(engine.deviceData.pvVoltage, 1040u);
    QCOMPARE(engine.deviceData.batteryTemperature, -10);
    QCOMPARE(engine.deviceData.systemVoltage, 24u);
    QCOMPARE(engine.deviceData.chargeStageText, QStringLiteral("MPPT"));
    QCOMPARE(engine.deviceData.internalTemperature, 35);

    QVERIFY(link.run([&] { engine.readSerialNumber(); }));
    QCOMPARE(engine.deviceData.serialNumber, QStringLiteral("123456789012"));

    QVERIFY(link.run([&] { engine.writeFloatVoltage(1380); }));
    QCOMPARE(device->registerValue(29), quint16(1380));
    QVERIFY(link.run([&] { engine.writeClock(2024, 5, 17, 9, 30, 15); }));
    QCOMPARE(device->registers(64, 3), (QVector<quint16>{0x1805, 0x1109, 0x1E0F}));
    QVERIFY(link.run([&] { engine.writeBaudRate(8); }));
    QCOMPARE(device->registerValue(117), quint16(11520));

    // Registers beyond the device's map: an exception answer each time, so the
    // request is sent three times and fails.
    const int before = device->repliesSent();
    QVERIFY(!link.run([&] {
        protocol == ProtocolModbusRtu ? engine.modbusRtuReadRegisters(140, 8) : engine.modbusTcpReadRegisters(140, 8);
    }));
    QTRY_COMPARE(device->repliesSent(), before + 3);
    QCOMPARE(engine.txLength, 0);
}

QTEST_GUILESS_MAIN(tst_engine_libmodbus_peer)
#include "tst_engine_libmodbus_peer.moc"
