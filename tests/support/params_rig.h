#ifndef PARAMS_RIG_H
#define PARAMS_RIG_H

#include <QByteArray>
#include <QList>
#include <QString>

#include "simulated_controller.h"
#include "window_fixture.h"

class QComboBox;
class QLineEdit;
class QPushButton;

// The four ways the parameter page meets a controller.
enum class ParamsLink { DefinePwm, DefineMppt, ModbusRtu, ModbusTcp };

const char *paramsLinkName(ParamsLink link);
bool isModbusLink(ParamsLink link);
class MainWindow;
// Which of the window's button styles a style sheet is, for readable failures.
QString styleName(const MainWindow &w, const QString &style);

// A real MainWindow connected to an in-process simulated controller: Define
// and Modbus TCP over a TCP socket, Modbus RTU over a pseudo-terminal. The
// refresh cycle is held, so only the page's own requests reach the device,
// and the engine gives up quickly on silence.
class ParamsRig
{
public:
    explicit ParamsRig(ParamsLink link);

    bool connect();

    ParamsLink link;
    WindowFixture fixture;
    SimulatedController sim;

    MainWindow &w() { return fixture.w(); }
    SimulatedDevice &device() { return *sim.device(1); }

    QPushButton *button(const QString &name);
    QLineEdit *edit(const QString &name);
    QComboBox *list(const QString &name);
    // Selects the item with this text; false when the list has none.
    bool select(const QString &list, const QString &text);

    // Request frames the device received since the last clearRequests().
    QList<QByteArray> frames() const;
    // Registers written by Modbus write frames (0x10), in order.
    QList<int> writtenRegisters() const;
    // Command codes of Define frames, in order.
    QList<int> defineCodes() const;

    // The MPPT Define frames that carry several settings need the others
    // known first: reads the four groups they come from (battery settings,
    // lithium capacity, load settings, lithium voltage and night times).
    bool readSettingGroups();
};

#endif
