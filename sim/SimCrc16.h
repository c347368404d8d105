#pragma once

#include <cstddef>
#include <cstdint>

// CRC-16/MODBUS as the ESC computes it: initial value 0xFFFF, reflected
// polynomial 0xA001, no final XOR. The ESC's own copy, kept apart from TORV's.
uint16_t SimCrc16(const uint8_t* data, std::size_t size);
