#ifndef TEMP_WORKDIR_H
#define TEMP_WORKDIR_H

#include <QString>
#include <QTemporaryDir>

#include "device_data.h"

// A fresh, empty working directory for the lifetime of the object: the
// program reads and writes "./config.ini", so every test gets its own.
// The previous working directory is restored on destruction.
class TempWorkDir
{
public:
    TempWorkDir();
    ~TempWorkDir();
    TempWorkDir(const TempWorkDir &) = delete;
    TempWorkDir &operator=(const TempWorkDir &) = delete;

    bool isValid() const { return entered_; }
    QString path() const { return dir_.path(); }
    QString configPath() const;

    // Writes text as config.ini, exactly as given.
    bool writeConfig(const QString &iniText) const;
    // The file's text; the empty text when there is no file.
    QString readConfig() const;
    bool configExists() const;
    void removeConfig() const;

private:
    QTemporaryDir dir_;
    QString previous_;
    bool entered_ = false;
};

// config.ini texts as the settings dialog writes them.
// protocol: "Define", "Modbus" or "TCP Modbus"; controller: "PWM" or "MPPT".
QString serialConfigText(const QString &port, int baud, int address,
                         const QString &protocol, const QString &controller = QStringLiteral("PWM"));
QString tcpConfigText(quint16 port, const QString &protocol,
                      const QString &controller = QStringLiteral("PWM"),
                      const QString &host = QStringLiteral("127.0.0.1"));
// Both link sections, with the mode choosing between them.
QString fullConfigText(const QString &mode, const QString &serialPort, int baud, int address,
                       quint16 tcpPort, const QString &protocol,
                       const QString &controller = QStringLiteral("PWM"));

// The config.ini texts of a protocol and a controller type.
QString configProtocol(ProtocolKind protocol);
QString configController(ControllerType type);

#endif
