#include "monitor_core_probe.h"
#include "monitoring_sim.h"

#include <QLineEdit>
#include <QPushButton>

#include "mainwindow.h"
#include "simulated_controller.h"
#include "window_fixture.h"

ProtocolKind simProtocolFor(const QString &configProtocol)
{
    if (configProtocol == QLatin1String("Modbus"))
        return ProtocolModbusRtu;
    if (configProtocol == QLatin1String("TCP Modbus"))
        return ProtocolModbusTcp;
    return ProtocolDefine;
}

bool connectToSim(WindowFixture &f, SimulatedController &sim, SimTransport link,
                  const QString &protocol, const QString &controller, int address)
{
    f.holdRefreshCycle();
    QString config;
    if (link == SimTransport::Tcp) {
        const quint16 port = sim.listenTcp();
        if (port == 0)
            return false;
        config = tcpConfigText(port, protocol, controller);
    } else {
        const QString path = sim.openPty();
        if (path.isEmpty())
            return false;
        config = serialConfigText(path, 9600, address, protocol, controller);
    }
    if (!f.dir.writeConfig(config))
        return false;
    pressConnect(f.w());
    const bool up = waitForLinkUp(f.w());
    f.holdRefreshCycle();
    return up;
}

void runTick(MainWindow &w)
{
    w.core.refereshDisplayRef();
    w.core.refreshTimer.stop();
}

void runStep(MainWindow &w, int step, int scheduleLength)
{
    MonitorCoreProbe::setPollStep(w.core, (step + scheduleLength - 1) % scheduleLength);
    runTick(w);
}

QLineEdit *lineEdit(MainWindow &w, const QString &name)
{
    return w.findChild<QLineEdit *>(name);
}

QPushButton *pushButton(MainWindow &w, const QString &name)
{
    return w.findChild<QPushButton *>(name);
}

QString fieldText(MainWindow &w, const QString &name)
{
    QLineEdit *field = lineEdit(w, name);
    return field ? field->text() : QStringLiteral("<no field %1>").arg(name);
}

int defineCommandOf(const QByteArray &frame)
{
    return frame.size() > 2 ? quint8(frame.at(2)) : -1;
}
