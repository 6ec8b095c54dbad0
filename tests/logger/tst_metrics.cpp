// solar-logger's Prometheus endpoint: the text format (promtool finds
// nothing to complain of), bad listen addresses, a scrape while the link is
// down, hostile clients while polling, and a real Prometheus scraping it.
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <httplib.h>

#include "logger_process.h"
#include "metrics_endpoint.h"
#include "temp_workdir.h"

namespace {

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The simulator as a process of its own: the test may block on HTTP calls.
struct SimProcess
{
    QProcess process;
    quint16 port = 0;

    bool start()
    {
        process.start(QString::fromLocal8Bit(qgetenv("SOLAR_SIM_EXE")),
                      {"--protocol", "tcp", "--tcp-port", "0", "--tick-ms", "200"});
        QByteArray said;
        if (!QTest::qWaitFor([&] {
                said += process.readAllStandardOutput() + process.readAllStandardError();
                return said.contains('\n');
            }, 5000))
            return false;
        const auto m = QRegularExpression(QStringLiteral("127\\.0\\.0\\.1:(\\d+)")).match(QString::fromLatin1(said));
        port = m.hasMatch() ? quint16(m.captured(1).toUInt()) : 0;
        return port != 0;
    }
    ~SimProcess()
    {
        process.kill();
        process.waitForFinished(2000);
    }
};

// The port the logger said it serves metrics on, once it has said so.
int metricsPortOf(LoggerProcess &logger)
{
    int port = 0;
    (void)QTest::qWaitFor([&] {
        const auto m = QRegularExpression(QStringLiteral("metrics on http://[^:]+:(\\d+)/metrics"))
                           .match(QString::fromLocal8Bit(logger.err()));
        port = m.hasMatch() ? m.captured(1).toInt() : 0;
        return port != 0 || logger.process.state() == QProcess::NotRunning;
    }, 5000);
    return port;
}

std::string scrape(int port, int *status = nullptr)
{
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(5, 0);
    const auto res = client.Get("/metrics");
    if (status)
        *status = res ? res->status : -1;
    return res ? res->body : std::string();
}

// Sum of solar_requests_total over kinds with that outcome.
quint64 requestsWith(const std::string &text, const char *outcome)
{
    quint64 sum = 0;
    for (const QString &line : QString::fromStdString(text).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("solar_requests_total{"))
            && line.contains(QStringLiteral("outcome=\"%1\"").arg(QLatin1String(outcome))))
            sum += line.section(QLatin1Char(' '), -1).toULongLong();
    }
    return sum;
}

// promtool's findings on a metrics text; empty when it has none.
QString promtoolFindings(const QByteArray &text)
{
    QProcess promtool;
    promtool.start(QStringLiteral("promtool"), {"check", "metrics"});
    if (!promtool.waitForStarted(5000))
        return QStringLiteral("promtool did not start");
    promtool.write(text);
    promtool.closeWriteChannel();
    promtool.waitForFinished(10000);
    const QString said = QString::fromLocal8Bit(promtool.readAll() + promtool.readAllStandardError()).trimmed();
    if (promtool.exitCode() != 0 && said.isEmpty())
        return QStringLiteral("promtool exit code %1").arg(promtool.exitCode());
    return said;
}

QList<QJsonObject> jsonLines(const QByteArray &text)
{
    QList<QJsonObject> out;
    for (const QByteArray &line : text.split('\n'))
        if (!line.isEmpty())
            out << QJsonDocument::fromJson(line).object();
    return out;
}

} // namespace

class tst_metrics : public QObject
{
    Q_OBJECT

private slots:
    void textFormatPassesPromtool();
    void badListenAddressExitsTwo_data();
    void badListenAddressExitsTwo();
    void linkDownAnswersAtOnce();
    void hostileClientsDoNotStallPolling();
    void prometheusScrapesTheLogger();
};

// Two devices, one with a serial number that needs escaping, counters set.
void tst_metrics::textFormatPassesPromtool()
{
    std::vector<DeviceMetrics> devices(2);
    devices[0].address = 1;
    devices[0].serial = "SN\"1\\\n";
    devices[0].up = true;
    devices[0].haveSample = true;
    devices[0].sample.counts[PvVoltage] = 1834;
    devices[0].sample.counts[GeneratedEnergyTotal] = 12;   // 0.12 MWh
    devices[0].sample.statusWord = 0x005;
    devices[0].kinds[0].answered = 7;
    devices[0].kinds[0].exceptions[4] = 2;
    devices[0].kinds[0].rttBuckets[1] = 3;
    devices[0].kinds[0].rttBuckets[9] = 1;
    devices[0].kinds[0].rttCount = 4;
    devices[1].address = 2;
    std::string text;
    renderMetrics(text, devices, "1.2.3");

    QCOMPARE(promtoolFindings(QByteArray::fromStdString(text)), QString());
    const QString t = QString::fromStdString(text);
    QVERIFY(t.contains("solar_up{address=\"1\",serial=\"SN\\\"1\\\\\\n\"} 1\n"));
    QVERIFY(t.contains("solar_up{address=\"2\",serial=\"\"} 0\n"));
    QVERIFY(t.contains("solar_pv_voltage_volts{address=\"1\",serial=\"SN\\\"1\\\\\\n\"} 18.34\n"));
    QVERIFY(!t.contains("solar_pv_voltage_volts{address=\"2\""));   // never read: no value
    QVERIFY(t.contains("solar_generated_energy_joules_total{address=\"1\",serial=\"SN\\\"1\\\\\\n\"} 432000000\n"));
    QVERIFY(t.contains("solar_fault_low_voltage{address=\"1\",serial=\"SN\\\"1\\\\\\n\"} 1\n"));
    QVERIFY(t.contains("solar_fault_over_load{address=\"1\",serial=\"SN\\\"1\\\\\\n\"} 0\n"));
    QVERIFY(t.contains("solar_fault_short_circuit{address=\"1\",serial=\"SN\\\"1\\\\\\n\"} 1\n"));
    QVERIFY(t.contains("kind=\"live\",code=\"4\"} 2\n"));
    // Cumulative buckets: 0 up to 5 ms, 3 from 10 ms on, 4 at +Inf.
    QVERIFY(t.contains("kind=\"live\",le=\"0.005\"} 0\n"));
    QVERIFY(t.contains("kind=\"live\",le=\"0.01\"} 3\n"));
    QVERIFY(t.contains("kind=\"live\",le=\"2\"} 3\n"));
    QVERIFY(t.contains("kind=\"live\",le=\"+Inf\"} 4\n"));
    QVERIFY(t.contains("solar_logger_build_info{version=\"1.2.3\"} 1\n"));
}

void tst_metrics::badListenAddressExitsTwo_data()
{
    QTest::addColumn<QString>("listen");
    QTest::addColumn<bool>("inConfig");
    QTest::addColumn<QString>("message");
    QTest::newRow("no port") << "127.0.0.1" << false << "--metrics: \"127.0.0.1\": the port must be a number";
    QTest::newRow("port too big") << "127.0.0.1:70000" << false << "the port must be a number from 0 to 65535";
    QTest::newRow("signed port") << ":+80" << false << "the port must be a number";
    QTest::newRow("bare IPv6") << "::1:9100" << false << "an IPv6 host goes in brackets";
    QTest::newRow("bad host") << "local host:9100" << false << "is not a host name or address";
    QTest::newRow("config") << "localhost:http" << true << "[metrics] listen: \"localhost:http\"";
    QTest::newRow("not this machine") << "192.0.2.1:0" << false << "cannot listen on 192.0.2.1:0";
    QTest::newRow("port in use") << "127.0.0.1:%1" << false << "the port is in use";
}

void tst_metrics::badListenAddressExitsTwo()
{
    QFETCH(QString, listen);
    QFETCH(bool, inConfig);
    QFETCH(QString, message);
    TempWorkDir dir;
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
    listen = listen.arg(taken.serverPort());
    QString config = tcpConfigText(freePort(), QStringLiteral("TCP Modbus"));
    if (inConfig)
        config += QStringLiteral("[metrics]\nlisten=%1\n").arg(listen);
    QVERIFY(dir.writeConfig(config));
    QStringList args = {"--config", dir.configPath(), "--no-record"};
    if (!inConfig)
        args << "--metrics" << listen;
    LoggerProcess logger(args);
    QVERIFY(logger.process.waitForFinished(5000));
    QCOMPARE(logger.process.exitCode(), 2);
    QVERIFY2(logger.err().contains(message.toLocal8Bit()), logger.err().constData());
}

// Nothing listens where the controller should be: the scrape still answers
// at once, with the device down and no values.
void tst_metrics::linkDownAnswersAtOnce()
{
    TempWorkDir dir;
    QVERIFY(dir.writeConfig(tcpConfigText(freePort(), QStringLiteral("TCP Modbus"))));
    LoggerProcess logger({"--config", dir.configPath(), "--no-record", "--metrics", "127.0.0.1:0"});
    const int port = metricsPortOf(logger);
    QVERIFY2(port > 0, logger.err().constData());
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer clock;
        clock.start();
        int status = 0;
        const std::string text = scrape(port, &status);
        QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(status, 200);
        QVERIFY(QString::fromStdString(text).contains("solar_up{address=\"1\",serial=\"\"} 0\n"));
        QVERIFY(!QString::fromStdString(text).contains("solar_pv_voltage_volts{"));
        QTest::qWait(300);
    }
}

// One connection that never sends and one sending a 1 MB request line: the
// poll goes on at its rate, and scrapes are still answered.
void tst_metrics::hostileClientsDoNotStallPolling()
{
    SimProcess sim;
    QVERIFY(sim.start());
    TempWorkDir dir;
    QVERIFY(dir.writeConfig(tcpConfigText(sim.port, QStringLiteral("TCP Modbus"), QStringLiteral("MPPT"))));
    LoggerProcess logger({"--config", dir.configPath(), "--no-record", "--metrics", "127.0.0.1:0"});
    const int port = metricsPortOf(logger);
    QVERIFY(port > 0);
    QVERIFY(QTest::qWaitFor([&] { return requestsWith(scrape(port), "answered") > 10; }, 10000));

    const auto answeredOver = [&](int ms) {
        const quint64 before = requestsWith(scrape(port), "answered");
        QTest::qWait(ms);
        return requestsWith(scrape(port), "answered") - before;
    };
    const quint64 baseline = answeredOver(2000);

    QTcpSocket silent;
    silent.connectToHost(QHostAddress::LocalHost, quint16(port));
    QVERIFY(silent.waitForConnected(2000));
    QTcpSocket huge;
    huge.connectToHost(QHostAddress::LocalHost, quint16(port));
    QVERIFY(huge.waitForConnected(2000));
    huge.write("GET /" + QByteArray(1 << 20, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n");
    const quint64 hostile = answeredOver(2000);
    QVERIFY2(hostile * 10 >= baseline * 8,
             qPrintable(QStringLiteral("%1 answered with hostile clients, %2 without").arg(hostile).arg(baseline)));
    QElapsedTimer clock;
    clock.start();
    int status = 0;
    scrape(port, &status);
    QCOMPARE(status, 200);
    QVERIFY(clock.elapsed() < 1000);
    // The huge line is turned away rather than served.
    (void)QTest::qWaitFor([&] { return huge.state() != QAbstractSocket::ConnectedState || huge.bytesAvailable() > 0; }, 3000);
    QVERIFY(!huge.readAll().contains(" 200 "));
    QCOMPARE(logger.process.state(), QProcess::Running);
}

// A real Prometheus scrapes the logger twice; what its API answers for
// solar_up and solar_pv_voltage_volts is what the logger wrote as lines.
void tst_metrics::prometheusScrapesTheLogger()
{
    const QString prometheus = QStandardPaths::findExecutable(QStringLiteral("prometheus"));
    QVERIFY2(!prometheus.isEmpty(), "prometheus is not installed (scripts/install-deps)");
    SimProcess sim;
    QVERIFY(sim.start());
    TempWorkDir dir;
    QVERIFY(dir.writeConfig(tcpConfigText(sim.port, QStringLiteral("TCP Modbus"), QStringLiteral("MPPT"))));
    LoggerProcess logger({"--config", dir.configPath(), "--no-record", "--metrics", "127.0.0.1:0"});
    const int metricsPort = metricsPortOf(logger);
    QVERIFY(metricsPort > 0);
    QCOMPARE(promtoolFindings(QByteArray::fromStdString(scrape(metricsPort))), QString());

    QTemporaryDir work;
    QFile yml(work.filePath(QStringLiteral("prometheus.yml")));
    QVERIFY(yml.open(QIODevice::WriteOnly));
    yml.write(QStringLiteral("global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                             "scrape_configs:\n  - job_name: solar\n    static_configs:\n"
                             "      - targets: ['127.0.0.1:%1']\n").arg(metricsPort).toUtf8());
    yml.close();
    const int apiPort = freePort();
    QProcess server;
    server.setProcessChannelMode(QProcess::MergedChannels);
    server.start(prometheus, {"--config.file=" + yml.fileName(), "--storage.tsdb.path=" + work.filePath("data"),
                              QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(apiPort)});
    QVERIFY(server.waitForStarted(5000));
    const auto query = [&](const QString &q) {
        httplib::Client client("127.0.0.1", apiPort);
        client.set_read_timeout(5, 0);
        const auto res = client.Get("/api/v1/query", httplib::Params{{"query", q.toStdString()}}, httplib::Headers{});
        return res ? QJsonDocument::fromJson(QByteArray::fromStdString(res->body)).object()
                         .value("data").toObject().value("result").toArray()
                   : QJsonArray();
    };
    const auto valueOf = [](const QJsonArray &result) {
        return result.isEmpty() ? QString() : result.at(0).toObject().value("value").toArray().at(1).toString();
    };
    // Two scrapes that saw the device answering.
    const bool scrapedTwice = QTest::qWaitFor([&] {
        return valueOf(query(QStringLiteral("count_over_time(solar_pv_voltage_volts[5m])"))).toInt() >= 2;
    }, 30000);
    QVERIFY2(scrapedTwice, server.readAll().right(2000).constData());

    const QJsonArray up = query(QStringLiteral("solar_up"));
    QCOMPARE(up.size(), 1);
    QCOMPARE(valueOf(up), QStringLiteral("1"));
    const QJsonObject labels = up.at(0).toObject().value("metric").toObject();
    QCOMPARE(labels.value("address").toString(), QStringLiteral("1"));
    QCOMPARE(labels.value("job").toString(), QStringLiteral("solar"));

    const QString voltage = valueOf(query(QStringLiteral("solar_pv_voltage_volts")));
    QVERIFY(!voltage.isEmpty());
    // The value Prometheus holds is one the logger wrote as a line, and the
    // serial number label is the identity line's.
    QTest::qWait(300);
    QList<double> written;
    QString serial;
    for (const QJsonObject &o : jsonLines(logger.out())) {
        if (o.contains("pvVoltage"))
            written << o.value("pvVoltage").toDouble();
        if (o.contains("identity"))
            serial = o.value("identity").toObject().value("serialNumber").toString();
    }
    QVERIFY(!written.isEmpty());
    QVERIFY2(written.contains(voltage.toDouble()), qPrintable(voltage));
    QCOMPARE(labels.value("serial").toString(), serial);

    server.terminate();
    QVERIFY(server.waitForFinished(10000));
    QVERIFY(logger.stop());
    QCOMPARE(logger.process.exitCode(), 0);
}

QTEST_GUILESS_MAIN(tst_metrics)
#include "tst_metrics.moc"
