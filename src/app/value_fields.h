#ifndef VALUE_FIELDS_H
#define VALUE_FIELDS_H

#include <QString>

class QLineEdit;
class QWidget;

namespace ValueFields {

// Every line edit under root that the program writes shows the beginning of
// a text too wide for it, as a reader expects, instead of QLineEdit's tail
// (the cursor goes to the end on setText). A field being typed in is left to
// its cursor.
void showBeginnings(QWidget *root);

// Whether text shows whole in field: by QLineEdit's own measure, or no wider
// than drawnFor, the text the form sized the field for.
bool fits(const QLineEdit *field, const QString &text, const QString &drawnFor = QString());

} // namespace ValueFields

#endif
