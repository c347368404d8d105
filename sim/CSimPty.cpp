#include "CSimPty.h"

#include "SimLineSpeed.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <vector>

CSimPty::~CSimPty()
{
    Close();
}

bool CSimPty::Open(const std::string& symlinkPath, std::string& error)
{
    Close();
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0) {
        error = std::string("posix_openpt: ") + std::strerror(errno);
        return false;
    }
    char name[PATH_MAX] = {};
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0 || ptsname_r(m_master, name, sizeof name) != 0) {
        error = std::string("cannot unlock the pseudo-terminal: ") + std::strerror(errno);
        Close();
        return false;
    }
    m_slavePath = name;
    m_slaveKeeper = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_slaveKeeper < 0) {
        error = "cannot open " + m_slavePath + ": " + std::strerror(errno);
        Close();
        return false;
    }
    termios settings {};
    if (tcgetattr(m_slaveKeeper, &settings) != 0) {
        error = std::string("tcgetattr: ") + std::strerror(errno);
        Close();
        return false;
    }
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    cfsetspeed(&settings, B19200);
    if (tcsetattr(m_slaveKeeper, TCSANOW, &settings) != 0) {
        error = std::string("tcsetattr: ") + std::strerror(errno);
        Close();
        return false;
    }
    const int flags = fcntl(m_master, F_GETFL);
    fcntl(m_master, F_SETFL, flags | O_NONBLOCK);
    fcntl(m_master, F_SETFD, FD_CLOEXEC);
    fcntl(m_slaveKeeper, F_SETFD, FD_CLOEXEC);
    if (!symlinkPath.empty() && !MakeLink(symlinkPath, error)) {
        Close();
        return false;
    }
    return true;
}

void CSimPty::Close()
{
    RemoveLink();
    if (m_slaveKeeper >= 0)
        close(m_slaveKeeper);
    if (m_master >= 0)
        close(m_master);
    m_slaveKeeper = -1;
    m_master = -1;
}

bool CSimPty::MakeLink(const std::string& path, std::string& error)
{
    // Never replace anything but an earlier link: the path may name a user's file.
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0 && !S_ISLNK(info.st_mode)) {
        error = path + " exists and is not a symbolic link";
        return false;
    }
    // Build the link under a temporary name and rename it into place, so the
    // path always names either the old or the new device.
    const std::string temporary = path + ".tmp" + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(m_slavePath.c_str(), temporary.c_str()) != 0) {
        error = "cannot create the link " + path + ": " + std::strerror(errno);
        return false;
    }
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot create the link " + path + ": " + std::strerror(errno);
        unlink(temporary.c_str());
        return false;
    }
    m_linkPath = path;
    return true;
}

void CSimPty::RemoveLink()
{
    if (m_linkPath.empty())
        return;
    // Remove the link only while it still points at this pair's device.
    std::vector<char> target(PATH_MAX + 1, '\0');
    const ssize_t length = readlink(m_linkPath.c_str(), target.data(), PATH_MAX);
    if (length > 0 && std::string(target.data(), static_cast<std::size_t>(length)) == m_slavePath)
        unlink(m_linkPath.c_str());
    m_linkPath.clear();
}

int CSimPty::HostBaud() const
{
    return m_master >= 0 ? SimHostBaud(m_master) : 0;
}

long CSimPty::Read(uint8_t* buffer, std::size_t size)
{
    if (m_master < 0)
        return -1;
    const ssize_t count = read(m_master, buffer, size);
    if (count >= 0)
        return static_cast<long>(count);
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == EIO)
        return 0;  // EIO: no slave open for a moment; the keeper prevents it normally
    return -1;
}

bool CSimPty::Write(const uint8_t* bytes, std::size_t size, int timeoutMs)
{
    if (m_master < 0)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t count = write(m_master, bytes + done, size - done);
        if (count > 0) {
            done += static_cast<std::size_t>(count);
            continue;
        }
        if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;  // nobody reads the other side: the bytes are lost, as on a real line
        pollfd pfd {m_master, POLLOUT, 0};
        poll(&pfd, 1, static_cast<int>(left.count()));
    }
    return true;
}
