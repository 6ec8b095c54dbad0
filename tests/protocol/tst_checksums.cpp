#include <QtTest>

#include "checksums.h"

// Known-answer vectors for both checksums: the catalogue check values plus
// real frames whose trailing bytes were taken from controller traffic.
class tst_checksums : public QObject
{
    Q_OBJECT
private slots:
    void crc8_data();
    void crc8();
    void modbusCrc16_data();
    void modbusCrc16();
};

void tst_checksums::crc8_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("crc");
    QTest::newRow("empty") << QByteArray() << 0x00;
    QTest::newRow("check value") << QByteArray("123456789") << 0xA2;
    QTest::newRow("single 0x01") << QByteArray::fromHex("01") << 0x31;
    QTest::newRow("single 0xFF") << QByteArray::fromHex("ff") << 0xAC;
    QTest::newRow("read run data, address 1")
        << QByteArray::fromHex("8e0101000000000000000000000000") << 0x84;
    QTest::newRow("read charge stage, address 1")
        << QByteArray::fromHex("8e0104000000000000000000000000") << 0x18;
    QTest::newRow("PWM float voltage 13.80 V")
        << QByteArray::fromHex("8e012264059bfa0000000000000000") << 0x3E;
}

void tst_checksums::crc8()
{
    QFETCH(QByteArray, input);
    QFETCH(int, crc);
    QCOMPARE(int(::crc8(reinterpret_cast<const quint8 *>(input.constData()), quint8(input.size()))), crc);
}

void tst_checksums::modbusCrc16_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("crc");
    QTest::newRow("empty") << QByteArray() << 0xFFFF;
    QTest::newRow("check value") << QByteArray("123456789") << 0x374B;
    QTest::newRow("read 12 from 1") << QByteArray::fromHex("01030001000c") << 0x140F;
    QTest::newRow("write 1380 to 29") << QByteArray::fromHex("0110001d0001020564") << 0xA766;
    QTest::newRow("write echo") << QByteArray::fromHex("0110001d0001") << 0x91CF;
}

void tst_checksums::modbusCrc16()
{
    QFETCH(QByteArray, input);
    QFETCH(int, crc);
    QCOMPARE(int(::modbusCrc16(reinterpret_cast<const quint8 *>(input.constData()), unsigned(input.size()))), crc);
}

QTEST_GUILESS_MAIN(tst_checksums)
#include "tst_checksums.moc"
