#include "tools/gui/FractionationAnalysisDlg.h"
#include "tools/gui/FolderToolSelection.h"

#include "Screenshot.h"
#include "support/FakeUi.h"
#include "support/ServiceFakes.h"
#include "support/gui/EventLoop.h"
#include "tools/FractionationFixture.h"

#include "Ostravo/LogError.h"
#include "app/ToolServices.h"
#include "app/ViewGlobals.h"
#include "platform/Files.h"
#include "tools/RoiListLookup.h"
#include "tools/gui/FractionationToolWindows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace vantelis::test {
namespace {

using namespace fractionation_id;
using ::testing::HasSubstr;

class FractionationDlgTest : public ::testing::Test
{
  protected:
    FractionationDlgTest()
    {
        SetLogDataDirectory(m_folder.m_data.str().c_str());
        _flow_split.Set(FlowSplit{});
        InstallRoiLookup(std::make_shared<RoiListLookup>());
        m_window = InstallFractionationToolWindow();
    }
    ~FractionationDlgTest() override
    {
        if (m_window->Dialog())
            m_window->Dialog()->WaitForRun();
        m_window.reset();
        RemoveToolServices();
        SetLogDataDirectory("");
        _flow_split.Set(FlowSplit{});
    }

    FractionationAnalysisDlg *Open()
    {
        ModelessWindow &window = Fractionation().Window();
        EXPECT_TRUE(window.Create(true));
        FractionationAnalysisDlg *dialog = m_window->Dialog();
        dialog->m_open_file = [this](const std::string &path) { m_opened.push_back(path); };
        return dialog;
    }

    // Folder typed, its list filled, its log loaded and the images selected.
    FractionationAnalysisDlg *OpenOnImages(const std::vector<std::string> &selected)
    {
        FractionationAnalysisDlg *dialog = Open();
        dialog->SetControlText(kDirectory, m_folder.Images());
        dialog->OnTimer(FractionationAnalysisDlg::kFillListTimer);
        dialog->OnTimer(FractionationAnalysisDlg::kLoadLogTimer);
        Select(dialog, selected);
        return dialog;
    }

    static void Select(FractionationAnalysisDlg *dialog, const std::vector<std::string> &names)
    {
        SelectListedImages(dialog, kFileList, names);
    }

    static void ChooseBackgrounds(FractionationAnalysisDlg *dialog, std::vector<std::string> names,
                                  bool ok = true)
    {
        ChooseBackgroundImages(dialog, std::move(names), ok);
    }

    std::string ErrorLog() const
    {
        std::string text;
        for (const auto &entry : std::filesystem::directory_iterator(m_folder.m_data.file("LOG")))
            text += ReadFileBytes(entry.path().string());
        return text;
    }

    std::vector<std::string> MessageTexts() const
    {
        std::vector<std::string> texts;
        for (const FakeUi::Message &m : m_ui->Messages())
            texts.push_back(m.text);
        return texts;
    }

    std::string Setting(const char *key) const
    {
        char buffer[256] = {0};
        Ostravo::E_GetPrivateProfileString("FractionationAnalysisDlg", key, "<missing>", buffer,
                                           sizeof(buffer), theApp.m_ini_path.c_str());
        return buffer;
    }

    FractionationFolder m_folder;
    ScopedFakeUi m_ui;
    std::shared_ptr<FractionationToolWindow> m_window;
    std::vector<std::string> m_opened;
};

TEST_F(FractionationDlgTest, OpeningMigratesLoadsAndShowsTheFlowSplit)
{
    // Only the older section exists: it becomes the tool's own.
    WriteFileBytes(theApp.m_ini_path,
                   "[ROI]\r\nitem0=\"Channel\",10,49,50,349\r\n[MigrationAnalysisDlg]\r\nDirectory=" +
                       m_folder.Images() + "\r\nROI=Channel\r\nFilter=*.png\r\n");
    FractionationAnalysisDlg *dialog = Open();
    EXPECT_EQ(dialog->ControlText(kDirectory), m_folder.Images());
    EXPECT_EQ(dialog->ControlText(kRoi), "Channel");
    EXPECT_TRUE(dialog->IsChecked(kBrightField)) << "missing BrightField checks the box";
    EXPECT_TRUE(_flow_split.Get().split_line_shown);
    EXPECT_FALSE(dialog->IsControlEnabled(kRun));
    EXPECT_FALSE(dialog->IsControlEnabled(kPreview));

    // Every save writes the absent divider field empty and shows the flow split again.
    _flow_split.Update([](FlowSplit &s) { s.split_line_shown = false; });
    dialog->ControlAs<QCheckBox>(kBrightField)->click();
    EXPECT_EQ(dialog->TimerInterval(FractionationAnalysisDlg::kSaveTimer), 300);
    dialog->OnTimer(FractionationAnalysisDlg::kSaveTimer);
    EXPECT_EQ(Setting("ChannelDivider"), "");
    EXPECT_EQ(Setting("BrightField"), "FALSE");
    EXPECT_EQ(Setting("Directory"), m_folder.Images());
    EXPECT_TRUE(_flow_split.Get().split_line_shown);
    EXPECT_EQ(_flow_split.Get().split_fraction, 0.5);

    const struct
    {
        const char *stored;
        bool checked;
    } boxes[] = {{"", true}, {"false", false}, {"FaLsE", false}, {"TRUE", true}, {"yes", true}};
    for (const auto &b : boxes) {
        Ostravo::E_WritePrivateProfileString("FractionationAnalysisDlg", "BrightField", b.stored,
                                             theApp.m_ini_path.c_str());
        dialog->LoadSettings();
        EXPECT_EQ(dialog->IsChecked(kBrightField), b.checked) << b.stored;
    }
    // The box is kept with the settings, but every run treats the images as bright-field images.
    EXPECT_TRUE(dialog->BrightFieldMember());
}

TEST_F(FractionationDlgTest, ListsOfferOnlyUsableChoices)
{
    for (const char *name :
         {"a.b.pa_params", "MyExperimentSettings.pa_params", "experimentsettings.PA_PARAMS"})
        WriteFileBytes(m_folder.m_data.file(std::string("LIB/") + name), "[RightSideProjection]\r\n");
    FractionationAnalysisDlg *dialog = Open();
    auto items = [](QComboBox *combo) {
        std::vector<std::string> texts;
        for (int i = 0; i < combo->count(); ++i)
            texts.push_back(combo->itemText(i).toStdString());
        return texts;
    };
    dialog->OnDropDownProjectionParams();
    EXPECT_EQ(items(dialog->ControlAs<QComboBox>(kProjectionParams)),
              (std::vector<std::string>{"a.b", "Flat"}));

    // The folder's own settings file adds the default-ROI entry; a folder without one does not.
    const std::string bare = m_folder.m_data.file("bare");
    std::filesystem::create_directories(bare);
    dialog->SetControlText(kDirectory, bare);
    dialog->OnDropDownRoi();
    EXPECT_EQ(items(dialog->ControlAs<QComboBox>(kRoi)), (std::vector<std::string>{"Channel"}));
    dialog->SetControlText(kDirectory, m_folder.Images());
    dialog->OnDropDownRoi();
    EXPECT_EQ(items(dialog->ControlAs<QComboBox>(kRoi)),
              (std::vector<std::string>{"[ImageDir]\\ExperimentSettings.ini", "Channel"}));
}

TEST_F(FractionationDlgTest, RunRefusesIncompleteChoices)
{
    const std::string noLog = "Unable to open log file for reading, make sure that it is not open in Excel: ";
    const struct
    {
        const char *params;
        const char *roi;
        std::vector<std::string> selected;
        bool removeLog;
        std::string message;
    } cases[] = {
        {"", "", {"a.png"}, false, "You must select Projection Parameters from the drop down"},
        {"Flat", "", {"a.png"}, false, "You must select Region of interest from the drop down"},
        {"Flat", "Channel", {}, false, "You must select at least one file from the list."},
        {"Flat", "Channel", {"a.png"}, true, noLog},
    };
    for (const auto &c : cases) {
        if (c.removeLog)
            std::filesystem::remove(m_folder.Images() + "/run.log");
        FractionationAnalysisDlg *dialog = OpenOnImages(c.selected);
        ChooseBackgrounds(dialog, {"a.png"});
        dialog->SetControlText(kProjectionParams, c.params);
        dialog->SetControlText(kRoi, c.roi);
        m_ui->Clear();
        dialog->ControlAs<QPushButton>(kRun)->click();
        EXPECT_FALSE(dialog->RunActive());
        ASSERT_EQ(m_ui->Messages().size(), 1u) << c.message;
        const FakeUi::Message shown = m_ui->Messages().back();
        EXPECT_EQ(shown.text, c.message);
        EXPECT_EQ(shown.caption, "Fractionation Analysis");
        EXPECT_TRUE(shown.flags & platform::ui::MbIconError);
        EXPECT_THAT(ErrorLog(), HasSubstr("FractionationAnalysisDlg\t"));
        EXPECT_THAT(ErrorLog(), HasSubstr(c.message));
        EXPECT_TRUE(dialog->IsControlEnabled(kRun)) << "the tool stays usable";
    }
    EXPECT_TRUE(m_folder.Reports().empty());
}

TEST_F(FractionationDlgTest, BackgroundChoiceSwitchesRunAndPreview)
{
    FractionationAnalysisDlg *dialog = OpenOnImages({});
    dialog->OnSelectBackgroundImages();
    ASSERT_EQ(m_ui->Messages().size(), 1u);
    EXPECT_EQ(m_ui->Messages()[0].text, "You must select at least one file from the list.");
    EXPECT_EQ(m_ui->Messages()[0].flags, uint32_t(platform::ui::MbOk));

    Select(dialog, {"bg1.png", "bg2.png", "a.png"});
    ChooseBackgrounds(dialog, {"bg1.png", "bg2.png"});
    EXPECT_EQ(dialog->BackgroundNames(), (std::vector<std::string>{"bg1.png", "bg2.png"}));
    EXPECT_EQ(dialog->ControlText(kBackgroundCount), "2");
    EXPECT_TRUE(dialog->IsControlEnabled(kRun));
    EXPECT_TRUE(dialog->IsControlEnabled(kPreview));

    ChooseBackgrounds(dialog, {"bg1.png"}, false); // Cancel keeps the choice
    EXPECT_EQ(dialog->ControlText(kBackgroundCount), "2");
    ChooseBackgrounds(dialog, {}); // OK with nothing chosen
    EXPECT_EQ(dialog->ControlText(kBackgroundCount), "0");
    EXPECT_FALSE(dialog->IsControlEnabled(kRun));
    EXPECT_FALSE(dialog->IsControlEnabled(kPreview));
}

TEST_F(FractionationDlgTest, RunWritesTheReportAndSurvivesReloadsMeanwhile)
{
    FractionationAnalysisDlg *dialog = OpenOnImages({"bg1.png", "bg2.png"});
    ChooseBackgrounds(dialog, {"bg1.png", "bg2.png"});
    Select(dialog, {"a.png", "b.png", "c.png"});
    dialog->SetControlText(kProjectionParams, "Flat");
    dialog->SetControlText(kRoi, "Channel");
    m_ui->Clear();

    dialog->ControlAs<QPushButton>(kRun)->click();
    for (int id :
         {kDirectory, kBrowse, kProjectionParams, kRoi, kFilter, kFileList, kSelectBackground, kRun, kCancel})
        EXPECT_FALSE(dialog->IsControlEnabled(id)) << id;
    EXPECT_TRUE(dialog->IsControlEnabled(kBrightField));
    // A reload timer that fires while the run goes empties and refills the tool's records; the
    // run reads its own copy.
    std::filesystem::remove(m_folder.Images() + "/run.log");
    while (dialog->RunActive())
        dialog->OnTimer(FractionationAnalysisDlg::kLoadLogTimer);
    dialog->WaitForRun();

    ASSERT_EQ(m_opened.size(), 1u) << ::testing::PrintToString(MessageTexts());
    const std::string report = ReadFileBytes(m_opened.front());
    EXPECT_NEAR(std::atof(ReportValue(report, "total_fraction_cells_to_the_top").c_str()), 0.6, 0.01);
    EXPECT_EQ(dialog->ControlText(kStatus), "");
    EXPECT_TRUE(dialog->IsControlEnabled(kRun));
    EXPECT_TRUE(dialog->IsControlEnabled(kDirectory));
    for (const std::string &text : MessageTexts())
        EXPECT_EQ(text.rfind("No log file found in image directory: ", 0), 0u) << text;
}

TEST_F(FractionationDlgTest, ImageMissingFromTheLogGivesAPartialReport)
{
    m_folder.WriteLog(FixtureLogRow("a.png", "10", "10") + FixtureLogRow("c.png", "10", "10"));
    FractionationAnalysisDlg *dialog = OpenOnImages({"bg1.png", "bg2.png"});
    ChooseBackgrounds(dialog, {"bg1.png", "bg2.png"});
    Select(dialog, {"a.png", "b.png", "c.png"});
    dialog->SetControlText(kProjectionParams, "Flat");
    dialog->SetControlText(kRoi, "Channel");
    m_ui->Clear();
    dialog->OnRun();
    dialog->WaitForRun();

    const std::string missing = "Missing log file data for image: " + m_folder.Images() + "/b.png";
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{missing});
    ASSERT_EQ(m_opened.size(), 1u);
    const std::string report = ReadFileBytes(m_opened.front());
    EXPECT_THAT(report, HasSubstr("partial_report\tstopped at image 2 of 3"));
    EXPECT_THAT(report, HasSubstr("failed_image\tb.png\t" + missing));
    EXPECT_THAT(ErrorLog(), HasSubstr(missing));
}

TEST_F(FractionationDlgTest, CalibrationLinesOfTheImageFolder)
{
    FractionationAnalysisDlg *dialog = Open();
    const std::string sub = m_folder.Images() + "/sub";
    std::filesystem::create_directories(sub);
    // A folder without a settings file of its own uses its parent's.
    dialog->SetControlText(kDirectory, sub);
    ASSERT_TRUE(dialog->LoadImageFolderCalibration());
    int32_t lines[4] = {0, 0, 0, 0};
    Fractionation().GetCalibrationLines(lines);
    EXPECT_EQ(std::vector<int32_t>(lines, lines + 4), (std::vector<int32_t>{100, 299, 80, 320}));

    const std::string settings = m_folder.Images() + "/ExperimentSettings.ini";
    const struct
    {
        const char *line;
        const char *section;
        const char *key;
        int32_t index;
    } cases[] = {
        {"lowerchannel", "Cartridge", "CartridgeLowerChannel", 1},
        {"UPPERCHANNEL", "Cartridge", "CartridgeUpperChannel", 0},
        {"UpperMagnet", "CalibrationSettings", "UpperMagnet", 2},
        {"lowermagnet", "CalibrationSettings", "LowerMagnet", 3}, // an existing key keeps its spelling
    };
    int32_t row = 120;
    for (const auto &c : cases) {
        ++row;
        EXPECT_TRUE(Fractionation().SaveCalibrationLine(c.line, row)) << c.line;
        EXPECT_THAT(ReadFileBytes(settings), HasSubstr(std::string(c.key) + "=" + std::to_string(row)))
            << c.line;
        Fractionation().GetCalibrationLines(lines);
        EXPECT_EQ(lines[c.index], row) << c.line;
    }
    EXPECT_FALSE(Fractionation().SaveCalibrationLine("Meniscus", 5));
    // A write that fails is reported as failed.
    platform::FailNextReplaceAt(platform::ReplaceFailurePoint::Rename);
    EXPECT_FALSE(Fractionation().SaveCalibrationLine("UpperMagnet", 7));
    platform::FailNextReplaceAt(platform::ReplaceFailurePoint::None);
    EXPECT_THAT(ReadFileBytes(settings), ::testing::Not(HasSubstr("UpperMagnet=7")));

    // A folder without any settings file: the timer says so; a missing folder is silent.
    const std::string bare = m_folder.m_data.file("bare");
    std::filesystem::create_directories(bare);
    dialog->SetControlText(kDirectory, bare);
    m_ui->Clear();
    dialog->OnTimer(FractionationAnalysisDlg::kCalibrationTimer);
    EXPECT_EQ(MessageTexts(),
              std::vector<std::string>{"There is no ExperimentSettings.ini file here: " + bare});
    EXPECT_FALSE(Fractionation().SaveCalibrationLine("UpperMagnet", 9));
    dialog->SetControlText(kDirectory, bare + "/missing");
    m_ui->Clear();
    dialog->OnTimer(FractionationAnalysisDlg::kCalibrationTimer);
    EXPECT_TRUE(m_ui->Messages().empty());
}

TEST_F(FractionationDlgTest, RendererReadsTheParametersWhileTheToolIsVisible)
{
    FractionationAnalysisDlg *dialog = Open();
    ProjectionAnalysisParams params;
    EString error;
    dialog->SetControlText(kDirectory, m_folder.Images());
    dialog->SetControlText(kProjectionParams, "Flat");
    ASSERT_TRUE(Fractionation().LoadRunParams(params, error)) << error.c_str();
    EXPECT_EQ(params.PixelsPerMM, 100.0);
    EXPECT_EQ(params.UpperChannel, 100);
    EXPECT_EQ(params.LowerChannel, 299);
    EXPECT_EQ(params.SmoothingWindowMicrons, 0.0);
    dialog->SetControlText(kProjectionParams, "");
    EXPECT_FALSE(Fractionation().LoadRunParams(params, error));
    EXPECT_STREQ(error.c_str(), "You must choose a projection parameters file.");
}

// The other tools keep answering beside this one, and showing this tool hides the projection tool.
class ToolsWithProjectionWindow : public StubRoiLookup, public StubProjectionToolWindow
{
  public:
    ModelessWindow &Window() override { return projection; }
    CallLog log;
    RecordingWindow projection{"ProjectionAnalysisTool", log};
};

TEST_F(FractionationDlgTest, ShowingTheToolHidesTheProjectionTool)
{
    auto below = std::make_shared<ToolsWithProjectionWindow>();
    below->rois["Channel"] = ImageRect{10, 50, 49, 349};
    m_window.reset();
    InstallRoiLookup(below);
    InstallProjectionToolWindow(below);
    m_window = InstallFractionationToolWindow();
    ASSERT_TRUE(ProjectionTool().Window().Create(true));
    FractionationAnalysisDlg *dialog = Open();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(below->projection.IsVisible());
    EXPECT_EQ(below->log, (CallLog{"ProjectionAnalysisTool.Create", "ProjectionAnalysisTool.Hide"}));
    int32_t rect[4] = {0, 0, 0, 0};
    EString error;
    EXPECT_TRUE(Rois().FindRoiByName("Channel", rect, error));
    EXPECT_EQ(rect[3], 349);
}

TEST_F(FractionationDlgTest, Screenshot)
{
    FractionationAnalysisDlg *dialog = OpenOnImages({"a.png", "b.png"});
    ChooseBackgrounds(dialog, {"a.png"});
    dialog->SetControlText(kProjectionParams, "Flat");
    dialog->SetControlText(kRoi, "Channel");
    dialog->SetControlText(kStatus, "Image 2 of 3");
    QWidget area;
    area.resize(300, dialog->height());
    WriteScreenshotBeside(&area, dialog, "FractionationAnalysisDlg");
}

} // namespace
} // namespace vantelis::test
