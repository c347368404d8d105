#include "controls/CLedCtrl.h"

#include "common/TestApplication.h"

#include <QApplication>
#include <QImage>

#include <gtest/gtest.h>

namespace {

[[maybe_unused]] const bool kQtApplication = TestApplication<QApplication>::Register();

// Pixels of the field drawn in exactly its colour.
int LitPixels(const QString& text, const QColor& colour)
{
    CLedCtrl led;
    led.resize(160, 40);
    led.SetColour(colour);
    led.SetText(text);
    const QImage image = led.grab().toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixelColor(x, y) == colour ? 1 : 0;
    return count;
}

TEST(LedCtrlTest, DigitsLightMoreThanBlanksAndNarrowMarksLess)
{
    const QColor red = CLedCtrl::FieldColour(CLedCtrl::Field::Rpm);
    const int eight = LitPixels("8", red);
    const int one = LitPixels("1", red);
    EXPECT_EQ(LitPixels("", red), 0);
    EXPECT_EQ(LitPixels("x", red), 0);  // unknown characters stay blank
    EXPECT_GT(one, 0);
    EXPECT_GT(eight, one);
    EXPECT_GT(LitPixels("-", red), 0);
    EXPECT_GT(LitPixels("/", red), 0);
    for (const char* mark : {":", ";", ".", ","}) {
        EXPECT_GT(LitPixels(mark, red), 0) << mark;
        EXPECT_LT(LitPixels(mark, red), one) << mark;
    }
    EXPECT_GT(LitPixels("12:34.5", red), eight);  // renders mixed text without trouble
}

TEST(LedCtrlTest, SegmentsOfDigitsAndMarks)
{
    EXPECT_EQ(CLedCtrl::Segments('8'), 0x7F);
    EXPECT_EQ(CLedCtrl::Segments('1'), 0x06);
    EXPECT_EQ(CLedCtrl::Segments('-'), 0x40);
    EXPECT_EQ(CLedCtrl::Segments('A'), 0);
    EXPECT_TRUE(CLedCtrl::IsNarrow(','));
    EXPECT_FALSE(CLedCtrl::IsNarrow('/'));
}

}
