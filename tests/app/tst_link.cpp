// The link between the engines and the controller, over a real TCP socket on
// 127.0.0.1 and a pseudo-terminal as the serial port. The test plays the
// controller byte by byte; the refresh cycle is held so only the requests the
// test issues go out.
#include <QAction>
#include <QSignalSpy>
#include <QTextEdit>
#include <QtTest>

#include <memory>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "checksums.h"
#include "mainwindow.h"
#include "monitor_core_probe.h"
#include "pty_pair.h"
#include "tcp_device.h"
#include "window_fixture.h"

namespace {

const QString grayLamp = QStringLiteral(":/Images/Images/64X64/gray64x64.png");
const QString greenLamp = QStringLiteral(":/Images/Images/64X64/green64x64.png");
const QString redLamp = QStringLiteral(":/Images/Images/64X64/red64x64.png");

bool lampShows(const QLabel &lamp, const QString &resource)
{
    const QImage expected = QPixmap(resource)
                                .scaled(16, 16, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                                .toImage()
                                .convertToFormat(QImage::Format_ARGB32);
    return lamp.pixmap(Qt::ReturnByValue).toImage().convertToFormat(QImage::Format_ARGB32)
           == expected;
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

// A Define frame with its CRC-8.
QByteArray defineFrame(int address, int command, const QByteArray &payload = QByteArray())
{
    QByteArray frame = bytes({0x8E, address, command}) + payload.left(12);
    frame.append(15 - frame.size(), '\0');
    frame.append(char(crc8(reinterpret_cast<const quint8 *>(frame.constData()), 15)));
    return frame;
}

QByteArray withModbusCrc(QByteArray frame)
{
    const quint16 crc = modbusCrc16(reinterpret_cast<const quint8 *>(frame.constData()),
                                    unsigned(frame.size()));
    frame.append(char(crc >> 8));
    frame.append(char(crc & 0xFF));
    return frame;
}

QByteArray registerBytes(int count, int first)
{
    QByteArray out;
    for (int i = 0; i < count; ++i) {
        out.append(char((first + i) >> 8));
        out.append(char((first + i) & 0xFF));
    }
    return out;
}

QString textOf(const MainWindow &w, const char *box)
{
    return formWidget<QTextEdit>(w, box)->toPlainText();
}

// The controller's end of either kind of link.
class DeviceEnd
{
public:
    explicit DeviceEnd(bool serial)
    {
        if (serial)
            pty = std::make_unique<PtyPair>();
        else
            tcp = std::make_unique<TcpDevice>();
    }
    bool isReady() const { return pty ? pty->isOpen() : tcp->isListening(); }
    bool connect(WindowFixture &f, const QString &protocol)
    {
        return pty ? f.connectSerial(*pty, protocol) : f.connectTcp(*tcp, protocol);
    }
    bool write(const QByteArray &b) { return pty ? pty->write(b) : tcp->write(b); }
    QByteArray readExactly(int n, int ms = 2000)
    {
        return pty ? pty->readExactly(n, ms) : tcp->readExactly(n, ms);
    }
    QIODevice *windowSide(MainWindow &w)
    {
        return pty ? static_cast<QIODevice *>(&w.core.serialPort) : &w.core.tcpSocket;
    }

    std::unique_ptr<PtyPair> pty;
    std::unique_ptr<TcpDevice> tcp;
};

// One row over the pseudo-terminal, one over TCP.
void addBothLinks()
{
    QTest::addColumn<bool>("serial");
    QTest::newRow("serial") << true;
    QTest::newRow("tcp") << false;
}

// The window with the refresh cycle held, so the test issues every request.
struct LinkRig
{
    explicit LinkRig(bool serial) : device(serial) { f.holdRefreshCycle(); }
    MainWindow &w() { return f.w(); }
    bool waitReply(int ms = 2000)
    {
        return QTest::qWaitFor([this] { return f.w().core.pollReplyState != 5; }, ms);
    }

    WindowFixture f;
    DeviceEnd device;
};

} // namespace

class tst_link : public QObject
{
    Q_OBJECT

private slots:
    // --- TCP link states ----------------------------------------------

    void tcpGoesUpOnlyOnceConnected()
    {
        TcpDevice device;
        WindowFixture f;
        f.holdRefreshCycle();
        QVERIFY(f.dir.writeConfig(tcpConfigText(device.port(), QStringLiteral("Define"))));
        pressConnect(f.w());
        QVERIFY(!linkIsUp(f.w()));   // connecting, not yet connected
        QVERIFY(device.waitForClient());
        QVERIFY(waitForLinkUp(f.w()));
        QCOMPARE(f.w().core.tcpSocket.state(), QAbstractSocket::ConnectedState);
    }

    void tcpRefusedPortStaysDownSilently()
    {
        WindowFixture f;
        f.holdRefreshCycle();
        QVERIFY(f.dir.writeConfig(tcpConfigText(refusedTcpPort(), QStringLiteral("Define"))));
        MessageBoxCatcher boxes;
        pressConnect(f.w());
        QTRY_COMPARE(f.w().core.tcpSocket.state(), QAbstractSocket::UnconnectedState);
        QTest::qWait(50);
        QVERIFY(!linkIsUp(f.w()));
        QCOMPARE(boxes.count(), 0);

        // A second press tries again.
        TcpDevice device;
        QVERIFY(f.dir.writeConfig(tcpConfigText(device.port(), QStringLiteral("Define"))));
        pressConnect(f.w());
        QVERIFY(device.waitForClient());
        QVERIFY(waitForLinkUp(f.w()));
    }

    void tcpPeerCloseGoesDownAndKeepsTheDisplay()
    {
        TcpDevice device;
        WindowFixture f;
        f.holdRefreshCycle();
        QVERIFY(f.connectTcp(device, QStringLiteral("Define")));
        formWidget<QTextEdit>(f.w(), "textEdit_2")->setPlainText(QStringLiteral("8E 01 "));

        device.closeClient();
        QVERIFY(waitForLinkDown(f.w()));
        QCOMPARE(textOf(f.w(), "textEdit_2"), QStringLiteral("8E 01 "));
    }

    void tcpDisconnectGoesDownAtOnce()
    {
        TcpDevice device;
        WindowFixture f;
        f.holdRefreshCycle();
        QVERIFY(f.connectTcp(device, QStringLiteral("Define")));
        QSignalSpy peerClosed(device.client(), &QTcpSocket::disconnected);
        formWidget<QTextEdit>(f.w(), "textEdit_2")->setPlainText(QStringLiteral("8E 01 "));

        pressConnect(f.w());
        QCOMPARE(f.w().connectAction->text(), QStringLiteral("Connect"));
        QVERIFY(textOf(f.w(), "textEdit_2").startsWith(QStringLiteral("00 00 00")));   // display reset
        QVERIFY(peerClosed.count() > 0 || peerClosed.wait(1000));
        QTest::qWait(50);
        QCOMPARE(f.w().connectAction->text(), QStringLiteral("Connect"));

        // And up again with a fresh connection.
        pressConnect(f.w());
        QVERIFY(device.waitForClient());
        QVERIFY(waitForLinkUp(f.w()));
    }

    // Connect while an attempt is under way starts it afresh; Connect over
    // the serial port drops it, so it cannot bring the link up later on top
    // of the serial link.
    void pendingTcpAttemptIsRestartedOrDropped()
    {
        StalledTcpPort stalled;
        QVERIFY(stalled.isValid());
        WindowFixture f;
        MainWindow &w = f.w();
        f.holdRefreshCycle();
        QVERIFY(f.dir.writeConfig(tcpConfigText(stalled.port(), QStringLiteral("Define"))));
        MessageBoxCatcher boxes;
        pressConnect(w);
        QTest::qWait(100);
        QCOMPARE(w.core.tcpSocket.state(), QAbstractSocket::ConnectingState);
        QVERIFY(!linkIsUp(w));

        QSignalSpy states(&w.core.tcpSocket, &QTcpSocket::stateChanged);
        pressConnect(w);
        QVERIFY(states.count() >= 2);   // left, then entered again
        QCOMPARE(w.core.tcpSocket.state(), QAbstractSocket::ConnectingState);
        QVERIFY(!linkIsUp(w));

        PtyPair pty;
        QVERIFY(f.connectSerial(pty, QStringLiteral("Define")));
        QCOMPARE(w.core.tcpSocket.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(boxes.count(), 0);
    }

    // --- serial link states -------------------------------------------

    void serialOpensAtTheConfiguredSpeed_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("speed");
        QTest::newRow("9600, address 1") << 9600 << 1 << int(B9600);
        QTest::newRow("115200, address 17") << 115200 << 17 << int(B115200);
        QTest::newRow("4800, address 40") << 4800 << 40 << int(B4800);
    }

    void serialOpensAtTheConfiguredSpeed()
    {
        QFETCH(int, baud);
        QFETCH(int, address);
        QFETCH(int, speed);
        PtyPair pty;
        QVERIFY(pty.isOpen());
        WindowFixture f;
        f.holdRefreshCycle();
        QVERIFY(f.connectSerial(pty, QStringLiteral("Define"), address, baud));
        QVERIFY(f.w().core.serialPort.isOpen());
        QCOMPARE(int(f.w().core.mainEngine.slaveAddress()), address);

        termios line{};
        QVERIFY(pty.lineSettings(&line));
        QCOMPARE(int(cfgetospeed(&line)), speed);
        QCOMPARE(int(cfgetispeed(&line)), speed);
        QCOMPARE(int(line.c_cflag & CSIZE), int(CS8));
        QVERIFY(!(line.c_cflag & PARENB));
        QVERIFY(!(line.c_cflag & CSTOPB));
        QVERIFY(!(line.c_cflag & CRTSCTS));

        pressConnect(f.w());
        QVERIFY(!linkIsUp(f.w()));
        QVERIFY(!f.w().core.serialPort.isOpen());
    }

    void serialMissingDeviceShowsTheMessage()
    {
        WindowFixture f;
        f.holdRefreshCycle();
        QVERIFY(f.dir.writeConfig(serialConfigText(QStringLiteral("/dev/solar-no-such-port"), 9600,
                                                   1, QStringLiteral("Define"))));
        MessageBoxCatcher boxes;
        pressConnect(f.w());   // returns once the box is closed
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.titles().first(), QStringLiteral("Connect"));
        // The sentence first, then the port and the system's reason.
        QVERIFY(boxes.texts().first().startsWith(
            QStringLiteral("The serial port failed to open, please resched the serial port!\n\n"
                           "Port: /dev/solar-no-such-port\n")));
        QVERIFY(!linkIsUp(f.w()));
        QVERIFY(!f.w().core.serialPort.isOpen());
    }

    void serialHangupTakesTheLinkDown()
    {
        PtyPair pty;
        WindowFixture f;
        f.holdRefreshCycle();
        QVERIFY(f.connectSerial(pty, QStringLiteral("Define")));
        formWidget<QTextEdit>(f.w(), "textEdit_2")->setPlainText(QStringLiteral("8E 01 "));

        pty.closeSlave();
        pty.closeMaster();   // as an unplugged adapter
        QVERIFY(waitForLinkDown(f.w(), 3000));
        QVERIFY(!f.w().core.serialPort.isOpen());
        QCOMPARE(textOf(f.w(), "textEdit_2"), QStringLiteral("8E 01 "));
        QTest::qWait(100);   // nothing more arrives from the closed port
        QVERIFY(!linkIsUp(f.w()));
    }

    // --- what Connect takes from config.ini -----------------------------

    void connectWithoutUsableSettingsDoesNothing_data()
    {
        QTest::addColumn<bool>("writeFile");
        QTest::addColumn<QString>("ini");
        QTest::newRow("no file") << false << QString();
        QTest::newRow("empty file") << true << QString();
        QTest::newRow("unrelated keys") << true << QStringLiteral("[other]\nx=1\n");
        QTest::newRow("Bluetooth") << true
                                   << QStringLiteral("[common]\ncommunication_mode=Bluetooth\n"
                                                     "[Wifi]\nip_address=127.0.0.1\nip_port=%1\n");
        QTest::newRow("mode in lower case") << true
                                            << QStringLiteral("[common]\ncommunication_mode=wifi\n"
                                                              "[Wifi]\nip_address=127.0.0.1\nip_port=%1\n");
    }

    void connectWithoutUsableSettingsDoesNothing()
    {
        QFETCH(bool, writeFile);
        QFETCH(QString, ini);
        TcpDevice device;
        WindowFixture f;
        f.holdRefreshCycle();
        if (writeFile)
            QVERIFY(f.dir.writeConfig(ini.contains(QLatin1String("%1")) ? ini.arg(device.port()) : ini));
        MessageBoxCatcher boxes;

        pressConnect(f.w());
        QTest::qWait(150);
        QVERIFY(!linkIsUp(f.w()));
        QCOMPARE(boxes.count(), 0);
        QVERIFY(!f.w().core.serialPort.isOpen());
        QCOMPARE(f.w().core.tcpSocket.state(), QAbstractSocket::UnconnectedState);
        QVERIFY(!device.hasPendingClient());
        QCOMPARE(f.dir.configExists(), writeFile);   // nothing written either
    }

    void settingsAreAppliedToTheEngines_data()
    {
        QTest::addColumn<QString>("protocol");
        QTest::addColumn<QString>("controller");
        QTest::addColumn<int>("expectedProtocol");
        QTest::addColumn<int>("expectedController");
        // Before Connect both engines speak Modbus TCP and mainEngine is MPPT.
        QTest::newRow("Define, PWM") << "Define" << "PWM" << int(ProtocolDefine) << int(ControllerPwm);
        QTest::newRow("Modbus, MPPT") << "Modbus" << "MPPT" << int(ProtocolModbusRtu) << int(ControllerMppt);
        QTest::newRow("TCP Modbus, PWM") << "TCP Modbus" << "PWM" << int(ProtocolModbusTcp) << int(ControllerPwm);
        QTest::newRow("other case keeps both") << "modbus" << "pwm" << int(ProtocolModbusTcp) << int(ControllerMppt);
        QTest::newRow("missing keeps both") << "" << "" << int(ProtocolModbusTcp) << int(ControllerMppt);
    }

    void settingsAreAppliedToTheEngines()
    {
        QFETCH(QString, protocol);
        QFETCH(QString, controller);
        QFETCH(int, expectedProtocol);
        QFETCH(int, expectedController);
        WindowFixture f;
        MainWindow &w = f.w();
        f.holdRefreshCycle();
        w.core.mainEngine.setProtocol(ProtocolModbusTcp);
        w.core.scanEngine.setProtocol(ProtocolModbusTcp);
        w.core.mainEngine.setControllerType(ControllerMppt);
        QVERIFY(f.dir.writeConfig(QStringLiteral("[common]\ncommunication_mode=Bluetooth\n"
                                                 "communication_protocol=%1\n"
                                                 "[type]\ncontroller_type=%2\n")
                                      .arg(protocol, controller)));
        pressConnect(w);

        QCOMPARE(MonitorCoreProbe::modeSetting(w.core), QStringLiteral("Bluetooth"));
        QCOMPARE(MonitorCoreProbe::protocolSetting(w.core), protocol);
        QCOMPARE(MonitorCoreProbe::controllerSetting(w.core), controller);
        QCOMPARE(w.core.mainEngine.protocol(), expectedProtocol);
        QCOMPARE(w.core.scanEngine.protocol(), expectedProtocol);
        QCOMPARE(w.core.mainEngine.controllerType(), expectedController);
        QCOMPARE(w.core.scanEngine.controllerType(), int(ControllerPwm));
        QCOMPARE(w.core.scanEngine.responseTimeout(), 500);
        QCOMPARE(w.core.scanEngine.maxRetries(), 0);
        QVERIFY(!linkIsUp(w));
    }

    void serialAddressIsKeptForALaterTcpLink()
    {
        PtyPair pty;
        TcpDevice device;
        WindowFixture f;
        f.holdRefreshCycle();
        QVERIFY(f.connectSerial(pty, QStringLiteral("Define"), 17));
        pressConnect(f.w());
        QVERIFY(!linkIsUp(f.w()));

        QVERIFY(f.connectTcp(device, QStringLiteral("Define")));
        f.w().core.mainEngine.defineReadRunData();
        const QByteArray request = device.readExactly(16);
        QCOMPARE(request, defineFrame(17, 0x01));
    }

    // --- frames on the wire and gathering the response ----------------

    void staleBytesInFrontAreDropped_data() { addBothLinks(); }

    void staleBytesInFrontAreDropped()
    {
        QFETCH(bool, serial);
        LinkRig rig(serial);
        QVERIFY(rig.device.isReady());
        QVERIFY(rig.device.connect(rig.f, QStringLiteral("Define")));
        MainWindow &w = rig.w();
        memset(w.core.mainEngine.rxFrame, 0xFF, sizeof w.core.mainEngine.rxFrame);

        w.core.mainEngine.defineReadRunData();
        QCOMPARE(rig.device.readExactly(16), defineFrame(1, 0x01));
        QCOMPARE(textOf(w, "textEdit"),
                 QStringLiteral("8E 01 01 00 00 00 00 00 00 00 00 00 00 00 00 84 "));

        // PV 10.40 V and 5.00 A, battery 10.00 V, load 1.00 A.
        const QByteArray response = defineFrame(
            1, 0x01, bytes({0x10, 0x04, 0xF4, 0x01, 0xE8, 0x03, 0x64, 0x00, 0xE7, 0x50, 0x00, 0x00}));
        QVERIFY(rig.device.write(bytes({0x8E, 0x01, 0x01, 0x55}) + response));
        QVERIFY(rig.waitReply());

        QCOMPARE(w.core.pollReplyState, 6);
        QCOMPARE(w.core.mainEngine.rxLength, 16);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(w.core.mainEngine.rxFrame), 16), response);
        for (int i = 16; i < 1024; ++i)
            QCOMPARE(int(w.core.mainEngine.rxFrame[i]), 0);
        QCOMPARE(w.core.mainEngine.deviceData.pvVoltage, 1040u);
        const QString shown = textOf(w, "textEdit_2");
        QCOMPARE(shown.size(), 48);
        QCOMPARE(shown, QStringLiteral("8E 01 01 10 04 F4 01 E8 03 64 00 E7 50 00 00 %1 ")
                            .arg(quint8(response.at(15)), 2, 16, QLatin1Char('0'))
                            .toUpper());
    }

    void responseIsGatheredToItsExpectedLength_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::addColumn<QString>("protocol");
        QTest::addColumn<int>("requestLength");
        QTest::addColumn<int>("expected");
        QTest::addColumn<bool>("write");
        QTest::newRow("Define") << true << "Define" << 16 << 16 << false;
        QTest::newRow("RTU read of 12") << true << "Modbus" << 8 << 29 << false;
        QTest::newRow("RTU write") << true << "Modbus" << 11 << 8 << true;
        QTest::newRow("TCP read of 12") << false << "TCP Modbus" << 12 << 33 << false;
        QTest::newRow("TCP write") << false << "TCP Modbus" << 15 << 12 << true;
    }

    // The answer comes in three pieces; nothing reaches the engine before
    // the last byte, and then the whole answer does.
    void responseIsGatheredToItsExpectedLength()
    {
        QFETCH(bool, serial);
        QFETCH(QString, protocol);
        QFETCH(int, requestLength);
        QFETCH(int, expected);
        QFETCH(bool, write);
        LinkRig rig(serial);
        QVERIFY(rig.device.connect(rig.f, protocol));
        MainWindow &w = rig.w();
        w.core.mainEngine.setResponseTimeout(3000);

        const quint32 value = 1380;
        if (protocol == QLatin1String("Define"))
            w.core.mainEngine.defineReadRunData();
        else if (protocol == QLatin1String("Modbus"))
            write ? w.core.mainEngine.modbusRtuWriteRegisters(29, &value, 1)
                  : w.core.mainEngine.modbusRtuReadRegisters(1, 12);
        else
            write ? w.core.mainEngine.modbusTcpWriteRegisters(29, &value, 1)
                  : w.core.mainEngine.modbusTcpReadRegisters(1, 12);
        QCOMPARE(w.core.mainEngine.expectedResponseLength(), expected);
        const QByteArray request = rig.device.readExactly(requestLength);
        QCOMPARE(request.size(), requestLength);

        QByteArray response;
        if (protocol == QLatin1String("Define"))
            response = defineFrame(1, 0x01);
        else if (protocol == QLatin1String("Modbus"))
            response = write ? withModbusCrc(request.left(6))
                             : withModbusCrc(bytes({0x01, 0x03, 24}) + registerBytes(12, 100));
        else
            response = write ? request.left(4) + bytes({0x00, 0x06}) + request.mid(6, 6)
                             : request.left(4) + bytes({0x00, 27, 0x01, 0x03, 24})
                                   + registerBytes(12, 100);
        QCOMPARE(response.size(), expected);

        QVERIFY(rig.device.write(response.left(5)));
        QTRY_COMPARE(MonitorCoreProbe::rxBuffer(w.core).size(), 5);
        QVERIFY(rig.device.write(response.mid(5, expected - 6)));
        QTRY_COMPARE(MonitorCoreProbe::rxBuffer(w.core).size(), expected - 1);
        QCOMPARE(w.core.mainEngine.rxLength, 0);
        QCOMPARE(w.core.pollReplyState, 5);

        QVERIFY(rig.device.write(response.right(1)));
        QVERIFY(rig.waitReply());
        QCOMPARE(w.core.pollReplyState, 6);
        QCOMPARE(w.core.mainEngine.txLength, 0);
        QCOMPARE(textOf(w, "textEdit_2").size(), 3 * expected);
        if (!write && protocol != QLatin1String("Define")) {
            QCOMPARE(w.core.mainEngine.deviceData.pvVoltage, 100u);          // register 1
            QCOMPARE(w.core.mainEngine.deviceData.batteryCapacity, 109u);    // register 10
        }
    }

    void bytesWhileNothingIsPendingStayUnread_data() { addBothLinks(); }

    void bytesWhileNothingIsPendingStayUnread()
    {
        QFETCH(bool, serial);
        LinkRig rig(serial);
        QVERIFY(rig.device.connect(rig.f, QStringLiteral("Define")));
        MainWindow &w = rig.w();
        const QString shownBefore = textOf(w, "textEdit_2");

        QVERIFY(rig.device.write(defineFrame(1, 0x01)));
        QTRY_COMPARE(rig.device.windowSide(w)->bytesAvailable(), qint64(16));
        QTest::qWait(50);
        QCOMPARE(rig.device.windowSide(w)->bytesAvailable(), qint64(16));
        QVERIFY(MonitorCoreProbe::rxBuffer(w.core).isEmpty());
        QCOMPARE(textOf(w, "textEdit_2"), shownBefore);

        // Read with the answer to the next request; the answer, last, counts.
        w.core.mainEngine.defineReadRunData();
        QCOMPARE(rig.device.readExactly(16).size(), 16);
        const QByteArray answer = defineFrame(1, 0x01, bytes({0x10, 0x04}));
        QVERIFY(rig.device.write(answer));
        QVERIFY(rig.waitReply());
        QCOMPARE(w.core.pollReplyState, 6);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(w.core.mainEngine.rxFrame), 16), answer);
        QCOMPARE(w.core.mainEngine.deviceData.pvVoltage, 1040u);
        QCOMPARE(rig.device.windowSide(w)->bytesAvailable(), qint64(0));
    }

    void mainEngineGoesFirstWhenBothArePending()
    {
        LinkRig rig(false);
        QVERIFY(rig.device.connect(rig.f, QStringLiteral("Define")));
        MainWindow &w = rig.w();
        w.core.mainEngine.setResponseTimeout(5000);
        w.core.scanEngine.setResponseTimeout(300);
        w.core.scanEngine.setMaxRetries(20);

        w.core.scanEngine.setSlaveAddress(5);
        w.core.scanEngine.defineReadDeviceModel();
        const QByteArray scanFrame = rig.device.readExactly(16);
        QCOMPARE(scanFrame.left(3), bytes({0x8E, 0x05, 0x78}));
        w.core.mainEngine.defineReadRunData();
        QCOMPARE(rig.device.readExactly(16), defineFrame(1, 0x01));
        // The scan engine's re-send goes out as mainEngine's frame.
        QCOMPARE(rig.device.readExactly(16), defineFrame(1, 0x01));

        const QByteArray answer = defineFrame(1, 0x01, bytes({0x10, 0x04}));
        QVERIFY(rig.device.write(answer));
        QTRY_COMPARE(w.core.mainEngine.txLength, 0);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(w.core.mainEngine.rxFrame), 16), answer);
        QCOMPARE(w.core.mainEngine.deviceData.pvVoltage, 1040u);
        QVERIFY(w.core.scanEngine.txLength != 0);
        QCOMPARE(w.core.scanEngine.rxLength, 0);
        QCOMPARE(w.core.scanEngine.deviceData.pvVoltage, 0u);

        // Alone now, the scan engine's re-sends are its own frame again.
        const QByteArray later = rig.device.tcp->readFor(700);
        QVERIFY(later.size() >= 16);
        QCOMPARE(later.right(16), scanFrame);
    }

    // The engine's builders stay far below rxFrame's size, but the window
    // must not trust that: a pending read of 1100 registers, set up by hand,
    // waits for 2205 bytes, and the copy stops at the end of rxFrame.
    void responseLongerThanTheFrameBufferIsCut()
    {
        LinkRig rig(true);
        QVERIFY(rig.device.connect(rig.f, QStringLiteral("Modbus")));
        MainWindow &w = rig.w();
        w.core.mainEngine.setMaxRetries(0);
        const QByteArray request = withModbusCrc(bytes({0x01, 0x03, 0x00, 0x00, 0x04, 0x4C}));
        memcpy(w.core.mainEngine.txFrame, request.constData(), size_t(request.size()));
        w.core.mainEngine.txLength = request.size();
        w.core.mainEngine.rxLength = 0;
        QCOMPARE(w.core.mainEngine.expectedResponseLength(), 2205);

        QByteArray flood = bytes({0x01, 0x03, 0x98});
        flood.append(2205 - flood.size(), char(0x5A));
        QVERIFY(rig.device.write(flood));
        QVERIFY(rig.waitReply(3000));
        QCOMPARE(w.core.pollReplyState, 7);   // offered, rejected, failed
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(w.core.mainEngine.rxFrame), 3),
                 bytes({0x01, 0x03, 0x98}));
        QCOMPARE(int(w.core.mainEngine.rxFrame[sizeof w.core.mainEngine.rxFrame - 1]), 0x5A);
        QCOMPARE(w.core.mainEngine.txLength, 0);
        QVERIFY(MonitorCoreProbe::rxBuffer(w.core).size() <= 2205);
        QVERIFY(linkIsUp(w));
    }

    void requestLeavesWithoutWaitingForEvents_data() { addBothLinks(); }

    // The device end waits below without running the window's events, so
    // the frame must be on the wire when the request call returns.
    void requestLeavesWithoutWaitingForEvents()
    {
        QFETCH(bool, serial);
        LinkRig rig(serial);
        QVERIFY(rig.device.connect(rig.f, QStringLiteral("Define")));
        rig.w().core.mainEngine.defineReadRunData();
        QByteArray got;
        if (serial) {
            pollfd ready{rig.device.pty->masterFd(), POLLIN, 0};
            QCOMPARE(::poll(&ready, 1, 1000), 1);
            char buffer[64];
            got = QByteArray(buffer, int(qMax<ssize_t>(::read(ready.fd, buffer, sizeof buffer), 0)));
        } else {
            QTcpSocket *peer = rig.device.tcp->client();
            QVERIFY(peer);
            QVERIFY(peer->waitForReadyRead(1000));
            got = peer->readAll();
        }
        QCOMPARE(got, defineFrame(1, 0x01));
    }

    // --- lamps and reply states ---------------------------------------

    void lampsFollowOneExchange()
    {
        LinkRig rig(false);
        QVERIFY(rig.device.connect(rig.f, QStringLiteral("Define")));
        MainWindow &w = rig.w();
        w.core.mainEngine.setResponseTimeout(3000);

        w.core.mainEngine.defineReadRunData();
        QVERIFY(lampShows(w.txLamp, greenLamp));
        QVERIFY(lampShows(w.rxLamp, grayLamp));
        QCOMPARE(rig.device.readExactly(16).size(), 16);

        const QByteArray answer = defineFrame(1, 0x01);
        QVERIFY(rig.device.write(answer.left(4)));
        QTRY_VERIFY(lampShows(w.txLamp, grayLamp));
        QVERIFY(lampShows(w.rxLamp, grayLamp));

        QVERIFY(rig.device.write(answer.mid(4)));
        QVERIFY(rig.waitReply());
        QVERIFY(lampShows(w.rxLamp, greenLamp));
        QVERIFY(lampShows(w.txLamp, grayLamp));

        // Silence: red once the request has failed.
        w.core.mainEngine.setResponseTimeout(30);
        w.core.mainEngine.setMaxRetries(0);
        w.core.pollReplyState = 5;
        w.core.mainEngine.defineReadRunData();
        QVERIFY(lampShows(w.rxLamp, grayLamp));
        QVERIFY(rig.waitReply());
        QCOMPARE(w.core.pollReplyState, 7);
        QVERIFY(lampShows(w.rxLamp, redLamp));
        QVERIFY(lampShows(w.txLamp, grayLamp));

        // A failure after Disconnect is not shown as red.
        pressConnect(w);
        QVERIFY(!linkIsUp(w));
        w.core.pollReplyState = 5;
        w.core.mainEngine.defineReadRunData();
        QVERIFY(rig.waitReply());
        QCOMPARE(w.core.pollReplyState, 7);
        QVERIFY(lampShows(w.rxLamp, grayLamp));
    }

    void replyStatesFollowTheParameterState_data()
    {
        QTest::addColumn<int>("paramBefore");
        QTest::addColumn<bool>("success");
        QTest::addColumn<int>("paramAfter");
        QTest::addColumn<int>("pollAfter");
        QTest::addColumn<bool>("fromScan");   // the bus scan's engine reports
        QTest::newRow("poll answered") << 0 << true << 0 << 6 << false;
        QTest::newRow("poll failed") << 0 << false << 0 << 7 << false;
        QTest::newRow("scan failed") << 0 << false << 0 << 7 << true;
        QTest::newRow("parameter answered") << 1 << true << 2 << 4 << false;
        QTest::newRow("parameter failed") << 1 << false << 3 << 4 << false;
        // A parameter travels on mainEngine; the scan's outcome does not end it.
        QTest::newRow("scan failed while a parameter waits") << 1 << false << 1 << 4 << true;
        QTest::newRow("scan answered while a parameter waits") << 1 << true << 1 << 4 << true;
        QTest::newRow("already answered, success") << 2 << true << 2 << 5 << false;
        QTest::newRow("already answered, failure") << 2 << false << 2 << 5 << false;
        QTest::newRow("already failed, success") << 3 << true << 3 << 5 << false;
        QTest::newRow("already failed, failure") << 3 << false << 3 << 5 << false;
    }

    void replyStatesFollowTheParameterState()
    {
        QFETCH(int, paramBefore);
        QFETCH(bool, success);
        QFETCH(int, paramAfter);
        QFETCH(int, pollAfter);
        QFETCH(bool, fromScan);
        WindowFixture f;
        f.holdRefreshCycle();
        MainWindow &w = f.w();
        w.core.paramRequestState = paramBefore;
        w.core.pollReplyState = 5;
        com_protocol_solar &engine = fromScan ? w.core.scanEngine : w.core.mainEngine;
        if (success)
            emit engine.receiveSuccesSignal();
        else
            emit engine.receiveFailSignal();
        QCOMPARE(w.core.paramRequestState, paramAfter);
        QCOMPARE(w.core.pollReplyState, pollAfter);
    }
};

QTEST_MAIN(tst_link)
#include "tst_link.moc"
