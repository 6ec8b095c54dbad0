#include "tcp_device.h"

#include <QElapsedTimer>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

StalledTcpPort::StalledTcpPort()
{
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr *>(&addr), len) != 0
        || ::listen(fd_, 0) != 0
        || ::getsockname(fd_, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
        return;
    filler_.connectToHost(QHostAddress::LocalHost, ntohs(addr.sin_port));
    if (filler_.waitForConnected(1000))
        port_ = ntohs(addr.sin_port);
}

StalledTcpPort::~StalledTcpPort()
{
    filler_.abort();
    if (fd_ >= 0)
        ::close(fd_);
}
