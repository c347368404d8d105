#include "logger/CLogImageWriter.h"

#include <QStringList>

#include <algorithm>

CLogImageWriter::CLogImageWriter(std::vector<uint8_t> image)
    : m_image(std::move(image))
{
}

std::size_t CLogImageWriter::PageTotal() const
{
    return (m_image.size() + m_data.size() - 1) / m_data.size();
}

std::array<uint8_t, LoggerPage::kSize> CLogImageWriter::PageData(std::size_t i) const
{
    std::array<uint8_t, LoggerPage::kSize> data;
    // A short last page is padded as erased flash, never with the bytes of
    // the page before.
    data.fill(0xFF);
    const std::size_t from = std::min(i * data.size(), m_image.size());
    const std::size_t count = std::min(data.size(), m_image.size() - from);
    std::copy_n(m_image.begin() + static_cast<std::ptrdiff_t>(from), count, data.begin());
    return data;
}

void CLogImageWriter::LoadPage()
{
    m_data = PageData(m_page);
}

std::vector<std::size_t> CLogImageWriter::DifferingPages(const std::vector<uint8_t>& readBack) const
{
    std::vector<std::size_t> pages;
    for (std::size_t i = 0; i < PageTotal(); ++i) {
        const std::size_t at = i * LoggerPage::kSize;
        const std::array<uint8_t, LoggerPage::kSize> written = PageData(i);
        if (at + LoggerPage::kSize > readBack.size() ||
            !std::equal(written.begin(), written.end(), readBack.begin() + static_cast<std::ptrdiff_t>(at)))
            pages.push_back(i);
    }
    return pages;
}

QString CLogImageWriter::PageRanges(const std::vector<std::size_t>& pages)
{
    QStringList ranges;
    for (std::size_t i = 0; i < pages.size();) {
        std::size_t j = i;
        while (j + 1 < pages.size() && pages[j + 1] == pages[j] + 1)
            ++j;
        ranges.append(j == i ? QString::number(pages[i]) : QStringLiteral("%1-%2").arg(pages[i]).arg(pages[j]));
        i = j + 1;
    }
    return ranges.join(QStringLiteral(", "));
}

bool CLogImageWriter::Start()
{
    m_page = 0;
    m_faults = 0;
    m_done = m_image.empty() || !Fits();
    if (m_done)
        return false;
    LoadPage();
    return true;
}

bool CLogImageWriter::OnAck()
{
    if (m_done)
        return false;
    ++m_page;
    if (m_page >= PageTotal()) {
        m_done = true;
        return false;
    }
    LoadPage();
    return true;
}

QString CLogImageWriter::StatusText(int64_t elapsedMs) const
{
    const double bytes = static_cast<double>(m_page) * LoggerPage::kSize;
    const double cps = elapsedMs > 0 ? bytes * 1000.0 / static_cast<double>(elapsedMs) : 0.0;
    return QString::asprintf("%-8.2f cps, %d transfered", cps, static_cast<int>(m_page * LoggerPage::kSize));
}

std::optional<double> CLogImageWriter::SecondsLeft(int64_t elapsedMs) const
{
    if (elapsedMs <= 0 || m_page == 0)
        return std::nullopt;
    const double perPage = static_cast<double>(elapsedMs) / 1000.0 / static_cast<double>(m_page);
    return static_cast<double>(PageTotal() - std::min(PageTotal(), m_page)) * perPage;
}
