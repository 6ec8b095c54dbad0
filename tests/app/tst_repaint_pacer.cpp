// Paint pacing of a window: bursts of changes are painted once a frame, the
// last state always reaches the screen, a lone change within a frame.
#include <QElapsedTimer>
#include <QPainter>
#include <QtTest>

#include "repaint_pacer.h"

namespace {

// Records what it painted and how often.
class Gauge : public QWidget
{
public:
    using QWidget::QWidget;
    void setValue(int v)
    {
        value = v;
        update();
    }
    int value = 0;
    int painted = -1;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter(this).drawText(rect(), QString::number(value));
        painted = value;
        ++paints;
    }
};

struct PacedWindow
{
    PacedWindow()
    {
        window.resize(200, 100);
        gauge = new Gauge(&window);
        gauge->setGeometry(10, 10, 100, 40);
        new RepaintPacer(&window);
        window.show();
    }
    bool ready() { return QTest::qWaitForWindowExposed(&window); }
    // Lets a whole frame pass without changes, so the next change is lone.
    void settle() { QTest::qWait(3 * RepaintPacer::FrameMs); }

    QWidget window;
    Gauge *gauge = nullptr;
};

} // namespace

class tst_repaint_pacer : public QObject
{
    Q_OBJECT

private slots:
    void burstIsPaintedOncePerFrame();
    void loneChangeIsPaintedWithinAFrame();
    void immediateRepaintIsNotLost();
};

void tst_repaint_pacer::burstIsPaintedOncePerFrame()
{
    PacedWindow p;
    QVERIFY(p.ready());
    p.settle();
    const int before = p.gauge->paints;
    QElapsedTimer clock;
    clock.start();
    for (int i = 1; i <= 200; ++i) {
        p.gauge->setValue(i);
        QCoreApplication::processEvents();
    }
    QTRY_COMPARE(p.gauge->painted, 200);
    const int paints = p.gauge->paints - before;
    const qint64 frames = clock.elapsed() / RepaintPacer::FrameMs;
    QVERIFY2(paints <= frames + 2, qPrintable(QStringLiteral("%1 paints in %2 frames").arg(paints).arg(frames)));
}

void tst_repaint_pacer::loneChangeIsPaintedWithinAFrame()
{
    PacedWindow p;
    QVERIFY(p.ready());
    p.settle();
    // Nothing else happens afterwards: the held-back paint must come anyway.
    p.gauge->setValue(7);
    QTRY_COMPARE_WITH_TIMEOUT(p.gauge->painted, 7, 1000);
}

void tst_repaint_pacer::immediateRepaintIsNotLost()
{
    PacedWindow p;
    QVERIFY(p.ready());
    p.settle();
    p.gauge->setValue(1);
    QCoreApplication::processEvents();
    p.gauge->value = 2;
    p.gauge->repaint();   // within the frame of the first change
    QTRY_COMPARE(p.gauge->painted, 2);
}

QTEST_MAIN(tst_repaint_pacer)
#include "tst_repaint_pacer.moc"
