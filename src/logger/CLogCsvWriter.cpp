#include "logger/CLogCsvWriter.h"

#include "base/CAtomicFile.h"
#include "logger/LoggerPage.h"

#include <algorithm>
#include <bitset>

QByteArray CLogCsvWriter::Format(const uint8_t* pages, std::size_t pageCount, std::size_t first, std::size_t last,
                                 const std::vector<uint8_t>& snapshot, std::size_t lastPageBytes)
{
    QByteArray text;
    text.reserve(static_cast<qsizetype>(snapshot.size() * 4 + (last - first + 1) * 1100 + 16));
    text += '#';
    for (std::size_t i = 0; i < snapshot.size(); ++i) {
        if (i > 0)
            text += ',';
        text += QByteArray::number(snapshot[i]);
    }
    text += "\r\n";
    if (pages == nullptr)
        return text;
    for (std::size_t p = first; p <= last && p < pageCount; ++p) {
        const uint8_t* page = pages + p * LoggerPage::kSize;
        const uint16_t mask = LoggerPage::Mask(page);
        const int slotCount = static_cast<int>(std::bitset<16>(mask).count());
        // A mask without 1 bits has no groups to write.
        const std::size_t group = LoggerPage::GroupSize(slotCount);
        std::size_t groups = LoggerPage::GroupsPerPage(slotCount);
        if (p == last && group > 0)
            groups = std::min(groups, lastPageBytes / group);
        for (std::size_t g = 0; g < groups; ++g) {
            if (g == 0) {
                text += QByteArray::number(static_cast<qulonglong>(p)) + ',' +
                        QByteArray::number(LoggerPage::LogNumber(page)) + ',' +
                        QByteArray::number(LoggerPage::Period(page)) + ',' + QByteArray::number(mask) + ',';
            } else {
                text += ",,,,";
            }
            text += QByteArray::number(static_cast<qulonglong>(g));
            const uint8_t* bytes = page + LoggerPage::kHeaderSize + g * group;
            for (std::size_t pair = 0; pair < group; pair += 3) {
                text += ',' + QByteArray::number(LoggerPage::EvenSlot(bytes + pair));
                text += ',' + QByteArray::number(LoggerPage::OddSlot(bytes + pair));
            }
            text += "\r\n";
        }
    }
    return text;
}

bool CLogCsvWriter::Save(const QString& path, const uint8_t* pages, std::size_t pageCount, std::size_t first,
                         std::size_t last, const std::vector<uint8_t>& snapshot, QString* error,
                         std::size_t lastPageBytes)
{
    return CAtomicFile::WriteWhole(path, Format(pages, pageCount, first, last, snapshot, lastPageBytes), error);
}
