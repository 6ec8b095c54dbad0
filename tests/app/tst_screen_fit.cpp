// The window on the screens people have: scale factors in quarter steps
// (none at 100 dpi) unless the user set one; a window that with its frame is
// larger than the free area of the screen fits it and scrolls, every widget
// reachable and the bars in view; on a large screen exactly the form.
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QtTest>

#include "form_fonts.h"
#include "mainwindow.h"
#include "screen_fit.h"
#include "temp_workdir.h"

namespace {

const char *const ChildVariable = "SOLAR_SCREEN_FIT_CHILD";

// Prints what the screen and a shown window scale by.
int runChild(int argc, char *argv[])
{
    FormFonts::prepareApplication();
    QApplication app(argc, argv);
    ScreenFit::applyScaleSteps();
    TempWorkDir dir;
    MainWindow w;
    w.core.refreshTimer.stop();
    w.show();
    QTest::qWaitForWindowExposed(&w);
    std::printf("ratio %.4f window %.4f dpi %.1f\n", QGuiApplication::primaryScreen()->devicePixelRatio(),
                w.devicePixelRatioF(), QGuiApplication::primaryScreen()->logicalDotsPerInch());
    return 0;
}

const QMargins frame(2, 28, 2, 3);

} // namespace

class tst_screen_fit : public QObject
{
    Q_OBJECT

private slots:
    void quarterSteps_data();
    void quarterSteps();
    void screenScale_data();
    void screenScale();
    void smallScreenScrolls();
    void largeScreenKeepsTheForm_data();
    void largeScreenKeepsTheForm();
};

void tst_screen_fit::quarterSteps_data()
{
    QTest::addColumn<double>("raw");
    QTest::addColumn<double>("step");
    QTest::newRow("96 dpi") << 1.0 << 1.0;
    QTest::newRow("100 dpi") << 100 / 96.0 << 1.0;
    QTest::newRow("just below 1.125") << 1.1249 << 1.0;
    QTest::newRow("1.125") << 1.125 << 1.25;
    QTest::newRow("120 dpi") << 1.25 << 1.25;
    QTest::newRow("130 dpi") << 130 / 96.0 << 1.25;
    QTest::newRow("144 dpi") << 1.5 << 1.5;
    QTest::newRow("168 dpi") << 1.75 << 1.75;
    QTest::newRow("185 dpi") << 185 / 96.0 << 2.0;
    QTest::newRow("288 dpi") << 3.0 << 3.0;
    QTest::newRow("a low-dpi screen") << 0.8 << 1.0;
}

void tst_screen_fit::quarterSteps()
{
    QFETCH(double, raw);
    QFETCH(double, step);
    QCOMPARE(ScreenFit::quarterStep(raw), step);
}

void tst_screen_fit::screenScale_data()
{
    QTest::addColumn<QByteArray>("fontDpi");
    QTest::addColumn<QByteArray>("scaleFactor");
    QTest::addColumn<QByteArray>("screenFactors");
    QTest::addColumn<double>("ratio");
    QTest::newRow("96 dpi") << QByteArray("96") << QByteArray() << QByteArray() << 1.0;
    QTest::newRow("100 dpi") << QByteArray("100") << QByteArray() << QByteArray() << 1.0;
    QTest::newRow("110 dpi") << QByteArray("110") << QByteArray() << QByteArray() << 1.25;
    QTest::newRow("120 dpi") << QByteArray("120") << QByteArray() << QByteArray() << 1.25;
    QTest::newRow("130 dpi") << QByteArray("130") << QByteArray() << QByteArray() << 1.25;
    QTest::newRow("144 dpi") << QByteArray("144") << QByteArray() << QByteArray() << 1.5;
    QTest::newRow("192 dpi") << QByteArray("192") << QByteArray() << QByteArray() << 2.0;
    QTest::newRow("QT_SCALE_FACTOR on 100 dpi") << QByteArray("100") << QByteArray("1.5") << QByteArray() << 1.5;
    QTest::newRow("QT_SCALE_FACTOR on 120 dpi") << QByteArray("120") << QByteArray("2") << QByteArray() << 2.5;
    QTest::newRow("QT_SCREEN_SCALE_FACTORS") << QByteArray("120") << QByteArray() << QByteArray("1.1") << 1.1;
}

void tst_screen_fit::screenScale()
{
    QFETCH(QByteArray, fontDpi);
    QFETCH(QByteArray, scaleFactor);
    QFETCH(QByteArray, screenFactors);
    QFETCH(double, ratio);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QLatin1String(ChildVariable), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_FONT_DPI"), QString::fromLatin1(fontDpi));
    env.remove(QStringLiteral("QT_SCALE_FACTOR"));
    env.remove(QStringLiteral("QT_SCREEN_SCALE_FACTORS"));
    if (!scaleFactor.isEmpty())
        env.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::fromLatin1(scaleFactor));
    if (!screenFactors.isEmpty())
        env.insert(QStringLiteral("QT_SCREEN_SCALE_FACTORS"), QString::fromLatin1(screenFactors));
    QProcess child;
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), QStringList());
    QVERIFY(child.waitForFinished(60000));
    const QString out = QString::fromLocal8Bit(child.readAllStandardOutput()).trimmed();
    const QStringList f = out.split(QLatin1Char(' '));
    QVERIFY2(f.size() == 6, qPrintable(out + QString::fromLocal8Bit(child.readAllStandardError())));
    QCOMPARE(f[1].toDouble(), ratio);
    QCOMPARE(f[3].toDouble(), ratio);
    // A point stays 96/72 design pixels, whatever the step: the form's
    // texts keep the room they were laid out with. (The user's own factor
    // for a screen is taken as given, fonts and all.)
    if (screenFactors.isEmpty())
        QCOMPARE(f[5].toDouble(), 96.0);
}

// A 1366 x 768 laptop with a 30-pixel panel: 1366 x 738 for the window and
// its frame.
void tst_screen_fit::smallScreenScrolls()
{
    TempWorkDir dir;
    MainWindow w;
    w.core.refreshTimer.stop();
    const QRect available(0, 30, 1366, 738);
    QVERIFY(ScreenFit::fitInto(&w, available, frame));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(available.contains(QRect(w.pos(), w.size().grownBy(frame))));
    QCOMPARE(w.size().grownBy(frame).height(), available.height());

    auto *area = qobject_cast<QScrollArea *>(w.centralWidget());
    QVERIFY(area);
    QVERIFY(area->horizontalScrollBar()->isVisible());
    QVERIFY(area->verticalScrollBar()->isVisible());
    QCOMPARE(area->widget()->objectName(), QStringLiteral("centralWidget"));
    // The bars stay in the window, outside what scrolls.
    for (QWidget *bar : {static_cast<QWidget *>(w.menuBar()), static_cast<QWidget *>(w.statusBar())}) {
        QVERIFY(bar->isVisible());
        QVERIFY(w.rect().contains(bar->geometry()));
        QVERIFY(!area->isAncestorOf(bar));
    }

    // Every widget of both tabs, scrolled to, lies whole in the view.
    QTabWidget *tabs = w.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    QWidget *view = area->viewport();
    int checked = 0;
    for (int tab : {1, 0}) {
        tabs->setCurrentIndex(tab);
        for (QWidget *widget : area->widget()->findChildren<QWidget *>()) {
            if (!widget->isVisible() || widget->width() > view->width() || widget->height() > view->height()
                || widget->objectName().startsWith(QLatin1String("qt_")) || widget->objectName().isEmpty())
                continue;
            area->ensureWidgetVisible(widget, 0, 0);
            const QRect at(widget->mapTo(view, QPoint()), widget->size());
            // A widget the form itself cuts off at the page's edge is
            // reachable as far as the form shows it.
            const QRect shown(widget->mapTo(area->widget(), QPoint()), widget->size());
            const QRect wanted = at.intersected(QRect(at.topLeft() - shown.topLeft(), area->widget()->size()));
            QVERIFY2(view->rect().contains(wanted),
                     qPrintable(QStringLiteral("%1 at %2,%3 %4x%5 in %6x%7").arg(widget->objectName())
                                    .arg(at.x()).arg(at.y()).arg(at.width()).arg(at.height())
                                    .arg(view->width()).arg(view->height())));
            ++checked;
        }
    }
    QVERIFY2(checked > 150, qPrintable(QString::number(checked)));
    // The right column and the lowest row: what the laptop could not reach.
    tabs->setCurrentIndex(1);
    for (const char *name : {"pushButton_114", "pushButton_108", "pushButton_107", "pushButton_105"}) {
        auto *button = w.findChild<QPushButton *>(QLatin1String(name));
        area->ensureWidgetVisible(button, 0, 0);
        QVERIFY(view->rect().contains(QRect(button->mapTo(view, QPoint()), button->size())));
    }
}

void tst_screen_fit::largeScreenKeepsTheForm_data()
{
    QTest::addColumn<QRect>("available");
    QTest::addColumn<bool>("framed");
    QTest::newRow("1920 x 1080") << QRect(0, 0, 1920, 1040) << true;
    QTest::newRow("1366 x 768 without a window manager") << QRect(0, 0, 1366, 768) << false;
}

void tst_screen_fit::largeScreenKeepsTheForm()
{
    QFETCH(QRect, available);
    QFETCH(bool, framed);
    const QMargins margins = framed ? frame : QMargins();
    TempWorkDir dir;
    MainWindow w;
    w.core.refreshTimer.stop();
    QVERIFY(!ScreenFit::fitInto(&w, available, margins));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.size(), QSize(1366, 768));
    QCOMPARE(w.minimumSize(), QSize(1366, 768));
    QCOMPARE(w.maximumSize(), QSize(1366, 768));
    QCOMPARE(w.sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(w.centralWidget()->objectName(), QStringLiteral("centralWidget"));
    QVERIFY(!w.findChild<QScrollArea *>(QStringLiteral("centralScrollArea")));
    QCOMPARE(w.findChild<QListWidget *>(QStringLiteral("listWidget"))->geometry(), QRect(9, 9, 150, 712));
    QCOMPARE(w.findChild<QFrame *>(QStringLiteral("frame"))->geometry(), QRect(165, 7, 1210, 730));
    QCOMPARE(w.menuBar()->geometry().topLeft(), QPoint(0, 0));
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsSet(ChildVariable))
        return runChild(argc, argv);
    FormFonts::prepareApplication();
    QApplication app(argc, argv);
    tst_screen_fit test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_screen_fit.moc"
