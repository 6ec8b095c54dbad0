#include <QtTest>

#include "com_protocol_solar.h"

class tst_engine_defaults : public QObject
{
    Q_OBJECT
private slots:
    void defaults()
    {
        com_protocol_solar engine;
        QCOMPARE(engine.protocol(), int(ProtocolDefine));
        QCOMPARE(engine.controllerType(), int(ControllerPwm));
        QCOMPARE(int(engine.slaveAddress()), 1);
        QCOMPARE(engine.responseTimeout(), 500);
        QCOMPARE(engine.maxRetries(), 2);
        QCOMPARE(int(engine.transactionId), 1);
    }
};

QTEST_GUILESS_MAIN(tst_engine_defaults)
#include "tst_engine_defaults.moc"
