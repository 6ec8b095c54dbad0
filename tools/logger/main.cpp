// solar-logger: polls a charge controller without a window and writes what
// it reads as lines, until SIGTERM or SIGINT.
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "bus_bridge.h"
#include "bus_logger.h"
#include "config_file.h"
#include "export_command.h"
#include "headless_logger.h"
#include "line_sink.h"
#include "logger_options.h"
#include "metrics_endpoint.h"
#include "logger_recording.h"
#include "mqtt_extras_feeds.h"
#include "recorder.h"
#include "report_command.h"

#include <map>
#include <memory>

namespace {

int stopPipe[2] = {-1, -1};

// Only a byte into the pipe: the stop itself runs in the event loop, between
// two lines, never inside one.
void onStopSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(stopPipe[1], &byte, 1);
    errno = saved;
}

bool catchStopSignals()
{
    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGTERM, &action, nullptr) == 0 && sigaction(SIGINT, &action, nullptr) == 0;
}

int fail(const QString &message, int code = 2)
{
    QTextStream(stderr) << "solar-logger: " << message << '\n';
    return code;
}

void say(const QString &line)
{
    QTextStream(stderr) << "solar-logger: " << line << '\n';
}

// Serves /metrics on the cores' figures when --metrics asks for it; false,
// with why, when the endpoint cannot listen.
bool startMetrics(const LoggerOptions &options, MetricsEndpoint &metrics, const QVector<MonitorCore *> &cores,
                  std::unique_ptr<MetricsFeed> &feed, QString &why)
{
    if (options.metricsPort < 0)
        return true;
    if (!metrics.start(options.metricsHost, options.metricsPort, why))
        return false;
    feed = std::make_unique<MetricsFeed>(metrics, cores);
    QTextStream(stderr) << "solar-logger: metrics on http://" << QString::fromStdString(options.metricsHost)
                        << ':' << metrics.port() << "/metrics\n";
    return true;
}

// With [bus]: every device of the line on one link, each with a recorder of
// its own; one line stream and one history for all of them; in MQTT the line
// a bridge device and each controller a device behind it, with a broker
// connection of its own so that its last will is its own.
int runBus(const LoggerOptions &options, LineSink &lines, LoggerRecording &recording)
{
    BusLogger logger(options.configPath, options.bus);
    logger.setTiming(options.timing);
    logger.addSink(&lines);
    const ConfigFile config(options.configPath);
    HistoryStore *store = recording.openStore(options) ? &recording.store : nullptr;
    const MqttConfig mqtt = readMqttConfig(config);
    const LinkConfig link = readLinkConfig(config);
    BusBridge bridge(mqtt, link.serial() ? link.serialPort
                                         : QStringLiteral("%1:%2").arg(link.host).arg(link.port));
    // Per device; what feeds a publisher goes before it.
    std::map<int, std::unique_ptr<MqttPublisher>> publishers;
    std::map<int, std::unique_ptr<HistoryDelivery>> deliveries;
    std::map<int, std::unique_ptr<MqttExtras>> extras;
    bool mqttRefused = false;
    if (mqtt.enabled) {
        for (const QString &warning : mqtt.warnings)
            say(warning);
        if (!bridge.start())
            return fail(bridge.errorString());
    }
    logger.setDeviceSetup([&](int address, Recorder &recorder) {
        recorder.setStore(store);
        if (!mqtt.enabled)
            return;
        auto publisher = std::make_unique<MqttPublisher>();
        QObject::connect(publisher.get(), &MqttPublisher::linkChanged, publisher.get(),
                         [address](const MqttLinkStatus &status) {
                             say(QStringLiteral("address %1: %2").arg(address).arg(status.text));
                         });
        MqttConfig own = bridge.deviceConfig(address);
        own.warnings.clear();   // said once, above
        if (publisher->start(own, address)) {
            recorder.setPublisher(publisher.get());
            if (store) {
                deliveries[address] = std::make_unique<HistoryDelivery>(store, publisher.get());
                recorder.setDelivery(deliveries[address].get());
            }
            extras[address] = std::make_unique<MqttExtras>();
            addMqttExtras(recorder, store, *publisher, *extras[address]);
        } else {
            say(publisher->errorString());
            mqttRefused = true;
        }
        publishers[address] = std::move(publisher);
    });
    QObject::connect(&logger.line, &BusLine::deviceOnlineChanged, &logger.line,
                     [&publishers](int address, bool online) {
                         const auto it = publishers.find(address);
                         if (it != publishers.end())
                             it->second->setAvailable(address, online);
                     });

    QSocketNotifier stopNotifier(stopPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &logger, [&] {
        char drain[16];
        while (::read(stopPipe[0], drain, sizeof drain) > 0) {
        }
        logger.stop();
    });
    QObject::connect(&logger, &BusLogger::stopped, QCoreApplication::instance(),
                     &QCoreApplication::quit, Qt::QueuedConnection);
    logger.start();
    if (mqttRefused)
        return fail(QStringLiteral("not started: see [mqtt] in %1").arg(options.configPath));

    QVector<MonitorCore *> cores;
    for (int a : logger.line.addresses())
        cores.append(logger.line.device(a));
    MetricsEndpoint metrics;
    std::unique_ptr<MetricsFeed> metricsFeed;
    QString why;
    if (!startMetrics(options, metrics, cores, metricsFeed, why))
        return fail(why);
    if (metricsFeed)
        logger.addSink(metricsFeed.get());

    const int code = QCoreApplication::exec();
    extras.clear();
    deliveries.clear();
    for (auto &p : publishers) {
        // "offline" and a clean goodbye, without a word on stderr at the end.
        QObject::disconnect(p.second.get(), nullptr, nullptr, nullptr);
        p.second->stop();
    }
    bridge.stop();
    if (lines.failed())
        return fail(QStringLiteral("writing lines failed: %1").arg(lines.errorText()), 1);
    return code;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("solar-logger"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SOLAR_VERSION));

    if (isExportCommand(QCoreApplication::arguments()))
        return runExportCommand(QCoreApplication::arguments());
    if (isReportCommand(QCoreApplication::arguments()))
        return runReportCommand(QCoreApplication::arguments());

    LoggerOptions options;
    QString output;
    switch (parseLoggerOptions(QCoreApplication::arguments(), options, output)) {
    case ParseResult::Exit:
        QTextStream(stdout) << output << '\n';
        return 0;
    case ParseResult::Error:
        return fail(output);
    case ParseResult::Run:
        break;
    }

    int fd = STDOUT_FILENO;
    bool headerWanted = true;
    if (!options.outPath.isEmpty()) {
        fd = ::open(QFile::encodeName(options.outPath).constData(),
                    O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0)
            return fail(QStringLiteral("%1: %2").arg(options.outPath,
                                                     QString::fromLocal8Bit(std::strerror(errno))));
        struct stat st;
        headerWanted = ::fstat(fd, &st) != 0 || st.st_size == 0;
    }
    if (!catchStopSignals())
        return fail(QStringLiteral("cannot catch SIGTERM: %1").arg(QString::fromLocal8Bit(std::strerror(errno))), 1);

    LineSink lines(fd, options.format, headerWanted);
    LoggerRecording recording;
    if (options.bus.enabled) {
        int code = runBus(options, lines, recording);
        if (fd != STDOUT_FILENO)
            ::close(fd);
        if (!recording.finish() && code == 0)
            code = 1;
        return code;
    }
    HeadlessLogger logger(options.configPath);
    logger.setTiming(options.timing);
    logger.addSink(&lines);
    if (!recording.start(options, logger.recorder))
        return fail(QStringLiteral("not started: see [mqtt] in %1").arg(options.configPath));
    MqttExtras mqttExtras;
    addMqttExtras(logger.recorder, recording.recording() ? &recording.store : nullptr, recording.publisher,
                  mqttExtras);

    MetricsEndpoint metrics;
    std::unique_ptr<MetricsFeed> metricsFeed;
    QString why;
    if (!startMetrics(options, metrics, {&logger.core}, metricsFeed, why))
        return fail(why);
    if (metricsFeed)
        logger.addSink(metricsFeed.get());

    QSocketNotifier stopNotifier(stopPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &logger, [&] {
        char drain[16];
        while (::read(stopPipe[0], drain, sizeof drain) > 0) {
        }
        logger.stop();
    });
    // quit() is honoured once any wait the stop ended has unwound.
    QObject::connect(&logger, &HeadlessLogger::stopped, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    logger.start();
    int code = app.exec();
    if (fd != STDOUT_FILENO)
        ::close(fd);
    if (!recording.finish() && code == 0)
        code = 1;
    if (lines.failed())
        return fail(QStringLiteral("writing lines failed: %1").arg(lines.errorText()), 1);
    return code;
}
