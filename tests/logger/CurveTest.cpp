#include <gtest/gtest.h>

#include <QCoreApplication>
#include <pugixml.hpp>

#include "common/CCountingHost.h"
#include "common/CSimulatedLink.h"
#include "common/PatientLimits.h"
#include "common/TestApplication.h"
#include "library/CChanMap.h"
#include "library/CDeviceLibrary.h"
#include "link/CDeviceProtocol.h"
#include "logger/CCurve.h"
#include "logger/CCurveTransfer.h"

namespace {

[[maybe_unused]] const bool kApp = TestApplication<QCoreApplication>::Register();

using Bytes = std::vector<uint8_t>;
using Status = CCurveTransfer::WriteResult::Status;

// A curve that runs over the end of the cells: 250..255, then 0..3.
const CCurve kWrapping(QStringLiteral("Wrap"), 250, 10);
const Bytes kWrapCells = {250, 251, 252, 253, 254, 255, 0, 1, 2, 3};

TEST(CurveDescription, UnusableDescriptionsAreRefusedWithAReason)
{
    struct Case {
        const char* xml;
        bool usable;
        const char* reason;
    };
    const Case cases[] = {
        {R"(<Curve name="Wrap" start="250" length="10"/>)", true, ""},
        {R"(<Curve name="Whole" start="0" length="256"/>)", true, ""},
        {R"(<Curve start="1" length="3"/>)", false, "lacks"},
        {R"(<Curve name="A" length="3"/>)", false, "lacks"},
        {R"(<Curve name="A" start="x" length="3"/>)", false, "lacks"},
        {R"(<Curve name="A" start="-1" length="3"/>)", false, "not a cell"},
        {R"(<Curve name="A" start="256" length="3"/>)", false, "not a cell"},
        {R"(<Curve name="A" start="0" length="0"/>)", false, "does not fit"},
        {R"(<Curve name="A" start="0" length="257"/>)", false, "does not fit"},
        {R"(<Curve name="A" start="0" length="99999999999"/>)", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xml);
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_string(c.xml));
        QString error;
        const std::optional<CCurve> curve = CCurve::FromElement(doc.first_child(), &error);
        EXPECT_EQ(curve.has_value(), c.usable);
        if (!c.usable) {
            EXPECT_TRUE(error.contains(QLatin1String(c.reason))) << error.toStdString();
        }
    }
}

TEST(CurveDescription, CurvesAreFoundBelowTheEscElementOnlyInOrder)
{
    // Two ESCs: only the first has curves; another Curves list sits beside
    // them. Neither gives curves to the second ESC.
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(R"(<L><ESC id="3"><Curves><Curve name="a"/></Curves>
        <Group><Curves><Curve name="b"/></Curves></Group></ESC>
        <ESC id="5"/><Curves><Curve name="c"/></Curves></L>)"));
    const pugi::xml_node withCurves = doc.child("L").find_child_by_attribute("id", "3");
    const pugi::xml_node without = doc.child("L").find_child_by_attribute("id", "5");
    const std::vector<pugi::xml_node> curves = CCurve::Elements(withCurves);
    ASSERT_EQ(curves.size(), 2U);
    EXPECT_STREQ(curves[1].attribute("name").value(), "b");
    EXPECT_EQ(CDeviceLibrary::CurveCount(withCurves), 2);
    EXPECT_TRUE(CCurve::Elements(without).empty());
    EXPECT_EQ(CDeviceLibrary::CurveCount(without), 0);
    EXPECT_TRUE(CCurve::Elements(pugi::xml_node()).empty());

    // From three points on, the ends stay fixed.
    EXPECT_FALSE(CCurve(QStringLiteral("Two"), 0, 2).EndsFixed());
    EXPECT_TRUE(CCurve(QStringLiteral("Three"), 0, 3).EndsFixed());
}

class CurveTransferTest : public ::testing::Test {
protected:
    CurveTransferTest() : protocol(link.Port(), link.ShortCollector(), host), transfer(protocol, protocol, &image) {}

    void SetUp() override
    {
        ASSERT_TRUE(link.OpenPort(19200));
        protocol.SetLimits(PatientLimits());
        for (std::size_t i = 0; i < kWrapCells.size(); ++i)
            link.Sim().SetCell(kWrapCells[i], static_cast<uint8_t>(10 * i + 5));
        image.ResetImage(256, &protocol, false);
        link.Sim().ClearFrames();
    }

    // The cells of the frames with this command letter, in order.
    Bytes CellsOf(char command) const
    {
        Bytes cells;
        for (const std::vector<uint8_t>& frame : link.ReceivedFrames()) {
            if (frame.size() == 5 && frame[1] == static_cast<uint8_t>(command))
                cells.push_back(command == 'r' ? frame[3] : frame[2]);
        }
        return cells;
    }

    Bytes WrapValues()
    {
        Bytes values;
        for (uint8_t cell : kWrapCells)
            values.push_back(link.Sim().Cell(cell));
        return values;
    }

    CSimulatedLink link;
    CCountingHost host;
    CDeviceProtocol protocol;
    CChanMap image;
    CCurveTransfer transfer;
};

TEST_F(CurveTransferTest, AWrappingCurveIsReadAndWrittenCellByCellAcrossTheEnd)
{
    const CCurveTransfer::Points read = transfer.Read(kWrapping);
    EXPECT_TRUE(read.Complete());
    EXPECT_EQ(read.values, (Bytes{5, 15, 25, 35, 45, 55, 65, 75, 85, 95}));
    EXPECT_EQ(CellsOf('r'), kWrapCells);

    uint8_t cached = 0;
    ASSERT_TRUE(image.GetCell(1, cached));
    link.Sim().ClearFrames();
    const std::vector<int> edited = {5, 200, 0, 255, 1, 2, 3, 4, 6, 95};
    const CCurveTransfer::WriteResult result = transfer.Write(kWrapping, read, edited);
    EXPECT_EQ(result.status, Status::Written);
    EXPECT_EQ(result.written, 10);
    EXPECT_EQ(CellsOf('w'), kWrapCells) << "in order from the first point";
    EXPECT_EQ(WrapValues(), Bytes(edited.begin(), edited.end()));
    EXPECT_FALSE(image.IsLoaded(1)) << "the cell image asks the device again";
}

TEST_F(CurveTransferTest, AFailedReadShowsZeroAndItsCellIsNotOverwrittenWithIt)
{
    link.Sim().CorruptNextAnswers(3);   // every try of the first point
    const CCurveTransfer::Points read = transfer.Read(kWrapping);
    EXPECT_FALSE(read.Complete());
    EXPECT_FALSE(read.read[0]);
    EXPECT_EQ(read.values[0], CCurveTransfer::kUnreadValue);
    EXPECT_EQ(read.values[1], 15);

    link.Sim().ClearFrames();
    std::vector<int> edited(read.values.begin(), read.values.end());
    edited[4] = 100;
    EXPECT_EQ(transfer.Write(kWrapping, read, edited).status, Status::Written);
    EXPECT_EQ(link.Sim().Cell(250), 5) << "the unknown value stays on the device";
    EXPECT_EQ(link.Sim().Cell(254), 100);
    EXPECT_EQ(CellsOf('w').size(), 9U);
}

TEST_F(CurveTransferTest, WritesToAVanishedEscAreReportedAsFailed)
{
    const CCurveTransfer::Points read = transfer.Read(kWrapping);
    protocol.SetLimits({100, 100, 100, 100});
    link.Sim().SetUnplugged(true);
    std::vector<int> edited(read.values.begin(), read.values.end());
    edited[3] = 0;
    const CCurveTransfer::WriteResult result = transfer.Write(kWrapping, read, edited);
    EXPECT_EQ(result.status, Status::Failed);
    EXPECT_TRUE(result.deviceLost);
    EXPECT_EQ(result.written, 0);
    EXPECT_EQ(Bytes(result.failedCells.begin(), result.failedCells.end()), kWrapCells);
    EXPECT_EQ(CellsOf('w').size(), 1U) << "one probe, then the rest is given up";
}

} // namespace
