#include "form_fonts.h"

#include <QApplication>
#include <QFont>
#include <QWidget>

namespace {

// Liberation Sans and Serif share Arial's and Times New Roman's advance
// widths. For 宋体 a Song face whose Latin glyphs are half an em wide, as
// SimSun's are, so a value field holds as many digits as it was drawn for.
void substituteFaces()
{
    QFont::insertSubstitutions(QStringLiteral("Arial"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")});
    QFont::insertSubstitutions(QStringLiteral("Times New Roman"),
                               {QStringLiteral("Liberation Serif"), QStringLiteral("Tinos")});
    const QStringList song = {QStringLiteral("SimSun"), QStringLiteral("AR PL SungtiL GB"),
                              QStringLiteral("AR PL UMing CN")};
    QFont::insertSubstitutions(QStringLiteral("宋体"), song);
    QFont::insertSubstitutions(QStringLiteral("SimSun"), song.mid(1));
}

} // namespace

void FormFonts::prepareApplication()
{
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    // The exact factor (1.25, not 1): rounding it would hand the remainder
    // back to the fonts, which the fixed geometry cannot absorb.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
}

void FormFonts::setUp(QWidget *window)
{
    static const bool substituted = (substituteFaces(), true);
    Q_UNUSED(substituted);
    // Menu and status bar take the window's font: the desktop's own may be
    // taller than the 23 pixels the page leaves them.
    window->setFont(QFont(QStringLiteral("Arial"), 9));
}
