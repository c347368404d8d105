// The log chart on a full logger memory (2048 pages, one log).
//
//  ChartRepaint/<mask>/<zoom>: laying out and painting the chart, 1200 x 700
//    pixels, with every channel of the mask; zoom 0 shows the whole log,
//    zoom 1 one second in its middle. Mask 0x7F records every slot (8
//    channels, 43,008 samples each), 0x01 the throttle alone (3 channels,
//    174,080 samples each). The budget is 16 ms, one frame.
//  ChartOpenCsv/<mask>: the chart's Open of a 2048-page log file: reading,
//    decoding and building the series with their min/max pyramids. The
//    budget is 300 ms.
#include "CEscSimulator.h"
#include "controls/CChartView.h"
#include "library/CDeviceLibrary.h"
#include "logger/CDataProcessor.h"
#include "logger/CLogCsvReader.h"
#include "logger/CLogCsvWriter.h"
#include "logger/LoggerPage.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <memory>

#ifndef TORV_SOURCE_DIR
#error "TORV_SOURCE_DIR must name the source tree"
#endif

namespace {

constexpr std::size_t kPages = 2048;

struct Memory {
    CDeviceLibrary library;
    pugi::xml_node logger;
    std::vector<uint8_t> snapshot;
    std::vector<uint8_t> pages;
};

std::unique_ptr<Memory> MakeMemory(uint16_t mask)
{
    auto memory = std::make_unique<Memory>();
    CEscSimulator sim;
    const std::vector<uint8_t> generated = sim.LoggerMemory();
    const auto cells = sim.Cells();
    memory->snapshot.assign(cells.begin(), cells.begin() + 128);
    if (!memory->library.Load(QStringLiteral(TORV_SOURCE_DIR "/src/resources/Brisko.esc")))
        return nullptr;
    memory->logger = memory->library.FindLogger(cells[64], cells[65], cells[66]);
    memory->pages.resize(kPages * LoggerPage::kSize);
    for (std::size_t p = 0; p < kPages; ++p) {
        uint8_t* page = memory->pages.data() + p * LoggerPage::kSize;
        std::copy_n(generated.begin() + static_cast<std::ptrdiff_t>((p % 20) * LoggerPage::kSize), LoggerPage::kSize,
                    page);
        page[0] = 1;
        page[1] = 5;
        page[2] = static_cast<uint8_t>(mask & 0xFF);
        page[3] = static_cast<uint8_t>(mask >> 8);
    }
    return memory;
}

void AddSeries(CChartView& view, DecodedLog& log)
{
    int colour = 0;
    for (LogSeries& series : log.series) {
        auto serie = std::make_shared<CMChartSerie>(series.label, 0.0, log.dt, std::move(series.values));
        serie->SetColour(colour += 0x203040);
        view.AddSerie(std::move(serie));
    }
}

void ChartRepaint(benchmark::State& state)
{
    const auto memory = MakeMemory(static_cast<uint16_t>(state.range(0)));
    if (!memory) {
        state.SkipWithError("no library");
        return;
    }
    CDataProcessor processor(memory->logger, memory->snapshot);
    DecodedLog log;
    processor.Decode(memory->pages.data(), kPages, 0, kPages - 1, log);
    CChartView view;
    AddSeries(view, log);
    if (state.range(1) != 0) {
        const double middle = view.FullRange().second / 2;
        view.ZoomTo(middle, middle + 1);
    }
    const QSize size(1200, 700);
    QImage image(size, QImage::Format_RGB32);
    const QFont font;
    for (auto _ : state) {
        view.Layout(size, font);
        QPainter painter(&image);
        view.Paint(painter);
    }
    state.counters["series"] = static_cast<double>(view.Series().size());
    state.counters["samples"] = static_cast<double>(view.Series().front()->Size());
}

void ChartOpenCsv(benchmark::State& state)
{
    const auto memory = MakeMemory(static_cast<uint16_t>(state.range(0)));
    if (!memory) {
        state.SkipWithError("no library");
        return;
    }
    const QByteArray text = CLogCsvWriter::Format(memory->pages.data(), kPages, 0, kPages - 1, memory->snapshot);
    for (auto _ : state) {
        DecodedLog log;
        CLogCsvReader::ReadDecoded(text, memory->logger, memory->snapshot, nullptr, log);
        CChartView view;
        AddSeries(view, log);
        benchmark::DoNotOptimize(view.Series().data());
    }
    state.counters["bytes"] = static_cast<double>(text.size());
}

BENCHMARK(ChartRepaint)->Args({0x7F, 0})->Args({0x7F, 1})->Args({0x01, 0})->Args({0x01, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(ChartOpenCsv)->Arg(0x7F)->Arg(0x01)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
