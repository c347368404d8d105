#include "link/CPortSetup.h"

#include <gtest/gtest.h>

#include <climits>

TEST(PortSetup, OffersTheThirteenSpeedsInListOrder)
{
    const std::array<int, 13> expected = {1200, 2400, 4800, 9600, 19200, 38400, 56000,
                                          57600, 115200, 128000, 230400, 256000, 460800};
    EXPECT_EQ(CPortSetup::kSpeeds, expected);
    EXPECT_EQ(CPortSetup::SpeedIndex(19200), 4);
    EXPECT_EQ(CPortSetup::SpeedIndex(460800), 12);
    EXPECT_EQ(CPortSetup::SpeedIndex(14400), -1);
}

TEST(PortSetup, NothingChosenKeepsThePreviousValues)
{
    const CPortSetup setup({QStringLiteral("COM1:"), 38400});
    const auto out = setup.Confirm(QStringLiteral("   "), -1, false);
    EXPECT_EQ(out.portName, QStringLiteral("COM1:"));
    EXPECT_EQ(out.speed, 38400);
    // A speed that the list does not offer survives too, and the box still
    // decides its sign.
    const CPortSetup odd({QStringLiteral("/dev/pts/3"), -14400});
    EXPECT_EQ(odd.Confirm(QString(), -1, true).speed, -14400);
    EXPECT_EQ(odd.Confirm(QString(), -1, false).speed, 14400);
    EXPECT_EQ(odd.Confirm(QString(), 99, false).speed, 14400);
}

TEST(PortSetup, TypedPathIsTakenWithoutSurroundingBlanks)
{
    const CPortSetup setup({QStringLiteral("/dev/ttyUSB0"), 19200});
    EXPECT_EQ(setup.Confirm(QStringLiteral(" /dev/pts/7\n"), 4, false).portName, QStringLiteral("/dev/pts/7"));
}

TEST(PortSetup, MostNegativeSpeedDoesNotOverflow)
{
    const CPortSetup setup({QStringLiteral("/dev/ttyUSB0"), INT_MIN});
    EXPECT_TRUE(setup.UseDefaultSettings());
    EXPECT_EQ(setup.ShownSpeed(), INT_MAX);
    EXPECT_EQ(setup.Confirm(QString(), -1, true).speed, -INT_MAX);
}
