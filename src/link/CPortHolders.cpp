#include "link/CPortHolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>

#include <dirent.h>
#include <unistd.h>

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

bool CPortHolders::Holds(int pid, const QByteArray& device) const
{
    // Each entry of fd is a link to what the process has open; reading the
    // link alone never touches the file (a hung network file stays out of
    // it). Another user's process does not let its folder be read.
    const QByteArray folder = QFile::encodeName(QStringLiteral("%1/%2/fd").arg(m_procRoot).arg(pid));
    DIR* fds = ::opendir(folder.constData());
    if (fds == nullptr)
        return false;
    bool holds = false;
    std::array<char, 4096> target {};
    while (const dirent* entry = ::readdir(fds)) {
        const QByteArray link = folder + '/' + entry->d_name;
        const ssize_t length = ::readlink(link.constData(), target.data(), target.size());
        if (length > 0 && QByteArray(target.data(), static_cast<int>(length)) == device) {
            holds = true;
            break;
        }
    }
    ::closedir(fds);
    return holds;
}

std::vector<CPortHolders::Holder> CPortHolders::Of(const QString& devicePath) const
{
    // The links in /proc/<pid>/fd name the device file itself, not a link
    // to it (such as a stable name under /dev/serial/by-id).
    const QString resolved = QFileInfo(devicePath).canonicalFilePath();
    const QByteArray device = QFile::encodeName(resolved.isEmpty() ? devicePath : resolved);
    std::vector<Holder> holders;
    for (int pid : Pids()) {
        if (Holds(pid, device))
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
