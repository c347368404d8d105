#include "SimTestClient.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace simtest {

static uint16_t Crc16(const Bytes& bytes)
{
    uint16_t crc = 0xFFFF;
    for (uint8_t b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = static_cast<uint16_t>((crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1);
    }
    return crc;
}

static Bytes WithSum(Bytes bytes)
{
    unsigned sum = 0;
    for (uint8_t b : bytes)
        sum += b;
    bytes.push_back(static_cast<uint8_t>(sum));
    return bytes;
}

static Bytes WithCrc(Bytes bytes, bool lowFirst)
{
    const uint16_t crc = Crc16(bytes);
    bytes.push_back(static_cast<uint8_t>(lowFirst ? crc & 0xFF : crc >> 8));
    bytes.push_back(static_cast<uint8_t>(lowFirst ? crc >> 8 : crc & 0xFF));
    return bytes;
}

Bytes Command(uint8_t letter, uint8_t a1, uint8_t a2) { return WithSum({'M', letter, a1, a2}); }
Bytes ShortAnswer(uint8_t value) { return WithSum({'M', value}); }
Bytes BlockAnswer(const Bytes& data) { return WithCrc(Concat({'M'}, data), true); }
Bytes BlockSend(const Bytes& data) { return WithCrc(Concat({'M', 'f'}, data), false); }

Bytes PageWrite(uint16_t page, const Bytes& data)
{
    return WithSum(Concat({'M', 'u', static_cast<uint8_t>(page & 0xFF), static_cast<uint8_t>(page >> 8)}, data));
}

Bytes Concat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

bool Client::Open(const std::string& path, int baud)
{
    Close();
    m_gone = false;
    m_fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios settings{};
    if (m_fd < 0 || tcgetattr(m_fd, &settings) != 0)
        return false;
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    tcsetattr(m_fd, TCSANOW, &settings);
    tcflush(m_fd, TCIOFLUSH);
    return SetBaud(baud);
}

void Client::Close()
{
    if (m_fd >= 0)
        close(m_fd);
    m_fd = -1;
}

bool Client::SetBaud(int baud)
{
    // glibc's cfsetspeed takes speeds in bits per second as well as B-constants.
    termios settings{};
    if (tcgetattr(m_fd, &settings) == 0 && cfsetspeed(&settings, static_cast<speed_t>(baud)) == 0)
        return tcsetattr(m_fd, TCSANOW, &settings) == 0;
    return SetCustomBaud(m_fd, baud);
}

bool Client::Send(const Bytes& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = write(m_fd, bytes.data() + done, bytes.size() - done);
        if (count < 0 && errno != EAGAIN)
            return false;
        if (count > 0)
            done += static_cast<std::size_t>(count);
        pollfd pfd{m_fd, POLLOUT, 0};
        if (count <= 0)
            poll(&pfd, 1, 100);
    }
    return true;
}

Bytes Client::Receive(std::size_t count, Ms deadline)
{
    Bytes bytes;
    const auto end = std::chrono::steady_clock::now() + deadline;
    uint8_t buffer[512];
    while (bytes.size() < count) {
        const auto left = std::chrono::duration_cast<Ms>(end - std::chrono::steady_clock::now()).count();
        pollfd pfd{m_fd, POLLIN, 0};
        if (left <= 0)
            break;
        if (poll(&pfd, 1, static_cast<int>(left)) <= 0)
            continue;
        const ssize_t got = read(m_fd, buffer, std::min(sizeof buffer, count - bytes.size()));
        if (got > 0)
            bytes.insert(bytes.end(), buffer, buffer + got);
        else if ((m_gone = got == 0 || (errno != EAGAIN && errno != EINTR)))
            break;
    }
    return bytes;
}

Bytes Client::Fence(const Bytes& frames)
{
    const Bytes answer = FenceAnswer();
    Send(Concat(frames, FenceProbe()));
    Bytes bytes;
    const std::size_t least = frames.size() + FenceProbe().size() + answer.size();
    const auto end = std::chrono::steady_clock::now() + Ms(5000);
    while (std::chrono::steady_clock::now() < end
           && (bytes.size() < least || !std::equal(answer.rbegin(), answer.rend(), bytes.rbegin())))
        bytes = Concat(bytes, Receive(1, Ms(50)));
    return bytes;
}

} // namespace simtest
