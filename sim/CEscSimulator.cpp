#include "CEscSimulator.h"

#include "CSimDevice.h"
#include "CSimFaults.h"
#include "CSimFrameLog.h"
#include "CSimFrameParser.h"
#include "CSimProfile.h"
#include "CSimPty.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <iterator>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <time.h>
#include <sys/prctl.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Bytes of the echo or of an answer are handed to the pty in slices of this
// much line time, so pacing stays exact without a wake-up per byte.
constexpr auto kSlice = std::chrono::microseconds(1000);

// With line timing the last stretch before a deadline is spun: a sleeping
// thread wakes tens of microseconds late, and every late byte would count
// against the program on the other side of the line.
constexpr auto kSpin = std::chrono::microseconds(100);

// With nothing due, the thread still looks at the parser and the stop flag this often.
constexpr auto kIdleWake = std::chrono::milliseconds(20);

// The record of received frames keeps the newest ones only, so that a long
// telemetry session does not grow without bound.
constexpr std::size_t kMaxFrames = 100000;

Clock::duration ByteTime(bool lineTiming, int baud)
{
    if (!lineTiming || baud <= 0)
        return Clock::duration::zero();
    // 10 bit times per byte: start bit, 8 data bits, stop bit.
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(10LL * 1000000000LL / baud));
}

const char* KindName(CEscSimulator::AnswerKind kind)
{
    switch (kind) {
    case CEscSimulator::AnswerKind::LoggerPage:
        return "page";
    case CEscSimulator::AnswerKind::FirmwareAck:
        return "ack";
    case CEscSimulator::AnswerKind::Telemetry:
        return "record";
    default:
        return "short";
    }
}

} // namespace

struct CEscSimulator::Impl {
    explicit Impl(Options o) : options(std::move(o)) {}

    Options options;
    mutable std::mutex mutex;  // guards everything below that the API reads or changes
    std::unique_ptr<CSimDevice> device;
    std::deque<Frame> frames;  // the newest kMaxFrames
    std::string error;
    bool unplugged = false;
    uint64_t powerCuts = 0;    // an answer prepared before a power cut is never sent
    bool replugPending = false;
    Clock::time_point replugAt{};  // a timed unplug ends here
    int extraDelayMs = 0;
    int corruptCount = 0;
    std::vector<uint8_t> noise;
    bool dropByte = false;
    CSimFaults faults;
    CSimFrameLog log;
    uint64_t bytesOnWire = 0;
    uint64_t delaysUs = 0;

    // Owned by the device thread while it runs. Three queues, each in time
    // order: echo bytes (due when the last of them has crossed the line),
    // frames (due when their last byte has reached the ESC) and answers.
    struct EchoChunk {
        Clock::time_point first;  // its first byte has crossed
        Clock::time_point at;     // its last byte has crossed: it is due
        std::vector<uint8_t> bytes;
        bool closed = false;      // a frame ended with its last byte
    };
    struct Arrival {
        std::vector<uint8_t> bytes;
        Clock::time_point at;
        int hostBaud = 0;
    };
    struct Outgoing {
        Clock::time_point start;     // the first byte starts on the line
        std::vector<uint8_t> bytes;
        int baud = 0;                // the ESC's speed when it sends
        int switchToBaud = 0;        // after the last byte
        uint64_t powerCuts = 0;      // the power cut count when it was prepared
        bool lost = false;           // sent, but lost on the line
        bool counted = false;
        bool garbled = false;        // TORV's side ran at another speed while it went out
        uint64_t logId = 0;
        std::size_t sent = 0;
    };
    enum class Due { None, Replug, Arrival, Echo, Answer };

    CSimPty pty;
    CSimFrameParser parser;
    std::deque<EchoChunk> echoes;
    std::deque<Arrival> arrivals;
    std::deque<Outgoing> answers;
    Clock::time_point inFree{};   // the last byte from TORV has crossed the line
    Clock::time_point escFree{};  // the ESC has sent its last prepared answer
    int hostBaud = 0;

    std::thread thread;
    std::atomic<bool> running{false};
    std::atomic<bool> stopping{false};
    int wakeRead = -1;
    int wakeWrite = -1;

    void Run();
    bool WaitForInput(Clock::time_point until);
    void Receive(const uint8_t* bytes, std::size_t count);
    void TakeFrames(Clock::time_point at);
    void RunDue();
    Due NextDue(Clock::time_point& when) const;
    Clock::duration Turnaround(AnswerKind kind) const;
    void Handle(const Arrival& arrival);
    void Spoil(std::vector<uint8_t>& bytes, const CSimFaults::Effects& effects);
    void Cut();
    void Replug();
    std::size_t SliceOf(const Outgoing& answer) const;
    void SendSlice();
    void Reset(Clock::time_point now);
};

void CEscSimulator::Impl::Reset(Clock::time_point now)
{
    parser.Clear();
    echoes.clear();
    arrivals.clear();
    answers.clear();
    inFree = now;
    escFree = now;
}

void CEscSimulator::Impl::Run()
{
    // The line timing waits for byte deadlines; the kernel's default 50 us
    // timer slack would make every one of them late. A real UART is not.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    std::vector<uint8_t> buffer(4096);
    while (!stopping) {
        RunDue();
        Clock::time_point when;
        const Clock::time_point idle = Clock::now() + kIdleWake;
        if (NextDue(when) == Due::None || when > idle)
            when = idle;
        if (WaitForInput(when)) {
            const long count = pty.Read(buffer.data(), buffer.size());
            if (count > 0)
                Receive(buffer.data(), static_cast<std::size_t>(count));
        }
        const Clock::time_point now = Clock::now();
        parser.Idle(now);
        TakeFrames(std::max(now, inFree));
    }
}

bool CEscSimulator::Impl::WaitForInput(Clock::time_point until)
{
    const Clock::duration spin = options.lineTiming ? Clock::duration(kSpin) : Clock::duration::zero();
    const Clock::duration wait = std::max(Clock::duration::zero(), until - spin - Clock::now());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
    timespec timeout{static_cast<time_t>(ns / 1000000000LL), static_cast<long>(ns % 1000000000LL)};
    pollfd fds[2] = {{pty.MasterFd(), POLLIN, 0}, {wakeRead, POLLIN, 0}};
    const int ready = ppoll(fds, 2, &timeout, nullptr);
    if (stopping)
        return false;
    if (ready > 0 && (fds[0].revents & POLLIN) != 0)
        return true;
    if (ready > 0 && (fds[0].revents & (POLLHUP | POLLERR)) != 0) {
        // No reader on the other side for a moment: do not spin on it.
        timespec pause{0, 2000000L};
        nanosleep(&pause, nullptr);
        return false;
    }
    while (Clock::now() < until && !stopping)
        std::this_thread::yield();
    return false;
}

void CEscSimulator::Impl::Receive(const uint8_t* bytes, std::size_t count)
{
    // Bytes travel at the speed TORV set on its side; the cable returns each
    // one as it crosses.
    hostBaud = pty.HostBaud();
    const Clock::duration byteTime = ByteTime(options.lineTiming, hostBaud);
    inFree = std::max(inFree, Clock::now());
    {
        std::lock_guard<std::mutex> lock(mutex);
        bytesOnWire += count;
    }
    for (std::size_t i = 0; i < count; ++i) {
        inFree += byteTime;
        if (echoes.empty() || echoes.back().closed || inFree - echoes.back().first >= kSlice)
            echoes.push_back(EchoChunk{inFree, inFree, {}, false});
        EchoChunk& chunk = echoes.back();
        chunk.at = inFree;
        chunk.bytes.push_back(bytes[i]);
        parser.Add(bytes[i], inFree);
        const std::size_t before = arrivals.size();
        TakeFrames(inFree);
        // A frame's last byte closes its slice, so the ESC has the frame
        // before that byte's echo is back.
        chunk.closed = arrivals.size() != before;
    }
}

void CEscSimulator::Impl::TakeFrames(Clock::time_point at)
{
    std::vector<uint8_t> frame;
    while (parser.Next(frame))
        arrivals.push_back(Arrival{frame, at, hostBaud});
}

CEscSimulator::Impl::Due CEscSimulator::Impl::NextDue(Clock::time_point& when) const
{
    // At equal times the ESC takes a frame in before the cable returns its
    // last byte, and the echo goes before an answer.
    Due due = Due::None;
    auto consider = [&](Due what, Clock::time_point at) {
        if (due == Due::None || at < when) {
            due = what;
            when = at;
        }
    };
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (replugPending)
            consider(Due::Replug, replugAt);
    }
    if (!arrivals.empty())
        consider(Due::Arrival, arrivals.front().at);
    if (!echoes.empty())
        consider(Due::Echo, echoes.front().at);
    if (!answers.empty()) {
        const Outgoing& answer = answers.front();
        const Clock::duration byteTime = ByteTime(options.lineTiming, answer.baud);
        consider(Due::Answer, answer.start + byteTime * static_cast<long>(answer.sent + SliceOf(answer)));
    }
    return due;
}

void CEscSimulator::Impl::RunDue()
{
    Clock::time_point when;
    for (Due due = NextDue(when); due != Due::None && when <= Clock::now() && !stopping; due = NextDue(when)) {
        switch (due) {
        case Due::Replug:
            Replug();
            break;
        case Due::Arrival:
            Handle(arrivals.front());
            arrivals.pop_front();
            break;
        case Due::Echo:
            pty.Write(echoes.front().bytes.data(), echoes.front().bytes.size());
            echoes.pop_front();
            break;
        case Due::Answer:
            SendSlice();
            break;
        case Due::None:
            break;
        }
    }
}

Clock::duration CEscSimulator::Impl::Turnaround(AnswerKind kind) const
{
    switch (kind) {
    case AnswerKind::LoggerPage:
        return std::chrono::microseconds(options.pageTurnaroundUs);
    case AnswerKind::FirmwareAck:
        return std::chrono::microseconds(options.ackTurnaroundUs);
    default:
        return std::chrono::microseconds(options.processingDelayUs);
    }
}

void CEscSimulator::Impl::Handle(const Arrival& arrival)
{
    std::lock_guard<std::mutex> lock(mutex);
    const AnswerKind kind = KindOf(arrival.bytes);
    // At the wrong speed the ESC sees only framing errors, and an unplugged
    // ESC sees nothing: either way no answer comes, and no fault counts it.
    const bool understood = !unplugged && arrival.hostBaud == device->Baud();
    frames.push_back(Frame{arrival.bytes, arrival.at, arrival.hostBaud, understood, kind});
    if (frames.size() > kMaxFrames)
        frames.pop_front();
    const uint64_t logId = log.Add(arrival.bytes, arrival.at, arrival.hostBaud, KindName(kind));
    if (!understood) {
        log.Unanswered(logId, unplugged ? std::string("unplugged")
                                        : "speeds differ: TORV " + std::to_string(arrival.hostBaud) + ", ESC " +
                                              std::to_string(device->Baud()));
        return;
    }
    const CSimFaults::Effects effects = faults.OnFrame(kind, arrival.at);
    if (effects.unplug) {
        frames.back().understood = false;
        log.Unanswered(logId, "unplugged by a fault");
        Cut();
        replugPending = effects.unplugMs > 0;
        replugAt = arrival.at + std::chrono::milliseconds(effects.unplugMs);
        return;
    }
    escFree = std::max(escFree, arrival.at);
    const Clock::duration late = std::chrono::milliseconds(extraDelayMs + effects.lateMs);
    CSimDevice::Answer answer;
    if (!device->Handle(arrival.bytes, arrival.at, answer) || answer.bytes.empty()) {
        log.Unanswered(logId, "no answer");
        if (effects.lateMs > 0)
            escFree += std::chrono::milliseconds(effects.lateMs);  // busy with it all the same
        return;
    }
    Clock::duration delay = Turnaround(kind) + late;
    if (options.lineTiming)
        delay += std::chrono::microseconds(answer.busyUs);
    delay = std::max(delay, Clock::duration::zero());
    delaysUs += static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(delay).count());
    Outgoing outgoing;
    outgoing.start = escFree + delay;
    outgoing.bytes = std::move(answer.bytes);
    outgoing.baud = device->Baud();
    outgoing.switchToBaud = answer.switchToBaud;
    outgoing.powerCuts = powerCuts;
    outgoing.lost = effects.silenced;
    outgoing.logId = logId;
    Spoil(outgoing.bytes, effects);
    escFree = outgoing.start + ByteTime(options.lineTiming, outgoing.baud) * static_cast<long>(outgoing.bytes.size());
    answers.push_back(std::move(outgoing));
}

void CEscSimulator::Impl::Spoil(std::vector<uint8_t>& bytes, const CSimFaults::Effects& effects)
{
    if (corruptCount > 0 || effects.corrupt) {
        bytes.back() ^= 0x5A;  // the sum, or the CRC's high byte
        if (!effects.corrupt)
            --corruptCount;
    }
    if (dropByte || effects.dropByte) {
        bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2));
        if (!effects.dropByte)
            dropByte = false;
    }
    if (!noise.empty()) {
        bytes.insert(bytes.begin(), noise.begin(), noise.end());
        noise.clear();
    }
}

void CEscSimulator::Impl::Cut()
{
    // Called with the mutex held.
    unplugged = true;
    replugPending = false;
    ++powerCuts;
}

void CEscSimulator::Impl::Replug()
{
    std::lock_guard<std::mutex> lock(mutex);
    replugPending = false;
    if (!unplugged)
        return;
    unplugged = false;
    device->PowerUp();
}

std::size_t CEscSimulator::Impl::SliceOf(const Outgoing& answer) const
{
    const std::size_t left = answer.bytes.size() - answer.sent;
    const Clock::duration byteTime = ByteTime(options.lineTiming, answer.baud);
    if (byteTime <= Clock::duration::zero())
        return left;
    const auto perSlice = static_cast<std::size_t>(std::max<long>(1, Clock::duration(kSlice) / byteTime));
    return std::min(left, perSlice);
}

void CEscSimulator::Impl::SendSlice()
{
    Outgoing& answer = answers.front();
    const std::size_t count = SliceOf(answer);
    bool send = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (answer.powerCuts != powerCuts) {
            log.Unanswered(answer.logId, "the ESC lost power before answering");
            answers.pop_front();
            return;
        }
        send = !answer.lost;
        if (send && !answer.counted) {
            // Counted before the bytes go out, so a reader that has them sees the count.
            bytesOnWire += answer.bytes.size();
            answer.counted = true;
        }
    }
    // TORV may have changed its speed while the ESC was thinking: it would
    // read only garbage, so nothing is delivered.
    if (send && pty.HostBaud() == answer.baud)
        pty.Write(answer.bytes.data() + answer.sent, count);
    else if (send)
        answer.garbled = true;
    answer.sent += count;
    if (answer.sent < answer.bytes.size())
        return;
    std::lock_guard<std::mutex> lock(mutex);
    if (answer.switchToBaud != 0 && answer.powerCuts == powerCuts)
        device->SetBaud(answer.switchToBaud);
    if (answer.lost)
        log.Unanswered(answer.logId, "lost on the line (silence)");
    else if (answer.garbled)
        log.Unanswered(answer.logId, "TORV's side was at another speed than the answer " + std::to_string(answer.baud));
    else
        log.Answered(answer.logId, answer.bytes, answer.start);
    answers.pop_front();
}

CEscSimulator::CEscSimulator()
    : CEscSimulator(Options())
{
}

CEscSimulator::CEscSimulator(Options options)
    : m_impl(std::make_unique<Impl>(std::move(options)))
{
    CSimProfile profile;
    if (!CSimProfile::Find(m_impl->options.profile, profile)) {
        m_impl->error = "unknown profile \"" + m_impl->options.profile + "\"";
        return;
    }
    CSimDevice::Settings settings;
    settings.corruptedFirmware = m_impl->options.corruptedFirmware;
    settings.corruptedVersion255 = m_impl->options.corruptedVersion255;
    settings.bootloaderOnly = m_impl->options.bootloaderOnly;
    settings.firmwareUploadSupported = m_impl->options.firmwareUploadSupported;
    settings.loggerPages = std::max(0, m_impl->options.loggerPages);
    settings.firmwarePages = std::max(0, m_impl->options.firmwarePages);
    m_impl->device = std::make_unique<CSimDevice>(profile, settings);
}

CEscSimulator::~CEscSimulator()
{
    Stop();
}

bool CEscSimulator::Start()
{
    if (m_impl->running)
        return true;
    if (!m_impl->device)
        return false;
    std::string error;
    if (!m_impl->options.logPath.empty() && !m_impl->log.IsOpen() && !m_impl->log.Open(m_impl->options.logPath, error)) {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        m_impl->error = error;
        return false;
    }
    if (!m_impl->pty.Open(m_impl->options.symlinkPath, error)) {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        m_impl->error = error;
        return false;
    }
    int pipeFds[2] = {-1, -1};
    if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        m_impl->pty.Close();
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        m_impl->error = "cannot create the wake-up pipe";
        return false;
    }
    m_impl->wakeRead = pipeFds[0];
    m_impl->wakeWrite = pipeFds[1];
    {
        // A newly plugged link finds the ESC freshly powered, at 19200 baud.
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        m_impl->device->SetBaud(CSimDevice::kStartBaud);
        m_impl->error.clear();
    }
    m_impl->Reset(Clock::now());
    m_impl->stopping = false;
    m_impl->running = true;
    m_impl->thread = std::thread([impl = m_impl.get()] { impl->Run(); });
    return true;
}

void CEscSimulator::Stop()
{
    if (!m_impl->running)
        return;
    m_impl->stopping = true;
    const uint8_t wake = 1;
    if (write(m_impl->wakeWrite, &wake, 1) < 0) {
        // The poll time-out ends the loop as well.
    }
    if (m_impl->thread.joinable())
        m_impl->thread.join();
    m_impl->log.Settle("the simulator stopped before answering");
    m_impl->pty.Close();
    close(m_impl->wakeRead);
    close(m_impl->wakeWrite);
    m_impl->wakeRead = m_impl->wakeWrite = -1;
    m_impl->running = false;
}

void CEscSimulator::ClosePty()
{
    Stop();
}

bool CEscSimulator::IsRunning() const
{
    return m_impl->running;
}

std::string CEscSimulator::LastError() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->error;
}

std::string CEscSimulator::ProfileName() const
{
    return m_impl->options.profile;
}

std::vector<std::string> CEscSimulator::ProfileNames()
{
    return CSimProfile::Names();
}

std::string CEscSimulator::DevicePath() const
{
    if (!m_impl->running)
        return {};
    return m_impl->pty.LinkPath().empty() ? m_impl->pty.SlavePath() : m_impl->pty.LinkPath();
}

std::string CEscSimulator::SlavePath() const
{
    return m_impl->running ? m_impl->pty.SlavePath() : std::string();
}

int CEscSimulator::DeviceBaud() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->device ? m_impl->device->Baud() : 0;
}

int CEscSimulator::HostBaud() const
{
    return m_impl->running ? m_impl->pty.HostBaud() : 0;
}

std::vector<CEscSimulator::Frame> CEscSimulator::Frames() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return std::vector<Frame>(m_impl->frames.begin(), m_impl->frames.end());
}

void CEscSimulator::ClearFrames()
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->frames.clear();
}

uint8_t CEscSimulator::Cell(int index) const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    if (!m_impl->device || index < 0 || index > 255)
        return 0;
    return m_impl->device->Cell(index);
}

void CEscSimulator::SetCell(int index, uint8_t value)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    if (m_impl->device && index >= 0 && index <= 255)
        m_impl->device->SetCell(index, value);
}

std::array<uint8_t, 256> CEscSimulator::Cells() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->device ? m_impl->device->Cells() : std::array<uint8_t, 256>{};
}

std::vector<uint8_t> CEscSimulator::LoggerMemory() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->device ? m_impl->device->LoggerMemory() : std::vector<uint8_t>{};
}

void CEscSimulator::SetLoggerMemory(std::vector<uint8_t> memory)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    if (m_impl->device)
        m_impl->device->SetLoggerMemory(std::move(memory));
}

std::vector<uint8_t> CEscSimulator::UploadedFirmware() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->device ? m_impl->device->UploadedFirmware() : std::vector<uint8_t>{};
}

bool CEscSimulator::InBootloader() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->device && m_impl->device->InBootloader();
}

void CEscSimulator::SetTempA(uint16_t raw)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    if (m_impl->device)
        m_impl->device->SetTempA(raw);
}

void CEscSimulator::SetTelemetryBytes(std::size_t offset, std::vector<uint8_t> bytes)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    if (m_impl->device)
        m_impl->device->SetTelemetryBytes(offset, std::move(bytes));
}

void CEscSimulator::SetUnplugged(bool unplugged)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    if (!m_impl->device)
        return;
    if (unplugged) {
        m_impl->Cut();
    } else if (m_impl->unplugged) {
        // Plugged in again, the ESC powers up afresh at 19200 baud; its cells stay.
        m_impl->unplugged = false;
        m_impl->replugPending = false;
        m_impl->device->PowerUp();
    }
}

bool CEscSimulator::Unplugged() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->unplugged;
}

void CEscSimulator::AddFault(const Fault& fault)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->faults.Add(fault);
}

CEscSimulator::AnswerKind CEscSimulator::KindOf(const std::vector<uint8_t>& frame)
{
    if (frame.size() < 2 || frame[0] != 'M')
        return AnswerKind::Short;
    if (frame[1] == 'f')
        return AnswerKind::FirmwareAck;
    if (frame.size() == CSimFrameParser::kCommandSize && frame[1] == 'l')
        return AnswerKind::LoggerPage;
    if (frame.size() == CSimFrameParser::kCommandSize && frame[1] == 'T' && frame[2] == '-')
        return AnswerKind::Telemetry;
    return AnswerKind::Short;
}

namespace {

bool ParseCount(const std::string& text, int& value)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoi(text);
    return true;
}

std::vector<std::string> SplitColons(const std::string& text)
{
    std::vector<std::string> parts(1);
    for (const char c : text) {
        if (c == ':')
            parts.emplace_back();
        else
            parts.back().push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    return parts;
}

} // namespace

bool CEscSimulator::ParseFault(const std::string& text, Fault& fault, std::string& error)
{
    using Action = Fault::Action;
    static const std::pair<const char*, Action> actions[] = {
        {"late", Action::Late}, {"silence", Action::Silence}, {"unplug", Action::Unplug},
        {"corrupt", Action::Corrupt}, {"dropbyte", Action::DropByte}};
    static const std::pair<const char*, AnswerKind> kinds[] = {
        {"any", AnswerKind::Any}, {"short", AnswerKind::Short}, {"page", AnswerKind::LoggerPage},
        {"ack", AnswerKind::FirmwareAck}, {"record", AnswerKind::Telemetry}};
    const std::vector<std::string> parts = SplitColons(text);
    if (parts.size() < 3 || parts.size() > 4) {
        error = "fault \"" + text + "\" is not action:kind:nth[:ms] (e.g. late:page:5:1500)";
        return false;
    }
    Fault parsed;
    const auto action = std::find_if(std::begin(actions), std::end(actions), [&](const auto& a) { return parts[0] == a.first; });
    if (action == std::end(actions)) {
        error = "unknown fault action \"" + parts[0] + "\" (late, silence, unplug, corrupt or dropbyte)";
        return false;
    }
    parsed.action = action->second;
    const auto kind = std::find_if(std::begin(kinds), std::end(kinds), [&](const auto& k) { return parts[1] == k.first; });
    if (kind == std::end(kinds)) {
        error = "unknown answer kind \"" + parts[1] + "\" (any, short, page, ack or record)";
        return false;
    }
    parsed.kind = kind->second;
    if (!ParseCount(parts[2], parsed.nth) || parsed.nth < 1) {
        error = "the frame number \"" + parts[2] + "\" must be a whole number from 1";
        return false;
    }
    const bool takesMs = parsed.action == Action::Late || parsed.action == Action::Silence || parsed.action == Action::Unplug;
    const bool needsMs = parsed.action == Action::Late || parsed.action == Action::Silence;
    if (parts.size() == 4 && !takesMs) {
        error = parts[0] + " takes no time: " + parts[0] + ":kind:nth";
        return false;
    }
    if (parts.size() == 3 && needsMs) {
        error = parts[0] + " needs a time in milliseconds: " + parts[0] + ":kind:nth:ms";
        return false;
    }
    if (parts.size() == 4 && (!ParseCount(parts[3], parsed.ms) || (needsMs && parsed.ms < 1))) {
        error = "the time \"" + parts[3] + "\" must be a whole number of milliseconds" +
                (needsMs ? std::string(" from 1") : std::string());
        return false;
    }
    fault = parsed;
    return true;
}

void CEscSimulator::SetWriteProtected(int cell, bool on)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    if (m_impl->device)
        m_impl->device->SetWriteProtected(cell, on);
}

void CEscSimulator::SetExtraAnswerDelayMs(int ms)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->extraDelayMs = std::max(0, ms);
}

void CEscSimulator::CorruptNextAnswers(int count)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->corruptCount = std::max(0, count);
}

void CEscSimulator::InjectNoiseBeforeNextAnswer(std::vector<uint8_t> noise)
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->noise = std::move(noise);
}

void CEscSimulator::DropByteInNextAnswer()
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->dropByte = true;
}

uint64_t CEscSimulator::BytesOnWire() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->bytesOnWire;
}

uint64_t CEscSimulator::ProcessingDelaysUs() const
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->delaysUs;
}

void CEscSimulator::ResetCounters()
{
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->bytesOnWire = 0;
    m_impl->delaysUs = 0;
}
