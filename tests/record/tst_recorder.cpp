// The recorder on bare cores: what a core answers reaches the history store
// once per live-value step, with the identity of whoever answered, and
// several cores can record into one store side by side.
#include <QCoreApplication>
#include <QFile>
#include <QTest>

#include "history_store.h"
#include "monitor_core.h"
#include "recorder.h"
#include "simulated_controller.h"
#include "simulated_device.h"
#include "temp_workdir.h"

namespace {

constexpr int ModbusScheduleSteps = 13;

struct Side
{
    int address;
    QString serial;
    int pv;
    SimulatedController sim{ProtocolModbusTcp, ControllerMppt};
    MonitorCore core;
    Recorder recorder{core};
    QVector<LiveSample> taken;
    QVector<DeviceIdentity> identities;

    bool connectTo(const QString &dirPath)
    {
        SimulatedDevice *device = address == 1 ? sim.device(1) : sim.addDevice(quint8(address));
        device->setSerialNumber(serial);
        device->setReg(SimReg::PvVoltage, quint16(pv));
        core.configPath = dirPath + QStringLiteral("/%1.ini").arg(serial);
        QFile file(core.configPath);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(tcpConfigText(sim.listenTcp(), QStringLiteral("TCP Modbus"), QStringLiteral("MPPT")).toUtf8());
        file.close();
        // A TCP Connect keeps the engine's address: the second device sits at 2.
        core.mainEngine.setSlaveAddress(quint8(address));
        QObject::connect(&recorder, &Recorder::sampleTaken, &recorder,
                         [this](const LiveSample &s) { taken.append(s); });
        QObject::connect(&recorder, &Recorder::identityTaken, &recorder,
                         [this](const DeviceIdentity &i) { identities.append(i); });
        core.refreshTimer.stop();
        core.connectLink();
        return true;
    }
    void tick()
    {
        core.refereshDisplayRef();
        core.refreshTimer.stop();
    }
};

} // namespace

class TestRecorder : public QObject
{
    Q_OBJECT

private slots:
    void twoCoresRecordIntoOneStore()
    {
        TempWorkDir dir;
        HistoryStore store;
        QVERIFY(store.open(dir.path() + QStringLiteral("/history.sqlite")));
        store.setBatchLimits(1000, 60000);   // one commit at the end: rows of both interleave in one batch
        Side sides[2];
        sides[0].address = 1;
        sides[0].serial = QStringLiteral("ALPHA-1");
        sides[0].pv = 3551;
        sides[1].address = 2;
        sides[1].serial = QStringLiteral("BRAVO-2");
        sides[1].pv = 1234;
        for (Side &side : sides) {
            side.recorder.setStore(&store);
            QVERIFY(side.connectTo(dir.path()));
        }
        for (Side &side : sides)
            QTRY_VERIFY(side.core.linkIsUp());
        for (int i = 0; i < 3 * ModbusScheduleSteps; ++i)
            for (Side &side : sides)
                side.tick();
        QVERIFY(store.flush());

        for (Side &side : sides) {
            // The first reading waits for the totals; the two after it are taken.
            QCOMPARE(side.taken.size(), 2);
            QCOMPARE(side.identities.size(), 1);
            QCOMPARE(side.identities.first().serialNumber.trimmed(), side.serial);
            const QVector<LiveSample> rows = store.readRange(0, std::numeric_limits<qint64>::max(), side.address);
            QCOMPARE(rows.size(), side.taken.size());
            for (int i = 0; i < rows.size(); ++i) {
                QCOMPARE(rows[i].timeMs, side.taken[i].timeMs);
                QCOMPARE(rows[i].address, side.address);
                QCOMPARE(rows[i].counts[PvVoltage], qint64(side.pv));
            }
            QCOMPARE(store.identityAt(side.address).serialNumber.trimmed(), side.serial);
        }
    }

    // A store that comes after the identity still learns who answers; one
    // that goes first is forgotten, not written into.
    void storeHandedInLateOrGoneFirst()
    {
        TempWorkDir dir;
        Side side;
        side.address = 1;
        side.serial = QStringLiteral("LATE-7");
        side.pv = 2000;
        QVERIFY(side.connectTo(dir.path()));
        QTRY_VERIFY(side.core.linkIsUp());
        for (int i = 0; i < 2 * ModbusScheduleSteps; ++i)
            side.tick();
        QVERIFY(side.recorder.identityKnown());

        const QString path = dir.path() + QStringLiteral("/late.sqlite");
        {
            HistoryStore store;
            QVERIFY(store.open(path));
            side.recorder.setStore(&store);
            for (int i = 0; i < ModbusScheduleSteps; ++i)
                side.tick();
            QVERIFY(store.flush());
            QCOMPARE(store.identityAt(1).serialNumber.trimmed(), side.serial);
            QCOMPARE(store.countRange(0, std::numeric_limits<qint64>::max()), qint64(1));
        }
        QVERIFY(!side.recorder.store());
        for (int i = 0; i < ModbusScheduleSteps; ++i)
            side.tick();
        QCOMPARE(side.taken.size(), 3);
    }
};

QTEST_GUILESS_MAIN(TestRecorder)
#include "tst_recorder.moc"
