#include "tools/CalibrationMath.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

namespace vantelis::test {
namespace {

TEST(PixelsPerMmTest, ResultFollowsLengthAndAcceptedHeight)
{
    struct Case
    {
        double length;
        const char *height;
        double expected;
    };
    const Case cases[] = {
        {1000.0, "2.5", 400.0},  {1234.5, "3", 411.5},  {-1000.0, "2.5", 400.0}, // drawn upwards
        {1000.0, "0.5", 2000.0}, {1000.0, "100", 10.0}, {1000.0, "0.4", 0.0},    {1000.0, "150", 0.0},
        {1000.0, "", 0.0},       {1000.0, "abc", 0.0},  {0.0, "2.5", 0.0}, // a line of no length gives no
                                                                           // scale
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.length) + " / " + c.height);
        EXPECT_DOUBLE_EQ(PixelsPerMmFor(c.length, c.height), c.expected);
    }
}

TEST(BoundaryTest, MovedRowKeepsTheAnchoredLine)
{
    // p = 400 rows per mm.
    EXPECT_EQ(MovedBoundaryRow(false, 100, 1800, 400.0, 2.5), 800); // anchor bottom: upper moves
    EXPECT_EQ(MovedBoundaryRow(true, 400, 900, 400.0, 2.75), 1500); // anchor top: lower moves
    EXPECT_EQ(MovedBoundaryRow(true, 400, 900, 400.0, -0.5), 200);  // nothing refuses a negative spacing
    EXPECT_EQ(MovedBoundaryRow(true, 0, 0, 3.0, 0.5), 2);           // 1.5 rounds away from zero
    EXPECT_EQ(MovedBoundaryRow(false, 0, 0, 3.0, 0.5), -2);         // -1.5 likewise
}

TEST(BoundaryTest, RoundingStaysInRange)
{
    EXPECT_EQ(RoundRow(2.5), 3);
    EXPECT_EQ(RoundRow(-2.5), -3);
    EXPECT_EQ(RoundRow(1e12), INT32_MAX);
    EXPECT_EQ(RoundRow(-1e12), INT32_MIN);
}

TEST(BoundaryTest, SpacingTextAndMissingScale)
{
    EXPECT_EQ(FormatSpacing(800, 1800, 400.0), "2.500");
    EXPECT_EQ(FormatSpacing(1800, 800, 400.0), "-2.500");
    EXPECT_EQ(FormatSpacing(800, 1800, 0.0), "");
}

TEST(BoundaryTest, PixelsPerMmIsReadFromTheSettingsFile)
{
    TempDir dir;
    const std::string ini = dir.file("Vantelis.ini");
    std::ofstream(ini) << "[CalibrationSettings]\r\nimage_pixels_per_mm=411.5\r\n";
    EXPECT_DOUBLE_EQ(ReadPixelsPerMm(ini, kNoPixelsPerMm), 411.5);
    std::ofstream(ini) << "[CalibrationSettings]\r\nimage_pixels_per_mm=none\r\n";
    EXPECT_DOUBLE_EQ(ReadPixelsPerMm(ini, kNoPixelsPerMm), 0.0);
    EXPECT_DOUBLE_EQ(ReadPixelsPerMm(dir.file("missing.ini"), kNoPixelsPerMm), 0.0);
    // The caller's fallback, not a hidden one, stands for a missing scale.
    EXPECT_DOUBLE_EQ(ReadPixelsPerMm(dir.file("missing.ini"), 1000.0), 1000.0);
}

} // namespace
} // namespace vantelis::test
