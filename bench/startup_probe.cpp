// Linked beside the tool's own main.cpp: prints "shown" on stdout once the
// main window has been painted for the first time, then ends the process at
// once. bench_startup measures the time to that line.
#include <QCoreApplication>
#include <QEvent>
#include <QMainWindow>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

namespace {

class FirstPaint : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!seen_ && event->type() == QEvent::Paint && qobject_cast<QMainWindow *>(watched)) {
            seen_ = true;
            // After this paint has been delivered and flushed.
            QTimer::singleShot(0, [] {
                std::fputs("shown\n", stdout);
                std::fflush(stdout);
                std::_Exit(0);
            });
        }
        return false;
    }

private:
    bool seen_ = false;
};

void installProbe()
{
    QCoreApplication::instance()->installEventFilter(new FirstPaint);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installProbe)
