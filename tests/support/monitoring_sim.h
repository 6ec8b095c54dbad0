#ifndef MONITORING_SIM_H
#define MONITORING_SIM_H

#include <QString>

#include "device_data.h"

class MainWindow;
class QLineEdit;
class QPushButton;
class SimulatedController;
class WindowFixture;

// The window polling an in-process simulated controller, one refresh tick at
// a time: the refresh timer is held, so a test decides when each step runs.
enum class SimTransport { Tcp, Pty };

// The simulator protocol that answers a config.ini protocol text
// ("Define", "Modbus", "TCP Modbus").
ProtocolKind simProtocolFor(const QString &configProtocol);

// Holds the refresh timer, writes config.ini for the link, presses Connect
// and waits until the link is up. address applies to the serial link only.
bool connectToSim(WindowFixture &f, SimulatedController &sim, SimTransport link,
                  const QString &protocol, const QString &controller, int address = 1);

// Runs one refresh tick now and holds the timer again afterwards.
void runTick(MainWindow &w);
// Runs the given schedule step next (by setting pollStep to the step before).
void runStep(MainWindow &w, int step, int scheduleLength);

QLineEdit *lineEdit(MainWindow &w, const QString &name);
QPushButton *pushButton(MainWindow &w, const QString &name);
QString fieldText(MainWindow &w, const QString &name);

// Define request frames carry their command code in byte 2.
int defineCommandOf(const QByteArray &frame);

#endif
