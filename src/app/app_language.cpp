#include "app_language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "config_file.h"

namespace {

const QString english = QStringLiteral("en");
const QString chinese = QStringLiteral("zh_CN");

// Replaced, not stacked, when the language is installed again.
QTranslator *ownTexts = nullptr;
QTranslator *qtTexts = nullptr;

void replace(QTranslator *&slot, QTranslator *translator)
{
    if (slot) {
        QCoreApplication::removeTranslator(slot);
        delete slot;
    }
    slot = translator;
    if (slot)
        QCoreApplication::installTranslator(slot);
}

} // namespace

static void initTranslationResources()
{
    Q_INIT_RESOURCE(translations);
}

QString languageFor(const QString &configured, const QLocale &system)
{
    const QString named = configured.trimmed();
    if (!named.isEmpty()) {
        const QLocale locale(named);
        if (locale.language() == QLocale::Chinese)
            return chinese;
        if (locale.language() == QLocale::English)
            return english;
    }
    return system.language() == QLocale::Chinese ? chinese : english;
}

QString catalogueOf(const QString &language)
{
    return QStringLiteral(":/translations/solar_%1.qm").arg(language);
}

QString installLanguage()
{
    const ConfigFile config;
    return installLanguage(languageFor(config.value(QStringLiteral("common/language")), QLocale::system()));
}

QString installLanguage(const QString &language)
{
    initTranslationResources();
    auto *own = new QTranslator;
    if (!own->load(catalogueOf(language))) {
        delete own;
        own = nullptr;
    }
    replace(ownTexts, own);

    // Button boxes and context menus speak Qt's own catalogue.
    auto *qt = new QTranslator;
    if (language == english
        || !qt->load(QStringLiteral("qtbase_") + language,
                     QLibraryInfo::location(QLibraryInfo::TranslationsPath))) {
        delete qt;
        qt = nullptr;
    }
    replace(qtTexts, qt);
    return own ? language : QString();
}
