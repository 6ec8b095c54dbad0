#include "link_config.h"

#include "config_file.h"

LinkConfig readLinkConfig(const ConfigFile &config)
{
    LinkConfig link;
    link.mode = config.value(QStringLiteral("common/communication_mode"));
    link.protocol = config.value(QStringLiteral("common/communication_protocol"));
    link.controller = config.value(QStringLiteral("type/controller_type"));
    link.serialPort = config.value(QStringLiteral("Serial/serial_port"));
    link.baud = config.intValue(QStringLiteral("Serial/serial_baud"));
    link.addressSetting = config.intValue(QStringLiteral("Serial/serial_address"));
    link.host = config.value(QStringLiteral("Wifi/ip_address"));
    link.port = config.intValue(QStringLiteral("Wifi/ip_port"));
    return link;
}

QString unpollableLinkReason(const LinkConfig &link)
{
    if (!link.serial() && !link.tcp())
        return QStringLiteral("[common] communication_mode is \"%1\"; the logger needs Serial or Wifi")
            .arg(link.mode);
    if (link.protocol != QLatin1String("Define") && link.protocol != QLatin1String("Modbus")
        && link.protocol != QLatin1String("TCP Modbus"))
        return QStringLiteral("[common] communication_protocol is \"%1\"; expected Define, Modbus or TCP Modbus")
            .arg(link.protocol);
    if (link.protocol == QLatin1String("Define") && link.controller != QLatin1String("PWM")
        && link.controller != QLatin1String("MPPT"))
        return QStringLiteral("[type] controller_type is \"%1\"; expected PWM or MPPT").arg(link.controller);
    if (link.serial()) {
        if (link.serialPort.isEmpty())
            return QStringLiteral("[Serial] serial_port is empty");
        if (link.baud <= 0)
            return QStringLiteral("[Serial] serial_baud is not a speed");
        // Cut to a byte, 256 would poll address 0, which no device answers.
        if (link.addressSetting < FirstBusAddress || link.addressSetting > LastBusAddress)
            return QStringLiteral("[Serial] serial_address is %1; a device answers at %2 to %3")
                .arg(link.addressSetting).arg(FirstBusAddress).arg(LastBusAddress);
    } else {
        if (link.host.isEmpty())
            return QStringLiteral("[Wifi] ip_address is empty");
        if (link.port < 1 || link.port > 65535)
            return QStringLiteral("[Wifi] ip_port is not a port number");
    }
    return QString();
}
