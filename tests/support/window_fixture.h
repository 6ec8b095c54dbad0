#ifndef WINDOW_FIXTURE_H
#define WINDOW_FIXTURE_H

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>

#include "mainwindow.h"
#include "temp_workdir.h"

class PtyPair;
class QDialog;
class TcpDevice;

// A widget of the form by its object name (the form's generated header
// belongs to the window's library, so tests look widgets up instead).
template <class T>
T *formWidget(const MainWindow &w, const char *objectName)
{
    return w.findChild<T *>(QLatin1String(objectName));
}

// Link state as the window itself reads it: the text of connectAction.
bool linkIsUp(const MainWindow &w);
void pressConnect(MainWindow &w);
bool waitForLinkUp(const MainWindow &w, int timeoutMs = 2000);
bool waitForLinkDown(const MainWindow &w, int timeoutMs = 2000);

// A real MainWindow in its own temporary working directory (destroyed before
// the directory). The window is shown offscreen so widget state is real.
class WindowFixture
{
public:
    WindowFixture();
    ~WindowFixture();

    TempWorkDir dir;
    std::unique_ptr<MainWindow> window;

    MainWindow &w() { return *window; }

    // Writes config.ini for the link, presses Connect and waits until the
    // link is up (and, for TCP, the device has taken the connection).
    bool connectTcp(TcpDevice &device, const QString &protocol,
                    const QString &controller = QStringLiteral("PWM"));
    bool connectSerial(PtyPair &pty, const QString &protocol, int address = 1, int baud = 9600,
                       const QString &controller = QStringLiteral("PWM"));

    // Keeps the refresh cycle from sending, so a test can drive the engines
    // itself. (Ticks before Connect return at once anyway.)
    void holdRefreshCycle();
};

// Runs open, which shows a modal dialog and waits in it; inspect gets the
// dialog once it is on screen, then the dialog is rejected so open returns.
// False when open returned without showing one.
bool inspectModalDialog(const std::function<void()> &open, const std::function<void(QDialog *)> &inspect);

// Catches every message box shown while it lives, records it and closes it,
// so a call that runs a modal box returns instead of blocking the test.
class MessageBoxCatcher : public QObject
{
    Q_OBJECT
public:
    MessageBoxCatcher();
    int count() const { return texts_.size(); }
    QStringList titles() const { return titles_; }
    QStringList texts() const { return texts_; }

private:
    void poll();
    QTimer timer_;
    QStringList titles_;
    QStringList texts_;
};

#endif
