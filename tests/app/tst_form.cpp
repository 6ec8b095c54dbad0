// The main window's form on its own (a plain QMainWindow, no window logic):
// fixed frame, which fields the operator may type into, the lists against the
// engine's code tables, and the pictures behind every resource path.
#include <QComboBox>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPixmap>
#include <QRegularExpression>
#include <QSet>
#include <QStatusBar>
#include <QTextEdit>
#include <QtTest>

#include <qcustomplot.h>

#include "code_tables.h"
// The form class comes from the window library's generated header, named
// through a macro so that this test's own uic pass does not look for a form
// beside the test.
#define MAINWINDOW_FORM_HEADER "solar_app_autogen/include/ui_mainwindow.h"
#include MAINWINDOW_FORM_HEADER

Q_DECLARE_METATYPE(const CodeTable *)

namespace {

const char *const LampPaths[] = {
    ":/Images/Images/64X64/gray64x64.png",
    ":/Images/Images/64X64/green64x64.png",
    ":/Images/Images/64X64/red64x64.png",
};

// Information the controller reports and the operator cannot set.
const QSet<QString> ReadOnlyFields = {
    "lineEdit_54", "lineEdit_56", "lineEdit_62", "lineEdit_64",                // totals
    "lineEdit_67", "lineEdit_68", "lineEdit_69", "lineEdit_70",                // version, model, serial, factory
    "lineEdit_77", "lineEdit_78", "lineEdit_79",                              // ratings
};

// A drawn picture, not an empty or flat placeholder.
bool looksDrawn(const QImage &image)
{
    QSet<QRgb> colours;
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            opaque += qAlpha(p) > 128;
            colours.insert(p);
        }
    }
    return opaque * 5 >= image.width() * image.height() && colours.size() >= 16;
}

} // namespace

class tst_form : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void windowIsFixedAt1366x768();
    void basicInformationIsShownAndCurveViewComesFirst();
    void wholePageIsVisible();
    void onlyReportedInformationRefusesTyping();
    void fieldsShowPlaceholdersUntilDataArrive_data();
    void fieldsShowPlaceholdersUntilDataArrive();
    void listsShowUnknowUntilRead();
    void frameBoxesShowZeroFrameGreenOnBlack();
    void listItemsAreCodesTheEngineKnows_data();
    void listItemsAreCodesTheEngineKnows();
    void everyFormPictureLoadsAndFillsItsFrame();
    void lampsReadAtSixteenPixels_data();
    void lampsReadAtSixteenPixels();

private:
    QMainWindow window;
    Ui_MainWindow ui;
};

void tst_form::initTestCase()
{
    // The resources live in the static window library; pull them in.
    Q_INIT_RESOURCE(resources);
    // Menu and status bar in a desktop's usual font (the offscreen platform
    // defaults to 12 pt); the form sets its own fonts.
    QApplication::setFont(QFont(QStringLiteral("Sans Serif"), 9));
    ui.setupUi(&window);
    // Bars filled as the window fills them, so the page gets its real room.
    window.menuBar()->addAction(QStringLiteral("Setting"));
    window.menuBar()->addAction(QStringLiteral("Connect"));
    window.statusBar()->addWidget(new QLabel(QStringLiteral("SN:01")));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
}

void tst_form::windowIsFixedAt1366x768()
{
    const QSize fixed(1366, 768);
    QCOMPARE(window.size(), fixed);
    QCOMPARE(window.minimumSize(), fixed);
    QCOMPARE(window.maximumSize(), fixed);
    QCOMPARE(window.sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(window.sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    window.resize(1000, 600);
    QCOMPARE(window.size(), fixed);
    window.resize(1600, 900);
    QCOMPARE(window.size(), fixed);
}

void tst_form::basicInformationIsShownAndCurveViewComesFirst()
{
    QCOMPARE(ui.tabWidget->count(), 2);
    QCOMPARE(ui.tabWidget->currentWidget(), ui.tabBase_info);
    QCOMPARE(ui.tabWidget->tabText(ui.tabWidget->currentIndex()), QStringLiteral("Basic information"));
    QCOMPARE(ui.tabWidget->widget(0), ui.tabCurve_view);
    QCOMPARE(ui.tabWidget->tabText(0), QStringLiteral("Curve view"));

    // The plot fills the curve tab; the time-span field floats over it and
    // starts as a number the window can read.
    QVERIFY(qobject_cast<QCustomPlot *>(ui.customplot));
    QCOMPARE(ui.customplot->parentWidget(), ui.tabCurve_view);
    QCOMPARE(ui.label_84->parentWidget(), ui.customplot);
    QCOMPARE(ui.lineEdit_72->parentWidget(), ui.customplot);
    bool ok = false;
    QCOMPARE(ui.lineEdit_72->text().toInt(&ok, 10), 1000);
    QVERIFY(ok);
}

// Absolute positions leave no layout to make room: every control must end
// inside the page and above the status bar.
void tst_form::wholePageIsVisible()
{
    const QRect room(ui.centralWidget->pos(), ui.centralWidget->size());
    const QRect page = ui.tabBase_info->rect();
    const auto children = ui.tabBase_info->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    QVERIFY(!children.isEmpty());
    for (QWidget *child : children) {
        const QRect r = child->geometry();
        const QPoint corner = ui.tabBase_info->mapTo(&window, r.bottomRight());
        QVERIFY2(r.bottom() <= page.bottom() && r.right() <= page.right(),
                 qPrintable(child->objectName() + " runs past the page"));
        QVERIFY2(room.contains(corner), qPrintable(child->objectName() + " is hidden by the window's edge"));
    }
}

void tst_form::onlyReportedInformationRefusesTyping()
{
    QSet<QString> readOnlySeen;
    const auto edits = window.findChildren<QLineEdit *>();
    for (QLineEdit *edit : edits) {
        if (qobject_cast<QComboBox *>(edit->parentWidget()))
            continue;
        const QString before = edit->text();
        edit->setFocus();
        edit->end(false);
        QTest::keyClicks(edit, "57");
        const bool refused = edit->text() == before;
        if (ReadOnlyFields.contains(edit->objectName())) {
            readOnlySeen.insert(edit->objectName());
            QVERIFY2(refused, qPrintable(edit->objectName() + " took typing: " + edit->text()));
        } else {
            QVERIFY2(edit->text() == before + "57",
                     qPrintable(edit->objectName() + " refused typing: " + edit->text()));
        }
        edit->setText(before);
    }
    QCOMPARE(readOnlySeen, ReadOnlyFields);
}

void tst_form::fieldsShowPlaceholdersUntilDataArrive_data()
{
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QString>("placeholder");
    QTest::newRow("live values") << QStringList{"lineEdit_34", "lineEdit_35", "lineEdit_36", "lineEdit_40",
                                                "lineEdit_41", "lineEdit_47", "lineEdit_48", "lineEdit_49"}
                                 << "000.00";
    QTest::newRow("voltages to set") << QStringList{"lineEdit", "lineEdit_2", "lineEdit_3", "lineEdit_11",
                                                    "lineEdit_12", "lineEdit_13", "lineEdit_16", "lineEdit_17",
                                                    "lineEdit_29", "lineEdit_30"}
                                     << "000.0";
    QTest::newRow("lithium capacity") << QStringList{"lineEdit_10"} << "0000.0";
    QTest::newRow("totals and limits") << QStringList{"lineEdit_54", "lineEdit_56", "lineEdit_62", "lineEdit_64",
                                                      "lineEdit_9", "lineEdit_39"}
                                       << "00.00";
    QTest::newRow("ratings and night times") << QStringList{"lineEdit_77", "lineEdit_78", "lineEdit_79",
                                                            "lineEdit_19", "lineEdit_20"}
                                             << "0000";
    QTest::newRow("identity texts") << QStringList{"lineEdit_67", "lineEdit_68", "lineEdit_70"} << "Unknow";
    QTest::newRow("serial number") << QStringList{"lineEdit_69"} << "0000-0000-0000-0000";
}

void tst_form::fieldsShowPlaceholdersUntilDataArrive()
{
    QFETCH(QStringList, fields);
    QFETCH(QString, placeholder);
    for (const QString &name : fields) {
        auto *edit = window.findChild<QLineEdit *>(name);
        QVERIFY2(edit, qPrintable(name));
        QCOMPARE(edit->text(), placeholder);
    }
}

// No list pretends to know a setting before it is read.
void tst_form::listsShowUnknowUntilRead()
{
    const auto lists = window.findChildren<QComboBox *>();
    QVERIFY(!lists.isEmpty());
    for (QComboBox *list : lists) {
        QCOMPARE(list->currentIndex(), 0);
        QCOMPARE(list->currentText(), QStringLiteral("Unknow"));
    }
}

void tst_form::frameBoxesShowZeroFrameGreenOnBlack()
{
    for (QTextEdit *box : {ui.textEdit, ui.textEdit_2}) {
        QCOMPARE(box->toPlainText(), QStringLiteral("00 ").repeated(26));
        const QPalette p = box->palette();
        for (auto group : {QPalette::Active, QPalette::Inactive}) {
            QCOMPARE(p.color(group, QPalette::Text), QColor(85, 255, 0));
            QCOMPARE(p.color(group, QPalette::Base), QColor(Qt::black));
        }
        QCOMPARE(p.color(QPalette::Disabled, QPalette::Text), QColor(120, 120, 120));
        QCOMPARE(p.color(QPalette::Disabled, QPalette::Base), QColor(Qt::black));
    }
}

void tst_form::listItemsAreCodesTheEngineKnows_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<const CodeTable *>("table");
    QTest::addColumn<bool>("complete");   // every item has a code in this table
    QTest::newRow("system voltage") << "comboBox_2" << &CodeTables::systemVoltage << true;
    QTest::newRow("battery type, Define") << "comboBox_3" << &CodeTables::batteryTypeDefine << true;
    // Register 50 has no lithium-polymer code.
    QTest::newRow("battery type, Modbus") << "comboBox_3" << &CodeTables::batteryTypeModbus << false;
    QTest::newRow("baud rate") << "comboBox_4" << &CodeTables::baudRate << true;
    QTest::newRow("load mode") << "comboBox" << &CodeTables::loadModeModbus << true;
}

// What the operator picks is written as a code, and the code read back
// selects the same item again; "Unknow" must never turn into a write.
void tst_form::listItemsAreCodesTheEngineKnows()
{
    QFETCH(QString, list);
    QFETCH(const CodeTable *, table);
    QFETCH(bool, complete);
    auto *box = window.findChild<QComboBox *>(list);
    QVERIFY(box);
    QVERIFY(box->count() > 1);
    QCOMPARE(box->itemText(0), QStringLiteral("Unknow"));
    QCOMPARE(table->codeOf(box->itemText(0), "MainWindow"), -1);

    QSet<int> codes;
    int mapped = 0;
    for (int i = 1; i < box->count(); ++i) {
        const QString item = box->itemText(i);
        const int code = table->codeOf(item, "MainWindow");
        if (code < 0) {
            QVERIFY2(!complete, qPrintable(list + ": no code for \"" + item + "\""));
            continue;
        }
        ++mapped;
        QVERIFY2(!codes.contains(code), qPrintable(list + ": two items share code " + QString::number(code)));
        codes.insert(code);
        QCOMPARE(QString::fromUtf8(table->textOf(code)), item);
    }
    QVERIFY(mapped > 0);
}

void tst_form::everyFormPictureLoadsAndFillsItsFrame()
{
    const QRegularExpression url(QStringLiteral("url\\(([^)]*)\\)"));
    const QRegularExpression folderSize(QStringLiteral("/(\\d+)X(\\d+)/"));
    int pictures = 0;
    const auto frames = window.findChildren<QFrame *>();
    for (QFrame *frame : frames) {
        const QRegularExpressionMatch m = url.match(frame->styleSheet());
        if (!m.hasMatch())
            continue;
        ++pictures;
        const QString path = m.captured(1).trimmed();
        const QPixmap pixmap(path);
        QVERIFY2(!pixmap.isNull(), qPrintable(frame->objectName() + ": " + path));
        QVERIFY2(looksDrawn(pixmap.toImage()), qPrintable(path));
        const QRegularExpressionMatch size = folderSize.match(path);
        if (size.hasMatch())
            QCOMPARE(pixmap.size(), QSize(size.captured(1).toInt(), size.captured(2).toInt()));
        // Style sheet images shrink to fit but never grow: a smaller picture
        // would sit small inside its frame.
        const QSize room = frame->contentsRect().size();
        QVERIFY2(pixmap.width() >= room.width() || pixmap.height() >= room.height(),
                 qPrintable(path + " is smaller than " + frame->objectName()));
    }
    QVERIFY(pictures > 0);
}

void tst_form::lampsReadAtSixteenPixels_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("hue");   // -1: no colour
    QTest::newRow("gray") << LampPaths[0] << -1;
    QTest::newRow("green") << LampPaths[1] << 120;
    QTest::newRow("red") << LampPaths[2] << 0;
}

// The window shows the lamps at 16x16 with fast scaling.
void tst_form::lampsReadAtSixteenPixels()
{
    QFETCH(QString, path);
    QFETCH(int, hue);
    const QPixmap pixmap(path);
    QVERIFY2(!pixmap.isNull(), qPrintable(path));
    QCOMPARE(pixmap.size(), QSize(64, 64));
    QVERIFY(looksDrawn(pixmap.toImage()));

    const QImage small = pixmap.scaled(16, 16, Qt::IgnoreAspectRatio, Qt::FastTransformation).toImage();
    QCOMPARE(qAlpha(small.pixel(0, 0)), 0);   // round, not a square
    const QColor body = QColor::fromRgba(small.pixel(8, 10));
    QCOMPARE(body.alpha(), 255);
    if (hue < 0) {
        QVERIFY2(body.hsvSaturation() < 40, qPrintable(body.name()));
    } else {
        const int distance = qAbs(body.hsvHue() - hue) % 360;
        QVERIFY2(qMin(distance, 360 - distance) < 30, qPrintable(body.name()));
        QVERIFY2(body.hsvSaturation() > 150 && body.value() > 120, qPrintable(body.name()));
    }
}

QTEST_MAIN(tst_form)
#include "tst_form.moc"
