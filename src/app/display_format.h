#ifndef DISPLAY_FORMAT_H
#define DISPLAY_FORMAT_H

#include <QLineEdit>
#include <QString>
#include <QWidget>

// Number formats and the write rule shared by the monitoring views.
// QString::arg without %L ignores the locale, so the separator is always '.'.
namespace DisplayFormat {

// Fixed point, 0.01 per count, two decimals, at least two characters wide.
inline QString centi(quint32 value)
{
    return QStringLiteral("%1").arg(value * 0.01, 2, 'f', 2);
}

inline QString scenti(qint32 value)
{
    return QStringLiteral("%1").arg(value * 0.01, 2, 'f', 2);
}

// Fixed point, 0.1 per count, one decimal.
inline QString deci(quint32 value)
{
    return QStringLiteral("%1").arg(value * 0.1, 1, 'f', 1);
}

inline QString unsignedNumber(quint32 value)
{
    return QStringLiteral("%1").arg(value);
}

inline QString signedNumber(qint32 value)
{
    return QStringLiteral("%1").arg(value);
}

// A disabled widget keeps what it shows: the operator may have frozen it.
// An unchanged value is left alone: every poll rewrites every field, and a
// new style sheet costs a repolish even when it is the same.
inline void writeText(QLineEdit *field, const QString &text)
{
    if (field->isEnabled() && field->text() != text)
        field->setText(text);
}

inline void writeStyle(QWidget *widget, const QString &style)
{
    if (widget->isEnabled() && widget->styleSheet() != style)
        widget->setStyleSheet(style);
}

} // namespace DisplayFormat

#endif
