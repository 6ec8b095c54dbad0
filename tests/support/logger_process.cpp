#include "logger_process.h"

#include <QProcessEnvironment>

#include <sys/types.h>

QString loggerExe()
{
    return QString::fromLocal8Bit(qgetenv("SOLAR_LOGGER_EXE"));
}

LoggerProcess::LoggerProcess(const QStringList &arguments, const QString &dataHome,
                             const QProcessEnvironment &environment)
{
    if (!dataHome.isEmpty() || !environment.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!dataHome.isEmpty())
            env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
        env.insert(environment);
        process.setProcessEnvironment(env);
    }
    process.start(loggerExe(), arguments);
}

LoggerProcess::~LoggerProcess()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(2000);
    }
}

QByteArray LoggerProcess::out()
{
    stdoutText += process.readAllStandardOutput();
    return stdoutText;
}

QByteArray LoggerProcess::err()
{
    stderrText += process.readAllStandardError();
    return stderrText;
}

bool LoggerProcess::stop(int signal)
{
    ::kill(pid_t(process.processId()), signal);
    const bool ended = process.waitForFinished(5000);
    out();
    err();
    return ended;
}
