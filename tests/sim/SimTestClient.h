#pragma once

// An independent client of the ESC wire protocol, written from the frame
// tables alone: its own frames, CRC and serial port handling. It shares no
// code with TORV or the simulator.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace simtest {

using Bytes = std::vector<uint8_t>;
using Ms = std::chrono::milliseconds;

Bytes Command(uint8_t letter, uint8_t a1, uint8_t a2);  // 'M', letter, a1, a2, sum
Bytes ShortAnswer(uint8_t value);                      // 'M', value, sum
Bytes BlockAnswer(const Bytes& data);                  // 'M', data, CRC low byte first
Bytes PageWrite(uint16_t page, const Bytes& data);     // 'M', 'u', page lo, hi, 264 bytes, sum
Bytes BlockSend(const Bytes& data);                    // 'M', 'f', 144 bytes, CRC high byte first
Bytes Concat(Bytes a, const Bytes& b);

// Sets a speed that has no B-constant through termios2.
bool SetCustomBaud(int fd, int baud);

class Client {
public:
    Client() = default;
    ~Client() { Close(); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool Open(const std::string& path, int baud = 19200);
    void Close();
    bool SetBaud(int baud);
    bool Send(const Bytes& bytes);
    // Reads until count bytes have arrived or the deadline passes.
    Bytes Receive(std::size_t count, Ms deadline = Ms(5000));
    // Sends and collects the echo plus an answer of answerSize bytes.
    Bytes Exchange(const Bytes& frame, std::size_t answerSize) { return Send(frame) ? Receive(frame.size() + answerSize) : Bytes{}; }
    // Sends the frames and a probe as a fence, a read of cell 255 (erased on
    // every device, so no fenced frame is answered alike); returns everything
    // received up to the probe's answer. The ESC answers in order, so the
    // answers to the frames have come by then.
    Bytes Fence(const Bytes& frames = {});
    static Bytes FenceProbe() { return Command('r', 'e', 0xFF); }
    static Bytes FenceAnswer() { return ShortAnswer(0xFF); }
    // A read found the link hung up or gone.
    bool LinkGone() const { return m_gone; }

private:
    int m_fd = -1;
    bool m_gone = false;
};

} // namespace simtest
