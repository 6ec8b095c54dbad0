#include "value_fields.h"

#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>

namespace {

// QLineEdit keeps this much room on either side of its text.
constexpr int HorizontalMargin = 2;

} // namespace

void ValueFields::showBeginnings(QWidget *root)
{
    for (QLineEdit *field : root->findChildren<QLineEdit *>()) {
        QObject::connect(field, &QLineEdit::textChanged, field, [field] {
            if (!field->hasFocus())
                field->setCursorPosition(0);
        });
    }
}

bool ValueFields::fits(const QLineEdit *field, const QString &text, const QString &drawnFor)
{
    const QFontMetrics metrics = field->fontMetrics();
    const int advance = metrics.horizontalAdvance(text);
    // The form sized the field for its own text: no wider than that shows
    // as the form was drawn, whatever the face makes of the margins.
    if (!drawnFor.isEmpty() && advance <= metrics.horizontalAdvance(drawnFor))
        return true;
    QStyleOptionFrame option;
    option.initFrom(field);
    option.rect = field->contentsRect();
    option.lineWidth = field->hasFrame()
                           ? field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, field)
                           : 0;
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    option.features = QStyleOptionFrame::None;
    QRect room = field->style()->subElementRect(QStyle::SE_LineEditContents, &option, field);
    room = room.marginsRemoved(field->textMargins());
    // As QLineEdit decides whether to scroll: the text, a pixel, the cursor.
    return advance + 2 <= room.width() - 2 * HorizontalMargin;
}
