#include "library/CUndoHistory.h"

#include "library/CChanMap.h"
#include "link/ICellWriter.h"

std::optional<CUndoHistory::Cells> CUndoHistory::Snapshot(CChanMap& image, const std::vector<int>& cells)
{
    Cells values;
    values.reserve(cells.size());
    for (int cell : cells) {
        uint8_t value = 0;
        if (!image.GetCell(cell, value))
            return std::nullopt;
        values.emplace_back(cell, value);
    }
    return values;
}

CUndoHistory::Step CUndoHistory::Between(const Cells& before, const Cells& after)
{
    Step step;
    for (std::size_t i = 0; i < before.size() && i < after.size(); ++i) {
        if (before[i].first == after[i].first && before[i].second != after[i].second)
            step.push_back({before[i].first, before[i].second, after[i].second});
    }
    return step;
}

void CUndoHistory::Record(Step step)
{
    if (step.empty())
        return;
    m_redo.clear();
    m_undo.push_back(std::move(step));
    if (m_undo.size() > kMaxSteps)
        m_undo.erase(m_undo.begin());
}

void CUndoHistory::Clear()
{
    m_undo.clear();
    m_redo.clear();
}

CUndoHistory::Outcome CUndoHistory::Undo(ICellWriter& writer, CChanMap& image)
{
    return Move(m_undo, m_redo, false, writer, image);
}

CUndoHistory::Outcome CUndoHistory::Redo(ICellWriter& writer, CChanMap& image)
{
    return Move(m_redo, m_undo, true, writer, image);
}

// Applies the newest step of `from` and, once the ESC has taken it, moves it
// to `to`; a step the ESC did not take stays where it was.
CUndoHistory::Outcome CUndoHistory::Move(std::vector<Step>& from, std::vector<Step>& to, bool forward,
                                         ICellWriter& writer, CChanMap& image)
{
    if (from.empty())
        return Outcome::Nothing;
    if (!Holds(from.back(), forward, image))
        return Outcome::Stale;
    if (!Apply(from.back(), forward, writer, image))
        return Outcome::WriteFailed;
    to.push_back(std::move(from.back()));
    from.pop_back();
    return Outcome::Done;
}

// Whether the ESC holds what the step left: the values before it when it is
// redone, the values after it when it is undone.
bool CUndoHistory::Holds(const Step& step, bool forward, CChanMap& image)
{
    for (const CellChange& change : step) {
        uint8_t value = 0;
        if (!image.GetCell(change.cell, value) || value != (forward ? change.before : change.after))
            return false;
    }
    return true;
}

bool CUndoHistory::Apply(const Step& step, bool forward, ICellWriter& writer, CChanMap& image)
{
    // In the order the action wrote them: the high cell of a two-cell value first.
    for (const CellChange& change : step) {
        const auto cell = static_cast<uint8_t>(change.cell);
        if (!writer.WriteCell(cell, forward ? change.after : change.before))
            return false;
        // The read-back must ask the device, not the image.
        image.InvalidateCell(change.cell);
        writer.Pause(kPauseMs);
        uint8_t readBack = 0;
        image.GetCell(change.cell, readBack);
    }
    return true;
}
