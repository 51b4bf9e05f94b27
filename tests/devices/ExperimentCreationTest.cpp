// Experiment creation: the folder levels, the keys of the current experiment, the settings copy
// with the cartridge values, the backup, and the failures.
#include "DevicesFixture.h"

#include "devices/ExperimentCreation.h"

#include <gmock/gmock.h>

namespace vantelis::test {
namespace {

class ExperimentCreationTest : public DevicesFixture
{
  protected:
    ExperimentCreationTest()
    {
        WriteStandardCartridge();
        LoadCartridges();
        theApp.m_cartridge_barcode.Assign("123-456-7890");
        platform::SetFakeClock(MakeTime(2024, 3, 15, 9, 30, 5));
    }
};

TEST_F(ExperimentCreationTest, CreatesTheFolderTreeKeysCopyAndBackup)
{
    EString error("old");
    ASSERT_TRUE(SetupNewExperiment("Run1", error)) << error.c_str();
    EXPECT_STREQ(error.c_str(), "");
    const std::string folder = Experiments() + "/20240315/20240315-0930-05_Run1";
    EXPECT_TRUE(std::filesystem::is_directory(folder + "/Images"));
    EXPECT_EQ(Setting("ExperimentSettings", "ExperimentImageNamePrefix"), "20240315-0930-05_Run1");
    EXPECT_EQ(Setting("ExperimentSettings", "ExperimentFullName"), "20240315-0930-05_Run1");
    EXPECT_EQ(Setting("ExperimentSettings", "ExperimentDirectory"), folder);
    EXPECT_EQ(Setting("ExperimentSettings", "ExperimentFile"), folder + "/ExperimentSettings.ini");

    // The copy names itself and carries the cartridge values, as does the main file: 10 and -5
    // microns at 200 pixels per mm are 2 and -1 rows.
    const std::string copy = folder + "/ExperimentSettings.ini";
    for (const std::string &file : {copy, Ini()}) {
        SCOPED_TRACE(file);
        EXPECT_EQ(Setting("ExperimentSettings", "ExperimentDirectory", file), folder);
        EXPECT_EQ(Setting("ExperimentSettings", "CartridgeType", file), "Std");
        EXPECT_EQ(Setting("ExperimentSettings", "Barcode", file), "123-456-7890");
        EXPECT_EQ(Setting("Cartridge", "CartridgeUpperChannel", file), "302");
        EXPECT_EQ(Setting("Cartridge", "CartridgeLowerChannel", file), "699");
        EXPECT_EQ(Setting("Cartridge", "SampleAspirateVolume", file), "300");
    }
    EXPECT_EQ(ReadFileBytes(Data() + "/Backup/Plexorin.ini.bak"), ReadFileBytes(Ini()));
}

TEST_F(ExperimentCreationTest, TwoCreationsInOneSecondGetTwoFoldersWithTheirOwnKeys)
{
    EString error;
    ASSERT_TRUE(SetupNewExperiment("Run1", error)) << error.c_str();
    const std::string first = Setting("ExperimentSettings", "ExperimentDirectory");
    ASSERT_TRUE(SetupNewExperiment("Run1", error)) << error.c_str();
    const std::string second = Setting("ExperimentSettings", "ExperimentDirectory");
    EXPECT_EQ(second, Experiments() + "/20240315/20240315-0930-05_Run1_2");
    EXPECT_EQ(Setting("ExperimentSettings", "ExperimentFullName"), "20240315-0930-05_Run1_2");
    EXPECT_EQ(Setting("ExperimentSettings", "ExperimentDirectory", first + "/ExperimentSettings.ini"), first);
    EXPECT_EQ(Setting("ExperimentSettings", "ExperimentDirectory", second + "/ExperimentSettings.ini"),
              second);
}

TEST_F(ExperimentCreationTest, DailyFolderAndDataDirectorySettings)
{
    const struct
    {
        const char *daily; // null: key missing
        std::string dataDirectory;
        std::string parent;
    } cases[] = {
        {"false", Experiments(), Experiments()},
        {"FaLsE", Experiments(), Experiments()},
        {"TRUE", Experiments(), Experiments() + "/20240315"},
        {"", Experiments(), Experiments() + "/20240315"},
        {nullptr, Experiments(), Experiments() + "/20240315"},
        {"no", Experiments(), Experiments() + "/20240315"},
        {"false", Experiments() + "/", Experiments()}, // a trailing separator changes nothing
        {"false", Experiments() + "\\", Experiments()},
        {"false", "", Data()}, // empty: the data folder
    };
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.daily ? c.daily : "<missing>") + " " + c.dataDirectory);
        WriteFileBytes(Ini(),
                       "[CalibrationSettings]\r\nimage_pixels_per_mm=200\r\n[ExperimentSettings]\r\n"
                       "DataDirectory=" +
                           c.dataDirectory + "\r\n" +
                           (c.daily ? std::string("CreateDailySubDirectory=") + c.daily + "\r\n" : ""));
        const std::string name = "Case" + std::to_string(++n);
        EString error;
        ASSERT_TRUE(SetupNewExperiment(name.c_str(), error)) << error.c_str();
        EXPECT_EQ(Setting("ExperimentSettings", "ExperimentDirectory"),
                  c.parent + "/20240315-0930-05_" + name);
        EXPECT_TRUE(std::filesystem::is_directory(c.parent + "/20240315-0930-05_" + name + "/Images"));
    }
}

TEST_F(ExperimentCreationTest, FolderFailuresNameTheFolder)
{
    // Each level is made as one folder: a DataDirectory whose parent is missing fails.
    SetSetting("ExperimentSettings", "DataDirectory", m_dir.file("missing/Exp"));
    EString error;
    EXPECT_FALSE(SetupNewExperiment("Run1", error));
    EXPECT_EQ(std::string(error.c_str()), "Unable to create directory: " + m_dir.file("missing/Exp"));

    // Characters that no file name may hold are refused, whatever this file system would take.
    SetSetting("ExperimentSettings", "DataDirectory", Experiments());
    SetSetting("ExperimentSettings", "CreateDailySubDirectory", "FALSE");
    const std::string before = Setting("ExperimentSettings", "ExperimentDirectory");
    for (const char *name : {"Run?1", "a:b", "x/y", "q\"t"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(SetupNewExperiment(name, error));
        EXPECT_EQ(std::string(error.c_str()), "Unable to create directory: " + Experiments() +
                                                  "/20240315-0930-05_" + name +
                                                  " : directory name contains invalid character(s)");
    }
    EXPECT_EQ(Setting("ExperimentSettings", "ExperimentDirectory"), before);
    EXPECT_FALSE(std::filesystem::exists(Experiments() + "/20240315-0930-05_x"));
}

TEST_F(ExperimentCreationTest, ACartridgeThatMatchesNothingFailsTheCreation)
{
    theApp.m_cartridge_barcode.Assign("999-000-0000");
    EString error;
    EXPECT_FALSE(SetupNewExperiment("Run1", error));
    EXPECT_STREQ(error.c_str(),
                 "ImposeCartridgeTypeOffsets() No cartridge type matches barcode: \"999-000-0000\"");
}

TEST_F(ExperimentCreationTest, EmptyNameUsesTheDateFolderItself)
{
    EString error;
    ASSERT_TRUE(SetupNewExperiment("", error)) << error.c_str();
    EXPECT_EQ(Setting("ExperimentSettings", "ExperimentDirectory"), Experiments() + "/20240315");
    EXPECT_EQ(Setting("ExperimentSettings", "ExperimentImageNamePrefix"), "");
    EXPECT_EQ(Setting("ExperimentSettings", "ExperimentFullName"), "");
    EXPECT_TRUE(std::filesystem::is_regular_file(Experiments() + "/20240315/ExperimentSettings.ini"));
    // The copy is never written over: a second empty name in the same date folder fails.
    EXPECT_FALSE(SetupNewExperiment("", error));
    EXPECT_EQ(std::string(error.c_str()),
              "Problem copying " + Ini() + " -> " + Experiments() + "/20240315/ExperimentSettings.ini");
}

TEST_F(ExperimentCreationTest, ResumedAppendsToThePrefixEachTime)
{
    EString error;
    ASSERT_TRUE(SetupNewExperiment("Run1", error)) << error.c_str();
    EXPECT_TRUE(MarkExperimentResumed(error));
    EXPECT_TRUE(MarkExperimentResumed(error));
    EXPECT_EQ(Setting("ExperimentSettings", "ExperimentImageNamePrefix"),
              "20240315-0930-05_Run1_Resumed_Resumed");
    EXPECT_EQ(Setting("ExperimentSettings", "ExperimentFullName"), "20240315-0930-05_Run1");
}

} // namespace
} // namespace vantelis::test
