// What the operator is told, driven by real failures: a refused port, a host
// that cannot be found, a peer that hangs up, a pty whose other end goes away,
// a missing or forbidden serial device, and a simulated controller that stays
// silent, answers with an exception or cannot take a request.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>
#include <qcustomplot.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app_language.h"
#include "operator_feedback.h"
#include "params_rig.h"
#include "pty_pair.h"
#include "tcp_device.h"
#include "window_fixture.h"

namespace {

const QString failedToOpen = QStringLiteral("The serial port failed to open, please resched the serial port!");

QString notice(MainWindow &w)
{
    return w.feedback()->notice->text();
}

QString pressOnce(MessageBoxCatcher &boxes, MainWindow &w)
{
    pressConnect(w);
    return boxes.count() ? boxes.texts().last() : QString();
}

} // namespace

class tst_operator_feedback : public QObject
{
    Q_OBJECT

private slots:
    void refusedPortIsNamed()
    {
        WindowFixture f;
        f.holdRefreshCycle();
        const quint16 port = refusedTcpPort();
        QVERIFY(f.dir.writeConfig(tcpConfigText(port, QStringLiteral("Define"))));
        MessageBoxCatcher boxes;
        pressConnect(f.w());
        const QString where = QStringLiteral("127.0.0.1:%1").arg(port);
        QTRY_COMPARE(notice(f.w()), QStringLiteral("%1 refused the connection").arg(where));
        QCOMPARE(f.w().windowTitle(), QStringLiteral("Solar Charge Controller Monitor - not connected"));
        QCOMPARE(boxes.count(), 0);   // the status bar, not a box
    }

    void missingHostIsNamed()
    {
        WindowFixture f;
        f.holdRefreshCycle();
        QVERIFY(f.dir.writeConfig(tcpConfigText(502, QStringLiteral("Define"), QStringLiteral("PWM"),
                                                QString())));
        pressConnect(f.w());
        QTRY_VERIFY(notice(f.w()).startsWith(QStringLiteral(":502 cannot be reached (")));
    }

    void connectedThenClosedByThePeer()
    {
        TcpDevice device;
        WindowFixture f;
        f.holdRefreshCycle();
        QVERIFY(f.dir.writeConfig(tcpConfigText(device.port(), QStringLiteral("Define"))));
        pressConnect(f.w());
        const QString where = QStringLiteral("127.0.0.1:%1").arg(device.port());
        QCOMPARE(notice(f.w()), QStringLiteral("Connecting to %1 ...").arg(where));
        QCOMPARE(f.w().windowTitle(), QStringLiteral("Solar Charge Controller Monitor - connecting to %1").arg(where));
        QVERIFY(device.waitForClient());
        QVERIFY(waitForLinkUp(f.w()));
        QCOMPARE(notice(f.w()), QStringLiteral("Connected to %1").arg(where));
        QCOMPARE(f.w().windowTitle(), QStringLiteral("Solar Charge Controller Monitor - %1").arg(where));

        device.closeClient();
        QVERIFY(waitForLinkDown(f.w()));
        QCOMPARE(notice(f.w()), QStringLiteral("%1 closed the connection").arg(where));
        QCOMPARE(f.w().windowTitle(), QStringLiteral("Solar Charge Controller Monitor - not connected"));
    }

    void serialHangupIsNamed()
    {
        PtyPair pty;
        WindowFixture f;
        f.holdRefreshCycle();
        QVERIFY(f.connectSerial(pty, QStringLiteral("Define")));
        QCOMPARE(f.w().windowTitle(), QStringLiteral("Solar Charge Controller Monitor - %1").arg(pty.slavePath()));
        pty.closeSlave();
        pty.closeMaster();
        QVERIFY(waitForLinkDown(f.w(), 3000));
        QVERIFY2(notice(f.w()).startsWith(QStringLiteral("Serial port %1 was lost (").arg(pty.slavePath())),
                 qPrintable(notice(f.w())));
    }

    void missingSerialPortNamesPortAndReason()
    {
        WindowFixture f;
        f.holdRefreshCycle();
        const QString port = QStringLiteral("/dev/solar-no-such-port");
        QVERIFY(f.dir.writeConfig(serialConfigText(port, 9600, 1, QStringLiteral("Define"))));
        MessageBoxCatcher boxes;
        const QString text = pressOnce(boxes, f.w());
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.titles().first(), QStringLiteral("Connect"));
        QVERIFY2(text.startsWith(failedToOpen + QStringLiteral("\n\nPort: ") + port + QStringLiteral("\nReason: ")),
                 qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("No such file or directory")));
        QVERIFY(!text.contains(QStringLiteral("dialout")));
    }

    // Root may open anything, so as root the check runs again as nobody.
    void serialWithoutPermissionHintsTheGroup()
    {
        const QByteArray given = qgetenv("SOLAR_FORBIDDEN_PORT");
        if (geteuid() == 0) {
            PtyPair pty;
            QVERIFY(pty.isOpen());
            QVERIFY(::chmod(QFile::encodeName(pty.slavePath()).constData(), 0600) == 0);
            QProcess child;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("SOLAR_FORBIDDEN_PORT"), pty.slavePath());
            env.insert(QStringLiteral("HOME"), QStringLiteral("/tmp"));
            child.setProcessEnvironment(env);
            child.setProcessChannelMode(QProcess::MergedChannels);
            child.start(QStringLiteral("setpriv"),
                        {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                         QStringLiteral("--clear-groups"), QCoreApplication::applicationFilePath(),
                         QStringLiteral("serialWithoutPermissionHintsTheGroup")});
            if (!child.waitForStarted(5000))
                QSKIP("running as root and setpriv is not available to drop the rights");
            QVERIFY(child.waitForFinished(60000));
            const QByteArray output = child.readAll();
            if (output.contains("SKIP"))
                QSKIP("the unprivileged run could not start here");
            QVERIFY2(child.exitCode() == 0, output.constData());
            return;
        }
        QTemporaryDir spare;
        QString port = QString::fromLocal8Bit(given);
        if (port.isEmpty()) {
            port = spare.path() + QStringLiteral("/ttyForbidden");
            QFile file(port);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.close();
            QVERIFY(file.setPermissions(QFileDevice::Permissions()));
        }
        WindowFixture f;
        f.holdRefreshCycle();
        QVERIFY(f.dir.writeConfig(serialConfigText(port, 9600, 1, QStringLiteral("Define"))));
        MessageBoxCatcher boxes;
        const QString text = pressOnce(boxes, f.w());
        QVERIFY2(text.startsWith(failedToOpen + QStringLiteral("\n\nPort: ") + port), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("dialout group")), qPrintable(text));
    }

    void noLinkChosenSaysWhere()
    {
        WindowFixture f;
        f.holdRefreshCycle();
        pressConnect(f.w());
        QCOMPARE(notice(f.w()), QStringLiteral("No link chosen: pick Serial or Ethernet under Setting"));
    }

    // --- parameter actions -----------------------------------------------

    void parameterFailureSaysWhy_data()
    {
        QTest::addColumn<int>("link");
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("exceptionCode");   // -1: silence, 0: clean answers
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("why");
        QTest::newRow("no answer") << int(ParamsLink::DefinePwm) << "pushButton" << -1
                                   << "Float charge voltage(V) read" << "no answer from the controller";
        QTest::newRow("exception") << int(ParamsLink::ModbusTcp) << "pushButton" << 2
                                   << "Float charge voltage(V) read" << "exception code 2 (illegal data address)";
        QTest::newRow("exception over RTU") << int(ParamsLink::ModbusRtu) << "pushButton_8" << 3
                                            << "Float charge voltage(V) write" << "exception code 3 (illegal data value)";
        QTest::newRow("not on this type") << int(ParamsLink::DefinePwm) << "pushButton_33" << 0
                                          << "Charge limit(V) read" << "not available on this controller type";
        QTest::newRow("block not read") << int(ParamsLink::DefineMppt) << "pushButton_5" << 0
                                        << "Aborb charge time(M) write" << "refused: read the block first";
        QTest::newRow("list text without code") << int(ParamsLink::DefinePwm) << "pushButton_77" << 0
                                                << "Battery type: write" << "value refused";
        QTest::newRow("clear on PWM") << int(ParamsLink::DefinePwm) << "pushButton_16" << 0
                                      << "Remove the total power generation(KAh)" << "not available on this controller type";
    }

    void parameterFailureSaysWhy()
    {
        QFETCH(int, link);
        QFETCH(QString, button);
        QFETCH(int, exceptionCode);
        QFETCH(QString, subject);
        QFETCH(QString, why);
        ParamsRig rig{ParamsLink(link)};
        QVERIFY(rig.connect());
        SimFaults faults;
        faults.silence = exceptionCode < 0;
        faults.exceptionCode = qMax(0, exceptionCode);
        rig.sim.setFaults(faults);
        if (button == QLatin1String("pushButton_8"))
            rig.edit(QStringLiteral("lineEdit"))->setText(QStringLiteral("13.8"));

        QPushButton *pressed = rig.button(button);
        pressed->click();
        QCOMPARE(styleName(rig.w(), pressed->styleSheet()), QStringLiteral("fail"));
        QCOMPARE(notice(rig.w()), subject + QStringLiteral(": ") + why);
        QCOMPARE(pressed->toolTip(), QStringLiteral("Failed: ") + why);

        // An answered action takes the reason away again.
        if (exceptionCode != 0) {
            rig.sim.clearFaults();
            pressed->click();
            QCOMPARE(styleName(rig.w(), pressed->styleSheet()), QStringLiteral("ok"));
            QVERIFY(pressed->toolTip().isEmpty());
            QVERIFY2(notice(rig.w()).endsWith(QStringLiteral(": done")), qPrintable(notice(rig.w())));
        }
    }

    void pressWithTheLinkDownSaysSo()
    {
        WindowFixture f;
        formWidget<QPushButton>(f.w(), "pushButton")->click();
        QCOMPARE(notice(f.w()), QStringLiteral("link down: press Connect first"));
        f.w().feedback()->tell(QString());
        formWidget<QPushButton>(f.w(), "pushButton_96")->click();   // a sequence as well
        QCOMPARE(notice(f.w()), QStringLiteral("link down: press Connect first"));
    }

    void chineseOperatorIsToldInChinese()
    {
        QCOMPARE(installLanguage(QStringLiteral("zh_CN")), QStringLiteral("zh_CN"));
        {
            WindowFixture f;
            formWidget<QPushButton>(f.w(), "pushButton")->click();
            QCOMPARE(notice(f.w()), QString::fromUtf8("未连接：请先点击“连接”"));
            QCOMPARE(f.w().windowTitle(), QString::fromUtf8("太阳能充电控制器监控 - 未连接"));
            QCOMPARE(f.w().connectAction->text(), QString::fromUtf8("连接"));
            QVERIFY(f.w().linkIsDown());
        }
        installLanguage(QStringLiteral("en"));
        {
            WindowFixture f;
            QCOMPARE(f.w().connectAction->text(), QStringLiteral("Connect"));
        }
    }

    // --- title, About, keys, ranges ----------------------------------------

    void aboutKeysAndRanges()
    {
        WindowFixture f;
        MainWindow &w = f.w();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.menuBar()->actions().size(), 2);   // About sits in the corner
        // The corner button leaves the bar as tall as a bar with the two
        // actions alone, so the form below does not move.
        QMainWindow plain;
        plain.menuBar()->setFont(w.menuBar()->font());
        plain.menuBar()->addAction(QStringLiteral("Setting"));
        plain.menuBar()->addAction(QStringLiteral("Connect"));
        plain.resize(w.size());
        plain.show();
        QVERIFY(QTest::qWaitForWindowExposed(&plain));
        QCOMPARE(w.menuBar()->height(), plain.menuBar()->height());

        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        {
            MessageBoxCatcher boxes;
            QTest::keyClick(&w, Qt::Key_F1);
            QTRY_COMPARE(boxes.count(), 1);
            const QString text = boxes.texts().first();
            QVERIFY(text.contains(QStringLiteral("Version ")));
            QVERIFY(text.contains(QStringLiteral(QT_VERSION_STR)));
            QVERIFY(text.contains(QStringLiteral(QCUSTOMPLOT_VERSION_STR)));
        }

        auto *tabs = formWidget<QTabWidget>(w, "tabWidget");
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(tabs->currentIndex(), 0);
        QTest::keyClick(&w, Qt::Key_2, Qt::ControlModifier);
        QCOMPARE(tabs->currentIndex(), 1);

        QCOMPARE(w.settingAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
        QCOMPARE(formWidget<QPushButton>(w, "pushButton_96")->shortcut(),
                 QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
        QCOMPARE(formWidget<QPushButton>(w, "pushButton_110")->shortcut(),
                 QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_W));

        QCOMPARE(w.connectAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_L));

        QCOMPARE(formWidget<QLineEdit>(w, "lineEdit")->toolTip(), QStringLiteral("0.00 to 655.35 V"));
        QCOMPARE(formWidget<QLineEdit>(w, "lineEdit_4")->toolTip(),
                 QStringLiteral("0 to 15300 min, kept in whole hours"));
        QCOMPARE(formWidget<QLineEdit>(w, "lineEdit_6")->toolTip(), QStringLiteral("-128 to 127"));
        QCOMPARE(formWidget<QLineEdit>(w, "lineEdit_10")->toolTip(), QStringLiteral("0.0 to 6553.5 Ah"));
        QCOMPARE(formWidget<QLineEdit>(w, "lineEdit_9")->toolTip(), QStringLiteral("0.00 to 655.35 V, read only"));
        QCOMPARE(formWidget<QLineEdit>(w, "lineEdit_19")->toolTip(),
                 QStringLiteral("0 to 900 min, kept in whole hours"));
    }
};

QTEST_MAIN(tst_operator_feedback)
#include "tst_operator_feedback.moc"
