#include "tcp_device.h"

#include <QElapsedTimer>
#include <QTest>

TcpDevice::TcpDevice()
{
    server_.listen(QHostAddress::LocalHost, 0);
}

TcpDevice::~TcpDevice()
{
    if (client_)
        client_->abort();
}

bool TcpDevice::waitForClient(int timeoutMs)
{
    if (!client_ || client_->state() != QAbstractSocket::ConnectedState) {
        if (QTest::qWaitFor([this] { return server_.hasPendingConnections(); }, timeoutMs))
            client_ = server_.nextPendingConnection();
    }
    return client_ && client_->state() == QAbstractSocket::ConnectedState;
}

bool TcpDevice::write(const QByteArray &bytes)
{
    if (!client_ || client_->write(bytes) != bytes.size())
        return false;
    client_->flush();
    return true;
}

QByteArray TcpDevice::readExactly(int n, int timeoutMs)
{
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (client_ && got.size() < n && clock.elapsed() < timeoutMs) {
        got += client_->read(n - got.size());
        if (got.size() < n)
            QTest::qWait(2);
    }
    return got;
}

QByteArray TcpDevice::readFor(int timeoutMs)
{
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (client_ && clock.elapsed() < timeoutMs) {
        QTest::qWait(2);
        got += client_->readAll();
    }
    return got;
}

void TcpDevice::closeClient()
{
    if (client_) {
        client_->disconnectFromHost();
        if (client_ && client_->state() != QAbstractSocket::UnconnectedState)
            client_->waitForDisconnected(1000);
    }
}

quint16 refusedTcpPort()
{
    // Bind a port, then release it: nothing listens there afterwards.
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}
