// From starting the connection logic (CMainController::Open) to the
// parameter list shown with the link connected, against the simulated ESC
// with line timing on, for the "full" device (range read, categories, speed
// upgrade) and the "plain" one (single cells, flat list, 19200 baud only).
// Every iteration starts with a freshly plugged ESC at 19200 baud.
//
// The phases are told apart by what the logic shows (all on one thread):
//   open_ms      Open() up to "Waiting for ESC response..." (leaving a link
//                that is not open yet)
//   wait_ms      connect timer started -> its first tick (the library's
//                start_timeout)
//   handshake_ms tick -> "ESC identified. Loading parameters..." (port open,
//                probe, cells 64, 65, 66, 70, library look-up)
//   build_ms     -> the title set (the parameter list built)
//   load_ms      -> the list shown (every shown row read from the ESC)
//   upgrade_ms   -> "Connected. Ready for programming." (speed upgrade)
//   finish_ms    -> the link state "connected"
// *_bound_ms is the line time of the phase's exchanges (request and answer
// bytes x 10 bits / baud at the speed each frame travelled, plus the ESC's
// processing delay); the echo travels while the request goes out.
// Times are medians over the iterations (wait_min_ms/wait_max_ms give the
// connect timer's spread); the benchmark's own time is the total.
#include "BenchStats.h"
#include "CEscSimulator.h"
#include "app/CMainController.h"
#include "app/IMainView.h"
#include "base/IPrompt.h"
#include "library/CDeviceLibrary.h"
#include "link/CSerialPort.h"
#include "link/CSynchroBytesCollector.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QFile>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QTimer>
#include <QTimerEvent>

#include <algorithm>
#include <array>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#ifndef TORV_SOURCE_DIR
#error "TORV_SOURCE_DIR must name the source tree"
#endif

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kDelayUs = 300.0;   // the simulator's default processing delay

enum Mark {
    Start,
    Waiting,      // "Waiting for ESC response..."
    TimerStarted, // link state "waiting": the connect timer runs
    Tick,         // the connect timer's first tick
    Identified,
    ListBuilt,
    Loaded,
    Upgraded,
    Connected,
    MarkCount
};

class TimedView : public IMainView {
public:
    void SetLinkState(LinkState state, const QString&) override
    {
        if (state == LinkWaiting && !Has(TimerStarted))
            Stamp(TimerStarted);
        if (state == LinkConnected) {
            Stamp(Connected);
            connected = true;
            if (onConnected)
                onConnected();
        }
    }
    void SetMessage(const QString& text) override
    {
        if (text == QLatin1String("Waiting for ESC response...") && !Has(Waiting))
            Stamp(Waiting);
        else if (text == QLatin1String("ESC identified. Loading parameters..."))
            Stamp(Identified);
        else if (text == QLatin1String("Connected. Ready for programming."))
            Stamp(Upgraded);
    }
    void SetTitle(const QString& text) override
    {
        if (text != QLatin1String("TORV"))
            Stamp(ListBuilt);
    }
    void ShowParameterList(bool show) override
    {
        listShown = show;
        if (show)
            Stamp(Loaded);
    }
    void SetListEnabled(bool) override {}
    void SetButtonEnabled(int, bool) override {}
    void SetCurvesDropDown(bool) override {}
    void PostCommand(int) override {}

    void Stamp(Mark mark)
    {
        marks[mark] = Clock::now();
        seen[mark] = true;
    }
    bool Has(Mark mark) const { return seen[mark]; }

    std::array<Clock::time_point, MarkCount> marks{};
    std::array<bool, MarkCount> seen{};
    bool connected = false;
    bool listShown = false;
    std::function<void()> onConnected;
};

// Answers every question "No" and remembers that one was asked.
class NoPrompt : public IPrompt {
public:
    Answer Message(const QString& text, const QString&, Icon, Buttons) override
    {
        questions << text;
        return Answer::No;
    }
    std::optional<QString> OpenFile(const FileRequest&) override { return std::nullopt; }
    std::optional<QString> SaveFile(const FileRequest&) override { return std::nullopt; }
    std::optional<QString> BrowseFolder(const QString&, const QString&) override { return std::nullopt; }
    std::optional<quint32> ChooseColour(quint32) override { return std::nullopt; }
    void Beep() override {}
    QStringList questions;
};

// The connection logic with a time stamp at the connect timer's first tick.
class TimedController : public CMainController {
public:
    TimedController(CSerialPort& port, CSynchroBytesCollector& shortCollector, CDeviceLibrary& library,
                    IPrompt& prompt, TimedView& view)
        : CMainController(port, shortCollector, library, prompt, view), m_view(view)
    {
    }

protected:
    void timerEvent(QTimerEvent* event) override
    {
        if (ConnectTimerRunning() && !m_view.Has(Tick))
            m_view.Stamp(Tick);
        CMainController::timerEvent(event);
    }

private:
    TimedView& m_view;
};

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

size_t AnswerLength(const std::vector<uint8_t>& frame)
{
    if (frame.size() == 5 && frame[1] == 'R' && frame[3] >= frame[2])
        return static_cast<size_t>(frame[3] - frame[2] + 1) + 3;
    return 3;
}

struct PhaseLine {
    double boundMs = 0;
    int exchanges = 0;
};

// Line time of the frames that reached the ESC between two marks.
PhaseLine LineTime(const std::vector<CEscSimulator::Frame>& frames, Clock::time_point from, Clock::time_point to)
{
    PhaseLine line;
    for (const CEscSimulator::Frame& frame : frames) {
        if (frame.at < from || frame.at > to || frame.hostBaud <= 0)
            continue;
        ++line.exchanges;
        const size_t answer = frame.understood ? AnswerLength(frame.bytes) : 0;
        line.boundMs += static_cast<double>(frame.bytes.size() + answer) * 10.0 * 1000.0 / frame.hostBaud;
        if (frame.understood)
            line.boundMs += kDelayUs / 1000.0;
    }
    return line;
}

void StartupToList(benchmark::State& state, const std::string& profile)
{
    CDeviceLibrary library;
    if (!library.Load(QStringLiteral(TORV_SOURCE_DIR "/src/resources/Brisko.esc"))) {
        state.SkipWithError("cannot load the sample library");
        return;
    }

    std::map<std::string, std::vector<double>> phases;
    int finalBaud = 0;
    for (auto _ : state) {
        CEscSimulator::Options options;
        options.profile = profile;
        options.lineTiming = true;
        CEscSimulator sim(options);
        if (!sim.Start()) {
            state.SkipWithError("the simulated ESC did not start");
            break;
        }
        CSerialPort port;
        CSynchroBytesCollector shortCollector(port);
        TimedView view;
        NoPrompt prompt;
        TimedController controller(port, shortCollector, library, prompt, view);
        controller.SetPortName(QString::fromStdString(sim.DevicePath()));

        QEventLoop loop;
        view.onConnected = [&loop] { loop.quit(); };
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        deadline.start(5000);

        view.Stamp(Start);
        controller.Open();
        if (!view.connected)
            loop.exec();
        deadline.stop();

        if (!view.connected || !view.listShown || !prompt.questions.isEmpty()) {
            state.SkipWithError(prompt.questions.isEmpty() ? "the list was not shown within 5 s"
                                                           : "the logic asked a question");
            break;
        }
        bool allSeen = true;
        for (int mark = Start; mark < MarkCount; ++mark)
            allSeen = allSeen && view.Has(static_cast<Mark>(mark));
        if (!allSeen) {
            state.SkipWithError("a phase was not seen");
            break;
        }
        const auto& m = view.marks;
        state.SetIterationTime(std::chrono::duration<double>(m[Connected] - m[Start]).count());

        const std::vector<CEscSimulator::Frame> frames = sim.Frames();
        const PhaseLine handshake = LineTime(frames, m[Tick], m[Identified]);
        const PhaseLine load = LineTime(frames, m[ListBuilt], m[Loaded]);
        const PhaseLine upgrade = LineTime(frames, m[Loaded], m[Upgraded]);
        phases["total_ms"].push_back(Ms(m[Connected] - m[Start]));
        phases["open_ms"].push_back(Ms(m[Waiting] - m[Start]));
        phases["wait_ms"].push_back(Ms(m[Tick] - m[TimerStarted]));
        phases["handshake_ms"].push_back(Ms(m[Identified] - m[Tick]));
        phases["handshake_bound_ms"].push_back(handshake.boundMs);
        phases["handshake_exch"].push_back(handshake.exchanges);
        phases["build_ms"].push_back(Ms(m[ListBuilt] - m[Identified]));
        phases["load_ms"].push_back(Ms(m[Loaded] - m[ListBuilt]));
        phases["load_bound_ms"].push_back(load.boundMs);
        phases["load_exch"].push_back(load.exchanges);
        phases["upgrade_ms"].push_back(Ms(m[Upgraded] - m[Loaded]));
        phases["upgrade_bound_ms"].push_back(upgrade.boundMs);
        phases["upgrade_exch"].push_back(upgrade.exchanges);
        phases["finish_ms"].push_back(Ms(m[Connected] - m[Upgraded]));
        finalBaud = sim.DeviceBaud();
    }
    for (const auto& [name, values] : phases)
        state.counters[name] = Median(values);
    // The connect timer is a coarse timer: its spread is worth seeing.
    const std::vector<double>& waits = phases["wait_ms"];
    if (!waits.empty()) {
        state.counters["wait_min_ms"] = *std::min_element(waits.begin(), waits.end());
        state.counters["wait_max_ms"] = *std::max_element(waits.begin(), waits.end());
    }
    state.SetLabel(profile + ", ends at " + std::to_string(finalBaud) + " baud");
}

BENCHMARK_CAPTURE(StartupToList, full, std::string("full"))
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(15);
BENCHMARK_CAPTURE(StartupToList, plain, std::string("plain"))
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(15);

}

int main(int argc, char** argv)
{
    // Failed exchanges would write their diagnostics; a benchmark keeps quiet.
    QLoggingCategory::setFilterRules(QStringLiteral("torv.*=false"));
    QCoreApplication app(argc, argv);
    // Every connection keeps a backup of the ESC's settings: the simulated
    // ones go to a folder of the run's own, not among the user's backups.
    const QTemporaryDir dataHome;
    if (!dataHome.isValid())
        return 1;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
