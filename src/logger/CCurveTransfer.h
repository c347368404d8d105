#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class CChanMap;
class CCurve;
class ICellLoader;
class ICellWriter;

// Reads a curve's points from the ESC, one read-cell command per point, and
// writes edited points back, one write-cell command per point in order from
// the first. Whoever shows the device's cells (the cell image) is told which
// cells were written, so that their next read asks the device.
class CCurveTransfer {
public:
    // What a point whose cell could not be read shows.
    static constexpr uint8_t kUnreadValue = 0;
    // The device's pause after each written cell, as after an edit.
    static constexpr int kWritePauseMs = 11;

    struct Points {
        std::vector<uint8_t> values;   // one per point; kUnreadValue where the read failed
        std::vector<bool> read;        // whether the point's cell was read
        bool Complete() const;
    };

    struct WriteResult {
        enum class Status {
            Written,   // every point written (or left as it was, see Write)
            Refused,   // a value was refused: nothing written
            Failed,    // some cells were not written
            Stopped,   // a stop was asked for between two writes
        };
        Status status = Status::Written;
        QString refusal;                 // why the values were refused
        std::vector<int> failedCells;    // cells whose write was not answered
        bool deviceLost = false;         // the ESC stopped answering: the rest was not tried
        int written = 0;                 // write commands answered
        int toWrite = 0;                 // write commands the values need
    };

    CCurveTransfer(ICellLoader& loader, ICellWriter& writer, CChanMap* image = nullptr);

    // Asked before each write: true stops the writing there (Stopped).
    void SetStopRequest(std::function<bool()> stop) { m_stop = std::move(stop); }

    Points Read(const CCurve& curve);

    // Writes the values over the points read before. The values are checked
    // first (CCurve::Refusal); a refused value writes nothing. A point whose
    // cell could not be read and whose value is still the placeholder is not
    // written: its real value is unknown, and the placeholder must not
    // replace it. After the first failed write one probe tells a vanished ESC
    // (stop now) from one lost answer (go on with the next point).
    WriteResult Write(const CCurve& curve, const Points& before, const std::vector<int>& values);

private:
    ICellLoader& m_loader;
    ICellWriter& m_writer;
    CChanMap* m_image;
    std::function<bool()> m_stop;
};
