#ifndef FRAME_BOX_H
#define FRAME_BOX_H

#include <QByteArray>
#include <QElapsedTimer>
#include <QTimer>

class QTextEdit;

// Shows frames in one of the hexadecimal frame boxes. Laying the box's text
// out costs more than a whole exchange on a fast link, so a frame that comes
// within a paint frame of the one shown before waits, and the box shows the
// newest of them when that frame is over; a frame after a quieter spell is
// shown at once. Every frame still ends up shown; only the ones nobody
// could have seen are skipped.
class FrameBox
{
public:
    static constexpr int FrameMs = 25;

    FrameBox();
    void attach(QTextEdit *box) { box_ = box; }
    void show(const QByteArray &frame);
    // Text put in the box directly; a frame still waiting is dropped.
    void setText(const QString &text);

private:
    void showNow(const QByteArray &frame);

    QTextEdit *box_ = nullptr;
    QElapsedTimer lastShown_;
    QTimer later_;
    QByteArray waiting_;
};

#endif
