#ifndef MONITOR_CORE_PROBE_H
#define MONITOR_CORE_PROBE_H

#include "monitor_core.h"

// A look at where one core's refresh cycle stands and what it holds, and a
// way to pick the step its next tick runs, so a test need not tick its way
// there.
class MonitorCoreProbe
{
public:
    static int pollStep(const MonitorCore &core) { return core.poll_.step; }
    static int scanAddress(const MonitorCore &core) { return core.poll_.scanAddress; }
    static bool factoryFirstHalf(const MonitorCore &core) { return core.poll_.factoryFirstHalf; }

    // The link settings of the last Connect, and what the link holds
    // towards the pending answer.
    static QString modeSetting(const MonitorCore &core) { return core.modeSetting; }
    static QString protocolSetting(const MonitorCore &core) { return core.protocolSetting; }
    static QString controllerSetting(const MonitorCore &core) { return core.controllerSetting; }
    static const QByteArray &rxBuffer(const MonitorCore &core) { return core.rxBuffer; }

    // A controller type text no Connect would give, to see the page cope.
    static void setControllerSetting(MonitorCore &core, const QString &text)
    {
        core.controllerSetting = text;
    }
    // A harness that drives the socket itself: the link it reads from and
    // nothing left over from the last input.
    static void setModeSetting(MonitorCore &core, const QString &mode) { core.modeSetting = mode; }
    static void clearRxBuffer(MonitorCore &core) { core.rxBuffer.clear(); }
    // The next tick runs step; -1 (or the last step) makes it step 0.
    static void setPollStep(MonitorCore &core, int step) { core.poll_.step = step; }
    // The next scan probes address + 1.
    static void setScanAddress(MonitorCore &core, int address) { core.poll_.scanAddress = address; }
};

#endif
