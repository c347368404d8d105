#include "SimTestClient.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace simtest {

uint16_t Crc16(const uint8_t* data, std::size_t size)
{
    uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
    }
    return crc;
}

Bytes Command(uint8_t letter, uint8_t a1, uint8_t a2)
{
    return {'M', letter, a1, a2, static_cast<uint8_t>('M' + letter + a1 + a2)};
}

Bytes ShortAnswer(uint8_t value)
{
    return {'M', value, static_cast<uint8_t>('M' + value)};
}

Bytes BlockAnswer(const Bytes& data)
{
    Bytes bytes{'M'};
    bytes.insert(bytes.end(), data.begin(), data.end());
    const uint16_t crc = Crc16(bytes);
    bytes.push_back(static_cast<uint8_t>(crc & 0xFF));
    bytes.push_back(static_cast<uint8_t>(crc >> 8));
    return bytes;
}

Bytes PageWrite(uint16_t page, const Bytes& data)
{
    Bytes bytes{'M', 'u', static_cast<uint8_t>(page & 0xFF), static_cast<uint8_t>(page >> 8)};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (uint8_t b : bytes)
        sum += b;
    bytes.push_back(static_cast<uint8_t>(sum));
    return bytes;
}

Bytes BlockSend(const Bytes& data)
{
    Bytes bytes{'M', 'f'};
    bytes.insert(bytes.end(), data.begin(), data.end());
    const uint16_t crc = Crc16(bytes);
    bytes.push_back(static_cast<uint8_t>(crc >> 8));
    bytes.push_back(static_cast<uint8_t>(crc & 0xFF));
    return bytes;
}

Bytes Concat(const Bytes& a, const Bytes& b)
{
    Bytes out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

std::string Hex(const Bytes& bytes)
{
    std::string text;
    char buffer[4];
    for (uint8_t b : bytes) {
        std::snprintf(buffer, sizeof buffer, "%02X ", b);
        text += buffer;
    }
    return text;
}

namespace {

speed_t SpeedConstant(int baud)
{
    switch (baud) {
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    default: return B0;
    }
}

} // namespace

Client::~Client()
{
    Close();
}

bool Client::Open(const std::string& path, int baud)
{
    Close();
    m_fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0)
        return false;
    termios settings{};
    if (tcgetattr(m_fd, &settings) != 0)
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
    const speed_t speed = SpeedConstant(baud);
    if (speed == B0)
        return SetCustomBaud(m_fd, baud);
    termios settings{};
    if (tcgetattr(m_fd, &settings) != 0)
        return false;
    cfsetspeed(&settings, speed);
    return tcsetattr(m_fd, TCSANOW, &settings) == 0;
}

bool Client::Send(const Bytes& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = write(m_fd, bytes.data() + done, bytes.size() - done);
        if (count > 0) {
            done += static_cast<std::size_t>(count);
        } else if (count < 0 && errno == EAGAIN) {
            pollfd pfd{m_fd, POLLOUT, 0};
            poll(&pfd, 1, 100);
        } else {
            return false;
        }
    }
    return true;
}

Bytes Client::Receive(std::size_t count, std::chrono::milliseconds deadline)
{
    Bytes bytes;
    const auto end = std::chrono::steady_clock::now() + deadline;
    uint8_t buffer[512];
    while (bytes.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd pfd{m_fd, POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
            continue;
        const std::size_t wanted = std::min(sizeof buffer, count - bytes.size());
        const ssize_t got = read(m_fd, buffer, wanted);
        if (got > 0)
            bytes.insert(bytes.end(), buffer, buffer + got);
        else if (got == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return bytes;
}

Bytes Client::Exchange(const Bytes& frame, std::size_t answerSize, std::chrono::milliseconds deadline)
{
    if (!Send(frame))
        return {};
    return Receive(frame.size() + answerSize, deadline);
}

Bytes Client::ReceiveUpToFence(std::chrono::milliseconds deadline)
{
    const Bytes probe = Command('s', 'e', 't');
    const Bytes tail = Concat(probe, ShortAnswer('O'));
    Send(probe);
    Bytes bytes;
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (std::chrono::steady_clock::now() < end) {
        const Bytes more = Receive(1, std::chrono::milliseconds(50));
        bytes.insert(bytes.end(), more.begin(), more.end());
        if (bytes.size() >= tail.size() && Bytes(bytes.end() - static_cast<std::ptrdiff_t>(tail.size()), bytes.end()) == tail)
            break;
    }
    return bytes;
}

bool Client::LinkGone(std::chrono::milliseconds deadline)
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (std::chrono::steady_clock::now() < end) {
        pollfd pfd{m_fd, POLLIN, 0};
        if (poll(&pfd, 1, 50) > 0) {
            if ((pfd.revents & (POLLHUP | POLLERR)) != 0)
                return true;
            uint8_t byte = 0;
            const ssize_t got = read(m_fd, &byte, 1);
            if (got == 0 || (got < 0 && errno == EIO))
                return true;
        }
    }
    return false;
}

} // namespace simtest
