#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "LoggerTestSupport.h"

using namespace LoggerTest;

namespace {

[[maybe_unused]] const bool kApp = TestApplication<QCoreApplication>::Register();

class DecodingTest : public ::testing::Test {
protected:
    pugi::xml_node Logger(const char* channels)
    {
        m_xml = std::string("<Logger id=\"3\">") + channels + "</Logger>";
        m_doc.load_string(m_xml.c_str());
        return m_doc.child("Logger");
    }

    // Decodes one page whose every group repeats the given bytes, with cell
    // 2 of the snapshot 7 and cells 10 and 11 the word 0x1234.
    DecodedLog DecodeOne(const pugi::xml_node& logger, uint16_t mask, const Bytes& group, IPrompt* prompt = nullptr)
    {
        const Bytes page = Page(1, 5, mask, group);
        Bytes snapshot(128, 0);
        snapshot[2] = 7;
        snapshot[10] = 0x34;
        snapshot[11] = 0x12;
        CDataProcessor processor(logger, snapshot, prompt);
        DecodedLog log;
        decoded = processor.Decode(page.data(), 1, 0, 0, log);
        messages = processor.SetupMessages();
        return log;
    }

    QStringList messages;
    bool decoded = false;

private:
    std::string m_xml;
    pugi::xml_document m_doc;
};

TEST_F(DecodingTest, OddCursorChannelsReadARealignedCopyOfTheirSlots)
{
    const pugi::xml_node logger = Logger(R"x(<Channel tag="1" label="A" formula="w0"/>
                                            <Channel tag="6" label="B" formula="w0*10000+w1"/>
                                            <Channel label="C" formula="t"/>)x");
    // Slots 0x123, 0x456, 0x789 and the padding slot.
    const DecodedLog log = DecodeOne(logger, 0x0007, {0x12, 0x34, 0x56, 0x78, 0x90, 0x00});
    EXPECT_EQ(log.slotCount, 3);
    ASSERT_EQ(log.series.size(), 3u);
    ASSERT_EQ(log.time.size(), 42u);  // 256 / 6
    EXPECT_EQ(log.series[0].values[0], 0x123);
    EXPECT_EQ(log.series[1].values[0], 0x456 * 10000 + 0x789);
    EXPECT_DOUBLE_EQ(log.series[2].values[1], 0.1);  // t after one sample of 5 × 20 ms
    EXPECT_DOUBLE_EQ(log.time[41], 41 * 0.1);
}

TEST_F(DecodingTest, FormulasReadTheSnapshotClampAndShareVariables)
{
    const pugi::xml_node logger = Logger(R"x(<Channel tag="1" label="Cell" formula="cell(2.7)" var="c"/>
                                            <Channel tag="16" label="Skipped" formula="w0"/>
                                            <Channel tag="65536" label="NoSlots" formula="c*2"/>
                                            <Channel label="Word" formula="cellw(10,11)"/>
                                            <Channel label="Huge" formula="2e10"/>
                                            <Channel label="Edge" formula="-1e10"/>
                                            <Channel label="Nan" formula="0/0"/>
                                            <Channel label="Later" formula="n+1" var="n"/>)x");
    const DecodedLog log = DecodeOne(logger, 0x000F, {0, 0, 0, 0, 0, 0});
    // The channel tagged 0x10 is not in the mask, the one without a low bit
    // reads no slot: one slot, from the first channel only.
    EXPECT_EQ(log.slotCount, 1);
    ASSERT_EQ(log.series.size(), 7u);
    EXPECT_EQ(log.series[0].values[0], 7);
    EXPECT_EQ(log.series[1].label, "NoSlots");
    EXPECT_EQ(log.series[1].values[0], 14);  // sees the var of the channel before it
    EXPECT_EQ(log.series[2].values[0], 0x1234);
    EXPECT_EQ(log.series[3].values[0], 0);  // 2e10 is out of range
    EXPECT_EQ(log.series[4].values[0], -1e10);
    EXPECT_EQ(log.series[5].values[0], 0);
    EXPECT_EQ(log.series[6].values[2], 3);  // counts up from 0 across groups
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(DecodingTest, ChannelsThatCannotBeSetUpAreShownLeftOutAndKeepTheirSlots)
{
    const pugi::xml_node logger = Logger(R"x(<Channel tag="1" label="Far" formula="cell(200)"/>
                                            <Channel tag="2" label="Bad" formula="w0+"/>
                                            <Channel tag="4" label="None"/>
                                            <Channel tag="8" label="Good" formula="w0"/>)x");
    CScriptedPrompt prompt;
    for (int i = 0; i < 3; ++i)
        prompt.AnswerMessage(IPrompt::Answer::Ok);
    // Slots 0, 0, 0 and 0x010.
    const DecodedLog log = DecodeOne(logger, 0x000F, {0, 0, 0, 0, 0x00, 0x10}, &prompt);
    EXPECT_EQ(log.slotCount, 4);
    EXPECT_EQ(log.time.size(), 42u);
    ASSERT_EQ(log.series.size(), 1u);
    EXPECT_EQ(log.series[0].label, "Good");
    EXPECT_EQ(log.series[0].values[0], 0x010);  // its own slot 3, not slot 0
    ASSERT_EQ(prompt.Messages().size(), 3u);
    EXPECT_TRUE(prompt.Messages()[0].text.startsWith(
        "It seems that you try to use old style saved logs without calibration data.\r\nAccess to undefined cell(200)"));
    EXPECT_EQ(prompt.Messages()[0].caption, "TORV");
    EXPECT_EQ(prompt.Messages()[0].icon, IPrompt::Icon::Error);
    EXPECT_TRUE(prompt.Messages()[1].text.endsWith("in expression \"w0+\""));
    EXPECT_EQ(prompt.Messages()[2].text, "The channel \"None\" has no formula in the device library: it is left out.");
}

TEST_F(DecodingTest, LogWithoutDescribedSlotsHasNoSamples)
{
    const pugi::xml_node logger = Logger(R"x(<Channel tag="1" label="A" formula="w0"/>
                                            <Channel label="C" formula="1"/>)x");
    EXPECT_TRUE(DecodeOne(logger, 0x0100, {0, 0}).time.empty());
    EXPECT_FALSE(decoded);
}

TEST_F(DecodingTest, GeneratedLogsDecodeToPlausibleValuesWithTheSampleLibrary)
{
    GeneratedLogs generated;
    ASSERT_TRUE(generated.logger);
    DecodedLog log;
    ASSERT_TRUE(generated.DecodeFirst(log, &messages));
    ASSERT_EQ(log.series.size(), 8u);  // every channel, Power and Energy computed
    EXPECT_EQ(log.slotCount, 7);
    EXPECT_EQ(log.time.size(), 20u * 21u);
    auto range = [&](int channel) {
        const auto& v = log.series[static_cast<std::size_t>(channel)].values;
        return std::make_pair(*std::min_element(v.begin(), v.end()), *std::max_element(v.begin(), v.end()));
    };
    EXPECT_GE(range(0).first, 0);
    EXPECT_LE(range(0).second, 100.01);   // throttle %
    EXPECT_GT(range(2).first, 12);        // volts
    EXPECT_LT(range(2).second, 17.5);
    EXPECT_GT(range(3).second, 20);       // amps at the climbs
    EXPECT_GT(range(7).second, 0);        // energy accumulates through its var
    EXPECT_TRUE(messages.isEmpty());

    // RPM with a broken formula and Capacity (two slots) without one: both
    // are left out, and every other channel reads exactly what it read.
    generated.logger.find_child_by_attribute("Channel", "label", "RPM").attribute("formula").set_value("w0*50/");
    generated.logger.find_child_by_attribute("Channel", "label", "Capacity").remove_attribute("formula");
    DecodedLog damaged;
    ASSERT_TRUE(generated.DecodeFirst(damaged, &messages));
    EXPECT_EQ(messages.size(), 2);
    EXPECT_EQ(damaged.slotCount, 7);
    EXPECT_EQ(damaged.time, log.time);
    ASSERT_EQ(damaged.series.size(), 6u);
    for (const LogSeries& series : damaged.series) {
        const auto intact = std::find_if(log.series.begin(), log.series.end(),
                                         [&](const LogSeries& s) { return s.label == series.label; });
        ASSERT_NE(intact, log.series.end());
        EXPECT_EQ(series.values, intact->values) << series.label.toStdString();
    }
}

} // namespace
