// The live sample: the window's display rules, and the JSON and CSV lines
// that the logger, the store's export and the MQTT payload share.
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include "live_sample.h"

class TstLiveSample : public QObject
{
    Q_OBJECT

private slots:
    void displayRules_data();
    void displayRules();
    void fixedPoint_data();
    void fixedPoint();
    void isoTime_data();
    void isoTime();
    void jsonLineParses();
    void csvRowMatchesHeader();
    void writersAllocateNothingOnceGrown();
};

namespace {

DeviceData sampleData()
{
    DeviceData d;
    d.pvVoltage = 1834;
    d.pvCurrent = 250;
    d.pvPower = 4585;
    d.batteryVoltage = 1321;
    d.batteryCurrent = -75;
    d.batteryTemperature = -5;
    d.batteryCapacity = 87;
    d.loadVoltage = 1300;
    d.loadCurrent = 325;
    d.loadPower = 422;
    d.internalTemperature = 31;
    d.accumulationWords[3] = 1234;
    d.accumulationWords[15] = 7;
    d.chargeStageText = QStringLiteral("Float");
    return d;
}

} // namespace

void TstLiveSample::displayRules_data()
{
    QTest::addColumn<int>("protocol");
    QTest::addColumn<quint32>("statusWord");
    QTest::addColumn<qint64>("batteryCurrent");
    QTest::addColumn<qint64>("loadVoltage");
    QTest::addColumn<qint64>("loadPower");
    // Define reports battery current itself and a load voltage of its own.
    QTest::newRow("define, load on") << int(ProtocolDefine) << 0u << qint64(-75) << qint64(1300)
                                     << qint64(422);
    QTest::newRow("define, load off") << int(ProtocolDefine) << 0x8u << qint64(-75) << qint64(0)
                                      << qint64(0);
    // Modbus: PV minus load current; the load carries the battery voltage.
    QTest::newRow("rtu, load on") << int(ProtocolModbusRtu) << 0u << qint64(-75) << qint64(1321)
                                  << qint64(422);
    QTest::newRow("tcp, load off") << int(ProtocolModbusTcp) << 0x9u << qint64(-75) << qint64(0)
                                   << qint64(0);
}

void TstLiveSample::displayRules()
{
    QFETCH(int, protocol);
    QFETCH(quint32, statusWord);
    QFETCH(qint64, batteryCurrent);
    QFETCH(qint64, loadVoltage);
    QFETCH(qint64, loadPower);
    DeviceData d = sampleData();
    d.statusWord = statusWord;
    LiveSample s;
    fillLiveSample(s, d, ProtocolKind(protocol));
    QCOMPARE(s.counts[BatteryCurrent], batteryCurrent);
    QCOMPARE(s.counts[LoadVoltage], loadVoltage);
    QCOMPARE(s.counts[LoadPower], loadPower);
    QCOMPARE(s.counts[GeneratedChargeTotal], qint64(1234));
    QCOMPARE(s.counts[ConsumedEnergyTotal], qint64(7));
    QCOMPARE(s.statusWord, statusWord);
    QCOMPARE(s.value(PvPower), 458.5);
}

void TstLiveSample::fixedPoint_data()
{
    QTest::addColumn<qint64>("counts");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("centi") << qint64(1234) << 2 << QByteArray("12.34");
    QTest::newRow("leading zero") << qint64(5) << 2 << QByteArray("0.05");
    QTest::newRow("negative below one") << qint64(-5) << 2 << QByteArray("-0.05");
    QTest::newRow("deci") << qint64(4585) << 1 << QByteArray("458.5");
    QTest::newRow("whole") << qint64(-12) << 0 << QByteArray("-12");
    QTest::newRow("extreme") << std::numeric_limits<qint64>::min() << 2
                             << QByteArray("-92233720368547758.08");
}

void TstLiveSample::fixedPoint()
{
    QFETCH(qint64, counts);
    QFETCH(int, decimals);
    QFETCH(QByteArray, text);
    QByteArray out;
    appendFixedPoint(out, counts, decimals);
    QCOMPARE(out, text);
}

void TstLiveSample::isoTime_data()
{
    QTest::addColumn<qint64>("timeMs");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("epoch") << qint64(0) << 0 << QByteArray("1970-01-01T00:00:00.000+00:00");
    QTest::newRow("east") << qint64(1796943600250) << 3600
                          << QByteArray("2026-12-11T00:00:00.250+01:00");
    QTest::newRow("west, day before") << qint64(1796943600250) << -(5 * 3600 + 30 * 60)
                                      << QByteArray("2026-12-10T17:30:00.250-05:30");
    QTest::newRow("leap day") << qint64(1709164800000) << 0
                              << QByteArray("2024-02-29T00:00:00.000+00:00");
    QTest::newRow("before epoch") << qint64(-1) << 0
                                  << QByteArray("1969-12-31T23:59:59.999+00:00");
}

void TstLiveSample::isoTime()
{
    QFETCH(qint64, timeMs);
    QFETCH(int, offset);
    QFETCH(QByteArray, text);
    QByteArray out;
    appendIsoTime(out, timeMs, offset);
    QCOMPARE(out, text);
    const QDateTime parsed = QDateTime::fromString(QString::fromLatin1(out), Qt::ISODateWithMs);
    QCOMPARE(parsed.toMSecsSinceEpoch(), timeMs);
}

void TstLiveSample::jsonLineParses()
{
    DeviceData d = sampleData();
    d.statusWord = 0x41;
    d.chargeStageText = QStringLiteral("Eq \"boost\"\\ 均衡");
    LiveSample s;
    s.timeMs = 1796943600250;
    s.address = 7;
    fillLiveSample(s, d, ProtocolModbusTcp);
    QByteArray line;
    appendLiveSampleJson(line, s);
    QJsonParseError error;
    const QJsonObject o = QJsonDocument::fromJson(line, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(o.value("time").toString(), QStringLiteral("2026-12-10T23:00:00.250+00:00"));
    QCOMPARE(o.value("address").toInt(), 7);
    QCOMPARE(o.value("pvVoltage").toDouble(), 18.34);
    QCOMPARE(o.value("batteryCurrent").toDouble(), -0.75);
    QCOMPARE(o.value("batteryTemperature").toDouble(), -5.0);
    QCOMPARE(o.value("generatedChargeTotal").toDouble(), 12.34);
    QCOMPARE(o.value("chargeStageText").toString(), d.chargeStageText);
    QCOMPARE(o.value("statusWord").toInt(), 0x41);
    QCOMPARE(o.size(), 2 + LiveValueCount + 3);
}

void TstLiveSample::csvRowMatchesHeader()
{
    DeviceData d = sampleData();
    d.chargeStageText = QStringLiteral("a,\"b\"");
    LiveSample s;
    fillLiveSample(s, d, ProtocolDefine);
    QByteArray header, row;
    appendLiveSampleCsvHeader(header);
    appendLiveSampleCsvRow(row, s);
    QVERIFY(header.startsWith("time,address,pvVoltage (V),pvCurrent (A),pvPower (W),"));
    QVERIFY(header.contains("batteryTemperature (\xC2\xB0""C)"));
    QVERIFY(header.endsWith(",chargeStageText,pvStateText,statusWord"));
    QVERIFY(row.contains(",\"a,\"\"b\"\"\","));
    // Quoted fields aside, a row has as many columns as the header.
    QByteArray plain = row;
    plain.replace("\"a,\"\"b\"\"\"", "x");
    QCOMPARE(plain.count(','), header.count(','));
}

void TstLiveSample::writersAllocateNothingOnceGrown()
{
    LiveSample s;
    fillLiveSample(s, sampleData(), ProtocolModbusRtu);
    QByteArray out;
    appendLiveSampleJson(out, s);
    appendLiveSampleCsvRow(out, s);
    const int capacity = out.capacity();
    const char *data = out.constData();
    for (int i = 0; i < 100; ++i) {
        out.resize(0);
        fillLiveSample(s, sampleData(), ProtocolModbusRtu);
        appendLiveSampleJson(out, s);
        appendLiveSampleCsvRow(out, s);
    }
    QCOMPARE(out.capacity(), capacity);
    QCOMPARE(out.constData(), data);
}

QTEST_GUILESS_MAIN(TstLiveSample)
#include "tst_live_sample.moc"
