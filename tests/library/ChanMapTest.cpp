#include "LibraryTestSupport.h"
#include "common/CCountingHost.h"

#include "common/CSimulatedLink.h"
#include "common/PatientLimits.h"
#include "link/CDeviceProtocol.h"

using Call = TableDevice::Call;

TEST(ChanMap, SingleModeReadsACellOnceUntilItsBitIsClearedAndRetriesAFailedRead)
{
    TableDevice device;
    device.cells[10] = 77;
    CChanMap image;
    uint8_t v = 0;
    EXPECT_FALSE(image.GetCell(0, v)) << "no image yet";
    image.ResetImage(256, &device, false);

    ASSERT_TRUE(image.GetCell(10, v));
    device.cells[10] = 5;
    ASSERT_TRUE(image.GetCell(10, v));
    EXPECT_EQ(v, 77) << "served from the image";
    image.InvalidateCell(10);
    ASSERT_TRUE(image.GetCell(10, v));
    EXPECT_EQ(v, 5);

    device.failingReads = {3};
    EXPECT_FALSE(image.GetCell(3, v));
    device.failingReads.clear();
    EXPECT_TRUE(image.GetCell(3, v));
    // Cells outside the image fail without asking the device.
    EXPECT_FALSE(image.GetCell(256, v));
    EXPECT_FALSE(image.GetCell(-1, v));
    EXPECT_EQ(device.calls, (std::vector<Call>{{'r', 10, 0}, {'r', 10, 0}, {'r', 3, 0}, {'r', 3, 0}}));
}

TEST(ChanMap, BulkModeLoadsEveryCellInOneRangeReadAndReloadsItWholeWhenABitIsCleared)
{
    TableDevice device;
    device.cells[200] = 9;
    CChanMap image;
    image.ResetImage(256, &device, true);
    uint8_t v = 0;
    device.failRange = true;
    EXPECT_FALSE(image.GetCell(7, v));
    device.failRange = false;
    device.calls.clear();

    for (int i = 255; i >= 0; --i)
        ASSERT_TRUE(image.GetCell(i, v));
    EXPECT_EQ(v, 0);
    ASSERT_TRUE(image.GetCell(200, v));
    EXPECT_EQ(v, 9);
    image.InvalidateCell(4);
    ASSERT_TRUE(image.GetCell(4, v));
    EXPECT_EQ(device.calls, (std::vector<Call>{{'R', 0, 255}, {'R', 0, 255}}));
}

TEST(ChanMap, AFailedRangeReadKeepsTheLoadedCellsAsTheDeviceReportedThem)
{
    enum class Fault { Unplugged, CorruptAnswers };
    for (Fault fault : {Fault::Unplugged, Fault::CorruptAnswers}) {
        SCOPED_TRACE(fault == Fault::Unplugged ? "unplugged" : "corrupt answers");
        CSimulatedLink link;
        ASSERT_TRUE(link.OpenPort(19200));
        CCountingHost host;
        CDeviceProtocol protocol(link.Port(), link.ShortCollector(), host);
        protocol.SetCapabilities(false, true);
        CDeviceProtocol::Limits limits = PatientLimits();
        protocol.SetLimits(limits);
        CChanMap image;
        image.ResetImage(256, &protocol, true);
        const std::array<uint8_t, 256> device = link.Sim().Cells();

        uint8_t v = 0;
        ASSERT_TRUE(image.GetCell(64, v));
        image.InvalidateCell(10);  // as after a write to cell 10
        limits.rangeReadMs = 100;  // the reads below are meant to fail
        protocol.SetLimits(limits);
        if (fault == Fault::Unplugged)
            link.Sim().SetUnplugged(true);
        else
            link.Sim().CorruptNextAnswers(3);
        EXPECT_FALSE(image.GetCell(10, v));
        EXPECT_FALSE(image.IsLoaded(10));
        for (int cell : {0, 64, 65, 66, 70, 255}) {
            ASSERT_TRUE(image.IsLoaded(cell));
            ASSERT_TRUE(image.GetCell(cell, v));
            EXPECT_EQ(v, device[static_cast<size_t>(cell)]) << "cell " << cell;
        }
    }
}
