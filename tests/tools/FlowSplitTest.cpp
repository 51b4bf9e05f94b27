#include "tools/FlowSplit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace vantelis::test {
namespace {

// The share of a parabolic flow between the upper wall and x: 3x^2 - 2x^3.
double ShareBelowWall(double x)
{
    return 3.0 * x * x - 2.0 * x * x * x;
}

TEST(FlowSplit, DividerOfTwoSpeeds)
{
    const struct
    {
        float a, b;
        double expected;
        double tolerance;
    } cases[] = {
        {30.0f, 10.0f, 0.6736, 0.001},                             // 3s^2 - 2s^3 = 0.75
        {10.0f, 30.0f, 0.3264, 0.001},   {20.0f, 20.0f, 0.5, 0.0}, // equal speeds: exactly one half
        {0.0f, 0.0f, 0.5, 0.0},                                    // idle pumps log 0
        {0.0f, 12.5f, 0.0, 0.0},         {12.5f, 0.0f, 1.0, 0.0},
        {-30.0f, -10.0f, 0.6736, 0.001}, // both reversed: the same shares
        {1.0f, 1000.0f, 0.0, 0.03},      // pump 1 almost idle: close to the upper wall
    };
    for (const auto &c : cases) {
        float divider = -1.0f;
        EString error;
        ASSERT_TRUE(ChannelDividerFromFlows(c.a, c.b, divider, error))
            << c.a << "/" << c.b << " " << error.c_str();
        EXPECT_NEAR(divider, c.expected, c.tolerance) << c.a << "/" << c.b;
        if (c.tolerance == 0.0) {
            EXPECT_EQ(double(divider), c.expected);
        }
    }
}

TEST(FlowSplit, DividerSplitsTheFlowAsThePumpsDo)
{
    // Over a sweep of same-sign speeds the share above the divider is pump 1's share, within one
    // grid step of the divider.
    for (float a = 1.0f; a <= 50.0f; a += 7.0f) {
        for (float b = 1.0f; b <= 50.0f; b += 5.0f) {
            float divider = 0.0f;
            EString error;
            ASSERT_TRUE(ChannelDividerFromFlows(a, b, divider, error)) << a << "/" << b;
            const double pump1Share = double(a) / (double(a) + double(b));
            // The root s of 3s^2 - 2s^3 = pump 1's share, found by bisection.
            double low = 0.0, high = 1.0;
            for (int i = 0; i < 60; ++i) {
                const double mid = 0.5 * (low + high);
                (ShareBelowWall(mid) < pump1Share ? low : high) = mid;
            }
            EXPECT_NEAR(divider, low, 0.0015) << a << "/" << b;
        }
    }
}

TEST(FlowSplit, SpeedsWithoutDividerEndWithAnError)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const struct
    {
        float a, b;
        const char *reason;
    } cases[] = {
        {10.0f, -10.0f, "opposite sign"}, // a = -b: a + b is 0
        {-10.0f, 10.0f, "opposite sign"},
        {30.0f, -10.0f, "opposite sign"},
        {-1.0f, 1000.0f, "opposite sign"},
        {nan, 10.0f, "not a number"},
        {10.0f, nan, "not a number"},
        {nan, nan, "not a number"}, // NaN never equals itself: not the equal-speeds case
        {inf, 10.0f, "not a number"},
        {10.0f, -inf, "not a number"},
    };
    for (const auto &c : cases) {
        float divider = 0.25f;
        EString error;
        EXPECT_FALSE(ChannelDividerFromFlows(c.a, c.b, divider, error)) << c.a << "/" << c.b;
        EXPECT_NE(std::string(error.c_str()).find(c.reason), std::string::npos) << error.c_str();
        EXPECT_EQ(divider, 0.25f) << "unchanged on failure";
    }
}

TEST(FlowSplit, OnePumpFarSlowerEndsNearTheWallInBothDirections)
{
    // One pump thousands of times slower than the other puts the root within a few grid steps of
    // the wall, or closer to it than the grid reaches: the search ends within a grid step of the
    // root, at the side of the slower pump, whichever pump it is.
    const float ratios[] = {1.4e-4f, 1e-4f, 3e-5f, 1e-5f, 1e-6f, 1e-8f};
    for (float r : ratios) {
        SCOPED_TRACE(r);
        const double share = double(r) / (double(r) + 1.0);
        double low = 0.0, high = 1.0;
        for (int i = 0; i < 60; ++i) {
            const double mid = 0.5 * (low + high);
            (ShareBelowWall(mid) < share ? low : high) = mid;
        }
        float divider = -1.0f;
        EString error;
        ASSERT_TRUE(ChannelDividerFromFlows(r, 1.0f, divider, error)) << error.c_str();
        EXPECT_NEAR(divider, low, 0.0015);
        EXPECT_GT(divider, 0.0f);
        float mirrored = -1.0f;
        ASSERT_TRUE(ChannelDividerFromFlows(1.0f, r, mirrored, error)) << error.c_str();
        EXPECT_NEAR(mirrored, 1.0 - low, 0.0015);
        EXPECT_LT(mirrored, 1.0f);
    }
}

TEST(FlowSplit, ExtremeRatiosEndWithinTheStepBound)
{
    // Tiny and huge ratios make the residual nearly flat near the walls; the search must still
    // end, with a divider inside the channel or a clear error.
    const float cases[][2] = {
        {1e-30f, 1.0f}, {1.0f, 1e-30f}, {3e38f, 1.0f}, {1.0f, 3e38f}, {1e-7f, 1e-7f * 1.0001f}};
    for (const auto &c : cases) {
        float divider = -1.0f;
        EString error;
        if (ChannelDividerFromFlows(c[0], c[1], divider, error)) {
            EXPECT_GE(divider, 0.0f);
            EXPECT_LE(divider, 1.0f);
        } else {
            EXPECT_TRUE(error.IsNonEmpty());
        }
    }
}

} // namespace
} // namespace vantelis::test
