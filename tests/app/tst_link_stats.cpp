// Link statistics against the simulator's fault modes: each fault moves its
// own counter and no other, the statistics window shows the same numbers,
// Reset clears them, and the status bar's link text tells the answer rate.
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include "link_stats_window.h"
#include "mainwindow.h"
#include "monitoring_sim.h"
#include "operator_feedback.h"
#include "simulated_controller.h"
#include "window_fixture.h"

namespace {

constexpr int PwmDefineSteps = 15;
constexpr int ModbusSteps = 13;

enum Fault { Silence, BadCrc, WrongAddress, WrongTransaction, Exception };

// The error counters in table order: timed out, bad checksum, wrong address,
// wrong transaction, wrong unit, malformed, exception answers.
using Errors = QVector<quint64>;

Errors errorsOf(const RequestCounters &c)
{
    return {c.timedOut, c.badChecksum, c.wrongAddress, c.wrongTransaction, c.wrongUnit,
            c.malformed, c.exceptionTotal()};
}

const LinkStatsWindow::Row errorRows[] = {
    LinkStatsWindow::TimedOut, LinkStatsWindow::BadChecksum, LinkStatsWindow::WrongAddress,
    LinkStatsWindow::WrongTransaction, LinkStatsWindow::WrongUnit, LinkStatsWindow::Malformed,
    LinkStatsWindow::Exceptions,
};

} // namespace

class tst_link_stats : public QObject
{
    Q_OBJECT

private slots:
    void faultMovesItsCounter_data();
    void faultMovesItsCounter();
};

void tst_link_stats::faultMovesItsCounter_data()
{
    QTest::addColumn<int>("link");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<int>("fault");
    QTest::addColumn<int>("exceptionCode");
    QTest::addColumn<int>("limit");   // answers spoilt; -1: all of them
    QTest::addColumn<quint64>("answered");
    QTest::addColumn<quint64>("resent");
    QTest::addColumn<Errors>("errors");

    const int Tcp = int(SimTransport::Tcp), Pty = int(SimTransport::Pty);
    QTest::newRow("Define bad CRC") << Tcp << "Define" << int(BadCrc) << 0 << 1 << 1ull << 1ull
                                    << Errors{0, 1, 0, 0, 0, 0, 0};
    QTest::newRow("RTU bad CRC") << Pty << "Modbus" << int(BadCrc) << 0 << 1 << 1ull << 1ull
                                 << Errors{0, 1, 0, 0, 0, 0, 0};
    QTest::newRow("Define wrong address") << Tcp << "Define" << int(WrongAddress) << 0 << 1 << 1ull << 1ull
                                          << Errors{0, 0, 1, 0, 0, 0, 0};
    QTest::newRow("RTU wrong address") << Pty << "Modbus" << int(WrongAddress) << 0 << 1 << 1ull << 1ull
                                       << Errors{0, 0, 1, 0, 0, 0, 0};
    QTest::newRow("TCP wrong unit") << Tcp << "TCP Modbus" << int(WrongAddress) << 0 << 1 << 1ull << 1ull
                                    << Errors{0, 0, 0, 0, 1, 0, 0};
    QTest::newRow("TCP wrong transaction") << Tcp << "TCP Modbus" << int(WrongTransaction) << 0 << 1
                                           << 1ull << 1ull << Errors{0, 0, 0, 1, 0, 0, 0};
    QTest::newRow("RTU exception 4") << Pty << "Modbus" << int(Exception) << 4 << 1 << 1ull << 1ull
                                     << Errors{0, 0, 0, 0, 0, 0, 1};
    QTest::newRow("TCP exception 2") << Tcp << "TCP Modbus" << int(Exception) << 2 << 1 << 1ull << 1ull
                                     << Errors{0, 0, 0, 0, 0, 0, 1};
    QTest::newRow("TCP one silence") << Tcp << "TCP Modbus" << int(Silence) << 0 << 1 << 1ull << 1ull
                                     << Errors{1, 0, 0, 0, 0, 0, 0};
    // Two re-sends, three timeouts, and the request fails.
    QTest::newRow("Define silent") << Tcp << "Define" << int(Silence) << 0 << -1 << 0ull << 2ull
                                   << Errors{3, 0, 0, 0, 0, 0, 0};
}

void tst_link_stats::faultMovesItsCounter()
{
    QFETCH(int, link);
    QFETCH(QString, protocol);
    QFETCH(int, fault);
    QFETCH(int, exceptionCode);
    QFETCH(int, limit);
    QFETCH(quint64, answered);
    QFETCH(quint64, resent);
    QFETCH(Errors, errors);

    SimulatedController sim(simProtocolFor(protocol), ControllerPwm);
    WindowFixture f;
    MainWindow &w = f.w();
    QVERIFY(connectToSim(f, sim, SimTransport(link), protocol, QStringLiteral("PWM")));
    w.core.mainEngine.setResponseTimeout(80);
    const bool define = protocol == QLatin1String("Define");
    const int liveStep = define ? 0 : 1;
    const int steps = define ? PwmDefineSteps : ModbusSteps;

    runStep(w, liveStep, steps);   // a clean exchange first
    QCOMPARE(w.core.linkStats().counters(RequestKind::LiveValues).answered, 1ull);
    QVERIFY(w.core.linkStats().counters(RequestKind::LiveValues).bytesIn > 0);
    w.core.resetLinkStats();
    QCOMPARE(w.core.linkStats().total().sent, 0ull);

    SimFaults faults;
    faults.silence = fault == Silence;
    faults.badCrc = fault == BadCrc;
    faults.wrongAddress = fault == WrongAddress;
    faults.wrongTransactionId = fault == WrongTransaction;
    faults.exceptionCode = fault == Exception ? exceptionCode : 0;
    faults.limit = limit;
    sim.setFaults(faults);
    runStep(w, liveStep, steps);

    const LinkStats &stats = w.core.linkStats();
    const RequestCounters live = stats.counters(RequestKind::LiveValues);
    QCOMPARE(live.sent, 1ull);
    QCOMPARE(live.answered, answered);
    QCOMPARE(live.failed, 1 - answered);
    QCOMPARE(live.resent, resent);
    QCOMPARE(errorsOf(live), errors);
    if (fault == Exception)
        QCOMPARE(live.exceptions[exceptionCode], 1ull);
    QCOMPARE(live.rttCount, answered);
    // Nothing but the live-values step was asked.
    QCOMPARE(stats.total().sent, 1ull);
    QCOMPARE(errorsOf(stats.total()), errors);

    // The window shows the same numbers, for the kind and for all kinds.
    w.linkStats()->open();
    LinkStatsWindow *window = w.linkStats()->statsWindow();
    QVERIFY(window && window->isVisible());
    QTableWidget *table = window->table;
    for (int column : {int(RequestKind::LiveValues), int(LinkStatsWindow::AllColumn)}) {
        const auto cell = [&](int row) { return table->item(row, column)->text(); };
        QCOMPARE(cell(LinkStatsWindow::Sent), QStringLiteral("1"));
        QCOMPARE(cell(LinkStatsWindow::Answered), QString::number(answered));
        QCOMPARE(cell(LinkStatsWindow::Failed), QString::number(1 - answered));
        QCOMPARE(cell(LinkStatsWindow::Resent), QString::number(resent));
        for (int i = 0; i < errors.size(); ++i)
            QCOMPARE(cell(errorRows[i]), QString::number(errors[i]));
    }
    QCOMPARE(table->item(LinkStatsWindow::Sent, int(RequestKind::Scan))->text(), QStringLiteral("0"));
    if (fault == Exception)
        QCOMPARE(window->exceptionCodes->text(), QStringLiteral("Exception codes: %1: 1").arg(exceptionCode));
    else
        QCOMPARE(window->exceptionCodes->text(), QStringLiteral("Exception codes: none"));

    // The link text's tooltip: the answer rate of the last five minutes.
    w.linkStats()->updateTooltip();
    const QString rate = answered ? QStringLiteral("100.0 % of 1 requests answered in the last five minutes")
                                  : QStringLiteral("0.0 % of 1 requests answered in the last five minutes");
    QCOMPARE(w.feedback()->notice->toolTip(), rate);
    QCOMPARE(window->recent->text(), rate);

    // Reset clears the counters, the table and the rate.
    QTest::mouseClick(window->resetButton, Qt::LeftButton);
    QCOMPARE(stats.total().sent, 0ull);
    QCOMPARE(table->item(LinkStatsWindow::Sent, LinkStatsWindow::AllColumn)->text(), QStringLiteral("0"));
    QCOMPARE(w.feedback()->notice->toolTip(), QStringLiteral("No requests in the last five minutes"));
    sim.clearFaults();
}

QTEST_MAIN(tst_link_stats)
#include "tst_link_stats.moc"
