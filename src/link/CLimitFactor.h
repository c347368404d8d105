#pragma once

// The stretch of every time limit of the device exchanges: the whole number
// in the environment variable TORV_LIMIT_FACTOR (1 to 50) when it is set,
// else 1. A slow adapter, a virtual machine or a busy test machine may need
// more time than the ESC itself; one factor serves the short exchanges, the
// range reads, the logger pages and the telemetry records alike.
class CLimitFactor {
public:
    static constexpr int kMaxFactor = 50;

    // The factor in force (read from the environment at each call).
    static int Factor();
    // The product's limit in ms, stretched by the factor.
    static int Stretch(int ms);
};
