#include "link/CPortHolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

CPortHolders::CPortHolders(const QString& procRoot)
    : m_procRoot(procRoot)
{
}

std::vector<int> CPortHolders::Pids() const
{
    // The process that asks is not another program: <root>/self names it.
    bool isNumber = false;
    const int self = QFileInfo(m_procRoot + QStringLiteral("/self")).symLinkTarget().section(QLatin1Char('/'), -1).toInt(&isNumber);
    std::vector<int> pids;
    const QStringList entries = QDir(m_procRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool ok = false;
        const int pid = entry.toInt(&ok);
        if (ok && pid > 0 && !(isNumber && pid == self))
            pids.push_back(pid);
    }
    std::sort(pids.begin(), pids.end());
    return pids;
}

QString CPortHolders::Name(int pid) const
{
    QFile comm(QStringLiteral("%1/%2/comm").arg(m_procRoot).arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(comm.read(256)).trimmed();
}

std::vector<CPortHolders::Holder> CPortHolders::Of(const QString& devicePath) const
{
    // The links in /proc/<pid>/fd name the device file itself, not a link
    // to it (such as a stable name under /dev/serial/by-id).
    const QString resolved = QFileInfo(devicePath).canonicalFilePath();
    const QString device = resolved.isEmpty() ? devicePath : resolved;
    std::vector<Holder> holders;
    for (int pid : Pids()) {
        const QDir fds(QStringLiteral("%1/%2/fd").arg(m_procRoot).arg(pid));
        // Unreadable for another user's process: entryInfoList is empty.
        const QFileInfoList links = fds.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        const bool holds = std::any_of(links.begin(), links.end(), [&](const QFileInfo& link) {
            return link.isSymLink() && link.symLinkTarget() == device;
        });
        if (holds)
            holders.push_back({pid, Name(pid)});
    }
    return holders;
}

std::vector<CPortHolders::Holder> CPortHolders::Running(const QString& name) const
{
    std::vector<Holder> running;
    for (int pid : Pids()) {
        const QString comm = Name(pid);
        if (comm == name)
            running.push_back({pid, comm});
    }
    return running;
}
