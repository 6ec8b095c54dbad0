// Engine writes take any int: the low 16 bits of what they pack go on the
// wire, and no argument, however large, overflows on the way (the sanitizer
// build turns such an overflow into a failure here).
#include <QtTest>

#include <climits>
#include <functional>

#include "com_protocol_solar.h"

using Write = std::function<void(com_protocol_solar &)>;
Q_DECLARE_METATYPE(Write)

class tst_engine_extremes : public QObject
{
    Q_OBJECT

private slots:
    void packedWritesKeepTheLowBits_data();
    void packedWritesKeepTheLowBits();
};

void tst_engine_extremes::packedWritesKeepTheLowBits_data()
{
    QTest::addColumn<Write>("write");
    QTest::addColumn<int>("start");
    QTest::addColumn<QVector<int>>("words");   // register values on the wire

    QTest::newRow("load timer, largest first half")
        << Write([](com_protocol_solar &e) { e.writeLoadTimer1(INT_MAX, 5); }) << 42 << QVector<int>{0xFF05};
    QTest::newRow("load timer, smallest first half")
        << Write([](com_protocol_solar &e) { e.writeLoadTimer2(INT_MIN, 7); }) << 43 << QVector<int>{0x0007};
    QTest::newRow("load timer, both halves at the ends")
        << Write([](com_protocol_solar &e) { e.writeLoadTimer3(INT_MIN, INT_MAX); }) << 44 << QVector<int>{0xFFFF};
    QTest::newRow("load timer, negative halves")
        << Write([](com_protocol_solar &e) { e.writeLoadTimer4(-1, -1); }) << 45 << QVector<int>{0xFEFF};
    QTest::newRow("clock, every field at an end")
        << Write([](com_protocol_solar &e) { e.writeClock(INT_MAX, INT_MIN, INT_MIN, INT_MAX, INT_MAX, INT_MAX); })
        << 64 << QVector<int>{47 * 256, 0xFFFF, 0xFEFF};
    QTest::newRow("clock, an ordinary date")
        << Write([](com_protocol_solar &e) { e.writeClock(2024, 5, 17, 9, 30, 0); }) << 64
        << QVector<int>{24 * 256 + 5, 17 * 256 + 9, 30 * 256};
}

void tst_engine_extremes::packedWritesKeepTheLowBits()
{
    QFETCH(Write, write);
    QFETCH(int, start);
    QFETCH(QVector<int>, words);

    com_protocol_solar engine;
    engine.setProtocol(ProtocolModbusRtu);
    int sent = 0;
    connect(&engine, &com_protocol_solar::beginSentData, [&] { ++sent; });
    write(engine);
    QCOMPARE(sent, 1);

    // address, 0x10, start, count, byte count, values, CRC
    const quint8 *f = engine.txFrame;
    QCOMPARE(f[1], quint8(0x10));
    QCOMPARE(f[2] * 256 + f[3], start);
    QCOMPARE(f[4] * 256 + f[5], words.size());
    QCOMPARE(engine.txLength, 9 + 2 * words.size());
    for (int i = 0; i < words.size(); ++i)
        QCOMPARE(f[7 + 2 * i] * 256 + f[8 + 2 * i], words.at(i));
}

QTEST_GUILESS_MAIN(tst_engine_extremes)
#include "tst_engine_extremes.moc"
