#include "experiment/ExperimentData.h"
#include "ExperimentTestSupport.h"

#include <gmock/gmock.h>

#include <filesystem>

using vantelis::test::WriteFileBytes;
namespace fs = std::filesystem;

namespace {

class ExperimentDataTest : public ExperimentTest
{
  protected:
    std::string Folder(const char *name)
    {
        const std::string folder = m_dir.file(name);
        fs::create_directories(folder);
        return folder;
    }
};

TEST(ExperimentDataDefaults, NewRecordIsEmptyWithTheCameraSize)
{
    const ExperimentData data;
    EXPECT_EQ(data.m_image_width, 2448);
    EXPECT_EQ(data.m_image_height, 2048);
    EXPECT_TRUE(data.m_records.empty());
    EXPECT_EQ(data.m_reference_record.pump1_speed, 0.0);
    EXPECT_EQ(data.m_channel_offset, 0);
}

TEST_F(ExperimentDataTest, OpenTakesTheFirstLogAndSettingsFileByName)
{
    const std::string folder = Folder("exp");
    WriteFileBytes(folder + "/b.log", "");
    WriteFileBytes(folder + "/A.LOG", ""); // the Windows build found upper-case names too
    WriteFileBytes(folder + "/z.ini", "");
    WriteFileBytes(folder + "/ExperimentSettings.ini", "");
    ExperimentData data;
    std::string error;
    ASSERT_TRUE(data.Open(folder, &error)) << error;
    EXPECT_EQ(data.m_log_path, folder + "/A.LOG");
    EXPECT_EQ(data.m_settings_path, folder + "/ExperimentSettings.ini");
    EXPECT_EQ(data.m_folder, folder);

    // Names compared as Windows listed them, letters folded to upper case: "c" before "_".
    const std::string other = Folder("other");
    WriteFileBytes(other + "/_old.log", "");
    WriteFileBytes(other + "/capture.log", "");
    WriteFileBytes(other + "/_old.ini", "");
    WriteFileBytes(other + "/experimentsettings.ini", "");
    ExperimentData second;
    ASSERT_TRUE(second.Open(other, &error)) << error;
    EXPECT_EQ(second.m_log_path, other + "/capture.log");
    EXPECT_EQ(second.m_settings_path, other + "/experimentsettings.ini");
}

TEST_F(ExperimentDataTest, OpenRefusesIncompleteFolders)
{
    const std::string noLog = Folder("nolog");
    WriteFileBytes(noLog + "/ExperimentSettings.ini", "");
    fs::create_directories(noLog + "/folder.log"); // a folder is not a log
    const std::string noIni = Folder("noini");
    WriteFileBytes(noIni + "/x.log", "");
    struct Case
    {
        std::string folder;
        const char *message;
    } cases[] = {
        {m_dir.file("missing"), "Experiment folder does not exist"},
        {noLog, "No capture log (*.log)"},
        {noIni, "No settings file (*.ini)"},
    };
    for (const Case &c : cases) {
        ExperimentData data;
        std::string error;
        EXPECT_FALSE(data.Open(c.folder, &error)) << c.folder;
        EXPECT_THAT(error, ::testing::HasSubstr(c.message));
        EXPECT_TRUE(data.m_folder.empty());
        EXPECT_TRUE(data.m_log_path.empty());
    }
}

TEST_F(ExperimentDataTest, FailuresReachTheErrorLog)
{
    fs::create_directories(m_dir.file("LOG"));
    ExperimentData data;
    std::string openError, logError;
    EXPECT_FALSE(data.Open(m_dir.file("gone"), &openError));
    EXPECT_FALSE(data.ReadCaptureLog(m_dir.file("gone.log"), &logError));
    std::string logged;
    for (const auto &entry : fs::directory_iterator(m_dir.file("LOG")))
        logged += vantelis::test::ReadFileBytes(entry.path().string());
    EXPECT_THAT(logged, ::testing::HasSubstr(openError));
    EXPECT_THAT(logged, ::testing::HasSubstr(logError));
}

TEST_F(ExperimentDataTest, ReadSettingsParsesOrDefaults)
{
    struct Case
    {
        const char *text;
        int upper, lower_end, crop_top, crop_bottom;
        double ppm;
        const char *name; // empty: the folder
    } cases[] = {
        {"[Cartridge]\r\nCartridgeUpperChannel=400\r\nCartridgeLowerChannel=1500\r\n[CalibrationSettings]\r\n"
         "image_pixels_per_mm=512.5\r\n[ExperimentSettings]\r\nExperimentFullName=Run1\r\n",
         400, 1501, 300, 1601, 512.5, "Run1"},
        {"[Cartridge]\nCartridgeUpperChannel=400\n", 400, 1, 300, 101, -1.0, ""},
        {"[CalibrationSettings]\r\nimage_pixels_per_mm=abc\r\n[ExperimentSettings]\r\nExperimentFullName="
         "\r\n",
         0, 1, -100, 101, -1.0, ""},
    };
    for (const Case &c : cases) {
        const std::string path = m_dir.file("s.ini");
        WriteFileBytes(path, c.text);
        ExperimentData data;
        data.m_folder = "/some/folder";
        std::string error;
        EXPECT_TRUE(data.ReadSettings(path, error));
        EXPECT_EQ(data.m_upper_channel, c.upper) << c.text;
        EXPECT_EQ(data.m_lower_channel_end, c.lower_end) << c.text;
        EXPECT_EQ(data.m_crop_top, c.crop_top) << c.text;
        EXPECT_EQ(data.m_crop_bottom, c.crop_bottom) << c.text;
        EXPECT_DOUBLE_EQ(data.m_pixels_per_mm, c.ppm) << c.text;
        EXPECT_EQ(data.m_experiment_full_name, *c.name ? c.name : "/some/folder");
        EXPECT_TRUE(error.empty());
    }
    ExperimentData missing;
    std::string error;
    EXPECT_TRUE(missing.ReadSettings(m_dir.file("none.ini"), error));
    EXPECT_EQ(missing.m_lower_channel_end, 1);
    EXPECT_DOUBLE_EQ(missing.m_pixels_per_mm, -1.0);
}

TEST_F(ExperimentDataTest, ImagePathUsesTheImagesFolderWhenItExists)
{
    const std::string with = Folder("with");
    fs::create_directories(with + "/Images");
    const std::string lower = Folder("lower");
    fs::create_directories(lower + "/images");
    const std::string without = Folder("without");
    struct Case
    {
        std::string folder;
        std::string expected;
    } cases[] = {
        {with, with + "/Images/x_0001.png"},        {with + "/", with + "/Images/x_0001.png"},
        {with + "\\", with + "/Images/x_0001.png"}, {" " + with + "\t", with + "/Images/x_0001.png"},
        {lower, lower + "/images/x_0001.png"},      {without, without + "/x_0001.png"},
        {without + "/", without + "/x_0001.png"},   {"", "x_0001.png"},
    };
    for (const Case &c : cases) {
        EString path;
        MakeExperimentImagePath(EString(c.folder.c_str()), EString("x_0001.png"), path);
        EXPECT_EQ(std::string(path.c_str()), c.expected) << "[" << c.folder << "]";
    }
}

TEST(SplitStringTest, KeepsEmptyFields)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(ExperimentData::SplitString("", '\t'), V{""});
    EXPECT_EQ(ExperimentData::SplitString("a\tb\t", '\t'), (V{"a", "b", ""}));
    EXPECT_EQ(ExperimentData::SplitString("\t\t", '\t'), (V{"", "", ""}));
    EXPECT_EQ(ExperimentData::SplitString(" a b", ' '), (V{"", "a", "b"}));
}

TEST_F(ExperimentDataTest, ContrastReferenceImagesAreTheEleventhRecordOfTheRun)
{
    const std::string folder = Folder("ref");
    fs::create_directories(folder + "/Images");
    ExperimentData data;
    data.m_folder = folder;
    data.m_selected_run.resize(10);
    EString bf("old"), fl1("old"), fl2("old");
    EXPECT_FALSE(data.GetContrastReferenceImages(bf, fl1, fl2));
    EXPECT_STREQ(bf.c_str(), "");
    EXPECT_STREQ(fl1.c_str(), "");

    data.m_selected_run.resize(12);
    data.m_selected_run[10].images.brightfield.file_name = "bf_0011.png";
    WriteFileBytes(folder + "/Images/bf_0011.png", "x");
    EXPECT_TRUE(data.GetContrastReferenceImages(bf, fl1, fl2));
    EXPECT_EQ(std::string(bf.c_str()), folder + "/Images/bf_0011.png");
    EXPECT_STREQ(fl1.c_str(), "");
    EXPECT_STREQ(fl2.c_str(), "");

    // A named image that does not exist fails, the paths are still given.
    data.m_selected_run[10].images.fluorescence2.file_name = "fl2_0011.png";
    EXPECT_FALSE(data.GetContrastReferenceImages(bf, fl1, fl2));
    EXPECT_EQ(std::string(bf.c_str()), folder + "/Images/bf_0011.png");
    EXPECT_EQ(std::string(fl2.c_str()), folder + "/Images/fl2_0011.png");
}

} // namespace
