#include "yield_month.h"

namespace {

constexpr qint64 HourMs = 3600 * 1000;

struct Truth
{
    qint64 generated = 4000;   // a controller some years old
    qint64 consumed = 2500;
};

} // namespace

QVector<LiveSample> YieldMonth::samples(qint64 firstDay)
{
    QVector<LiveSample> out;
    Truth t;
    auto reading = [&](qint64 day, int hour, int address, qint64 volts, qint64 gen, qint64 cons) {
        LiveSample s;
        s.address = address;
        s.utcOffsetSeconds = UtcOffsetSeconds;
        s.timeMs = (firstDay + day) * 24 * HourMs + hour * HourMs - qint64(UtcOffsetSeconds) * 1000;
        s.counts[BatteryVoltage] = volts;
        s.counts[GeneratedEnergyTotal] = gen;
        s.counts[ConsumedEnergyTotal] = cons;
        s.counts[PvVoltage] = 3000 + hour;
        s.chargeStageText = QStringLiteral("MPPT");
        s.pvStateText = QStringLiteral("Generating");
        out.append(s);
    };
    for (int day = 0; day < Days; ++day) {
        const bool gap = day >= 20 && day <= 22;
        for (int hour = 6; hour <= 20; ++hour) {
            // What happened in the hour before this reading.
            if (hour == 10 || hour == 14)
                ++t.generated;   // at 09:30 and 13:30
            if (day == 10 && hour == 12) {
                ++t.generated;   // 11:30, then both cleared at 11:45
                t.generated = 0;
                t.consumed = 0;
            }
            if (gap)
                continue;
            qint64 volts = 1250 + (hour - 6) * 10 + day;
            if (day == 5 && hour == 19)
                volts = 1100;
            reading(day, hour, 1, volts, t.generated, t.consumed);
            if (day <= 2)
                reading(day, hour, 2, 2500, 900 + day, 40);
        }
        ++t.consumed;   // at 22:00
    }
    return out;
}

QVector<DayYield> YieldMonth::expected(qint64 firstDay)
{
    // day, generated, consumed (counts of 10 kWh), lowest, highest (0.01 V)
    static const qint64 table[][5] = {
        {0, 2, 0, 1250, 1390},    // first day: nothing before it to rise from
        {1, 2, 1, 1251, 1391},    // the night's consumption counts for the morning
        {2, 2, 1, 1252, 1392},
        {3, 2, 1, 1253, 1393},
        {4, 2, 1, 1254, 1394},
        {5, 2, 1, 1100, 1395},    // the dip at 19:00
        {6, 2, 1, 1256, 1396},
        {7, 2, 1, 1257, 1397},
        {8, 2, 1, 1258, 1398},
        {9, 2, 1, 1259, 1399},
        {10, 2, 1, 1260, 1400},   // cleared: the unseen rise is lost, nothing negative
        {11, 2, 1, 1261, 1401},
        {12, 2, 1, 1262, 1402},
        {13, 2, 1, 1263, 1403},
        {14, 2, 1, 1264, 1404},
        {15, 2, 1, 1265, 1405},
        {16, 2, 1, 1266, 1406},
        {17, 2, 1, 1267, 1407},
        {18, 2, 1, 1268, 1408},
        {19, 2, 1, 1269, 1409},
        // 20 to 22: no readings
        {23, 2, 0, 1273, 1413},   // the gap's energy belongs to no day seen
        {24, 2, 1, 1274, 1414},
        {25, 2, 1, 1275, 1415},
        {26, 2, 1, 1276, 1416},
        {27, 2, 1, 1277, 1417},
        {28, 2, 1, 1278, 1418},
        {29, 2, 1, 1279, 1419},
    };
    QVector<DayYield> days;
    for (const auto &r : table) {
        DayYield d;
        d.address = 1;
        d.day = firstDay + r[0];
        d.generated = r[1];
        d.consumed = r[2];
        d.lowestVoltage = r[3];
        d.highestVoltage = r[4];
        d.samples = 15;
        days.append(d);
    }
    return days;
}

QString YieldMonth::row(const DayYield &d)
{
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(d.date().toString(Qt::ISODate))
        .arg(d.generatedKwh(), 0, 'f', 0)
        .arg(d.consumedKwh(), 0, 'f', 0)
        .arg(d.lowestVolts(), 0, 'f', 2)
        .arg(d.highestVolts(), 0, 'f', 2);
}

QStringList YieldMonth::expectedRows(qint64 firstDay)
{
    QStringList rows;
    for (const DayYield &d : expected(firstDay))
        rows << row(d);
    return rows;
}
