// The two workflow start checks: free disk space for the active image types, and a capture period
// long enough for their exposures.
#include "DevicesFixture.h"

#include "devices/CaptureChecks.h"
#include "devices/ImageCapture.h"
#include "platform/Files.h"

#include <gmock/gmock.h>

namespace vantelis::test {
namespace {

using ::testing::HasSubstr;

class CaptureChecksTest : public DevicesFixture
{
  protected:
    void Active(std::initializer_list<int> numbers)
    {
        for (int n = 1; n <= 4; ++n)
            SetSetting("ExperimentSettings", ("IsActive" + std::to_string(n)).c_str(), "FALSE");
        for (int n : numbers)
            SetSetting("ExperimentSettings", ("IsActive" + std::to_string(n)).c_str(), "true");
    }
    uint64_t FreeGb(const std::string &path) const
    {
        uint64_t bytes = 0;
        int code = 0;
        EXPECT_TRUE(platform::FreeDiskBytes(path, bytes, code));
        return bytes >> 30;
    }
};

TEST_F(CaptureChecksTest, DiskSpaceIsCountedPerActiveImageTypeInGigabytes)
{
    const uint64_t free = FreeGb(m_dir.str());
    // A data path that does not exist yet is measured on its nearest existing folder.
    SetSetting("ExperimentSettings", "DataDirectory", m_dir.file("not/made/yet"));
    const struct
    {
        const char *name;
        std::initializer_list<int> active;
        std::string perChannel; // empty: the key is missing (5)
        bool ok;
        uint64_t required;
    } cases[] = {
        {"no active type needs nothing", {}, std::to_string(free + 1), true, 0},
        {"default 5 GB per type", {1, 3}, "", free >= 10, 10},
        {"just enough", {2}, std::to_string(free), true, free},
        {"one GB short", {2, 4}, std::to_string((free + 2) / 2), false, ((free + 2) / 2) * 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Active(c.active);
        SetSetting("ExperimentSettings", "DiskSpaceCheckMBPerChannel", c.perChannel);
        EString message;
        EXPECT_EQ(CheckDiskSpaceForWorkflow(message), c.ok);
        if (!c.ok) {
            EXPECT_EQ(
                std::string(message.c_str()),
                "Recommended disk space for this operation is " + std::to_string(c.required) +
                    " GB. You have " + std::to_string(free) +
                    " GB available.\n\nPlease delete files and empty the Recycle Bin.\n\nContinue with image "
                    "capture?\n\nYES: continue with image capture.\n\nNO: Image capture will stop; any "
                    "runing "
                    "scripts will continue.\n       You can resume image capture when desired, using the\n"
                    "       red Record button.");
        }
    }
    EXPECT_THAT(ErrorLog(), HasSubstr("disk_space_gb=" + std::to_string(free) +
                                      " check_path=" + m_dir.file("not/made/yet")));
}

TEST_F(CaptureChecksTest, ADriveLetterPathIsCheckedAtItsRoot)
{
    // No such root here: the check fails with the drive root in the message and the log.
    SetSetting("ExperimentSettings", "DataDirectory", "Q:\\Data\\Runs");
    EString message;
    EXPECT_FALSE(CheckDiskSpaceForWorkflow(message));
    EXPECT_STREQ(message.c_str(), "Unable to check for available disk space at location: Q:\\");
    EXPECT_THAT(ErrorLog(), HasSubstr("GetDiskFreeSpaceEx() Q:\\ fails, err="));
}

TEST_F(CaptureChecksTest, PeriodMustLeaveTheSaveTimeBesideTheExposures)
{
    const struct
    {
        const char *name;
        std::initializer_list<int> active;
        const char *exposures[4];
        const char *period; // null: missing (0)
        bool ok;
        std::string message;
    } cases[] = {
        {"enough", {1, 2}, {"1000000", "500000", "", ""}, "3000", true, ""},
        {"short",
         {1, 2},
         {"1000000", "500000", "", ""},
         "2100",
         false,
         "Image capture period, currently set to 2100 ms, must be at least 700 ms longer than the total "
         "expsoure time "
         "for the workflow which is 1500 ms. Note: minimum save time per image is 350 ms."},
        {"1999 us count as 1 ms", {3}, {"", "", "1999", ""}, "351", true, ""},
        {"and not as 2",
         {3},
         {"", "", "1999", ""},
         "350",
         false,
         "Image capture period, currently set to 350 ms, must be at least 350 ms longer than the total "
         "expsoure time "
         "for the workflow which is 1 ms. Note: minimum save time per image is 350 ms."},
        {"inactive types do not count", {4}, {"9000000", "", "", "0"}, "350", true, ""},
        {"no active type, any period", {}, {"", "", "", ""}, nullptr, true, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Active(c.active);
        for (int n = 0; n < 4; ++n)
            SetSetting("ExperimentSettings", ("ImageTypeExposure" + std::to_string(n + 1)).c_str(),
                       c.exposures[n]);
        SetSetting("ExperimentSettings", "ImageCapturePeriod", c.period ? c.period : "");
        EString message;
        EXPECT_EQ(CheckCapturePeriod(-1, message), c.ok);
        EXPECT_EQ(std::string(message.c_str()), c.message);
    }
}

} // namespace
} // namespace vantelis::test
