#pragma once

#include <cstdint>

// Writes one cell of the device (the 'w' command). Whoever keeps a copy of
// the cells clears the written cell's loaded bit, so that the next read asks
// the device.
class ICellWriter {
public:
    virtual ~ICellWriter() = default;
    virtual bool WriteCell(uint8_t cell, uint8_t value) = 0;
    // The pacing after a successful write: the device needs this many
    // milliseconds before the next exchange.
    virtual void Pause(int ms) const = 0;
    // The presence probe: true when the device still answers.
    virtual bool Probe() = 0;
};
