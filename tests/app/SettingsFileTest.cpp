// The main settings file: validity, creation from the template, take-over from the legacy file,
// and the shipped template itself.
#include "AppTestFixture.h"

#include "app/SettingsFile.h"

#include "Ostravo/Profile.h"

#include <gmock/gmock.h>

namespace vantelis::test {
namespace {

TEST(SettingsFileValidation, TableOfValues)
{
    struct Case
    {
        const char *name;
        std::string text;
        bool full;
        bool partial;
    };
    const std::string pump = "[TecanCentris]\r\nPump2SyringeVolume=5000\r\n";
    const std::string scale = "[AutoScale]\r\nLowMappingDisplayIntensity=25\r\n";
    auto calibration = [](const char *value) {
        return std::string("[CalibrationSettings]\r\nimage_pixels_per_mm=") + value + "\r\n";
    };
    const Case cases[] = {
        {"valid", calibration("500") + pump + scale, true, true},
        {"-1.0 is the unset marker", calibration("-1.0") + pump + scale, false, false},
        {"-1 is the unset marker", calibration("-1") + pump + scale, false, false},
        {"-1.5 passes", calibration("-1.5") + pump + scale, true, true},
        {"0 passes", calibration("0") + pump + scale, true, true},
        {"leading number passes", calibration("12abc") + pump + scale, true, true},
        {"unparsable scale", calibration("abc") + pump + scale, false, false},
        {"empty scale", calibration("") + pump + scale, false, false},
        {"no calibration section", pump + scale, false, false},
        {"no [AutoScale]: full check only", calibration("500") + pump, false, true},
        {"no pump volume: full check only", calibration("500") + scale, false, true},
        {"pump volume -1", calibration("500") + "[TecanCentris]\r\nPump2SyringeVolume=-1\r\n" + scale, false,
         true},
        {"display intensity -1",
         calibration("500") + pump + "[AutoScale]\r\nLowMappingDisplayIntensity=-1\r\n", false, true},
        {"display intensity not a number",
         calibration("500") + pump + "[AutoScale]\r\nLowMappingDisplayIntensity=x\r\n", false, true},
        {"LF line ends",
         "[CalibrationSettings]\nimage_pixels_per_mm=500\n[TecanCentris]\nPump2SyringeVolume=1\n"
         "[AutoScale]\nLowMappingDisplayIntensity=0\n",
         true, true},
    };
    TempDir dir;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(dir.file("Plexorin.ini"), c.text);
        EXPECT_EQ(ValidateSettingsFile(dir.file("Plexorin.ini"), true), c.full);
        EXPECT_EQ(ValidateSettingsFile(dir.file("Plexorin.ini"), false), c.partial);
    }
    EXPECT_FALSE(ValidateSettingsFile(dir.file("missing.ini"), false));
}

TEST(SettingsTemplate, PassesTheFullCheckAndGivesEveryKeyAValue)
{
    const std::string path = ShippedTemplatePath();
    ASSERT_TRUE(platform::FileExists(path)) << path;
    EXPECT_TRUE(ValidateSettingsFile(path, true));

    // The template is a Windows text file: CR LF line ends only.
    std::string bytes = ReadFileBytes(path);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare LF at " << i;
        }
    }

    const char *keys[][2] = {
        {"CalibrationSettings", "UpperMagnet"},
        {"CalibrationSettings", "LowerMagnet"},
        {"CalibrationSettings", "UpperChannel"},
        {"CalibrationSettings", "LowerChannel"},
        {"CalibrationSettings", "ZFactory"},
        {"CalibrationSettings", "image_pixels_per_mm"},
        {"Cartridge", "CartridgeUpperChannel"},
        {"Cartridge", "CartridgeLowerChannel"},
        {"ExperimentSettings", "default_cached_log_save_interval_sec"},
        {"ExperimentSettings", "ImageTypeName1"},
        {"ExperimentSettings", "ImageTypeName4"},
        {"ExperimentSettings", "ImageTypeExposure1"},
        {"ExperimentSettings", "ImageTypeExposure4"},
        {"ExperimentSettings", "ImageType1"},
        {"ExperimentSettings", "ImageType4"},
        {"ExperimentSettings", "ImageCapturePeriod"},
        {"ExperimentSettings", "ImageCaptureCount"},
        {"ExperimentSettings", "LockAspectRatio"},
        {"ExperimentSettings", "AspectRatio"},
        {"AutoScale", "LowMappingDisplayIntensity"},
        {"AutoScale", "BrightFieldHighMappingDisplayIntensity"},
        {"AutoScale", "FluorescenceHighMappingDisplayIntensity"},
        {"ScaleIntensitiesDlg", "MinIntensity"},
        {"ScaleIntensitiesDlg", "MaxIntensity"},
        {"ChannelAndMagnetLineAlgoParams", "channel_relative_intensity_pct"},
        {"ChannelAndMagnetLineAlgoParams", "magnet_high_intensity_pct"},
        {"ChannelAndMagnetLineAlgoParams", "magnet_threshold_intensity_fraction"},
        {"CustomerUI", "RunOnStartup"},
        {"CustomerUI", "DefaultScript"},
        {"AdminMode", "Setting"},
        {"TecanCentris", "Pump2SyringeVolume"},
        {"Zaber", "InitializeZaberOnStartup"},
    };
    for (const auto &key : keys) {
        char value[1024];
        ASSERT_TRUE(
            Ostravo::E_GetPrivateProfileString(key[0], key[1], "", value, sizeof value, path.c_str()));
        EXPECT_STRNE(value, "") << key[0] << "/" << key[1];
    }
    // The operator screen does not start by itself.
    char runOnStartup[9];
    Ostravo::E_GetPrivateProfileString("CustomerUI", "RunOnStartup", "", runOnStartup, sizeof runOnStartup,
                                       path.c_str());
    EXPECT_STREQ(runOnStartup, "FALSE");
}

class SettingsFileCreationTest : public AppStartupFixture
{
  protected:
    SettingsFileCreationTest()
    {
        std::filesystem::create_directories(DataFile("Default"));
        WriteFileBytes(DataFile("Default/Vantelis.ini"), m_template);
        m_app = std::make_unique<CPlexorinApp>();
        m_app->m_data_directory = Data();
        m_app->m_ini_path = DataFile("Plexorin.ini");
    }

    std::string Legacy() const { return Quorvane() + "/Plexorin.ini"; }

    std::string Read(const char *section, const char *key)
    {
        char value[1024];
        Ostravo::E_GetPrivateProfileString(section, key, "<none>", value, sizeof value,
                                           m_app->m_ini_path.c_str());
        return value;
    }

    const std::string m_template = ValidSettingsText("[CalibrationSettings2]\r\nx=1\r\n");
};

TEST_F(SettingsFileCreationTest, LegacyCalibrationIsTakenOverOnlyWhenAllSixValuesArePositive)
{
    struct Case
    {
        const char *name;
        std::string legacy;
        bool takenOver;
    };
    auto legacy = [](const char *upperMagnet, const char *zFactor, const char *pixelsPerMm) {
        std::string text = "[CalibrationSettings]\r\n";
        if (upperMagnet)
            text += std::string("UpperMagnet=") + upperMagnet + "\r\n";
        text += "LowerMagnet=1790\r\nUpperChannel=410\r\nLowerChannel=1490\r\n";
        if (zFactor)
            text += std::string("ZFactory=") + zFactor + "\r\n";
        if (pixelsPerMm)
            text += std::string("image_pixels_per_mm=") + pixelsPerMm + "\r\n";
        return text + "[DigitalIO]\r\nNI_USB-6001_Device_Name=Dev7\r\n";
    };
    const Case cases[] = {
        {"all positive", legacy("120", "1.250000", "512.5"), true},
        {"upper magnet 0", legacy("0", "1.25", "512.5"), false},
        {"upper magnet negative", legacy("-3", "1.25", "512.5"), false},
        {"upper magnet missing", legacy(nullptr, "1.25", "512.5"), false},
        {"upper magnet not a number", legacy("abc", "1.25", "512.5"), false},
        {"z factor 0", legacy("120", "0", "512.5"), false},
        {"z factor missing", legacy("120", nullptr, "512.5"), false},
        {"scale negative", legacy("120", "1.25", "-2"), false},
        {"scale missing", legacy("120", "1.25", nullptr), false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        platform::DeleteFile(m_app->m_ini_path);
        WriteFileBytes(Legacy(), c.legacy);

        ASSERT_TRUE(m_app->CreateSettingsFileIfMissing());

        if (c.takenOver) {
            EXPECT_EQ(Read("CalibrationSettings", "UpperMagnet"), "120");
            EXPECT_EQ(Read("CalibrationSettings", "LowerMagnet"), "1790");
            EXPECT_EQ(Read("CalibrationSettings", "UpperChannel"), "410");
            EXPECT_EQ(Read("CalibrationSettings", "LowerChannel"), "1490");
            EXPECT_EQ(Read("CalibrationSettings", "ZFactory"), "1.25");
            EXPECT_EQ(Read("CalibrationSettings", "image_pixels_per_mm"), "512.5");
            EXPECT_EQ(Read("DigitalIO", "NI_USB-6001_Device_Name"), "Dev7");
        } else {
            // Nothing at all, not even the device name.
            EXPECT_EQ(ReadFileBytes(m_app->m_ini_path), m_template);
        }
    }
    EXPECT_TRUE(m_ui->Messages().empty());
}

TEST_F(SettingsFileCreationTest, WithoutLegacyFileTheTemplateIsCopiedUnchanged)
{
    ASSERT_TRUE(m_app->CreateSettingsFileIfMissing());
    EXPECT_EQ(ReadFileBytes(m_app->m_ini_path), m_template);
}

TEST_F(SettingsFileCreationTest, AnExistingSettingsFileIsLeftAlone)
{
    const std::string existing = "[Mine]\r\nkept=1\r\n";
    WriteFileBytes(m_app->m_ini_path, existing);
    WriteFileBytes(Legacy(), "[CalibrationSettings]\r\nUpperMagnet=1\r\nLowerMagnet=2\r\nUpperChannel=3\r\n"
                             "LowerChannel=4\r\nZFactory=5\r\nimage_pixels_per_mm=6\r\n");
    ASSERT_TRUE(m_app->CreateSettingsFileIfMissing());
    EXPECT_EQ(ReadFileBytes(m_app->m_ini_path), existing);
}

TEST_F(SettingsFileCreationTest, TemplateIsFoundIgnoringTheCaseOfItsName)
{
    std::filesystem::remove_all(DataFile("Default"));
    std::filesystem::create_directories(DataFile("default"));
    WriteFileBytes(DataFile("default/VANTELIS.ini"), m_template);
    ASSERT_TRUE(m_app->CreateSettingsFileIfMissing());
    EXPECT_EQ(ReadFileBytes(m_app->m_ini_path), m_template);
}

} // namespace
} // namespace vantelis::test
