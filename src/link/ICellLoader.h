#pragma once

#include <cstdint>

// Source of cell values for the cell image. The device session implements it
// over the serial protocol.
class ICellLoader {
public:
    virtual ~ICellLoader() = default;

    // Reads one cell.
    virtual bool LoadCell(int cell, uint8_t& value) = 0;

    // Reads the cells first..last into out[first..last] (out holds at least
    // last + 1 bytes). On failure out is left unchanged.
    virtual bool LoadCells(uint8_t first, uint8_t last, uint8_t* out) = 0;
};
