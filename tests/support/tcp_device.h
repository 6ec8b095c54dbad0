#ifndef TCP_DEVICE_H
#define TCP_DEVICE_H

#include <QByteArray>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

// The device end of a TCP link on 127.0.0.1: listens on a free port and
// takes the program's connection. Everything runs on the test's thread, so
// each wait keeps the event loop running.
class TcpDevice
{
public:
    TcpDevice();   // listens at once; check isListening()
    ~TcpDevice();

    bool isListening() const { return server_.isListening(); }
    quint16 port() const { return server_.serverPort(); }

    // Takes the program's connection; a closed one is replaced by the next.
    bool waitForClient(int timeoutMs = 2000);
    bool hasPendingClient() const { return server_.hasPendingConnections(); }
    QTcpSocket *client() const { return client_; }

    bool write(const QByteArray &bytes);
    QByteArray readExactly(int n, int timeoutMs = 2000);
    QByteArray readFor(int timeoutMs);

    // Closes the program's connection from the device side.
    void closeClient();
    // Stops accepting; the port refuses connections afterwards.
    void stopListening() { server_.close(); }

private:
    QTcpServer server_;
    QPointer<QTcpSocket> client_;
};

// A port on 127.0.0.1 with nothing listening on it (connections are refused).
quint16 refusedTcpPort();


// A port on 127.0.0.1 where a connection attempt stays pending: the listen
// queue holds one connection (made here) and is never accepted from, so
// later SYNs go unanswered and the connecting side waits.
class StalledTcpPort
{
public:
    StalledTcpPort();
    ~StalledTcpPort();
    bool isValid() const { return port_ != 0; }
    quint16 port() const { return port_; }

private:
    int fd_ = -1;
    quint16 port_ = 0;
    QTcpSocket filler_;
};

#endif
