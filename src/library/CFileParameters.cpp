#include "library/CFileParameters.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <array>

#include "library/CDeviceSession.h"
#include "library/CParameterRow.h"
#include "library/CXmlAttributes.h"

namespace {
constexpr int kImageCells = 256;

QString tr(const char* text)
{
    return QCoreApplication::translate("CFileParameters", text);
}

// Marks the cells a row reads: its cell attributes, and the literal cell
// numbers of cell() and cellw() in its formula.
void MarkCellsOf(const IProperty& row, std::array<bool, kImageCells>& marked)
{
    for (int cell : CParameterRow::CellsOf(row))
        marked[static_cast<size_t>(cell)] = true;
    static const QRegularExpression call(QStringLiteral(R"(\bcellw?\(\s*(\d+)\s*(?:,\s*(\d+)\s*)?\))"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QString formula = CXmlAttributes::Text(row.GetItemData(), "formula", QString());
    for (auto it = call.globalMatch(formula); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        for (int group = 1; group <= 2; ++group) {
            bool ok = false;
            const int cell = match.captured(group).toInt(&ok);
            if (ok && cell >= 0 && cell < kImageCells)
                marked[static_cast<size_t>(cell)] = true;
        }
    }
}
}

CFileParameters::CFileParameters(CDeviceSession& device, const CParameterFile::Image& file,
                                 std::vector<NamedCell> namedCells)
    : m_deviceImage(device.Image()),
      m_file(file),
      m_namedCells(std::move(namedCells)),
      m_model(device.Library(), m_list, m_image, *this, m_formulas)
{
    m_image.ResetImage(kImageCells, this, false);
    const CDeviceProtocol::Identity& id = device.Identity();
    m_model.BuildParameterList(device.EscElement(), id.major, id.minor);
}

bool CFileParameters::LoadCell(int cell, uint8_t& value)
{
    if (cell >= 0 && cell < CParameterFile::kWrittenCells) {
        value = m_file[static_cast<size_t>(cell)];
        return true;
    }
    return m_deviceImage.GetCell(cell, value);
}

bool CFileParameters::LoadCells(uint8_t, uint8_t, uint8_t*)
{
    return false;
}

bool CFileParameters::WriteCell(uint8_t, uint8_t)
{
    return false;
}

void CFileParameters::Pause(int) const
{
}

bool CFileParameters::Probe()
{
    return false;
}

std::optional<QString> CFileParameters::ShownText(const IProperty& deviceRow)
{
    const pugi::xml_node element = deviceRow.GetItemData();
    const IProperty* row = m_list.FindByItemData(element);
    if (row == nullptr || !m_model.RefreshParameter(element, false))
        return std::nullopt;
    return CParameterRow::ShownText(*row);
}

std::vector<CFileParameters::Change> CFileParameters::Changes(const std::vector<IProperty*>& deviceRows)
{
    std::vector<Change> changes;
    for (const IProperty* row : deviceRows) {
        if (!CParameterRow::IsSetting(*row))
            continue;
        const QString device = CParameterRow::ShownText(*row);
        const QString file = ShownText(*row).value_or(QStringLiteral("?"));
        if (device != file)
            changes.push_back({row->Name(), device, file});
    }
    for (Change& change : CellChanges(deviceRows))
        changes.push_back(std::move(change));
    return changes;
}

std::vector<CFileParameters::Change> CFileParameters::CellChanges(const std::vector<IProperty*>& deviceRows)
{
    std::array<bool, kImageCells> shown{};
    for (const IProperty* row : deviceRows)
        MarkCellsOf(*row, shown);
    std::vector<Change> changes;
    const auto compare = [&](int cell, const QString& name) {
        if (cell >= CParameterFile::kWrittenCells || shown[static_cast<size_t>(cell)])
            return;
        shown[static_cast<size_t>(cell)] = true;
        const uint8_t file = m_file[static_cast<size_t>(cell)];
        uint8_t device = 0;
        const bool read = m_deviceImage.GetCell(cell, device);
        if (!read || device != file)
            changes.push_back({name, read ? QString::number(device) : QStringLiteral("?"), QString::number(file)});
    };
    for (const NamedCell& named : m_namedCells) {
        if (named.cell >= 0 && named.cell < kImageCells)
            compare(named.cell, named.name);
    }
    for (int cell = 0; cell < CParameterFile::kWrittenCells; ++cell)
        compare(cell, tr("cell %1").arg(cell));
    return changes;
}
