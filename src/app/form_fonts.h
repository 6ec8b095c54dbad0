#ifndef FORM_FONTS_H
#define FORM_FONTS_H

class QWidget;

// The form is laid out in 96-dpi pixels for Arial and 宋体 (SimSun). On a
// Linux desktop neither face exists and the logical dpi is often above 96, so
// without this the captions lose their ends and the fields their digits.
namespace FormFonts {

// Before the QApplication is built: let Qt scale the whole window by the
// screen's logical dpi (1.25, 1.5, 2 ...) instead of growing the fonts alone.
// A point then stays 96/72 design pixels whatever the desktop's dpi.
void prepareApplication();

// Metric-compatible faces for the form's families, and a fixed face for the
// menu and status bars, so every program that builds the window (the tool,
// the tests, the benchmarks) shows it alike. Call on the window before its
// form is built: Qt keeps a face once a text has been measured with it.
void setUp(QWidget *window);

} // namespace FormFonts

#endif
