// Faults of the controller and the link, every protocol, over a pseudo-terminal as the serial port.
#include "fault_injection.h"

class tst_faults_over_pty : public QObject
{
    Q_OBJECT

private slots:
    void faultAndRecovery_data() { faults::addRows(SimTransport::Pty); }
    void faultAndRecovery() { faults::runRow(SimTransport::Pty); }
};

QTEST_MAIN(tst_faults_over_pty)
#include "tst_faults_over_pty.moc"
