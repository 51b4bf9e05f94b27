// Subsystems that are not built yet are reached through one placeholder each, all in one file; the
// built ones are reached directly.
#include "AppTestFixture.h"

#include "ServiceFakes.h"
#include "app/AnalysisToolWindows.h"
#include "app/Placeholders.h"
#include "app/Renderer.h"
#include "app/ToolServices.h"

#include <gmock/gmock.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

namespace vantelis::test {
namespace {

using ::testing::HasSubstr;

TEST(PlaceholderSources, OnePlaceholderPerMissingSubsystemAllInOneFile)
{
    const std::filesystem::path source = std::filesystem::path(RepositoryFolder()) / "src";
    ASSERT_TRUE(std::filesystem::is_directory(source)) << source;
    const std::regex declaration(R"(\b(class|struct)\s+(Placeholder\w*)\s*(:|\{))");
    std::set<std::string> names;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(source)) {
        const std::string extension = entry.path().extension().string();
        if (!entry.is_regular_file() || (extension != ".cpp" && extension != ".h"))
            continue;
        std::ifstream file(entry.path());
        std::stringstream text;
        text << file.rdbuf();
        const std::string content = text.str();
        for (std::sregex_iterator it(content.begin(), content.end(), declaration), end; it != end; ++it) {
            const std::string relative = std::filesystem::relative(entry.path(), source).string();
            EXPECT_EQ(relative, "app/Placeholders.cpp") << (*it)[2] << " is declared outside the one file";
            names.insert((*it)[2]);
        }
    }
    // Subsystems 4 to 9, and the tool window they share.
    EXPECT_EQ(names, (std::set<std::string>{"PlaceholderWindow", "PlaceholderAnalysisToolWindows",
                                            "PlaceholderToolServices", "PlaceholderExperimentServices",
                                            "PlaceholderDeviceServices", "PlaceholderScriptServices",
                                            "PlaceholderOperatorScreenServices"}));
}

// The calls added for the renderer and the view answer "not available" like the rest.
TEST_F(AppStartupFixture, PlaceholdersOfTheRendererAndViewCalls)
{
    InstallDeviceServices(nullptr);
    InstallOperatorScreenServices(nullptr);
    InstallAnalysisToolWindows(nullptr);
    std::filesystem::create_directories(DataFile("LOG"));
    SetLogDataDirectory(Data().c_str());

    uint16_t lower = 7, upper = 9;
    std::string error;
    const uint16_t values[3] = {1, 2, 3};
    EXPECT_FALSE(OperatorScreen().FeedHistogram(values, 3, lower, upper, error));
    EXPECT_EQ(error, "CustomerUI::FeedHistogram() - the operator screen is not available in this build.");
    EXPECT_EQ(lower, 7);
    EXPECT_EQ(upper, 9);
    EXPECT_EQ(OperatorScreen().LiveImageTarget(), nullptr);

    EXPECT_FALSE(AnalysisTools().ImageAnalysisTool().Create(false));
    EXPECT_FALSE(AnalysisTools().ImageAnalysisRunning());
    AnalysisTools().ShowActiveRoi(ImageRect{1, 2, 3, 4});
    AnalysisTools().ShowMagnetLine(true);

    cv::Mat frame(10, 10, CV_8UC4, cv::Scalar::all(0));
    MatSurface surface(frame, cv::Point(0, 0));
    Devices().DrawVideoSymbol(VideoSymbol{}, surface, Pen{}, VideoSymbolFrame{});
    EXPECT_EQ(cv::countNonZero(frame.reshape(1)), 0);

    const std::string log = ErrorLogText();
    EXPECT_THAT(log,
                HasSubstr("ImageAnalysisToolDlg::Create() - the counting and image-analysis tools are not "
                          "available in this build."));
    EXPECT_THAT(log,
                HasSubstr("DrawVideoSymbol() - the instrument device code is not available in this build."));
}

// A partly built subsystem forwards what it does not serve yet to its placeholder, which answers
// "not available" whatever is installed.
TEST_F(AppStartupFixture, PlaceholdersStayReachableBesideAnInstalledSubsystem)
{
    std::filesystem::create_directories(DataFile("LOG"));
    SetLogDataDirectory(Data().c_str());
    InstallToolServices(std::make_shared<StubTools>());
    EXPECT_FALSE(
        ToolServicesPlaceholder().SaveCalibrationLine(CalibrationTool::ProjectionAnalysis, "UpperMagnet", 5));
    EXPECT_FALSE(ToolServicesPlaceholder().FractionationAnalysis().Create(false));
    const std::string log = ErrorLogText();
    EXPECT_THAT(log,
                HasSubstr("SaveCalibrationLine() - the fractionation, projection, ROI and calibration tools "
                          "are not available in this build."));
    EXPECT_THAT(log, HasSubstr("FractionationAnalysisDlg::Create() - the fractionation, projection, ROI and "
                               "calibration tools are not available in this build."));
    EXPECT_NE(&Tools(), &ToolServicesPlaceholder());
    InstallToolServices(nullptr);
    EXPECT_EQ(&Tools(), &ToolServicesPlaceholder());
}

// The ROI list and windows are built and installed by the program; the tool placeholder no longer
// calls them missing: without installed services there is no list and no window, and nothing is
// logged.
TEST_F(AppStartupFixture, ToolPlaceholderHasNoRoiEntries)
{
    std::filesystem::create_directories(DataFile("LOG"));
    SetLogDataDirectory(Data().c_str());
    InstallToolServices(nullptr);
    std::vector<ROIObject> list(1);
    EXPECT_FALSE(Tools().LoadRoiList(DataFile("Plexorin.ini").c_str(), list));
    EXPECT_FALSE(Tools().RoiManager().Create(true));
    EXPECT_FALSE(Tools().RoiManager().HasWindow());
    EXPECT_FALSE(Tools().ShowCurrentRoi());
    EXPECT_FALSE(Tools().RunChooseRoiDialog());
    EXPECT_EQ(ErrorLogText().find("ROI"), std::string::npos);
}

// The counting tool window, the epi editor, the meniscus finder and the focus tool are built and
// installed by the program: without installed tool windows there are no such windows, and they
// are not called missing.
TEST_F(AppStartupFixture, AnalysisToolPlaceholderHasNoCountingEntry)
{
    std::filesystem::create_directories(DataFile("LOG"));
    SetLogDataDirectory(Data().c_str());
    InstallAnalysisToolWindows(nullptr);
    EXPECT_FALSE(AnalysisTools().CountingAlgorithm().Create(true));
    EXPECT_FALSE(AnalysisTools().CountingAlgorithm().HasWindow());
    AnalysisTools().CountingAlgorithm().Show(true);
    EXPECT_FALSE(AnalysisTools().CountingAlgorithm().IsVisible());
    for (ModelessWindow *window : {&AnalysisTools().EpiCellCountingAlgo(), &AnalysisTools().FindMeniscus(),
                                   &AnalysisTools().FocusTool()}) {
        EXPECT_FALSE(window->Create(true));
        EXPECT_FALSE(window->HasWindow());
    }
    for (const char *name :
         {"CountingAlgorithmDlg", "EpiCellCountingAlgoDlg", "FindMeniscusDlg", "FocusToolDlg"})
        EXPECT_EQ(ErrorLogText().find(name), std::string::npos) << name;
    // The windows not built yet still answer "not available".
    EXPECT_FALSE(AnalysisTools().AlgoIterator().Create(false));
    EXPECT_THAT(ErrorLogText(),
                HasSubstr("AlgoIteratorTool::Create() - the counting and image-analysis tools are not "
                          "available in this build."));
}

} // namespace
} // namespace vantelis::test
