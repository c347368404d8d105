#pragma once

#include <cstdint>

// One decoded channel of a log: evaluated once per sample group on the
// three bytes that hold its slots (none for a computed channel). Channels
// are shared (std::shared_ptr) between the channel list and its users.
class DataChunkProcessor {
public:
    virtual ~DataChunkProcessor() = default;
    virtual double Evaluate(const uint8_t* group) = 0;
    virtual int SlotCount() const = 0;
};
