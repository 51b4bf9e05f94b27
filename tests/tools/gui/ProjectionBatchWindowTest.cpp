#include "tools/projection/gui/ProjectionBatchWindow.h"
#include "tools/gui/FolderToolSelection.h"

#include "QueuedFakeUi.h"
#include "Screenshot.h"
#include "support/gui/EventLoop.h"
#include "tools/ProjectionBatchFixture.h"

#include "Ostravo/LogError.h"
#include "app/ToolServices.h"
#include "app/gui/ImageView.h"
#include "platform/Files.h"
#include "platform/Ui.h"
#include "tools/RoiListLookup.h"
#include "tools/gui/FractionationToolWindows.h"
#include "tools/projection/gui/ProjectionBatchWindowOwner.h"
#include "tools/projection/gui/ProjectionParamsDialog.h"
#include "tools/projection/gui/ProjectionParamsDialogOwner.h"

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <thread>

namespace vantelis::test {
namespace {

using namespace projection_tool_id;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class ProjectionBatchWindowTest : public ::testing::Test
{
  protected:
    ProjectionBatchWindowTest()
    {
        SetLogDataDirectory(m_folder.m_data.str().c_str());
        m_previousUi = platform::ui::SetUi(m_ui);
        InstallRoiLookup(std::make_shared<RoiListLookup>());
        m_fractionation = InstallFractionationToolWindow();
        m_params = InstallProjectionParamsDialogOwner();
        m_window = InstallProjectionBatchWindowOwner();
    }
    ~ProjectionBatchWindowTest() override
    {
        if (m_window->Dialog())
            m_window->Dialog()->WaitForRun();
        RunEventLoopUntil([] { return true; });
        m_window.reset();
        m_params.reset();
        m_fractionation.reset();
        RemoveToolServices();
        platform::ui::SetUi(m_previousUi);
        SetLogDataDirectory("");
    }

    ProjectionBatchWindow *Open()
    {
        EXPECT_TRUE(ProjectionTool().Window().Create(true));
        ProjectionBatchWindow *dialog = m_window->Dialog();
        dialog->m_open_summary = [this](const std::string &path) {
            std::lock_guard<std::mutex> lock(m_openedMutex);
            m_opened.push_back(path);
        };
        return dialog;
    }

    // The folder typed, its list filled, the images selected, inputs that pass every check.
    ProjectionBatchWindow *OpenReady(const std::vector<std::string> &selected)
    {
        ProjectionBatchWindow *dialog = Open();
        dialog->SetControlText(kDirectory, m_folder.Images());
        dialog->OnTimer(ProjectionBatchWindow::kFillListTimer);
        dialog->SetControlText(kParams, "Band");
        dialog->SetControlText(kLPCurve, "Medium");
        dialog->SetControlText(kGdConc, "25");
        dialog->SetControlText(kRoi, "Lane");
        Select(dialog, selected);
        return dialog;
    }

    static void Select(ProjectionBatchWindow *dialog, const std::vector<std::string> &names)
    {
        SelectListedImages(dialog, kFileList, names);
    }

    static void ChooseBackgrounds(ProjectionBatchWindow *dialog, std::vector<std::string> names,
                                  bool ok = true)
    {
        ChooseBackgroundImages(dialog, std::move(names), ok);
    }

    std::vector<FakeUi::Message> Messages() const { return m_ui->Messages(); }

    std::string ErrorLog() const
    {
        std::string text;
        for (const auto &entry : std::filesystem::directory_iterator(m_folder.m_data.file("LOG")))
            text += ReadFileBytes(entry.path().string());
        return text;
    }

    std::string Setting(const char *key) const
    {
        char buffer[256] = {0};
        Ostravo::E_GetPrivateProfileString("ProjectionAnalysisTool", key, "<missing>", buffer, sizeof(buffer),
                                           theApp.m_ini_path.c_str());
        return buffer;
    }

    bool WaitForEnd(ProjectionBatchWindow *dialog)
    {
        return RunEventLoopUntil(
            [dialog] { return !dialog->RunActive() && !dialog->IsControlEnabled(kStop); });
    }

    ProjectionBatchFolder m_folder;
    std::shared_ptr<QueuedFakeUi> m_ui = std::make_shared<QueuedFakeUi>();
    std::shared_ptr<platform::ui::UserInterface> m_previousUi;
    std::shared_ptr<FractionationToolWindow> m_fractionation;
    std::shared_ptr<ProjectionParamsDialogOwner> m_params;
    std::shared_ptr<ProjectionBatchWindowOwner> m_window;
    std::mutex m_openedMutex;
    std::vector<std::string> m_opened;
};

TEST_F(ProjectionBatchWindowTest, SettingsAreReadIntoTheControlsAndWrittenBack)
{
    WriteFileBytes(theApp.m_ini_path,
                   ReadFileBytes(theApp.m_ini_path) +
                       "[ProjectionAnalysisTool]\r\nDirectory=" + m_folder.Images() +
                       "\r\nProjectionAnalysisParams=Band\r\nROI=Lane\r\nLPCurve=Medium\r\n"
                       "OpenSummary=true\r\nGd_conc=12.5\r\n");
    ProjectionBatchWindow *dialog = Open();
    EXPECT_EQ(dialog->ControlText(kDirectory), m_folder.Images());
    EXPECT_EQ(dialog->ControlText(kParams), "Band");
    EXPECT_EQ(dialog->ControlText(kRoi), "Lane");
    EXPECT_EQ(dialog->ControlText(kFilter), "*.png");
    EXPECT_EQ(dialog->ControlText(kLPCurve), "Medium");
    EXPECT_EQ(dialog->ControlText(kGdConc), "12.5");
    EXPECT_TRUE(dialog->IsChecked(kOpenSummary));
    EXPECT_FALSE(dialog->IsControlEnabled(kStop));

    // A value other than TRUE or FALSE leaves the box as it is.
    Ostravo::E_WritePrivateProfileString("ProjectionAnalysisTool", "OpenSummary", "maybe",
                                         theApp.m_ini_path.c_str());
    dialog->LoadSettings();
    EXPECT_TRUE(dialog->IsChecked(kOpenSummary));

    // A change saves a second later, the box as TRUE or FALSE.
    dialog->SetChecked(kOpenSummary, false);
    dialog->SetControlText(kGdConc, "7");
    EXPECT_EQ(dialog->TimerInterval(ProjectionBatchWindow::kSaveTimer), 1000);
    dialog->OnTimer(ProjectionBatchWindow::kSaveTimer);
    EXPECT_EQ(Setting("Gd_conc"), "7");
    EXPECT_EQ(Setting("OpenSummary"), "FALSE");
    EXPECT_EQ(Setting("Filter"), "*.png");

    // The set lists cut each name at its first dot.
    WriteFileBytes(m_folder.m_data.file("LIB/Wide.v2.PA_params"), "[RightSideProjection]\r\n");
    dialog->OnDropDownParams();
    auto *params = dialog->ControlAs<QComboBox>(kParams);
    ASSERT_EQ(params->count(), 2);
    EXPECT_EQ(params->itemText(0).toStdString(), "Band");
    EXPECT_EQ(params->itemText(1).toStdString(), "Wide");
    EXPECT_EQ(dialog->ControlText(kParams), "Band");
    dialog->OnDropDownLPCurve();
    EXPECT_EQ(dialog->ControlAs<QComboBox>(kLPCurve)->count(), 1);
    dialog->OnDropDownRoi();
    EXPECT_EQ(dialog->ControlAs<QComboBox>(kRoi)->itemText(0).toStdString(), "Lane");
}

// Run checks its inputs in order; each refusal names what is wrong and starts nothing.
TEST_F(ProjectionBatchWindowTest, RunRefusesIncompleteInputs)
{
    const std::string missingSet = platform::NormalizePath(m_folder.m_data.file("LIB/Gone.pa_params"));
    struct Case
    {
        const char *what;
        int control;
        std::string text;
        std::string message;
    } cases[] = {
        {"no set", kParams, "", "You must select a projection params file from the drop down."},
        {"missing set file", kParams, "Gone", "Missing file: " + missingSet},
        {"set name leaving LIB", kParams, "../Band", ""},
        {"no LP curve", kLPCurve, "", "You must select an lp curve file the drop down."},
        {"Gd at the lower bound", kGdConc, "0.001", "Gd_conc must be between 0.001 and 1000 mM"},
        {"Gd at the upper bound", kGdConc, "1000", "Gd_conc must be between 0.001 and 1000 mM"},
        {"Gd not a number", kGdConc, "abc", "Gd_conc must be between 0.001 and 1000 mM"},
        {"missing LP curve file", kLPCurve, "Other", "Missing file: "},
        {"no ROI", kRoi, "", "You must select a roi from the drop down."},
        {"unknown ROI", kRoi, "Lake", "There is not ROI with name: Lake"},
    };
    for (const Case &c : cases) {
        ProjectionBatchWindow *dialog = OpenReady({"a.png"});
        dialog->SetControlText(c.control, c.text);
        m_ui->Clear();
        const size_t logSize = ErrorLog().size();
        dialog->OnRun();
        ASSERT_EQ(Messages().size(), 1u) << c.what;
        EXPECT_THAT(Messages()[0].text, HasSubstr(c.message)) << c.what;
        EXPECT_EQ(Messages()[0].flags & platform::ui::MbIconError, platform::ui::MbIconError) << c.what;
        const std::string text = Messages()[0].text;
        EXPECT_THAT(ErrorLog().substr(logSize), HasSubstr(text.substr(0, text.find('\n')))) << c.what;
        EXPECT_FALSE(dialog->RunActive()) << c.what;
        EXPECT_TRUE(dialog->IsControlEnabled(kDirectory)) << c.what;
    }
    EXPECT_TRUE(m_folder.RunFolders().empty());

    // Gd just inside the bounds passes its check: the run goes on to the missing backgrounds.
    for (const char *gd : {"0.0011", "999.9"}) {
        ProjectionBatchWindow *dialog = OpenReady({"a.png"});
        dialog->SetControlText(kGdConc, gd);
        m_ui->Clear();
        dialog->OnRun();
        ASSERT_TRUE(WaitForEnd(dialog)) << gd;
        ASSERT_EQ(Messages().size(), 1u) << gd;
        EXPECT_EQ(Messages()[0].text, "Must select one or more backgroud images.") << gd;
    }

    // Nothing selected: a plain message, not logged.
    ProjectionBatchWindow *dialog = OpenReady({});
    m_ui->Clear();
    const std::string logBefore = ErrorLog();
    dialog->OnRun();
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, "You must select at least one image.");
    EXPECT_EQ(Messages()[0].flags, platform::ui::MbOk);
    EXPECT_EQ(ErrorLog(), logBefore);
}

// On a fresh installation the shipped example curve is the one set the tool lists: it opens, and
// Run accepts it.
TEST_F(ProjectionBatchWindowTest, ShippedExampleCurveIsListedOpenedAndLoaded)
{
    std::filesystem::remove(m_folder.m_data.file("LIB/Medium.LP_curve_params"));
    const std::string shipped = std::string(VANTELIS_SOURCE_DIR) + "/res/data/LIB";
    for (const platform::DirEntry &entry : platform::ListFolder(shipped, "*.LP_curve_params"))
        std::filesystem::copy_file(shipped + "/" + entry.name, m_folder.m_data.file("LIB/" + entry.name));
    ProjectionBatchWindow *dialog = OpenReady({"a.png"});
    dialog->OnDropDownLPCurve();
    auto *curves = dialog->ControlAs<QComboBox>(kLPCurve);
    ASSERT_EQ(curves->count(), 1);
    EXPECT_EQ(curves->itemText(0).toStdString(), "Example");

    dialog->SetControlText(kLPCurve, "Example");
    std::string opened;
    dialog->m_open_text = [&opened](const std::string &path) { opened = path; };
    dialog->OnOpenLPCurve();
    EXPECT_TRUE(platform::FileExists(opened)) << opened;

    // The curve loads: the run goes on to the next check, the missing backgrounds.
    m_ui->Clear();
    dialog->OnRun();
    ASSERT_TRUE(WaitForEnd(dialog));
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, "Must select one or more backgroud images.");
}

TEST_F(ProjectionBatchWindowTest, BackgroundChoiceSetsTheCountAndTheRunButtons)
{
    ProjectionBatchWindow *dialog = OpenReady({});
    m_ui->Clear();
    dialog->OnSelectBackgroundImages();
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, "You must select at least one file from the list.");

    Select(dialog, {"a.png", "bg1.png", "bg2.png"});
    ChooseBackgrounds(dialog, {"bg2.png", "bg1.png"});
    EXPECT_THAT(dialog->BackgroundNames(), ElementsAre("bg1.png", "bg2.png"));
    EXPECT_EQ(dialog->ControlText(kBackgroundCount), "2");
    std::vector<std::string> paths;
    EXPECT_EQ(dialog->GetBackgroundImages(paths), 2);
    EXPECT_EQ(paths[0], m_folder.Images() + "/bg1.png");

    // Cancelled: nothing changes. OK with none ticked: no run, no preview.
    ChooseBackgrounds(dialog, {}, false);
    EXPECT_EQ(dialog->ControlText(kBackgroundCount), "2");
    ChooseBackgrounds(dialog, {});
    EXPECT_EQ(dialog->ControlText(kBackgroundCount), "0");
    EXPECT_FALSE(dialog->IsControlEnabled(kRun));
    EXPECT_FALSE(dialog->IsControlEnabled(kPreview));
}

TEST_F(ProjectionBatchWindowTest, RunAnalysesTheSelectionOnAWorkerAndGivesTheControlsBack)
{
    ProjectionBatchWindow *dialog = OpenReady({"bg1.png", "bg2.png"});
    ChooseBackgrounds(dialog, {"bg1.png", "bg2.png"});
    Select(dialog, {"a.png", "b.png"});
    dialog->SetChecked(kOpenSummary, true);
    m_ui->Clear();
    dialog->OnRun();
    // Every input the worker reads is held still, the background choice included.
    for (int id :
         {kDirectory, kFileList, kParams, kRoi, kLPCurve, kGdConc, kOpenSummary, kSelectBackground, kRun})
        EXPECT_FALSE(dialog->IsControlEnabled(id)) << id;
    EXPECT_TRUE(dialog->IsControlEnabled(kStop));
    ASSERT_TRUE(WaitForEnd(dialog));
    EXPECT_TRUE(Messages().empty()) << Messages()[0].text;
    for (int id :
         {kDirectory, kFileList, kParams, kRoi, kLPCurve, kGdConc, kOpenSummary, kSelectBackground, kRun})
        EXPECT_TRUE(dialog->IsControlEnabled(id)) << id;
    EXPECT_EQ(dialog->ControlText(kStatus), "");
    EXPECT_EQ(dialog->CaptureLogPath(), m_folder.Images() + "/20240315-0930-05.log");

    const std::vector<std::string> runs = m_folder.RunFolders();
    ASSERT_EQ(runs.size(), 1u);
    for (const char *file : {"a.Analysis.txt", "a.[vert_proj].txt", "a.[horz_proj].txt"})
        EXPECT_TRUE(platform::FileExists(runs[0] + "/" + file)) << file;
    std::lock_guard<std::mutex> lock(m_openedMutex);
    EXPECT_THAT(m_opened, ElementsAre(runs[0] + "/a.Analysis.txt"));
    // The tool's ROI replaced the set's region.
    EXPECT_THAT(ReadFileBytes(runs[0] + "/a.Analysis.txt"),
                HasSubstr("# ROI top\t400\r\n# ROI bottom\t599\r\n"));
}

// A line placed in an image view while the tool is visible goes to the image folder's settings;
// while it is hidden the line is dropped.
TEST_F(ProjectionBatchWindowTest, APlacedLineIsStoredInTheFoldersSettingsFile)
{
    ProjectionBatchWindow *dialog = Open();
    dialog->SetControlText(kDirectory, m_folder.Images());
    dialog->OnTimer(ProjectionBatchWindow::kCalibrationTimer);
    int32_t lines[4] = {0, 0, 0, 0};
    ProjectionTool().GetCalibrationLines(lines);
    EXPECT_THAT(std::vector<int32_t>(lines, lines + 4), ElementsAre(-1, -1, 100, 900));

    struct Case
    {
        const char *line;
        const char *entry;
        int index;
    } cases[] = {{"UpperMagnet", "UpperMagnet=", 2},
                 {"lowermagnet", "LowerMagnet=", 3},
                 {"UpperChannel", "CartridgeUpperChannel=", 0},
                 {"LOWERCHANNEL", "CartridgeLowerChannel=", 1}};
    int32_t row = 300;
    for (const Case &c : cases) {
        ++row;
        EXPECT_TRUE(WriteCalibrationLineValue(c.line, row)) << c.line;
        EXPECT_THAT(ReadFileBytes(m_folder.SettingsFile()), HasSubstr(c.entry + std::to_string(row)))
            << c.line;
        ProjectionTool().GetCalibrationLines(lines);
        EXPECT_EQ(lines[c.index], row) << c.line;
    }
    EXPECT_FALSE(ProjectionTool().SaveCalibrationLine("Meniscus", 5));
    EXPECT_THAT(ReadFileBytes(m_folder.SettingsFile()), ::testing::Not(HasSubstr("Meniscus")));

    ProjectionTool().Window().Show(false);
    EXPECT_TRUE(WriteCalibrationLineValue("UpperMagnet", 77));
    EXPECT_THAT(ReadFileBytes(m_folder.SettingsFile()), ::testing::Not(HasSubstr("=77")));

    // A folder without settings: the calibration timer says so, and no line is stored.
    const std::string bare = m_folder.m_data.file("bare");
    std::filesystem::create_directories(bare);
    dialog->SetControlText(kDirectory, bare);
    m_ui->Clear();
    dialog->OnTimer(ProjectionBatchWindow::kCalibrationTimer);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, "There is no ExperimentSettings.ini file here: " + bare);
    EXPECT_FALSE(ProjectionTool().SaveCalibrationLine("UpperMagnet", 9));
}

TEST_F(ProjectionBatchWindowTest, ShowingTheToolHidesTheFractionationTool)
{
    ASSERT_TRUE(Fractionation().Window().Create(true));
    ProjectionBatchWindow *dialog = Open();
    EXPECT_FALSE(Fractionation().Window().IsVisible());
    EXPECT_EQ(dialog->TimerInterval(ProjectionBatchWindow::kShowRoiTimer), 100);
    Fractionation().Window().Show(true);
    EXPECT_FALSE(ProjectionTool().Window().IsVisible());
}

// The parameters dialog opened from the tool: the render thread reads its fields while the user
// types into them, and always gets one whole state of the fields.
TEST_F(ProjectionBatchWindowTest, RenderThreadReadsTheParameterFieldsWhileTheyAreTyped)
{
    ProjectionBatchWindow *dialog = Open();
    dialog->OnEditParams();
    ASSERT_TRUE(ProjectionParams().ParamsDialog().IsVisible());
    ProjectionParamsDialog *params = m_params->Params();
    std::atomic<bool> done{false};
    std::atomic<int> reads{0}, untyped{0};
    std::thread reader([&] {
        while (!done.load() || reads.load() == 0) {
            ProjectionAnalysisParams read;
            if (!ProjectionParams().GetParamsFromControls(read))
                continue;
            ++reads;
            // The fields start at 2 peaks and 11 samples; every value typed below lies in these ranges.
            if (read.NumPeaksToFind < 1 || read.NumPeaksToFind > 9 || read.IntegrationSamples < 3 ||
                read.IntegrationSamples > 19 || read.IntegrationSamples % 2 == 0)
                ++untyped;
        }
    });
    for (int peaks = 1; peaks <= 9; ++peaks) {
        params->SetControlText(ProjectionParamsDialog::kNumPeaks, std::to_string(peaks));
        params->SetControlText(ProjectionParamsDialog::kSamples, std::to_string(2 * peaks + 1));
    }
    done = true;
    reader.join();
    ProjectionAnalysisParams last;
    ASSERT_TRUE(ProjectionParams().GetParamsFromControls(last));
    EXPECT_EQ(last.NumPeaksToFind, 9);
    EXPECT_EQ(last.IntegrationSamples, 19);
    EXPECT_GT(reads.load(), 0);
    EXPECT_EQ(untyped.load(), 0);
}

TEST_F(ProjectionBatchWindowTest, Screenshot)
{
    ProjectionBatchWindow *dialog = OpenReady({"a.png", "b.png"});
    ChooseBackgrounds(dialog, {"a.png"});
    dialog->SetControlText(kStatus, "1 of 2");
    QWidget area;
    area.resize(300, dialog->height());
    WriteScreenshotBeside(&area, dialog, "ProjectionAnalysisTool");
}

} // namespace
} // namespace vantelis::test
