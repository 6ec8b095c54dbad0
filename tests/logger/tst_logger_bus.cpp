// solar-logger with [bus] against the in-process simulator holding three
// controllers on one line (two MPPT, one PWM), over a pty and over TCP: the
// lines, the history and the checks of [bus].
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QTest>

#include "history_store.h"
#include "logger_process.h"
#include "mqtt_fixture.h"
#include "simulated_controller.h"
#include "temp_workdir.h"

namespace {

const QList<int> Addresses{1, 2, 5};

QList<QJsonObject> objectsIn(const QByteArray &text)
{
    QList<QByteArray> lines = text.split('\n');
    lines.removeLast();   // not a line until its break is there
    QList<QJsonObject> out;
    for (const QByteArray &line : qAsConst(lines))
        out.append(QJsonDocument::fromJson(line).object());
    return out;
}

// Live readings per address.
QMap<int, QList<QJsonObject>> samplesByAddress(const QByteArray &text)
{
    QMap<int, QList<QJsonObject>> out;
    for (const QJsonObject &o : objectsIn(text))
        if (o.contains(QLatin1String("pvVoltage")))
            out[o.value(QLatin1String("address")).toInt()].append(o);
    return out;
}

QString busSection(const QString &addresses, const QString &extra = QString())
{
    return QStringLiteral("[bus]\naddresses=%1\n%2[device.5]\ncontroller_type=PWM\n").arg(addresses, extra);
}

// The three controllers, each with a battery voltage of its own
// (12.00 V + address/100), so a line tells whose reading it holds.
struct BusSim
{
    BusSim(ProtocolKind protocol, bool pty) : sim(protocol, ControllerMppt)
    {
        sim.removeDevice(1);
        for (int a : Addresses)
            sim.addDevice(quint8(a), a == 5 ? ControllerPwm : ControllerMppt)
                ->setReg(SimReg::BatteryVoltage, quint16(1200 + a));
        link = pty ? serialConfigText(sim.openPty(), 9600, 1, configProtocol(protocol), QStringLiteral("MPPT"))
                   : tcpConfigText(sim.listenTcp(), configProtocol(protocol), QStringLiteral("MPPT"));
    }

    SimulatedController sim;
    QString link;
};

bool waitForEach(LoggerProcess &run, int n, int timeoutMs, const QList<int> &addresses = Addresses)
{
    return QTest::qWaitFor([&] {
        const auto samples = samplesByAddress(run.out());
        for (int a : addresses)
            if (samples.value(a).size() < n)
                return false;
        return true;
    }, timeoutMs);
}

} // namespace

class tst_logger_bus : public QObject
{
    Q_OBJECT

private slots:
    void eachDeviceLoggedAndRecordedUnderItsOwnIdentity_data()
    {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<bool>("pty");
        QTest::newRow("Modbus RTU, pty") << int(ProtocolModbusRtu) << true;
        QTest::newRow("Modbus TCP, TCP") << int(ProtocolModbusTcp) << false;
        QTest::newRow("Define, pty") << int(ProtocolDefine) << true;
    }

    void eachDeviceLoggedAndRecordedUnderItsOwnIdentity()
    {
        QFETCH(int, protocol);
        QFETCH(bool, pty);
        TempWorkDir dir;
        BusSim bus(ProtocolKind(protocol), pty);
        dir.writeConfig(bus.link + busSection(QStringLiteral("1,2,5"), QStringLiteral("interval=0\n")));
        const QString db = dir.path() + QStringLiteral("/history.sqlite");
        LoggerProcess run({QStringLiteral("--db"), db});
        QVERIFY(waitForEach(run, 3, 20000));
        // Define MPPT reads no serial number: its identity waits for nothing more.
        QVERIFY(QTest::qWaitFor([&] {
            int identities = 0;
            for (const QJsonObject &o : objectsIn(run.out()))
                identities += o.contains(QLatin1String("identity"));
            return identities >= 3;
        }, 20000));
        QVERIFY(run.stop());
        QCOMPARE(run.process.exitCode(), 0);

        const auto samples = samplesByAddress(run.out());
        QCOMPARE(samples.keys(), Addresses);
        for (int a : Addresses)
            for (const QJsonObject &s : samples.value(a))
                QCOMPARE(s.value(QLatin1String("batteryVoltage")).toDouble(), (1200 + a) / 100.0);
        QMap<int, QString> models;
        for (const QJsonObject &o : objectsIn(run.out()))
            if (o.contains(QLatin1String("identity")))
                models[o.value(QLatin1String("address")).toInt()] =
                    o.value(QLatin1String("identity")).toObject().value(QLatin1String("deviceModel")).toString();
        for (int a : Addresses)
            QCOMPARE(models.value(a), bus.sim.device(quint8(a))->deviceModel());

        HistoryStore store;
        QVERIFY(store.open(db));
        for (int a : Addresses) {
            const QVector<LiveSample> rows = store.readRange(0, std::numeric_limits<qint64>::max(), a);
            QCOMPARE(rows.size(), samples.value(a).size());
            for (const LiveSample &row : rows)
                QCOMPARE(row.counts[BatteryVoltage], qint64(1200 + a));
            QCOMPARE(store.identityAt(a).model, bus.sim.device(quint8(a))->deviceModel());
        }
        QCOMPARE(store.countRange(0, std::numeric_limits<qint64>::max()),
                 qint64(samples.value(1).size() + samples.value(2).size() + samples.value(5).size()));
    }

    // Each controller is a Home Assistant device of its own behind the
    // line's bridge: its states under its serial number, its entities linked
    // by via_device and available only while it and the bridge both are; a
    // silent device says offline on its own topic; a killed logger's bridge
    // says offline by its last will.
    void eachDevicePublishedBehindTheBridge()
    {
        TestBroker broker;
        QVERIFY(broker.start());
        TestSubscriber subscriber;
        QVERIFY(subscriber.connectTo(broker.port()));
        TempWorkDir dir;
        BusSim bus(ProtocolModbusTcp, false);
        dir.writeConfig(bus.link + busSection(QStringLiteral("1,2,5"),
                                              QStringLiteral("interval=0\noffline_interval=30\n"))
                        + QStringLiteral("[mqtt]\nenabled=true\nhost=127.0.0.1\nport=%1\nclient_id=site\n")
                              .arg(broker.port()));
        LoggerProcess run({QStringLiteral("--no-record")});
        QVERIFY2(waitForEach(run, 3, 20000), run.err().constData());
        const QString line = QStringLiteral("127_0_0_1_") + QString::number(bus.sim.tcpPort());
        const QByteArray bridgeAvailability = "solar/bridge_" + line.toUtf8() + "/availability";
        QTRY_COMPARE_WITH_TIMEOUT(subscriber.last(bridgeAvailability), QByteArray("online"), 10000);
        const QJsonObject bridge = QJsonDocument::fromJson(subscriber.last(
            "homeassistant/binary_sensor/bridge_" + line.toUtf8() + "/connectivity/config")).object();
        const QString bridgeId = QStringLiteral("solar_bridge_") + line;
        QCOMPARE(bridge.value("device").toObject().value("identifiers").toArray().first().toString(), bridgeId);

        for (int a : Addresses) {
            const QByteArray name = bus.sim.device(quint8(a))->serialNumber().toUtf8();
            QTRY_VERIFY_WITH_TIMEOUT(!subscriber.on("solar/" + name + "/state").isEmpty(), 10000);
            const QJsonObject state = QJsonDocument::fromJson(subscriber.last("solar/" + name + "/state")).object();
            QCOMPARE(state.value("batteryVoltage").toDouble(), (1200 + a) / 100.0);
            QCOMPARE(state.value("address").toInt(), a);
            QCOMPARE(subscriber.last("solar/" + name + "/availability"), QByteArray("online"));
            const QJsonObject sensor = QJsonDocument::fromJson(
                subscriber.last("homeassistant/sensor/" + name + "/batteryVoltage/config")).object();
            QCOMPARE(sensor.value("device").toObject().value("via_device").toString(), bridgeId);
            QCOMPARE(sensor.value("availability_mode").toString(), QStringLiteral("all"));
            const QJsonArray availability = sensor.value("availability").toArray();
            QCOMPARE(availability.size(), 2);
            QCOMPARE(availability.at(0).toObject().value("topic").toString(),
                     QString::fromUtf8("solar/" + name + "/availability"));
            QCOMPARE(availability.at(1).toObject().value("topic").toString(), QString::fromUtf8(bridgeAvailability));
            // Each device has its own link figures, as a single device has.
            const QJsonObject rate = QJsonDocument::fromJson(
                subscriber.last("homeassistant/sensor/" + name + "/answerRate/config")).object();
            QCOMPARE(rate.value("device").toObject().value("via_device").toString(), bridgeId);
            QTRY_VERIFY_WITH_TIMEOUT(!subscriber.on("solar/" + name + "/link").isEmpty(), 10000);
            const QJsonObject link = QJsonDocument::fromJson(subscriber.last("solar/" + name + "/link")).object();
            QVERIFY2(link.value("answerRate").toDouble() > 90, subscriber.last("solar/" + name + "/link").constData());
        }

        SimDeviceFaults silent;
        silent.silent = true;
        bus.sim.setDeviceFaults(2, silent);
        const QByteArray second = "solar/" + bus.sim.device(2)->serialNumber().toUtf8() + "/availability";
        QTRY_COMPARE_WITH_TIMEOUT(subscriber.last(second), QByteArray("offline"), 20000);
        QCOMPARE(subscriber.last(bridgeAvailability), QByteArray("online"));

        QVERIFY(run.stop(SIGKILL));
        QTRY_COMPARE_WITH_TIMEOUT(subscriber.last(bridgeAvailability), QByteArray("offline"), 10000);
    }

    // Silenced mid-run, a device is said offline while the others go on;
    // answering again, it is said back and logged again.
    void silencedDeviceOfflineAndBack()
    {
        TempWorkDir dir;
        BusSim bus(ProtocolModbusRtu, true);
        dir.writeConfig(bus.link + busSection(QStringLiteral("1,2,5"),
                                              QStringLiteral("interval=0\noffline_interval=1\n")));
        LoggerProcess run({QStringLiteral("--no-record")});
        QVERIFY(waitForEach(run, 2, 20000));
        SimDeviceFaults silent;
        silent.silent = true;
        bus.sim.setDeviceFaults(2, silent);
        QVERIFY(QTest::qWaitFor([&] { return run.err().contains("address 2 offline"); }, 20000));
        const auto atOffline = samplesByAddress(run.out());
        QVERIFY(waitForEach(run, atOffline.value(1).size() + 5, 10000, {1, 5}));
        QCOMPARE(samplesByAddress(run.out()).value(2).size(), atOffline.value(2).size());

        bus.sim.setDeviceFaults(2, SimDeviceFaults());
        QVERIFY(QTest::qWaitFor([&] { return run.err().contains("address 2 answers again"); }, 10000));
        QVERIFY(waitForEach(run, atOffline.value(2).size() + 1, 10000, {2}));
        QVERIFY(run.stop());
        QCOMPARE(run.process.exitCode(), 0);
    }

    // addresses=scan polls exactly the addresses that answered the scan.
    void scanFindsExactlyTheSimulatedAddresses()
    {
        TempWorkDir dir;
        BusSim bus(ProtocolModbusTcp, false);
        dir.writeConfig(bus.link + busSection(QStringLiteral("scan"), QStringLiteral("interval=0\n")));
        LoggerProcess run({QStringLiteral("--no-record")});
        QVERIFY(QTest::qWaitFor([&] { return run.err().contains("scan of 1..32"); }, 40000));
        QVERIFY2(run.err().contains("scan of 1..32: 1, 2, 5 answered, polling 1, 2, 5 from now on"),
                 run.err().constData());
        QVERIFY(waitForEach(run, 2, 20000));
        QVERIFY(run.stop());
        QCOMPARE(samplesByAddress(run.out()).keys(), Addresses);
    }

    void badBusValuesExitTwoNamingTheKey_data()
    {
        QTest::addColumn<QString>("bus");
        QTest::addColumn<QString>("message");
        QTest::newRow("duplicate") << busSection(QStringLiteral("1,2,2"))
                                   << QStringLiteral("[bus] addresses: 2 is listed twice");
        QTest::newRow("duplicate in a range") << busSection(QStringLiteral("1-5,3"))
                                              << QStringLiteral("[bus] addresses: 3 is listed twice");
        QTest::newRow("zero") << busSection(QStringLiteral("0,1"))
                              << QStringLiteral("[bus] addresses: 0 is out of range");
        QTest::newRow("above 247") << busSection(QStringLiteral("240-248"))
                                   << QStringLiteral("[bus] addresses: 240-248 is out of range");
        QTest::newRow("backwards") << busSection(QStringLiteral("7-5"))
                                   << QStringLiteral("[bus] addresses: 7-5 runs backwards");
        QTest::newRow("not a number") << busSection(QStringLiteral("1,two"))
                                      << QStringLiteral("[bus] addresses: \"two\" is not an address");
        QTest::newRow("empty item") << busSection(QStringLiteral("1,,2"))
                                    << QStringLiteral("[bus] addresses: \"\" is not an address");
        QTest::newRow("interval negative") << busSection(QStringLiteral("1"), QStringLiteral("interval=-1\n"))
                                           << QStringLiteral("[bus] interval: \"-1\"");
        QTest::newRow("interval text") << busSection(QStringLiteral("1"), QStringLiteral("interval=fast\n"))
                                       << QStringLiteral("[bus] interval: \"fast\"");
        QTest::newRow("offline interval zero")
            << busSection(QStringLiteral("1"), QStringLiteral("offline_interval=0\n"))
            << QStringLiteral("[bus] offline_interval: \"0\"");
        QTest::newRow("no addresses") << QStringLiteral("[bus]\ninterval=0\n")
                                      << QStringLiteral("[bus] addresses: missing");
        QTest::newRow("device type") << QStringLiteral("[bus]\naddresses=1,5\n[device.5]\ncontroller_type=MPTT\n")
                                     << QStringLiteral("[device.5] controller_type: \"MPTT\"");
    }

    void badBusValuesExitTwoNamingTheKey()
    {
        QFETCH(QString, bus);
        QFETCH(QString, message);
        TempWorkDir dir;
        dir.writeConfig(tcpConfigText(502, QStringLiteral("TCP Modbus"), QStringLiteral("MPPT")) + bus);
        QProcess p;
        p.start(loggerExe(), {QStringLiteral("--no-record")});
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitCode(), 2);
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        QVERIFY2(err.startsWith(QLatin1String("solar-logger: ")) && err.contains(message), qPrintable(err));
        QVERIFY(p.readAllStandardOutput().isEmpty());
    }

    // A serial line's own serial_address plays no part once [bus] lists the
    // addresses: 0 there does not stop the logger.
    void busIgnoresTheSingleAddress()
    {
        TempWorkDir dir;
        BusSim bus(ProtocolModbusRtu, true);
        QString link = bus.link;
        link.replace(QStringLiteral("serial_address=1"), QStringLiteral("serial_address=0"));
        dir.writeConfig(link + busSection(QStringLiteral("1,2,5"), QStringLiteral("interval=0\n")));
        LoggerProcess run({QStringLiteral("--no-record")});
        QVERIFY(waitForEach(run, 1, 20000));
        QVERIFY(run.stop());
        QCOMPARE(run.process.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_logger_bus)
#include "tst_logger_bus.moc"
