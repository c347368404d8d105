#pragma once

#include <QString>

#include "logger/LoggerPage.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// Writing a memory image into the logger as a state machine: the image is
// sent page by page (264 bytes each, the next one once the previous page's
// write frame has come back); a time-out sends the same page again. The
// last page of an image whose size is not a multiple of 264 is filled up
// with 0xFF, as erased flash reads.
//
// The write frame comes back from the cable as its echo, whether an ESC
// took it or not, so a write is only known to have worked once the pages
// have been read back and compared (DifferingPages).
class CLogImageWriter {
public:
    static constexpr int kReplyLimitMs = 200;
    // Page indices are 16 bits on the wire.
    static constexpr std::size_t kMaxPages = 65536;
    // The largest image file: a whole logger memory of kMaxPages pages.
    static constexpr qint64 kMaxBytes = static_cast<qint64>(kMaxPages) * LoggerPage::kSize;

    explicit CLogImageWriter(std::vector<uint8_t> image);

    // Pages an image file of that many bytes is written as.
    static std::size_t PagesOf(qint64 bytes)
    {
        return static_cast<std::size_t>((bytes + LoggerPage::kSize - 1) / LoggerPage::kSize);
    }

    // Whether the image fits the 16-bit page index.
    bool Fits() const { return PageTotal() <= kMaxPages; }
    // Pages that are sent (a short last page counts).
    std::size_t PageTotal() const;
    // The progress range: whole pages in the image.
    std::size_t ProgressRange() const { return m_image.size() / LoggerPage::kSize; }

    // Starts with page 0; false when there is nothing to send.
    bool Start();
    // The previous page was written: moves to the next; false at the end.
    bool OnAck();
    // The page's reply did not come: counts the fault; the same page goes
    // again.
    void OnTimeout() { ++m_faults; }

    bool Done() const { return m_done; }
    uint16_t CurrentPage() const { return static_cast<uint16_t>(m_page); }
    std::size_t PageIndex() const { return m_page; }
    const std::array<uint8_t, LoggerPage::kSize>& CurrentData() const { return m_data; }
    uint32_t Faults() const { return m_faults; }

    // Page i of the image as it is written (a short last page filled up).
    std::array<uint8_t, LoggerPage::kSize> PageData(std::size_t i) const;
    // The pages that read back otherwise than written; readBack holds the
    // pages read from page 0 on, and a page it lacks counts as differing.
    std::vector<std::size_t> DifferingPages(const std::vector<uint8_t>& readBack) const;
    // Page numbers as ranges: "3, 38-77".
    static QString PageRanges(const std::vector<std::size_t>& pages);

    // "%-8.2f cps, %d transfered": page index × 264 × 1000 / elapsed ms
    // (0 while no time has passed) and page index × 264.
    QString StatusText(int64_t elapsedMs) const;
    // Seconds until the last page at the rate so far; none before a rate.
    std::optional<double> SecondsLeft(int64_t elapsedMs) const;

private:
    void LoadPage();

    std::vector<uint8_t> m_image;
    std::size_t m_page = 0;
    std::array<uint8_t, LoggerPage::kSize> m_data{};
    bool m_done = false;
    uint32_t m_faults = 0;
};
