#pragma once

#include <cstdint>
#include <vector>

class ICellLoader;

// The cell image: an in-memory copy of the device's cells that loads each
// cell from the device the first time it is needed and remembers which cells
// hold a value read from the device (the loaded bits).
class CChanMap {
public:
    CChanMap() = default;
    virtual ~CChanMap();
    CChanMap(const CChanMap&) = delete;
    CChanMap& operator=(const CChanMap&) = delete;

    // Drops the old image and starts an empty one of count cells read through
    // loader; bulk loads every cell in one range read when one is missing.
    void ResetImage(uint32_t count, ICellLoader* loader, bool bulk);

    // The value of cell n, read from the device when its bit is clear. False
    // when n is outside the image or the device does not answer.
    bool GetCell(int n, uint8_t& value);

    // Clears the loaded bit of cell n; -1 clears every bit.
    void InvalidateCell(int n);
    bool IsLoaded(int n) const;

    uint32_t Count() const { return m_count; }
    bool Bulk() const { return m_bulk; }

private:
    void SetLoaded(uint32_t n);

    ICellLoader* m_loader = nullptr;
    std::vector<uint8_t> m_values;
    std::vector<uint8_t> m_loaded;   // bit i: byte i / 8, bit i % 8
    uint32_t m_count = 0;
    bool m_bulk = false;
};
