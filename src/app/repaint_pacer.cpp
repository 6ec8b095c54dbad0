#include "repaint_pacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

RepaintPacer::RepaintPacer(QWidget *window) : QObject(window), window_(window)
{
    frameEnd_.setSingleShot(true);
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
    if (frameEnd_.isActive())
        return true;
    if (!sinceLastPaint_.isValid() || sinceLastPaint_.elapsed() >= FrameMs) {
        sinceLastPaint_.start();
        return false;
    }
    frameEnd_.start(int(FrameMs - sinceLastPaint_.elapsed()));
    return true;
}

void RepaintPacer::paintNow()
{
    sinceLastPaint_.start();
    QEvent request(QEvent::UpdateRequest);
    passing_ = true;
    QCoreApplication::sendEvent(window_, &request);
    passing_ = false;
}
