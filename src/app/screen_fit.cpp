#include "screen_fit.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QTimer>
#include <QWindow>
#include <QtGui/private/qhighdpiscaling_p.h>

namespace {

const char *const FormSizeProperty = "solarFormSize";
const char *const ScrollAreaName = "centralScrollArea";

double userScaleFactor()
{
    bool ok = false;
    const double factor = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&ok);
    return ok && factor > 0 ? factor : 1.0;
}

bool userOwnsScreenFactors()
{
    if (!qEnvironmentVariableIsEmpty("QT_SCREEN_SCALE_FACTORS"))
        return true;
    for (const char *name : {"QT_ENABLE_HIGHDPI_SCALING", "QT_AUTO_SCREEN_SCALE_FACTOR"}) {
        if (qEnvironmentVariableIsSet(name) && qEnvironmentVariable(name).trimmed() == QLatin1String("0"))
            return true;
    }
    return !QCoreApplication::testAttribute(Qt::AA_EnableHighDpiScaling)
           || QCoreApplication::testAttribute(Qt::AA_DisableHighDpiScaling);
}

void stepScreen(QScreen *screen)
{
    // Qt has scaled this screen by its exact dpi so far (PassThrough):
    // the ratio is that factor times the user's global one.
    const double raw = screen->devicePixelRatio() / userScaleFactor();
    const double step = ScreenFit::quarterStep(raw);
    if (qFuzzyCompare(step, raw))
        return;
    // Qt takes a per-screen factor only once one other than 1 was set;
    // for a 100-dpi screen (1.04 -> 1) that is set first and then replaced.
    if (qFuzzyCompare(step, 1.0))
        QHighDpiScaling::setScreenFactor(screen, 2.0);
    QHighDpiScaling::setScreenFactor(screen, step);
}

QSize formSize(QMainWindow *window)
{
    QVariant stored = window->property(FormSizeProperty);
    if (!stored.isValid()) {
        stored = window->maximumSize() == window->minimumSize() ? window->minimumSize() : window->size();
        window->setProperty(FormSizeProperty, stored);
    }
    return stored.toSize();
}

// Moves the frame into the area: centred where there is room, at its top
// or left edge where there is not.
void placeInside(QMainWindow *window, const QRect &available, const QMargins &frame)
{
    const QSize outer = window->size().grownBy(frame);
    const int x = available.x() + qMax(0, (available.width() - outer.width()) / 2);
    const int y = available.y() + qMax(0, (available.height() - outer.height()) / 2);
    window->move(x, y);
}

} // namespace

double ScreenFit::quarterStep(double raw)
{
    if (raw < 1.125)
        return 1.0;
    return qFloor(raw * 4.0 + 0.5) / 4.0;
}

void ScreenFit::applyScaleSteps()
{
    if (userOwnsScreenFactors())
        return;
    for (QScreen *screen : QGuiApplication::screens())
        stepScreen(screen);
    QObject::connect(qApp, &QGuiApplication::screenAdded, qApp, &stepScreen);
}

bool ScreenFit::fitInto(QMainWindow *window, const QRect &available, const QMargins &frame)
{
    const QSize form = formSize(window);
    auto *area = window->findChild<QScrollArea *>(QLatin1String(ScrollAreaName));
    const QSize outer = form.grownBy(frame);
    if (!area && outer.width() <= available.width() && outer.height() <= available.height())
        return false;

    if (!area) {
        // The page keeps the size the form gives it between the two bars.
        const int bars = window->menuBar()->sizeHint().height() + window->statusBar()->sizeHint().height();
        const QSize page(form.width(), form.height() - bars);
        QWidget *content = window->takeCentralWidget();
        content->setMinimumSize(page);
        content->resize(page);
        area = new QScrollArea;
        area->setObjectName(QLatin1String(ScrollAreaName));
        area->setFrameShape(QFrame::NoFrame);
        area->setWidgetResizable(false);
        area->setWidget(content);
        window->setCentralWidget(area);
        window->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        window->setMinimumSize(qMin(form.width(), 320), qMin(form.height(), 240));
        window->setMaximumSize(form);
    }
    const QSize room = available.size().shrunkBy(frame);
    window->resize(form.boundedTo(room).expandedTo(window->minimumSize()));
    placeInside(window, available, frame);
    return true;
}

void ScreenFit::fitOnScreen(QMainWindow *window)
{
    QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    fitInto(window, screen->availableGeometry(), QMargins());
    // The frame is known once the window manager has drawn it, shortly
    // after the window is shown: fit again with it, for a while.
    QPointer<QMainWindow> guard(window);
    auto refit = [guard] {
        if (!guard || !guard->isVisible())
            return;
        QScreen *on = guard->screen();
        const QRect outer = guard->frameGeometry();
        const QRect inner = guard->geometry();
        const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                             outer.right() - inner.right(), outer.bottom() - inner.bottom());
        const QRect available = on->availableGeometry();
        if (!available.contains(outer) || guard->findChild<QScrollArea *>(QLatin1String(ScrollAreaName)))
            fitInto(guard, available, frame);
    };
    for (int ms : {50, 300, 1000})
        QTimer::singleShot(ms, window, refit);
}
