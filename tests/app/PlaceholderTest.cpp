// The null answers of the seams, all in one file: what the headless run and the exit get from a
// seam with nothing installed.
#include "AppTestFixture.h"

#include "app/AnalysisToolWindows.h"
#include "app/ExperimentServices.h"
#include "app/Placeholders.h"
#include "app/Renderer.h"
#include "app/ScriptServices.h"
#include "app/ToolServices.h"
#include "support/ServiceFakes.h"

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
    // One null answer per seam (the device seams share one), the window of a missing subsystem and
    // the calibrated tool the fractionation and projection tools share.
    EXPECT_EQ(names,
              (std::set<std::string>{"PlaceholderWindow", "PlaceholderRoiLookup", "PlaceholderRoiWindows",
                                     "PlaceholderCalibrationWindows", "PlaceholderProjectionParamsWindow",
                                     "PlaceholderCalibratedTool", "PlaceholderFractionationWindow",
                                     "PlaceholderExperimentServices", "PlaceholderDeviceServices",
                                     "PlaceholderScriptServices", "PlaceholderOperatorScreenServices"}));
}

// Removing the tool services empties every tool seam, so that the null answers serve again.
TEST(ToolSeams, RemovingPutsEveryNullAnswerBack)
{
    InstallRoiLookup(std::make_shared<StubRoiLookup>());
    InstallRoiWindows(std::make_shared<StubRoiWindows>());
    InstallCalibrationWindows(std::make_shared<StubCalibrationWindows>());
    InstallProjectionParamsWindow(std::make_shared<StubProjectionParamsWindow>());
    InstallFractionationWindow(std::make_shared<StubFractionationWindow>());
    InstallProjectionToolWindow(std::make_shared<StubProjectionToolWindow>());
    RemoveToolServices();
    EXPECT_EQ(InstallRoiLookup(nullptr), nullptr);
    EXPECT_EQ(InstallRoiWindows(nullptr), nullptr);
    EXPECT_EQ(InstallCalibrationWindows(nullptr), nullptr);
    EXPECT_EQ(InstallProjectionParamsWindow(nullptr), nullptr);
    EXPECT_EQ(InstallFractionationWindow(nullptr), nullptr);
    EXPECT_EQ(InstallProjectionToolWindow(nullptr), nullptr);
}

// The calls added for the renderer and the view answer "not available" like the rest.
TEST_F(AppStartupFixture, PlaceholdersOfTheRendererAndViewCalls)
{
    UninstallDeviceServices();
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

    // The analysis tool windows are all built: without installed ones nothing is called missing.
    EXPECT_EQ(ErrorLogText().find("image-analysis tools"), std::string::npos);
}

// The control panel, the pump information window, the power check and the live-image symbols are
// built and installed by the program: without installed device services they are simply absent,
// and not called missing; the device parts not built yet still answer "not available".
TEST_F(AppStartupFixture, DevicePlaceholderHasNoControlPanelEntries)
{
    std::filesystem::create_directories(DataFile("LOG"));
    SetLogDataDirectory(Data().c_str());
    UninstallDeviceServices();
    EXPECT_TRUE(InstrumentPower().CheckInstrumentPower());
    for (ModelessWindow *window : {&FluidicsWindows().ControlPanel(), &FluidicsWindows().PumpInformation(),
                                   &DeviceSettings().DigitalIoConfiguration()}) {
        EXPECT_FALSE(window->Create(true));
        EXPECT_FALSE(window->HasWindow());
        window->Show(true);
        EXPECT_FALSE(window->IsVisible());
    }
    cv::Mat frame(10, 10, CV_8UC4, cv::Scalar::all(0));
    MatSurface surface(frame, cv::Point(0, 0));
    LiveOverlay().DrawVideoSymbol(VideoSymbol{}, surface, Pen{}, VideoSymbolFrame{});
    EXPECT_EQ(cv::countNonZero(frame.reshape(1)), 0);
    EXPECT_TRUE(LiveOverlay().VisibleVideoSymbols().empty());
    EXPECT_FALSE(DeviceSettings().RunCameraSettingsDialog());
    EXPECT_FALSE(DeviceSettings().RunExperimentSettingsDialog());
    for (const char *name : {"CheckInstrumentPower", "ControlPanelDlg", "PumpInformationDlg",
                             "DrawVideoSymbol", "DigitalIOConfigurationDlg", "SettingsDlg"})
        EXPECT_EQ(ErrorLogText().find(name), std::string::npos) << name;
}

// Starting and stopping a script from the control panel answer "not available" until the script
// engine is installed.
TEST_F(AppStartupFixture, ScriptPlaceholderCannotRunScripts)
{
    std::filesystem::create_directories(DataFile("LOG"));
    SetLogDataDirectory(Data().c_str());
    InstallScriptServices(nullptr);
    EString error;
    EXPECT_FALSE(Scripts().RunScript(0, DataFile("Scripts/prime.scr"), error));
    EXPECT_STREQ(error.c_str(), "Script::RunScript() - the script engine is not available in this build.");
    Scripts().StopScript(0);
    EXPECT_THAT(ErrorLogText(),
                HasSubstr("Script::StopScript() - the script engine is not available in this build."));
}

// A partly built subsystem forwards what it does not serve yet to its placeholder, which answers
// "not available" whatever is installed.
TEST_F(AppStartupFixture, PlaceholdersStayReachableBesideAnInstalledSubsystem)
{
    std::filesystem::create_directories(DataFile("LOG"));
    SetLogDataDirectory(Data().c_str());
    std::shared_ptr<ExperimentServices> previous =
        InstallExperimentServices(std::make_shared<StubExperiment>());
    EString error;
    EXPECT_FALSE(
        ExperimentServicesPlaceholder().RunExperimentAnalysis(0, Data().c_str(), false, false, "", error));
    EXPECT_THAT(error.c_str(), HasSubstr("RunExperimentAnalysis() - experiment analysis and video are not "
                                         "available in this build."));
    EXPECT_NE(&Experiment(), &ExperimentServicesPlaceholder());
    InstallExperimentServices(nullptr);
    EXPECT_EQ(&Experiment(), &ExperimentServicesPlaceholder());
    InstallExperimentServices(previous);
}

// The ROI list and windows are built and installed by the program; the tool placeholder no longer
// calls them missing: without installed services there is no list and no window, and nothing is
// logged.
TEST_F(AppStartupFixture, ToolPlaceholderHasNoRoiEntries)
{
    std::filesystem::create_directories(DataFile("LOG"));
    SetLogDataDirectory(Data().c_str());
    RemoveToolServices();
    std::vector<ROIObject> list(1);
    EXPECT_FALSE(Rois().LoadRoiList(DataFile("Plexorin.ini").c_str(), list));
    EXPECT_FALSE(RoiTools().RoiManager().Create(true));
    EXPECT_FALSE(RoiTools().RoiManager().HasWindow());
    EXPECT_FALSE(RoiTools().ShowCurrentRoi());
    EXPECT_FALSE(RoiTools().RunChooseRoiDialog());
    EXPECT_EQ(ErrorLogText().find("ROI"), std::string::npos);
}

// The fractionation tool is built and installed with the windows: without it there is no window
// and no run parameters, and neither is called missing.
TEST_F(AppStartupFixture, ToolPlaceholderHasNoFractionationEntries)
{
    std::filesystem::create_directories(DataFile("LOG"));
    SetLogDataDirectory(Data().c_str());
    RemoveToolServices();
    EXPECT_FALSE(Fractionation().Window().Create(true));
    EXPECT_FALSE(Fractionation().Window().HasWindow());
    ProjectionAnalysisParams params;
    EString error;
    EXPECT_FALSE(Fractionation().LoadRunParams(params, error));
    EXPECT_FALSE(error.IsNonEmpty());
    EXPECT_EQ(ErrorLogText().find("Fractionation"), std::string::npos);
}

// The projection tool is built and installed with the windows: without it there is no window,
// no tool takes a placed line, and neither is called missing.
TEST_F(AppStartupFixture, ToolPlaceholderHasNoProjectionToolEntries)
{
    std::filesystem::create_directories(DataFile("LOG"));
    SetLogDataDirectory(Data().c_str());
    RemoveToolServices();
    EXPECT_FALSE(ProjectionTool().Window().Create(true));
    EXPECT_FALSE(ProjectionTool().Window().HasWindow());
    EXPECT_FALSE(ProjectionTool().SaveCalibrationLine("UpperMagnet", 5));
    int32_t lines[4] = {0, 0, 0, 0};
    ProjectionTool().GetCalibrationLines(lines);
    EXPECT_EQ(lines[2], -1);
    EXPECT_EQ(ErrorLogText().find("not available"), std::string::npos);
}

// The calibration dialogs and the projection parameters dialog are built and installed with the
// windows: without them there is no dialog and no parameters, and none is called missing.
TEST_F(AppStartupFixture, ToolPlaceholderHasNoCalibrationOrProjectionParamsEntries)
{
    std::filesystem::create_directories(DataFile("LOG"));
    SetLogDataDirectory(Data().c_str());
    RemoveToolServices();
    Calibration().RunComputePixelsPerMmDialog(1000.0);
    Calibration().InitAdjustBoundaries(nullptr);
    EXPECT_FALSE(Calibration().AdjustBoundaries().Create(true));
    EXPECT_FALSE(ProjectionParams().ParamsDialog().Create(true));
    ProjectionAnalysisParams params;
    EXPECT_FALSE(ProjectionParams().GetParamsFromControls(params));
    EXPECT_EQ(ErrorLogText().find("not available"), std::string::npos);
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
                                   &AnalysisTools().FocusTool(), &AnalysisTools().AlgoIterator()}) {
        EXPECT_FALSE(window->Create(true));
        EXPECT_FALSE(window->HasWindow());
    }
    for (const char *name :
         {"CountingAlgorithmDlg", "EpiCellCountingAlgoDlg", "FindMeniscusDlg", "FocusToolDlg"})
        EXPECT_EQ(ErrorLogText().find(name), std::string::npos) << name;
}

// The serial-device detection and the stage control panel are built and installed by the program:
// without installed device services no device is found, there is no panel, and neither is called
// missing.
TEST_F(AppStartupFixture, DevicePlaceholderHasNoStageEntries)
{
    std::filesystem::create_directories(DataFile("LOG"));
    SetLogDataDirectory(Data().c_str());
    UninstallDeviceServices();
    CPlexorinApp app;
    EXPECT_FALSE(SerialDetection().DetectSerialDevices(app, nullptr));
    EXPECT_FALSE(StageWindow().ZaberControlPanel().Create(true));
    EXPECT_FALSE(StageWindow().ZaberControlPanel().HasWindow());
    StageWindow().ZaberControlPanel().Show(true);
    EXPECT_FALSE(StageWindow().ZaberControlPanel().IsVisible());
    EXPECT_EQ(ErrorLogText().find("ZaberControlPanel"), std::string::npos);
    EXPECT_EQ(ErrorLogText().find("InitializeSerialPortDevices"), std::string::npos);
}

} // namespace
} // namespace vantelis::test

namespace vantelis::test {
namespace {

// The script runtime and its windows are built and installed by the program; without them the
// placeholder shows no window and no instance, and logs nothing.
TEST_F(AppStartupFixture, ScriptPlaceholderHasNoRuntimeEntries)
{
    std::filesystem::create_directories(DataFile("LOG"));
    SetLogDataDirectory(Data().c_str());
    ScriptServices &scripts = ScriptServicesPlaceholder();
    for (ModelessWindow *window :
         {&scripts.WaitWithTimer(), &scripts.InformOperator(), &scripts.ScriptsList(),
          &scripts.VariableWatch(), &scripts.SystemState()}) {
        EXPECT_FALSE(window->Create(true));
        EXPECT_FALSE(window->HasWindow());
    }
    EXPECT_EQ(ErrorLogText().find("not available"), std::string::npos);
}

// The montage, its dialog, the image list and the video and contrast tools are built and installed
// by the program: without installed experiment services they do nothing and are not called
// missing.
TEST_F(AppStartupFixture, ExperimentPlaceholderHasNoMontageEntries)
{
    std::filesystem::create_directories(DataFile("LOG"));
    SetLogDataDirectory(Data().c_str());
    InstallExperimentServices(nullptr);
    std::string name = "keep", folder = "keep";
    EXPECT_FALSE(Experiment().RunMontageDialog(name, folder));
    EXPECT_EQ(name, "keep");
    int result = 7;
    EString error("before");
    EXPECT_FALSE(Experiment().CreateMontageImage(result, Data().c_str(), false, false, "m", error));
    EXPECT_EQ(result, 0);
    std::vector<std::string> names{"x"};
    EXPECT_FALSE(Experiment().FillImageList(Data().c_str(), "*.png", names));
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(ErrorLogText().find("Montage"), std::string::npos);
    EXPECT_EQ(ErrorLogText().find("FillImageList"), std::string::npos);
    EXPECT_FALSE(Experiment().VideoTool().Create(false));
    EXPECT_FALSE(Experiment().ContrastTool().Create(false));
    EXPECT_FALSE(Experiment().VideoTool().HasWindow());
    EXPECT_EQ(ErrorLogText().find("VideoDlg"), std::string::npos);
    EXPECT_EQ(ErrorLogText().find("ContrastDlg"), std::string::npos);
}

// The image-analysis tool and the parameter sweep are built as well: without installed tool
// windows they have no window and are not called missing, and no analysis runs.
TEST_F(AppStartupFixture, AnalysisToolPlaceholderHasNoImageAnalysisOrSweepEntry)
{
    std::filesystem::create_directories(DataFile("LOG"));
    SetLogDataDirectory(Data().c_str());
    InstallAnalysisToolWindows(nullptr);
    for (ModelessWindow *window : {&AnalysisTools().ImageAnalysisTool(), &AnalysisTools().AlgoIterator()}) {
        EXPECT_FALSE(window->Create(true));
        EXPECT_FALSE(window->HasWindow());
        window->Show(true);
        EXPECT_FALSE(window->IsVisible());
    }
    EXPECT_FALSE(AnalysisTools().ImageAnalysisRunning());
    EXPECT_EQ(ErrorLogText().find("ImageAnalysisToolDlg"), std::string::npos);
    EXPECT_EQ(ErrorLogText().find("AlgoIteratorTool"), std::string::npos);
}

} // namespace
} // namespace vantelis::test
