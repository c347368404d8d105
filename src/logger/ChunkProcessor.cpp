#include "logger/ChunkProcessor.h"

#include "library/CXmlAttributes.h"
#include "logger/CLogFormulaContext.h"
#include "logger/LoggerPage.h"

QString ChunkProcessor::SetupMessage(const AnyData::SetupError& error)
{
    if (!error.missing.isEmpty() && !error.text.isEmpty())
        return QStringLiteral("The channel \"%1\" has no %2 in the device library: it is left out.")
            .arg(error.text, error.missing);
    if (!error.missing.isEmpty())
        return QStringLiteral("A channel has no %1 in the device library: it is left out.").arg(error.missing);
    if (error.generic)
        return QStringLiteral("It seems that you try to use old style saved logs without calibration data.\r\n%1")
            .arg(error.text);
    return QStringLiteral("\"%1\" in expression \"%2\"").arg(error.text, error.expression);
}

int ChunkProcessor::Setup(const pugi::xml_node& logger, uint16_t mask, CLogFormulaContext& context)
{
    m_channels.clear();
    m_firstSlots.clear();
    m_messages.clear();
    context.Clear();
    m_slots = 0;
    for (const pugi::xml_node& channel : logger.children("Channel")) {
        const std::optional<int> tag = CXmlAttributes::Int(channel, "tag");
        const uint32_t bits = static_cast<uint32_t>(tag.value_or(0)) & 0xFFFFu;
        if (bits != 0 && (mask & bits) != bits)
            continue;
        const int firstSlot = m_slots;
        m_slots += LoggerPage::SlotCountOfTag(bits);
        std::optional<AnyData::SetupError> error;
        std::shared_ptr<AnyData> data = AnyData::Create(channel, context, error);
        if (error)
            m_messages.append(SetupMessage(*error));
        if (!data)
            continue;
        m_channels.push_back(std::move(data));
        m_firstSlots.push_back(firstSlot);
    }
    return m_slots;
}

void ChunkProcessor::EvaluateGroup(const uint8_t* group, std::vector<double>& out)
{
    out.resize(m_channels.size());
    for (std::size_t i = 0; i < m_channels.size(); ++i) {
        AnyData& channel = *m_channels[i];
        const int slotCount = channel.SlotCount();
        if (slotCount == 0) {
            out[i] = channel.Evaluate(nullptr);
            continue;
        }
        const int cursor = m_firstSlots[i];
        const uint8_t* p = group + static_cast<std::size_t>(cursor / 2) * 3;
        if (cursor % 2 == 0) {
            out[i] = channel.Evaluate(p);
        } else {
            // Odd cursor: shift the slots by one so that the copy's even slot
            // is slot k and its odd slot is slot k + 1.
            uint8_t r[3];
            r[0] = static_cast<uint8_t>(p[1] * 16 + p[2] / 16);
            r[1] = static_cast<uint8_t>(p[2] * 16);
            r[2] = 0;
            if (slotCount >= 2) {
                r[1] = static_cast<uint8_t>(r[1] + p[3] / 16);
                r[2] = static_cast<uint8_t>(p[3] * 16 + p[4] / 16);
            }
            out[i] = channel.Evaluate(r);
        }
    }
}
