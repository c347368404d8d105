#include "panel/CPanelChannels.h"

#include "library/CChanMap.h"
#include "library/CDeviceLibrary.h"
#include "library/CXmlAttributes.h"

#include <algorithm>

const std::array<const char*, 5>& CPanelChannels::Tags()
{
    static const std::array<const char*, 5> kTags = {"servo", "RPM", "voltage", "current", "tempA"};
    return kTags;
}

CPanelChannels::CPanelChannels(const pugi::xml_node& esc, const std::vector<uint8_t>& cells)
    : m_buffer(std::make_unique<CPanelChannel::Buffer>())
{
    m_buffer->fill(0);
    std::copy_n(cells.begin(), std::min<size_t>(cells.size(), kCellCopySize), m_buffer->begin());
    if (!esc)
        return;
    for (const char* tag : Tags()) {
        const QString name = QString::fromLatin1(tag);
        const pugi::xml_node element = CDeviceLibrary::ParameterOfPanelTag(esc, name);
        const std::optional<QString> formula = CXmlAttributes::Text(element, "formula");
        if (!element || !formula)
            continue;
        const QString format = CXmlAttributes::Text(element, "format", QStringLiteral("%f"));
        m_channels.push_back(std::make_unique<CPanelChannel>(name, *formula, format, *m_buffer));
    }
}

CPanelChannels::~CPanelChannels() = default;

std::vector<uint8_t> CPanelChannels::CellCopy(CChanMap& image, unsigned count)
{
    if (count == 0 || count > kCellCopySize)
        count = kCellCopySize;
    std::vector<uint8_t> cells(count, 0);
    for (unsigned cell = 0; cell < count; ++cell) {
        uint8_t value = 0;
        if (image.GetCell(static_cast<int>(cell), value))
            cells[cell] = value;
    }
    return cells;
}

void CPanelChannels::SetRecord(const uint8_t* record, size_t size)
{
    const size_t taken = std::min<size_t>(size, kRecordSize);
    auto at = m_buffer->begin() + kRecordOffset;
    std::fill_n(at, kRecordSize, 0);
    if (record != nullptr)
        std::copy_n(record, taken, at);
}

void CPanelChannels::SetRecord(const QByteArray& record)
{
    SetRecord(reinterpret_cast<const uint8_t*>(record.constData()), static_cast<size_t>(record.size()));
}

void CPanelChannels::Update()
{
    for (const auto& channel : m_channels)
        channel->Update();
}

const CPanelChannel* CPanelChannels::Find(const QString& tag) const
{
    for (const auto& channel : m_channels) {
        if (channel->Tag() == tag)
            return channel.get();
    }
    return nullptr;
}
