#include "link/CPortSetup.h"

#include <gtest/gtest.h>

#include <climits>

TEST(PortSetup, NothingChosenKeepsThePreviousValuesAndTheBoxDecidesTheSign)
{
    const CPortSetup setup({QStringLiteral("COM1:"), 38400});
    const auto out = setup.Confirm(QStringLiteral("   "), -1, false);
    EXPECT_EQ(out.portName, QStringLiteral("COM1:"));
    EXPECT_EQ(out.speed, 38400);
    EXPECT_EQ(setup.Confirm(QStringLiteral(" /dev/pts/7\n"), 4, false).portName, QStringLiteral("/dev/pts/7"));
    // A speed that the list does not offer survives too.
    const CPortSetup odd({QStringLiteral("/dev/pts/3"), -14400});
    EXPECT_EQ(odd.Confirm(QString(), -1, true).speed, -14400);
    EXPECT_EQ(odd.Confirm(QString(), -1, false).speed, 14400);
    EXPECT_EQ(odd.Confirm(QString(), 99, false).speed, 14400);
}

TEST(PortSetup, MostNegativeSpeedDoesNotOverflow)
{
    const CPortSetup setup({QStringLiteral("/dev/ttyUSB0"), INT_MIN});
    EXPECT_TRUE(setup.UseDefaultSettings());
    EXPECT_EQ(setup.ShownSpeed(), INT_MAX);
    EXPECT_EQ(setup.Confirm(QString(), -1, true).speed, -INT_MAX);
}
