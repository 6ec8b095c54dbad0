#include "frame_box.h"

#include <QTextEdit>

namespace {

// Two upper-case hex digits and a blank per byte, the last byte included.
QString frameText(const QByteArray &bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    QString text;
    text.reserve(bytes.size() * 3);
    for (char c : bytes) {
        const auto b = quint8(c);
        text += QLatin1Char(digits[b >> 4]);
        text += QLatin1Char(digits[b & 0x0F]);
        text += QLatin1Char(' ');
    }
    return text;
}

} // namespace

FrameBox::FrameBox()
{
    later_.setSingleShot(true);
    QObject::connect(&later_, &QTimer::timeout, [this] { showNow(waiting_); });
}

void FrameBox::show(const QByteArray &frame)
{
    if (!lastShown_.isValid() || lastShown_.elapsed() >= FrameMs) {
        later_.stop();
        showNow(frame);
        return;
    }
    // Reuses the buffer: a burst of frames allocates nothing here.
    waiting_.resize(frame.size());
    memcpy(waiting_.data(), frame.constData(), size_t(frame.size()));
    if (!later_.isActive())
        later_.start(int(FrameMs - lastShown_.elapsed()));
}

void FrameBox::setText(const QString &text)
{
    later_.stop();
    box_->setText(text);
}

// Setting a text box lays its document out anew; the same frame again
// (a repeated request, an unchanged answer) leaves it as it is.
void FrameBox::showNow(const QByteArray &frame)
{
    lastShown_.start();
    const QString text = frameText(frame);
    if (box_->toPlainText() != text)
        box_->setPlainText(text);
}
