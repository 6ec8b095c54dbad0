#ifndef REPAINT_PACER_H
#define REPAINT_PACER_H

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QWidget;

// Paints a window at most once per frame. Link traffic changes the frame
// boxes and lamps several times per exchange; without pacing each change
// would be painted on its own, in the middle of waiting for the answer.
// The first change after a quiet frame is painted at once, later ones are
// gathered into one paint at the end of the frame.
class RepaintPacer : public QObject
{
public:
    static constexpr int FrameMs = 16;

    explicit RepaintPacer(QWidget *window);
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void paintNow();

    QWidget *window_;
    QTimer frameEnd_;
    QElapsedTimer sinceLastPaint_;
    bool passing_ = false;
};

#endif
