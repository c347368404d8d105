#include "logger/CLogDownload.h"

#include "library/CXmlAttributes.h"
#include "logger/LoggerPage.h"

#include <algorithm>
#include <cstring>

QString LogEntry::DurationText() const
{
    return QString::asprintf("%7.2f sec", duration);
}

QString LogEntry::ContentText() const
{
    return content.join(QStringLiteral(", "));
}

CLogDownload::CLogDownload(uint32_t pageCount, pugi::xml_node logger)
    // Page indices are 16 bits on the wire.
    : m_pageCount(std::min<uint32_t>(pageCount, 65536)), m_logger(logger)
{
}

std::optional<uint16_t> CLogDownload::Start()
{
    m_pages.assign(static_cast<std::size_t>(m_pageCount) * LoggerPage::kSize, 0xFF);
    m_logs.clear();
    m_open.reset();
    m_current = 0;
    m_received = 0;
    m_faults = 0;
    if (m_pageCount == 0) {
        m_state = State::Complete;
        return std::nullopt;
    }
    m_state = State::Requesting;
    return uint16_t{0};
}

void CLogDownload::DescribeMask(const pugi::xml_node& logger, uint16_t mask, QStringList& labels, int& slotCount)
{
    labels.clear();
    slotCount = 0;
    for (const pugi::xml_node& channel : logger.children("Channel")) {
        const std::optional<int> tag = CXmlAttributes::Int(channel, "tag");
        if (!tag)
            continue;
        const auto bits = static_cast<uint32_t>(*tag);
        if ((mask & bits) != bits)
            continue;
        labels.append(QString::fromUtf8(channel.attribute("label").value()));
        slotCount += LoggerPage::SlotCountOfTag(bits);
    }
}

void CLogDownload::CloseLast()
{
    if (!m_open)
        return;
    LogEntry entry = *m_open;
    m_open.reset();
    const uint8_t* first = m_pages.data() + static_cast<std::size_t>(entry.firstPage) * LoggerPage::kSize;
    DescribeMask(m_logger, LoggerPage::Mask(first), entry.content, entry.slotCount);
    const std::size_t samplesPerPage = LoggerPage::GroupsPerPage(entry.slotCount);
    entry.duration = static_cast<double>(entry.lastPage - entry.firstPage) * static_cast<double>(samplesPerPage) *
                     LoggerPage::Period(first) / 50.0;
    m_logs.push_back(std::move(entry));
}

std::optional<uint16_t> CLogDownload::OnPage(const uint8_t* page, std::size_t length)
{
    if (m_state != State::Requesting || page == nullptr || length < LoggerPage::kSize)
        return m_state == State::Requesting ? std::optional<uint16_t>(m_current) : std::nullopt;
    if (m_stopAtErased && LoggerPage::IsErased(page)) {
        CloseLast();
        m_state = State::Complete;
        return std::nullopt;
    }
    const uint32_t i = m_current;
    if (i > 0 && m_open && m_open->number == LoggerPage::LogNumber(page)) {
        m_open->lastPage = static_cast<uint16_t>(i);
    } else {
        CloseLast();
        LogEntry entry;
        entry.number = LoggerPage::LogNumber(page);
        entry.firstPage = static_cast<uint16_t>(i);
        entry.lastPage = static_cast<uint16_t>(i);
        m_open = entry;
    }
    std::memcpy(m_pages.data() + static_cast<std::size_t>(i) * LoggerPage::kSize, page, LoggerPage::kSize);
    ++m_received;
    if (i + 1 >= m_pageCount) {
        m_current = static_cast<uint16_t>(std::min<uint32_t>(i + 1, 0xFFFF));
        CloseLast();
        m_state = State::Complete;
        return std::nullopt;
    }
    m_current = static_cast<uint16_t>(i + 1);
    return m_current;
}

uint16_t CLogDownload::OnTimeout()
{
    ++m_faults;
    return m_current;
}

void CLogDownload::Stop()
{
    if (m_state != State::Requesting)
        return;
    // The log still arriving is incomplete: it is dropped, the closed ones
    // stay listed and can be shown.
    m_open.reset();
    m_state = State::Stopped;
}

QString CLogDownload::StatusText() const
{
    return QStringLiteral("%1 transfered").arg(m_received);
}

double CLogDownload::BytesPerSecond(int64_t elapsed) const
{
    if (elapsed <= 0)
        return 0;
    return static_cast<double>(m_received) * LoggerPage::kSize * 1000.0 / static_cast<double>(elapsed);
}

std::optional<double> CLogDownload::SecondsLeft(int64_t elapsedMs) const
{
    const double rate = BytesPerSecond(elapsedMs);
    if (rate <= 0)
        return std::nullopt;
    if (m_state != State::Requesting)
        return 0.0;
    return static_cast<double>(m_pageCount - m_received) * LoggerPage::kSize / rate;
}

LogSelection CLogDownload::Select(const std::vector<int>& rows, std::vector<uint8_t> snapshot, bool shift)
{
    LogSelection selection;
    selection.snapshot = std::move(snapshot);
    selection.logger = m_logger;
    selection.workbook = shift;
    std::vector<int> sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    for (int row : sorted) {
        if (row < 0 || static_cast<std::size_t>(row) >= m_logs.size())
            continue;
        LogEntry& entry = m_logs[static_cast<std::size_t>(row)];
        if (!entry.Displayable()) {
            selection.refused.append(
                QStringLiteral("Log %1 records no channel that the device library describes; it cannot be displayed.")
                    .arg(entry.number));
            continue;
        }
        entry.selected = true;
        LogEntry copy = entry;
        copy.firstPage = static_cast<uint16_t>(selection.pageCount);
        copy.lastPage = static_cast<uint16_t>(selection.pageCount + entry.PageCount() - 1);
        const auto* from = m_pages.data() + static_cast<std::size_t>(entry.firstPage) * LoggerPage::kSize;
        selection.pages.insert(selection.pages.end(), from, from + entry.PageCount() * LoggerPage::kSize);
        selection.pageCount += entry.PageCount();
        selection.logs.push_back(std::move(copy));
    }
    return selection;
}
