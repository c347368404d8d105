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
    EXPECT_EQ(v, 77);
    device.cells[10] = 5;
    ASSERT_TRUE(image.GetCell(10, v));
    EXPECT_EQ(v, 77) << "served from the image";
    image.InvalidateCell(10);
    ASSERT_TRUE(image.GetCell(10, v));
    EXPECT_EQ(v, 5);
    image.InvalidateCell(-1);
    EXPECT_FALSE(image.IsLoaded(10));

    device.failingReads = {3};
    EXPECT_FALSE(image.GetCell(3, v));
    EXPECT_FALSE(image.IsLoaded(3));
    device.failingReads.clear();
    EXPECT_TRUE(image.GetCell(3, v));
    // Cells outside the image fail without asking the device.
    EXPECT_FALSE(image.GetCell(256, v));
    EXPECT_FALSE(image.GetCell(-1, v));
    EXPECT_EQ(device.calls, (std::vector<Call>{{'r', 10, 0}, {'r', 10, 0}, {'r', 3, 0}, {'r', 3, 0}}));
}

TEST(ChanMap, BulkModeLoadsEveryCellInOneRangeReadThenServesFromTheImage)
{
    TableDevice device;
    for (int i = 0; i < 256; ++i)
        device.cells[static_cast<size_t>(i)] = static_cast<uint8_t>(255 - i);
    CChanMap image;
    image.ResetImage(256, &device, true);

    device.failRange = true;
    uint8_t v = 0;
    EXPECT_FALSE(image.GetCell(7, v));
    EXPECT_FALSE(image.IsLoaded(7));
    device.failRange = false;
    device.calls.clear();

    for (int i = 255; i >= 0; --i) {
        ASSERT_TRUE(image.GetCell(i, v));
        EXPECT_EQ(v, 255 - i);
    }
    EXPECT_EQ(device.calls, (std::vector<Call>{{'R', 0, 255}}));
    image.InvalidateCell(4);
    ASSERT_TRUE(image.GetCell(4, v));
    EXPECT_EQ(device.calls.size(), 2U) << "a cleared bit reloads the whole image";
}
