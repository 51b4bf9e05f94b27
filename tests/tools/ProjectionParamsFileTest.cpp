#include "tools/projection/ProjectionParamsFile.h"

#include "support/TempDir.h"

#include "Ostravo/Profile.h"
#include "tools/ROIList.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace vantelis::test {
namespace {

void WriteText(const std::string &path, const std::string &text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class ProjectionParamsFileTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        settings = dir.file("Vantelis.ini");
        WriteText(settings, "[RightSideProjection]\r\nNumPeaksToFind=7\r\n");
        std::filesystem::create_directories(dir.file("LIB"));
    }
    std::string Lib(const std::string &name) const { return dir.file("LIB/" + name); }

    TempDir dir;
    std::string settings;
};

// Each caller maps names by its own rule; a LIB path is the same for all.
TEST_F(ProjectionParamsFileTest, NameMappingDiffersByCaller)
{
    struct Case
    {
        const char *name;
        bool load, save, renderer; // true: the main settings file
    };
    const Case cases[] = {
        {"__ExperimentSettings__", true, true, true},
        {"__experimentsettings__", false, true, true},
        {"ExperimentSettings", false, true, false},
        {"MyExperimentSettings", false, true, false},
        {"myexperimentSETTINGS", false, true, false},
        {"a.b", false, false, false},
        {"Cells", false, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string lib = Lib(std::string(c.name) + ".pa_params");
        EXPECT_EQ(ProjectionParamsFileFor(ParamsNameRule::DialogLoad, c.name, settings),
                  c.load ? settings : lib);
        EXPECT_EQ(ProjectionParamsFileFor(ParamsNameRule::DialogSave, c.name, settings),
                  c.save ? settings : lib);
        EXPECT_EQ(ProjectionParamsFileFor(ParamsNameRule::Renderer, c.name, settings),
                  c.renderer ? settings : lib);
        EXPECT_EQ(ProjectionParamsFileFor(ParamsNameRule::Run, c.name, settings), lib);
    }
}

// LIB lies beside the settings file, whichever separator leads to it; no folder means the current one.
TEST(ProjectionParamsLibFolder, LibIsBesideTheSettingsFile)
{
    const struct
    {
        const char *settings;
        const char *file;
    } cases[] = {
        {"Plexorin.ini", "./LIB/Cells.pa_params"},
        {"/Plexorin.ini", "/LIB/Cells.pa_params"},
        {"\\Plexorin.ini", "/LIB/Cells.pa_params"},
        {"/no-such-data/Plexorin.ini", "/no-such-data/LIB/Cells.pa_params"},
        {"C:\\no-such-data\\Plexorin.ini", "C:/no-such-data/LIB/Cells.pa_params"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ProjectionParamsFileFor(ParamsNameRule::Run, "Cells", c.settings), c.file) << c.settings;
}

TEST_F(ProjectionParamsFileTest, ExistingSetFileIsFoundIgnoringCaseOfExtension)
{
    WriteText(Lib("Cells.PA_params"), "[RightSideProjection]\r\nNumPeaksToFind=3\r\n");
    const std::string file = ProjectionParamsFileFor(ParamsNameRule::Run, "Cells", settings);
    EXPECT_EQ(file, Lib("Cells.PA_params"));
    ProjectionParamsFields fields;
    ReadProjectionParamsFields(file, fields);
    EXPECT_EQ(fields.numPeaks, "3");
}

TEST_F(ProjectionParamsFileTest, ListingCutsAtFirstDotAndHidesExperimentSettings)
{
    for (const char *name : {"Beads.v2.pa_params", "Cells.PA_params", "MyExperimentSettings.pa_params",
                             "ExperimentSettings.pa_params", "Other.txt"})
        WriteText(Lib(name), "");
    const std::vector<std::string> expected = {"Beads", "Cells", "__ExperimentSettings__"};
    EXPECT_EQ(ProjectionParamSetNames(settings), expected);
}

TEST_F(ProjectionParamsFileTest, MissingKeysShowDefaultsAndUnknownFindValleysKeepsTheBox)
{
    struct Case
    {
        const char *text;
        bool boxBefore, boxAfter;
    };
    const Case cases[] = {
        {"", true, true},
        {"FindValleys=maybe\r\n", false, false},
        {"FindValleys=true\r\n", false, true},
        {"FindValleys=False\r\n", true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        WriteText(Lib("Set.pa_params"), std::string("[RightSideProjection]\r\n") + c.text);
        ProjectionParamsFields fields;
        fields.smoothing = "stale";
        fields.findValleys = c.boxBefore;
        ReadProjectionParamsFields(Lib("Set.pa_params"), fields);
        EXPECT_EQ(fields.smoothing, "15.0");
        EXPECT_EQ(fields.numPeaks, "2");
        EXPECT_EQ(fields.stdevArea, "1.0");
        EXPECT_EQ(fields.samples, "11");
        EXPECT_EQ(fields.findValleys, c.boxAfter);
    }
}

TEST_F(ProjectionParamsFileTest, SaveWritesSixKeysAndRunReaderSeesThem)
{
    ProjectionParamsFields fields;
    fields.smoothing = "20.5";
    fields.numPeaks = "3";
    fields.stdevArea = "1.5";
    fields.samples = "13";
    fields.findValleys = false;
    const std::string file = Lib("New.pa_params");
    ASSERT_TRUE(WriteProjectionParamsFields(file, fields));
    const std::string text = ReadText(file);
    for (const char *line : {"SmoothingWindowMicrons=20.5", "NumPeaksToFind=3", "StdevIntegrationArea=1.5",
                             "IntegrationSamples=13", "BackgroundSubtract=FALSE", "FindValleys=FALSE"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    ProjectionAnalysisParams params;
    ASSERT_TRUE(LoadProjectionParams(params, file.c_str()));
    EXPECT_DOUBLE_EQ(params.SmoothingWindowMicrons, 20.5);
    EXPECT_EQ(params.NumPeaksToFind, 3);
    EXPECT_EQ(params.IntegrationSamples, 13);
    EXPECT_FALSE(params.FindValleys);
}

TEST(ProjectionParamsFieldsTest, TextThatDoesNotConvertKeepsTheMember)
{
    ProjectionAnalysisParams params;
    params.SmoothingWindowMicrons = 9.0;
    params.NumPeaksToFind = 4;
    params.StdevIntegrationArea = 1.25;
    params.IntegrationSamples = 7;
    ProjectionParamsFields fields;
    fields.smoothing = "abc";
    fields.numPeaks = "";
    fields.stdevArea = "1.75";
    fields.samples = "15";
    fields.findValleys = true;
    ParamsFromFields(fields, params);
    EXPECT_DOUBLE_EQ(params.SmoothingWindowMicrons, 9.0);
    EXPECT_EQ(params.NumPeaksToFind, 4);
    EXPECT_DOUBLE_EQ(params.StdevIntegrationArea, 1.75);
    EXPECT_EQ(params.IntegrationSamples, 15);
    EXPECT_TRUE(params.FindValleys);
}

// The shipped settings hold a usable default set whose ROI is in the shipped ROI list.
TEST(ShippedProjectionDefaultsTest, DefaultSetNamesAShippedRoi)
{
    const std::string ini = VANTELIS_SOURCE_DIR "/res/data/Default/Vantelis.ini";
    ProjectionParamsFields fields;
    fields.findValleys = true;
    ReadProjectionParamsFields(ini, fields);
    EXPECT_EQ(fields.smoothing, "15.0");
    EXPECT_EQ(fields.numPeaks, "2");
    EXPECT_EQ(fields.stdevArea, "1.0");
    EXPECT_EQ(fields.samples, "11");
    EXPECT_FALSE(fields.findValleys);
    char roiName[256] = {};
    Ostravo::E_GetPrivateProfileString("RightSideProjection", "ROI_name", "", roiName, sizeof roiName,
                                       ini.c_str());
    ASSERT_NE(roiName[0], 0);
    ROIList list;
    ASSERT_TRUE(list.LoadFromProfile(ini.c_str()));
    EXPECT_GE(list.FindStoragePosition(roiName), 0) << roiName;
}

} // namespace
} // namespace vantelis::test
