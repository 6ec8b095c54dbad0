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

void LiveSampleBuilder::linkUp(const MonitorCore &core)
{
    using R = MonitorCore::StepResult;
    chargeTotalsRead_ = !MonitorCore::scheduleAnswers(core.mainEngine, R::ChargeTotals);
    energyTotalsRead_ = !MonitorCore::scheduleAnswers(core.mainEngine, R::EnergyTotals);
    firstReadingHeld_ = false;
}

bool LiveSampleBuilder::take(MonitorCore::StepResult result, const DeviceData &data,
                             const MonitorCore &core)
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
    sample_.address = core.deviceAddress();
    fillLiveSample(sample_, data, core.protocol());
    return true;
}
