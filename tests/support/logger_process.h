#ifndef LOGGER_PROCESS_H
#define LOGGER_PROCESS_H

#include <QByteArray>
#include <QProcess>
#include <QStringList>

#include <csignal>

// The solar-logger the build made (SOLAR_LOGGER_EXE).
QString loggerExe();

// solar-logger run by a test; killed if the test ends with it still running.
// dataHome, when given, is its XDG_DATA_HOME (where it records by default);
// environment adds variables to its environment.
struct LoggerProcess
{
    explicit LoggerProcess(const QStringList &arguments, const QString &dataHome = QString(),
                           const QProcessEnvironment &environment = QProcessEnvironment());
    ~LoggerProcess();
    LoggerProcess(const LoggerProcess &) = delete;
    LoggerProcess &operator=(const LoggerProcess &) = delete;

    // Everything it has written so far.
    QByteArray out();
    QByteArray err();
    // Sends the signal and waits for the end; what was left unread is read.
    bool stop(int signal = SIGTERM);

    QProcess process;
    QByteArray stdoutText;
    QByteArray stderrText;
};

#endif
