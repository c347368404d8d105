#include "firmware/CFirmwareFolder.h"

#include <QDir>
#include <QDirIterator>

CFirmwareFolder::CFirmwareFolder(int deviceId, int hardwareVersion)
    : m_deviceId(deviceId), m_hardwareVersion(hardwareVersion)
{
}

CFirmwareFolder::~CFirmwareFolder() = default;

void CFirmwareFolder::Start(const QString& folder)
{
    m_search.reset();
    if (folder.isEmpty() || !QDir(folder).exists())
        return;
    m_search = std::make_unique<QDirIterator>(folder, QStringList{QStringLiteral("*.upd")},
                                              QDir::Files | QDir::Readable | QDir::Hidden);
}

bool CFirmwareFolder::Step()
{
    if (!m_search)
        return false;
    if (!m_search->hasNext()) {
        m_search.reset();
        return false;
    }
    const CUpdateFile::Info info = CUpdateFile::ReadInfo(m_search->next());
    if (info.deviceId == m_deviceId && info.hardwareVersion == m_hardwareVersion)
        m_rows.insert(m_rows.begin(), info);
    return true;
}

void CFirmwareFolder::Finish()
{
    while (Step()) {
    }
}
