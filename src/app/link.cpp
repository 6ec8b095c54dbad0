// Link transport: connect/disconnect, serial port and TCP socket, and the
// byte path between the link and the two protocol engines.
#include "mainwindow.h"

#include <QAction>
#include <QDebug>
#include <QMessageBox>

#include <cstring>

#include "config_file.h"
#include "ui_mainwindow.h"

namespace {

struct SettingCode
{
    const char *text;
    int code;
};

// config.ini texts, compared exactly.
const SettingCode protocolCodes[] = {
    {"Modbus", ProtocolModbusRtu},
    {"TCP Modbus", ProtocolModbusTcp},
    {"Define", ProtocolDefine},
};

const SettingCode controllerCodes[] = {
    {"PWM", ControllerPwm},
    {"MPPT", ControllerMppt},
};

template <size_t N>
int codeOf(const SettingCode (&table)[N], const QString &text)
{
    for (const SettingCode &entry : table)
        if (text == QLatin1String(entry.text))
            return entry.code;
    return -1;
}

const QString serialMode = QStringLiteral("Serial");
const QString tcpMode = QStringLiteral("Wifi");

// Zeroed in front of every response, so a text field decoded from a Define
// frame always finds a terminating zero after the frame.
constexpr int rxFrameClearBytes = 1024;

// Two upper-case hex digits and a blank per byte, the last byte included.
QString frameText(const QByteArray &bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    QString text;
    text.reserve(bytes.size() * 3);
    for (char c : bytes) {
        const auto b = quint8(c);
        text += QLatin1Char(digits[b >> 4]);
        text += QLatin1Char(digits[b & 0x0F]);
        text += QLatin1Char(' ');
    }
    return text;
}

// Setting a text box lays its document out anew; the same frame again
// (a repeated request, an unchanged answer) leaves it as it is.
void showFrame(QTextEdit *box, const QByteArray &bytes)
{
    const QString text = frameText(bytes);
    if (box->toPlainText() != text)
        box->setPlainText(text);
}

// Both devices buffer writes until the event loop comes round again; the
// request goes out now instead, so the answer can be on its way sooner.
void sendNow(QIODevice *link)
{
    if (auto *socket = qobject_cast<QAbstractSocket *>(link))
        socket->flush();
    else if (auto *port = qobject_cast<QSerialPort *>(link))
        port->flush();
}

} // namespace

void MainWindow::menu_connect_solt()
{
    if (!linkIsDown()) {
        connectAction->setText(tr("Connect"));
        resetDisplay();
        if (serialPort.isOpen())
            serialPort.close();
        tcpSocket.disconnectFromHost();
        return;
    }

    ConfigFile config;
    modeSetting = config.value(QStringLiteral("common/communication_mode"));
    protocolSetting = config.value(QStringLiteral("common/communication_protocol"));
    controllerSetting = config.value(QStringLiteral("type/controller_type"));
    qDebug() << "mode_str" << modeSetting;

    scanEngine.setResponseTimeout(500);
    scanEngine.setMaxRetries(0);
    applyProtocolSetting();
    applyControllerSetting();

    // A TCP attempt still under way from an earlier Connect must not bring
    // the link up later behind the link chosen now.
    tcpSocket.abort();

    if (modeSetting == serialMode) {
        if (!openSerialLink()) {
            QMessageBox::about(this, tr("Connect"),
                               tr("The serial port failed to open, please resched the serial port!"));
            return;
        }
        if (linkIsDown())
            connectAction->setText(tr("Disonnect"));
    } else if (modeSetting == tcpMode) {
        openTcpLink();
    }
}

void MainWindow::applyProtocolSetting()
{
    const int protocol = codeOf(protocolCodes, protocolSetting);
    if (protocol < 0)
        return;
    mainEngine.setProtocol(protocol);
    scanEngine.setProtocol(protocol);
}

// The scan engine probes with its default controller type.
void MainWindow::applyControllerSetting()
{
    const int type = codeOf(controllerCodes, controllerSetting);
    if (type >= 0)
        mainEngine.setControllerType(type);
}

bool MainWindow::openSerialLink()
{
    ConfigFile config;
    const QString name = config.value(QStringLiteral("Serial/serial_port"));
    const QString baud = config.value(QStringLiteral("Serial/serial_baud"));
    const auto address = quint8(config.intValue(QStringLiteral("Serial/serial_address")));
    qDebug() << "serialPort" << name;
    qDebug() << "serialBaud" << baud;
    qDebug() << "serialAddress" << int(address);

    // Only a serial Connect sets the address; TCP keeps the last one used.
    mainEngine.setSlaveAddress(address);

    serialPort.setPortName(name);
    serialPort.setDataBits(QSerialPort::Data8);
    serialPort.setStopBits(QSerialPort::OneStop);
    serialPort.setParity(QSerialPort::NoParity);
    serialPort.setBaudRate(baud.toInt(nullptr, 10), QSerialPort::AllDirections);
    return serialPort.open(QIODevice::ReadWrite);
}

void MainWindow::openTcpLink()
{
    ConfigFile config;
    const QString host = config.value(QStringLiteral("Wifi/ip_address"));
    const QString port = config.value(QStringLiteral("Wifi/ip_port"));
    tcpSocket.abort();
    tcpSocket.connectToHost(host, quint16(port.toInt(nullptr, 10)), QIODevice::ReadWrite,
                            QAbstractSocket::AnyIPProtocol);
}

void MainWindow::onSerialError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError)
        return;
    if (connectAction->text() == tr("Disonnect"))
        connectAction->setText(tr("Connect"));
    if (serialPort.isOpen())
        serialPort.close();
    qDebug() << "串口" << serialPort.portName() << "ConnectDisonnect！";
}

void MainWindow::onTcpConnected()
{
    if (linkIsDown())
        connectAction->setText(tr("Disonnect"));
    qDebug() << "tcp client Connect成功！";
}

void MainWindow::onTcpDisconnected()
{
    if (connectAction->text() == tr("Disonnect"))
        connectAction->setText(tr("Connect"));
    qDebug() << "tcp client ConnectDisonnect！";
}

// The engine whose request is outstanding, mainEngine first.
com_protocol_solar *MainWindow::activeEngine()
{
    if (mainEngine.txLength != 0)
        return &mainEngine;
    if (scanEngine.txLength != 0)
        return &scanEngine;
    return nullptr;
}

QIODevice *MainWindow::activeLink()
{
    QIODevice *link = nullptr;
    if (modeSetting == serialMode)
        link = &serialPort;
    else if (modeSetting == tcpMode)
        link = &tcpSocket;
    return link && link->isOpen() ? link : nullptr;
}

void MainWindow::dataSendSlot()
{
    com_protocol_solar *engine = activeEngine();
    if (!engine) {
        setRxLampGray();
        setTxLampGreen();
        return;
    }
    rxBuffer.clear();
    const int length = qBound(0, engine->txLength, int(sizeof engine->txFrame));
    const QByteArray frame(reinterpret_cast<const char *>(engine->txFrame), length);
    if (QIODevice *link = activeLink()) {
        link->write(frame);
        sendNow(link);
    }
    showFrame(ui->textEdit, frame);
    setRxLampGray();
    setTxLampGreen();
}

void MainWindow::dataReceiveSlot()
{
    com_protocol_solar *engine = activeEngine();
    if (!engine)
        return;   // left in the link's buffer until a request is pending
    setTxLampGray();
    int n = engine->expectedResponseLength();
    if (QIODevice *link = activeLink())
        rxBuffer += link->readAll();
    if (n <= 0) {
        rxBuffer.clear();   // nothing this request could be answered with
        return;
    }
    if (rxBuffer.size() < n) {
        // A Modbus exception answer is short; handing it over lets the
        // engine re-send at once rather than after its timeout.
        n = engine->exceptionResponseLength(
            reinterpret_cast<const quint8 *>(rxBuffer.constData()), rxBuffer.size());
        if (n == 0)
            return;
    }

    // Whatever came in front of the response is noise or a stale answer.
    // Trimming here also keeps a stream of garbage from growing the buffer.
    rxBuffer = rxBuffer.right(n);
    const int copied = qMin(n, int(sizeof engine->rxFrame));
    memset(engine->rxFrame, 0, qMin(rxFrameClearBytes, int(sizeof engine->rxFrame)));
    memcpy(engine->rxFrame, rxBuffer.constData(), size_t(copied));
    engine->rxLength = copied;
    showFrame(ui->textEdit_2, rxBuffer);
    engine->processResponse();
}

void MainWindow::dataReceiveSuccessSlot()
{
    setTxLampGray();
    setRxLampGreen();
    if (paramRequestState == 1) {
        paramRequestState = 2;
        pollReplyState = 4;
    } else if (paramRequestState == 0) {
        pollReplyState = 6;
    }
}

void MainWindow::dataReceiveFailSlot()
{
    setTxLampGray();
    setRxLampRed();
    if (paramRequestState == 1) {
        paramRequestState = 3;
        pollReplyState = 4;
    } else if (paramRequestState == 0) {
        pollReplyState = 7;
    }
}
