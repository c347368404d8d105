// Firmware upload of a 64 KB image (455 pages of 144 bytes) to the simulated
// ESC's boot loader at 19200 baud with line timing on, through TORV's
// uploader (collector notices, event loop, one page outstanding).
//
// Wire bound of one upload: bytes on the wire x 10 bits / baud plus the
// ESC's processing delays, from the simulator's counters (the echo travels
// back while the frame is still going out, so it costs no extra line time).
// rate_vs_wire = bound / measured: 1.0 is the line's own speed.
//
//  FirmwareUpload/<pages>  (the full 455 pages takes about 36 s a run)
#include "CEscSimulator.h"
#include "common/CCountingHost.h"
#include "firmware/CFirmwareUploader.h"
#include "link/CDeviceProtocol.h"
#include "link/CSerialPort.h"
#include "link/CSynchroBytesCollector.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>

#include <memory>

namespace {


void FirmwareUpload(benchmark::State& state)
{
    const auto pages = static_cast<size_t>(state.range(0));
    CEscSimulator::Options options;
    options.lineTiming = true;
    CEscSimulator sim(options);
    if (!sim.Start()) {
        state.SkipWithError("the simulator did not start");
        return;
    }
    CSerialPort port;
    CSynchroBytesCollector shortCollector(port);
    CCountingHost host;
    CDeviceProtocol protocol(port, shortCollector, host);
    if (!port.Open(QString::fromStdString(sim.DevicePath()), 19200)) {
        state.SkipWithError("the port did not open");
        return;
    }
    CFirmwareUploader uploader(port, protocol);
    std::vector<uint8_t> image(pages * CFirmwareUploader::kPageSize);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(i * 13 + 1);

    double measured = 0;
    double bound = 0;
    for (auto _ : state) {
        if (!uploader.QueryBootloader()) {
            state.SkipWithError("the boot loader did not answer");
            return;
        }
        bool done = false;
        QObject::connect(&uploader, &CFirmwareUploader::finished, [&done] { done = true; });
        QObject::connect(&uploader, &CFirmwareUploader::failed, [&done] { done = true; });
        sim.ResetCounters();
        QElapsedTimer clock;
        clock.start();
        uploader.Start(image);
        while (!done)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        // The boot loader's closing pause is not line time.
        measured += clock.nsecsElapsed() / 1e9 - CFirmwareUploader::kFinalPauseMs / 1e3;
        bound += static_cast<double>(sim.BytesOnWire()) * 10 / 19200 + static_cast<double>(sim.ProcessingDelaysUs()) / 1e6;
        uploader.disconnect();
        if (sim.UploadedFirmware() != image)
            state.SkipWithError("the simulator holds another image");
    }
    state.counters["seconds"] = measured / static_cast<double>(state.iterations());
    state.counters["rate_vs_wire"] = bound / measured;
}

} // namespace

BENCHMARK(FirmwareUpload)->Arg(455)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("torv.*=false"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
