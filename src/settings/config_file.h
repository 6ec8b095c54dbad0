#ifndef CONFIG_FILE_H
#define CONFIG_FILE_H

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

// config.ini access shared by the settings dialog and the window.
// Section and key names match without regard to case, values are exact text
// (commas included), and a rewrite keeps every unrelated line of the file.
class ConfigFile
{
public:
    static QString defaultPath();   // "./config.ini"

    // Only this much of the file is read; the rest counts as absent and the
    // file is then never rewritten, so nothing past the limit can be lost.
    static constexpr qint64 MaxReadBytes = 1024 * 1024;

    explicit ConfigFile(const QString &path = defaultPath());

    // "section/key"; the empty text when the file, section or key is missing.
    QString value(const QString &key) const;
    // Base-10 integer of value(key); 0 when missing or not a number.
    int intValue(const QString &key) const;
    // "1", "true", "yes", "on" / "0", "false", "no", "off" in any case;
    // fallback when missing or anything else.
    bool boolValue(const QString &key, bool fallback) const;
    void setValue(const QString &key, const QString &value);
    // Writes the file when something was set; returns false on a write error.
    bool save();

    QString path() const { return m_path; }
    // Why the last save() failed.
    QString errorString() const { return m_error; }

private:
    struct Line {
        QByteArray text;        // without the line break
        int valueOffset = -1;   // entries: where the value starts in text
        bool header = false;    // a "[section]" line
        bool crlf = false;
        bool eol = true;        // false only for a last line without a break
    };

    void load();
    void parse(const QByteArray &data);
    void index(int line, const QString &sectionKey);
    int insertEntry(const QString &section, const QString &key, const QByteArray &value);
    void insertLine(int at, const Line &line);
    void appendLine(const QByteArray &text);
    QByteArray serialize() const;

    QString m_path;
    QVector<Line> m_lines;
    QHash<QString, int> m_entries;    // folded "section\nkey" -> first line
    QHash<QString, int> m_sections;   // folded section -> first header line
    bool m_crlf = false;              // line break style of the file
    bool m_unreadable = false;        // exists but could not be read
    bool m_oversized = false;         // longer than MaxReadBytes
    bool m_dirty = false;
    QString m_error;
};

#endif
