// Initial values of the simulated devices from a file:
//
//   INI                          JSON
//   [registers]                  {"registers": {"29": 1380, "batteryCapacity": 80},
//   29=1380                       "texts": {"model": "X", "serial": "Y", "factory": "Z"},
//   batteryCapacity=80            "timeOfDay": "13:30"}
//   [texts]
//   model=X
//   [day]
//   timeOfDay=13:30
//
// Registers are named by number (0..143) or by the names below; values are
// decimal, negative for the signed registers. Every device on the bus gets them.
#include "simulated_controller.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTime>

namespace {

struct NamedRegister
{
    const char *name;
    int reg;
};

const NamedRegister registerNames[] = {
    {"pvVoltage", SimReg::PvVoltage}, {"pvCurrent", SimReg::PvCurrent}, {"pvPower", SimReg::PvPower},
    {"pvState", SimReg::PvState}, {"batteryVoltage", SimReg::BatteryVoltage},
    {"batteryTemperature", SimReg::BatteryTemperature}, {"batteryCurrent", SimReg::BatteryCurrent},
    {"loadCurrent", SimReg::LoadCurrent}, {"systemVoltage", SimReg::SystemVoltage},
    {"batteryCapacity", SimReg::BatteryCapacity}, {"chargeStage", SimReg::ChargeStage},
    {"internalTemperature", SimReg::InternalTemperature},
    {"generatedChargeTotal", SimReg::GeneratedChargeTotal}, {"consumedChargeTotal", SimReg::ConsumedChargeTotal},
    {"generatedEnergyTotal", SimReg::GeneratedEnergyTotal}, {"consumedEnergyTotal", SimReg::ConsumedEnergyTotal},
    {"floatVoltage", SimReg::FloatVoltage}, {"absorbVoltage", SimReg::AbsorbVoltage},
    {"equalizeVoltage", SimReg::EqualizeVoltage}, {"absorbTime", SimReg::AbsorbTime},
    {"equalizeTime", SimReg::EqualizeTime}, {"temperatureCompensation", SimReg::TemperatureCompensation},
    {"lowVoltageProtect", SimReg::LowVoltageProtect}, {"lowVoltageRecover", SimReg::LowVoltageRecover},
    {"loadMode", SimReg::LoadMode}, {"nightTime1", SimReg::NightTime1}, {"nightTime2", SimReg::NightTime2},
    {"lightOnVoltage", SimReg::LightOnVoltage}, {"lightOffVoltage", SimReg::LightOffVoltage},
    {"batteryType", SimReg::BatteryType}, {"systemVoltageSetting", SimReg::SystemVoltageSetting},
    {"overVoltageProtect", SimReg::OverVoltageProtect}, {"overVoltageRecover", SimReg::OverVoltageRecover},
    {"statusWord", SimReg::StatusWord}, {"ratedVoltage", SimReg::RatedVoltage},
    {"ratedChargeCurrent", SimReg::RatedChargeCurrent}, {"ratedDischargeCurrent", SimReg::RatedDischargeCurrent},
    {"loadPower", SimReg::LoadPower}, {"chargeLimit", SimReg::ChargeLimit},
    {"hardwareVersion", SimReg::HardwareVersion}, {"softwareVersion", SimReg::SoftwareVersion},
    {"lithiumCapacity", SimReg::LithiumCapacity}, {"lithiumChargeVoltage", SimReg::LithiumChargeVoltage},
    {"baudRate", SimReg::BaudRate}, {"security", SimReg::Security},
};

// QSettings splits unquoted values at commas; a text wants them back.
QString textOf(const QVariant &value)
{
    return value.type() == QVariant::StringList ? value.toStringList().join(QStringLiteral(", "))
                                                : value.toString();
}

int registerOf(const QString &key)
{
    bool number = false;
    const int r = key.toInt(&number);
    if (number)
        return (r >= 0 && r < RegisterCount) ? r : -1;
    for (const NamedRegister &n : registerNames)
        if (key.compare(QLatin1String(n.name), Qt::CaseInsensitive) == 0)
            return n.reg;
    return -1;
}

// What a file asks for, before it touches any device.
struct Values
{
    QList<QPair<int, quint16>> registers;
    QMap<QString, QString> texts;   // model, serial, factory (lower case)
    int secondOfDay = -1;
};

bool addRegister(Values &v, const QString &key, const QVariant &value, QString *error)
{
    const int r = registerOf(key);
    bool ok = false;
    const int n = value.toString().trimmed().toInt(&ok);
    if (r < 0 || !ok || n < -32768 || n > 65535) {
        *error = QStringLiteral("bad register value %1=%2").arg(key, value.toString());
        return false;
    }
    v.registers.append({r, quint16(n)});
    return true;
}

bool addText(Values &v, const QString &key, const QString &text, QString *error)
{
    const QString k = key.toLower();
    if (k != QLatin1String("model") && k != QLatin1String("serial") && k != QLatin1String("factory")) {
        *error = QStringLiteral("unknown text %1 (model, serial, factory)").arg(key);
        return false;
    }
    v.texts.insert(k, text);
    return true;
}

bool setTimeOfDay(Values &v, const QString &text, QString *error)
{
    const QTime t = QTime::fromString(text.trimmed(), QStringLiteral("H:mm"));
    if (!t.isValid()) {
        *error = QStringLiteral("bad timeOfDay %1 (H:mm)").arg(text);
        return false;
    }
    v.secondOfDay = t.msecsSinceStartOfDay() / 1000;
    return true;
}

bool readJson(const QByteArray &bytes, Values &v, QString *error)
{
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parse);
    if (!doc.isObject()) {
        *error = QStringLiteral("not a JSON object: %1").arg(parse.errorString());
        return false;
    }
    const QJsonObject root = doc.object();
    const QJsonObject regs = root.value(QStringLiteral("registers")).toObject();
    for (auto it = regs.begin(); it != regs.end(); ++it)
        if (!addRegister(v, it.key(), it.value().toVariant(), error))
            return false;
    const QJsonObject texts = root.value(QStringLiteral("texts")).toObject();
    for (auto it = texts.begin(); it != texts.end(); ++it)
        if (!addText(v, it.key(), it.value().toString(), error))
            return false;
    if (root.contains(QStringLiteral("timeOfDay")))
        return setTimeOfDay(v, root.value(QStringLiteral("timeOfDay")).toString(), error);
    return true;
}

bool readIni(const QString &path, Values &v, QString *error)
{
    QSettings ini(path, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError) {
        *error = QStringLiteral("cannot parse %1").arg(path);
        return false;
    }
    for (const QString &group : ini.childGroups()) {
        ini.beginGroup(group);
        const QString g = group.toLower();
        for (const QString &key : ini.childKeys()) {
            const QVariant value = ini.value(key);
            const bool ok = g == QLatin1String("registers") ? addRegister(v, key, value, error)
                          : g == QLatin1String("texts") ? addText(v, key, textOf(value), error)
                          : g == QLatin1String("day") && key.compare(QLatin1String("timeOfDay"), Qt::CaseInsensitive) == 0
                              ? setTimeOfDay(v, value.toString(), error)
                              : (*error = QStringLiteral("unknown entry [%1] %2").arg(group, key), false);
            if (!ok)
                return false;
        }
        ini.endGroup();
    }
    return true;
}

} // namespace

bool SimulatedController::loadValues(const QString &path, QString *error)
{
    QString message;
    QString *err = error ? error : &message;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *err = QStringLiteral("cannot open %1").arg(path);
        return false;
    }
    const QByteArray bytes = file.readAll();
    Values v;
    const bool json = QFileInfo(path).suffix().compare(QLatin1String("json"), Qt::CaseInsensitive) == 0
                      || bytes.trimmed().startsWith('{');
    if (!(json ? readJson(bytes, v, err) : readIni(path, v, err)))
        return false;

    QMutexLocker lock(&mutex_);
    for (const auto &d : qAsConst(devices_)) {
        if (v.secondOfDay >= 0)
            d->setSecondOfDay(v.secondOfDay);
        for (const auto &rv : qAsConst(v.registers))
            d->setReg(rv.first, rv.second);
        if (v.texts.contains(QStringLiteral("model")))
            d->setDeviceModel(v.texts.value(QStringLiteral("model")));
        if (v.texts.contains(QStringLiteral("serial")))
            d->setSerialNumber(v.texts.value(QStringLiteral("serial")));
        if (v.texts.contains(QStringLiteral("factory")))
            d->setFactoryInfo(v.texts.value(QStringLiteral("factory")));
    }
    return true;
}
