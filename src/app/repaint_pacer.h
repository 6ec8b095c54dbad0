#ifndef REPAINT_PACER_H
#define REPAINT_PACER_H

#include <QObject>
#include <QTimer>

class QWidget;

// Paints a window at most once per frame, a frame after its first change.
// One poll changes the frame boxes, the lamps and the values within a few
// milliseconds of each other; painted change by change that is three or four
// paints, gathered it is one. A frame is short enough not to be noticed.
class RepaintPacer : public QObject
{
public:
    static constexpr int FrameMs = 25;

    explicit RepaintPacer(QWidget *window);
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void paintNow();

    QWidget *window_;
    QTimer frameEnd_;
    bool passing_ = false;
};

#endif
