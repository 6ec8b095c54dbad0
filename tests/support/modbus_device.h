#ifndef MODBUS_DEVICE_H
#define MODBUS_DEVICE_H

#include <QMutex>
#include <QThread>
#include <QVector>
#include <atomic>

#include <modbus.h>

// libmodbus acting as the controller: a holding-register map served by
// modbus_receive/modbus_reply on a thread of its own, so the program under
// test and an independent Modbus implementation talk over a real link.
//   ModbusDevice::tcp()    listens on 127.0.0.1 at a free port (port()).
//   ModbusDevice::rtu(fd)  serves RTU on an open descriptor, e.g. the master
//                          side of a PtyPair whose slave the program opens.
// Call start() to serve; the destructor stops and joins the thread.
class ModbusDevice : public QThread
{
public:
    static constexpr int RegisterCount = 144;

    static ModbusDevice *tcp(int slave = 1);
    static ModbusDevice *rtu(int fd, int slave = 1);
    ~ModbusDevice() override;

    bool isValid() const { return ctx_ != nullptr; }
    quint16 port() const { return port_; }

    void setRegister(int address, quint16 value);
    void setRegisters(int start, const QVector<quint16> &values);
    quint16 registerValue(int address) const;
    QVector<quint16> registers(int start, int count) const;
    // Requests answered so far (any function, exceptions included).
    int repliesSent() const { return replies_; }

    void stop();

protected:
    void run() override;

private:
    ModbusDevice() = default;
    bool createMapping();
    void serveRtu();
    void serveTcp();
    void serveClient();

    modbus_t *ctx_ = nullptr;
    modbus_mapping_t *map_ = nullptr;
    mutable QMutex mapLock_;
    bool isTcp_ = false;
    int listenFd_ = -1;
    quint16 port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> replies_{0};
};

#endif
