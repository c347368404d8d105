#include "cli/CFileParameters.h"

#include "cli/CCliParameters.h"
#include "library/CDeviceSession.h"

namespace {
constexpr int kImageCells = 256;
}

CFileParameters::CFileParameters(CDeviceSession& device, const CParameterFile::Image& file)
    : m_deviceImage(device.Image()),
      m_file(file),
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
    return CCliParameters::ShownText(*row);
}

std::vector<CFileParameters::Change> CFileParameters::Changes(const std::vector<IProperty*>& deviceRows)
{
    std::vector<Change> changes;
    for (const IProperty* row : deviceRows) {
        if (!CCliParameters::IsSetting(*row))
            continue;
        const QString device = CCliParameters::ShownText(*row);
        const QString file = ShownText(*row).value_or(QStringLiteral("?"));
        if (device != file)
            changes.push_back({row->Name(), device, file});
    }
    return changes;
}
