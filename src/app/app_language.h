#ifndef APP_LANGUAGE_H
#define APP_LANGUAGE_H

#include <QLocale>
#include <QString>

// The language the operator reads: "en" or "zh_CN". A language named in
// config.ini ([common] language=en|zh_CN) wins; otherwise a Chinese system
// locale picks Chinese and anything else English.
QString languageFor(const QString &configured, const QLocale &system);

// Installs the catalogue of the chosen language (and Qt's own texts for it,
// where the system has them) before any window is built. Returns the
// language installed.
QString installLanguage();
QString installLanguage(const QString &language);

// The catalogue's resource path, e.g. ":/translations/solar_zh_CN.qm".
QString catalogueOf(const QString &language);

#endif
