// The window with a config.ini that is broken in the ways files get broken:
// binary junk, a huge file, missing sections, numbers that are not numbers,
// texts the program does not know. The window opens, Connect does what the
// readable part of the file says (or nothing), the settings dialog opens and
// closes, nothing crashes, and reading leaves the file byte for byte as it was.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QRandomGenerator>
#include <QtTest>

#include "mainwindow.h"
#include "pty_pair.h"
#include "tcp_device.h"
#include "window_fixture.h"

namespace {

// What Connect is expected to do with the file.
enum class Connect {
    Nothing,        // link stays down, no message
    SerialFails,    // link stays down, the serial failure message
    TcpFails,       // a TCP attempt that cannot succeed: link stays down silently
    TcpUp,          // link up to the test's TCP device
    SerialUp,       // link up on the test's pty
};

// Placeholders the test fills in at run time.
const QByteArray tcpPortMark = "@TCP_PORT@";
const QByteArray ptyMark = "@PTY@";

QByteArray junk(int size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, '\0');
    for (char &c : bytes)
        c = char(random.bounded(256));
    return bytes;
}

QByteArray tcpConfig(const QByteArray &protocol = "TCP Modbus")
{
    return "[common]\ncommunication_mode=Wifi\ncommunication_protocol=" + protocol
           + "\n[type]\ncontroller_type=MPPT\n[Wifi]\nip_address=127.0.0.1\nip_port=" + tcpPortMark + "\n";
}

QByteArray serialConfig(const QByteArray &address)
{
    return "[common]\ncommunication_mode=Serial\ncommunication_protocol=Modbus\n"
           "[type]\ncontroller_type=PWM\n[serial]\nserial_port=" + ptyMark
           + "\nserial_baud=9600\nserial_address=" + address + "\n";
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// Opens the settings dialog the way the menu does and cancels it once shown.
bool openAndCancelSettings(MainWindow &w)
{
    bool shown = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            shown = true;
            dialog->reject();
        }
    });
    closer.start(10);
    w.settingAction->trigger();   // returns when the dialog has closed
    return shown;
}

} // namespace

Q_DECLARE_METATYPE(Connect)

class tst_bad_config : public QObject
{
    Q_OBJECT

private slots:
    void windowCopes_data();
    void windowCopes();
};

void tst_bad_config::windowCopes_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<Connect>("connect");
    QTest::addColumn<int>("protocol");   // mainEngine's protocol after Connect
    QTest::addColumn<int>("address");    // mainEngine's address after Connect

    QTest::newRow("binary junk") << junk(64 * 1024, 1) << Connect::Nothing << int(ProtocolDefine) << 1;
    QTest::newRow("junk with NULs inside the values")
        << QByteArray("[common]\ncommunication_mode=Wi\0fi\ncommunication_protocol=Mod\0bus\n", 66)
        << Connect::Nothing << int(ProtocolDefine) << 1;
    QTest::newRow("valid settings, then a 10 MB line")
        << tcpConfig() + QByteArray(10 * 1024 * 1024, 'x') << Connect::TcpUp << int(ProtocolModbusTcp) << 1;
    // Only the first MiB is read; keys beyond it count as absent.
    QTest::newRow("10 MB of comments, settings at the end")
        << QByteArray("; a comment line\n").repeated(10 * 1024 * 1024 / 17) + tcpConfig() << Connect::Nothing
        << int(ProtocolDefine) << 1;
    QTest::newRow("only the common section, serial")
        << QByteArray("[common]\ncommunication_mode=Serial\ncommunication_protocol=Modbus\n")
        << Connect::SerialFails << int(ProtocolModbusRtu) << 0;
    QTest::newRow("only the common section, network")
        << QByteArray("[common]\ncommunication_mode=Wifi\ncommunication_protocol=TCP Modbus\n")
        << Connect::TcpFails << int(ProtocolModbusTcp) << 1;
    QTest::newRow("no common section")
        << QByteArray("[type]\ncontroller_type=MPPT\n[Wifi]\nip_address=127.0.0.1\nip_port=502\n")
        << Connect::Nothing << int(ProtocolDefine) << 1;
    QTest::newRow("port is not a number")
        << tcpConfig().replace(tcpPortMark, "http") << Connect::TcpFails << int(ProtocolModbusTcp) << 1;
    QTest::newRow("port with a unit") << tcpConfig().replace(tcpPortMark, tcpPortMark + " tcp")
                                      << Connect::TcpFails << int(ProtocolModbusTcp) << 1;
    QTest::newRow("address is not a number")
        << serialConfig("seventeen") << Connect::SerialUp << int(ProtocolModbusRtu) << 0;
    QTest::newRow("address beyond a byte")
        << serialConfig("273") << Connect::SerialUp << int(ProtocolModbusRtu) << 17;
    QTest::newRow("unknown mode") << tcpConfig().replace("=Wifi", "=Bluetooth") << Connect::Nothing
                                  << int(ProtocolModbusTcp) << 1;
    QTest::newRow("mode in another case") << tcpConfig().replace("=Wifi", "=wifi") << Connect::Nothing
                                          << int(ProtocolModbusTcp) << 1;
    // An unknown protocol leaves the engines as they were: Define after start-up.
    QTest::newRow("unknown protocol") << tcpConfig("RS485") << Connect::TcpUp << int(ProtocolDefine) << 1;
    QTest::newRow("empty values")
        << QByteArray("[common]\ncommunication_mode=\ncommunication_protocol=\n[type]\ncontroller_type=\n")
        << Connect::Nothing << int(ProtocolDefine) << 1;
    QTest::newRow("header without a closing bracket")
        << QByteArray("[common\ncommunication_mode=Wifi\n") << Connect::Nothing << int(ProtocolDefine) << 1;
}

void tst_bad_config::windowCopes()
{
    QFETCH(QByteArray, file);
    QFETCH(Connect, connect);
    QFETCH(int, protocol);
    QFETCH(int, address);

    WindowFixture f;
    MainWindow &w = f.w();
    TcpDevice device;
    PtyPair pty;
    QVERIFY(device.isListening() && pty.isOpen());
    file.replace(tcpPortMark, QByteArray::number(device.port()));
    file.replace(ptyMark, QFile::encodeName(pty.slavePath()));
    QVERIFY(writeFile(f.dir.configPath(), file));

    MessageBoxCatcher boxes;
    pressConnect(w);
    switch (connect) {
    case Connect::TcpUp:
        QVERIFY(device.waitForClient());
        QVERIFY(waitForLinkUp(w));
        break;
    case Connect::SerialUp:
        QVERIFY(linkIsUp(w));
        break;
    case Connect::SerialFails:
        QTRY_COMPARE(boxes.count(), 1);
        QVERIFY2(boxes.texts().first().startsWith(
                     QStringLiteral("The serial port failed to open, please resched the serial port!")),
                 qPrintable(boxes.texts().first()));
        if (file.contains("serial_port"))
            QVERIFY(boxes.texts().first().contains(QStringLiteral("Port: ")));
        else
            QVERIFY(boxes.texts().first().contains(QStringLiteral("No serial port is set")));
        break;
    case Connect::Nothing:
    case Connect::TcpFails:
        QTest::qWait(200);
        QVERIFY(!device.hasPendingClient() && !device.client());
        break;
    }
    if (connect != Connect::TcpUp && connect != Connect::SerialUp)
        QVERIFY(!linkIsUp(w));
    if (connect != Connect::SerialFails)
        QCOMPARE(boxes.count(), 0);
    QCOMPARE(w.core.mainEngine.protocol(), protocol);
    QCOMPARE(int(w.core.mainEngine.slaveAddress()), address);
    QVERIFY(w.core.refreshTimer.isActive());

    QVERIFY(openAndCancelSettings(w));
    if (linkIsUp(w))
        pressConnect(w);   // and down again
    QVERIFY(!linkIsUp(w));
    QVERIFY2(readFile(f.dir.configPath()) == file, "reading changed config.ini");
}

QTEST_MAIN(tst_bad_config)
#include "tst_bad_config.moc"
