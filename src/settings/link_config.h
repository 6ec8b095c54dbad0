#ifndef LINK_CONFIG_H
#define LINK_CONFIG_H

#include <QString>

class ConfigFile;

// The link settings of config.ini, read in one place: the window, the
// logger, the core and the recorder all take them from here, so they agree
// on the address a device is known by.
struct LinkConfig
{
    QString mode;          // [common] communication_mode: "Serial" or "Wifi"
    QString protocol;      // [common] communication_protocol
    QString controller;    // [type] controller_type
    QString serialPort;    // [Serial] serial_port
    int baud = 0;          // [Serial] serial_baud
    int addressSetting = 0;   // [Serial] serial_address as written
    QString host;          // [Wifi] ip_address
    int port = 0;          // [Wifi] ip_port as written

    bool serial() const { return mode == QLatin1String("Serial"); }
    bool tcp() const { return mode == QLatin1String("Wifi"); }
    // The bus address a serial link polls: one byte on the wire, so the
    // setting is taken modulo 256 as the window always has.
    quint8 address() const { return quint8(addressSetting); }
    quint16 tcpPort() const { return quint16(port); }
    // The address the polled device is known by in the history and on the
    // broker: the serial one as the core polls it, or over TCP the one the
    // engine kept (a TCP Connect does not set it).
    int deviceAddress(int engineAddress) const { return serial() ? int(address()) : engineAddress; }
};

LinkConfig readLinkConfig(const ConfigFile &config);

// Why a poller that nobody watches cannot start with link, naming the key
// ("[Serial] serial_address is ..."); empty when it can.
QString unpollableLinkReason(const LinkConfig &link);

// Addresses a Modbus bus can poll; 0 is the broadcast.
constexpr int FirstBusAddress = 1;
constexpr int LastBusAddress = 247;

#endif
