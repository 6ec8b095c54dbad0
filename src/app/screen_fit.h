#ifndef SCREEN_FIT_H
#define SCREEN_FIT_H

#include <QMargins>
#include <QRect>

class QMainWindow;

// The window is drawn for 1366 x 768 pixels at 96 dpi. Two things keep it
// usable on the screens people have: scale factors in whole quarters, so a
// 100-dpi laptop is not given a 1423 x 800 window for a 4 % difference; and,
// where the window with its frame is still larger than the screen's free
// area, the page scrolls inside a window that fits.
namespace ScreenFit {

// The factor for a screen whose dpi asks for raw: none below 1.125, then the
// nearest quarter (1.25, 1.5, 1.75, 2 ...).
double quarterStep(double raw);

// Right after the QApplication is built, before any window: every screen,
// also one plugged in later, scales by quarterStep of its dpi. A factor the
// user set wins: QT_SCREEN_SCALE_FACTORS replaces ours, QT_SCALE_FACTOR is
// applied on top of it as Qt does, and scaling switched off stays off.
void applyScaleSteps();

// Lays window out for an available area and the frame the window manager
// draws around it: unchanged when it fits; otherwise its central area
// becomes a scroll area (menu and status bar stay in view) and the window
// shrinks to fit and moves inside the area. True when it scrolls.
bool fitInto(QMainWindow *window, const QRect &available, const QMargins &frame);

// fitInto for the window's screen, now (the frame guessed) and again once
// the window manager has told the frame it drew. Call before show().
void fitOnScreen(QMainWindow *window);

} // namespace ScreenFit

#endif
