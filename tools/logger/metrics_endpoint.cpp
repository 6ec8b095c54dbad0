#include "metrics_endpoint.h"

#include <httplib.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "monitor_core.h"

namespace {

// Fault lamps by status-word bit, as the window lights them.
struct FaultGauge
{
    quint32 mask;
    const char *name;
    const char *help;
};

const FaultGauge faultGauges[] = {
    {0x001, "solar_fault_low_voltage", "Low battery voltage lamp"},
    {0x002, "solar_fault_over_load", "Over load lamp"},
    {0x004, "solar_fault_short_circuit", "Short circuit lamp"},
    {0x010, "solar_fault_battery_over_voltage", "Battery over voltage lamp"},
    {0x020, "solar_fault_internal_overheat", "Internal overheat lamp"},
    {0x040, "solar_fault_pv_over_voltage", "PV over voltage lamp"},
    {0x080, "solar_fault_pv_not_connected", "PV not connected lamp"},
    {0x100, "solar_fault_internal_temperature", "Internal temperature sensor lamp"},
    {0x200, "solar_fault_self_check_error", "Self-check error lamp"},
    {0x400, "solar_fault_parameter_not_calibrated", "Parameter not calibrated lamp"},
};

// Live values in base units: name, value, factor from the sample's unit.
struct ValueGauge
{
    const char *name;
    LiveValue value;
    double factor;
    const char *type;
    const char *help;
};

const ValueGauge valueGauges[] = {
    {"solar_pv_voltage_volts", PvVoltage, 1, "gauge", "PV voltage"},
    {"solar_pv_current_amperes", PvCurrent, 1, "gauge", "PV current"},
    {"solar_pv_power_watts", PvPower, 1, "gauge", "PV power"},
    {"solar_battery_voltage_volts", BatteryVoltage, 1, "gauge", "Battery voltage"},
    {"solar_battery_current_amperes", BatteryCurrent, 1, "gauge", "Battery current"},
    {"solar_battery_temperature_celsius", BatteryTemperature, 1, "gauge", "Battery temperature"},
    {"solar_battery_capacity_percent", BatteryCapacity, 1, "gauge", "Battery capacity"},
    {"solar_load_power_watts", LoadPower, 1, "gauge", "Load power"},
    // kAh and MWh in coulombs and joules: Prometheus wants base units.
    {"solar_generated_charge_coulombs_total", GeneratedChargeTotal, 3.6e6, "counter",
     "Charge generated since the controller's total was cleared"},
    {"solar_consumed_charge_coulombs_total", ConsumedChargeTotal, 3.6e6, "counter",
     "Charge consumed since the controller's total was cleared"},
    {"solar_generated_energy_joules_total", GeneratedEnergyTotal, 3.6e9, "counter",
     "Energy generated since the controller's total was cleared"},
    {"solar_consumed_energy_joules_total", ConsumedEnergyTotal, 3.6e9, "counter",
     "Energy consumed since the controller's total was cleared"},
};

void appendEscaped(std::string &out, const std::string &value)
{
    for (char c : value) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
}

void appendNumber(std::string &out, double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    out += text;
}

void appendNumber(std::string &out, quint64 value)
{
    char text[24];
    std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(value));
    out += text;
}

void appendHead(std::string &out, const char *name, const char *type, const char *help)
{
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

// name{address="1",serial="..."[,extra]} opened; the caller closes with "} ".
void appendSeries(std::string &out, const char *name, const DeviceMetrics &d,
                  const char *suffix = "")
{
    out += name;
    out += suffix;
    out += "{address=\"";
    appendNumber(out, quint64(d.address));
    out += "\",serial=\"";
    appendEscaped(out, d.serial);
    out += '"';
}

void appendLabel(std::string &out, const char *label, const char *value)
{
    out += ',';
    out += label;
    out += "=\"";
    out += value;
    out += '"';
}

template <typename T>
void appendValue(std::string &out, T value)
{
    out += "} ";
    appendNumber(out, value);
    out += '\n';
}

using Field = quint64 RequestCounters::*;

void appendPerKind(std::string &out, const std::vector<DeviceMetrics> &devices, const char *name,
                   const char *label, const char *labelValue, Field field)
{
    for (const DeviceMetrics &d : devices) {
        for (int k = 0; k < RequestKindCount; ++k) {
            appendSeries(out, name, d);
            appendLabel(out, "kind", requestKindName(RequestKind(k)));
            if (label)
                appendLabel(out, label, labelValue);
            appendValue(out, d.kinds[k].*field);
        }
    }
}

} // namespace

void renderMetrics(std::string &out, const std::vector<DeviceMetrics> &devices, const char *version)
{
    appendHead(out, "solar_up", "gauge", "1 while the device answers");
    for (const DeviceMetrics &d : devices) {
        appendSeries(out, "solar_up", d);
        appendValue(out, quint64(d.up ? 1 : 0));
    }

    for (const ValueGauge &g : valueGauges) {
        appendHead(out, g.name, g.type, g.help);
        for (const DeviceMetrics &d : devices) {
            if (!d.up || !d.haveSample)
                continue;
            appendSeries(out, g.name, d);
            appendValue(out, d.sample.value(g.value) * g.factor);
        }
    }
    for (const FaultGauge &g : faultGauges) {
        appendHead(out, g.name, "gauge", g.help);
        for (const DeviceMetrics &d : devices) {
            if (!d.up || !d.haveSample)
                continue;
            appendSeries(out, g.name, d);
            appendValue(out, quint64((d.sample.statusWord & g.mask) ? 1 : 0));
        }
    }

    appendHead(out, "solar_requests_total", "counter",
               "Requests by kind and how they ended (answered, or failed after the re-sends)");
    appendPerKind(out, devices, "solar_requests_total", "outcome", "answered", &RequestCounters::answered);
    appendPerKind(out, devices, "solar_requests_total", "outcome", "failed", &RequestCounters::failed);

    appendHead(out, "solar_request_resends_total", "counter", "Requests sent again");
    appendPerKind(out, devices, "solar_request_resends_total", nullptr, nullptr, &RequestCounters::resent);

    struct ErrorField
    {
        const char *error;
        Field field;
    };
    const ErrorField errors[] = {
        {"timeout", &RequestCounters::timedOut},
        {"bad_checksum", &RequestCounters::badChecksum},
        {"wrong_address", &RequestCounters::wrongAddress},
        {"wrong_transaction", &RequestCounters::wrongTransaction},
        {"wrong_unit", &RequestCounters::wrongUnit},
        {"malformed", &RequestCounters::malformed},
    };
    appendHead(out, "solar_request_errors_total", "counter",
               "Attempts that timed out or whose answer was turned down, by reason");
    for (const ErrorField &e : errors)
        appendPerKind(out, devices, "solar_request_errors_total", "error", e.error, e.field);

    appendHead(out, "solar_request_exceptions_total", "counter", "Modbus exception answers by code");
    for (const DeviceMetrics &d : devices) {
        for (int k = 0; k < RequestKindCount; ++k) {
            for (int code = 0; code < RequestCounters::ExceptionSlots; ++code) {
                if (d.kinds[k].exceptions[code] == 0)
                    continue;
                char codeText[8];
                std::snprintf(codeText, sizeof codeText, "%d", code);
                appendSeries(out, "solar_request_exceptions_total", d);
                appendLabel(out, "kind", requestKindName(RequestKind(k)));
                appendLabel(out, "code", code == 0 ? "other" : codeText);
                appendValue(out, d.kinds[k].exceptions[code]);
            }
        }
    }

    appendHead(out, "solar_link_sent_bytes_total", "counter", "Bytes sent, re-sends included");
    appendPerKind(out, devices, "solar_link_sent_bytes_total", nullptr, nullptr, &RequestCounters::bytesOut);
    appendHead(out, "solar_link_received_bytes_total", "counter", "Bytes received while a request waited");
    appendPerKind(out, devices, "solar_link_received_bytes_total", nullptr, nullptr, &RequestCounters::bytesIn);

    const char *histogram = "solar_request_duration_seconds";
    appendHead(out, histogram, "histogram", "Time from the latest send of a request to its answer");
    for (const DeviceMetrics &d : devices) {
        for (int k = 0; k < RequestKindCount; ++k) {
            const RequestCounters &c = d.kinds[k];
            const char *kind = requestKindName(RequestKind(k));
            quint64 cumulative = 0;
            for (int b = 0; b <= RequestCounters::RttBounds; ++b) {
                cumulative += c.rttBuckets[b];
                char le[16];
                if (b < RequestCounters::RttBounds)
                    std::snprintf(le, sizeof le, "%g", RequestCounters::RttBoundSeconds[b]);
                else
                    std::strcpy(le, "+Inf");
                appendSeries(out, histogram, d, "_bucket");
                appendLabel(out, "kind", kind);
                appendLabel(out, "le", le);
                appendValue(out, cumulative);
            }
            appendSeries(out, histogram, d, "_sum");
            appendLabel(out, "kind", kind);
            appendValue(out, c.rttSumSeconds);
            appendSeries(out, histogram, d, "_count");
            appendLabel(out, "kind", kind);
            appendValue(out, c.rttCount);
        }
    }

    appendHead(out, "solar_logger_build_info", "gauge", "The logger's version");
    out += "solar_logger_build_info{version=\"";
    appendEscaped(out, version);
    out += "\"} 1\n";
}

bool parseListenAddress(const QString &text, std::string &host, int &port, QString &error)
{
    const QString t = text.trimmed();
    QString hostText;
    QString portText = t;
    if (t.startsWith(QLatin1Char('['))) {
        const int close = t.indexOf(QLatin1String("]:"));
        if (close < 0) {
            error = QStringLiteral("\"%1\" is not HOST:PORT").arg(text);
            return false;
        }
        hostText = t.mid(1, close - 1);
        portText = t.mid(close + 2);
    } else if (t.contains(QLatin1Char(':'))) {
        const int colon = t.lastIndexOf(QLatin1Char(':'));
        hostText = t.left(colon);
        portText = t.mid(colon + 1);
        if (hostText.contains(QLatin1Char(':'))) {
            error = QStringLiteral("\"%1\": an IPv6 host goes in brackets, [::1]:PORT").arg(text);
            return false;
        }
    }
    bool ok = false;
    const int number = portText.toInt(&ok, 10);
    if (!ok || number < 0 || number > 65535 || portText.isEmpty() || !portText.at(0).isDigit()) {
        error = QStringLiteral("\"%1\": the port must be a number from 0 to 65535").arg(text);
        return false;
    }
    for (const QChar c : hostText) {
        if (!(c.isLetterOrNumber() || c == QLatin1Char('.') || c == QLatin1Char('-')
              || c == QLatin1Char(':')) || c.unicode() > 127) {
            error = QStringLiteral("\"%1\" is not a host name or address").arg(hostText);
            return false;
        }
    }
    host = hostText.isEmpty() ? std::string("127.0.0.1") : hostText.toStdString();
    port = number;
    return true;
}

// --- the endpoint --------------------------------------------------------------

MetricsEndpoint::MetricsEndpoint() = default;

MetricsEndpoint::~MetricsEndpoint() { stop(); }

bool MetricsEndpoint::start(const std::string &host, int port, QString &error)
{
    // A client that hangs up mid-answer must not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    server_ = std::make_unique<httplib::Server>();
    // Short limits: a client that sends nothing, or too much, is dropped
    // quickly, and never holds more than one of the server's threads.
    server_->set_read_timeout(2, 0);
    server_->set_write_timeout(2, 0);
    server_->set_keep_alive_timeout(2);
    server_->set_payload_max_length(4096);
    // The answer goes out whole at once, not held back for ACKs.
    server_->set_tcp_nodelay(true);
    server_->Get("/metrics", [this](const httplib::Request &, httplib::Response &res) {
        res.set_content(render(), "text/plain; version=0.0.4; charset=utf-8");
    });
    server_->Get("/", [](const httplib::Request &, httplib::Response &res) {
        res.set_content("solar-logger: metrics at /metrics\n", "text/plain");
    });
    errno = 0;
    const int bound = port == 0 ? server_->bind_to_any_port(host)
                                : (server_->bind_to_port(host, port) ? port : -1);
    if (bound <= 0) {
        const int why = errno;
        error = QStringLiteral("cannot listen on %1:%2: %3")
                    .arg(QString::fromStdString(host)).arg(port)
                    .arg(why == EADDRINUSE ? QStringLiteral("the port is in use")
                         : why != 0       ? QString::fromLocal8Bit(std::strerror(why))
                                          : QStringLiteral("not an address of this machine"));
        server_.reset();
        return false;
    }
    port_ = bound;
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    return true;
}

void MetricsEndpoint::stop()
{
    if (!server_)
        return;
    server_->stop();
    if (thread_.joinable())
        thread_.join();
    server_.reset();
}

void MetricsEndpoint::publish(const std::vector<DeviceMetrics> &devices)
{
    std::lock_guard<std::mutex> lock(mutex_);
    snapshot_ = devices;
}

std::string MetricsEndpoint::render() const
{
    std::vector<DeviceMetrics> copy;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        copy = snapshot_;
    }
    std::string out;
    out.reserve(16384 + copy.size() * 24576);
    renderMetrics(out, copy, SOLAR_VERSION);
    return out;
}

// --- the feed ------------------------------------------------------------------

MetricsFeed::MetricsFeed(MetricsEndpoint &endpoint, const QVector<MonitorCore *> &cores,
                         QObject *parent)
    : QObject(parent), endpoint_(endpoint)
{
    for (MonitorCore *core : cores) {
        Device device;
        device.core = core;
        devices_.append(device);
        connect(core, &MonitorCore::linkChanged, this, [this, core](const MonitorCore::LinkEvent &e) {
            // A device is up again only once it answers on the new link.
            if (e.state != MonitorCore::LinkState::Up)
                for (Device &d : devices_)
                    if (d.core == core)
                        d.lastAnswer.invalidate();
            publish();
        });
        connect(core, &MonitorCore::stepAnswered, this, [this, core] {
            for (Device &d : devices_)
                if (d.core == core)
                    d.lastAnswer.start();
        });
    }
    metrics_.resize(size_t(devices_.size()));
    connect(&refresh_, &QTimer::timeout, this, &MetricsFeed::publish);
    refresh_.start(500);
    publish();
}

MetricsFeed::Device *MetricsFeed::deviceAt(int address)
{
    for (Device &d : devices_)
        if (d.core->mainEngine.slaveAddress() == address)
            return &d;
    return devices_.size() == 1 ? &devices_[0] : nullptr;
}

void MetricsFeed::writeSample(const LiveSample &sample)
{
    if (Device *d = deviceAt(sample.address)) {
        DeviceMetrics &m = metrics_[size_t(d - devices_.data())];
        m.sample = sample;
        m.haveSample = true;
        d->lastAnswer.start();
    }
    publish();
}

void MetricsFeed::writeIdentity(const DeviceIdentity &identity, qint64, int)
{
    if (Device *d = deviceAt(identity.address))
        metrics_[size_t(d - devices_.data())].serial = identity.serialNumber.toStdString();
    publish();
}

void MetricsFeed::publish()
{
    for (int i = 0; i < devices_.size(); ++i) {
        const Device &d = devices_[i];
        DeviceMetrics &m = metrics_[size_t(i)];
        m.address = d.core->mainEngine.slaveAddress();
        m.up = d.core->linkIsUp() && d.lastAnswer.isValid() && d.lastAnswer.elapsed() < UpWindowMs;
        for (int k = 0; k < RequestKindCount; ++k)
            m.kinds[k] = d.core->linkStats().counters(RequestKind(k));
    }
    endpoint_.publish(metrics_);
}
