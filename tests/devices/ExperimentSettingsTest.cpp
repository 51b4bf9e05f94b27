// The experiment settings fields: accepted and refused texts, what a missing key shows, and
// saving only what changed.
#include "devices/ExperimentSettings.h"

#include "app/DeviceServices.h"
#include "app/PlexorinApp.h"
#include "support/FakeCamera.h"
#include "support/FakeUi.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace vantelis::test {
namespace {

FakeCamera ModelCamera()
{
    FakeCamera camera;
    camera.initialized = true;
    camera.model = "Cam9";
    camera.serial = "1";
    camera.temperature = 20;
    return camera;
}

class ExperimentSettingsTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        m_savedIni = theApp.m_ini_path;
        m_savedData = theApp.m_data_directory;
        theApp.m_ini_path = dir.file("Plexorin.ini");
        theApp.m_data_directory = dir.str();
    }
    void TearDown() override
    {
        theApp.m_ini_path = m_savedIni;
        theApp.m_data_directory = m_savedData;
        theApp.m_camera = nullptr;
    }
    void WriteSettings(const std::string &text)
    {
        std::ofstream(theApp.m_ini_path, std::ios::binary) << text;
    }
    std::string SettingsText() const
    {
        std::ifstream in(theApp.m_ini_path, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
    static const ExperimentSettingField &Field(const char *key)
    {
        for (const ExperimentSettingField &field : ExperimentSettingFields())
            if (std::string(field.key) == key)
                return field;
        throw std::runtime_error(key);
    }

    TempDir dir;
    ScopedFakeUi ui;

  private:
    std::string m_savedIni;
    std::string m_savedData;
};

struct RuleCase
{
    const char *key;
    const char *text;
    const char *refusal; // empty: accepted
};

TEST_F(ExperimentSettingsTest, FieldRules)
{
    const char *const dark = "Dark pixel threshold must be an integer between 0 and 1024.";
    const char *const gap = "Tecan: Min time between commands must be between 0 and 2000 ms";
    const char *const steps = "ZaberStepsPerMM must be a floating point value between 1000 and 100000";
    const RuleCase cases[] = {
        {"DarkPixelThreshold", "-1", dark},
        {"DarkPixelThreshold", "abc", dark},
        {"DarkPixelThreshold", "", dark},
        {"DarkPixelThreshold", "1024", ""},
        {"DarkPixelThreshold", "1025", dark},
        {"DarkPixelsMaxFraction", "0.999", ""},
        {"DarkPixelsMaxFraction", "1",
         "Dark pixels max fraction must be a floating point number between 0 and 0.999"},
        {"SatPixelThreshold", "65536", ""},
        {"SatPixelThreshold", "1023", "Saturation pixel threshold must be an integer between 0 and 64K."},
        {"ImageCapturePeriod", "0", ""},
        {"ImageCapturePeriod", "3600001",
         "Image capture period must be between 0 and 3600000. Where 0 indicates that only a single image "
         "will be "
         "acquired and saved per active image type."},
        {"ImageCaptureCount", "0", "Image capture count must be an integer between 1 and 10000."},
        {"ImageCaptureCount", "10000", ""},
        {"MonitorScaleFactor", "3", "MonitorScaleFactor must be between 0.333 and 3.0"},
        {"MonitorScaleFactor", "0.333", ""},
        {"MonitorScaleFactor", "0.3", "MonitorScaleFactor must be between 0.333 and 3.0"},
        {"MonitorScaleFactor", "", ""},
        {"ImageTypeExposure1", "28", "exposure must be at least 29 us"},
        {"ImageTypeExposure1", "abc", "exposure must be at least 29 us"},
        {"ImageTypeExposure2", "1000001", "exposure must be no more than 1000000 us"},
        {"ImageTypeExposure3", "", ""},
        {"ImageTypeExposure4", "29", ""},
        {"min_time_between_commands_ms", "1000", ""},
        {"min_time_between_commands_ms", "1500",
         "TecanCentris::SetMinimumTimeBetweenCommands (1500) maximum delay is 1000 ms"},
        {"min_time_between_commands_ms", "2001", gap},
        {"min_time_between_commands_ms", "-1", gap},
        {"min_time_between_commands_ms", "fast", gap},
        {"ZaberStepsPerMM_X", "many", steps},
        {"ZaberStepsPerMM_Z", "999.9", steps},
        {"ZaberXAxisIndex", "x", "ZaberXAxisIndex must be an integer between 1 and 99"},
        {"ZaberFocusDeviceIndex", "100", "ZaberFocusDeviceIndex must be an integer between 1 and 99"},
        {"ExperimentName", "run_7-b", ""},
        {"ExperimentName", "run:7",
         "ExperimentName has invalid characters, only valid Windows file name characters allowed."},
        {"ImageTypeName2", "a/b",
         "ImageTypeName2 has invalid characters, only valid Windows file name characters allowed."},
        {"AspectRatio", "anything", ""},
    };
    for (const RuleCase &c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.text);
        std::string message;
        const bool accepted = CheckExperimentSetting(Field(c.key), c.text, message);
        EXPECT_EQ(accepted, *c.refusal == '\0');
        EXPECT_EQ(message, c.refusal);
    }
}

TEST_F(ExperimentSettingsTest, ExposureLimitsComeFromAnInitialisedCamera)
{
    FakeCamera camera = ModelCamera();
    theApp.m_camera = &camera;
    struct Case
    {
        const char *section;
        int exposure;
        const char *refusal;
    } cases[] = {
        {"min_exposure_us=100\nmax_exposure_us=5000\n", 99, "exposure must be at least 100 us"},
        {"min_exposure_us=100\nmax_exposure_us=5000\n", 5001, "exposure must be no more than 5000 us"},
        {"min_exposure_us=100\nmax_exposure_us=5000\n", 5000, ""},
        {"min_exposure_us=2\nmax_exposure_us=5000\n", 28,
         "exposure must be at least 29 us"},                     // minimum too low
        {"min_exposure_us=100\nmax_exposure_us=999\n", 500, ""}, // maximum too low
        {"min_exposure_us=100\nmax_exposure_us=20000000\n", 1000001,
         "exposure must be no more than 1000000 us"},
        {"min_exposure_us=6000\nmax_exposure_us=5000\n", 1000, ""}, // minimum not below maximum
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.section) + std::to_string(c.exposure));
        WriteSettings(std::string("[Cam9 Settings]\n") + c.section);
        EString error;
        EXPECT_EQ(ValidateExposureForCamera(c.exposure, error), *c.refusal == '\0');
        EXPECT_EQ(std::string(error.c_str()), c.refusal);
    }
    // A camera that is not initialised does not count.
    camera.initialized = false;
    WriteSettings("[Cam9 Settings]\nmin_exposure_us=100\n");
    EString error;
    EXPECT_TRUE(ValidateExposureForCamera(50, error));
}

TEST_F(ExperimentSettingsTest, MissingKeysShowWhatTheirReadersUse)
{
    WriteSettings("[ExperimentSettings]\nLockAspectRatio=true\nIsActive1=yes\n[TecanCentris]\n");
    struct Case
    {
        const char *key;
        std::string shown;
    } cases[] = {
        {"ImageCapturePeriod", "0"},
        {"ImageCaptureCount", "1"},
        {"DarkPixelThreshold", ""},
        {"SatPixelThreshold", "65536"},
        {"ExperimentName", ""},
        {"DataDirectory", dir.str()},
        {"InitializeTecanPumpsOnStartup", "TRUE"},
        {"LockAspectRatio", "TRUE"},
        {"IsActive1", "FALSE"},
        {"ZaberXAxisIndex", "2"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(ShownExperimentSetting(Field(c.key)), c.shown);
    }
}

TEST_F(ExperimentSettingsTest, SaveWritesChangedFieldsAndKeepsRefusedOnes)
{
    const std::string original = "[ExperimentSettings]\r\nDarkPixelThreshold=10\r\nImageCaptureCount=5\r\n";
    WriteSettings(original);
    EXPECT_EQ(SaveExperimentSettings({}), 0);
    EXPECT_EQ(SettingsText(), original);

    EXPECT_EQ(SaveExperimentSettings({{1018, "1025"}, {1052, "7"}, {1247, ""}}), 1);
    const std::string text = SettingsText();
    EXPECT_NE(text.find("DarkPixelThreshold=10"), std::string::npos);
    EXPECT_NE(text.find("ImageCaptureCount=7"), std::string::npos);
    EXPECT_NE(text.find("MonitorScaleFactor="), std::string::npos);
    EXPECT_NE(text.find("SaveLogInImageDirectory=FALSE"), std::string::npos);
    EXPECT_EQ(text.find("ImageCapturePeriod"), std::string::npos);
    ASSERT_EQ(ui->Messages().size(), 1u);
    EXPECT_EQ(ui->Messages()[0].text, "Dark pixel threshold must be an integer between 0 and 1024.");
}

} // namespace
} // namespace vantelis::test
