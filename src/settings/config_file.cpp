#include "config_file.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtDebug>

namespace {

// Keys without a section, and entries above the first header, live here (as with QSettings).
const QString GeneralSection = QStringLiteral("General");
const QByteArray Utf8Bom("\xEF\xBB\xBF");

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The whole text: QString::fromUtf8(QByteArray) would stop at a NUL byte.
QString decode(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes.constData(), bytes.size());
}

QString fold(const QString &name)
{
    return name.trimmed().toCaseFolded();
}

QString entryId(const QString &foldedSection, const QString &foldedKey)
{
    return foldedSection + QLatin1Char('\n') + foldedKey;
}

// "section/key" -> its two names, as written; false for a name the file could not hold.
bool splitKey(const QString &fullKey, QString *section, QString *key)
{
    const int slash = fullKey.indexOf(QLatin1Char('/'));
    *section = slash < 0 ? GeneralSection : fullKey.left(slash).trimmed();
    *key = fullKey.mid(slash + 1).trimmed();
    const auto hasBreak = [](const QString &s) {
        return s.contains(QLatin1Char('\n')) || s.contains(QLatin1Char('\r'));
    };
    if (section->isEmpty() || key->isEmpty() || hasBreak(*section) || hasBreak(*key))
        return false;
    if (section->contains(QLatin1Char(']')) || key->contains(QLatin1Char('=')))
        return false;
    const QChar first = key->at(0);
    return first != QLatin1Char('[') && first != QLatin1Char(';') && first != QLatin1Char('#');
}

QString configText(const char *text)
{
    return QCoreApplication::translate("ConfigFile", text);
}

} // namespace

QString ConfigFile::defaultPath()
{
    return QStringLiteral("./config.ini");
}

ConfigFile::ConfigFile(const QString &path)
    : m_path(path)
{
    load();
}

void ConfigFile::load()
{
    const QFileInfo info(m_path);
    if (!info.exists())
        return;   // no file: every key is absent
    QFile file(m_path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        m_unreadable = true;
        return;
    }
    QByteArray data = file.read(MaxReadBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        m_unreadable = true;
        return;
    }
    if (data.size() > MaxReadBytes) {
        // Keep whole lines only: a cut line could read as a wrong value.
        m_oversized = true;
        data.truncate(data.lastIndexOf('\n', int(MaxReadBytes) - 1) + 1);
    }
    parse(data);
}

void ConfigFile::parse(const QByteArray &data)
{
    QString section = fold(GeneralSection);
    int start = 0;
    while (start < data.size()) {
        const int nl = data.indexOf('\n', start);
        int end = nl < 0 ? data.size() : nl;
        Line line;
        line.eol = nl >= 0;
        line.crlf = line.eol && end > start && data.at(end - 1) == '\r';
        if (line.crlf)
            --end;
        line.text = data.mid(start, end - start);
        start = end + (line.crlf ? 2 : 1);

        const QByteArray &t = line.text;
        int i = m_lines.isEmpty() && t.startsWith(Utf8Bom) ? Utf8Bom.size() : 0;
        while (i < t.size() && isBlank(t.at(i)))
            ++i;
        const int at = m_lines.size();
        if (i < t.size() && t.at(i) == '[') {
            const int close = t.indexOf(']', i + 1);
            if (close > 0) {
                line.header = true;
                section = fold(decode(t.mid(i + 1, close - i - 1)));
                if (!m_sections.contains(section))
                    m_sections.insert(section, at);
            }
        } else if (i < t.size() && t.at(i) != ';' && t.at(i) != '#') {
            const int eq = t.indexOf('=', i);
            const QString key = eq > i ? fold(decode(t.mid(i, eq - i))) : QString();
            if (!key.isEmpty()) {
                int value = eq + 1;
                while (value < t.size() && isBlank(t.at(value)))
                    ++value;
                line.valueOffset = value;
                index(at, entryId(section, key));
                if (!m_sections.contains(section))
                    m_sections.insert(section, -1);   // entries above the first header
            }
        }
        if (at == 0)
            m_crlf = line.crlf;
        m_lines.append(line);
    }
}

void ConfigFile::index(int line, const QString &id)
{
    // The first occurrence wins, also across sections repeated in another case.
    if (!m_entries.contains(id))
        m_entries.insert(id, line);
}

QString ConfigFile::value(const QString &key) const
{
    QString section, name;
    if (!splitKey(key, &section, &name))
        return QString();
    const auto it = m_entries.constFind(entryId(fold(section), fold(name)));
    if (it == m_entries.constEnd())
        return QString();
    const Line &line = m_lines.at(*it);
    return decode(line.text.mid(line.valueOffset)).trimmed();
}

int ConfigFile::intValue(const QString &key) const
{
    bool ok = false;
    const int number = value(key).toInt(&ok, 10);
    return ok ? number : 0;
}

bool ConfigFile::boolValue(const QString &key, bool fallback) const
{
    const QString t = value(key).trimmed().toLower();
    if (t == QLatin1String("1") || t == QLatin1String("true") || t == QLatin1String("yes")
        || t == QLatin1String("on"))
        return true;
    if (t == QLatin1String("0") || t == QLatin1String("false") || t == QLatin1String("no")
        || t == QLatin1String("off"))
        return false;
    return fallback;
}

void ConfigFile::setValue(const QString &key, const QString &value)
{
    QString section, name;
    if (!splitKey(key, &section, &name)) {
        qWarning() << "config: a key the file cannot hold:" << key;
        return;
    }
    // A line break would start a new line (a new key or section) in the file.
    QString text = value;
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QByteArray bytes = text.toUtf8();

    const auto it = m_entries.constFind(entryId(fold(section), fold(name)));
    if (it == m_entries.constEnd()) {
        index(insertEntry(section, name, bytes), entryId(fold(section), fold(name)));
        m_dirty = true;
        return;
    }
    Line &line = m_lines[*it];
    if (line.text.mid(line.valueOffset) == bytes)
        return;
    line.text = line.text.left(line.valueOffset) + bytes;
    m_dirty = true;
}

int ConfigFile::insertEntry(const QString &section, const QString &key, const QByteArray &value)
{
    Line entry;
    entry.text = key.toUtf8() + '=';
    entry.valueOffset = entry.text.size();
    entry.text += value;
    entry.crlf = m_crlf;

    const auto found = m_sections.constFind(fold(section));
    if (found == m_sections.constEnd()) {
        if (!m_lines.isEmpty() && !m_lines.constLast().text.trimmed().isEmpty())
            appendLine(QByteArray());
        appendLine('[' + section.toUtf8() + ']');
        m_lines.last().header = true;
        m_sections.insert(fold(section), m_lines.size() - 1);
        insertLine(m_lines.size(), entry);
        return m_lines.size() - 1;
    }
    // After the last entry of the section's first block, so comments below stay below.
    int at = *found + 1;
    for (int i = *found + 1; i < m_lines.size() && !m_lines.at(i).header; ++i) {
        if (m_lines.at(i).valueOffset >= 0)
            at = i + 1;
    }
    insertLine(at, entry);
    return at;
}

void ConfigFile::insertLine(int at, const Line &line)
{
    if (at == m_lines.size() && !m_lines.isEmpty() && !m_lines.constLast().eol) {
        m_lines.last().eol = true;
        m_lines.last().crlf = m_crlf;
    }
    m_lines.insert(at, line);
    for (int &i : m_entries) {
        if (i >= at)
            ++i;
    }
    for (int &i : m_sections) {
        if (i >= at)
            ++i;
    }
}

void ConfigFile::appendLine(const QByteArray &text)
{
    Line line;
    line.text = text;
    line.crlf = m_crlf;
    insertLine(m_lines.size(), line);
}

QByteArray ConfigFile::serialize() const
{
    QByteArray out;
    for (const Line &line : m_lines) {
        out += line.text;
        if (line.eol)
            out += line.crlf ? "\r\n" : "\n";
    }
    return out;
}

bool ConfigFile::save()
{
    m_error.clear();
    if (!m_dirty)
        return true;
    // Rewriting what could not be read in full would lose it.
    if (m_unreadable) {
        m_error = configText(QT_TRANSLATE_NOOP("ConfigFile", "The file exists but cannot be read."));
        return false;
    }
    if (m_oversized) {
        m_error = configText(QT_TRANSLATE_NOOP("ConfigFile", "The file is larger than 1 MiB and is left as it is."));
        return false;
    }
    QSaveFile file(m_path);
    const QByteArray bytes = serialize();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        m_error = file.errorString();
        return false;
    }
    m_dirty = false;
    return true;
}
