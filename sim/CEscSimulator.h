#pragma once

// A simulated ESC behind an echoing serial link, played on a pseudo-terminal.
// Tests start it in-process; the torv-esc-sim program wraps it for manual use.
// It is written from the wire protocol alone and shares no code with TORV.
//
// The device thread echoes every byte TORV writes, cuts the stream into frames
// (resynchronising on broken bytes) and answers each one after the processing
// delay, unless the speeds differ (TORV's side, read from the master, against
// the ESC's own speed), the ESC is unplugged, or the frame is unknown. The
// device state changes when a frame has arrived, before its echo is back.
//
// Device behaviour worth knowing in tests:
//  - 'S','P',code answers 'O' at the old speed and then switches; a code that
//    is not one bit of cell 94 (19200 always allowed) is answered 'N'.
//  - The logger status: cell 128 counts the logs, cells 129/130 (low, high)
//    the pages up to the first erased one; kept up to date by page writes and
//    erases. 'E',n erases from page n to the end; pages beyond the memory
//    read erased. A page write is acknowledged by its echo alone.
//  - 'u','p','d' enters the boot loader (answer 'O'); blocks are acknowledged
//    'M','O',0x9C. The first ordinary frame after at least one block starts the
//    uploaded firmware: the device then reports the release version of its
//    model (the deprecated and the full model become firmware 2.4).
//  - Cells 56-58 follow the simulated motor (input voltage, temperature);
//    identity, calibration and live cells (56-79, 94) ignore writes.

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CEscSimulator {
public:
    struct Options {
        // "full" (caps SRM, categories, logger, two curves, melodies, panel tags),
        // "plain" (flat list, no logger, no caps), "deprecated" (its library entry is deprecated)
        std::string profile = "full";
        bool lineTiming = false;         // bytes travel at 10 bit times per byte, both directions
        int processingDelayUs = 300;     // the ESC's think time before answering
        bool corruptedFirmware = false;  // version cells 65/66 read 0.0
        bool corruptedVersion255 = false; // version cells 65/66 read 255.255
        bool bootloaderOnly = false;     // only the boot loader answers
        bool firmwareUploadSupported = true; // false: the boot loader query is refused ('N')
        std::string symlinkPath;         // optional stable path linking to the device side
    };

    // One frame TORV sent, as it arrived at the ESC's end of the cable.
    struct Frame {
        std::vector<uint8_t> bytes;
        std::chrono::steady_clock::time_point at;  // when its last byte arrived
        int hostBaud = 0;         // the speed TORV's side ran at
        bool understood = false;  // false: the speeds differed or the ESC was unplugged
    };

    CEscSimulator();
    explicit CEscSimulator(Options options);
    ~CEscSimulator();

    CEscSimulator(const CEscSimulator&) = delete;
    CEscSimulator& operator=(const CEscSimulator&) = delete;

    bool Start();   // opens a new pseudo-terminal pair (the ESC keeps its cells, speed 19200)
    void Stop();    // stops the thread, closes the pair, removes the link
    bool IsRunning() const;
    std::string LastError() const;
    std::string ProfileName() const;
    static std::vector<std::string> ProfileNames();

    std::string DevicePath() const;  // the symlink if one was asked for, else the slave path
    std::string SlavePath() const;   // /dev/pts/N
    int DeviceBaud() const;          // the ESC's own current line speed (starts 19200)
    int HostBaud() const;            // the speed the other side set on the pseudo-terminal

    // Inspection (thread-safe copies)
    std::vector<Frame> Frames() const;  // the newest 100000 frames, oldest first
    void ClearFrames();
    uint8_t Cell(int index) const;
    void SetCell(int index, uint8_t value);
    std::array<uint8_t, 256> Cells() const;
    std::vector<uint8_t> LoggerMemory() const;
    void SetLoggerMemory(std::vector<uint8_t> memory);
    std::vector<uint8_t> UploadedFirmware() const;
    bool InBootloader() const;
    void SetTempA(uint16_t raw);
    // Telemetry records carry these bytes from offset on instead of the
    // computed ones (the tick counter at 6, say); an empty list ends it.
    void SetTelemetryBytes(std::size_t offset, std::vector<uint8_t> bytes);

    // Fault injection
    void SetUnplugged(bool unplugged);  // the ESC is gone; the cable still echoes. Plugged in
                                        // again, it starts afresh at 19200 baud
    void SetExtraAnswerDelayMs(int ms); // answer late
    void SetWriteProtected(int cell, bool on); // writes to the cell are answered but change nothing
    void CorruptNextAnswers(int count); // wrong sum/CRC in the next answers
    void InjectNoiseBeforeNextAnswer(std::vector<uint8_t> noise);
    void DropByteInNextAnswer();
    void ClosePty();                    // the USB link disappears (Start plugs a new one in)

    // Line-time accounting for benchmarks
    uint64_t BytesOnWire() const;
    uint64_t ProcessingDelaysUs() const;
    void ResetCounters();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
