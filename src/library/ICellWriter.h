#pragma once

#include <cstdint>

// Writes one cell of the device (the 'w' command). A successful write clears
// the cell's loaded bit in the cell image, so that the next read asks the
// device.
class ICellWriter {
public:
    virtual ~ICellWriter() = default;
    virtual bool WriteCell(uint8_t cell, uint8_t value) = 0;
    // The pacing after a successful write: the device needs this many
    // milliseconds before the next exchange.
    virtual void Pause(int ms) const = 0;
};
