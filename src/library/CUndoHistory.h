#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

class CChanMap;
class ICellWriter;

// The parameter edits of a session, step by step, for undo and redo. A step
// is the cells one action changed (an edit, restoring the defaults, loading a
// parameter file), each with its value before and after. Undoing writes the
// values before back to the device, pausing after each write and reading the
// cell back, as an edit does; redoing writes the values after. A step is taken
// only while the ESC still holds the values the step left: another ESC of the
// same type, or one changed by other means, is not written from this history.
class CUndoHistory {
public:
    static constexpr std::size_t kMaxSteps = 100;
    static constexpr int kPauseMs = 11;

    struct CellChange {
        int cell;
        uint8_t before;
        uint8_t after;
    };
    using Step = std::vector<CellChange>;
    // Cell numbers with their values, in the order they were read.
    using Cells = std::vector<std::pair<int, uint8_t>>;

    // Reads the cells through the image (a cell not loaded asks the device);
    // none when one cannot be read.
    static std::optional<Cells> Snapshot(CChanMap& image, const std::vector<int>& cells);
    // The cells whose values differ between two snapshots of the same cells.
    static Step Between(const Cells& before, const Cells& after);

    // Adds a step; an empty one changes nothing. A new step forgets the
    // steps that were undone.
    void Record(Step step);
    bool CanUndo() const { return !m_undo.empty(); }
    bool CanRedo() const { return !m_redo.empty(); }
    void Clear();

    enum class Outcome {
        Nothing,       // no step to take
        Done,          // every cell written and read back
        WriteFailed,   // a write failed: the step stays where it was, the link must be dropped
        Stale,         // the ESC holds other values than the step left: nothing written
    };
    Outcome Undo(ICellWriter& writer, CChanMap& image);
    Outcome Redo(ICellWriter& writer, CChanMap& image);

private:
    static Outcome Move(std::vector<Step>& from, std::vector<Step>& to, bool forward, ICellWriter& writer,
                        CChanMap& image);
    static bool Holds(const Step& step, bool forward, CChanMap& image);
    static bool Apply(const Step& step, bool forward, ICellWriter& writer, CChanMap& image);

    std::vector<Step> m_undo;
    std::vector<Step> m_redo;
};
