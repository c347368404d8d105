#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// A profile (INI) file that a person can edit: "[section]" headers and
// "key=value" lines. Section and key names match case-insensitively and
// without their surrounding white space; when a name occurs more than once
// the first occurrence wins. Lines this class does not change (other
// sections, comments, lines it cannot make sense of) are written back byte
// for byte, so keys added by a person or by other features survive.
class CIniFile {
public:
    enum class LoadResult { Loaded, Missing, Unreadable };

    explicit CIniFile(QString path);

    // Replaces the content with the file's. A missing or unreadable file
    // leaves the content empty.
    LoadResult Load();

    // Writes the content atomically (the old file stays intact until the new
    // one is complete), creating the folder when needed. False on failure,
    // with the reason in the debug log.
    bool Save() const;

    const QString& Path() const { return m_path; }

    std::optional<QString> Value(const QString& section, const QString& key) const;
    // The value cut to maxLength characters (negative: no limit), or the
    // fallback when the key is absent.
    QString String(const QString& section, const QString& key, const QString& fallback, int maxLength = -1) const;
    // The leading decimal integer of the value (white space, optional sign,
    // digits; anything after them is ignored). Absent, non-numeric and out of
    // range values give the fallback.
    int Int(const QString& section, const QString& key, int fallback) const;

    QStringList Sections() const;
    QStringList Keys(const QString& section) const;

    // Changes the first occurrence of the key in place, or adds it at the end
    // of the section, or adds the section at the end of the file. Line breaks
    // in the key or value become spaces, so a value cannot forge other lines.
    void SetValue(const QString& section, const QString& key, const QString& value);
    void SetInt(const QString& section, const QString& key, int value);
    // Removes every occurrence of the section with all its lines.
    void RemoveSection(const QString& section);

    static std::optional<int> LeadingInt(const QString& text);

private:
    enum class Kind { Other, Section, Entry };
    struct Line {
        QByteArray raw;
        Kind kind = Kind::Other;
        QString name;   // section name or key, trimmed
        QString value;  // entries only, trimmed
    };

    static Line Parse(const QByteArray& raw);
    static Line MakeEntry(const QString& key, const QString& value);
    static bool SameName(const QString& a, const QString& b);
    // Index of the entry, or -1.
    int FindEntry(const QString& section, const QString& key) const;
    // Index of the first header of the section, or -1.
    int FindSection(const QString& section) const;

    QString m_path;
    std::vector<Line> m_lines;
    QByteArray m_lineEnd = "\n";
};
