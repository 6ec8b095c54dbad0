#include "bench_support.h"

#include <QAction>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTextStream>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <unistd.h>

#include "mainwindow.h"

QString machineDescription()
{
    QString model = QStringLiteral("unknown CPU");
    QFile cpuinfo(QStringLiteral("/proc/cpuinfo"));
    if (cpuinfo.open(QIODevice::ReadOnly)) {
        const QString text = QString::fromLatin1(cpuinfo.readAll());
        const auto m = QRegularExpression(QStringLiteral("model name\\s*:\\s*(.*)")).match(text);
        if (m.hasMatch())
            model = m.captured(1).trimmed();
    }
    return QStringLiteral("%1 cores (nproc), %2").arg(QThread::idealThreadCount()).arg(model);
}

double median(QVector<double> values)
{
    return percentile(std::move(values), 0.5);
}

double percentile(QVector<double> values, double p)
{
    if (values.isEmpty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const int at = qBound(0, int(p * (values.size() - 1) + 0.5), values.size() - 1);
    return values.at(at);
}

double cpuSeconds(qint64 pid)
{
    QFile stat(pid ? QStringLiteral("/proc/%1/stat").arg(pid) : QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return 0.0;
    const QByteArray line = stat.readAll();
    // The command name may hold blanks; the fields follow its closing parenthesis.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0.0;
    const double ticks = fields.at(11).toDouble() + fields.at(12).toDouble();   // utime, stime
    return ticks / double(sysconf(_SC_CLK_TCK));
}

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * sysconf(_SC_PAGESIZE) : 0;
}

void reportResult(const QString &name, double value, const QString &unit, const QString &reference,
                  double ratio, bool met)
{
    QTextStream(stdout) << QStringLiteral("RESULT %1: %2 %3 | %4 | ratio %5 | %6\n")
                               .arg(name)
                               .arg(value, 0, 'g', 4)
                               .arg(unit, reference)
                               .arg(ratio, 0, 'f', 3)
                               .arg(met ? QStringLiteral("target met") : QStringLiteral("TARGET MISSED"));
    std::fflush(stdout);
}

void reportNote(const QString &text)
{
    QTextStream(stdout) << QStringLiteral("  %1\n").arg(text);
    std::fflush(stdout);
}

bool runEventsUntil(const std::function<bool()> &done, int timeoutMs)
{
    // QCoreApplication::processEvents(flags, ms) never blocks, so a loop on it
    // would spin and bill its own CPU to the tool; QEventLoop::processEvents
    // with WaitForMoreEvents sleeps until something happens, and the timer
    // makes sure something happens by the deadline.
    QDeadlineTimer deadline(timeoutMs);
    QTimer wake;
    wake.setSingleShot(true);
    // A coarse timer may fire before the deadline and leave the loop asleep.
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(timeoutMs);
    QEventLoop loop;
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        loop.processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
    }
    return true;
}

BenchWindow::BenchWindow(bool shown)
{
    previousDir_ = QDir::currentPath();
    QDir::setCurrent(dir_.path());
    window_ = std::make_unique<MainWindow>();
    if (shown)
        window_->show();
}

BenchWindow::~BenchWindow()
{
    window_.reset();
    QDir::setCurrent(previousDir_);
}

bool BenchWindow::writeConfig(const QString &text)
{
    QFile f(QDir(dir_.path()).filePath(QStringLiteral("config.ini")));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    f.write(text.toUtf8());
    return true;
}

bool BenchWindow::linkUp() const
{
    return window_->connectAction->text() == QLatin1String("Disonnect");
}

bool BenchWindow::writeTcpConfig(quint16 port, const QString &protocol, const QString &controller)
{
    return writeConfig(QStringLiteral("[common]\ncommunication_mode=Wifi\ncommunication_protocol=%1\n"
                                      "[type]\ncontroller_type=%2\n"
                                      "[Wifi]\nip_address=127.0.0.1\nip_port=%3\n")
                           .arg(protocol, controller)
                           .arg(port));
}

void BenchWindow::pressConnect()
{
    window_->connectAction->trigger();
}

bool BenchWindow::connectTcp(quint16 port, const QString &protocol, const QString &controller)
{
    if (!writeTcpConfig(port, protocol, controller))
        return false;
    pressConnect();
    return runEventsUntil([this] { return linkUp(); }, 5000);
}

bool BenchWindow::connectSerial(const QString &path, int baud, const QString &protocol,
                                const QString &controller)
{
    const QString config = QStringLiteral("[common]\ncommunication_mode=Serial\ncommunication_protocol=%1\n"
                                          "[type]\ncontroller_type=%2\n"
                                          "[serial]\nserial_port=%3\nserial_baud=%4\nserial_address=1\n")
                               .arg(protocol, controller, path)
                               .arg(baud);
    if (!writeConfig(config))
        return false;
    window_->connectAction->trigger();
    return linkUp();
}

void BenchWindow::disconnectLink()
{
    if (linkUp())
        window_->connectAction->trigger();
    runEventsUntil([] { return false; }, 50);
}

void BenchWindow::holdRefreshCycle()
{
    window_->core.refreshTimer.stop();
}

SimProcess::~SimProcess()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(2000))
            process_.kill();
        process_.waitForFinished(2000);
    }
}

bool SimProcess::startTcp(const QStringList &arguments)
{
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    QStringList all = arguments;
    if (!all.contains(QStringLiteral("--tcp-port")))
        all << QStringLiteral("--tcp-port") << QStringLiteral("0");
    process_.start(QStringLiteral(SOLAR_SIM_EXE), all);
    if (!process_.waitForStarted(5000))
        return false;
    const QRegularExpression listening(QStringLiteral("listening on 127\\.0\\.0\\.1:(\\d+)"));
    QDeadlineTimer deadline(5000);
    QByteArray out;
    while (!deadline.hasExpired() && process_.waitForReadyRead(int(deadline.remainingTime()))) {
        out += process_.readAllStandardOutput();
        const auto m = listening.match(QString::fromLatin1(out));
        if (m.hasMatch()) {
            port_ = quint16(m.captured(1).toUInt());
            return true;
        }
    }
    return false;
}
