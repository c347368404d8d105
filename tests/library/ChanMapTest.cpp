#include "LibraryTestSupport.h"

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
