// Every text of the main window (both tabs, bars, device list) and of the
// settings dialog must show whole: not wider than its widget, not clipped by
// a parent, not covered by another widget. Judged by ink: each text is drawn
// once where it stands and once in a copy of its widget with room to spare;
// every strong ink pixel of the roomy drawing must show on the window.
//
// The window records history (config.ini in a folder of the child's own), so
// the menu bar carries "Export CSV" and its range dialog is checked as well.
//
// Each screen setting (logical dpi 96, 120, 144; device pixel ratio 2) runs in
// a child process of this test, since Qt reads them once at start-up; each
// child checks the window untranslated and in every catalogue that is built.
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QHeaderView>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>
#include <functional>
#include <memory>

#include <qcustomplot.h>

#include "app_setting_dialog.h"
#include "code_tables.h"
#include "daily_yield.h"
#include "form_fonts.h"
#include "history_export.h"
#include "history_recording.h"
#include "history_store.h"
#include "link_stats_window.h"
#include "mainwindow.h"
#include "window_fixture.h"
#include "yield_month.h"

namespace {

const char *const ChildVariable = "SOLAR_LEGIBILITY_CHILD";

// Logical pixels added around a widget's copy: to the right and below, so
// left- and centre-aligned texts both land on a known offset.
constexpr int ExtraWidth = 400;
constexpr int ExtraHeight = 200;

int inkOf(QRgb a, QRgb b)
{
    return qMax(qAbs(qRed(a) - qRed(b)), qMax(qAbs(qGreen(a) - qGreen(b)), qAbs(qBlue(a) - qBlue(b))));
}

QImage drawn(QWidget *w, const QSize &size, bool children)
{
    const qreal dpr = w->devicePixelRatioF();
    QImage image(size * dpr, QImage::Format_RGB32);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::white);
    QWidget::RenderFlags flags = QWidget::DrawWindowBackground;
    if (children)
        flags |= QWidget::DrawChildren;
    w->render(&image, QPoint(), QRegion(QRect(QPoint(), size)), flags);
    return image;
}

class Checker
{
public:
    explicit Checker(QString where) : where_(std::move(where)) {}

    // One text of widget w; blank(true) hides it, blank(false) shows it again.
    void check(QWidget *w, const QString &what, const std::function<void(bool)> &blank)
    {
        QWidget *top = w->window();
        const qreal dpr = top->devicePixelRatioF();
        const int margin = 4;
        const QRect region = QRect(w->mapTo(top, QPoint()), w->size()).adjusted(-margin, -margin, margin, margin);

        const QImage shown = top->grab(region).toImage().convertToFormat(QImage::Format_RGB32);
        blank(true);
        const QImage hidden = top->grab(region).toImage().convertToFormat(QImage::Format_RGB32);
        blank(false);

        const QRect geometry = w->geometry();
        // A list draws its rows on its viewport, laid out on the next pass
        // unless asked now.
        auto *list = qobject_cast<QListWidget *>(w);
        const QSize maximum = w->maximumSize();
        w->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        w->resize(geometry.width() + ExtraWidth, geometry.height() + ExtraHeight);
        if (list)
            list->doItemsLayout();
        const QImage roomy = drawn(w, w->size(), list);
        blank(true);
        const QImage roomyHidden = drawn(w, w->size(), list);
        blank(false);
        w->setMaximumSize(maximum);
        w->setGeometry(geometry);
        if (list)
            list->doItemsLayout();

        // Strong pixels of the roomy drawing: the glyphs' cores.
        QVector<QPoint> ink;
        for (int y = 0; y < roomy.height(); ++y) {
            const auto *on = reinterpret_cast<const QRgb *>(roomy.constScanLine(y));
            const auto *off = reinterpret_cast<const QRgb *>(roomyHidden.constScanLine(y));
            for (int x = 0; x < roomy.width(); ++x)
                if (inkOf(on[x], off[x]) > 128)
                    ink.append(QPoint(x, y));
        }
        if (ink.isEmpty()) {
            failures << QStringLiteral("%1: %2 \"%3\": no ink drawn").arg(where_, w->objectName(), what);
            return;
        }
        // Ink on the window, grown by a device pixel: the two drawings may
        // place a glyph's edge a pixel apart.
        const int width = shown.width(), height = shown.height();
        QVector<char> seen(width * height, 0);
        for (int y = 0; y < height; ++y) {
            const auto *on = reinterpret_cast<const QRgb *>(shown.constScanLine(y));
            const auto *off = reinterpret_cast<const QRgb *>(hidden.constScanLine(y));
            for (int x = 0; x < width; ++x) {
                if (inkOf(on[x], off[x]) <= 40)
                    continue;
                for (int py = qMax(0, y - 1); py <= qMin(height - 1, y + 1); ++py)
                    for (int px = qMax(0, x - 1); px <= qMin(width - 1, x + 1); ++px)
                        seen[py * width + px] = 1;
            }
        }
        auto visible = [&](int x, int y) {
            return x >= 0 && y >= 0 && x < width && y < height && seen[y * width + x];
        };
        const int origin = qRound(margin * dpr);
        int fewestMissing = ink.size();
        QRect span;   // of the ink, in the widget's logical pixels
        int hiddenAt = 0;
        for (int sx : {0, ExtraWidth / 2})
            for (int sy : {0, ExtraHeight / 2}) {
                const int ox = origin - qRound(sx * dpr), oy = origin - qRound(sy * dpr);
                int missing = 0;
                QRect inkRect, missingRect;
                for (const QPoint &p : ink) {
                    const QRect at(p.x() + ox - origin, p.y() + oy - origin, 1, 1);
                    inkRect |= at;
                    if (!visible(p.x() + ox, p.y() + oy)) {
                        ++missing;
                        missingRect |= at;
                    }
                }
                if (missing < fewestMissing) {
                    fewestMissing = missing;
                    hiddenAt = qFloor(missingRect.left() / dpr);
                    span = QRect(QPoint(qFloor(inkRect.left() / dpr), qFloor(inkRect.top() / dpr)),
                                 QPoint(qCeil(inkRect.right() / dpr), qCeil(inkRect.bottom() / dpr)));
                }
            }
        const int tolerance = qMax(2, qRound(2 * dpr * dpr));
        if (fewestMissing > tolerance)
            failures << QStringLiteral("%1: %2 \"%3\": %4 of %5 ink pixels hidden from x %12; ink x %6..%7, y %8..%9 in %10x%11")
                            .arg(where_, w->objectName(), what).arg(fewestMissing).arg(ink.size())
                            .arg(span.left()).arg(span.right()).arg(span.top()).arg(span.bottom())
                            .arg(w->width()).arg(w->height()).arg(hiddenAt);
    }

    // Bars that size their entries to the text: the entry must hold the ink.
    void checkEntry(QWidget *bar, const QRect &entry, const QString &text)
    {
        const QFontMetrics fm(bar->font());
        const QRect ink = fm.tightBoundingRect(text);
        if (entry.width() < ink.width() + 2 || entry.height() < ink.height())
            failures << QStringLiteral("%1: %2 \"%3\": %4x%5 for ink %6x%7")
                            .arg(where_, bar->objectName(), text).arg(entry.width()).arg(entry.height())
                            .arg(ink.width()).arg(ink.height());
    }

    void walk(QWidget *root)
    {
        const auto widgets = root->findChildren<QWidget *>();
        for (QWidget *w : widgets) {
            if (!w->isVisible())
                continue;
            if (auto *label = qobject_cast<QLabel *>(w)) {
                const QString text = label->text();
                if (!text.trimmed().isEmpty())
                    check(label, text, [=](bool b) { label->setText(b ? QString() : text); });
            } else if (auto *button = qobject_cast<QAbstractButton *>(w)) {
                const QString text = button->text();
                if (!text.trimmed().isEmpty())
                    check(button, text, [=](bool b) { button->setText(b ? QString() : text); });
            } else if (auto *edit = qobject_cast<QLineEdit *>(w)) {
                const QString text = edit->text();
                if (!text.trimmed().isEmpty())
                    check(edit, text, [=](bool b) { edit->setText(b ? QString() : text); });
            } else if (auto *group = qobject_cast<QGroupBox *>(w)) {
                const QString text = group->title();
                if (!text.trimmed().isEmpty())
                    check(group, text, [=](bool b) { group->setTitle(b ? QString() : text); });
            } else if (auto *box = qobject_cast<QComboBox *>(w)) {
                if (box->isEditable())
                    continue;   // its line edit is walked
                const int current = box->currentIndex();
                for (int i = 0; i < box->count(); ++i) {
                    const QString text = box->itemText(i);
                    box->setCurrentIndex(i);
                    check(box, text, [=](bool b) { box->setItemText(i, b ? QString() : text); });
                }
                box->setCurrentIndex(current);
            } else if (auto *list = qobject_cast<QListWidget *>(w)) {
                for (int i = 0; i < list->count(); ++i) {
                    QListWidgetItem *item = list->item(i);
                    const QString text = item->text();
                    check(list, text, [=](bool b) { item->setText(b ? QString() : text); });
                }
            } else if (auto *header = qobject_cast<QHeaderView *>(w)) {
                auto *model = header->model();
                const bool across = header->orientation() == Qt::Horizontal;
                for (int i = 0; model && i < header->count(); ++i) {
                    const int at = header->sectionViewportPosition(i), size = header->sectionSize(i);
                    checkEntry(header, across ? QRect(at, 0, size, header->height())
                                              : QRect(0, at, header->width(), size),
                               model->headerData(i, header->orientation()).toString());
                }
            } else if (auto *table = qobject_cast<QTableWidget *>(w)) {
                for (int r = 0; r < table->rowCount(); ++r)
                    for (int c = 0; c < table->columnCount(); ++c)
                        if (QTableWidgetItem *item = table->item(r, c))
                            checkEntry(table, table->visualItemRect(item), item->text());
            } else if (auto *tabs = qobject_cast<QTabBar *>(w)) {
                for (int i = 0; i < tabs->count(); ++i)
                    checkEntry(tabs, tabs->tabRect(i), tabs->tabText(i));
            } else if (auto *menu = qobject_cast<QMenuBar *>(w)) {
                for (QAction *action : menu->actions())
                    checkEntry(menu, menu->actionGeometry(action), action->text().remove(QLatin1Char('&')));
            }
        }
    }

    QStringList failures;

private:
    QString where_;
};

QString translated(const char *text)
{
    return QCoreApplication::translate("com_protocol_solar", text);
}

// The longest text of a code table as the current language writes it.
QStringList textsOf(const CodeTable &table)
{
    QStringList texts;
    for (int i = 0; i < table.count; ++i)
        texts << translated(table.entries[i].text);
    return texts;
}

// Live values as the simulated controller reports them: its model, serial
// number and factory text use every character the decoders keep.
void showLiveValues(MainWindow &w)
{
    // A nominal power the operator would type: the form's "0000001" (1 W)
    // makes an efficiency of tens of thousands of percent.
    w.findChild<QLineEdit *>(QStringLiteral("lineEdit_38"))->setText(QStringLiteral("600"));
    DeviceData &d = w.core.mainEngine.deviceData;
    d.pvVoltage = 3542;
    d.pvCurrent = 1598;
    d.pvPower = 5660;
    d.pvStateText = translated("Generating");
    d.batteryVoltage = 1295;
    d.batteryCurrent = -1478;
    d.batteryCapacity = 100;
    d.batteryTemperature = -25;
    d.internalTemperature = -20;
    d.loadCurrent = 120;
    d.loadPower = 155;
    d.systemVoltage = 48;
    d.chargeStageText = translated("Equalize");
    d.accumulationWords[3] = 456;
    d.accumulationWords[7] = 987;
    d.accumulationWords[11] = 321;
    d.accumulationWords[15] = 654;
    d.ratedVoltage = 48;
    d.ratedChargeCurrent = 100;
    d.ratedDischargeCurrent = 100;
    d.versionInfo = QStringLiteral("HRV1.2,SFV10.5");
    d.deviceModel = QStringLiteral("SIM-MPPT2012");
    d.serialNumber = QStringLiteral("SN2406010001");
    d.factoryInfo = QStringLiteral("Solar Simulation Works, Test Bench 1");
    d.encryptionText = translated("未加密");
    d.statusWord = 0x7FF;
    w.showModbusLiveValues();
    w.showChargeTotals(true, true);
    w.showEnergyTotals();
    w.showStatusLamps(true);
    w.showLoadState(true, true);
    w.showRatedVoltage();
    w.showRatedCurrents();
    w.showVersionInfo();
    w.showDeviceModel();
    w.showSerialNumber();
    w.showFactoryInfo();
    w.showEncryptionState();
    w.updateDeviceList(1, d.deviceModel);
    w.updateDeviceList(40, QStringLiteral("SIM-PWM-2012"));
}

// Fields whose text comes from a code table: every text it can show.
void checkEveryCodeText(Checker &checker, MainWindow &w)
{
    struct Field
    {
        const char *name;
        QStringList texts;
    };
    const Field fields[] = {
        {"lineEdit_44", textsOf(CodeTables::chargeStageModbus) + textsOf(CodeTables::chargeStageDefine)
                            + QStringList{QCoreApplication::translate("MainWindow", "Stop")}},
        {"lineEdit_37", textsOf(CodeTables::pvState)},
    };
    for (const Field &f : fields) {
        auto *edit = w.findChild<QLineEdit *>(QLatin1String(f.name));
        const QString kept = edit->text();
        for (const QString &text : f.texts) {
            edit->setText(text);
            checker.check(edit, text, [=](bool b) { edit->setText(b ? QString() : text); });
        }
        edit->setText(kept);
    }
    auto *lamp = w.findChild<QPushButton *>(QStringLiteral("pushButton_97"));
    for (const char *state : {"已加密", "未加密"}) {
        const QString text = translated(state);
        lamp->setText(text);
        checker.check(lamp, text, [=](bool b) { lamp->setText(b ? QString() : text); });
    }
}

// The curve read-out hangs beside the pointer; near the plot's edges it must
// still lie inside the plot, which clips it.
QStringList checkReadout(MainWindow &w, const QString &where)
{
    QStringList failures;
    auto *plot = w.findChild<QCustomPlot *>(QStringLiteral("customplot"));
    const double t0 = 1.7e9;
    for (int i = 0; i <= 100; ++i)
        w.storeCurvePoint(t0 + i);
    plot->xAxis->setRange(t0, t0 + 100);
    plot->yAxis->setRange(0, 40);
    plot->yAxis2->setRange(0, 20);
    plot->replot();
    const QRect room = plot->axisRect()->rect();
    const QPoint corners[] = {room.topLeft() + QPoint(3, 3), room.bottomLeft() + QPoint(3, -3),
                              room.topRight() + QPoint(-3, 3), room.bottomRight() + QPoint(-3, -3),
                              room.center()};
    for (const QPoint &at : corners) {
        QMouseEvent move(QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        w.cureMousePoint(&move);
        const QRectF box(w.curveReadout->topLeft->pixelPosition(), w.curveReadout->bottomRight->pixelPosition());
        if (!w.curveReadout->visible() || !QRectF(room).adjusted(-1, -1, 1, 1).contains(box))
            failures << QStringLiteral("%1: read-out at %2,%3 spans %4,%5..%6,%7 outside the plot %8,%9..%10,%11")
                            .arg(where).arg(at.x()).arg(at.y()).arg(box.left()).arg(box.top()).arg(box.right())
                            .arg(box.bottom()).arg(room.left()).arg(room.top()).arg(room.right()).arg(room.bottom());
    }
    return failures;
}

QStringList checkWindow(const QString &language)
{
    QStringList failures;
    MainWindow w;
    w.core.refreshTimer.stop();
    w.show();
    if (!QTest::qWaitForWindowExposed(&w))
        return {language + ": window not shown"};
    auto *tabs = w.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    // Before and after the first data: placeholders and live values.
    for (const char *state : {"placeholders", "live values"}) {
        if (QByteArray(state) == "live values")
            showLiveValues(w);
        // The History tab too, there while the window records.
        if (tabs->count() != 3)
            failures << language + QStringLiteral(": no History tab");
        for (int tab = 0; tab < tabs->count(); ++tab) {
            tabs->setCurrentIndex(tab);
            Checker checker(QStringLiteral("%1, %2, tab %3").arg(language, QLatin1String(state)).arg(tab));
            checker.walk(&w);
            if (tab == 1 && QByteArray(state) == "live values")
                checkEveryCodeText(checker, w);
            if (tab == 0 && QByteArray(state) == "live values")
                failures += checkReadout(w, language);
            failures += checker.failures;
        }
    }

    // "Export CSV" in the menu bar (walked above) and its range dialog.
    HistoryExport *exporter = w.history ? w.history->exporter() : nullptr;
    if (!exporter || !w.menuBar()->actions().contains(exporter->action()))
        failures << language + QStringLiteral(": no Export CSV in the menu bar");
    else if (!inspectModalDialog([&] { exporter->run(); }, [&](QDialog *dialog) {
                 // The focused edit blinks its cursor over the text.
                 if (QWidget *focused = dialog->focusWidget())
                     focused->clearFocus();
                 Checker checker(language + QStringLiteral(", export dialog"));
                 checker.walk(dialog);
                 failures += checker.failures;
             }))
        failures << language + QStringLiteral(": Export CSV showed no dialog");

    // The link statistics window beside the main window.
    w.linkStats()->open();
    if (LinkStatsWindow *stats = w.linkStats()->statsWindow()) {
        if (!QTest::qWaitForWindowExposed(stats))
            return failures << language + ": link statistics not shown";
        Checker checker(language + QStringLiteral(", link statistics"));
        checker.walk(stats);
        failures += checker.failures;
        stats->close();
    } else {
        failures << language + QStringLiteral(": Link statistics opened no window");
    }

    // The dialog with the longest values its fields take.
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("config.ini"));
    QFile file(config);
    if (file.open(QIODevice::WriteOnly)) {
        file.write("[common]\ncommunication_mode=Serial\ncommunication_protocol=TCP Modbus\n"
                   "[type]\ncontroller_type=MPPT\n"
                   "[serial]\nserial_port=/dev/ttyUSB0\nserial_baud=115200\nserial_address=40\n"
                   "[Wifi]\nip_address=192.168.100.200\nip_port=65535\n"
                   "[record]\nenabled=true\n");
        file.close();
    }
    app_setting_Dialog dialog(nullptr, config);
    dialog.show();
    if (!QTest::qWaitForWindowExposed(&dialog))
        return failures << language + ": dialog not shown";
    Checker checker(language + QStringLiteral(", dialog"));
    checker.walk(&dialog);
    return failures + checker.failures;
}

int runChild(int argc, char *argv[])
{
    FormFonts::prepareApplication();
    QApplication app(argc, argv);
    QTemporaryDir work;
    QFile config(work.filePath(QStringLiteral("config.ini")));
    if (!config.open(QIODevice::WriteOnly) || !config.write("[record]\nenabled=true\ndatabase=history.sqlite\n"))
        return 2;
    config.close();
    {
        // A recorded month, so the History tab's table has every row.
        HistoryStore store;
        if (!store.open(work.filePath(QStringLiteral("history.sqlite"))))
            return 2;
        for (const LiveSample &s : YieldMonth::samples(DailyYield::today() - (YieldMonth::Days - 1)))
            store.append(s);
        store.flush();
    }
    QDir::setCurrent(work.path());
    QStringList failures;
    int checked = 0;
    for (const QString &language : {QString(), QStringLiteral("en"), QStringLiteral("zh_CN")}) {
        QTranslator translator;
        if (!language.isEmpty()) {
            const QString catalogue = QStringLiteral(":/translations/solar_%1.qm").arg(language);
            if (!QFile::exists(catalogue) || !translator.load(catalogue)) {
                std::printf("SKIP %s: no catalogue\n", qPrintable(language));
                continue;
            }
            QCoreApplication::installTranslator(&translator);
        }
        failures += checkWindow(language.isEmpty() ? QStringLiteral("as written") : language);
        ++checked;
        QCoreApplication::removeTranslator(&translator);
    }
    for (const QString &f : failures)
        std::printf("FAIL %s\n", qPrintable(f));
    std::printf("checked %d languages, %d failures\n", checked, int(failures.size()));
    return failures.isEmpty() && checked > 0 ? 0 : 1;
}

} // namespace

class tst_legibility : public QObject
{
    Q_OBJECT

private slots:
    void everyTextShowsWhole_data();
    void everyTextShowsWhole();
};

void tst_legibility::everyTextShowsWhole_data()
{
    QTest::addColumn<QByteArray>("fontDpi");
    QTest::addColumn<QByteArray>("scale");
    QTest::newRow("logical dpi 96") << QByteArray("96") << QByteArray("1");
    QTest::newRow("logical dpi 120") << QByteArray("120") << QByteArray("1");
    QTest::newRow("logical dpi 144") << QByteArray("144") << QByteArray("1");
    QTest::newRow("device pixel ratio 2") << QByteArray("96") << QByteArray("2");
}

void tst_legibility::everyTextShowsWhole()
{
    QFETCH(QByteArray, fontDpi);
    QFETCH(QByteArray, scale);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QLatin1String(ChildVariable), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QT_FONT_DPI"), QString::fromLatin1(fontDpi));
    env.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::fromLatin1(scale));
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), QStringList());
    QVERIFY(child.waitForFinished(120000));
    const QString output = QString::fromLocal8Bit(child.readAll());
    const QStringList lines = output.split(QLatin1Char('\n'));
    // One line each: a single message would be cut short.
    for (const QString &line : lines)
        if (line.startsWith(QLatin1String("SKIP")) || line.startsWith(QLatin1String("FAIL")))
            qInfo().noquote() << line;
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
             qPrintable(lines.filter(QLatin1String("checked")).join(QLatin1Char('\n'))));
}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsSet(ChildVariable))
        return runChild(argc, argv);
    QCoreApplication app(argc, argv);
    tst_legibility test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_legibility.moc"
