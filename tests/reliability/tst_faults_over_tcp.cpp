// Faults of the controller and the link, every protocol, over a TCP socket on 127.0.0.1.
#include "fault_injection.h"

class tst_faults_over_tcp : public QObject
{
    Q_OBJECT

private slots:
    void faultAndRecovery_data() { faults::addRows(SimTransport::Tcp); }
    void faultAndRecovery() { faults::runRow(SimTransport::Tcp); }
};

QTEST_MAIN(tst_faults_over_tcp)
#include "tst_faults_over_tcp.moc"
