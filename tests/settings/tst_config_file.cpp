// config.ini access on real files in a temporary working directory.
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QtTest>

#include <sys/stat.h>

#include "config_file.h"
#include "temp_workdir.h"

using Assignments = QVector<QPair<QString, QString>>;
Q_DECLARE_METATYPE(Assignments)

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

ino_t inodeOf(const QString &path)
{
    struct stat st = {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

class tst_ConfigFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void reads_data();
    void reads();
    void intValue_data();
    void intValue();
    void missingFileReadsEmptyAndSavesNothing();

    void rewrites_data();
    void rewrites();
    void unchangedValueLeavesFileAlone();
    void lineBreakInValueCannotStartNewLine();

    void garbageReadSafely_data();
    void garbageReadSafely();
    void oversizedFileIsNeverRewritten();
    void unreadablePathIsNeverReplaced();
    void writeErrorIsReported();

private:
    TempWorkDir *work = nullptr;
};

void tst_ConfigFile::init()
{
    work = new TempWorkDir;
    QVERIFY(work->isValid());
}

void tst_ConfigFile::cleanup()
{
    delete work;
    work = nullptr;
}

void tst_ConfigFile::reads_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const QByteArray dialogFile = "[common]\ncommunication_mode=Serial\ncommunication_protocol=TCP Modbus\n"
                                  "[type]\ncontroller_type=MPPT\n"
                                  "[serial]\nserial_port=COM3\nserial_baud=9600\nserial_address=17\n"
                                  "[Wifi]\nip_address=192.168.1.20\nip_port=502\n";
    // The window's keys, in the case the window asks for them.
    QTest::newRow("Common/ on common") << dialogFile << "Common/communication_mode" << "Serial";
    QTest::newRow("value with space") << dialogFile << "Common/communication_protocol" << "TCP Modbus";
    QTest::newRow("type/") << dialogFile << "type/controller_type" << "MPPT";
    QTest::newRow("Serial/ on serial") << dialogFile << "Serial/serial_port" << "COM3";
    QTest::newRow("Serial/serial_address") << dialogFile << "Serial/serial_address" << "17";
    QTest::newRow("Wifi/ip_address") << dialogFile << "Wifi/ip_address" << "192.168.1.20";
    QTest::newRow("common/ on Common") << QByteArray("[Common]\ncommunication_mode=Wifi\n")
                                       << "common/communication_mode" << "Wifi";
    QTest::newRow("key case ignored") << QByteArray("[SERIAL]\nSerial_Port=ttyUSB0\n")
                                      << "serial/serial_port" << "ttyUSB0";

    // Values are the exact text after '=', only trimmed of surrounding blanks.
    QTest::newRow("commas") << QByteArray("[Wifi]\nip_address=10.0.0.1,10.0.0.2\n") << "Wifi/ip_address"
                            << "10.0.0.1,10.0.0.2";
    QTest::newRow("equals in value") << QByteArray("[x]\nk=a=b=c\n") << "x/k" << "a=b=c";
    QTest::newRow("blanks around =") << QByteArray("[x]\n  k \t=  two words \n") << "x/k" << "two words";
    QTest::newRow("quotes kept") << QByteArray("[x]\nk=\"a,b\"\n") << "x/k" << "\"a,b\"";
    QTest::newRow("semicolon kept") << QByteArray("[x]\nk=a ; b\n") << "x/k" << "a ; b";
    QTest::newRow("backslash kept") << QByteArray("[x]\nk=C:\\dev\\x41\n") << "x/k" << "C:\\dev\\x41";
    QTest::newRow("utf-8") << QByteArray("[x]\nk=光伏控制器\n") << "x/k" << QString::fromUtf8("光伏控制器");
    QTest::newRow("empty value") << QByteArray("[x]\nk=\n") << "x/k" << "";
    QTest::newRow("crlf") << QByteArray("[x]\r\nk=v\r\nj=w\r\n") << "x/j" << "w";
    QTest::newRow("bom") << QByteArray("\xEF\xBB\xBF[x]\nk=v\n") << "x/k" << "v";
    QTest::newRow("blanks in header") << QByteArray("[ serial ]\nserial_baud=4800\n") << "Serial/serial_baud"
                                      << "4800";

    // What is not a value.
    QTest::newRow("missing key") << dialogFile << "Serial/nothing" << "";
    QTest::newRow("missing section") << dialogFile << "nothing/serial_port" << "";
    QTest::newRow("other section's key") << QByteArray("[other]\nserial_port=X\n") << "serial/serial_port" << "";
    QTest::newRow("comment ;") << QByteArray("[x]\n;k=v\n") << "x/k" << "";
    QTest::newRow("comment #") << QByteArray("[x]\n# k=v\n") << "x/k" << "";
    QTest::newRow("line without =") << QByteArray("[x]\nk\n") << "x/k" << "";

    // Repeats: the first occurrence wins; a repeated section adds its new keys.
    QTest::newRow("repeated key") << QByteArray("[x]\nk=1\nk=2\n") << "x/k" << "1";
    QTest::newRow("section twice, first wins") << QByteArray("[serial]\nserial_port=A\n[Serial]\nserial_port=B\n")
                                               << "Serial/serial_port" << "A";
    QTest::newRow("section twice, key only in second")
        << QByteArray("[serial]\nserial_port=A\n[Serial]\nserial_baud=9600\n") << "serial/serial_baud" << "9600";
    QTest::newRow("keys above any header") << QByteArray("k=top\n[x]\nk=v\n") << "General/k" << "top";
}

void tst_ConfigFile::reads()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QVERIFY(writeBytes(work->configPath(), file));

    const ConfigFile config;
    QCOMPARE(config.value(key), expected);
    QCOMPARE(fileBytes(work->configPath()), file);
}

void tst_ConfigFile::intValue_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("expected");

    QTest::newRow("plain") << QByteArray("17") << 17;
    QTest::newRow("blanks") << QByteArray("  502  ") << 502;
    QTest::newRow("negative") << QByteArray("-3") << -3;
    QTest::newRow("leading zero is decimal") << QByteArray("010") << 10;
    QTest::newRow("hex is not base 10") << QByteArray("0x10") << 0;
    QTest::newRow("trailing letters") << QByteArray("17abc") << 0;
    QTest::newRow("word") << QByteArray("COM1") << 0;
    QTest::newRow("empty") << QByteArray("") << 0;
    QTest::newRow("overflow") << QByteArray("99999999999") << 0;
}

void tst_ConfigFile::intValue()
{
    QFETCH(QByteArray, text);
    QFETCH(int, expected);
    QVERIFY(writeBytes(work->configPath(), "[serial]\nserial_address=" + text + "\n"));

    QCOMPARE(ConfigFile().intValue(QStringLiteral("Serial/serial_address")), expected);
}

void tst_ConfigFile::missingFileReadsEmptyAndSavesNothing()
{
    ConfigFile config;
    QCOMPARE(config.value(QStringLiteral("common/communication_mode")), QString());
    QCOMPARE(config.intValue(QStringLiteral("Wifi/ip_port")), 0);
    QVERIFY(config.save());
    QVERIFY(!work->configExists());

    config.setValue(QStringLiteral("common/communication_mode"), QStringLiteral("Serial"));
    QVERIFY(config.save());
    QCOMPARE(fileBytes(work->configPath()), QByteArray("[common]\ncommunication_mode=Serial\n"));
}

void tst_ConfigFile::rewrites_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<Assignments>("assignments");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("replace keeps the rest byte for byte")
        << QByteArray("; written by hand\n[Common]\ncommunication_mode = Wifi   \nextra=kept, as is\n\n"
                      "[unknown]\nanything=at all\n")
        << Assignments{{"common/communication_mode", "Serial"}}
        << QByteArray("; written by hand\n[Common]\ncommunication_mode = Serial\nextra=kept, as is\n\n"
                      "[unknown]\nanything=at all\n");
    QTest::newRow("new key after the section's last entry")
        << QByteArray("[serial]\nserial_port=COM1\n\n; baud below\n[Wifi]\nip_port=502\n")
        << Assignments{{"Serial/serial_baud", "9600"}}
        << QByteArray("[serial]\nserial_port=COM1\nserial_baud=9600\n\n; baud below\n[Wifi]\nip_port=502\n");
    QTest::newRow("new section appended, missing final break added")
        << QByteArray("[common]\ncommunication_mode=Serial")
        << Assignments{{"Wifi/ip_address", "10.0.0.7"}, {"Wifi/ip_port", "502"}}
        << QByteArray("[common]\ncommunication_mode=Serial\n\n[Wifi]\nip_address=10.0.0.7\nip_port=502\n");
    QTest::newRow("empty header gets its first key")
        << QByteArray("[type]\n[serial]\nserial_port=COM2\n")
        << Assignments{{"type/controller_type", "PWM"}}
        << QByteArray("[type]\ncontroller_type=PWM\n[serial]\nserial_port=COM2\n");
    QTest::newRow("crlf kept for new lines")
        << QByteArray("[common]\r\ncommunication_mode=Wifi\r\n")
        << Assignments{{"common/communication_mode", "Serial"}, {"type/controller_type", "MPPT"}}
        << QByteArray("[common]\r\ncommunication_mode=Serial\r\n\r\n[type]\r\ncontroller_type=MPPT\r\n");
    QTest::newRow("writes go to the first of a repeated section")
        << QByteArray("[Serial]\nserial_port=COM1\n[serial]\nserial_baud=4800\n")
        << Assignments{{"serial/serial_port", "ttyUSB0"}, {"serial/serial_address", "5"},
                       {"serial/serial_baud", "9600"}}
        << QByteArray("[Serial]\nserial_port=ttyUSB0\nserial_address=5\n[serial]\nserial_baud=9600\n");
    QTest::newRow("values stored verbatim")
        << QByteArray()
        << Assignments{{"Wifi/ip_address", "a,b, c=d \"e\" ;f"}, {"Wifi/ip_port", QString::fromUtf8("端口")}}
        << QByteArray("[Wifi]\nip_address=a,b, c=d \"e\" ;f\nip_port=端口\n");
    QTest::newRow("bom and binary neighbours kept")
        << QByteArray("\xEF\xBB\xBF[x]\nk=1\n\xFF\xFE\x00junk\n", 19)
        << Assignments{{"x/k", "2"}}
        << QByteArray("\xEF\xBB\xBF[x]\nk=2\n\xFF\xFE\x00junk\n", 19);
}

void tst_ConfigFile::rewrites()
{
    QFETCH(QByteArray, before);
    QFETCH(Assignments, assignments);
    QFETCH(QByteArray, after);
    if (!before.isNull())
        QVERIFY(writeBytes(work->configPath(), before));

    ConfigFile config;
    for (const auto &a : assignments)
        config.setValue(a.first, a.second);
    QVERIFY2(config.save(), qPrintable(config.errorString()));
    QCOMPARE(fileBytes(work->configPath()), after);

    const ConfigFile reread;
    for (const auto &a : assignments)
        QCOMPARE(reread.value(a.first), a.second);
}

void tst_ConfigFile::unchangedValueLeavesFileAlone()
{
    const QByteArray text("[common]\ncommunication_mode=Serial\n");
    QVERIFY(writeBytes(work->configPath(), text));
    const ino_t inode = inodeOf(work->configPath());

    ConfigFile config;
    config.setValue(QStringLiteral("Common/communication_mode"), QStringLiteral("Serial"));
    QVERIFY(config.save());
    // A rewrite goes through a new file and a rename, so the same inode means no write.
    QCOMPARE(inodeOf(work->configPath()), inode);
    QCOMPARE(fileBytes(work->configPath()), text);
}

void tst_ConfigFile::lineBreakInValueCannotStartNewLine()
{
    ConfigFile config;
    config.setValue(QStringLiteral("Wifi/ip_address"), QStringLiteral("host\n[common]\r\ncommunication_mode=Wifi"));
    QVERIFY(config.save());

    const ConfigFile reread;
    QCOMPARE(reread.value(QStringLiteral("common/communication_mode")), QString());
    QCOMPARE(reread.value(QStringLiteral("Wifi/ip_address")), QStringLiteral("host [common]  communication_mode=Wifi"));
}

void tst_ConfigFile::garbageReadSafely_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    QByteArray random(64 * 1024, Qt::Uninitialized);
    QRandomGenerator rng(20240611);
    for (char &c : random)
        c = char(rng.bounded(256));
    QTest::newRow("random binary") << random << "serial/serial_port" << "";
    QTest::newRow("binary then a key") << QByteArray(random).append("\n[serial]\nserial_port=COM7\n")
                                       << "serial/serial_port" << "COM7";
    QTest::newRow("nul bytes") << QByteArray("[x]\nk=a\0b\n", 10) << "x/k" << QString::fromLatin1("a\0b", 3);
    QTest::newRow("unclosed header") << QByteArray("[serial\nserial_port=COM5\n") << "serial/serial_port" << "";
    QTest::newRow("only brackets and equals") << QByteArray("[]\n=\n==\n[\n]\n") << "x/k" << "";
    QTest::newRow("2 MiB line") << QByteArray("[x]\nk=").append(QByteArray(2 * 1024 * 1024, 'v')) << "x/k" << "";
    QTest::newRow("many short lines")
        << QByteArray("[serial]\nserial_port=COM9\n").append(QByteArray("a=b\n").repeated(200000))
        << "serial/serial_port" << "COM9";
    QTest::newRow("10 MB, key past the limit is absent")
        << QByteArray("[x]\nfirst=1\n").append(QByteArray(10 * 1000 * 1000, '#')).append("\n[y]\nlast=2\n")
        << "y/last" << "";
}

void tst_ConfigFile::garbageReadSafely()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QVERIFY(writeBytes(work->configPath(), file));

    QElapsedTimer clock;
    clock.start();
    const ConfigFile config;
    QCOMPARE(config.value(key), expected);
    QVERIFY2(clock.elapsed() < 5000, "reading must stay bounded");
    QVERIFY(fileBytes(work->configPath()) == file);
}

void tst_ConfigFile::oversizedFileIsNeverRewritten()
{
    // A key right at the cut must not be read with a truncated value.
    const QByteArray head("[x]\nfirst=1\n[y]\nlong=");
    QByteArray file = head + QByteArray(int(ConfigFile::MaxReadBytes) - head.size() - 2, 'v') + "TAIL\n[z]\nk=3\n";
    QVERIFY(writeBytes(work->configPath(), file));

    ConfigFile config;
    QCOMPARE(config.value(QStringLiteral("x/first")), QStringLiteral("1"));
    QCOMPARE(config.value(QStringLiteral("y/long")), QString());
    QCOMPARE(config.value(QStringLiteral("z/k")), QString());

    config.setValue(QStringLiteral("x/first"), QStringLiteral("2"));
    QVERIFY(!config.save());
    QVERIFY(!config.errorString().isEmpty());
    QVERIFY(fileBytes(work->configPath()) == file);
}

void tst_ConfigFile::unreadablePathIsNeverReplaced()
{
    QVERIFY(QDir().mkdir(QStringLiteral("config.ini")));

    ConfigFile config;
    QCOMPARE(config.value(QStringLiteral("common/communication_mode")), QString());
    config.setValue(QStringLiteral("common/communication_mode"), QStringLiteral("Serial"));
    QVERIFY(!config.save());
    QVERIFY(!config.errorString().isEmpty());
    QVERIFY(QFileInfo(work->configPath()).isDir());
}

void tst_ConfigFile::writeErrorIsReported()
{
    ConfigFile config(work->path() + QStringLiteral("/no/such/dir/config.ini"));
    config.setValue(QStringLiteral("common/communication_mode"), QStringLiteral("Serial"));
    QVERIFY(!config.save());
    QVERIFY(!config.errorString().isEmpty());
}

QTEST_GUILESS_MAIN(tst_ConfigFile)
#include "tst_config_file.moc"
