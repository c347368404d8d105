#include "logger/CLogCsvReader.h"

#include "library/CDeviceLibrary.h"
#include "library/CXmlAttributes.h"

#include <QList>
#include <QString>

#include <algorithm>
#include <bitset>

namespace {

constexpr int kMaxSlotValue = 4095;

// A whole number from 0 to limit, or none.
std::optional<int> Number(const QByteArray& field, int limit)
{
    bool ok = false;
    const int value = field.trimmed().toInt(&ok, 10);
    if (!ok || value < 0 || value > limit)
        return std::nullopt;
    return value;
}

QList<QByteArray> SplitLines(const QByteArray& text)
{
    QList<QByteArray> lines = text.split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

// The snapshot of a "#" line; false when a value is no byte.
bool ReadSnapshot(const QByteArray& line, std::vector<uint8_t>& snapshot)
{
    snapshot.clear();
    for (const QByteArray& field : line.mid(1).split(',')) {
        const std::optional<int> value = Number(field, 255);
        if (!value)
            return false;
        snapshot.push_back(static_cast<uint8_t>(*value));
    }
    return true;
}

// One page of a log file: its header fields and the slot values of the
// whole groups read, valuesPerGroup of them per group.
struct FilePage {
    uint8_t number = 0;
    uint8_t period = 0;
    uint16_t mask = 0;
    int valuesPerGroup = 0;  // the mask's 1 bits rounded up to even
    std::size_t groupsExpected = 0;
    std::vector<int> values;

    std::size_t Groups() const { return valuesPerGroup == 0 ? 0 : values.size() / valuesPerGroup; }
    // Packs group g into three bytes per pair of values.
    void PackGroup(std::size_t g, uint8_t* out, int pairs) const
    {
        for (int i = 0; i < pairs; ++i) {
            const int at = static_cast<int>(g) * valuesPerGroup + 2 * i;
            const int a = 2 * i < valuesPerGroup ? values[static_cast<std::size_t>(at)] : 0;
            const int b = 2 * i + 1 < valuesPerGroup ? values[static_cast<std::size_t>(at) + 1] : 0;
            out[3 * i] = static_cast<uint8_t>(a / 16);
            out[3 * i + 1] = static_cast<uint8_t>((a % 16) * 16 + b / 256);
            out[3 * i + 2] = static_cast<uint8_t>(b % 256);
        }
    }
};

// Walks the pages of a log file from a line on, checking every group line,
// and stops at the first page that is not whole.
class PageWalker {
public:
    PageWalker(const QList<QByteArray>& lines, qsizetype from)
        : m_lines(lines), m_at(from)
    {
    }

    // The next page; false at the end of the file or after the incomplete
    // page, which is returned with its whole groups.
    bool Next(FilePage& page)
    {
        if (m_damage || !SkipEmpty())
            return false;
        page = FilePage{};
        ++m_pages;
        const qsizetype pageLine = m_at++;
        const QList<QByteArray> fields = m_lines[pageLine].split(',');
        if (m_lines[pageLine].startsWith(",,,,") || !Header(fields, page)) {
            Stop(CLogCsvReader::Damage::Kind::Damaged, pageLine, page);
            return true;
        }
        if (page.valuesPerGroup == 0) {
            // No slot: no groups to read; what follows belongs to nobody.
            while (SkipEmpty() && m_lines[m_at].startsWith(",,,,"))
                ++m_at;
            return true;
        }
        if (!TakeGroup(fields, 0, page)) {
            Stop(CLogCsvReader::Damage::Kind::Damaged, pageLine, page);
            return true;
        }
        for (std::size_t g = 1; g < page.groupsExpected; ++g) {
            if (!SkipEmpty()) {
                Stop(CLogCsvReader::Damage::Kind::Cut, LastLine(), page);
                return true;
            }
            if (!m_lines[m_at].startsWith(",,,,")) {
                Stop(CLogCsvReader::Damage::Kind::Missing, m_at, page);
                return true;
            }
            if (!TakeGroup(m_lines[m_at].split(','), g, page)) {
                Stop(CLogCsvReader::Damage::Kind::Damaged, m_at, page);
                return true;
            }
            ++m_at;
        }
        return true;
    }

    const std::optional<CLogCsvReader::Damage>& Damage() const { return m_damage; }

private:
    bool SkipEmpty()
    {
        while (m_at < m_lines.size() && m_lines[m_at].trimmed().isEmpty())
            ++m_at;
        return m_at < m_lines.size();
    }

    qsizetype LastLine() const
    {
        qsizetype last = m_lines.size() - 1;
        while (last > 0 && m_lines[last].trimmed().isEmpty())
            --last;
        return last;
    }

    static bool Header(const QList<QByteArray>& fields, FilePage& page)
    {
        if (fields.size() < 4)
            return false;
        const std::optional<int> number = Number(fields[1], 255);
        const std::optional<int> period = Number(fields[2], 255);
        const std::optional<int> mask = Number(fields[3], 65535);
        if (!number || !period || !mask)
            return false;
        page.number = static_cast<uint8_t>(*number);
        page.period = static_cast<uint8_t>(*period);
        page.mask = static_cast<uint16_t>(*mask);
        const int bits = static_cast<int>(std::bitset<16>(page.mask).count());
        page.valuesPerGroup = (bits + 1) / 2 * 2;
        page.groupsExpected = LoggerPage::GroupsPerPage(bits);
        return true;
    }

    // Appends the values of group g from its line's fields: the group index,
    // then one value per slot.
    static bool TakeGroup(const QList<QByteArray>& fields, std::size_t g, FilePage& page)
    {
        if (fields.size() < 5 + page.valuesPerGroup || Number(fields[4], 65535) != static_cast<int>(g))
            return false;
        std::vector<int> values;
        for (int i = 0; i < page.valuesPerGroup; ++i) {
            const std::optional<int> value = Number(fields[5 + i], kMaxSlotValue);
            if (!value)
                return false;
            values.push_back(*value);
        }
        page.values.insert(page.values.end(), values.begin(), values.end());
        return true;
    }

    void Stop(CLogCsvReader::Damage::Kind kind, qsizetype line, const FilePage& page)
    {
        m_damage = CLogCsvReader::Damage{kind, m_pages, static_cast<int>(line) + 1, page.Groups()};
    }

    const QList<QByteArray>& m_lines;
    qsizetype m_at;
    std::size_t m_pages = 0;
    std::optional<CLogCsvReader::Damage> m_damage;
};

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

QString CLogCsvReader::DamageText(const Damage& damage)
{
    if (damage.page == 0)
        return QStringLiteral("the calibration line of the log is damaged");
    const QString page = QStringLiteral("page %1 of the log is incomplete").arg(damage.page);
    switch (damage.kind) {
    case Damage::Kind::Cut:
        return QStringLiteral("%1: the file ends after line %2").arg(page).arg(damage.line);
    case Damage::Kind::Missing:
        return QStringLiteral("%1: group lines are missing before line %2").arg(page).arg(damage.line);
    case Damage::Kind::Damaged:
        break;
    }
    return QStringLiteral("%1: line %2 is damaged").arg(page).arg(damage.line);
}

QString CLogCsvReader::DamageMessage(const Damage& damage)
{
    QString text = DamageText(damage);
    text[0] = text[0].toUpper();
    if (damage.page == 0)
        return text + QStringLiteral(": nothing can be shown.");
    return text + QStringLiteral(".\r\nOnly the samples before it are shown.");
}

CLogCsvReader::Result CLogCsvReader::Read(const QByteArray& text, const CDeviceLibrary& library, Log& log)
{
    log = Log{};
    const QList<QByteArray> lines = SplitLines(text);
    if (lines.isEmpty() || !lines.front().startsWith('#'))
        return Result::OldStyle;
    if (!ReadSnapshot(lines.front(), log.snapshot) || log.snapshot.size() < 67)
        return Result::Corrupted;
    log.logger = library.FindLogger(log.snapshot[64], log.snapshot[65], log.snapshot[66]);
    if (!log.logger)
        return Result::UnknownLogger;

    PageWalker walker(lines, 1);
    FilePage page;
    while (walker.Next(page)) {
        if (page.Groups() == 0) {
            if (walker.Damage())
                break;
            return Result::NoSlots;  // a mask without a 1 bit
        }
        const std::size_t start = log.pages.size();
        log.pages.resize(start + LoggerPage::kSize, 0);
        uint8_t* bytes = log.pages.data() + start;
        bytes[0] = page.number;
        bytes[1] = page.period;
        bytes[2] = static_cast<uint8_t>(page.mask & 0xFF);
        bytes[3] = static_cast<uint8_t>(page.mask >> 8);
        const std::size_t group = static_cast<std::size_t>(page.valuesPerGroup) / 2 * 3;
        for (std::size_t g = 0; g < page.Groups(); ++g)
            page.PackGroup(g, bytes + LoggerPage::kHeaderSize + g * group, page.valuesPerGroup / 2);
        log.lastPageBytes = page.Groups() < page.groupsExpected ? page.Groups() * group : LoggerPage::kSampleBytes;
    }
    log.damage = walker.Damage();
    log.pageCount = log.pages.size() / LoggerPage::kSize;
    return Result::Ok;
}

bool CLogCsvReader::ReadDecoded(const QByteArray& text, const pugi::xml_node& logger,
                                const std::vector<uint8_t>& shownSnapshot, IPrompt* prompt, DecodedLog& out,
                                std::vector<uint8_t>* snapshotOut, std::optional<Damage>* damageOut)
{
    out = DecodedLog{};
    const QList<QByteArray> lines = SplitLines(text);
    qsizetype from = 0;
    std::vector<uint8_t> snapshot = shownSnapshot;
    std::optional<Damage> damage;
    if (!lines.isEmpty() && lines.front().startsWith('#')) {
        from = 1;
        if (!ReadSnapshot(lines.front(), snapshot))
            damage = Damage{Damage::Kind::Damaged, 0, 1, 0};
    }
    if (snapshotOut != nullptr)
        *snapshotOut = snapshot;

    CDataProcessor processor(logger, std::move(snapshot), prompt);
    bool ready = false;
    int pairs = 0;
    std::vector<uint8_t> group;
    double time = 0;
    PageWalker walker(lines, from);
    FilePage page;
    while (!damage && walker.Next(page)) {
        if (!ready) {
            if (page.Groups() == 0)
                continue;
            const int slotTotal = processor.SetupChannels(page.mask);
            if (slotTotal == 0 || processor.Channels().Channels().empty())
                continue;
            ready = true;
            out.slotCount = slotTotal;
            out.dt = page.period / 50.0;
            for (const std::shared_ptr<AnyData>& channel : processor.Channels().Channels())
                out.series.push_back({channel->Label(), CXmlAttributes::Int(channel->Channel(), "color", -1), {}});
            pairs = (slotTotal + 1) / 2;
            // Room for the realigned read of a channel at an odd slot.
            group.assign(LoggerPage::GroupSize(slotTotal) + 3, 0);
        }
        const double dt = page.period / 50.0;
        for (std::size_t g = 0; g < page.Groups(); ++g) {
            std::fill(group.begin(), group.end(), 0);
            page.PackGroup(g, group.data(), pairs);
            processor.AppendSample(group.data(), time, dt, out);
            time += dt;
        }
    }
    if (!damage)
        damage = walker.Damage();
    if (damageOut != nullptr)
        *damageOut = damage;
    return ready;
}
