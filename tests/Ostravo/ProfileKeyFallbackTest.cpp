// The read hook that answers moved calibration items from their older sections.
#include "Ostravo/KeyFallback.h"
#include "ProfileTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace vantelis::test {
namespace {

class ProfileKeyFallbackTest : public ProfileFixture
{
  protected:
    void SetUp() override
    {
        ProfileFixture::SetUp();
        ProfileReadHook = &ProfileKeyFallback;
    }
    void TearDown() override
    {
        SetProfileKeyFallbackSettingsPath("");
        ProfileFixture::TearDown();
    }
};

TEST_F(ProfileKeyFallbackTest, MovedItemsFallBackToTheirOldSections)
{
    const std::string file = m_dir.file("Plexorin.ini");
    WriteFileBytes(file, "[CalibrationSettings]\r\n"
                         "LowerMagnet=111\r\n"
                         "[CountingAlgorithmDlg]\r\n"
                         "UpperMagnet=201\r\nLowerMagnet=202\r\nUpperChannel=203\r\nLowerChannel=204\r\n"
                         "[ExperimentSettings]\r\nimage_pixels_per_mm=512.5\r\n"
                         "[Zaber]\r\nZFactory=7\r\n"
                         "[Other]\r\nSomethingElse=old\r\n"
                         "[Cartridge]\r\nCartridgeUpperChannel=301\r\n");
    const struct
    {
        const char *section;
        const char *item;
        const char *def;
        const char *expected;
    } cases[] = {
        {"CalibrationSettings", "UpperChannel", "", "203"},
        {"CalibrationSettings", "UpperMagnet", "", "201"},
        {"CalibrationSettings", "LowerMagnet", "", "111"}, // found in its new place
        {"CalibrationSettings", "LowerChannel", "", "204"},
        {"CalibrationSettings", "image_pixels_per_mm", "", "512.5"},
        {"CalibrationSettings", "ZFactory", "", "7"},
        {"calibrationsettings", "zfactory", "", "7"},      // names match in any letter case
        {"CalibrationSettings", "UpperChannel", "5", "5"}, // a non-empty default ends the chain
        {"CalibrationSettings", "SomethingElse", "", ""},  // not a moved item
        {"Cartridge", "CartridgeUpperChannel", "", "301"},
        {"Cartridge", "CartridgeLowerChannel", "", "204"},
        {"Other", "SomethingElse", "", "old"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.item);
        bool ok = false;
        EXPECT_EQ(Read(file, c.section, c.item, c.def, 256, &ok), c.expected);
        EXPECT_TRUE(ok);
    }
}

TEST_F(ProfileKeyFallbackTest, CartridgeChannelTriesCalibrationSettingsFirst)
{
    const std::string file = m_dir.file("Plexorin.ini");
    WriteFileBytes(
        file, "[CalibrationSettings]\r\nLowerChannel=150\r\n[CountingAlgorithmDlg]\r\nLowerChannel=250\r\n");
    EXPECT_EQ(Read(file, "Cartridge", "CartridgeLowerChannel"), "150");
    WriteFileBytes(file, "[CountingAlgorithmDlg]\r\nLowerChannel=250\r\n");
    EXPECT_EQ(Read(file, "Cartridge", "CartridgeLowerChannel"), "250");
    WriteFileBytes(file, "[Cartridge]\r\n");
    EXPECT_EQ(Read(file, "Cartridge", "CartridgeLowerChannel", "x"), "x");
}

TEST_F(ProfileKeyFallbackTest, DirectCallsAndTheMainSettingsFile)
{
    const std::string file = m_dir.file("Plexorin.ini");
    WriteFileBytes(file, "[CountingAlgorithmDlg]\r\nUpperChannel=203\r\n");
    char buffer[16] = "junk";
    EXPECT_FALSE(ProfileKeyFallback("CalibrationSettings", "Other", "", buffer, sizeof buffer, file.c_str()));
    EXPECT_FALSE(ProfileKeyFallback("Display", "UpperChannel", "", buffer, sizeof buffer, file.c_str()));
    EXPECT_FALSE(ProfileKeyFallback(nullptr, "UpperChannel", "", buffer, sizeof buffer, file.c_str()));
    EXPECT_FALSE(ProfileKeyFallback("CalibrationSettings", nullptr, "", buffer, sizeof buffer, file.c_str()));

    // A null file stands for the main settings file.
    SetProfileKeyFallbackSettingsPath(file.c_str());
    ASSERT_TRUE(
        ProfileKeyFallback("CalibrationSettings", "UpperChannel", "", buffer, sizeof buffer, nullptr));
    EXPECT_STREQ(buffer, "203");
}

} // namespace
} // namespace vantelis::test
