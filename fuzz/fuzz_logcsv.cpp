// The log file (*.csv of the logger): arbitrary text read back into pages
// against the sample device library, and the pages read decoded with the
// logger's channels, as `torv-cli logs decode` and the chart's Open do.

#include "FuzzInput.h"

#include "library/CDeviceLibrary.h"
#include "logger/CDataProcessor.h"
#include "logger/CLogCsvReader.h"
#include "logger/LoggerPage.h"

#include <QLoggingCategory>

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const CDeviceLibrary* library = [] {
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
        auto* loaded = new CDeviceLibrary;
        if (!loaded->Load(QStringLiteral(TORV_SAMPLE_LIBRARY))) {
            std::fprintf(stderr, "cannot load the sample library %s\n", TORV_SAMPLE_LIBRARY);
            std::abort();
        }
        return loaded;
    }();

    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    CLogCsvReader::Log log;
    if (CLogCsvReader::Read(text, *library, log) != CLogCsvReader::Result::Ok)
        return 0;
    if (log.pages.size() != log.pageCount * LoggerPage::kSize || !log.logger) {
        std::fprintf(stderr, "CLogCsvReader::Read: %zu bytes for %zu pages\n", log.pages.size(), log.pageCount);
        std::abort();
    }
    if (log.pageCount == 0)
        return 0;
    CDataProcessor processor(log.logger, log.snapshot);
    DecodedLog decoded;
    if (processor.Decode(log.pages.data(), log.pageCount, 0, log.pageCount - 1, decoded)) {
        for (const LogSeries& series : decoded.series) {
            if (series.values.size() != decoded.time.size()) {
                std::fprintf(stderr, "CDataProcessor::Decode: %zu values for %zu times\n", series.values.size(),
                             decoded.time.size());
                std::abort();
            }
        }
    }
    return 0;
}
