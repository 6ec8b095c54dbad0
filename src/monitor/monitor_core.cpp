// Construction, wiring, teardown and the event-running wait of the core.
#include "monitor_core.h"
#include "monitor_trace.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

Q_LOGGING_CATEGORY(lcLink, "solar.link", QtInfoMsg)
Q_LOGGING_CATEGORY(lcPoll, "solar.poll", QtInfoMsg)

void waitWithEvents(int ms)
{
    QElapsedTimer clock;
    clock.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, ms);
        QThread::msleep(1);
    } while (clock.elapsed() < ms);
}

void MonitorCore::wait(int ms)
{
    if (!blockingWait_) {
        waitWithEvents(ms);
        return;
    }
    // The timer wakes the loop at the end; anything before it (an answer, a
    // signal) is handled as it comes.
    QElapsedTimer clock;
    clock.start();
    waitTimer_.start(qMax(0, ms));
    do {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
    } while (clock.elapsed() < ms && waitTimer_.isActive());
    waitTimer_.stop();
}

// Every connection is direct: the link slots run inside the engine call that
// emitted, and the reply states are set before that call returns.
MonitorCore::MonitorCore(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<MonitorCore::LinkEvent>();
    qRegisterMetaType<DeviceData>();
    qRegisterMetaType<DeviceIdentity>();
    qRegisterMetaType<MonitorCore::StepResult>();
    qRegisterMetaType<MonitorCore::ParameterOutcome>();
    qRegisterMetaType<MonitorCore::LinkReason>();
    connect(&serialPort, &QSerialPort::errorOccurred, this, &MonitorCore::onSerialError,
            Qt::DirectConnection);
    connect(&tcpSocket, &QTcpSocket::connected, this, &MonitorCore::onTcpConnected,
            Qt::DirectConnection);
    connect(&tcpSocket, &QTcpSocket::disconnected, this, &MonitorCore::onTcpDisconnected,
            Qt::DirectConnection);
    connect(&tcpSocket, &QTcpSocket::errorOccurred, this, &MonitorCore::onTcpError,
            Qt::DirectConnection);
    rxBuffer.reserve(256);
    txCopy_.reserve(256);
    waitTimer_.setSingleShot(true);
    waitTimer_.setTimerType(Qt::PreciseTimer);
    connectTimer_.setSingleShot(true);
    connect(&connectTimer_, &QTimer::timeout, this, &MonitorCore::onConnectTimeout);
    refreshTimer.start(TickIntervalMs);
    mainEngine.observer = linkStats_.mainObserver();
    scanEngine.observer = linkStats_.scanObserver();
    for (com_protocol_solar *engine : {&mainEngine, &scanEngine}) {
        connect(engine, &com_protocol_solar::beginSentData, this, &MonitorCore::dataSendSlot,
                Qt::DirectConnection);
        connect(engine, &com_protocol_solar::receiveSuccesSignal, this,
                &MonitorCore::dataReceiveSuccessSlot, Qt::DirectConnection);
        connect(engine, &com_protocol_solar::receiveFailSignal, this,
                &MonitorCore::dataReceiveFailSlot, Qt::DirectConnection);
    }
    connect(&serialPort, &QSerialPort::readyRead, this, &MonitorCore::dataReceiveSlot,
            Qt::DirectConnection);
    connect(&tcpSocket, &QTcpSocket::readyRead, this, &MonitorCore::dataReceiveSlot,
            Qt::DirectConnection);
    connect(&refreshTimer, &QTimer::timeout, this, &MonitorCore::refereshDisplayRef,
            Qt::DirectConnection);
}

// The members' own destructors may still emit (aborting the socket, closing
// the port), so their signals are cut off first: no slot may run on a
// half-destroyed core.
MonitorCore::~MonitorCore()
{
    if (refreshTimer.isActive())
        refreshTimer.stop();
    connectTimer_.stop();
    tcpSocket.disconnectFromHost();
    tcpSocket.abort();
    for (QObject *sender : std::initializer_list<QObject *>{&serialPort, &tcpSocket, &refreshTimer,
                                                            &connectTimer_, &mainEngine, &scanEngine})
        disconnect(sender, nullptr, this, nullptr);
}
