#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// The block erase of the logger memory as a state machine: eight block
// requests, each sent when the previous one is answered, carrying the page
// from which the ESC erases to the end: P − step, P − 2 × step, ... and
// finally 0, with step = P / 8. The last request always carries 0, so a
// page count that is not a multiple of 8 still erases everything; a page
// count below 8 (step 0) is erased with one request of 0.
class CEraseSequence {
public:
    static constexpr int kSteps = 8;

    explicit CEraseSequence(uint32_t pageCount);

    // The values of all requests, in order.
    const std::vector<uint16_t>& Requests() const { return m_requests; }

    // Returns the first request's value.
    uint16_t Start();
    // The previous request was answered: the next value, or none when done
    // or when a stop was asked for.
    std::optional<uint16_t> OnEcho();

    // Asked before each further request; true stops the erase there, between
    // two blocks (Ctrl+C in the command-line program).
    void SetStopRequest(std::function<bool()> stop) { m_stop = std::move(stop); }

    bool Done() const { return m_done; }
    bool Stopped() const { return m_stopped; }
    std::size_t Sent() const { return m_sent; }
    // The progress bar: from 8 (nothing erased) down to 0.
    int Position() const;

private:
    std::vector<uint16_t> m_requests;
    std::size_t m_sent = 0;
    bool m_done = false;
    bool m_stopped = false;
    std::function<bool()> m_stop;
};
