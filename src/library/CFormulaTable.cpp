#include "library/CFormulaTable.h"

#include "library/CChanMap.h"
#include "library/LibraryLog.h"

#include <muParser.h>

#include <cmath>

namespace {

CChanMap* g_currentImage = nullptr;
bool g_cellReadFailed = false;

mu::value_type CellValue(mu::value_type x)
{
    const double n = std::floor(x);
    uint8_t value = 0;
    // The range test comes first: converting a huge or NaN double to int is
    // undefined.
    if (g_currentImage == nullptr || !(n >= 0 && n <= 255))
        throw mu::ParserError("parser error");
    if (!g_currentImage->GetCell(static_cast<int>(n), value)) {
        g_cellReadFailed = true;
        throw mu::ParserError("parser error");
    }
    return value;
}

mu::value_type CellWord(mu::value_type low, mu::value_type high)
{
    return CellValue(low) + 256 * CellValue(high);
}

mu::value_type Floor(mu::value_type x)
{
    return std::floor(x);
}

} // namespace

CFormulaTable::CFormulaTable() = default;
CFormulaTable::~CFormulaTable() = default;

void CFormulaTable::SetCurrentImage(CChanMap* image)
{
    g_currentImage = image;
}

CChanMap* CFormulaTable::CurrentImage()
{
    return g_currentImage;
}

bool CFormulaTable::TakeCellReadFailure()
{
    const bool failed = g_cellReadFailed;
    g_cellReadFailed = false;
    return failed;
}

std::unique_ptr<mu::Parser> CFormulaTable::NewParser()
{
    auto parser = std::make_unique<mu::Parser>();
    // cell and cellw read the device, so their calls must not be folded into
    // constants when the expression is compiled; floor may be.
    parser->DefineFun("cell", CellValue, false);
    parser->DefineFun("cellw", CellWord, false);
    parser->DefineFun("floor", Floor, true);
    return parser;
}

mu::Parser& CFormulaTable::Add(const QString& formula)
{
    auto found = m_entries.find(formula);
    if (found != m_entries.end())
        return *found->second;
    std::unique_ptr<mu::Parser> parser = NewParser();
    try {
        parser->SetExpr(formula.toStdString());
    } catch (const mu::ParserError& e) {
        // The entry stays; evaluating it reports the fault where it is used.
        qCDebug(lcLibrary).noquote() << QStringLiteral("Formula \"%1\" refused: %2")
                                            .arg(formula, QString::fromStdString(e.GetMsg()));
    }
    mu::Parser& entry = *parser;
    m_entries.emplace(formula, std::move(parser));
    return entry;
}

mu::Parser* CFormulaTable::Find(const QString& formula) const
{
    const auto found = m_entries.find(formula);
    return found == m_entries.end() ? nullptr : found->second.get();
}
