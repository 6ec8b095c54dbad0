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

bool ValueFields::fits(const QLineEdit *field, const QString &text)
{
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
    const int needed = field->fontMetrics().horizontalAdvance(text) + 2;
    return needed <= room.width() - 2 * HorizontalMargin;
}
