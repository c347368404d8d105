#pragma once

#include <cstddef>
#include <cstdint>

// CRC-16 of the device protocol (the MODBUS parameters): initial value
// 0xFFFF, reflected polynomial 0xA001, no final XOR. An empty input gives
// 0xFFFF. The device sends its CRC low byte first; the program sends the
// CRC of a firmware block high byte first.
class CCrc16 {
public:
    static uint16_t Compute(const uint8_t* bytes, size_t count);
};
