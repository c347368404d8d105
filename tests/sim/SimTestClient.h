#pragma once

// An independent client of the ESC wire protocol, written for the simulator
// tests from the frame tables alone: its own frame building, its own CRC, its
// own serial port handling. It shares no code with TORV or the simulator.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace simtest {

using Bytes = std::vector<uint8_t>;

uint16_t Crc16(const uint8_t* data, std::size_t size);
inline uint16_t Crc16(const Bytes& bytes) { return Crc16(bytes.data(), bytes.size()); }

// 'M', letter, a1, a2, sum.
Bytes Command(uint8_t letter, uint8_t a1, uint8_t a2);
// 'M', value, sum.
Bytes ShortAnswer(uint8_t value);
// 'M', data, CRC-16 low byte first.
Bytes BlockAnswer(const Bytes& data);
// 'M', 'u', page lo, page hi, 264 bytes, sum.
Bytes PageWrite(uint16_t page, const Bytes& data);
// 'M', 'f', 144 bytes, CRC-16 high byte first.
Bytes BlockSend(const Bytes& data);
Bytes Concat(const Bytes& a, const Bytes& b);
std::string Hex(const Bytes& bytes);

// Sets a speed that has no B-constant through the termios2 interface.
bool SetCustomBaud(int fd, int baud);

class Client {
public:
    Client() = default;
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool Open(const std::string& path, int baud = 19200);
    void Close();
    bool SetBaud(int baud);
    int Fd() const { return m_fd; }

    bool Send(const Bytes& bytes);
    // Reads until count bytes have arrived or the deadline passes.
    Bytes Receive(std::size_t count, std::chrono::milliseconds deadline = std::chrono::milliseconds(5000));
    // Sends and collects the echo plus an answer of answerSize bytes.
    Bytes Exchange(const Bytes& frame, std::size_t answerSize,
                   std::chrono::milliseconds deadline = std::chrono::milliseconds(5000));
    // Sends a probe as a fence: every answer to earlier frames arrives before
    // the probe's echo. Returns everything received up to the probe's answer.
    Bytes ReceiveUpToFence(std::chrono::milliseconds deadline = std::chrono::milliseconds(5000));
    // The read end reports a hang-up or an error (the link disappeared).
    bool LinkGone(std::chrono::milliseconds deadline = std::chrono::milliseconds(5000));

private:
    int m_fd = -1;
};

} // namespace simtest
