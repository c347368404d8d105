#include "library/CDeviceLibrary.h"
#include "panel/CPanelChannels.h"

#include <QByteArray>
#include <QStringList>

#include <gtest/gtest.h>

#include <cmath>

namespace {

// An ESC element with panel channels in another order than the panel's, one
// tag without formula, one with a format printf must not see.
const char* const kLibrary = R"xml(<Brisko>
  <ESC id="3">
    <Parameter name="Temp" panel_tag="tempA" formula="cell(3)" format="%.0f C"/>
    <Parameter name="RPM" panel_tag="RPM" formula="cellw(139,140)*10" format="%.0f"/>
    <Parameter name="Servo" panel_tag="servo" formula="cell(300)+cell(-1)+cellw(-1,140)+cellw(139,256)"/>
    <Parameter name="Voltage" panel_tag="voltage" format="%.2f"/>
    <Parameter name="Current" panel_tag="current" formula="cell(129)/0" format="%s"/>
  </ESC>
</Brisko>)xml";

class PanelChannelsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(library.LoadFromBuffer(QByteArray(kLibrary))); }
    pugi::xml_node Esc() const { return library.Root().child("ESC"); }
    CDeviceLibrary library;
};

} // namespace

TEST_F(PanelChannelsTest, ChannelsFollowTheTagOrderAndNeedAFormula)
{
    const CPanelChannels channels(Esc(), {});
    QStringList tags;
    for (size_t i = 0; i < channels.Count(); ++i)
        tags << channels.At(i).Tag();
    ASSERT_EQ(tags, QStringList({"servo", "RPM", "current", "tempA"}));
    EXPECT_EQ(channels.Find("voltage"), nullptr);
    EXPECT_EQ(channels.At(0).Format(), "%f");        // the default
    EXPECT_EQ(channels.At(2).Format(), "%f");        // %s is refused
}

TEST_F(PanelChannelsTest, FormulasReadTheCellCopyAndTheRecord)
{
    std::vector<uint8_t> cells(200, 0);
    cells[3] = 42;
    cells[150] = 9;    // beyond the 128 copied cells
    CPanelChannels channels(Esc(), cells);
    std::vector<uint8_t> record(64, 0);
    record[11] = 0x34;
    record[12] = 0x12;
    channels.SetRecord(record.data(), record.size());
    channels.Update();
    EXPECT_EQ(channels.Find("RPM")->Text(), "46600");
    EXPECT_EQ(channels.Find("tempA")->Text(), "42 C");
    // cell and cellw outside 0..255 read 0.
    EXPECT_EQ(channels.Find("servo")->Text(), "0.000000");
    EXPECT_EQ(channels.Buffer()[150], 0);
    EXPECT_EQ(channels.Buffer()[128 + 11], 0x34);
}

TEST_F(PanelChannelsTest, AFailingFormulaLeavesTheTextUnchanged)
{
    CPanelChannels channels(Esc(), {});
    channels.SetRecord(QByteArray(64, '\x01'));
    channels.Update();   // 1/0: muParser gives inf; the value is shown
    const QString shown = channels.Find("current")->Text();

    const pugi::xml_node esc = Esc();
    esc.find_child_by_attribute("Parameter", "panel_tag", "current").attribute("formula").set_value("cell(");
    CPanelChannels broken(esc, {});
    EXPECT_FALSE(broken.At(2).Evaluate().has_value());
    EXPECT_FALSE(broken.At(2).Update().has_value());
    EXPECT_TRUE(broken.At(2).Text().isEmpty());
    EXPECT_FALSE(shown.isEmpty());
}

TEST(PanelChannelFunctions, CellRulesOverTheBuffer)
{
    CPanelChannel::Buffer buffer{};
    buffer[0] = 7;
    buffer[255] = 9;
    buffer[1] = 1;
    EXPECT_EQ(CPanelChannel::Cell(buffer, 0.9), 7);
    EXPECT_EQ(CPanelChannel::Cell(buffer, 255.5), 9);
    EXPECT_EQ(CPanelChannel::Cell(buffer, 256), 0);
    EXPECT_EQ(CPanelChannel::Cell(buffer, -0.5), 0);
    EXPECT_EQ(CPanelChannel::Cell(buffer, std::nan("")), 0);
    EXPECT_EQ(CPanelChannel::CellWord(buffer, 0, 1), 7 + 256);
    EXPECT_EQ(CPanelChannel::CellWord(buffer, 0, 300), 0);
}
