// The telemetry stream against the simulated ESC with line timing, at the
// fastest speed the simulator supports (460800 baud).
//
//  TelemetryStream/<baud>: streams for a few seconds through CTelemetryStream
//    with the product's pause of about 1 ms after each answer and reports:
//     - records_per_s: answers received per second;
//     - wire_records_per_s: what the line allows, 72 bytes of 10 bits per
//       record (the 5-byte request, whose echo comes back while it goes out,
//       and the 67-byte answer); wire_ratio = records_per_s / that;
//     - bound_records_per_s: the line plus the ESC's processing delay plus
//       the pause after each answer, the most this protocol can give;
//       bound_ratio = records_per_s / that;
//     - cpu_percent: CPU time of this process (user + system, all threads)
//       per wall second while streaming.
//  The simulator runs as its own process (torv-esc-sim beside this program),
//  so that cpu_percent is TORV's side alone: the reader thread that collects
//  and re-requests, and the main thread that handles the newest records.
#include "CEscSimulator.h"
#include "common/CCountingHost.h"
#include "link/CDeviceProtocol.h"
#include "link/CSerialPort.h"
#include "link/CSynchroBytesCollector.h"
#include "panel/CTelemetryStream.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QLoggingCategory>
#include <QProcess>

#include <sys/resource.h>

namespace {

constexpr int kProcessingDelayUs = 300;   // the simulator's default
constexpr double kStreamSeconds = 3.0;

QCoreApplication& App()
{
    static int argc = 1;
    static char name[] = "bench_telemetry_stream";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

double CpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
}

void TelemetryStream(benchmark::State& state)
{
    App();
    QLoggingCategory::setFilterRules(QStringLiteral("torv.*=false"));
    const int baud = static_cast<int>(state.range(0));

    QProcess sim;
    sim.start(QCoreApplication::applicationDirPath() + QStringLiteral("/torv-esc-sim"),
              {QStringLiteral("--delay-us"), QString::number(kProcessingDelayUs)});
    if (!sim.waitForStarted() || !sim.waitForReadyRead(10000)) {
        state.SkipWithError("torv-esc-sim did not start");
        return;
    }
    const QString path = QString::fromLocal8Bit(sim.readLine()).trimmed();

    CSerialPort port;
    CSynchroBytesCollector shortCollector(port);
    CCountingHost host;
    CDeviceProtocol protocol(port, shortCollector, host);
    if (!port.Open(path, 19200) || !protocol.ChangeLinkSpeed(baud) || port.LinkSpeed() != baud) {
        state.SkipWithError("could not reach the link speed");
        return;
    }

    const double wire = baud / 720.0;
    const double bound = 1.0 / (720.0 / baud + (kProcessingDelayUs + CServoCollectorNotify::kPauseUs) / 1e6);
    double rate = 0;
    double cpu = 0;
    uint64_t missed = 0;
    for (auto _ : state) {
        CTelemetryStream stream(port);
        const double cpuStart = CpuSeconds();
        QElapsedTimer clock;
        clock.start();
        stream.Start();
        QEventLoop loop;
        QTimer::singleShot(static_cast<int>(kStreamSeconds * 1000), &loop, &QEventLoop::quit);
        loop.exec();
        const uint64_t received = stream.Collector().AnswersReceived();
        const double seconds = clock.nsecsElapsed() / 1e9;
        const double cpuUsed = CpuSeconds() - cpuStart;
        stream.Stop();
        state.SetIterationTime(seconds);
        rate = received / seconds;
        cpu = 100.0 * cpuUsed / seconds;
        missed = stream.AnswersMissed();
    }
    protocol.ChangeLinkSpeed(19200);
    port.Close();
    sim.terminate();
    sim.waitForFinished(5000);

    state.counters["records_per_s"] = rate;
    state.counters["wire_records_per_s"] = wire;
    state.counters["wire_ratio"] = rate / wire;
    state.counters["bound_records_per_s"] = bound;
    state.counters["bound_ratio"] = rate / bound;
    state.counters["cpu_percent"] = cpu;
    state.counters["missed"] = static_cast<double>(missed);
}

BENCHMARK(TelemetryStream)->Arg(460800)->Arg(115200)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
