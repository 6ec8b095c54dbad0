#include <QtTest>

#include <functional>

#include "engine_probe.h"

// Responses -> DeviceData and registerImage, for both decoders. Before each
// case every text field holds "old", so "old" in the expectations means the
// decoder left the field alone.
using Request = std::function<void(com_protocol_solar &)>;
Q_DECLARE_METATYPE(Request)

namespace {

using Getter = std::function<QVariant(const com_protocol_solar &)>;

#define NUMBER(f) {QStringLiteral(#f), [](const com_protocol_solar &e) { return QVariant(qint64(e.deviceData.f)); }}
#define TEXT(f) {QStringLiteral(#f), [](const com_protocol_solar &e) { return QVariant(e.deviceData.f); }}

QVariant fieldOf(const com_protocol_solar &engine, const QString &name)
{
    static const QHash<QString, Getter> getters = {
        NUMBER(pvVoltage), NUMBER(pvCurrent), NUMBER(pvPower), NUMBER(batteryVoltage),
        NUMBER(batteryTemperature), NUMBER(batteryCurrent), NUMBER(loadCurrent), NUMBER(systemVoltage),
        NUMBER(batteryCapacity), NUMBER(internalTemperature), NUMBER(floatVoltage), NUMBER(absorbVoltage),
        NUMBER(equalizeVoltage), NUMBER(absorbTime), NUMBER(equalizeTime), NUMBER(temperatureCompensation),
        NUMBER(lowVoltageProtect), NUMBER(lowVoltageRecover), NUMBER(register37), NUMBER(nightTime1),
        NUMBER(nightTime2), NUMBER(loadTimer1), NUMBER(loadTimer2), NUMBER(loadTimer4), NUMBER(lightOnVoltage),
        NUMBER(lightOffVoltage), NUMBER(overVoltageProtect), NUMBER(statusWord), NUMBER(ratedVoltage),
        NUMBER(ratedChargeCurrent), NUMBER(ratedDischargeCurrent), NUMBER(register59), NUMBER(register62),
        NUMBER(loadPower), NUMBER(clockYear), NUMBER(clockMonth), NUMBER(clockDay), NUMBER(clockHour),
        NUMBER(clockMinute), NUMBER(clockSecond), NUMBER(chargeLimit), NUMBER(register69),
        NUMBER(register114), NUMBER(lithiumCapacity), NUMBER(lithiumChargeVoltage), NUMBER(register118),
        NUMBER(loadVoltage), NUMBER(generatedChargeTotal()), NUMBER(consumedChargeTotal()),
        NUMBER(generatedEnergyTotal()), NUMBER(consumedEnergyTotal()), NUMBER(accumulationWords[0]),
        NUMBER(accumulationWords[14]), NUMBER(calibrationWords[0]), NUMBER(calibrationWords[7]),
        TEXT(pvStateText), TEXT(chargeStageText), TEXT(loadModeText), TEXT(batteryTypeText),
        TEXT(systemVoltageText), TEXT(versionInfo), TEXT(deviceModel), TEXT(serialNumber), TEXT(factoryInfo),
        TEXT(baudRateText), TEXT(encryptionText), TEXT(calibrationText),
    };
    if (name.startsWith(QLatin1String("image[")))
        return qint64(engine.registerImage[name.mid(6).chopped(1).toInt()]);
    const Getter getter = getters.value(name);
    return getter ? getter(engine) : QVariant();
}

void setAllTexts(DeviceData &d, const QString &text)
{
    for (QString *field : {&d.pvStateText, &d.chargeStageText, &d.loadModeText, &d.batteryTypeText,
                           &d.systemVoltageText, &d.versionInfo, &d.deviceModel, &d.serialNumber,
                           &d.factoryInfo, &d.baudRateText, &d.encryptionText, &d.calibrationText})
        *field = text;
}

Request defineRequest(quint8 code)
{
    return [code](com_protocol_solar &e) {
        switch (code) {
        case 0x03: e.writeControlWord(0); break;
        case 0x77: e.defineReadFactoryInfo(); break;
        case 0x78: e.defineReadDeviceModel(); break;
        case 0x79: e.defineReadVersionAndRatings(); break;
        case 0x81: e.readSerialNumber(); break;
        case 0xC2: e.defineReadCalibrationState(); break;
        case 0xC4: e.writeClock(0, 0, 0, 0, 0, 0); break;
        case 0xC6: e.defineReadEncryptionState(); break;
        default: e.defineReadRunData(); break;   // answers with another code are decoded too
        }
    };
}

Request modbusRead(int start, int count)
{
    return [start, count](com_protocol_solar &e) {
        if (e.protocol() == ProtocolModbusTcp)
            e.modbusTcpReadRegisters(quint16(start), count);
        else
            e.modbusRtuReadRegisters(quint16(start), count);
    };
}

// The TCP answer of unit 1 to the first request after construction.
QByteArray tcpReadReply(const QList<int> &values)
{
    const QByteArray rtu = rtuReadReply(values);
    const QByteArray pdu = rtu.mid(1, rtu.size() - 3);
    return QByteArray::fromHex("0002 0000") + char(0) + char(pdu.size() + 1) + char(1) + pdu;
}

QList<int> lettersInRegisters(const char *letters)
{
    QList<int> values;
    for (const char *c = letters; *c; ++c)
        values << (0x3000 | quint8(*c));   // the high byte must not matter
    return values;
}

} // namespace

class tst_response_decoding : public QObject
{
    Q_OBJECT
private slots:
    void decode_data();
    void decode();
    void factoryInfoIsWholeAfterRegister113_data();
    void factoryInfoIsWholeAfterRegister113();
    void defineTextWithoutZeroByteStopsAtTheFrame();
    void codeTablesMapTextsBack();
};

void tst_response_decoding::decode_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<int>("type");
    QTest::addColumn<Request>("request");
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<QVariantMap>("expected");

    const int D = ProtocolDefine, R = ProtocolModbusRtu, T = ProtocolModbusTcp;
    const int P = ControllerPwm, M = ControllerMppt;
    auto define = [&](const char *name, int type, quint8 code, const char *payload, const QVariantMap &expected) {
        QTest::newRow(name) << D << type << defineRequest(code) << defineReply(code, payload) << expected;
    };
    auto rtu = [&](const char *name, int start, const QList<int> &values, const QVariantMap &expected) {
        QTest::newRow(name) << R << P << modbusRead(start, values.size()) << rtuReadReply(values) << expected;
    };

    // Define.
    define("0x01 run data", P, 0x01, "10 04 f4 01 e8 03 64 00 e7 50 00 00",
           {{"pvVoltage", 1040}, {"pvCurrent", 500}, {"pvPower", 520}, {"batteryVoltage", 1000},
            {"loadCurrent", 100}, {"batteryCurrent", 400}, {"batteryTemperature", -25},
            {"batteryCapacity", 80}, {"statusWord", 0}, {"loadVoltage", 1000}, {"loadPower", 100},
            {"image[54]", 0}});
    define("0x01 load off", P, 0x01, "10 04 f4 01 e8 03 64 00 e7 50 08 00",
           {{"statusWord", 8}, {"loadVoltage", 0}, {"loadPower", 0}, {"image[54]", 8}});
    define("0x01 load above PV current", M, 0x01, "10 04 64 00 e8 03 f4 01 19 50 f7 00",
           {{"batteryCurrent", -400}, {"batteryTemperature", 25}, {"statusWord", 0xF7}, {"loadVoltage", 1000},
            {"loadPower", 500}});
    define("0x02 totals and limits", P, 0x02, "e8 03 d0 07 64 05 56 04 ec 04 31 30",
           {{"generatedChargeTotal()", 100}, {"consumedChargeTotal()", 200}, {"floatVoltage", 1380},
            {"lowVoltageProtect", 1110}, {"lowVoltageRecover", 1260}, {"image[72]", 0x3130}});
    define("0x03 PWM", P, 0x03, "10 04 f4 01 e8 03 64 00 e7 50 08 82",
           {{"pvVoltage", 1040}, {"pvPower", 0}, {"batteryCurrent", 400}, {"statusWord", 8}, {"loadVoltage", 0},
            {"image[54]", 8}});
    define("0x03 MPPT sets bits 8 and 10 only", M, 0x03, "10 04 f4 01 e8 03 64 00 e7 50 00 82",
           {{"pvVoltage", 1040}, {"batteryCapacity", 80}, {"statusWord", 0x500}, {"loadVoltage", 0},
            {"image[54]", 0x500}});
    QTest::newRow("0x03 MPPT clears no bit") << D << M
        << Request([](com_protocol_solar &e) { e.deviceData.statusWord = 0x09; e.deviceData.loadVoltage = 77; e.writeControlWord(0); })
        << defineReply(0x03, "10 04 f4 01 e8 03 64 00 e7 50 00 02")
        << QVariantMap{{"statusWord", 0x109}, {"loadVoltage", 77}, {"image[54]", 0x109}};
    define("0x04 stage", P, 0x04, "00 00 00 00 00 00 00 00 00 23 00 00", {{"chargeStageText", "Equalize"}});
    define("0x04 unknown stage", P, 0x04, "00 00 00 00 00 00 00 00 00 04 00 00", {{"chargeStageText", "old"}});
    define("0x05 PWM", P, 0x05, "64 05 a0 05 b4 05 03 02 00 fd 40 22",
           {{"floatVoltage", 1380}, {"absorbVoltage", 1440}, {"equalizeVoltage", 1460}, {"absorbTime", 180},
            {"equalizeTime", 120}, {"temperatureCompensation", -3}, {"batteryTypeText", "LI"},
            {"systemVoltage", 24}, {"systemVoltageText", "Fixed 24V"}, {"chargeLimit", 24}});
    define("0x05 MPPT", M, 0x05, "64 05 a0 05 b4 05 03 02 00 fd 40 22",
           {{"absorbTime", 180}, {"batteryTypeText", "LI"}, {"systemVoltage", 24}, {"systemVoltageText", "old"}});
    define("0x05 battery nibble 2", P, 0x05, "00 00 00 00 00 00 00 00 00 00 20 01",
           {{"batteryTypeText", "FLD"}, {"systemVoltageText", "Fixed 12V"}, {"chargeLimit", 0}});
    define("0x05 battery nibble 6", P, 0x05, "00 00 00 00 00 00 00 00 00 00 60 0a",
           {{"batteryTypeText", "old"}, {"systemVoltage", 120}, {"systemVoltageText", "old"}});
    define("0x06 PWM light time", P, 0x06, "00 00 00 00 f4 01 1e 06 00 12 40 e2",
           {{"lightOnVoltage", 500}, {"loadTimer1", 0x061E}, {"loadTimer2", 0x1200}, {"loadModeText", "Light time"},
            {"internalTemperature", -30}});
    define("0x06 PWM timing", P, 0x06, "00 00 00 00 00 00 00 00 00 00 80 1e", {{"loadModeText", "Timing"}, {"internalTemperature", 30}});
    define("0x06 PWM light", P, 0x06, "00 00 00 00 00 00 00 00 00 00 7f 00", {{"loadModeText", "Light"}});
    define("0x06 MPPT light", M, 0x06, "00 00 00 00 00 00 00 00 00 00 03 00", {{"loadModeText", "Light"}});
    define("0x06 MPPT unknown mode", M, 0x06, "00 00 00 00 00 00 00 00 00 00 02 f6",
           {{"loadModeText", "old"}, {"internalTemperature", -10}});
    define("0x07", P, 0x07, "00 00 34 12 00 00 00 00 00 00 00 00", {{"register59", 0x1234}});
    define("0x08", P, 0x08, "34 12 00 00 00 00 00 00 00 00 00 00", {{"register62", 0x1234}});
    define("0x09 energy totals", P, 0x09, "0f 27 0a 00 00 00 00 00 00 00 00 00",
           {{"generatedEnergyTotal()", 999}, {"consumedEnergyTotal()", 1}});
    define("0x0A lithium, night times, clock", M, 0x0A, "8c 05 52 00 00 00 18 05 11 09 1e 0f",
           {{"lithiumChargeVoltage", 1420}, {"nightTime1", 120}, {"nightTime2", 300}, {"clockYear", 24},
            {"clockMonth", 5}, {"clockDay", 17}, {"clockHour", 9}, {"clockMinute", 30}, {"clockSecond", 15}});
    define("0x0B", M, 0x0B, "e8 03 00 00 00 00 00 00 00 00 00 00", {{"lithiumCapacity", 1000}});
    define("0x20", P, 0x20, "56 04 a9 fb 00 00 00 00 00 00 00 00", {{"lowVoltageProtect", 1110}});
    define("0x21", P, 0x21, "ec 04 13 fb 00 00 00 00 00 00 00 00", {{"lowVoltageRecover", 1260}});
    define("0x22", P, 0x22, "64 05 9b fa 00 00 00 00 00 00 00 00", {{"floatVoltage", 1380}});
    define("0x23", P, 0x23, "1e 06 00 00 00 00 00 00 00 00 00 00", {{"loadTimer1", 0x061E}});
    define("0x24", P, 0x24, "1e 06 00 00 00 00 00 00 00 00 00 00", {{"loadTimer2", 0x061E}});
    define("0x25", P, 0x25, "a0 05 00 00 00 00 00 00 00 00 00 00", {{"absorbVoltage", 1440}});
    define("0x26", P, 0x26, "b4 05 00 00 00 00 00 00 00 00 00 00", {{"equalizeVoltage", 1460}});
    define("0x77 factory text", P, 0x77, "53 6f 6c 61 72 00 41 42 43 00 00 00", {{"factoryInfo", "Solar"}});
    define("0x78 model text", P, 0x78, "4d 50 50 54 2d 36 30 41 00 00 00 00", {{"deviceModel", "MPPT-60A"}});
    define("0x81 serial text", P, 0x81, "e9 31 32 33 34 35 36 37 38 39 30 31", {{"serialNumber", QStringLiteral("\u00e912345678901")}});
    define("0x79 version", M, 0x79, "30 14 17 00 00 06 00 00 00 00 00 00",
           {{"systemVoltageText", "Fixed 48V"}, {"ratedChargeCurrent", 20}, {"ratedDischargeCurrent", 20},
            {"versionInfo", "HRV2.3"}, {"baudRateText", "56000"}});
    define("0x79 unknown volts and baud", M, 0x79, "32 0a 05 00 00 09 00 00 00 00 00 00",
           {{"systemVoltageText", "old"}, {"versionInfo", "HRV0.5"}, {"baudRateText", "old"}});
    define("0x79 108 V, 57600", M, 0x79, "6c 0a 64 00 00 07 00 00 00 00 00 00",
           {{"systemVoltageText", "Fixed 108V"}, {"versionInfo", "HRV10.0"}, {"baudRateText", "57600"}});
    define("0xC6 encrypted", P, 0xC6, "00 00 00 00 00 00 00 00 00 00 00 00", {{"encryptionText", "已加密"}});
    define("0xC6 not encrypted", P, 0xC6, "00 01 00 00 00 00 00 00 00 00 00 00", {{"encryptionText", "未加密"}});
    define("0xC1 not encrypted", P, 0xC1, "ea 00 00 00 00 00 00 00 00 00 00 00", {{"encryptionText", "未加密"}});
    define("0xC2 calibrated", P, 0xC2, "00 00 00 00 00 00 00 00 bc bc bc bc", {{"calibrationText", "已校准"}});
    define("0xC2 not calibrated", P, 0xC2, "00 00 00 00 00 00 00 00 bc bc bc 00", {{"calibrationText", "未校准"}});
    define("0xC4 clock", P, 0xC4, "ea 15 00 00 00 00 19 0c 1f 17 3b 3b",
           {{"clockYear", 25}, {"clockMonth", 12}, {"clockDay", 31}, {"clockHour", 23}, {"clockMinute", 59},
            {"clockSecond", 59}});
    define("0xC8 decodes nothing", P, 0xC8, "10 04 f4 01 e8 03 64 00 e7 50 00 00", {{"pvVoltage", 0}, {"statusWord", 0}});
    QTest::newRow("0x90 answer is not decoded") << D << M << Request([](com_protocol_solar &e) { e.writeLithiumChargeVoltage(1420); })
                                                << defineReply(0x90, "32 05 8c 00 00 00 00 00 00 00 00 aa")
                                                << QVariantMap{{"lithiumChargeVoltage", 0}, {"pvVoltage", 0}};

    // Modbus register map.
    rtu("1..12 live values", 1, {1040, 500, 520, 5, 1000, 0xFFF6, 0xFFF6, 100, 2, 80, 2, 0xFFE2},
        {{"pvVoltage", 1040}, {"pvCurrent", 500}, {"pvPower", 520}, {"pvStateText", "old"}, {"batteryVoltage", 1000},
         {"batteryTemperature", -10}, {"batteryCurrent", 65526}, {"loadCurrent", 100}, {"systemVoltage", 24},
         {"batteryCapacity", 80}, {"chargeStageText", "MPPT"}, {"internalTemperature", -30}});
    rtu("5 unsigned, 6 signed", 5, {0xFFF6, 0xFFF6}, {{"batteryVoltage", 65526}, {"batteryTemperature", -10}});
    rtu("4 PV state", 4, {2}, {{"pvStateText", "Hight"}});
    rtu("11 stage 7", 11, {7}, {{"chargeStageText", "CV"}});
    rtu("13..28 counters", 13, {1, 0, 0, 16, 0, 0, 0, 20, 0, 0, 0, 24, 0, 0, 27, 28},
        {{"accumulationWords[0]", 1}, {"generatedChargeTotal()", 16}, {"consumedChargeTotal()", 20},
         {"generatedEnergyTotal()", 24}, {"accumulationWords[14]", 27}, {"consumedEnergyTotal()", 28}});
    rtu("29..41 settings", 29, {1380, 1440, 1460, 2, 3, 0xFFFD, 1110, 1260, 37, 38, 3, 120, 300},
        {{"floatVoltage", 1380}, {"absorbVoltage", 1440}, {"equalizeVoltage", 1460}, {"absorbTime", 2},
         {"equalizeTime", 3}, {"temperatureCompensation", -3}, {"lowVoltageProtect", 1110},
         {"lowVoltageRecover", 1260}, {"register37", 37}, {"loadModeText", "Timing"}, {"nightTime1", 120},
         {"nightTime2", 300}});
    rtu("39 unknown load mode", 39, {4}, {{"loadModeText", "old"}});
    rtu("42..53", 42, {1, 2, 3, 4, 500, 600, 48, 49, 3, 8, 1600, 1500},
        {{"loadTimer1", 1}, {"loadTimer4", 4}, {"lightOnVoltage", 500}, {"lightOffVoltage", 600},
         {"batteryTypeText", "FLD"}, {"systemVoltageText", "Fixed 96V"}, {"overVoltageProtect", 1600}});
    rtu("50 is SEAL under Modbus", 50, {2}, {{"batteryTypeText", "SEAL"}});
    rtu("50 code 6 unchanged", 50, {6}, {{"batteryTypeText", "old"}});
    rtu("51 code 10 unchanged", 51, {10}, {{"systemVoltageText", "old"}});
    rtu("54 status", 54, {0x0405}, {{"statusWord", 0x0405}, {"image[54]", 0x0405}});
    rtu("56..69 ratings and clock", 56, {24, 60, 20, 59, 60, 61, 62, 250, 0x1805, 0x1109, 0x1E0F, 67, 1440, 69},
        {{"ratedVoltage", 24}, {"ratedChargeCurrent", 60}, {"ratedDischargeCurrent", 20}, {"register59", 59},
         {"register62", 62}, {"loadPower", 250}, {"clockYear", 24}, {"clockMonth", 5}, {"clockDay", 17},
         {"clockHour", 9}, {"clockMinute", 30}, {"clockSecond", 15}, {"chargeLimit", 1440}, {"register69", 69}});
    rtu("70, 71 version", 70, {12, 105}, {{"versionInfo", "HRV1.2,SFV10.5"}, {"image[70]", 12}, {"image[71]", 105}});
    rtu("72..83 model", 72, lettersInRegisters("ABCDEFGHIJKL"),
        {{"deviceModel", "LKJIHGFEDCBA"}, {"image[72]", 0x3041}, {"image[83]", 0x304C}});
    rtu("84..95 serial", 84, lettersInRegisters("210987654321"), {{"serialNumber", "123456789012"}});
    // Zero padding at either end of a short text is not shown (it would be boxes).
    rtu("72..83 model padded at the end", 72, {0, 0, 0, 0, 0, 0, 'A', '0', '6', '-', 'C', 'S'},
        {{"deviceModel", "SC-60A"}});
    rtu("84..95 serial padded in front", 84, {'4', '3', '2', '1', 0, 0, 0, 0, 0, 0, 0, 0},
        {{"serialNumber", "1234"}});
    rtu("96..113 factory padded", 96, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x4300, 0x4142},
        {{"factoryInfo", "ABC"}});
    rtu("114..118", 114, {114, 1000, 1420, 960, 118},
        {{"register114", 114}, {"lithiumCapacity", 1000}, {"lithiumChargeVoltage", 1420}, {"baudRateText", "9600"},
         {"register118", 118}});
    rtu("117 is 115200", 117, {11520}, {{"baudRateText", "115200"}});
    rtu("128..136 calibration", 128, {1, 2, 3, 4, 5, 6, 7, 8, 0x003F},
        {{"calibrationWords[0]", 1}, {"calibrationWords[7]", 8}, {"image[128]", 1}, {"image[135]", 8},
         {"image[136]", 0x3F}, {"calibrationText", "未校准"}, {"encryptionText", "未加密"}});
    rtu("136 = 0", 136, {0}, {{"calibrationText", "已校准"}, {"encryptionText", "已加密"}});
    rtu("136 = 0x2F", 136, {0x2F}, {{"calibrationText", "未校准"}, {"encryptionText", "已加密"}});
    rtu("136 = 0x1E", 136, {0x1E}, {{"calibrationText", "已校准"}, {"encryptionText", "已加密"}});
    rtu("register 0 is skipped", 0, {77, 1040}, {{"pvVoltage", 1040}, {"image[0]", 0}});
    rtu("registers past 136 are skipped", 135, {8, 0x30, 0x1234, 0x5678},
        {{"calibrationWords[7]", 8}, {"encryptionText", "未加密"}, {"image[137]", 0}, {"image[138]", 0}});
    QTest::newRow("TCP shares the register map") << T << P << modbusRead(5, 2) << tcpReadReply({1000, 0xFFF6})
                                                  << QVariantMap{{"batteryVoltage", 1000}, {"batteryTemperature", -10}};
}

void tst_response_decoding::decode()
{
    QFETCH(int, protocol);
    QFETCH(int, type);
    QFETCH(Request, request);
    QFETCH(QByteArray, response);
    QFETCH(QVariantMap, expected);

    EngineProbe probe(protocol, type);
    setAllTexts(probe.engine.deviceData, QStringLiteral("old"));
    request(probe.engine);
    probe.respond(response);
    QCOMPARE(probe.failures, 0);
    QCOMPARE(probe.sent.size(), 1);

    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const QVariant actual = fieldOf(probe.engine, it.key());
        QVERIFY2(actual.isValid(), qPrintable(it.key()));
        if (it.value().type() == QVariant::String)
            QCOMPARE(actual.toString(), it.value().toString());
        else
            QVERIFY2(actual.toLongLong() == it.value().toLongLong(),
                     qPrintable(QStringLiteral("%1 = %2, expected %3").arg(it.key(), actual.toString(), it.value().toString())));
    }
}

// 36 characters, two per register, from register 113 down to 96.
void tst_response_decoding::factoryInfoIsWholeAfterRegister113_data()
{
    QTest::addColumn<QList<int>>("firstCounts");
    QTest::newRow("one read of 96..113") << QList<int>{18};
    QTest::newRow("96..104 then 105..113") << QList<int>{9, 9};
    QTest::newRow("single registers") << QVector<int>(18, 1).toList();
}

void tst_response_decoding::factoryInfoIsWholeAfterRegister113()
{
    QFETCH(QList<int>, firstCounts);
    EngineProbe probe(ProtocolModbusRtu);
    for (const char *text : {"Solar Works Ltd. Shenzhen, line 7 A", "Second maker, another factory text!!"}) {
        QByteArray bytes(text);
        bytes = bytes.leftJustified(36, ' ');
        QList<int> registers;   // register 96 carries characters 34 and 35
        for (int reg = 96; reg <= 113; ++reg) {
            const int at = 2 * (113 - reg);
            registers << (quint8(bytes[at]) << 8 | quint8(bytes[at + 1]));
        }
        int start = 96;
        for (int count : firstCounts) {
            probe.engine.modbusRtuReadRegisters(quint16(start), count);
            probe.respond(rtuReadReply(registers.mid(start - 96, count)));
            start += count;
        }
        QCOMPARE(probe.engine.deviceData.factoryInfo, QString::fromLatin1(bytes));
    }
    QCOMPARE(probe.failures, 0);
}

// The text runs from byte 3 to the first zero byte, but never past byte 14:
// here nothing in the frame nor behind it in rxFrame is zero.
void tst_response_decoding::defineTextWithoutZeroByteStopsAtTheFrame()
{
    EngineProbe probe(ProtocolDefine);
    probe.engine.defineReadDeviceModel();
    const QByteArray frame = defineReply(0x78, "41 42 43 44 45 46 47 48 49 4a 4b 4c");
    std::memset(probe.engine.rxFrame, 'Z', sizeof probe.engine.rxFrame);
    std::memcpy(probe.engine.rxFrame, frame.constData(), size_t(frame.size()));
    probe.engine.rxLength = frame.size();
    probe.engine.processResponse();
    QCOMPARE(probe.successes, 1);
    QCOMPARE(probe.engine.deviceData.deviceModel, QStringLiteral("ABCDEFGHIJKL"));
}

void tst_response_decoding::codeTablesMapTextsBack()
{
    const char *context = "com_protocol_solar";
    QCOMPARE(CodeTables::batteryTypeDefine.codeOf(QStringLiteral("SEAL"), context), 3);
    QCOMPARE(CodeTables::batteryTypeModbus.codeOf(QStringLiteral("SEAL"), context), 2);
    QCOMPARE(CodeTables::batteryTypeModbus.codeOf(QStringLiteral("LIP"), context), -1);
    QCOMPARE(CodeTables::systemVoltage.codeOf(QStringLiteral("Fixed 108V"), context), 9);
    QCOMPARE(CodeTables::baudRate.codeOf(QStringLiteral("76800"), context), 7);
    QCOMPARE(CodeTables::baudRateDefine.codeOf(QStringLiteral("76800"), context), -1);
    QCOMPARE(CodeTables::loadModeModbus.codeOf(QStringLiteral("light"), context), -1);
    QCOMPARE(recode(CodeTables::batteryTypeModbus, 3, CodeTables::batteryTypeDefine), 2);
    QCOMPARE(recode(CodeTables::loadModeModbus, 2, CodeTables::loadModeMpptWrite), 14);
    QCOMPARE(recode(CodeTables::loadModePwmDefine, 2, CodeTables::loadModeMpptWrite), 1);
    QCOMPARE(recode(CodeTables::baudRate, 6, CodeTables::baudRateDefine), 7);
    QCOMPARE(recode(CodeTables::pvState, 9, CodeTables::pvState), -1);
}

QTEST_GUILESS_MAIN(tst_response_decoding)
#include "tst_response_decoding.moc"
