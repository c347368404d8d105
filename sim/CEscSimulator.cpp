#include "CEscSimulator.h"

#include "CSimDevice.h"
#include "CSimFrameParser.h"
#include "CSimProfile.h"
#include "CSimPty.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/prctl.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Bytes of the echo or of an answer are handed to the pty in slices of this
// much line time, so pacing stays exact without a wake-up per byte.
constexpr auto kSlice = std::chrono::microseconds(1000);

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

} // namespace

struct CEscSimulator::Impl {
    explicit Impl(Options o) : options(std::move(o)) {}

    Options options;
    mutable std::mutex mutex;  // guards everything below that the API reads or changes
    std::unique_ptr<CSimDevice> device;
    std::deque<Frame> frames;  // the newest kMaxFrames
    std::string error;
    bool unplugged = false;
    int extraDelayMs = 0;
    int corruptCount = 0;
    std::vector<uint8_t> noise;
    bool dropByte = false;
    uint64_t bytesOnWire = 0;
    uint64_t delaysUs = 0;

    // Owned by the device thread while it runs.
    CSimPty pty;
    CSimFrameParser parser;
    Clock::time_point wireFree{};
    std::vector<uint8_t> echo;
    int hostBaud = 0;

    std::thread thread;
    std::atomic<bool> running{false};
    std::atomic<bool> stopping{false};
    std::mutex waitMutex;
    std::condition_variable waitCondition;
    int wakeRead = -1;
    int wakeWrite = -1;

    void Run();
    void Receive(const uint8_t* bytes, std::size_t count);
    void FlushEcho();
    struct Reply {
        CSimDevice::Answer answer;
        int deviceBaud = 0;
        Clock::duration delay{};
    };
    bool Accept(const std::vector<uint8_t>& frame, Clock::time_point arrival, Reply& reply);
    void Deliver(const Reply& reply, Clock::time_point arrival);
    void Transmit(const std::vector<uint8_t>& bytes, Clock::time_point start, int baud);
    bool WaitUntil(Clock::time_point when);
    void ProcessFrames();
};

bool CEscSimulator::Impl::WaitUntil(Clock::time_point when)
{
    // With line timing the last stretch before a deadline is spun: a sleeping
    // thread wakes tens of microseconds late, and every late byte would count
    // against the program on the other side of the line.
    const Clock::duration spin = options.lineTiming ? std::chrono::microseconds(100) : Clock::duration::zero();
    {
        std::unique_lock<std::mutex> lock(waitMutex);
        if (waitCondition.wait_until(lock, when - spin, [this] { return stopping.load(); }))
            return false;
    }
    while (Clock::now() < when) {
        if (stopping)
            return false;
        std::this_thread::yield();
    }
    return true;
}

void CEscSimulator::Impl::Run()
{
    // The line timing sleeps until byte deadlines; the kernel's default 50 us
    // timer slack would make every one of them late. A real UART is not.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    std::vector<uint8_t> buffer(4096);
    while (!stopping) {
        pollfd fds[2] = {{pty.MasterFd(), POLLIN, 0}, {wakeRead, POLLIN, 0}};
        const int ready = poll(fds, 2, 20);
        if (stopping)
            break;
        if (ready > 0 && (fds[0].revents & POLLIN) != 0) {
            const long count = pty.Read(buffer.data(), buffer.size());
            if (count > 0)
                Receive(buffer.data(), static_cast<std::size_t>(count));
            else if (count < 0)
                WaitUntil(Clock::now() + std::chrono::milliseconds(5));
        } else if (ready > 0 && (fds[0].revents & (POLLHUP | POLLERR)) != 0) {
            WaitUntil(Clock::now() + std::chrono::milliseconds(5));
        }
        parser.Idle(Clock::now());
        ProcessFrames();
    }
}

void CEscSimulator::Impl::Receive(const uint8_t* bytes, std::size_t count)
{
    // Bytes travel at the speed TORV set on its side.
    hostBaud = pty.HostBaud();
    const Clock::duration byteTime = ByteTime(options.lineTiming, hostBaud);
    const Clock::time_point now = Clock::now();
    if (wireFree < now)
        wireFree = now;
    Clock::time_point sliceStart = wireFree;
    for (std::size_t i = 0; i < count && !stopping; ++i) {
        wireFree += byteTime;
        echo.push_back(bytes[i]);
        parser.Add(bytes[i], wireFree);
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++bytesOnWire;
        }
        if (wireFree - sliceStart >= kSlice) {
            FlushEcho();
            sliceStart = wireFree;
        }
        ProcessFrames();
        if (echo.empty())
            sliceStart = wireFree;  // an answer went out; the next slice starts after it
    }
    FlushEcho();
}

void CEscSimulator::Impl::ProcessFrames()
{
    std::vector<uint8_t> frame;
    while (!stopping && parser.Next(frame)) {
        // The ESC takes the frame in while the cable echoes it; the echo is
        // back before the ESC answers.
        Reply reply;
        const bool answer = Accept(frame, wireFree, reply);
        FlushEcho();
        if (answer)
            Deliver(reply, wireFree);
    }
}

void CEscSimulator::Impl::FlushEcho()
{
    if (echo.empty())
        return;
    WaitUntil(wireFree);
    pty.Write(echo.data(), echo.size());
    echo.clear();
}

bool CEscSimulator::Impl::Accept(const std::vector<uint8_t>& frame, Clock::time_point arrival, Reply& reply)
{
    std::lock_guard<std::mutex> lock(mutex);
    reply.deviceBaud = device->Baud();
    const bool understood = !unplugged && hostBaud == reply.deviceBaud;
    frames.push_back(Frame{frame, arrival, hostBaud, understood});
    if (frames.size() > kMaxFrames)
        frames.pop_front();
    // At the wrong speed the ESC sees only framing errors, and an unplugged
    // ESC sees nothing: either way no answer comes.
    if (!understood || !device->Handle(frame, arrival, reply.answer) || reply.answer.bytes.empty())
        return false;
    long delayUs = static_cast<long>(options.processingDelayUs) + 1000L * extraDelayMs;
    if (options.lineTiming)
        delayUs += reply.answer.busyUs;
    delayUs = std::max(0L, delayUs);
    reply.delay = std::chrono::microseconds(delayUs);
    delaysUs += static_cast<uint64_t>(delayUs);
    std::vector<uint8_t>& bytes = reply.answer.bytes;
    if (corruptCount > 0) {
        bytes.back() ^= 0x5A;  // the sum, or the CRC's high byte
        --corruptCount;
    }
    if (dropByte) {
        bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2));
        dropByte = false;
    }
    if (!noise.empty()) {
        bytes.insert(bytes.begin(), noise.begin(), noise.end());
        noise.clear();
    }
    return true;
}

void CEscSimulator::Impl::Deliver(const Reply& reply, Clock::time_point arrival)
{
    const Clock::time_point start = std::max(arrival, wireFree) + reply.delay;
    if (!WaitUntil(start))
        return;
    // TORV may have changed its speed while the ESC was thinking.
    if (pty.HostBaud() == reply.deviceBaud)
        Transmit(reply.answer.bytes, start, reply.deviceBaud);
    if (reply.answer.switchToBaud != 0) {
        std::lock_guard<std::mutex> lock(mutex);
        device->SetBaud(reply.answer.switchToBaud);
    }
}

void CEscSimulator::Impl::Transmit(const std::vector<uint8_t>& bytes, Clock::time_point start, int baud)
{
    {
        // Counted before the bytes go out, so a reader that has them sees the count.
        std::lock_guard<std::mutex> lock(mutex);
        bytesOnWire += bytes.size();
    }
    const Clock::duration byteTime = ByteTime(options.lineTiming, baud);
    wireFree = start;
    std::size_t sent = 0;
    while (sent < bytes.size() && !stopping) {
        std::size_t count = 0;
        Clock::time_point end = wireFree;
        do {
            end += byteTime;
            ++count;
        } while (sent + count < bytes.size() && end - wireFree < kSlice);
        wireFree = end;
        WaitUntil(end);
        pty.Write(bytes.data() + sent, count);
        sent += count;
    }
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
    m_impl->parser.Clear();
    m_impl->echo.clear();
    m_impl->wireFree = Clock::now();
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
    {
        std::lock_guard<std::mutex> lock(m_impl->waitMutex);
        m_impl->waitCondition.notify_all();
    }
    const uint8_t wake = 1;
    if (write(m_impl->wakeWrite, &wake, 1) < 0) {
        // The poll time-out ends the loop as well.
    }
    if (m_impl->thread.joinable())
        m_impl->thread.join();
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
    // Plugged in again, the ESC powers up afresh at 19200 baud; its cells stay.
    if (m_impl->unplugged && !unplugged && m_impl->device)
        m_impl->device->SetBaud(CSimDevice::kStartBaud);
    m_impl->unplugged = unplugged;
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
