// The brightness wait on the live image: its checks in their order, and the answers of the
// renderer reaching it through the program's render link to the installed device services.
#include "LivePreviewFake.h"

#include "app/RenderServiceLinks.h"

#include <chrono>
#include <thread>

namespace vantelis::test {
namespace {

struct Arguments
{
    int32_t low = 100, high = 200, ix = 50, iy = 40, sz = 5, timeout = 1;
};

bool RunTest(const Arguments &a, int32_t &brightness, std::string &error)
{
    EString text;
    const bool ok = MfgTest_BrightnessAtTarget(a.low, a.high, a.ix, a.iy, a.sz, a.timeout, brightness, text);
    error = text.IsNonEmpty() ? text.c_str() : "";
    return ok;
}

// Waits until the test has put its box in place (the renderer only measures from then on).
void WaitUntilRunning()
{
    while (!LiveOverlay().BrightnessRequest().running)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

using BrightnessTest = LivePreviewFixture;

TEST_F(BrightnessTest, ArgumentsAreCheckedInTheirOrder)
{
    // The image is 100 x 80; every case fails before anything is waited for.
    struct Case
    {
        const char *name;
        Arguments a;
        const char *error;
    };
    const Case cases[] = {
        {"low below 0", {-1, 200, 50, 40, 5, 1}, "low must be greater than or equal to 0"},
        {"low equals high", {200, 200, 50, 40, 5, 1}, "high must be must be greater than or equal to low"},
        {"low at the top", {65535, 70000, 50, 40, 5, 1}, "low must be less than to 65535"},
        {"high above the top",
         {0, 65536, 50, 40, 5, 1},
         "high must be less than or equal to 65535 must be greater than or equal to 0"},
        {"even box", {100, 200, 50, 40, 4, 1}, "sz must be an odd number."},
        // 10 - 21/2 = 0 passes the left bound; the time-out shows the box was accepted.
        {"left edge reached", {100, 200, 10, 40, 21, 0}, "timeout_sec must be between 1 and 3600."},
        {"left edge passed", {100, 200, 10, 40, 23, 1}, "ix - sz/2 must be greater than or equal to zero."},
        {"right edge reached", {100, 200, 98, 40, 5, 1}, "ix + sz/2 must be less than image width: 100."},
        {"right edge inside", {100, 200, 97, 40, 5, 3601}, "timeout_sec must be between 1 and 3600."},
        {"top edge passed", {100, 200, 50, 1, 5, 1}, "iy - sz/2 must be greater than or equal to zero."},
        {"bottom edge reached", {100, 200, 50, 78, 5, 1}, "iy + sz/2 must be less than image height: 80."},
        {"huge box", {100, 200, 50, 40, 2147483647, 1}, "ix - sz/2 must be greater than or equal to zero."},
        {"huge centre", {100, 200, 2147483647, 40, 3, 1}, "ix + sz/2 must be less than image width: 100."},
    };
    for (const Case &c : cases) {
        int32_t brightness = -7;
        std::string error;
        EXPECT_FALSE(RunTest(c.a, brightness, error)) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
        EXPECT_FALSE(LiveOverlay().BrightnessRequest().running) << c.name;
    }
}

TEST_F(BrightnessTest, PreviewGateComesBeforeAndAfterTheLimits)
{
    struct Case
    {
        const char *name;
        bool analysis, admin, pressed, document, image;
        Arguments a;
        const char *error;
    };
    const Arguments badLimits{-1, 200, 50, 40, 5, 1};
    const Arguments badBox{100, 200, 50, 40, 4, 1};
    const Case cases[] = {
        {"analysis mode", true, false, true, true, true, badLimits,
         "Image preview is not allowed when using PlexorinAM.exe (Analysis Mode). May be overriden if you "
         "have "
         "administrative access."},
        {"analysis mode with admin", true, true, true, true, true, badBox, "sz must be an odd number."},
        {"live image off", false, false, false, true, true, badLimits, "Image preview is not active."},
        // The document is asked for only after the limits.
        {"no document, bad limits", false, false, true, false, true, badLimits,
         "low must be greater than or equal to 0"},
        {"no document", false, false, true, false, true, badBox,
         "MfgTest_BrightnessAtTarget() : Internal error #1"},
        {"no image", false, false, true, true, false, badBox,
         "MfgTest_BrightnessAtTarget() : Internal error #2"},
    };
    for (const Case &c : cases) {
        theApp.m_analysis_mode = c.analysis;
        theApp.m_admin_mode = c.admin;
        preview->pressed = c.pressed;
        preview->document = c.document;
        preview->image = c.image;
        int32_t brightness = 0;
        std::string error;
        EXPECT_FALSE(RunTest(c.a, brightness, error)) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
    }
    // Without any preview installed (no window) the live image is never on.
    SetLivePreview(nullptr);
    int32_t brightness = 0;
    std::string error;
    EXPECT_FALSE(RunTest(badBox, brightness, error));
    EXPECT_EQ(error, "Image preview is not active.");
}

TEST_F(BrightnessTest, AMedianWithinTheLimitsEndsTheWait)
{
    Arguments a;
    a.timeout = 3600; // ends only through the renderer's answer
    std::thread renderer([] {
        WaitUntilRunning();
        const BrightnessAtTargetRequest &request = LiveOverlay().BrightnessRequest();
        EXPECT_EQ(request.low_limit.load(), 100);
        EXPECT_EQ(request.high_limit.load(), 200);
        EXPECT_EQ(request.center_column.load(), 50);
        EXPECT_EQ(request.center_row.load(), 40);
        EXPECT_EQ(request.box_size.load(), 5);
        DeviceServicesRenderLink link;
        link.ReportBrightness(90, false);
        link.ReportBrightness(150, true);
    });
    int32_t brightness = 0;
    std::string error;
    EXPECT_TRUE(RunTest(a, brightness, error)) << error;
    renderer.join();
    EXPECT_EQ(brightness, 150);
    EXPECT_EQ(error, "");
    EXPECT_FALSE(LiveOverlay().BrightnessRequest().running);
}

// A test that times out still succeeds with the last median seen outside the limits; a value
// left by an earlier test is not reported as this one's.
TEST_F(BrightnessTest, ATimedOutTestReturnsTheLastValue)
{
    LiveOverlay().BrightnessRequest().last_out_of_range = 77;
    int32_t brightness = -1;
    std::string error;
    EXPECT_TRUE(RunTest(Arguments{}, brightness, error)) << error;
    EXPECT_EQ(brightness, 0);

    std::thread renderer([] {
        WaitUntilRunning();
        DeviceServicesRenderLink link;
        link.ReportBrightness(40, false);
        link.ReportBrightness(230, false);
    });
    EXPECT_TRUE(RunTest(Arguments{}, brightness, error)) << error;
    renderer.join();
    EXPECT_EQ(brightness, 230);
    EXPECT_EQ(error, "");
}

TEST_F(BrightnessTest, OnlyOneTestRunsAtATime)
{
    int32_t firstBrightness = -1;
    std::string firstError;
    bool firstOk = false;
    std::thread first([&] { firstOk = RunTest(Arguments{}, firstBrightness, firstError); });
    WaitUntilRunning();
    int32_t brightness = -1;
    std::string error;
    EXPECT_FALSE(RunTest(Arguments{}, brightness, error));
    EXPECT_EQ(error, "Already running MfgTest_BrightnessAtTarget().");
    LiveOverlay().BrightnessRequest().result = 120;
    LiveOverlay().SetBrightnessTestEvent();
    first.join();
    EXPECT_TRUE(firstOk) << firstError;
    EXPECT_EQ(firstBrightness, 120);
    // Once it ended, the next one may run.
    Arguments bad;
    bad.sz = 4;
    EXPECT_FALSE(RunTest(bad, brightness, error));
    EXPECT_EQ(error, "sz must be an odd number.");
}

} // namespace
} // namespace vantelis::test
