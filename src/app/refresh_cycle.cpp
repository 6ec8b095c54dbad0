// The refresh cycle as the window shows it: each answered step writes its
// widgets, each scan probe updates the device list. The cycle itself is the
// core's.
#include "mainwindow.h"

void MainWindow::onStepAnswered(MonitorCore::StepResult result)
{
    using R = MonitorCore::StepResult;
    switch (result) {
    case R::RunData: showRunData(); break;
    case R::ModbusRunData: showModbusRunData(); break;
    case R::ChargeTotals: showPolledChargeTotals(); break;
    case R::InternalTemperature: showInternalTemperature(); break;
    case R::ChargeStage: showChargeStage(); break;
    case R::SystemVoltage: showSystemVoltage(); break;
    case R::EnergyTotals: showEnergyTotals(); break;
    case R::FactoryInfo: showFactoryInfo(); break;
    case R::DeviceModel: showDeviceModel(); break;
    case R::SerialNumber: showSerialNumber(); break;
    case R::EncryptionState: showEncryptionState(); break;
    case R::VersionAndRatedCurrents: showVersionAndRatedCurrents(); break;
    case R::Ratings: showRatings(); break;
    case R::VersionInfo: showVersionInfo(); break;
    case R::ModbusStatus: showModbusStatus(); break;
    case R::None:
    case R::FactoryFirstHalf:
    case R::FactorySecondHalf:
        break;
    }
}

void MainWindow::onDeviceProbed(int address, bool answered, const QString &model)
{
    if (address >= 0 && address < DeviceSlots) {
        deviceSeen[address] = answered ? quint8(address) : 0;
        if (answered)
            deviceNames[address] = model;
    }
    updateDeviceList(0, QString());
}

// --- success actions ---------------------------------------------------

void MainWindow::showRunData()
{
    showDefineLiveValues();
    showStatusLamps(false);
    appendCurvePoint();
}

void MainWindow::showModbusRunData()
{
    showModbusLiveValues();
    appendCurvePoint();
}

// An MPPT controller over Modbus TCP does not report its generated charge
// total in register 16, so that field is left alone there.
void MainWindow::showPolledChargeTotals()
{
    const bool mpptOverTcp = core.protocol() == ProtocolModbusTcp
                             && core.controllerType() == ControllerMppt;
    showChargeTotals(!mpptOverTcp, true);
}

void MainWindow::showVersionAndRatedCurrents()
{
    showVersionInfo();
    showRatedCurrents();
}

void MainWindow::showRatings()
{
    showRatedVoltage();
    showRatedCurrents();
}

void MainWindow::showModbusStatus()
{
    showStatusLamps(true);
}
