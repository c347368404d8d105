#pragma once

#include <QString>
#include <QStringList>

class CIniFile;

// The recently loaded track files, kept in section "Panel.Tracks" of
// TORV.ini: "DocumentCount" holds the capacity and "Document1".. the
// entries. Reading walks the keys from the capacity down to 1 while writing
// numbers the entries from the first, so each write and read turns the
// order around; stored files rely on that, so it stays.
class CRecentTracks {
public:
    static constexpr int kDefaultCapacity = 4;
    static constexpr int kMinCapacity = 2;
    static constexpr int kMaxCapacity = 16;
    // Menu texts show paths cut to this many characters.
    static constexpr int kMenuPathLength = 16;

    static QString Section();  // "Panel.Tracks"

    explicit CRecentTracks(int capacity = kDefaultCapacity);

    // Replaces the list with the one stored in the file's content.
    void Read(const CIniFile& ini);
    // Sets the capacity and the entries in the file's content.
    void WriteTo(CIniFile& ini) const;
    // Reads the settings file at path afresh, sets the keys and writes it
    // atomically; a file that exists but cannot be read is left alone.
    // False when nothing was written.
    bool Save(const QString& path) const;

    // Moves path to the end of the list: an entry equal to it (letter case
    // ignored) goes, and when the list is full its first entry goes.
    void Add(const QString& path);

    const QStringList& Entries() const { return m_entries; }
    int Capacity() const { return m_capacity; }

    // "&%i %s" for the entry at index (from 0): its number from 1 and its
    // path shortened with ShortPath; '&' in the path is shown as itself.
    static QString MenuText(int index, const QString& path);
    // The path cut to length characters with "..." in the middle.
    static QString ShortPath(const QString& path, int length = kMenuPathLength);

private:
    int m_capacity;
    QStringList m_entries;
};
