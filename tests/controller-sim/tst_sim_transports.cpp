// The simulator's transports: the engine over a real TCP socket and over a
// pseudo-terminal, requests cut out of a byte stream, the transport faults,
// the simulator in its own thread, and the executable with its options.
#include <QtTest>

#include <QProcess>
#include <QSerialPort>
#include <QTcpSocket>

#include "checksums.h"
#include "engine_wire.h"

namespace {

QByteArray sealed(const char *first15)
{
    const QByteArray frame = hex(first15);
    return frame + char(crc8(reinterpret_cast<const quint8 *>(frame.constData()), 15));
}

// Reads until n bytes have come or the time is up, with events running (the
// simulator may serve from this very thread).
QByteArray readBytes(QIODevice &io, int n, int timeoutMs = 2000)
{
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (got.size() < n && clock.elapsed() < timeoutMs) {
        got += io.read(n - got.size());
        if (got.size() < n)
            QTest::qWait(2);
    }
    return got;
}

bool openSerial(QSerialPort &port, const QString &path)
{
    port.setPortName(path);
    port.setBaudRate(9600);
    return port.open(QIODevice::ReadWrite);
}

// The first line of the process's output that starts with prefix, minus it.
QString waitForLine(QProcess &p, const QString &prefix, int timeoutMs = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        while (p.canReadLine()) {
            const QString line = QString::fromLocal8Bit(p.readLine()).trimmed();
            if (line.startsWith(prefix))
                return line.mid(prefix.size());
        }
        p.waitForReadyRead(50);
    }
    return {};
}

} // namespace

class tst_sim_transports : public QObject
{
    Q_OBJECT

private slots:
    void engineOverTcpWithStaleAndSplitReplies();
    void engineOverPty();
    void tcpCutsRequestsFromTheStream();
    void ptySkipsJunkAndAnswersUnknownFunctions();
    void closeAfterDropsTheConnection();
    void threadServesABlockingClient();
    void executable();
    void executableServesTypedDevicesAtLineSpeed();
    void executableRejectsBadOptions_data();
    void executableRejectsBadOptions();
};

void tst_sim_transports::engineOverTcpWithStaleAndSplitReplies()
{
    SimulatedController sim(ProtocolModbusTcp);
    const quint16 port = sim.listenTcp();
    QVERIFY(port != 0);
    QCOMPARE(sim.tcpPort(), port);
    SimFaults f;
    f.staleBytes = 3;
    f.splitDelayMs = 30;
    sim.setFaults(f);

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(socket.waitForConnected(2000));
    QTRY_COMPARE(sim.tcpClientCount(), 1);
    com_protocol_solar engine;
    engine.setProtocol(ProtocolModbusTcp);
    engine.setResponseTimeout(1000);
    IoWire wire(engine, socket);
    sim.device(1)->setReg(SimReg::BatteryVoltage, 1288);

    QVERIFY(wire.run([&] { engine.modbusTcpReadRegisters(1, 12); }));
    QCOMPARE(engine.deviceData.batteryVoltage, 1288u);
    QCOMPARE(engine.retryCount, 0);
    QCOMPARE(sim.requestCount(), 1);
    QVERIFY(wire.run([&] { engine.writeFloatVoltage(1395); }));
    QCOMPARE(int(sim.device(1)->reg(SimReg::FloatVoltage)), 1395);
}

void tst_sim_transports::engineOverPty()
{
    SimulatedController sim(ProtocolDefine, ControllerPwm);
    const QString path = sim.openPty();
    QVERIFY(path.startsWith(QLatin1String("/dev/")));
    QCOMPARE(sim.ptyPath(), path);
    QSerialPort port;
    QVERIFY2(openSerial(port, path), qPrintable(port.errorString()));
    com_protocol_solar engine;
    engine.setControllerType(ControllerPwm);
    engine.setResponseTimeout(1000);
    IoWire wire(engine, port);
    sim.device(1)->setReg(SimReg::PvVoltage, 1912);

    QVERIFY(wire.run([&] { engine.defineReadRunData(); }));
    QCOMPARE(engine.deviceData.pvVoltage, 1912u);
    QVERIFY(wire.run([&] { engine.writeLowVoltageProtect(1122); }));
    QCOMPARE(int(sim.device(1)->reg(SimReg::LowVoltageProtect)), 1122);
    QCOMPARE(sim.requestCount(), 2);
}

void tst_sim_transports::tcpCutsRequestsFromTheStream()
{
    SimulatedController sim(ProtocolModbusTcp);
    sim.addDevice(2)->setReg(29, 0x0102);
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, sim.listenTcp());
    QVERIFY(socket.waitForConnected(2000));

    const QByteArray first = hex("0007 0000 0006 01 03 001D 0001");
    const QByteArray second = hex("0008 0000 0006 02 03 001D 0001");
    socket.write(first.left(5));   // a request in two pieces
    QTest::qWait(30);
    QVERIFY(socket.bytesAvailable() == 0 && sim.requestCount() == 0);
    socket.write(first.mid(5) + second);   // and two in one piece
    QCOMPARE(readBytes(socket, 22), hex("0007 0000 0005 01 03 02 0564  0008 0000 0005 02 03 02 0102"));
    QCOMPARE(sim.requestCount(), 2);
}

void tst_sim_transports::ptySkipsJunkAndAnswersUnknownFunctions()
{
    SimulatedController sim(ProtocolModbusRtu);
    QSerialPort port;
    QVERIFY(openSerial(port, sim.openPty()));

    port.write(hex("FF 00 13") + withCrc(hex("01 03 001D 0001")));
    QCOMPARE(readBytes(port, 7), withCrc(hex("01 03 02 0564")));
    // A function the device cannot size is taken once the line falls quiet.
    port.write(withCrc(hex("01 2B 0E 01 00")));
    QCOMPARE(readBytes(port, 5), withCrc(hex("01 AB 01")));
    QCOMPARE(sim.requestCount(), 2);   // the junk was no request
}

void tst_sim_transports::closeAfterDropsTheConnection()
{
    SimulatedController sim(ProtocolModbusTcp);
    SimFaults f;
    f.closeAfter = 2;
    sim.setFaults(f);
    const quint16 port = sim.listenTcp();
    const QByteArray read = hex("0001 0000 0006 01 03 001D 0001");

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(socket.waitForConnected(2000));
    socket.write(read);
    QCOMPARE(readBytes(socket, 11).size(), 11);
    QCOMPARE(socket.state(), QAbstractSocket::ConnectedState);
    socket.write(read);
    QCOMPARE(readBytes(socket, 11).size(), 11);   // the second answer still arrives
    QTRY_COMPARE(socket.state(), QAbstractSocket::UnconnectedState);
    QTRY_COMPARE(sim.tcpClientCount(), 0);

    QTcpSocket again;   // the server keeps listening, the count starts afresh
    again.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(again.waitForConnected(2000));
    again.write(read);
    QCOMPARE(readBytes(again, 11).size(), 11);
}

void tst_sim_transports::threadServesABlockingClient()
{
    SimulatorThread sim(ProtocolDefine, ControllerMppt);
    const quint16 port = sim.listenTcp();
    QVERIFY(port != 0);
    sim.controller()->device(1)->setReg(SimReg::LithiumCapacity, 0x0BB8);

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(socket.waitForConnected(2000));
    socket.write(sealed("8E 01 0B 000000000000000000000000"));
    QByteArray reply;
    while (reply.size() < 16 && socket.waitForReadyRead(2000))   // no event loop runs here
        reply += socket.readAll();
    QCOMPARE(reply.left(5), hex("8E 01 0B B8 0B"));
    QCOMPARE(sim.controller()->requestCount(), 1);
}

void tst_sim_transports::executable()
{
    const QString exe = qEnvironmentVariable("SOLAR_SIM_EXE");
    QVERIFY2(QFileInfo(exe).isExecutable(), "SOLAR_SIM_EXE names the simulator");
    QTemporaryDir dir;
    QFile values(dir.filePath(QStringLiteral("values.ini")));
    QVERIFY(values.open(QIODevice::WriteOnly));
    values.write("[registers]\nfloatVoltage=1401\n");
    values.close();

    QProcess rtu;
    rtu.start(exe, {QStringLiteral("--protocol"), QStringLiteral("rtu"), QStringLiteral("--pty"),
                    QStringLiteral("--address"), QStringLiteral("1,3"), QStringLiteral("--no-motion"),
                    QStringLiteral("--values"), values.fileName()});
    const QString path = waitForLine(rtu, QStringLiteral("pty: "));
    QVERIFY2(!path.isEmpty(), rtu.readAllStandardError().constData());
    QSerialPort port;
    QVERIFY(openSerial(port, path));
    for (char address : {1, 3}) {
        port.write(withCrc(QByteArray(1, address) + hex("03 001D 0001")));
        QCOMPARE(readBytes(port, 7), withCrc(QByteArray(1, address) + hex("03 02 0579")));
    }
    port.write(withCrc(hex("02 03 001D 0001")));
    QCOMPARE(readBytes(port, 1, 200), QByteArray());   // nobody at address 2

    QProcess tcp;
    tcp.start(exe, {QStringLiteral("--protocol"), QStringLiteral("define"), QStringLiteral("--controller"),
                    QStringLiteral("pwm"), QStringLiteral("--tcp-port"), QStringLiteral("0")});
    const quint16 tcpPort = quint16(waitForLine(tcp, QStringLiteral("listening on 127.0.0.1:")).toUInt());
    QVERIFY(tcpPort != 0);
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, tcpPort);
    QVERIFY(socket.waitForConnected(2000));
    socket.write(sealed("8E 01 78 0000000000 76 00 2A 00000000"));
    QCOMPARE(readBytes(socket, 16).mid(3, 12), QByteArray("SIM-PWM-2012"));

    for (QProcess *p : {&rtu, &tcp}) {
        p->terminate();
        QVERIFY(p->waitForFinished(2000));
    }
}

// --devices gives each address its type; with --line-timing an answer comes
// when its last byte would have on the wire: 32 bytes at 9600 baud and the
// turnaround after the request.
void tst_sim_transports::executableServesTypedDevicesAtLineSpeed()
{
    QProcess sim;
    sim.start(qEnvironmentVariable("SOLAR_SIM_EXE"),
              {"--protocol", "define", "--devices", "1:mppt,5:pwm", "--tcp-port", "0", "--no-motion",
               "--line-timing", "--baud", "9600", "--turnaround-ms", "20"});
    const quint16 port = quint16(waitForLine(sim, QStringLiteral("listening on 127.0.0.1:")).toUInt());
    QVERIFY(port != 0);
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(socket.waitForConnected(2000));
    const double physicalMs = 32 * 10 * 1000.0 / 9600 + 20;
    const QList<QPair<const char *, QByteArray>> asked{
        {"8E 01 78 0000000000 76 00 2A 00000000", "SIM-MPPT2012"},
        {"8E 05 78 0000000000 76 00 2A 00000000", "SIM-PWM-2012"}};
    for (const auto &a : asked) {
        QElapsedTimer clock;
        clock.start();
        socket.write(sealed(a.first));
        const QByteArray reply = readBytes(socket, 16);
        const double tookMs = clock.nsecsElapsed() / 1e6;
        QCOMPARE(reply.mid(3, 12), a.second);
        QVERIFY2(tookMs >= physicalMs && tookMs < physicalMs + 40,
                 qPrintable(QStringLiteral("%1 ms for %2 ms on the wire").arg(tookMs).arg(physicalMs)));
    }
    sim.terminate();
    QVERIFY(sim.waitForFinished(2000));
}

void tst_sim_transports::executableRejectsBadOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("protocol") << QStringList{"--protocol", "can"} << "--protocol is define, rtu or tcp";
    QTest::newRow("controller") << QStringList{"--controller", "solar"} << "--controller is pwm or mppt";
    QTest::newRow("address") << QStringList{"--address", "0"} << "bad address 0";
    QTest::newRow("port") << QStringList{"--tcp-port", "70000"} << "--tcp-port wants a number from 0 to 65535";
    QTest::newRow("values") << QStringList{"--values", "/nonexistent/v.ini"} << "cannot open /nonexistent/v.ini";
    QTest::newRow("device type") << QStringList{"--devices", "1:wind"} << "controller type is pwm or mppt";
    QTest::newRow("device twice") << QStringList{"--devices", "1-3:pwm,2:mppt"} << "--devices names address 2 twice";
    QTest::newRow("device without type") << QStringList{"--devices", "4"} << "--devices wants ADDRESS:TYPE";
    QTest::newRow("turnaround alone") << QStringList{"--turnaround-ms", "5"} << "--turnaround-ms goes with --line-timing";
}

void tst_sim_transports::executableRejectsBadOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QProcess p;
    p.start(qEnvironmentVariable("SOLAR_SIM_EXE"), arguments);
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 2);
    QVERIFY2(QString::fromLocal8Bit(p.readAllStandardError()).contains(message),
             qPrintable(message));
}

QTEST_GUILESS_MAIN(tst_sim_transports)
#include "tst_sim_transports.moc"
