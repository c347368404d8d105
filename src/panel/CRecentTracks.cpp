#include "panel/CRecentTracks.h"

#include "base/CIniFile.h"
#include "panel/PanelLog.h"

#include <algorithm>

namespace {

QString CountKey()
{
    return QStringLiteral("DocumentCount");
}

QString EntryKey(int number)
{
    return QStringLiteral("Document%1").arg(number);
}

}

QString CRecentTracks::Section()
{
    return QStringLiteral("Panel.Tracks");
}

CRecentTracks::CRecentTracks(int capacity)
    : m_capacity(std::clamp(capacity, kMinCapacity, kMaxCapacity))
{
}

void CRecentTracks::Read(const CIniFile& ini)
{
    m_capacity = std::clamp(ini.Int(Section(), CountKey(), kDefaultCapacity), kMinCapacity, kMaxCapacity);
    m_entries.clear();
    for (int i = m_capacity; i >= 1; --i) {
        const QString path = ini.String(Section(), EntryKey(i), QString());
        if (!path.isEmpty())
            m_entries.append(path);
    }
}

void CRecentTracks::WriteTo(CIniFile& ini) const
{
    ini.SetInt(Section(), CountKey(), m_capacity);
    for (int p = 0; p < m_entries.size(); ++p)
        ini.SetValue(Section(), EntryKey(p + 1), m_entries[p]);
}

bool CRecentTracks::Save(const QString& path) const
{
    CIniFile ini(path);
    if (ini.Load() == CIniFile::LoadResult::Unreadable) {
        qCWarning(lcPanel) << "recent tracks not written: the existing file" << path << "cannot be read";
        return false;
    }
    WriteTo(ini);
    return ini.Save();
}

void CRecentTracks::Add(const QString& path)
{
    m_entries.removeIf([&path](const QString& entry) { return entry.compare(path, Qt::CaseInsensitive) == 0; });
    while (m_entries.size() >= m_capacity)
        m_entries.removeFirst();
    m_entries.append(path);
}

QString CRecentTracks::MenuText(int index, const QString& path)
{
    QString shown = ShortPath(path);
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QStringLiteral("&%1 %2").arg(index + 1).arg(shown);
}

QString CRecentTracks::ShortPath(const QString& path, int length)
{
    static const QString kDots = QStringLiteral("...");
    if (path.size() <= length || length <= kDots.size())
        return path.left(std::max(length, 0));
    int head = (length - kDots.size()) / 2;
    int tail = length - kDots.size() - head;
    // Never split a surrogate pair.
    if (head > 0 && path[head - 1].isHighSurrogate())
        --head;
    if (tail > 0 && path[path.size() - tail].isLowSurrogate())
        --tail;
    return path.left(head) + kDots + path.right(tail);
}
