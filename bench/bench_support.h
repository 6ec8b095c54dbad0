#ifndef BENCH_SUPPORT_H
#define BENCH_SUPPORT_H

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QVector>
#include <functional>
#include <memory>

class MainWindow;

// Machine the figures were taken on: cores and CPU model.
QString machineDescription();

double median(QVector<double> values);
double percentile(QVector<double> values, double p);

// CPU time (user + system) of a process or of this one, in seconds.
double cpuSeconds(qint64 pid = 0);
// Resident memory of this process, in bytes.
qint64 residentBytes();

// One line of the summary: the figure, its reference or target, the ratio and
// whether the target is met. scripts/bench collects the lines starting "RESULT".
void reportResult(const QString &name, double value, const QString &unit, const QString &reference,
                  double ratio, bool met);
void reportNote(const QString &text);

// Runs the events of this thread until done() holds or timeoutMs has passed,
// blocking in the event loop (no sleeping) in between.
bool runEventsUntil(const std::function<bool()> &done, int timeoutMs);

// The real window in a temporary working directory, connected to a device by
// writing config.ini and pressing Connect, as an operator would.
class BenchWindow
{
public:
    explicit BenchWindow(bool shown = true);
    ~BenchWindow();
    MainWindow &w() { return *window_; }

    bool connectTcp(quint16 port, const QString &protocol, const QString &controller = QStringLiteral("MPPT"));
    // config.ini for a TCP link; the next Connect reads it.
    bool writeTcpConfig(quint16 port, const QString &protocol, const QString &controller = QStringLiteral("MPPT"));
    void pressConnect();
    bool connectSerial(const QString &path, int baud, const QString &protocol,
                       const QString &controller = QStringLiteral("MPPT"));
    void disconnectLink();
    bool linkUp() const;
    // Stops the refresh cycle, so the benchmark issues every request itself.
    void holdRefreshCycle();

private:
    bool writeConfig(const QString &text);
    QTemporaryDir dir_;
    QString previousDir_;
    std::unique_ptr<MainWindow> window_;
};

// The simulator executable in a process of its own (its CPU is not ours).
class SimProcess
{
public:
    ~SimProcess();
    // Starts solar-controller-sim with the arguments (on a free port unless
    // they name one) and waits until it listens.
    bool startTcp(const QStringList &arguments);
    quint16 port() const { return port_; }
    qint64 pid() const { return process_.processId(); }

private:
    QProcess process_;
    quint16 port_ = 0;
};

#endif
