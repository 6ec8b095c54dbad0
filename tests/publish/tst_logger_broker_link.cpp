// solar-logger and a broker it cannot reach at first: the broker starts
// later, its host name is not found at first, or it refuses the password
// until its password file is mended and it is reloaded. Each time the logger
// polls on, reaches the broker within its backoff, and says each change of
// the broker link once.
#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QtTest>

#include <QJsonDocument>
#include <QJsonObject>

#include "code_tables.h"
#include "logger_process.h"
#include "mqtt_publisher.h"
#include "simulated_device.h"
#include "mqtt_fixture.h"
#include "simulated_controller.h"
#include "temp_workdir.h"

namespace {

// The broker link's lines the logger wrote on stderr.
QStringList mqttLines(const QByteArray &err)
{
    QStringList lines;
    for (const QByteArray &line : err.split('\n'))
        if (line.startsWith("solar-logger: MQTT: "))
            lines.append(QString::fromUtf8(line.mid(14)));
    return lines;
}

int sampleCount(const QByteArray &out)
{
    return out.count("\"pvVoltage\"");
}

struct Rig
{
    TempWorkDir dir;
    SimulatedController sim{ProtocolModbusTcp, ControllerMppt};
    TestSubscriber subscriber;

    bool writeConfig(const QString &host, quint16 port, const QString &login = QString())
    {
        return dir.writeConfig(tcpConfigText(sim.listenTcp(), QStringLiteral("TCP Modbus"), QStringLiteral("MPPT"))
                               + QStringLiteral("[mqtt]\nenabled=true\nhost=%1\nport=%2\nclient_id=logger\n")
                                     .arg(host)
                                     .arg(port)
                               + login);
    }
    bool stateArrives(int timeoutMs)
    {
        return QTest::qWaitFor([&] {
            for (const ReceivedMessage &m : subscriber.messages())
                if (m.topic.startsWith("solar/") && m.topic.endsWith("/state"))
                    return true;
            return false;
        }, timeoutMs);
    }
};

// Within the backoff step that was under way when the broker became
// reachable (here at most 4 s), with room for a loaded machine.
constexpr int WithinBackoffMs = 7000;

} // namespace

class tst_logger_broker_link : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(loggerExe()), "SOLAR_LOGGER_EXE names no program");
    }

    // A normal start: every entity once, under the serial number, nothing
    // deleted; and each fault bit of the controller lights its binary sensor.
    void normalStartAndFaultLamps()
    {
        TestBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.log()));
        Rig rig;
        QVERIFY(rig.subscriber.connectTo(broker.port()));
        QVERIFY(rig.writeConfig(QStringLiteral("127.0.0.1"), broker.port()));
        SimulatedDevice *device = rig.sim.device(1);
        QVERIFY(device);
        for (int bit = 0; bit <= 10; ++bit)
            device->setStatusBit(bit, false);
        LoggerProcess logger({QStringLiteral("--no-record")});
        QByteArray lampsTopic;
        QVERIFY2(QTest::qWaitFor([&] {
            for (const ReceivedMessage &m : rig.subscriber.messages())
                if (m.topic.endsWith("/lamps"))
                    lampsTopic = m.topic;
            return !lampsTopic.isEmpty();
        }, 15000), logger.err().constData());
        for (const ReceivedMessage &m : rig.subscriber.messages()) {
            QVERIFY2(!m.topic.contains("/addr"), m.topic.constData());
            QVERIFY2(!m.payload.isEmpty(), m.topic.constData());
        }
        QVERIFY(lampsTopic != "solar/addr1/lamps");

        const QStringList keys = MqttPublisher::statusKeys();
        for (int i = 0; i < StatusBits::Count; ++i) {
            const quint32 mask = StatusBits::table[i].mask;
            const int bit = qCountTrailingZeroBits(mask);
            device->setStatusBit(bit, true);
            QJsonObject lamps;
            const bool lit = QTest::qWaitFor([&] {
                lamps = QJsonDocument::fromJson(rig.subscriber.last(lampsTopic)).object();
                return lamps.value(keys.at(i)).toString()
                       == (mask == StatusBits::LoadOff ? QLatin1String("OFF") : QLatin1String("ON"));
            }, 15000);
            device->setStatusBit(bit, false);
            QVERIFY2(lit, StatusBits::table[i].key);
            for (int j = 0; j < StatusBits::Count; ++j) {
                if (j != i)
                    QCOMPARE(lamps.value(keys.at(j)).toString(),
                             StatusBits::table[j].mask == StatusBits::LoadOff ? QStringLiteral("ON")
                                                                              : QStringLiteral("OFF"));
            }
        }
        QVERIFY(logger.stop());
    }

    void brokerStartsFiveSecondsLater()
    {
        Rig rig;
        const quint16 port = TestBroker::freePort();
        QVERIFY(rig.writeConfig(QStringLiteral("127.0.0.1"), port));
        LoggerProcess logger({QStringLiteral("--no-record")});
        QTest::qWait(5000);
        QVERIFY2(sampleCount(logger.out()) >= 2, "the logger polls while the broker is away");
        TestBroker broker;
        QVERIFY2(broker.start(port), qPrintable(broker.log()));
        QVERIFY(rig.subscriber.connectTo(port));
        QVERIFY2(rig.stateArrives(WithinBackoffMs), logger.err().constData());
        QVERIFY(logger.stop());

        const QString endpoint = QStringLiteral("127.0.0.1:%1").arg(port);
        const QStringList said = mqttLines(logger.stderrText);
        QCOMPARE(said.size(), 3);   // not once per attempt
        QCOMPARE(said.at(0), QStringLiteral("MQTT: connecting to ") + endpoint);
        QCOMPARE(said.at(1), QStringLiteral("MQTT: cannot connect to %1: Connection refused; retrying in 1 s")
                                 .arg(endpoint));
        QVERIFY2(said.at(2).startsWith(QStringLiteral("MQTT: connected to %1, publishing under solar/").arg(endpoint)),
                 qPrintable(said.at(2)));
    }

    void hostNameNotFoundAtFirst()
    {
        TestBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.log()));
        Rig rig;
        QVERIFY(rig.subscriber.connectTo(broker.port()));
        QVERIFY(rig.writeConfig(QStringLiteral("broker.invalid"), broker.port()));
        const QString hosts = rig.dir.path() + QStringLiteral("/hosts");
        QProcessEnvironment env;
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(RESOLVER_SHIM));
        env.insert(QStringLiteral("SOLAR_TEST_HOSTS"), hosts);
        // A sanitizer build wants its runtime first; the shim only wraps one call.
        const QString asan = qEnvironmentVariable("ASAN_OPTIONS");
        env.insert(QStringLiteral("ASAN_OPTIONS"),
                   asan + (asan.isEmpty() ? "" : ":") + QStringLiteral("verify_asan_link_order=0"));
        LoggerProcess logger({QStringLiteral("--no-record")}, QString(), env);
        QVERIFY(QTest::qWaitFor([&] { return mqttLines(logger.err()).size() >= 2; }, 5000));
        QTest::qWait(2000);   // a few more lookups that fail alike
        QFile file(hosts);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("broker.invalid 127.0.0.1\n");
        file.close();
        QVERIFY2(rig.stateArrives(WithinBackoffMs), logger.err().constData());
        QVERIFY(logger.stop());

        const QString endpoint = QStringLiteral("broker.invalid:%1").arg(broker.port());
        const QStringList said = mqttLines(logger.stderrText);
        QCOMPARE(said.size(), 3);
        QCOMPARE(said.at(1), QStringLiteral("MQTT: cannot connect to %1: host name not found; retrying in 1 s")
                                 .arg(endpoint));
        QVERIFY2(said.at(2).startsWith(QStringLiteral("MQTT: connected to ") + endpoint), qPrintable(said.at(2)));
    }

    void passwordMendedAndBrokerReloaded()
    {
        TestBroker broker;
        QVERIFY2(broker.start(0, {QStringLiteral("solar:old-secret"), QStringLiteral("watcher:w")}),
                 qPrintable(broker.log()));
        Rig rig;
        QVERIFY(rig.subscriber.connectTo(broker.port(), "#", "watcher", "w"));
        QVERIFY(rig.writeConfig(QStringLiteral("127.0.0.1"), broker.port(),
                                QStringLiteral("username=solar\npassword=new-secret\n")));
        LoggerProcess logger({QStringLiteral("--no-record")});
        QVERIFY(QTest::qWaitFor([&] { return mqttLines(logger.err()).size() >= 2; }, 5000));
        QTest::qWait(2000);   // refused again, said no more
        QVERIFY(broker.setPassword(QStringLiteral("solar"), QStringLiteral("new-secret")));
        QVERIFY(broker.reload());
        QVERIFY2(rig.stateArrives(WithinBackoffMs), logger.err().constData());
        QVERIFY(logger.stop());

        QStringList said = mqttLines(logger.stderrText);
        // A password in a file others may read is pointed out first.
        QVERIFY2(said.at(0).contains(QLatin1String("holds the broker password and other users can read it")),
                 qPrintable(said.at(0)));
        said.removeFirst();
        QCOMPARE(said.size(), 3);
        QVERIFY2(said.at(1).startsWith(QStringLiteral("MQTT: broker 127.0.0.1:%1 refused the connection: ")
                                           .arg(broker.port()))
                     && said.at(1).endsWith(QLatin1String("; retrying in 1 s")),
                 qPrintable(said.at(1)));
        QVERIFY2(said.at(1).contains(QLatin1String("not authorised"))
                     || said.at(1).contains(QLatin1String("user name or password")),
                 qPrintable(said.at(1)));
        QVERIFY(said.at(2).startsWith(QStringLiteral("MQTT: connected to ")));
    }
};

QTEST_GUILESS_MAIN(tst_logger_broker_link)
#include "tst_logger_broker_link.moc"
