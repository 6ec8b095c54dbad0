#include "temp_workdir.h"

#include <QDir>
#include <QFile>

TempWorkDir::TempWorkDir() : previous_(QDir::currentPath())
{
    entered_ = dir_.isValid() && QDir::setCurrent(dir_.path());
}

TempWorkDir::~TempWorkDir()
{
    if (entered_)
        QDir::setCurrent(previous_);
}

QString TempWorkDir::configPath() const
{
    return dir_.filePath(QStringLiteral("config.ini"));
}

bool TempWorkDir::writeConfig(const QString &iniText) const
{
    QFile f(configPath());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = iniText.toUtf8();
    return f.write(bytes) == bytes.size();
}

QString TempWorkDir::readConfig() const
{
    QFile f(configPath());
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.readAll());
}

bool TempWorkDir::configExists() const
{
    return QFile::exists(configPath());
}

void TempWorkDir::removeConfig() const
{
    QFile::remove(configPath());
}

QString fullConfigText(const QString &mode, const QString &serialPort, int baud, int address,
                       quint16 tcpPort, const QString &protocol, const QString &controller)
{
    return QStringLiteral("[common]\n"
                          "communication_mode=%1\n"
                          "communication_protocol=%2\n"
                          "[type]\n"
                          "controller_type=%3\n"
                          "[serial]\n"
                          "serial_port=%4\n"
                          "serial_baud=%5\n"
                          "serial_address=%6\n"
                          "[Wifi]\n"
                          "ip_address=127.0.0.1\n"
                          "ip_port=%7\n")
        .arg(mode, protocol, controller, serialPort)
        .arg(baud)
        .arg(address)
        .arg(tcpPort);
}

QString serialConfigText(const QString &port, int baud, int address,
                         const QString &protocol, const QString &controller)
{
    return QStringLiteral("[common]\n"
                          "communication_mode=Serial\n"
                          "communication_protocol=%1\n"
                          "[type]\n"
                          "controller_type=%2\n"
                          "[serial]\n"
                          "serial_port=%3\n"
                          "serial_baud=%4\n"
                          "serial_address=%5\n")
        .arg(protocol, controller, port)
        .arg(baud)
        .arg(address);
}

QString tcpConfigText(quint16 port, const QString &protocol, const QString &controller,
                      const QString &host)
{
    return QStringLiteral("[common]\n"
                          "communication_mode=Wifi\n"
                          "communication_protocol=%1\n"
                          "[type]\n"
                          "controller_type=%2\n"
                          "[Wifi]\n"
                          "ip_address=%3\n"
                          "ip_port=%4\n")
        .arg(protocol, controller, host)
        .arg(port);
}

QString configProtocol(ProtocolKind protocol)
{
    switch (protocol) {
    case ProtocolDefine: return QStringLiteral("Define");
    case ProtocolModbusRtu: return QStringLiteral("Modbus");
    case ProtocolModbusTcp: return QStringLiteral("TCP Modbus");
    }
    return QString();
}

QString configController(ControllerType type)
{
    return type == ControllerPwm ? QStringLiteral("PWM") : QStringLiteral("MPPT");
}
