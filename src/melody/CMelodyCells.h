#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

#include "melody/CMelodyRow.h"

class CDeviceSession;

// The ESC's custom melody cells: kind 'A' from cell 160 (15 cells), kind 'W'
// from cell 128 (31 cells). Reads the melodies stored there as list rows and
// writes a melody into them, reading every written cell back. All exchanges
// use the short-answer collector of the session and leave the refresh timer
// to the caller, who stops it around the melody work.
class CMelodyCells {
public:
    static constexpr int kFirstCellA = 160;
    static constexpr int kFirstCellW = 128;
    // The pause between the last write and the read-back, as after a
    // parameter write.
    static constexpr int kReadBackPauseMs = 11;

    // The first cell of the kind's area: 160 for 'A', 128 for anything else.
    static int FirstCell(char kind);
    // The cells of the kind's area: 15 for 'A', 31 for anything else.
    static int AreaSize(char kind);

    struct WriteResult {
        int firstCell = 0;
        std::vector<uint8_t> written;  // the bytes to write, terminator last
        // The melody starts with the terminator (a lead byte of 255), so it
        // would leave the ESC without a melody: nothing was written.
        bool refused = false;
        // A stop was asked for between two writes: only cellsSent cells
        // were written and nothing was read back.
        bool interrupted = false;
        int cellsSent = 0;
        // The first cell that reads back otherwise than written, or -1.
        int badCell = -1;
        bool readFailed = false;       // the bad cell did not answer at all
        uint8_t readBack = 0;          // what the bad cell holds

        bool Ok() const { return !refused && !interrupted && badCell < 0; }
        // "cell 130 reads back 0x03, 0x51 was written", "cell 130 cannot be
        // read back", the refusal or the interruption; empty when every
        // cell reads back as written.
        QString Problem() const;
    };

    explicit CMelodyCells(CDeviceSession& session);

    // The melodies stored in the ESC: an "A" row, then a "W" row, each only
    // when at least two bytes come before the terminator (or before a cell
    // that does not answer).
    std::vector<CMelodyRow> ReadRows();

    // Asked before each write: true stops the writing there.
    void SetStopRequest(std::function<bool()> stop) { m_stop = std::move(stop); }

    // Writes the melody's bytes up to its terminator (at most the area's
    // size less one) and then the terminator 0xFF, into consecutive cells
    // from the kind's first cell, and reads them back. A melody whose lead
    // byte is the terminator is refused with nothing written.
    WriteResult Write(char kind, const std::vector<uint8_t>& bytes);

private:
    bool Read(int cell, uint8_t& value);

    CDeviceSession& m_session;
    std::function<bool()> m_stop;
};
