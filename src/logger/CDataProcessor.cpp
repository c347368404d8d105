#include "logger/CDataProcessor.h"

#include "base/IPrompt.h"
#include "library/CXmlAttributes.h"
#include "logger/LoggerPage.h"

#include <algorithm>

CDataProcessor::CDataProcessor(pugi::xml_node logger, std::vector<uint8_t> snapshot, IPrompt* prompt)
    : m_logger(logger), m_context(std::move(snapshot)), m_prompt(prompt)
{
}

int CDataProcessor::SetupChannels(uint16_t mask)
{
    const int slotCount = m_chunks.Setup(m_logger, mask, m_context);
    m_time = m_context.Variable("t");
    m_timeStep = m_context.Variable("dt");
    m_messages = m_chunks.SetupMessages();
    if (m_prompt != nullptr) {
        for (const QString& message : m_messages)
            m_prompt->Message(message, QStringLiteral("TORV"), IPrompt::Icon::Error, IPrompt::Buttons::Ok);
    }
    return slotCount;
}

void CDataProcessor::AppendSample(const uint8_t* group, double time, double dt, DecodedLog& out)
{
    if (m_time != nullptr) {
        *m_time = time;
        *m_timeStep = dt;
    }
    m_chunks.EvaluateGroup(group, m_values);
    for (std::size_t i = 0; i < m_values.size() && i < out.series.size(); ++i)
        out.series[i].values.push_back(m_values[i]);
    out.time.push_back(time);
}

bool CDataProcessor::Decode(const uint8_t* pages, std::size_t pageCount, std::size_t first, std::size_t last,
                            DecodedLog& out, std::size_t lastPageBytes)
{
    out = DecodedLog{};
    if (pages == nullptr || first > last || last >= pageCount)
        return false;
    const uint8_t* firstPage = pages + first * LoggerPage::kSize;
    out.number = LoggerPage::LogNumber(firstPage);
    out.dt = LoggerPage::Period(firstPage) / 50.0;
    out.slotCount = SetupChannels(LoggerPage::Mask(firstPage));
    for (const std::shared_ptr<AnyData>& channel : m_chunks.Channels())
        out.series.push_back({channel->Label(), CXmlAttributes::Int(channel->Channel(), "color", -1), {}});
    if (out.slotCount == 0)
        return false;

    const std::size_t group = LoggerPage::GroupSize(out.slotCount);
    const std::size_t groups = LoggerPage::GroupsPerPage(out.slotCount);
    const std::size_t samples = (last - first + 1) * groups;
    out.time.reserve(samples);
    for (LogSeries& series : out.series)
        series.values.reserve(samples);

    // The first sample of a log has time 0; time runs on across its pages.
    double time = 0;
    for (std::size_t page = first; page <= last; ++page) {
        const uint8_t* bytes = pages + page * LoggerPage::kSize;
        if (LoggerPage::LogNumber(bytes) != out.number)
            break;
        const std::size_t pageGroups =
            page == last ? std::min(groups, std::min(lastPageBytes, LoggerPage::kSampleBytes) / group) : groups;
        for (std::size_t g = 0; g < pageGroups; ++g) {
            AppendSample(bytes + LoggerPage::kHeaderSize + g * group, time, out.dt, out);
            time += out.dt;
        }
    }
    return true;
}
