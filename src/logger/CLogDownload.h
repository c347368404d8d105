#pragma once

#include <QString>
#include <QStringList>
#include <pugixml.hpp>

#include <cstdint>
#include <optional>
#include <vector>

// One log found in the logger memory: a run of consecutive pages with the
// same log number.
struct LogEntry {
    uint16_t number = 0;
    uint16_t firstPage = 0;      // index in the page buffer
    uint16_t lastPage = 0;
    double duration = 0;         // seconds
    QStringList content;         // labels of the channels the log records
    int slotCount = 0;               // slot total; 0: nothing the library describes
    bool selected = false;

    uint32_t PageCount() const { return static_cast<uint32_t>(lastPage) - firstPage + 1; }
    // A log whose mask selects no described slot has no samples to show.
    bool Displayable() const { return slotCount > 0; }
    QString DurationText() const;  // "%7.2f sec"
    QString ContentText() const;   // labels joined by ", "
};

// The logs chosen with Display, handed to whoever shows them: their pages
// copied one after the other into a new buffer (each entry's first and last
// page re-counted in it), the calibration snapshot and the logger
// description that names the channels.
struct LogSelection {
    std::vector<uint8_t> pages;
    uint32_t pageCount = 0;
    std::vector<LogEntry> logs;
    std::vector<uint8_t> snapshot;
    pugi::xml_node logger;
    pugi::xml_node esc;           // the device's ESC element, for the workbook's names
    bool workbook = false;        // Display with Shift: write the log workbook too
    QStringList refused;          // "Log %d ..." for chosen logs that cannot be shown
};

// The logger memory download as a state machine, without a port: it says
// which page to request next and takes the pages (or time-outs) that come
// back. Pages are stored at index × 264 of the page buffer; logs are split
// and closed while pages arrive. The window and the command line drive it
// through CLoggerTransfer.
class CLogDownload {
public:
    enum class State { Idle, Requesting, Complete, Stopped };

    CLogDownload(uint32_t pageCount, pugi::xml_node logger);

    // Starts over; returns the first page to request (0), or none when the
    // page count is 0.
    std::optional<uint16_t> Start();
    // A valid page arrived for the current request. Returns the next page
    // to request, or none when the download has ended (all pages read, or
    // an erased page met).
    std::optional<uint16_t> OnPage(const uint8_t* page, std::size_t length);
    // The request timed out: returns the same page to request again.
    uint16_t OnTimeout();
    // Stops a running download; the logs already complete stay, the one
    // still arriving is dropped.
    void Stop();

    // False: every page is read, erased ones too (reading back a memory
    // image that was written).
    void SetStopAtErased(bool stop) { m_stopAtErased = stop; }

    State CurrentState() const { return m_state; }
    bool Running() const { return m_state == State::Requesting; }
    uint32_t PageCount() const { return m_pageCount; }
    uint16_t CurrentPage() const { return m_current; }
    uint32_t PagesReceived() const { return m_received; }
    uint32_t Faults() const { return m_faults; }

    // Closed logs in download order (the rows of the list).
    const std::vector<LogEntry>& Logs() const { return m_logs; }
    const std::vector<uint8_t>& Pages() const { return m_pages; }

    // "%d transfered" with the current page index.
    QString StatusText() const;

    // Transfer rate (bytes of page data per second) and the time left, after
    // elapsedMs milliseconds of the transfer (the transfer's own clock).
    double BytesPerSecond(int64_t elapsedMs) const;
    // Seconds until the last page at the rate so far; none before a rate.
    std::optional<double> SecondsLeft(int64_t elapsedMs) const;

    // Display: the pages of the listed logs at the given row indices, in
    // list order; the entries are marked selected. Logs that cannot be
    // shown are left out and named in LogSelection::refused.
    LogSelection Select(const std::vector<int>& rows, std::vector<uint8_t> snapshot, bool shift);

    // The content labels and slot total of a log with this channel mask.
    static void DescribeMask(const pugi::xml_node& logger, uint16_t mask, QStringList& labels, int& slotCount);

private:
    void CloseLast();

    uint32_t m_pageCount;
    pugi::xml_node m_logger;
    std::vector<uint8_t> m_pages;
    std::vector<LogEntry> m_logs;
    std::optional<LogEntry> m_open;
    State m_state = State::Idle;
    uint16_t m_current = 0;
    uint32_t m_received = 0;
    uint32_t m_faults = 0;
    bool m_stopAtErased = true;
};
