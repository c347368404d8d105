// Parameter formulas: an arbitrary expression compiled by the formula table
// (muParser with cell, cellw and floor) and evaluated over a cell image
// that the input fills, sizes and partly makes unreadable. The result is
// shown as the parameter model shows it.

#include "FuzzInput.h"

#include "library/CChanMap.h"
#include "library/CDoubleFormat.h"
#include "library/CFormulaTable.h"
#include "link/ICellLoader.h"

#include <QLoggingCategory>

#include <muParser.h>

#include <array>
#include <bitset>

namespace {

class FuzzCells : public ICellLoader {
public:
    std::array<uint8_t, 256> cells{};
    std::bitset<256> failing;
    bool failRange = false;

    bool LoadCell(int cell, uint8_t& value) override
    {
        if (cell < 0 || cell > 255 || failing[static_cast<size_t>(cell)])
            return false;
        value = cells[static_cast<size_t>(cell)];
        return true;
    }

    bool LoadCells(uint8_t first, uint8_t last, uint8_t* out) override
    {
        for (int i = first; i <= last; ++i)
            out[i] = failing[static_cast<size_t>(i)] ? 0xFF : cells[static_cast<size_t>(i)];
        return !failRange;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = [] {
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
        return true;
    }();
    (void)quiet;

    FuzzInput input(data, size);
    // Header: flags, image size, then (cell, value) pairs; the rest is the formula.
    const uint8_t flags = input.Byte();
    const uint32_t count = (flags & 0x80) != 0 ? input.Byte() : 256;
    FuzzCells device;
    for (size_t i = 0; i < device.cells.size(); ++i)
        device.cells[i] = static_cast<uint8_t>(i);
    const uint8_t pairs = input.Byte() & 0x0F;
    for (uint8_t i = 0; i < pairs; ++i) {
        const uint8_t cell = input.Byte();
        device.cells[cell] = input.Byte();
        if ((flags & 0x01) != 0)
            device.failing.set(cell);
    }
    device.failRange = (flags & 0x02) != 0;
    const QString formula = QString::fromUtf8(input.Rest());

    CChanMap image;
    image.ResetImage(count, &device, (flags & 0x04) != 0);
    CFormulaTable::SetCurrentImage((flags & 0x08) != 0 ? nullptr : &image);

    CFormulaTable table;
    mu::Parser& parser = table.Add(formula);
    if (&table.Add(formula) != &parser || table.Find(formula) != &parser || table.Count() != 1)
        std::abort();
    // The first evaluation parses the text, later ones run the compiled code.
    for (int round = 0; round < 2; ++round) {
        try {
            const double result = parser.Eval();
            CDoubleFormat::Format(QStringLiteral("%f"), result);
            CDoubleFormat::Format(QStringLiteral("%.2e V"), result);
        } catch (const mu::ParserError&) {
        }
        image.InvalidateCell(-1);
    }
    CFormulaTable::SetCurrentImage(nullptr);
    return 0;
}
