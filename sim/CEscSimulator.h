#pragma once

// A simulated ESC behind an echoing serial link, played on a pseudo-terminal.
// Tests start it in-process; the torv-esc-sim program wraps it for manual use.
// It is written from the wire protocol alone and shares no code with TORV.
//
// The echo is the cable's: every byte TORV writes comes back at once (at the
// line speed when line timing is on), whatever the ESC is doing, also while
// it prepares or sends an answer; echo and answer bytes reach TORV in the
// order of their times on the line (a real one-wire cable would garble bytes
// that overlap; that is not modelled). The device thread cuts the stream into
// frames (resynchronising on broken bytes) and the ESC works through them in
// order: each answer starts at max(arrival of its frame, end of the previous
// answer) + the turnaround of its kind (pageTurnaroundUs for a logger page,
// ackTurnaroundUs for a firmware acknowledgement, processingDelayUs for the
// rest) + any delay a fault or SetExtraAnswerDelayMs adds. A frame gets no
// answer when the speeds differ (TORV's side, read from the master, against
// the ESC's own speed), the ESC is unplugged, or the frame is unknown. The
// device state changes when a frame has arrived, before its echo is back.
//
// Device behaviour worth knowing in tests:
//  - 'S','P',code answers 'O' at the old speed and switches when that answer
//    has gone out; a code that is not one bit of cell 94 (19200 always
//    allowed) is answered 'N'.
//  - The logger status: cell 128 counts the logs, cells 129/130 (low, high)
//    the pages up to the first erased one; kept up to date by page writes and
//    erases. 'E',n erases from page n to the end; pages beyond the memory
//    read erased. A page write is acknowledged by its echo alone. The memory
//    has Options::loggerPages pages (the profile's own size when 0); the
//    factory logs are cut where the memory ends.
//  - 'u','p','d' enters the boot loader (answer 'O'); blocks are acknowledged
//    'M','O',0x9C. The frames carry neither a page number nor the image size,
//    so the boot loader knows the size of a whole image from its own flash
//    layout: Options::firmwarePages. With it set, the image is whole when
//    that many blocks have arrived, and the new firmware starts at once; an
//    ordinary frame before that finds the ESC in its boot loader, which then
//    answers only its own frames ('set', 're', 'SP' at 19200) until a new
//    upload delivers a whole image. With 0 (the default) the boot loader
//    takes an image of any length, whole when an ordinary frame follows its
//    blocks. Either way a power cycle (unplug and replug) in the middle of an
//    upload leaves the ESC in its boot loader. The started firmware reports
//    the release version of its model (the deprecated and the full model
//    become firmware 2.4). The boot loader reports the device type and the
//    hardware (cells 64, 70); the other cells read erased (0xFF) there.
//  - Cells 56-58 follow the simulated motor (input voltage, temperature);
//    identity, calibration and live cells (56-79, 94) ignore writes.
//
// Faults (AddFault, and torv-esc-sim --fault) count frames of one kind from
// the moment they are added; only frames the ESC understood count:
//  - Late: the answer to the nth frame comes ms later; answers to frames that
//    arrive meanwhile follow it, in order (a frame without an answer, such as
//    a logger page write, keeps the ESC busy for ms instead).
//  - Silence: the answers to every frame that arrives within ms from the nth
//    frame on are lost on the line (the ESC still acts on the frames).
//  - Unplug: the ESC is gone as the nth frame arrives (that frame is lost),
//    for ms (0: until SetUnplugged(false)); then it powers up afresh.
//  - Corrupt: the sum or CRC of the answer to the nth frame is wrong.
//  - DropByte: one byte of the answer to the nth frame is missing.

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
        int loggerPages = 0;             // logger memory in pages; 0: the profile's own (2048)
        int pageTurnaroundUs = 300;      // time to prepare a logger page before answering
        int ackTurnaroundUs = 300;       // time to write a firmware block before acknowledging it
        int firmwarePages = 0;           // blocks of a whole firmware image; 0: any number (see above)
        std::string logPath;             // optional: one JSON line per frame is written here (see CSimFrameLog.h);
                                         // the file is replaced when the simulator first starts
    };

    // What a frame asks for, as the faults count frames.
    enum class AnswerKind {
        Any,          // every frame (faults only)
        Short,        // every frame not named below
        LoggerPage,   // 'M','l': a logger page read
        FirmwareAck,  // 'M','f': a boot loader block
        Telemetry     // 'M','T','-': a telemetry record
    };

    struct Fault {
        enum class Action { Late, Silence, Unplug, Corrupt, DropByte };
        Action action = Action::Late;
        AnswerKind kind = AnswerKind::Any;
        int nth = 1;   // counting from when the fault is added: the nth frame of that kind (1 = the next one)
        int ms = 0;    // Late: extra delay of that answer; Silence/Unplug: how long (Unplug 0 = until SetUnplugged(false))
    };

    // One frame TORV sent, as it arrived at the ESC's end of the cable.
    struct Frame {
        std::vector<uint8_t> bytes;
        std::chrono::steady_clock::time_point at;  // when its last byte arrived
        int hostBaud = 0;         // the speed TORV's side ran at
        bool understood = false;  // false: the speeds differed or the ESC was unplugged
        AnswerKind kind = AnswerKind::Short;
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
    bool Unplugged() const;             // by SetUnplugged or an Unplug fault
    void AddFault(const Fault& fault);
    // Reads the text form "action:kind:nth[:ms]": action late|silence|unplug|
    // corrupt|dropbyte, kind any|short|page|ack|record, nth from 1; ms is
    // needed by late and silence, optional for unplug (0 = until replugged),
    // and not taken by corrupt and dropbyte. E.g. "late:page:5:1500".
    static bool ParseFault(const std::string& text, Fault& fault, std::string& error);
    static AnswerKind KindOf(const std::vector<uint8_t>& frame);

    // Line-time accounting for benchmarks
    uint64_t BytesOnWire() const;
    uint64_t ProcessingDelaysUs() const;
    void ResetCounters();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
