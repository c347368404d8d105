#include "logger/CLogCsvReader.h"

#include "library/CDeviceLibrary.h"
#include "library/CXmlAttributes.h"
#include "logger/LoggerPage.h"

#include <QList>
#include <QString>

#include <algorithm>
#include <bitset>

namespace {

int Field(const QByteArray& field)
{
    bool ok = false;
    const int value = field.trimmed().toInt(&ok);
    return ok ? value : 0;
}

// Appends the pairs of one group line: its fields from the given one on.
void AppendPairs(const QList<QByteArray>& fields, int from, int pairs, std::vector<uint8_t>& out)
{
    for (int i = 0; i < pairs; ++i) {
        const int a = from + 2 * i < fields.size() ? Field(fields[from + 2 * i]) : 0;
        const int b = from + 2 * i + 1 < fields.size() ? Field(fields[from + 2 * i + 1]) : 0;
        out.push_back(static_cast<uint8_t>((a / 16) % 256));
        out.push_back(static_cast<uint8_t>((a % 16) * 16 + (b / 256) % 16));
        out.push_back(static_cast<uint8_t>(b % 256));
    }
}

} // namespace

QString CLogCsvReader::Message(Result result)
{
    switch (result) {
    case Result::OldStyle:
        return QStringLiteral("Old style log can not be processed here");
    case Result::Corrupted:
        return QStringLiteral("Corrupted log can not be processed here");
    case Result::UnknownLogger:
        return QStringLiteral("Log for unknown logger can not be processed here");
    case Result::NoSlots:
        return QStringLiteral("Corrupted log can not be processed here");
    case Result::Ok:
        break;
    }
    return {};
}

CLogCsvReader::Result CLogCsvReader::Read(const QByteArray& text, const CDeviceLibrary& library, Log& log)
{
    log = Log{};
    QList<QByteArray> lines = text.split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    if (lines.isEmpty() || !lines.front().startsWith('#'))
        return Result::OldStyle;
    for (const QByteArray& field : lines.front().mid(1).split(','))
        log.snapshot.push_back(static_cast<uint8_t>(Field(field)));
    if (log.snapshot.size() < 67)
        return Result::Corrupted;
    log.logger = library.FindLogger(log.snapshot[64], log.snapshot[65], log.snapshot[66]);
    if (!log.logger)
        return Result::UnknownLogger;

    qsizetype at = 1;
    auto nextLine = [&lines, &at](QByteArray& line) {
        while (at < lines.size()) {
            line = lines[at++];
            if (!line.isEmpty())
                return true;
        }
        return false;
    };
    QByteArray line;
    while (nextLine(line)) {
        const QList<QByteArray> fields = line.split(',');
        const int number = fields.size() > 1 ? Field(fields[1]) : 0;
        const int period = fields.size() > 2 ? Field(fields[2]) : 0;
        const auto mask = static_cast<uint16_t>(fields.size() > 3 ? Field(fields[3]) : 0);
        const int slotCount = static_cast<int>(std::bitset<16>(mask).count());
        if (slotCount == 0)
            return Result::NoSlots;
        const int even = (slotCount + 1) / 2 * 2;
        const std::size_t group = LoggerPage::GroupSize(slotCount);
        const std::size_t groups = LoggerPage::GroupsPerPage(slotCount);
        const std::size_t start = log.pages.size();
        log.pages.insert(log.pages.end(), {static_cast<uint8_t>(number), static_cast<uint8_t>(period),
                                           static_cast<uint8_t>(mask & 0xFF), static_cast<uint8_t>(mask >> 8), 0, 0, 0,
                                           0});
        AppendPairs(fields, 5, even / 2, log.pages);
        for (std::size_t g = 1; g < groups; ++g) {
            QByteArray next;
            if (at < lines.size() && lines[at].startsWith(",,,,") && nextLine(next)) {
                AppendPairs(next.split(','), 5, even / 2, log.pages);
            } else {
                // The file ends in the middle of the page: the missing groups
                // read as zero.
                log.pages.insert(log.pages.end(), group, 0);
            }
        }
        log.pages.resize(start + LoggerPage::kSize, 0);
    }
    log.pageCount = log.pages.size() / LoggerPage::kSize;
    return Result::Ok;
}

bool CLogCsvReader::ReadDecoded(const QByteArray& text, const pugi::xml_node& logger,
                                const std::vector<uint8_t>& shownSnapshot, IPrompt* prompt, DecodedLog& out,
                                std::vector<uint8_t>* snapshotOut)
{
    out = DecodedLog{};
    QList<QByteArray> lines = text.split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    qsizetype at = 0;
    std::vector<uint8_t> snapshot;
    if (!lines.isEmpty() && lines.front().startsWith('#')) {
        for (const QByteArray& field : lines.front().mid(1).split(','))
            snapshot.push_back(static_cast<uint8_t>(Field(field)));
        at = 1;
    } else {
        snapshot = shownSnapshot;
    }
    if (snapshotOut != nullptr)
        *snapshotOut = snapshot;

    CDataProcessor processor(logger, std::move(snapshot), prompt);
    bool ready = false;
    int pairs = 0;
    std::size_t groupsPerPage = 0;
    std::vector<uint8_t> group;
    double time = 0;
    auto evaluate = [&](const QList<QByteArray>& fields, double dt) {
        std::vector<uint8_t> bytes;
        bytes.reserve(group.size());
        AppendPairs(fields, 5, pairs, bytes);
        std::copy(bytes.begin(), bytes.end(), group.begin());
        processor.EvaluateGroup(group.data(), out);
        out.time.push_back(time);
        time += dt;
    };

    while (at < lines.size()) {
        const QByteArray line = lines[at++];
        if (line.isEmpty() || line.startsWith(",,,,"))
            continue;  // a continuation line without its page line
        const QList<QByteArray> fields = line.split(',');
        const int period = fields.size() > 2 ? Field(fields[2]) : 0;
        const auto mask = static_cast<uint16_t>(fields.size() > 3 ? Field(fields[3]) : 0);
        if (!ready) {
            const int slotTotal = processor.SetupChannels(mask);
            if (slotTotal == 0 || processor.Channels().Channels().empty())
                continue;
            ready = true;
            out.slotCount = slotTotal;
            out.dt = period / 50.0;
            for (const std::shared_ptr<AnyData>& channel : processor.Channels().Channels()) {
                out.series.push_back({channel->Label(), CXmlAttributes::Int(channel->Channel(), "color", -1), {}});
            }
            pairs = (slotTotal + 1) / 2;
            groupsPerPage = LoggerPage::GroupsPerPage(slotTotal);
            // Room for the realigned read of a channel at an odd slot.
            group.assign(LoggerPage::GroupSize(slotTotal) + 3, 0);
        }
        const double dt = period / 50.0;
        evaluate(fields, dt);
        for (std::size_t g = 1; g < groupsPerPage && at < lines.size() && lines[at].startsWith(",,,,"); ++g)
            evaluate(lines[at++].split(','), dt);
    }
    return ready;
}
