#include "repaint_pacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

RepaintPacer::RepaintPacer(QWidget *window) : QObject(window), window_(window)
{
    frameEnd_.setSingleShot(true);
    frameEnd_.setTimerType(Qt::PreciseTimer);
    connect(&frameEnd_, &QTimer::timeout, this, &RepaintPacer::paintNow);
    window_->installEventFilter(this);
}

// Qt asks for a window's paint with one UpdateRequest and asks no more until
// it has been handled, so holding it back loses no update: the widgets'
// dirty regions simply gather until paintNow hands it over.
bool RepaintPacer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != window_ || event->type() != QEvent::UpdateRequest || passing_)
        return false;
    if (!frameEnd_.isActive())
        frameEnd_.start(FrameMs);
    return true;
}

void RepaintPacer::paintNow()
{
    QEvent request(QEvent::UpdateRequest);
    passing_ = true;
    QCoreApplication::sendEvent(window_, &request);
    passing_ = false;
}
