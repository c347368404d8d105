// Decoding 2048 logger pages with the sample library's channels (formulas
// compiled once into the formula engine's bytecode).
//
//  LogDecode/<mask>: 2048 pages of one log with that channel mask, filled
//    with the simulator's generated samples. 0x7F records every slot (7
//    slots, 21 samples a page, 8 channels with Power and Energy), 0x01 only
//    the throttle (85 samples a page, 3 channels), the most samples.
#include "CEscSimulator.h"
#include "library/CDeviceLibrary.h"
#include "logger/CDataProcessor.h"
#include "logger/LoggerPage.h"

#include <benchmark/benchmark.h>

#ifndef TORV_SOURCE_DIR
#error "TORV_SOURCE_DIR must name the source tree"
#endif

namespace {

void LogDecode(benchmark::State& state)
{
    const auto mask = static_cast<uint16_t>(state.range(0));
    CEscSimulator sim;
    const std::vector<uint8_t> generated = sim.LoggerMemory();
    const auto cells = sim.Cells();
    const std::vector<uint8_t> snapshot(cells.begin(), cells.begin() + 128);
    CDeviceLibrary library;
    if (!library.Load(QStringLiteral(TORV_SOURCE_DIR "/src/resources/Brisko.esc"))) {
        state.SkipWithError("no library");
        return;
    }
    const pugi::xml_node logger = library.FindLogger(cells[64], cells[65], cells[66]);

    constexpr std::size_t kPages = 2048;
    std::vector<uint8_t> pages(kPages * LoggerPage::kSize);
    for (std::size_t p = 0; p < kPages; ++p) {
        uint8_t* page = pages.data() + p * LoggerPage::kSize;
        std::copy_n(generated.begin() + static_cast<std::ptrdiff_t>((p % 20) * LoggerPage::kSize), LoggerPage::kSize, page);
        page[0] = 1;
        page[1] = 5;
        page[2] = static_cast<uint8_t>(mask & 0xFF);
        page[3] = static_cast<uint8_t>(mask >> 8);
    }
    std::size_t samples = 0;
    for (auto _ : state) {
        CDataProcessor processor(logger, snapshot);
        DecodedLog log;
        processor.Decode(pages.data(), kPages, 0, kPages - 1, log);
        samples = log.time.size();
        benchmark::DoNotOptimize(log.series.data());
    }
    state.counters["samples"] = static_cast<double>(samples);
}

BENCHMARK(LogDecode)->Arg(0x7F)->Arg(0x01)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
