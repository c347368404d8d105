#include "library/CChanMap.h"

#include "link/ICellLoader.h"

#include <algorithm>
#include <array>

CChanMap::~CChanMap() = default;

void CChanMap::ResetImage(uint32_t count, ICellLoader* loader, bool bulk)
{
    m_loader = loader;
    m_count = count;
    m_bulk = bulk;
    m_values.assign(count, 0);
    m_loaded.assign((static_cast<size_t>(count) + 7) / 8, 0);
}

bool CChanMap::IsLoaded(int n) const
{
    const auto cell = static_cast<uint32_t>(n);
    if (cell >= m_count)
        return false;
    return (m_loaded[cell / 8] >> (cell % 8)) & 1U;
}

void CChanMap::SetLoaded(uint32_t n)
{
    m_loaded[n / 8] |= static_cast<uint8_t>(1U << (n % 8));
}

void CChanMap::InvalidateCell(int n)
{
    if (n == -1) {
        std::fill(m_loaded.begin(), m_loaded.end(), 0);
        return;
    }
    const auto cell = static_cast<uint32_t>(n);
    if (cell < m_count)
        m_loaded[cell / 8] &= static_cast<uint8_t>(~(1U << (cell % 8)));
}

bool CChanMap::GetCell(int n, uint8_t& value)
{
    const auto cell = static_cast<uint32_t>(n);
    if (cell >= m_count)
        return false;
    if (IsLoaded(n)) {
        value = m_values[cell];
        return true;
    }
    if (m_loader == nullptr)
        return false;
    if (m_bulk) {
        const auto last = static_cast<uint8_t>((m_count - 1) % 256);
        // A failed range read leaves the values as they were (the loader's
        // promise), so cells still marked loaded keep the device's values.
        if (!m_loader->LoadCells(0, last, m_values.data()))
            return false;
        // A range read reaches cells 0..255 only; cells beyond it stay unloaded.
        for (uint32_t i = 0; i <= last; ++i)
            SetLoaded(i);
        if (!IsLoaded(n))
            return false;
        value = m_values[cell];
        return true;
    }
    if (!m_loader->LoadCell(n, m_values[cell]))
        return false;
    SetLoaded(cell);
    value = m_values[cell];
    return true;
}
