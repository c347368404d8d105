#include "melody/CMelodyFolder.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include "melody/CMelodyFile.h"

CMelodyFolder::CMelodyFolder() = default;

CMelodyFolder::~CMelodyFolder() = default;

void CMelodyFolder::Start(const QString& folder)
{
    m_search.reset();
    if (folder.isEmpty() || !QDir(folder).exists())
        return;
    // Unreadable files are listed too: their row says "!error - open".
    m_search = std::make_unique<QDirIterator>(folder, QStringList{QStringLiteral("*.tsm")},
                                              QDir::Files | QDir::Hidden);
}

std::optional<CMelodyRow> CMelodyFolder::Next()
{
    if (!m_search)
        return std::nullopt;
    if (!m_search->hasNext()) {
        m_search.reset();
        return std::nullopt;
    }
    const QString path = m_search->next();
    return CMelodyRow::FromFile(QFileInfo(path).fileName(), CMelodyFile::Read(path));
}
