#include "modbus_device.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// Short waits so stop() is noticed quickly.
constexpr int PollMicroseconds = 50000;

bool readable(int fd)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    timeval tv{0, PollMicroseconds};
    return select(fd + 1, &set, nullptr, nullptr, &tv) > 0;
}
}

bool ModbusDevice::createMapping()
{
    map_ = modbus_mapping_new(0, 0, RegisterCount, 0);
    modbus_set_indication_timeout(ctx_, 0, PollMicroseconds);
    return map_ != nullptr;
}

ModbusDevice *ModbusDevice::tcp(int slave)
{
    auto *device = new ModbusDevice;
    device->isTcp_ = true;
    device->ctx_ = modbus_new_tcp("127.0.0.1", 0);
    if (!device->ctx_)
        return device;
    modbus_set_slave(device->ctx_, slave);
    device->listenFd_ = modbus_tcp_listen(device->ctx_, 1);
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (device->listenFd_ < 0 || !device->createMapping()
        || getsockname(device->listenFd_, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
        modbus_free(device->ctx_);
        device->ctx_ = nullptr;
        return device;
    }
    device->port_ = ntohs(addr.sin_port);
    return device;
}

ModbusDevice *ModbusDevice::rtu(int fd, int slave)
{
    auto *device = new ModbusDevice;
    // The device name is never opened: the context works on fd directly.
    device->ctx_ = modbus_new_rtu("/dev/null", 9600, 'N', 8, 1);
    if (!device->ctx_)
        return device;
    modbus_set_slave(device->ctx_, slave);
    modbus_set_socket(device->ctx_, fd);
    if (!device->createMapping()) {
        modbus_free(device->ctx_);
        device->ctx_ = nullptr;
    }
    return device;
}

ModbusDevice::~ModbusDevice()
{
    stop();
    if (ctx_) {
        if (isTcp_) {
            if (modbus_get_socket(ctx_) >= 0)
                ::close(modbus_get_socket(ctx_));
            if (listenFd_ >= 0)
                ::close(listenFd_);
        }
        // The RTU descriptor belongs to the caller.
        modbus_set_socket(ctx_, -1);
        modbus_free(ctx_);
    }
    if (map_)
        modbus_mapping_free(map_);
}

void ModbusDevice::stop()
{
    stop_ = true;
    wait();
}

void ModbusDevice::setRegister(int address, quint16 value)
{
    QMutexLocker lock(&mapLock_);
    if (map_ && address >= 0 && address < RegisterCount)
        map_->tab_registers[address] = value;
}

void ModbusDevice::setRegisters(int start, const QVector<quint16> &values)
{
    for (int i = 0; i < values.size(); ++i)
        setRegister(start + i, values[i]);
}

quint16 ModbusDevice::registerValue(int address) const
{
    QMutexLocker lock(&mapLock_);
    return map_ && address >= 0 && address < RegisterCount ? map_->tab_registers[address] : 0;
}

QVector<quint16> ModbusDevice::registers(int start, int count) const
{
    QVector<quint16> out;
    for (int i = 0; i < count; ++i)
        out << registerValue(start + i);
    return out;
}

void ModbusDevice::run()
{
    if (!ctx_)
        return;
    if (isTcp_)
        serveTcp();
    else
        serveRtu();
}

void ModbusDevice::serveRtu()
{
    while (!stop_) {
        if (!readable(modbus_get_socket(ctx_)))
            continue;
        serveClient();
        if (!stop_)
            QThread::msleep(5);   // the line may be hung up until reopened
    }
}

void ModbusDevice::serveTcp()
{
    while (!stop_) {
        if (!readable(listenFd_))
            continue;
        if (modbus_tcp_accept(ctx_, &listenFd_) < 0)
            continue;
        serveClient();
        ::close(modbus_get_socket(ctx_));
        modbus_set_socket(ctx_, -1);
    }
}

// Answers requests until the peer goes away or stop() is called.
void ModbusDevice::serveClient()
{
    uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
    while (!stop_) {
        const int rc = modbus_receive(ctx_, query);
        if (rc > 0) {
            QMutexLocker lock(&mapLock_);
            modbus_reply(ctx_, query, rc, map_);
            ++replies_;
        } else if (rc == 0 || errno == ETIMEDOUT || errno == EMBBADCRC || errno == EMBBADDATA) {
            continue;   // another slave's frame, silence or a broken frame
        } else {
            return;
        }
    }
}
