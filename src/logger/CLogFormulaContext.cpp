#include "logger/CLogFormulaContext.h"

#include <muParser.h>

#include <cmath>
#include <cstdio>

namespace {

// Rounds a formula argument down to a snapshot index; false when it lies
// outside the snapshot (tested before converting: a huge or NaN double
// must not be turned into an int).
bool SnapshotIndex(const CLogFormulaContext& context, double x, long& index)
{
    const double n = std::floor(x);
    if (!(n >= 0 && n < static_cast<double>(context.Snapshot().size())))
        return false;
    index = static_cast<long>(n);
    return true;
}

long Shown(double x)
{
    const double n = std::floor(x);
    if (!(n >= -2147483648.0 && n <= 2147483647.0))
        return n > 0 ? 2147483647L : -2147483647L - 1;
    return static_cast<long>(n);
}

mu::value_type Cell(void* data, mu::value_type x)
{
    const auto& context = *static_cast<const CLogFormulaContext*>(data);
    long index = 0;
    if (!SnapshotIndex(context, x, index)) {
        char text[64];
        std::snprintf(text, sizeof text, "Access to undefined cell(%ld)", Shown(x));
        throw mu::ParserError(std::string(text));
    }
    return context.Snapshot()[static_cast<std::size_t>(index)];
}

mu::value_type CellWord(void* data, mu::value_type low, mu::value_type high)
{
    const auto& context = *static_cast<const CLogFormulaContext*>(data);
    long lo = 0;
    long hi = 0;
    if (!SnapshotIndex(context, low, lo) || !SnapshotIndex(context, high, hi)) {
        char text[80];
        std::snprintf(text, sizeof text, "Access to undefined cellw(%ld,%ld)", Shown(low), Shown(high));
        throw mu::ParserError(std::string(text));
    }
    return context.Snapshot()[static_cast<std::size_t>(hi)] * 256.0 + context.Snapshot()[static_cast<std::size_t>(lo)];
}

mu::value_type* Factory(const mu::char_type* name, void* data)
{
    return static_cast<CLogFormulaContext*>(data)->Variable(name);
}

} // namespace

CLogFormulaContext::CLogFormulaContext(std::vector<uint8_t> snapshot)
    : m_snapshot(std::move(snapshot))
{
}

double* CLogFormulaContext::Variable(const std::string& name)
{
    return &m_variables.try_emplace(name, 0.0).first->second;
}

void CLogFormulaContext::Install(mu::Parser& parser)
{
    parser.SetVarFactory(Factory, this);
    // The snapshot does not change while a log is decoded, so calls with
    // constant arguments may be folded when the formula is compiled; that
    // is also what reports a cell outside the snapshot at channel setup.
    parser.DefineFunUserData("cell", Cell, this, true);
    parser.DefineFunUserData("cellw", CellWord, this, true);
}
