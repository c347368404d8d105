#include "base/CIniFile.h"

#include "base/BaseLog.h"
#include "base/CAtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>

namespace {

QString Sanitised(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text.trimmed();
}

}

CIniFile::CIniFile(QString path)
    : m_path(std::move(path))
{
}

CIniFile::LoadResult CIniFile::Load()
{
    m_lines.clear();
    m_lineEnd = "\n";

    QFile file(m_path);
    if (!file.exists())
        return LoadResult::Missing;
    if (!file.open(QIODevice::ReadOnly)) {
        qCDebug(lcSettings) << "cannot read" << m_path << ":" << file.errorString();
        return LoadResult::Unreadable;
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        qCDebug(lcSettings) << "cannot read" << m_path << ":" << file.errorString();
        return LoadResult::Unreadable;
    }

    const int firstBreak = data.indexOf('\n');
    if (firstBreak > 0 && data.at(firstBreak - 1) == '\r')
        m_lineEnd = "\r\n";

    QList<QByteArray> raws = data.split('\n');
    if (!raws.isEmpty() && raws.last().isEmpty())
        raws.removeLast();  // the break after the last line
    m_lines.reserve(static_cast<size_t>(raws.size()));
    for (QByteArray& raw : raws) {
        if (raw.endsWith('\r'))
            raw.chop(1);
        m_lines.push_back(Parse(raw));
    }
    return LoadResult::Loaded;
}

bool CIniFile::Save() const
{
    const QFileInfo info(m_path);
    if (!QDir().mkpath(info.absolutePath())) {
        qCWarning(lcSettings) << "cannot create the folder of" << m_path;
        return false;
    }
    QByteArray content;
    for (const Line& line : m_lines) {
        content += line.raw;
        content += m_lineEnd;
    }
    QString error;
    if (!CAtomicFile::WriteWhole(m_path, content, &error)) {
        qCWarning(lcSettings) << "cannot write" << m_path << ":" << error;
        return false;
    }
    return true;
}

CIniFile::Line CIniFile::Parse(const QByteArray& raw)
{
    Line line;
    line.raw = raw;
    const QString text = QString::fromUtf8(raw).trimmed();
    if (text.startsWith(QLatin1Char('['))) {
        const int close = text.indexOf(QLatin1Char(']'));
        line.kind = Kind::Section;
        line.name = text.mid(1, close < 0 ? -1 : close - 1).trimmed();
        return line;
    }
    if (text.startsWith(QLatin1Char(';')))
        return line;
    const int equals = text.indexOf(QLatin1Char('='));
    if (equals <= 0)
        return line;
    line.kind = Kind::Entry;
    line.name = text.left(equals).trimmed();
    line.value = text.mid(equals + 1).trimmed();
    if (line.name.isEmpty())
        line.kind = Kind::Other;
    return line;
}

CIniFile::Line CIniFile::MakeEntry(const QString& key, const QString& value)
{
    const QString cleanKey = Sanitised(key);
    const QString cleanValue = Sanitised(value);
    Line line;
    line.raw = (cleanKey + QLatin1Char('=') + cleanValue).toUtf8();
    line.kind = Kind::Entry;
    line.name = cleanKey;
    line.value = cleanValue;
    return line;
}

bool CIniFile::SameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

int CIniFile::FindEntry(const QString& section, const QString& key) const
{
    bool inSection = false;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const Line& line = m_lines[i];
        if (line.kind == Kind::Section)
            inSection = SameName(line.name, section);
        else if (inSection && line.kind == Kind::Entry && SameName(line.name, key))
            return static_cast<int>(i);
    }
    return -1;
}

int CIniFile::FindSection(const QString& section) const
{
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind == Kind::Section && SameName(m_lines[i].name, section))
            return static_cast<int>(i);
    }
    return -1;
}

std::optional<QString> CIniFile::Value(const QString& section, const QString& key) const
{
    const int index = FindEntry(section, key);
    if (index < 0)
        return std::nullopt;
    return m_lines[static_cast<size_t>(index)].value;
}

QString CIniFile::String(const QString& section, const QString& key, const QString& fallback, int maxLength) const
{
    QString value = Value(section, key).value_or(fallback);
    if (maxLength >= 0 && value.size() > maxLength)
        value.truncate(maxLength);
    return value;
}

int CIniFile::Int(const QString& section, const QString& key, int fallback) const
{
    const std::optional<QString> value = Value(section, key);
    if (!value)
        return fallback;
    return LeadingInt(*value).value_or(fallback);
}

std::optional<int> CIniFile::LeadingInt(const QString& text)
{
    const QString t = text.trimmed();
    int pos = 0;
    bool negative = false;
    if (pos < t.size() && (t[pos] == QLatin1Char('-') || t[pos] == QLatin1Char('+'))) {
        negative = t[pos] == QLatin1Char('-');
        ++pos;
    }
    const int firstDigit = pos;
    qint64 magnitude = 0;
    while (pos < t.size() && t[pos] >= QLatin1Char('0') && t[pos] <= QLatin1Char('9')) {
        magnitude = magnitude * 10 + (t[pos].unicode() - '0');
        if (magnitude > qint64(std::numeric_limits<int>::max()) + 1)
            return std::nullopt;
        ++pos;
    }
    if (pos == firstDigit)
        return std::nullopt;
    const qint64 value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(value);
}

QStringList CIniFile::Sections() const
{
    QStringList names;
    for (const Line& line : m_lines) {
        if (line.kind != Kind::Section)
            continue;
        const bool known = std::any_of(names.cbegin(), names.cend(),
                                       [&](const QString& n) { return SameName(n, line.name); });
        if (!known)
            names.append(line.name);
    }
    return names;
}

QStringList CIniFile::Keys(const QString& section) const
{
    QStringList keys;
    bool inSection = false;
    for (const Line& line : m_lines) {
        if (line.kind == Kind::Section) {
            inSection = SameName(line.name, section);
        } else if (inSection && line.kind == Kind::Entry) {
            const bool known = std::any_of(keys.cbegin(), keys.cend(),
                                           [&](const QString& k) { return SameName(k, line.name); });
            if (!known)
                keys.append(line.name);
        }
    }
    return keys;
}

void CIniFile::SetValue(const QString& section, const QString& key, const QString& value)
{
    const int entry = FindEntry(section, key);
    if (entry >= 0) {
        Line& line = m_lines[static_cast<size_t>(entry)];
        line = MakeEntry(line.name, value);
        return;
    }

    const int header = FindSection(section);
    if (header >= 0) {
        // After the last non-blank line of the section, so the blank line
        // that separates it from the next section stays where it was.
        size_t insertAt = static_cast<size_t>(header) + 1;
        for (size_t i = insertAt; i < m_lines.size() && m_lines[i].kind != Kind::Section; ++i) {
            if (!m_lines[i].raw.trimmed().isEmpty())
                insertAt = i + 1;
        }
        m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(insertAt), MakeEntry(key, value));
        return;
    }

    if (!m_lines.empty() && !m_lines.back().raw.trimmed().isEmpty())
        m_lines.push_back(Parse(QByteArray()));
    m_lines.push_back(Parse('[' + Sanitised(section).toUtf8() + ']'));
    m_lines.push_back(MakeEntry(key, value));
}

void CIniFile::SetInt(const QString& section, const QString& key, int value)
{
    SetValue(section, key, QString::number(value));
}

void CIniFile::RemoveSection(const QString& section)
{
    std::vector<Line> kept;
    kept.reserve(m_lines.size());
    bool inSection = false;
    for (Line& line : m_lines) {
        if (line.kind == Kind::Section)
            inSection = SameName(line.name, section);
        if (!inSection)
            kept.push_back(std::move(line));
    }
    m_lines = std::move(kept);
}
