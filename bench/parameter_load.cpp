// Full parameter load of the largest device of the sample library (profile
// "full", ESC 3.2.4) against the simulated ESC with line timing on.
//
//  ParameterLoad/<mode>/<baud>/<client>
//    mode 0: single-cell reads ('r' per cell), mode 1: one range read ('R').
//    client 0: TORV (CParameterModel::RefreshAllParameters over
//      CDeviceProtocol, the serial port's reader thread and the collectors).
//    client 1: the same frames replayed by a plain blocking client on the
//      pseudo-terminal (write the frame, poll and read until the echo and the
//      answer are in, on one thread). This is the floor that the simulator
//      and the pseudo-terminal set; what TORV adds above it is its own.
//
// Line-time bound of one load: bytes on the wire x 10 bits / baud plus the
// ESC's processing delays, both from the simulator's counters. The simulator
// counts each request byte once (its echo travels back while the request is
// still going out, so the echo costs no extra line time) and each answer
// byte once; that is the model used here. ratio = measured / bound.
//
// For TORV in single-cell mode every exchange is split further (medians):
//   sim_read_lag_us  frame written by TORV -> the simulator takes it off the
//                    line (the simulator's clock starts there)
//   answer_late_us   when the answer's last byte is due on the line ->
//                    TORV's collector sees the answer complete (simulator
//                    pacing, pty, TORV's reader thread wake-up and delivery)
//   turnaround_us    answer complete -> TORV writes the next frame, made of
//     wake_us        answer complete (reader thread) -> the waiting thread is
//                    back in the protocol with the collector switched back
//                    (event wake-up, collector lock, port delivery lock)
//     work_us        -> the next frame written (cell image, list row, next
//                    row's attributes, collector switch, the write)
//   chunks_per_exch  deliveries by the reader thread per exchange (each one
//                    a wake-up: the echo and the answer arrive apart)
//
//  ModelOnly/<mode>: the same load over a loader that answers at once from
//    the simulator's cells: TORV's processing per row without any link.
//  SendPath: switching to the short collector, Reset, writing one frame to a
//    pseudo-terminal and switching back: the send side of every exchange.
//
// TORV_BENCH_TIMER_SLACK_NS=<ns> sets the timer slack of the process before
// any thread starts (threads inherit it), to show how much of the floor is
// the simulator's timed waits being late by the kernel's default 50 us slack.
#include "BenchStats.h"
#include "CEscSimulator.h"
#include "library/CChanMap.h"
#include "library/CDeviceLibrary.h"
#include "library/CFormulaTable.h"
#include "library/CParameterModel.h"
#include "library/CPropertyList.h"
#include "link/CDeviceProtocol.h"
#include "link/CSerialPort.h"
#include "link/CSynchroBytesCollector.h"
#include "link/ICellLoader.h"
#include "link/ICellWriter.h"
#include "link/IProtocolHost.h"

#include <benchmark/benchmark.h>

#include <QLoggingCategory>
#include <QString>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#ifndef TORV_SOURCE_DIR
#error "TORV_SOURCE_DIR must name the source tree"
#endif

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kImageCells = 256;
constexpr double kDelayUs = 300.0;   // the simulator's default processing delay

double Micros(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

// The window's part of the protocol: there are no timers here.
// The protocol calls RestartRefreshTimer right after an exchange has
// switched the collector back: its time stamps mark the waiting thread's
// return from the exchange.
class BenchHost : public IProtocolHost {
public:
    BenchHost() { restarts.reserve(4096); }
    void StopRefreshTimer() override {}
    void RestartRefreshTimer() override
    {
        if (restarts.size() < restarts.capacity())
            restarts.push_back(Clock::now());
    }
    void ReconnectWithRestart() override { reconnects.fetch_add(1); }
    std::atomic<int> reconnects{0};
    std::vector<Clock::time_point> restarts;
};

// The short-answer collector with time stamps: every Reset (the last one
// before a frame is its send) on the waiting thread, every completion on the
// reader thread. Each list has one writer; they are read between loads.
class TimedCollector : public CSynchroBytesCollector {
public:
    explicit TimedCollector(CSerialPort& port) : CSynchroBytesCollector(port)
    {
        resets.reserve(4096);
        completions.reserve(4096);
    }
    void Reset() override
    {
        if (resets.size() < resets.capacity())
            resets.push_back(Clock::now());
        CSynchroBytesCollector::Reset();
    }
    void AddBytes(const uint8_t* chunk, size_t count) override
    {
        ++chunks;
        CSynchroBytesCollector::AddBytes(chunk, count);
    }
    void OnComplete() override
    {
        if (completions.size() < completions.capacity())
            completions.push_back(Clock::now());
        CSynchroBytesCollector::OnComplete();
    }
    void Clear()
    {
        chunks = 0;
        resets.clear();
        completions.clear();
    }
    std::vector<Clock::time_point> resets;
    std::vector<Clock::time_point> completions;
    uint64_t chunks = 0;   // deliveries from the reader thread (one wake-up each)
};

// Publishes a cell image to the formulas for as long as it lives.
class CurrentImage {
public:
    explicit CurrentImage(CChanMap& image) { CFormulaTable::SetCurrentImage(&image); }
    ~CurrentImage() { CFormulaTable::SetCurrentImage(nullptr); }
    CurrentImage(const CurrentImage&) = delete;
    CurrentImage& operator=(const CurrentImage&) = delete;
};

// Bytes the ESC sends back for a frame that TORV sent.
size_t AnswerLength(const std::vector<uint8_t>& frame)
{
    if (frame.size() == 5 && frame[1] == 'R' && frame[3] >= frame[2])
        return static_cast<size_t>(frame[3] - frame[2] + 1) + 3;  // 'M', data, CRC-16
    return 3;                                                      // 'M', value, sum
}

Clock::duration ByteTime(int baud)
{
    return std::chrono::nanoseconds(10LL * 1000000000LL / baud);
}

// A plain blocking client on the slave side of the pseudo-terminal.
class RawClient {
public:
    ~RawClient() { Close(); }
    bool Open(const std::string& path, int baud)
    {
        Close();
        m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
        if (m_fd < 0)
            return false;
        termios tio {};
        if (tcgetattr(m_fd, &tio) != 0)
            return false;
        cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        const speed_t speed = baud == 115200 ? B115200 : B19200;
        return cfsetspeed(&tio, speed) == 0 && tcsetattr(m_fd, TCSANOW, &tio) == 0;
    }
    void Close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    // Writes the frame and reads until the echo and the answer are in.
    bool Exchange(const std::vector<uint8_t>& frame, size_t expected, Clock::time_point& complete)
    {
        if (::write(m_fd, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size()))
            return false;
        std::vector<uint8_t> buffer(1024);
        size_t got = 0;
        while (got < expected) {
            pollfd fds { m_fd, POLLIN, 0 };
            if (::poll(&fds, 1, 1000) <= 0)
                return false;
            const ssize_t n = ::read(m_fd, buffer.data(), buffer.size());
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (n <= 0)
                return false;
            got += static_cast<size_t>(n);
        }
        complete = Clock::now();
        return got == expected;
    }

private:
    int m_fd = -1;
};

struct ExchangeSplit {
    std::vector<double> simReadLag;
    std::vector<double> answerLate;
    std::vector<double> turnaround;
    std::vector<double> wake;
    std::vector<double> work;
};

// Splits each exchange of one load by the send times, the simulator's frame
// arrival times, the completion times and the times the waiting thread was
// back from each exchange (returns; none for the plain client).
void SplitExchanges(const std::vector<CEscSimulator::Frame>& frames, const std::vector<Clock::time_point>& sends,
                    const std::vector<Clock::time_point>& completions, const std::vector<Clock::time_point>& returns,
                    Clock::time_point end, ExchangeSplit& split)
{
    size_t s = 0;
    size_t c = 0;
    size_t r = 0;
    for (size_t k = 0; k < frames.size(); ++k) {
        const CEscSimulator::Frame& frame = frames[k];
        // The last send before the frame arrived is the frame's own.
        while (s + 1 < sends.size() && sends[s + 1] < frame.at)
            ++s;
        if (s >= sends.size() || sends[s] >= frame.at)
            return;
        while (c < completions.size() && completions[c] < frame.at)
            ++c;
        if (c >= completions.size())
            return;
        const Clock::duration byteTime = ByteTime(frame.hostBaud);
        const Clock::time_point sent = sends[s];
        const Clock::time_point answerDue = frame.at + std::chrono::microseconds(static_cast<int>(kDelayUs)) +
                                            byteTime * static_cast<int>(AnswerLength(frame.bytes));
        const Clock::time_point next = s + 1 < sends.size() ? sends[s + 1] : end;
        split.simReadLag.push_back(Micros(frame.at - sent - byteTime * static_cast<int>(frame.bytes.size())));
        split.answerLate.push_back(Micros(completions[c] - answerDue));
        split.turnaround.push_back(Micros(next - completions[c]));
        while (r < returns.size() && returns[r] < completions[c])
            ++r;
        if (r < returns.size() && returns[r] <= next) {
            split.wake.push_back(Micros(returns[r] - completions[c]));
            split.work.push_back(Micros(next - returns[r]));
        }
    }
}

void ParameterLoad(benchmark::State& state)
{
    const bool bulk = state.range(0) != 0;
    const int baud = static_cast<int>(state.range(1));
    const bool raw = state.range(2) != 0;

    CEscSimulator::Options options;
    options.profile = "full";
    options.lineTiming = true;
    CEscSimulator sim(options);
    if (!sim.Start()) {
        state.SkipWithError("the simulated ESC did not start");
        return;
    }
    if ((sim.Cell(94) & 0x20) == 0)
        sim.SetCell(94, static_cast<uint8_t>(sim.Cell(94) | 0x20));   // allow 115200 baud

    CSerialPort port;
    TimedCollector shortCollector(port);
    BenchHost host;
    CDeviceProtocol protocol(port, shortCollector, host);
    if (!port.Open(QString::fromStdString(sim.DevicePath()), CDeviceProtocol::kDefaultLinkSpeed)) {
        state.SkipWithError("cannot open the simulated ESC's port");
        return;
    }
    if (baud != CDeviceProtocol::kDefaultLinkSpeed) {
        protocol.SetCapabilities(true, false);
        if (!protocol.ChangeLinkSpeed(baud) || sim.DeviceBaud() != baud || port.LinkSpeed() != baud ||
            sim.HostBaud() != baud || !protocol.Probe()) {
            state.SkipWithError("the link speed change failed");
            return;
        }
    }

    CDeviceLibrary library;
    if (!library.Load(QStringLiteral(TORV_SOURCE_DIR "/src/resources/Brisko.esc"))) {
        state.SkipWithError("cannot load the sample library");
        return;
    }
    pugi::xml_node esc;
    bool deprecated = false;
    if (!library.IdentifyDevice(3, 2, 4, esc, deprecated) || deprecated) {
        state.SkipWithError("ESC 3.2.4 not in the sample library");
        return;
    }
    CPropertyList list;
    CChanMap image;
    CFormulaTable formulas;
    const CurrentImage published(image);
    CParameterModel model(library, list, image, protocol, formulas);
    const DeviceFacts facts = model.BuildParameterList(esc, 2, 4);
    protocol.SetCapabilities(false, bulk);
    image.ResetImage(kImageCells, &protocol, bulk);

    // One load first: warms up and records the frames a load sends.
    sim.ClearFrames();
    if (!model.RefreshAllParameters(false)) {
        state.SkipWithError("the warm-up load failed");
        return;
    }
    std::vector<std::vector<uint8_t>> script;
    for (const CEscSimulator::Frame& frame : sim.Frames())
        script.push_back(frame.bytes);

    RawClient client;
    if (raw) {
        port.Close();
        if (!client.Open(sim.SlavePath(), baud)) {
            state.SkipWithError("the plain client cannot open the pseudo-terminal");
            return;
        }
    }

    double measuredUs = 0;
    double boundUs = 0;
    uint64_t bytes = 0;
    std::vector<double> ratios;
    std::vector<double> loadsMs;
    uint64_t chunks = 0;
    ExchangeSplit split;
    std::vector<Clock::time_point> rawSends;
    std::vector<Clock::time_point> rawCompletions;
    for (auto _ : state) {
        sim.ResetCounters();
        sim.ClearFrames();
        shortCollector.Clear();
        host.restarts.clear();
        rawSends.clear();
        rawCompletions.clear();
        bool ok = true;
        const Clock::time_point start = Clock::now();
        if (raw) {
            for (const std::vector<uint8_t>& frame : script) {
                Clock::time_point complete;
                rawSends.push_back(Clock::now());
                if (!client.Exchange(frame, frame.size() + AnswerLength(frame), complete)) {
                    ok = false;
                    break;
                }
                rawCompletions.push_back(complete);
            }
        } else {
            ok = model.RefreshAllParameters(false);
        }
        const Clock::time_point end = Clock::now();
        if (!ok) {
            state.SkipWithError("a load failed");
            break;
        }
        const double elapsedUs = Micros(end - start);
        state.SetIterationTime(elapsedUs / 1e6);
        const uint64_t onWire = sim.BytesOnWire();
        const double bound = static_cast<double>(onWire) * 10.0 * 1e6 / baud +
                             static_cast<double>(sim.ProcessingDelaysUs());
        measuredUs += elapsedUs;
        boundUs += bound;
        bytes += onWire;
        ratios.push_back(elapsedUs / bound);
        loadsMs.push_back(elapsedUs / 1000.0);
        chunks += shortCollector.chunks;
        const std::vector<CEscSimulator::Frame> frames = sim.Frames();
        if (raw)
            SplitExchanges(frames, rawSends, rawCompletions, {}, end, split);
        else if (!bulk)
            SplitExchanges(frames, shortCollector.resets, shortCollector.completions, host.restarts, end, split);
    }
    if (state.iterations() == 0 || boundUs <= 0)
        return;

    const double n = static_cast<double>(state.iterations());
    state.counters["load_ms"] = Median(loadsMs);
    state.counters["bound_ms"] = boundUs / n / 1000.0;
    state.counters["ratio"] = measuredUs / boundUs;
    state.counters["ratio_median"] = Median(ratios);
    state.counters["exchanges"] = static_cast<double>(script.size());
    state.counters["bytes"] = static_cast<double>(bytes) / n;
    state.counters["over_per_exch_us"] = (measuredUs - boundUs) / n / static_cast<double>(script.size());
    if (!split.turnaround.empty()) {
        state.counters["sim_read_lag_us"] = Median(split.simReadLag);
        state.counters["answer_late_us"] = Median(split.answerLate);
        state.counters["turnaround_us"] = Median(split.turnaround);
        double sum = 0;
        for (double t : split.turnaround)
            sum += t;
        state.counters["turnaround_mean_us"] = sum / static_cast<double>(split.turnaround.size());
    }
    if (!split.wake.empty()) {
        state.counters["chunks_per_exch"] = static_cast<double>(chunks) / n / static_cast<double>(script.size());
        state.counters["wake_us"] = Median(split.wake);
        state.counters["work_us"] = Median(split.work);
    }
    state.SetLabel(std::string(raw ? "plain client" : "TORV") + (bulk ? ", range read" : ", single cells") +
                   ", rows " + std::to_string(list.Count()) + (facts.grouped ? " (grouped)" : ""));
}

BENCHMARK(ParameterLoad)
    ->ArgNames({"bulk", "baud", "plain"})
    ->ArgsProduct({{0, 1}, {19200, 115200}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

}

// Answers every read at once from a copy of the simulated ESC's cells.
class InstantLoader : public ICellLoader {
public:
    explicit InstantLoader(const std::array<uint8_t, 256>& cells) : m_cells(cells) {}
    bool LoadCell(int cell, uint8_t& value) override
    {
        ++loads;
        value = m_cells[static_cast<size_t>(cell & 0xFF)];
        return true;
    }
    bool LoadCells(uint8_t first, uint8_t last, uint8_t* out) override
    {
        ++loads;
        std::copy(m_cells.begin() + first, m_cells.begin() + last + 1, out + first);
        return true;
    }
    uint64_t loads = 0;

private:
    std::array<uint8_t, 256> m_cells;
};

class NoWriter : public ICellWriter {
public:
    bool WriteCell(uint8_t, uint8_t) override { return true; }
    void Pause(int) const override {}
    bool Probe() override { return true; }
};

void ModelOnly(benchmark::State& state)
{
    const bool bulk = state.range(0) != 0;
    CEscSimulator::Options options;
    options.profile = "full";
    const CEscSimulator sim(options);   // not started: only its cells are read
    CDeviceLibrary library;
    pugi::xml_node esc;
    bool deprecated = false;
    if (!library.Load(QStringLiteral(TORV_SOURCE_DIR "/src/resources/Brisko.esc")) ||
        !library.IdentifyDevice(3, 2, 4, esc, deprecated)) {
        state.SkipWithError("ESC 3.2.4 not in the sample library");
        return;
    }
    InstantLoader loader(sim.Cells());
    NoWriter writer;
    CPropertyList list;
    CChanMap image;
    CFormulaTable formulas;
    const CurrentImage published(image);
    CParameterModel model(library, list, image, writer, formulas);
    model.BuildParameterList(esc, 2, 4);
    image.ResetImage(kImageCells, &loader, bulk);
    const Clock::time_point start = Clock::now();
    for (auto _ : state) {
        if (!model.RefreshAllParameters(false)) {
            state.SkipWithError("a load failed");
            break;
        }
    }
    const double elapsedUs = Micros(Clock::now() - start);
    const double n = static_cast<double>(state.iterations());
    state.counters["loads"] = static_cast<double>(loader.loads) / n;
    // Microseconds of processing per cell load (per exchange on a link).
    if (loader.loads > 0)
        state.counters["per_load_us"] = elapsedUs / static_cast<double>(loader.loads);
    state.counters["rows"] = list.Count();
}
BENCHMARK(ModelOnly)->ArgName("bulk")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void SendPath(benchmark::State& state)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    char name[128] = {};
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
        state.SkipWithError("cannot open a pseudo-terminal");
        if (master >= 0)
            ::close(master);
        return;
    }
    {
        CSerialPort port;
        CSynchroBytesCollector collector(port);
        if (!port.Open(QString::fromLocal8Bit(name), 115200)) {
            state.SkipWithError("cannot open the pseudo-terminal's slave");
            ::close(master);
            return;
        }
        uint8_t drain[256];
        for (auto _ : state) {
            const Clock::time_point start = Clock::now();
            port.SetCollector(&collector);
            collector.Reset();
            port.SendFrame('r', 'e', 1);
            port.ResetCollector();
            state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
            while (::read(master, drain, sizeof drain) > 0) {
            }
        }
    }
    ::close(master);
}
BENCHMARK(SendPath)->UseManualTime()->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    if (const char* slack = std::getenv("TORV_BENCH_TIMER_SLACK_NS")) {
        const long ns = std::strtol(slack, nullptr, 10);
        if (ns > 0)
            prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(ns), 0, 0, 0);
    }
    // Failed exchanges would write their diagnostics; a benchmark keeps quiet.
    QLoggingCategory::setFilterRules(QStringLiteral("torv.*=false"));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
