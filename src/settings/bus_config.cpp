#include "bus_config.h"

#include "config_file.h"
#include "link_config.h"

namespace {

// The value without a trailing "; comment", as the example in the README
// writes them.
QString valueOf(const ConfigFile &config, const QString &key)
{
    QString text = config.value(key);
    const int comment = text.indexOf(QLatin1Char(';'));
    if (comment >= 0)
        text.truncate(comment);
    return text.trimmed();
}

// Seconds as written (0.5 allowed) into milliseconds; false when not a
// number from low to a day.
bool secondsOf(const QString &text, double low, int &ms)
{
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || seconds < low || seconds > 86400)
        return false;
    ms = int(seconds * 1000 + 0.5);
    return true;
}

QString addressesError(const QString &why)
{
    return QStringLiteral("[bus] addresses: ") + why;
}

} // namespace

QString readBusConfig(const ConfigFile &config, BusConfig &bus)
{
    bus = BusConfig();
    const QString addresses = valueOf(config, QStringLiteral("bus/addresses"));
    const QString interval = valueOf(config, QStringLiteral("bus/interval"));
    const QString offline = valueOf(config, QStringLiteral("bus/offline_interval"));
    if (addresses.isEmpty()) {
        if (!interval.isEmpty() || !offline.isEmpty())
            return addressesError(QStringLiteral("missing; list the addresses (1,2,5-7) or write scan"));
        return QString();
    }
    bus.enabled = true;
    if (addresses.compare(QLatin1String("scan"), Qt::CaseInsensitive) == 0) {
        bus.scan = true;
    } else {
        for (const QString &raw : addresses.split(QLatin1Char(','))) {
            const QString part = raw.trimmed();
            const QStringList ends = part.split(QLatin1Char('-'));
            bool ok1 = false, ok2 = false;
            const int from = ends.first().trimmed().toInt(&ok1);
            const int to = ends.last().trimmed().toInt(&ok2);
            if (part.isEmpty() || ends.size() > 2 || !ok1 || !ok2)
                return addressesError(QStringLiteral("\"%1\" is not an address or a range").arg(part));
            if (from > to)
                return addressesError(QStringLiteral("%1 runs backwards").arg(part));
            if (from < FirstBusAddress || to > LastBusAddress)
                return addressesError(QStringLiteral("%1 is out of range; a device answers at %2 to %3")
                                          .arg(part).arg(FirstBusAddress).arg(LastBusAddress));
            for (int a = from; a <= to; ++a) {
                if (bus.addresses.contains(a))
                    return addressesError(QStringLiteral("%1 is listed twice").arg(a));
                bus.addresses.append(a);
            }
        }
    }
    if (!interval.isEmpty() && !secondsOf(interval, 0, bus.intervalMs))
        return QStringLiteral("[bus] interval: \"%1\" is not a number of seconds from 0 to 86400").arg(interval);
    if (!offline.isEmpty() && (!secondsOf(offline, 0.001, bus.offlineIntervalMs)))
        return QStringLiteral("[bus] offline_interval: \"%1\" is not a number of seconds from 0.001 to 86400")
            .arg(offline);

    const QList<int> typed = bus.scan ? [] {
        QList<int> all;
        for (int a = BusScanFirst; a <= BusScanLast; ++a)
            all.append(a);
        return all;
    }() : bus.addresses;
    for (int a : typed) {
        const QString type = valueOf(config, QStringLiteral("device.%1/controller_type").arg(a));
        if (type.isEmpty())
            continue;
        if (type != QLatin1String("PWM") && type != QLatin1String("MPPT"))
            return QStringLiteral("[device.%1] controller_type: \"%2\"; expected PWM or MPPT").arg(a).arg(type);
        bus.controllerTypes.insert(a, type);
    }
    return QString();
}
