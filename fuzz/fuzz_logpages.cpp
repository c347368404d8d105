// Logger memory pages as the ESC sends them: a calibration snapshot and
// arbitrary 264-byte pages, split into logs by the download and each log
// decoded with the sample library's logger channels.

#include "FuzzInput.h"

#include "library/CDeviceLibrary.h"
#include "logger/CDataProcessor.h"
#include "logger/CLogDownload.h"
#include "logger/LoggerPage.h"

#include <QLoggingCategory>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {
constexpr size_t kSnapshotSize = 128;
constexpr size_t kMaxPages = 64;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CDeviceLibrary library;
    static const pugi::xml_node logger = [] {
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
        const pugi::xml_node found =
            library.Load(QStringLiteral(TORV_SAMPLE_LIBRARY)) ? library.FindLogger(3, 2, 0) : pugi::xml_node();
        if (!found) {
            std::fprintf(stderr, "no logger in the sample library %s\n", TORV_SAMPLE_LIBRARY);
            std::abort();
        }
        return found;
    }();

    FuzzInput input(data, size);
    const QByteArray head = input.Bytes(kSnapshotSize);
    std::vector<uint8_t> snapshot(kSnapshotSize, 0);
    std::copy(head.begin(), head.end(), snapshot.begin());

    std::vector<uint8_t> pages;
    while (!input.Empty() && pages.size() < kMaxPages * LoggerPage::kSize) {
        const QByteArray page = input.Bytes(LoggerPage::kSize);
        pages.insert(pages.end(), page.begin(), page.end());
        pages.resize((pages.size() + LoggerPage::kSize - 1) / LoggerPage::kSize * LoggerPage::kSize, 0xFF);
    }
    const size_t pageCount = pages.size() / LoggerPage::kSize;
    if (pageCount == 0)
        return 0;

    CLogDownload download(static_cast<uint32_t>(pageCount), logger);
    std::optional<uint16_t> next = download.Start();
    while (next && *next < pageCount)
        next = download.OnPage(pages.data() + *next * LoggerPage::kSize, LoggerPage::kSize);

    const std::vector<uint8_t>& got = download.Pages();
    const size_t gotPages = got.size() / LoggerPage::kSize;
    for (const LogEntry& log : download.Logs()) {
        if (log.firstPage > log.lastPage || log.lastPage >= gotPages) {
            std::fprintf(stderr, "CLogDownload: log %d spans pages %d-%d of %zu\n", log.number, log.firstPage,
                         log.lastPage, gotPages);
            std::abort();
        }
        CDataProcessor processor(logger, snapshot);
        DecodedLog decoded;
        processor.Decode(got.data(), gotPages, log.firstPage, log.lastPage, decoded);
    }
    // Every page on its own, as a log of one page, whatever its header says.
    for (size_t page = 0; page < pageCount; ++page) {
        CDataProcessor processor(logger, snapshot);
        DecodedLog decoded;
        processor.Decode(pages.data(), pageCount, page, page, decoded);
    }
    return 0;
}
