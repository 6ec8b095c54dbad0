// Both catalogues load from the program's resources, every text the operator
// sees in the window, its tabs, the settings dialog, the menu bar, the export
// dialog and the status bar comes out of the chosen catalogue, and translated code texts
// still map back to their codes.
#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

#include "app_language.h"
#include "app_setting_dialog.h"
#include "code_tables.h"
#include "history_export.h"
#include "history_recording.h"
#include "operator_feedback.h"
#include "window_fixture.h"

namespace {

struct Shown
{
    QString where;
    QString text;
};

// Every text a widget tree shows or shows on hover.
QList<Shown> textsOf(QWidget *root)
{
    QList<Shown> out;
    auto add = [&](QObject *o, const QString &text) {
        if (!text.trimmed().isEmpty())
            out.append({o->objectName(), text});
    };
    add(root, root->windowTitle());
    for (QWidget *w : root->findChildren<QWidget *>()) {
        add(w, w->toolTip());
        if (auto *label = qobject_cast<QLabel *>(w))
            add(w, label->text());
        else if (auto *button = qobject_cast<QAbstractButton *>(w))
            add(w, button->text());
        else if (auto *box = qobject_cast<QGroupBox *>(w))
            add(w, box->title());
        else if (auto *tabs = qobject_cast<QTabWidget *>(w)) {
            for (int i = 0; i < tabs->count(); ++i) {
                add(w, tabs->tabText(i));
                add(w, tabs->tabToolTip(i));
            }
        } else if (auto *list = qobject_cast<QComboBox *>(w)) {
            for (int i = 0; i < list->count(); ++i)
                add(w, list->itemText(i));
        }
    }
    for (QAction *action : root->findChildren<QAction *>())
        add(action, action->text());
    return out;
}

bool hasHan(const QString &text)
{
    return text.contains(QRegularExpression(QStringLiteral("[\\x{4e00}-\\x{9fff}]")));
}

// Source -> translation of a catalogue, from its .ts file.
QHash<QString, QString> catalogue(const QString &language)
{
    QHash<QString, QString> out;
    QFile file(QStringLiteral(SOLAR_SOURCE_DIR "/translations/solar_%1.ts").arg(language));
    if (!file.open(QIODevice::ReadOnly))
        return out;
    QXmlStreamReader xml(&file);
    QString source;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("source"))
            source = xml.readElementText();
        else if (xml.name() == QLatin1String("translation"))
            out.insert(source, xml.readElementText());
    }
    return out;
}

// Shown by the program itself, not words: addresses, lamps' captions.
bool isNotWords(const QString &text)
{
    static const QRegularExpression data(QStringLiteral("^(SN:\\d+|TX:|RX:|COM\\d+|tty\\w+|Ctrl\\+\\d|[^A-Za-z\\x{4e00}-\\x{9fff}]*)$"));
    return data.match(text).hasMatch();
}

} // namespace

class tst_translations : public QObject
{
    Q_OBJECT

private slots:
    void cleanupTestCase() { installLanguage(QStringLiteral("en")); }

    void cataloguesLoadFromTheResources_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("en") << QStringLiteral("en");
        QTest::newRow("zh_CN") << QStringLiteral("zh_CN");
    }

    void cataloguesLoadFromTheResources()
    {
        QFETCH(QString, language);
        installLanguage(language);   // registers the resources
        QTranslator translator;
        QVERIFY(translator.load(QStringLiteral(":/translations/solar_%1.qm").arg(language)));
        QVERIFY(!translator.isEmpty());
        QCOMPARE(catalogueOf(language), QStringLiteral(":/translations/solar_%1.qm").arg(language));
        const QHash<QString, QString> texts = catalogue(language);
        QVERIFY(texts.size() > 300);
        for (auto it = texts.cbegin(); it != texts.cend(); ++it)
            QVERIFY2(!it.value().isEmpty(), qPrintable(QStringLiteral("untranslated: ") + it.key()));
    }

    void languageIsChosen_data()
    {
        QTest::addColumn<QString>("configured");
        QTest::addColumn<QString>("system");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("Chinese system") << QString() << "zh_CN" << "zh_CN";
        QTest::newRow("Taiwanese system") << QString() << "zh_TW" << "zh_CN";
        QTest::newRow("German system") << QString() << "de_DE" << "en";
        QTest::newRow("C locale") << QString() << "C" << "en";
        QTest::newRow("file says en") << "en" << "zh_CN" << "en";
        QTest::newRow("file says zh_CN") << "zh_CN" << "en_US" << "zh_CN";
        QTest::newRow("file says nonsense") << "klingon" << "zh_CN" << "zh_CN";
    }

    void languageIsChosen()
    {
        QFETCH(QString, configured);
        QFETCH(QString, system);
        QFETCH(QString, chosen);
        QCOMPARE(languageFor(configured, QLocale(system)), chosen);
    }

    void configFileNamesTheLanguage()
    {
        TempWorkDir dir;
        QVERIFY(dir.writeConfig(QStringLiteral("[Common]\nlanguage=zh_CN\n")));
        QCOMPARE(installLanguage(), QStringLiteral("zh_CN"));
        QVERIFY(dir.writeConfig(QStringLiteral("[common]\nlanguage=en\n")));
        QCOMPARE(installLanguage(), QStringLiteral("en"));
    }

    void everyVisibleTextIsTranslated_data() { cataloguesLoadFromTheResources_data(); }

    void everyVisibleTextIsTranslated()
    {
        QFETCH(QString, language);
        QCOMPARE(installLanguage(language), language);
        const QHash<QString, QString> texts = catalogue(language);
        QSet<QString> translations;
        for (const QString &t : texts)
            translations.insert(t);

        WindowFixture f;
        MainWindow &w = f.w();
        // Recording on adds "Export CSV"; the status bar as it reads after a
        // failed Connect as well.
        QVERIFY(f.dir.writeConfig(QStringLiteral("[record]\nenabled=true\ndatabase=history.sqlite\n")));
        w.history->applyConfig();
        pressConnect(w);
        QList<Shown> shown = textsOf(&w);
        HistoryExport *exporter = w.history->exporter();
        QVERIFY(w.menuBar()->actions().contains(exporter->action()));
        QVERIFY(inspectModalDialog([&] { exporter->run(); },
                                   [&](QDialog *dialog) { shown += textsOf(dialog); }));
        {
            app_setting_Dialog dialog(nullptr);
            shown += textsOf(&dialog);
        }
        shown.append({QStringLiteral("About"), OperatorFeedback::aboutText()});

        QStringList wrong;
        for (const Shown &s : shown) {
            if (isNotWords(s.text))
                continue;
            const bool english = language == QLatin1String("en");
            // A source text whose catalogue says otherwise was not translated.
            const auto known = texts.constFind(s.text);
            const bool untranslated = known != texts.cend() && known.value() != s.text;
            const bool wrongScript = english ? hasHan(s.text) : !hasHan(s.text) && !translations.contains(s.text);
            if (untranslated || wrongScript)
                wrong << s.where + QStringLiteral(": ") + s.text;
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('\n'))));
        QVERIFY(!shown.isEmpty());
    }

    // Shown code texts are compared back by text: each must read the same in
    // the window's and the engine's translation, and every list item but the
    // first ("Unknow") must still find its code.
    void codeTextsStillMapToCodes_data() { cataloguesLoadFromTheResources_data(); }

    void codeTextsStillMapToCodes()
    {
        QFETCH(QString, language);
        installLanguage(language);
        WindowFixture f;
        const struct {
            const char *list;
            const CodeTable *table;
        } lists[] = {
            {"comboBox_2", &CodeTables::systemVoltage},
            {"comboBox_3", &CodeTables::batteryTypeDefine},
            {"comboBox_4", &CodeTables::baudRate},
            {"comboBox", &CodeTables::loadModeModbus},
        };
        for (const auto &l : lists) {
            auto *box = formWidget<QComboBox>(f.w(), l.list);
            QCOMPARE(l.table->codeOf(box->itemText(0), "MainWindow"), -1);
            for (int i = 1; i < box->count(); ++i) {
                const int code = l.table->codeOf(box->itemText(i), "MainWindow");
                QVERIFY2(code >= 0, qPrintable(box->itemText(i)));
                // What the decoder shows for that code selects this very item.
                QCOMPARE(QCoreApplication::translate("com_protocol_solar", l.table->textOf(code)),
                         box->itemText(i));
            }
        }
    }
};

QTEST_MAIN(tst_translations)
#include "tst_translations.moc"
