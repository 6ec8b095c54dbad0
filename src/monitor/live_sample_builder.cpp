#include "live_sample_builder.h"

#include <QDateTime>
#include <ctime>

int utcOffsetNow(qint64 timeMs)
{
    const time_t seconds = time_t(timeMs / 1000);
    struct tm local;
    localtime_r(&seconds, &local);
    return int(local.tm_gmtoff);
}

void LiveSampleBuilder::linkUp(const com_protocol_solar &engine)
{
    using R = MonitorCore::StepResult;
    chargeTotalsRead_ = !MonitorCore::scheduleAnswers(engine, R::ChargeTotals);
    energyTotalsRead_ = !MonitorCore::scheduleAnswers(engine, R::EnergyTotals);
    firstReadingHeld_ = false;
}

bool LiveSampleBuilder::take(MonitorCore::StepResult result, const DeviceData &data,
                             const com_protocol_solar &engine)
{
    using R = MonitorCore::StepResult;
    if (result == R::ChargeTotals)
        chargeTotalsRead_ = true;
    else if (result == R::EnergyTotals)
        energyTotalsRead_ = true;
    if (result != R::RunData && result != R::ModbusRunData)
        return false;
    if ((!chargeTotalsRead_ || !energyTotalsRead_) && !firstReadingHeld_) {
        firstReadingHeld_ = true;
        return false;
    }
    sample_.timeMs = QDateTime::currentMSecsSinceEpoch();
    sample_.utcOffsetSeconds = utcOffsetNow(sample_.timeMs);
    sample_.address = engine.slaveAddress();
    fillLiveSample(sample_, data, ProtocolKind(engine.protocol()));
    return true;
}
