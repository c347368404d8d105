#include "logger/CLogImageWriter.h"

#include <algorithm>

CLogImageWriter::CLogImageWriter(std::vector<uint8_t> image)
    : m_image(std::move(image))
{
}

std::size_t CLogImageWriter::PageTotal() const
{
    return (m_image.size() + m_data.size() - 1) / m_data.size();
}

void CLogImageWriter::LoadPage()
{
    const std::size_t from = m_page * m_data.size();
    const std::size_t count = std::min(m_data.size(), m_image.size() - from);
    // A short last page is padded as erased flash, never with the bytes of
    // the page before.
    m_data.fill(0xFF);
    std::copy_n(m_image.begin() + static_cast<std::ptrdiff_t>(from), count, m_data.begin());
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
