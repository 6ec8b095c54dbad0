// The logger's /metrics for a bus of 32 devices, every counter and bucket
// filled: time from request to the whole answer over loopback, and the
// rendering alone.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QVector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include "bench_support.h"
#include "metrics_endpoint.h"

namespace {

constexpr int Devices = 32;
constexpr int Scrapes = 300;

std::vector<DeviceMetrics> bus()
{
    std::vector<DeviceMetrics> devices(Devices);
    for (int i = 0; i < Devices; ++i) {
        DeviceMetrics &d = devices[size_t(i)];
        d.address = i + 1;
        d.serial = "SN24060100" + std::to_string(10 + i);
        d.up = true;
        d.haveSample = true;
        for (int v = 0; v < LiveValueCount; ++v)
            d.sample.counts[v] = 1000 + 37 * v + i;
        d.sample.statusWord = quint32(i);
        for (RequestCounters &k : d.kinds) {
            k.sent = k.answered = 123456789;
            k.failed = k.timedOut = k.resent = k.badChecksum = 1234;
            k.wrongAddress = k.wrongTransaction = k.wrongUnit = k.malformed = 12;
            k.exceptions[2] = k.exceptions[4] = 3;
            k.bytesOut = k.bytesIn = 123456789012ull;
            for (quint64 &b : k.rttBuckets)
                b = 99999;
            k.rttCount = 999990;
            k.rttSumSeconds = 12345.678;
        }
    }
    return devices;
}

// One scrape on a new connection, read with large buffers as Prometheus'
// Go client does; the size of the answer's body, or -1.
long scrapeOnce(int port, std::vector<char> &buffer)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(quint16(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    const char request[] = "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    if (::send(fd, request, sizeof request - 1, 0) != long(sizeof request - 1)) {
        ::close(fd);
        return -1;
    }
    long total = 0;
    for (;;) {
        const long n = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (n <= 0)
            break;
        total += n;
    }
    ::close(fd);
    return total;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    reportNote(machineDescription());
    const std::vector<DeviceMetrics> devices = bus();

    QVector<double> renderMs;
    std::string text;
    for (int i = 0; i < Scrapes; ++i) {
        text.clear();
        QElapsedTimer clock;
        clock.start();
        renderMetrics(text, devices, "bench");
        renderMs << clock.nsecsElapsed() / 1e6;
    }
    reportNote(QStringLiteral("%1 devices: %2 bytes, %3 lines; rendering takes %4 ms (median)")
                   .arg(Devices).arg(text.size()).arg(std::count(text.begin(), text.end(), '\n'))
                   .arg(median(renderMs), 0, 'f', 3));

    MetricsEndpoint endpoint;
    QString error;
    if (!endpoint.start("127.0.0.1", 0, error)) {
        reportNote(error);
        return 1;
    }
    endpoint.publish(devices);
    QVector<double> scrapeMs;
    std::vector<char> buffer(1 << 20);
    for (int i = 0; i < Scrapes; ++i) {
        QElapsedTimer clock;
        clock.start();
        const long got = scrapeOnce(endpoint.port(), buffer);
        scrapeMs << clock.nsecsElapsed() / 1e6;
        if (got < long(text.size())) {
            reportNote(QStringLiteral("scrape %1 failed: %2 bytes").arg(i).arg(got));
            return 1;
        }
    }
    const double p50 = median(scrapeMs);
    const double p99 = percentile(scrapeMs, 0.99);
    reportNote(QStringLiteral("scrape: median %1 ms, 99th percentile %2 ms").arg(p50, 0, 'f', 3).arg(p99, 0, 'f', 3));
    reportResult(QStringLiteral("/metrics for %1 devices, median time to the whole answer").arg(Devices), p50,
                 QStringLiteral("ms"), QStringLiteral("<= 5 ms"), p50 / 5.0, p50 <= 5.0);
    endpoint.stop();
    return 0;
}
