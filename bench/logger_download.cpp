// Download of the logger memory from the simulated ESC with line timing on,
// through TORV's page collector, CLoggerTransfer and CLogDownload.
//
//  LoggerDownload/<baud>/<pages>: reads <pages> pages of a memory filled
//    with logs (no erased page ends it early). One request is outstanding
//    at a time, so the wire bound of one page is its request (5 bytes, the
//    echo travels back while it goes out) plus the 267-byte answer at 10
//    bits per byte, plus the ESC's processing delay; the bound is taken
//    from the simulator's own counters. wire_ratio = bound / measured
//    (1.0 = as fast as the line allows).
//
// The full memory is 2048 pages; at 115200 baud that alone is about 50 s,
// so the default runs read a part of it. TORV_BENCH_FULL_MEMORY=1 reads all.
#include "CEscSimulator.h"
#include "common/CCountingHost.h"
#include "link/CDeviceProtocol.h"
#include "link/CSerialPort.h"
#include "link/CSynchroBytesCollector.h"
#include "logger/CLogDownload.h"
#include "logger/CLoggerTransfer.h"
#include "logger/LoggerPage.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QLoggingCategory>

#include <chrono>
#include <cstdlib>

namespace {


QCoreApplication& App()
{
    static int argc = 1;
    static char name[] = "bench_logger_download";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

void LoggerDownload(benchmark::State& state)
{
    App();
    QLoggingCategory::setFilterRules(QStringLiteral("torv.*=false"));
    const int baud = static_cast<int>(state.range(0));
    uint32_t pages = static_cast<uint32_t>(state.range(1));
    if (std::getenv("TORV_BENCH_FULL_MEMORY") != nullptr)
        pages = 2048;

    CEscSimulator::Options options;
    options.lineTiming = true;
    CEscSimulator sim(options);
    if (!sim.Start()) {
        state.SkipWithError("simulator did not start");
        return;
    }
    // Fill the whole memory with the generated logs over and over.
    const std::vector<uint8_t> generated = sim.LoggerMemory();
    const std::size_t used = 38 * LoggerPage::kSize;
    std::vector<uint8_t> memory(2048 * LoggerPage::kSize);
    for (std::size_t at = 0; at < memory.size(); ++at)
        memory[at] = generated[at % used];
    sim.SetLoggerMemory(memory);

    CSerialPort port;
    CSynchroBytesCollector shortCollector(port);
    CCountingHost host;
    CDeviceProtocol protocol(port, shortCollector, host);
    if (!port.Open(QString::fromStdString(sim.DevicePath()), 19200) || !protocol.ChangeLinkSpeed(baud) ||
        port.LinkSpeed() != baud) {
        state.SkipWithError("could not reach the link speed");
        return;
    }

    CLoggerTransfer transfer(port);
    double ratioSum = 0;
    for (auto _ : state) {
        CLogDownload download(pages, {});
        sim.ResetCounters();
        const auto start = std::chrono::steady_clock::now();
        transfer.StartDownload(download, 1000);
        const bool done = transfer.Wait();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        if (!done || download.PagesReceived() != pages) {
            state.SkipWithError("download incomplete");
            return;
        }
        const double bound = static_cast<double>(sim.BytesOnWire()) * 10.0 / baud + sim.ProcessingDelaysUs() / 1e6;
        ratioSum += bound / seconds;
        state.counters["faults"] = download.Faults();
    }
    state.counters["pages"] = pages;
    state.counters["wire_ratio"] = ratioSum / static_cast<double>(state.iterations());
    state.counters["pages_per_s"] =
        benchmark::Counter(static_cast<double>(pages) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(LoggerDownload)->Args({115200, 128})->Args({460800, 512})->UseManualTime()->Iterations(2)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
