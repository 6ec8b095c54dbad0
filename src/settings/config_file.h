#ifndef CONFIG_FILE_H
#define CONFIG_FILE_H

#include <QString>

// config.ini access shared by the settings dialog and the window.
// Section and key names match without regard to case, values are exact text
// (commas included), and a rewrite keeps every unrelated line of the file.
class ConfigFile
{
public:
    static QString defaultPath();   // "./config.ini"

    explicit ConfigFile(const QString &path = defaultPath());

    // "section/key"; the empty text when the file, section or key is missing.
    QString value(const QString &key) const;
    // Base-10 integer of value(key); 0 when missing or not a number.
    int intValue(const QString &key) const;
    void setValue(const QString &key, const QString &value);
    // Writes the file when something was set; returns false on a write error.
    bool save();
};

#endif
