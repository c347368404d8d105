#include "link/CSerialPort.h"

#include "link/CBytesCollector.h"
#include "link/CFakeBytesCollector.h"
#include "link/CLineSpeed.h"
#include "link/CLowLatency.h"
#include "link/LinkLog.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <climits>
#include <mutex>
#include <system_error>
#include <thread>

#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr size_t kReadChunk = 1024;

// Owns one file descriptor.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : m_fd(fd) {}
    ~UniqueFd() { Close(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    int Release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // Returns 0 or the errno of a failed close.
    int Close()
    {
        if (m_fd < 0)
            return 0;
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

// The Bxxx constant of a standard rate, or B0 when the rate has none.
speed_t StandardSpeed(int baud)
{
    switch (baud) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    default: return B0;
    }
}

// Applies the line settings: raw 8N1 without echo, flow control or output
// processing at the speed |baud|. A negative baud ("keep the other
// settings") gets the same raw line: the settings a freshly opened tty keeps
// are the cooked ones of a terminal, under which no answer would reach the
// collectors intact. Returns 0 or an errno.
int ConfigureLine(int fd, int baud)
{
    if (baud == 0 || baud == INT_MIN)
        return EINVAL;  // no speed to set (B0 would hang the line up)
    const int speed = baud > 0 ? baud : -baud;

    termios tio {};
    if (tcgetattr(fd, &tio) != 0)
        return errno;
    cfmakeraw(&tio);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | ISTRIP);
    tio.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    // The input speed follows the output speed.
    tio.c_cflag &= ~CIBAUD;

    const speed_t code = StandardSpeed(speed);
    if (code != B0 && cfsetspeed(&tio, code) != 0)
        return errno;
    if (tcsetattr(fd, TCSANOW, &tio) != 0)
        return errno;
    if (code == B0)
        return CLineSpeed::SetExact(fd, speed);
    return 0;
}

void RaiseModemLines(int fd)
{
    // A pseudo-terminal has no modem lines; that is not an error.
    int lines = TIOCM_DTR | TIOCM_RTS;
    (void)::ioctl(fd, TIOCMBIS, &lines);
}

}

class CSerialPort::Impl {
public:
    std::atomic<int> fd{-1};
    int stopFd = -1;
    std::thread reader;

    // Held while a chunk is delivered and while the collector is switched.
    std::mutex deliveryMutex;
    CFakeBytesCollector fake;
    CBytesCollector* current = &fake;
    // The steady clock's count at the newest delivery; 0 before the first.
    std::atomic<std::chrono::steady_clock::rep> lastArrival{0};

    // Held for the whole of a write, and by Close while it closes the
    // descriptors, so no write ever uses a closed descriptor.
    std::mutex writeMutex;

    void ReadLoop(int portFd, int stop);
    void Deliver(const uint8_t* bytes, size_t count);
    void SignalStop() const;
};

void CSerialPort::Impl::ReadLoop(int portFd, int stop)
{
#ifdef __linux__
    // Collectors pause on this thread for protocol gaps of about a
    // millisecond; the kernel's default 50 us timer slack would stretch each.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
    std::array<uint8_t, kReadChunk> buffer {};
    pollfd fds[2] = { { portFd, POLLIN, 0 }, { stop, POLLIN, 0 } };
    for (;;) {
        const int ready = ::poll(fds, 2, -1);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents != 0)
            return;
        const short events = fds[0].revents;
        if (events & POLLIN) {
            const ssize_t n = ::read(portFd, buffer.data(), buffer.size());
            if (n > 0) {
                Deliver(buffer.data(), static_cast<size_t>(n));
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            return;  // end of file or a read error (EIO on a hung-up line)
        }
        if (events & (POLLHUP | POLLERR | POLLNVAL))
            return;
    }
}

void CSerialPort::Impl::Deliver(const uint8_t* bytes, size_t count)
{
    lastArrival = std::chrono::steady_clock::now().time_since_epoch().count();
    std::lock_guard<std::mutex> lock(deliveryMutex);
    current->AddBytes(bytes, count);
}

void CSerialPort::Impl::SignalStop() const
{
    const uint64_t one = 1;
    ssize_t written;
    do {
        written = ::write(stopFd, &one, sizeof one);
    } while (written < 0 && errno == EINTR);
}

CSerialPort::CSerialPort()
    : m_impl(std::make_unique<Impl>())
{
}

CSerialPort::~CSerialPort()
{
    Close();
}

QString CSerialPort::DevicePath(const QString& portName)
{
    static const QRegularExpression comName(QStringLiteral("^COM(\\d+):?$"));
    const QRegularExpressionMatch match = comName.match(portName);
    if (match.hasMatch()) {
        bool ok = false;
        const int number = match.captured(1).toInt(&ok);
        if (ok && number >= 1)
            return QStringLiteral("/dev/ttyS%1").arg(number - 1);
    }
    return portName;
}

bool CSerialPort::Open(const QString& portName, int baud)
{
    if (IsOpen())
        Close();

    const QByteArray path = QFile::encodeName(DevicePath(portName));
    UniqueFd fd(::open(path.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.Valid()) {
        m_lastError = errno;
        return false;
    }
    // Exclusive use: the advisory lock keeps out every other opener of this
    // device through this class (root included); TIOCEXCL keeps out other
    // unprivileged programs.
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        m_lastError = (errno == EWOULDBLOCK) ? EBUSY : errno;
        return false;
    }
    (void)::ioctl(fd.Get(), TIOCEXCL);

    const int lineError = ConfigureLine(fd.Get(), baud);
    if (lineError != 0) {
        m_lastError = lineError;
        qCWarning(lcLink).noquote() << QStringLiteral("Cannot set the line of %1 to %2 baud: %3")
                                           .arg(portName).arg(baud).arg(LastErrorText());
        (void)::ioctl(fd.Get(), TIOCNXCL);
        return false;
    }
    RaiseModemLines(fd.Get());
    TraceLowLatency(CLowLatency().Request(fd.Get()), portName, QFile::decodeName(path));

    UniqueFd stop(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!stop.Valid()) {
        m_lastError = errno;
        qCWarning(lcLink) << "Unable to create the read thread";
        (void)::ioctl(fd.Get(), TIOCNXCL);
        return false;
    }

    try {
        m_impl->reader = std::thread(&Impl::ReadLoop, m_impl.get(), fd.Get(), stop.Get());
    } catch (const std::system_error& error) {
        m_lastError = error.code().value();
        qCWarning(lcLink) << "Unable to create the read thread";
        (void)::ioctl(fd.Get(), TIOCNXCL);
        return false;
    }

    {
        std::lock_guard<std::mutex> lock(m_impl->writeMutex);
        m_impl->stopFd = stop.Release();
        m_impl->fd.store(fd.Release());
    }
    m_portName = portName;
    m_linkSpeed = baud;
    return true;
}

void CSerialPort::TraceLowLatency(const CLowLatency::Result& result, const QString& portName,
                                  const QString& devicePath)
{
    // A stable name (a link under /dev/serial/by-id) opens the device it
    // resolves to; the trace names both. The connection attempts open the
    // port again and again: the trace tells only what changed.
    QString name = portName;
    const QString resolved = QFileInfo(devicePath).canonicalFilePath();
    if (!resolved.isEmpty() && resolved != devicePath)
        name += QStringLiteral(" (%1)").arg(resolved);
    const QString text = CLowLatency::TraceText(name, result);
    if (text != m_latencyTrace)
        qCDebug(lcLink).noquote() << text;
    m_latencyTrace = text;
}

bool CSerialPort::Close()
{
    if (!IsOpen())
        return false;

    // Ends the reader thread and releases a write that waits for room.
    m_impl->SignalStop();
    if (m_impl->reader.joinable())
        m_impl->reader.join();

    std::lock_guard<std::mutex> lock(m_impl->writeMutex);
    UniqueFd fd(m_impl->fd.exchange(-1));
    UniqueFd stop(m_impl->stopFd);
    m_impl->stopFd = -1;
    (void)::ioctl(fd.Get(), TIOCNXCL);
    stop.Close();
    const int closeError = fd.Close();
    if (closeError != 0) {
        m_lastError = closeError;
        return false;
    }
    return true;
}

bool CSerialPort::IsOpen() const
{
    return m_impl->fd.load() >= 0;
}

void CSerialPort::Write(const uint8_t* bytes, size_t count)
{
    std::lock_guard<std::mutex> lock(m_impl->writeMutex);
    const int fd = m_impl->fd.load();
    if (fd < 0)
        return;

    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd, bytes + done, count - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            m_lastError = errno;
            return;
        }
        // The driver's buffer is full: wait for room or for the stop event.
        pollfd fds[2] = { { fd, POLLOUT, 0 }, { m_impl->stopFd, POLLIN, 0 } };
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            m_lastError = errno;
            return;
        }
        if (fds[1].revents != 0)
            return;
        if ((fds[0].revents & POLLOUT) == 0 && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            m_lastError = EIO;
            return;
        }
    }
}

std::array<uint8_t, 5> CSerialPort::CommandFrame(uint8_t command, uint8_t a1, uint8_t a2)
{
    const uint8_t sum = static_cast<uint8_t>('M' + command + a1 + a2);
    return { 'M', command, a1, a2, sum };
}

void CSerialPort::SendFrame(uint8_t command, uint8_t a1, uint8_t a2)
{
    const std::array<uint8_t, 5> frame = CommandFrame(command, a1, a2);
    Write(frame.data(), frame.size());
}

CBytesCollector* CSerialPort::SetCollector(CBytesCollector* collector)
{
    std::lock_guard<std::mutex> lock(m_impl->deliveryMutex);
    CBytesCollector* next = collector != nullptr ? collector : &m_impl->fake;
    next->Reset();
    m_impl->current = next;
    return collector;
}

void CSerialPort::ResetCollector()
{
    std::lock_guard<std::mutex> lock(m_impl->deliveryMutex);
    m_impl->current = &m_impl->fake;
}

std::chrono::steady_clock::time_point CSerialPort::LastArrival() const
{
    return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(m_impl->lastArrival.load()));
}

QString CSerialPort::LastErrorText() const
{
    return QString::fromStdString(std::system_category().message(m_lastError));
}
