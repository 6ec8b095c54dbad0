#include "window_fixture.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTest>

#include "pty_pair.h"
#include "tcp_device.h"

bool linkIsUp(const MainWindow &w)
{
    return w.connectAction && w.connectAction->text() == QLatin1String("Disonnect");
}

void pressConnect(MainWindow &w)
{
    w.connectAction->trigger();
}

bool waitForLinkUp(const MainWindow &w, int timeoutMs)
{
    return QTest::qWaitFor([&w] { return linkIsUp(w); }, timeoutMs);
}

bool waitForLinkDown(const MainWindow &w, int timeoutMs)
{
    return QTest::qWaitFor([&w] { return !linkIsUp(w); }, timeoutMs);
}

WindowFixture::WindowFixture() : window(std::make_unique<MainWindow>())
{
    window->show();
}

WindowFixture::~WindowFixture()
{
    window.reset();
}

bool WindowFixture::connectTcp(TcpDevice &device, const QString &protocol, const QString &controller)
{
    if (!dir.writeConfig(tcpConfigText(device.port(), protocol, controller)))
        return false;
    pressConnect(*window);
    return device.waitForClient() && waitForLinkUp(*window);
}

bool WindowFixture::connectSerial(PtyPair &pty, const QString &protocol, int address, int baud,
                                  const QString &controller)
{
    if (!dir.writeConfig(serialConfigText(pty.slavePath(), baud, address, protocol, controller)))
        return false;
    pressConnect(*window);
    return linkIsUp(*window);
}

bool inspectModalDialog(const std::function<void()> &open, const std::function<void(QDialog *)> &inspect)
{
    bool seen = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        poll.stop();
        seen = QTest::qWaitForWindowExposed(dialog);
        if (seen)
            inspect(dialog);
        dialog->reject();
    });
    poll.start();
    open();
    return seen;
}

void WindowFixture::holdRefreshCycle()
{
    window->core.refreshTimer.stop();
}

MessageBoxCatcher::MessageBoxCatcher()
{
    connect(&timer_, &QTimer::timeout, this, &MessageBoxCatcher::poll);
    timer_.start(5);
}

void MessageBoxCatcher::poll()
{
    const auto widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (!box || !box->isVisible())
            continue;
        titles_ << box->windowTitle();
        texts_ << box->text();
        box->done(QMessageBox::Ok);
    }
}
