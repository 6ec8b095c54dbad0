// The main window as built: frame, status bar, menu bar, lamps, the shared
// style texts, waitWithEvents, the settings entry and the teardown.
#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QSerialPort>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QtTest>

#include "app_setting_dialog.h"
#include "mainwindow.h"
#include "pty_pair.h"
#include "tcp_device.h"
#include "window_fixture.h"

namespace {

const QString grayLamp = QStringLiteral(":/Images/Images/64X64/gray64x64.png");
const QString greenLamp = QStringLiteral(":/Images/Images/64X64/green64x64.png");
const QString redLamp = QStringLiteral(":/Images/Images/64X64/red64x64.png");

QImage lampAsShown(const QString &resource)
{
    return QPixmap(resource)
        .scaled(16, 16, Qt::IgnoreAspectRatio, Qt::FastTransformation)
        .toImage()
        .convertToFormat(QImage::Format_ARGB32);
}

QImage lampOf(const QLabel &lamp)
{
    return lamp.pixmap(Qt::ReturnByValue).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class tst_mainwindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The lamp checks compare pictures, so the three must differ.
        QVERIFY(!QPixmap(grayLamp).isNull());
        QVERIFY(lampAsShown(grayLamp) != lampAsShown(greenLamp));
        QVERIFY(lampAsShown(greenLamp) != lampAsShown(redLamp));
    }

    void frameAtStart()
    {
        WindowFixture f;
        MainWindow &w = f.w();
        QCOMPARE(w.size(), QSize(1366, 768));
        QCOMPARE(w.minimumSize(), QSize(1366, 768));
        QCOMPARE(w.maximumSize(), QSize(1366, 768));
        w.resize(1500, 900);
        QCOMPARE(w.size(), QSize(1366, 768));

        auto *tabs = formWidget<QTabWidget>(w, "tabWidget");
        QVERIFY(tabs);
        QCOMPARE(tabs->currentIndex(), 1);
        QCOMPARE(tabs->tabText(1), QStringLiteral("Basic information"));
        QCOMPARE(tabs->tabText(0), QStringLiteral("Curve view"));
        QCOMPARE(w.curveMinutes, 1000);

        QVERIFY(w.core.refreshTimer.isActive());
        QCOMPARE(w.core.refreshTimer.interval(), 100);
        QVERIFY(!w.core.refreshTimer.isSingleShot());
        QCOMPARE(w.core.paramRequestState, 0);
        QCOMPARE(w.core.pollReplyState, 5);
        QCOMPARE(w.deviceNames[0], QStringLiteral(" "));
        QVERIFY(w.deviceNames[1].isEmpty());
    }

    void menuBarHoldsSettingThenConnect()
    {
        WindowFixture f;
        MainWindow &w = f.w();
        const QList<QAction *> actions = w.menuBar()->actions();
        QCOMPARE(actions.size(), 2);
        QCOMPARE(actions[0]->text(), QStringLiteral("Setting"));
        QCOMPARE(actions[1]->text(), QStringLiteral("Connect"));
        QCOMPARE(actions[0], w.settingAction);
        QCOMPARE(actions[1], w.connectAction);
        QVERIFY(!actions[0]->menu());
        QVERIFY(!actions[1]->menu());
        QVERIFY(w.linkIsDown());
    }

    void statusBarAtStart()
    {
        WindowFixture f;
        MainWindow &w = f.w();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.snLabel.text(), QStringLiteral("SN:01"));
        QCOMPARE(w.snLabel.styleSheet(), QStringLiteral("color: rgb(255, 0, 0);bold 12pt \"Arial\";"));
        QCOMPARE(w.txLabel.text(), QStringLiteral("TX:"));
        QCOMPARE(w.rxLabel.text(), QStringLiteral("RX:"));
        for (QLabel *label : {&w.txLabel, &w.txLamp, &w.rxLabel, &w.rxLamp, &w.snLabel})
            QCOMPARE(label->parentWidget(), w.statusBar());

        // snLabel on the left; TX:, lamp, RX:, lamp in that order on the right.
        const auto x = [](QLabel &l) { return l.mapTo(l.window(), QPoint(0, 0)).x(); };
        QVERIFY(x(w.snLabel) < x(w.txLabel));
        QVERIFY(x(w.txLabel) < x(w.txLamp));
        QVERIFY(x(w.txLamp) < x(w.rxLabel));
        QVERIFY(x(w.rxLabel) < x(w.rxLamp));
        QVERIFY(x(w.rxLamp) > w.width() / 2);

        QCOMPARE(w.txLamp.pixmap(Qt::ReturnByValue).size(), QSize(16, 16));
        QCOMPARE(lampOf(w.txLamp), lampAsShown(grayLamp));
        QCOMPARE(lampOf(w.rxLamp), lampAsShown(grayLamp));
    }

    void sharedStyleTexts()
    {
        WindowFixture f;
        const MainWindow &w = f.w();
        QCOMPARE(w.styleOk, QStringLiteral("font: bold 12pt \"Arial\";background-color: rgb(0, 255, 0);"));
        QCOMPARE(w.styleIdle, QStringLiteral("font:bold 12pt \"Arial\";font-variant:bold;"));
        QCOMPARE(w.styleFail, QStringLiteral("font:bold 12pt \"Arial\";font-variant:bold;background-color: rgb(255, 0, 0);"));
        QCOMPARE(w.styleRed, QStringLiteral("font:bold 12pt \"Arial\";background-color: rgb(255, 0, 0);"));
        QCOMPARE(w.styleGreen, QStringLiteral("font:bold 12pt \"Arial\";;background-color: rgb(0, 255, 0);"));
        QCOMPARE(w.stylePlain, QStringLiteral("font:bold 12pt \"Arial\";"));
    }

    void lampOperations()
    {
        WindowFixture f;
        MainWindow &w = f.w();
        w.setTxLampGreen();
        w.setRxLampGreen();
        QCOMPARE(lampOf(w.txLamp), lampAsShown(greenLamp));
        QCOMPARE(lampOf(w.rxLamp), lampAsShown(greenLamp));
        w.setTxLampGray();
        QCOMPARE(lampOf(w.txLamp), lampAsShown(grayLamp));
        QCOMPARE(lampOf(w.rxLamp), lampAsShown(greenLamp));

        // Red only while the link is up.
        w.setRxLampGray();
        w.setRxLampRed();
        QCOMPARE(lampOf(w.rxLamp), lampAsShown(grayLamp));
        // The action's text is only shown: the core's state decides.
        w.connectAction->setText(QStringLiteral("Disonnect"));
        QVERIFY(w.linkIsDown());
        w.setRxLampRed();
        QCOMPARE(lampOf(w.rxLamp), lampAsShown(grayLamp));
        TcpDevice device;
        QVERIFY(f.connectTcp(device, QStringLiteral("Define")));
        QVERIFY(!w.linkIsDown());
        w.setRxLampRed();
        QCOMPARE(lampOf(w.rxLamp), lampAsShown(redLamp));
        QCOMPARE(lampOf(w.txLamp), lampAsShown(grayLamp));
    }

    void waitWithEventsKeepsTheLoopRunning_data()
    {
        QTest::addColumn<int>("ms");
        QTest::newRow("0 ms") << 0;
        QTest::newRow("1 ms") << 1;
        QTest::newRow("40 ms") << 40;
    }

    void waitWithEventsKeepsTheLoopRunning()
    {
        QFETCH(int, ms);
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
        timer.start(5);
        bool queued = false;
        QMetaObject::invokeMethod(this, [&queued] { queued = true; }, Qt::QueuedConnection);

        QElapsedTimer clock;
        clock.start();
        waitWithEvents(ms);
        const qint64 took = clock.elapsed();

        QVERIFY(took >= ms);
        QVERIFY2(took < ms + 200, qPrintable(QString::number(took)));
        QVERIFY(queued);   // posted events run even in the shortest wait
        if (ms >= 40)
            QVERIFY2(ticks >= 3, qPrintable(QString::number(ticks)));
    }

    void settingOpensTheDialogModallyAndDeletesIt()
    {
        WindowFixture f;
        MainWindow &w = f.w();
        QPointer<app_setting_Dialog> seen;
        QString title;
        bool modal = false;
        QWidget *parent = &w;
        QTimer probe;
        connect(&probe, &QTimer::timeout, [&] {
            auto *dialog = qobject_cast<app_setting_Dialog *>(QApplication::activeModalWidget());
            if (!dialog || seen)
                return;
            seen = dialog;
            title = dialog->windowTitle();
            modal = dialog->isModal();
            parent = dialog->parentWidget();
            dialog->reject();
        });
        probe.start(5);
        w.settingAction->trigger();   // returns once the dialog is closed
        probe.stop();

        QCOMPARE(title, QStringLiteral("设置"));
        QVERIFY(modal);
        QCOMPARE(parent, nullptr);
        QVERIFY(seen.isNull());   // destroyed once closed
        QVERIFY(!f.dir.configExists());   // Cancel writes nothing
    }

    // The dialog edits the file the core reads, wherever that is, and the
    // Connect after it uses what was saved there.
    void settingEditsTheFileTheCoreReads()
    {
        WindowFixture f;
        MainWindow &w = f.w();
        TcpDevice device;
        QVERIFY(device.isListening());
        const QString path = f.dir.path() + QStringLiteral("/site/solar.ini");
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(tcpConfigText(1, QStringLiteral("Define")).toUtf8());
        file.close();
        w.core.configPath = path;

        QString shownPort;
        QTimer probe;
        connect(&probe, &QTimer::timeout, [&] {
            auto *dialog = qobject_cast<app_setting_Dialog *>(QApplication::activeModalWidget());
            if (!dialog || !shownPort.isEmpty())
                return;
            auto *port = dialog->findChild<QLineEdit *>(QStringLiteral("lineEditPort"));
            shownPort = port->text();
            port->setText(QString::number(device.port()));
            dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        });
        probe.start(5);
        w.settingAction->trigger();
        probe.stop();

        QCOMPARE(shownPort, QStringLiteral("1"));
        QVERIFY(!f.dir.configExists());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("ip_port=" + QByteArray::number(device.port())));
        pressConnect(w);
        QVERIFY(waitForLinkUp(w));
        QVERIFY(device.waitForClient());
    }

    void teardownWithTcpLinkUpAbortsTheSocket()
    {
        TcpDevice device;
        QVERIFY(device.isListening());
        auto f = std::make_unique<WindowFixture>();
        QVERIFY(f->connectTcp(device, QStringLiteral("Define")));
        QPointer<QTcpSocket> peer = device.client();
        QSignalSpy peerClosed(peer.data(), &QTcpSocket::disconnected);

        f.reset();
        QVERIFY(peerClosed.count() > 0 || peerClosed.wait(1000));
        // Nothing left that could fire into the destroyed window.
        QTest::qWait(250);
    }

    void teardownWithSerialOpenClosesThePort()
    {
        PtyPair pty;
        QVERIFY(pty.isOpen());
        auto f = std::make_unique<WindowFixture>();
        QVERIFY(f->connectSerial(pty, QStringLiteral("Define")));
        QVERIFY(f->w().core.serialPort.isOpen());

        // The open port holds the device exclusively...
        QSerialPort other(pty.slavePath());
        QVERIFY(!other.open(QIODevice::ReadWrite));

        // ...until the window is gone.
        f.reset();
        QVERIFY2(other.open(QIODevice::ReadWrite), qPrintable(other.errorString()));
        other.close();
    }
};

QTEST_MAIN(tst_mainwindow)
#include "tst_mainwindow.moc"
