// The image-analysis tool window: its refusals, its Run button, a batch run over disc images with
// the parameter header and set copies, Stop between images, and its remembered fields.
#include "BatchToolFixture.h"
#include "Screenshot.h"

#include "platform/Files.h"
#include "support/ServiceFakes.h"
#include "tools/gui/FillImageFileList.h"
#include "tools/gui/ImageAnalysisToolDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <gmock/gmock.h>

#include <regex>

namespace vantelis::test {
namespace {

namespace ia = image_analysis_id;
using ::testing::HasSubstr;

class ImageAnalysisToolTest : public BatchToolFixture
{
  protected:
    ImageAnalysisToolDlg &Tool()
    {
        ModelessWindow &window = AnalysisTools().ImageAnalysisTool();
        if (!window.HasWindow()) {
            EXPECT_TRUE(window.Create(true));
        }
        ImageAnalysisToolDlg *dialog = m_windows->ImageAnalysisDialog();
        EXPECT_NE(dialog, nullptr);
        return *dialog;
    }

    // Folder, filter and names as the user types them; the list is filled and the names are saved
    // (which sets the Run button).
    void Prepare(ImageAnalysisToolDlg &tool, const std::string &circular, const std::string &epi = "",
                 const std::string &lp = "", const std::string &gd = "")
    {
        tool.SetControlText(ia::kDirectory, ImageFolder());
        tool.SetControlText(ia::kFilter, "*.png");
        FillImageFileList(&tool);
        tool.SetControlText(ia::kCircularSet, circular);
        tool.SetControlText(ia::kEpiSet, epi);
        tool.SetControlText(ia::kLPCurveSet, lp);
        tool.SetControlText(ia::kGdConc, gd);
        tool.SaveSettings();
    }

    void ClickRun(ImageAnalysisToolDlg &tool) { tool.ControlAs<QPushButton>(ia::kRun)->click(); }

    bool RunEnded(ImageAnalysisToolDlg &tool)
    {
        return RunEventLoopUntil(
            [&] { return !tool.IsControlEnabled(ia::kStop) && tool.IsControlEnabled(ia::kRun); });
    }

    // The one run folder made in the image folder.
    std::string RunFolder()
    {
        const std::vector<std::string> folders = Subfolders(ImageFolder());
        EXPECT_EQ(folders.size(), 1u);
        if (folders.size() != 1)
            return std::string();
        EXPECT_TRUE(std::regex_match(folders[0], std::regex(R"(\d{8}-\d{4}-\d{2})"))) << folders[0];
        return ImageFolder() + "/" + folders[0];
    }

    // The summary rows: image name -> count of cir_1.
    static std::vector<std::pair<std::string, std::string>> Rows(const std::vector<std::string> &lines)
    {
        std::vector<std::pair<std::string, std::string>> rows;
        for (const std::string &line : lines) {
            std::vector<std::string> fields;
            size_t start = 0;
            for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
                fields.push_back(line.substr(start, tab - start));
            fields.push_back(line.substr(start));
            if (fields.size() > 4 && fields[0].size() > 4 && fields[0].substr(fields[0].size() - 4) == ".png")
                rows.emplace_back(fields[0], fields[4]);
        }
        return rows;
    }
};

TEST_F(ImageAnalysisToolTest, RunRefusesAtTheFirstFaultAndAddsUpOnlyTheMagnetAndLPMessages)
{
    WriteThreeDiscImages();
    const std::string ini = theApp.m_ini_path;
    const std::string lib = m_dir.str() + "/LIB";
    const std::string magnets = "[CalibrationSettings]\r\nUpperMagnet=60\r\nLowerMagnet=240\r\n";
    const struct
    {
        const char *what;
        bool select;
        const char *circular, *epi, *lp, *gd;
        std::string settings;
        std::string expected;
        bool logged;
    } cases[] = {
        {"no file selected", false, "Missing", "NoEpi", "", "", magnets,
         "You must select at least one file to process.", false},
        {"missing circular set, before the epi one", true, "Missing", "NoEpi", "", "", magnets,
         "Circular algo params file: " + lib + "/Missing.counting_params does not exist", true},
        {"circular name leading out of LIB", true, "../Plexorin", "", "", "", magnets,
         "Invalid name \"../Plexorin\": it holds a path separator.", true},
        {"missing epi set", true, "", "NoEpi", "", "", magnets,
         "Epi algo params file: " + lib + "/NoEpi.epi_counting_params does not exist", true},
        {"both magnets missing and no Gd for the LP set", true, "Discs", "", "Curve", "", "",
         ini + " - missing [CalibrationSettings] UpperMagnet=-10000 must be >= -3000" + ini +
             " - missing [CalibrationSettings] LowerMagnet=nnnGd_conc must be between 0.001 and 1000 mM",
         true},
        {"upper magnet out of range, Gd at its bound", true, "Discs", "", "Curve", "1000",
         "[CalibrationSettings]\r\nUpperMagnet=-3001\r\nLowerMagnet=240\r\n",
         ini + " - missing [CalibrationSettings] UpperMagnet=-3001 must be >= -3000" +
             "Gd_conc must be between 0.001 and 1000 mM",
         true},
        {"equal magnet rows", true, "Discs", "", "", "",
         "[CalibrationSettings]\r\nUpperMagnet=100\r\nLowerMagnet=100\r\n",
         ini + " - [CalibrationSettings] UpperMagnet and LowerMagnet must not be equal (both 100)", true},
    };
    ImageAnalysisToolDlg &tool = Tool();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        m_gui->Clear();
        WriteSettings(c.settings);
        Prepare(tool, c.circular, c.epi, c.lp, c.gd);
        Select(tool, c.select ? std::vector<std::string>{} : std::vector<std::string>{"none"});
        ClickRun(tool);
        EXPECT_EQ(Shown(), std::vector<std::string>{c.expected});
        EXPECT_EQ(ErrorLogText(m_dir.str()).find(c.expected) != std::string::npos, c.logged);
        // Nothing started.
        EXPECT_FALSE(tool.IsControlEnabled(ia::kStop));
        EXPECT_TRUE(tool.IsControlEnabled(ia::kDirectory));
        EXPECT_TRUE(Subfolders(ImageFolder()).empty());
    }

    // No set at all: Run is still enabled from the last save when the name is cleared.
    m_gui->Clear();
    WriteSettings(magnets);
    Prepare(tool, "Discs");
    Select(tool);
    tool.SetControlText(ia::kCircularSet, "");
    ClickRun(tool);
    EXPECT_EQ(Shown(), std::vector<std::string>{"You must specify a circular and/or epi algo params file."});
    EXPECT_TRUE(Subfolders(ImageFolder()).empty());
}

TEST_F(ImageAnalysisToolTest, RunIsEnabledByACircularOrEpiSetAfterTheNextSave)
{
    ImageAnalysisToolDlg &tool = Tool();
    EXPECT_FALSE(tool.IsControlEnabled(ia::kRun));
    const struct
    {
        int combo;
        const char *text;
        bool enabled;
    } steps[] = {
        {ia::kLPCurveSet, "Curve", false}, {ia::kCircularSet, "Discs", true}, {ia::kCircularSet, "", false},
        {ia::kEpiSet, "Epi", true},        {ia::kEpiSet, "", false},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(step.text);
        const bool before = tool.IsControlEnabled(ia::kRun);
        tool.SetControlText(step.combo, step.text);
        // Typing restarts the save timer; the button changes only when it has saved.
        EXPECT_EQ(tool.TimerInterval(ImageAnalysisToolDlg::kSaveTimer), 1000);
        EXPECT_EQ(tool.IsControlEnabled(ia::kRun), before);
        ASSERT_TRUE(RunEventLoopUntil([&] { return !tool.TimerActive(ImageAnalysisToolDlg::kSaveTimer); }));
        EXPECT_EQ(tool.IsControlEnabled(ia::kRun), step.enabled);
    }
    EXPECT_EQ(MainSetting("ImageAnalysisTool", "LPCurve"), "Curve");
}

TEST_F(ImageAnalysisToolTest, ARunWritesTheBatchFilesWithTheHeaderAndSetCopiesOfTheChoicesAtRun)
{
    WriteThreeDiscImages();
    ImageAnalysisToolDlg &tool = Tool();
    Prepare(tool, "Discs", "", "", "5");
    Select(tool);
    tool.SetChecked(ia::kOpenSummary, true);
    ClickRun(tool);
    EXPECT_TRUE(tool.IsControlEnabled(ia::kStop));
    EXPECT_FALSE(tool.IsControlEnabled(ia::kRun));
    EXPECT_FALSE(tool.IsControlEnabled(ia::kCircularSet));
    // Changes made while the run goes do not reach it.
    tool.SetControlText(ia::kGdConc, "9");
    tool.SetChecked(ia::kOpenSummary, false);
    ASSERT_TRUE(RunEnded(tool));
    EXPECT_TRUE(Shown().empty()) << Shown().front();
    EXPECT_EQ(tool.ControlText(ia::kStatus), "");
    EXPECT_FALSE(AnalysisTools().ImageAnalysisRunning());

    const std::string run = RunFolder();
    ASSERT_FALSE(run.empty());
    for (const char *name :
         {"a.Analysis.txt", "a.[vert_proj].txt", "a.[horz_proj].txt", "a.txt", "b.txt", "c.txt"})
        EXPECT_TRUE(platform::FileExists(run + "/" + name)) << name;
    EXPECT_EQ(ReadFileBytes(run + "/Discs.counting_params"),
              ReadFileBytes(m_dir.file("LIB/Discs.counting_params")));

    const std::vector<std::string> lines = Lines(ReadFileBytes(run + "/a.Analysis.txt"));
    const std::vector<std::string> header = {"#cir_params=Discs",
                                             "#epi_params=",
                                             "#LP_curve=",
                                             "#Projection Analysis params file=",
                                             "#Background Calibration params file=",
                                             "#Gd_conc=5"};
    auto first = std::find(lines.begin(), lines.end(), header[0]);
    ASSERT_NE(first, lines.end());
    ASSERT_GE(size_t(lines.end() - first), header.size());
    EXPECT_EQ(std::vector<std::string>(first, first + header.size()), header);
    EXPECT_EQ(Rows(lines), (std::vector<std::pair<std::string, std::string>>{
                               {"a.png", "1"}, {"b.png", "2"}, {"c.png", "3"}}));

    // Open Summary as it was at Run.
    const std::vector<std::string> started = m_launcher->Started();
    EXPECT_TRUE(std::any_of(started.begin(), started.end(), [&](const std::string &call) {
        return call.find("a.Analysis.txt") != std::string::npos;
    }));
}

TEST_F(ImageAnalysisToolTest, StopEndsTheRunBetweenImagesAndStillWritesTheResults)
{
    WriteThreeDiscImages();
    ImageAnalysisToolDlg &tool = Tool();
    Prepare(tool, "Discs");
    Select(tool);
    // The worker is held right after it reported the first image.
    m_gui->HoldAfterPost(1);
    ClickRun(tool);
    ASSERT_TRUE(RunEventLoopUntil(
        [&] { return m_gui->Held() && tool.ControlText(ia::kStatus) == "Processing 1 of 3"; }));
    EXPECT_TRUE(AnalysisTools().ImageAnalysisRunning());
    tool.ControlAs<QPushButton>(ia::kStop)->click();
    m_gui->Release();
    ASSERT_TRUE(RunEnded(tool));
    EXPECT_EQ(tool.ControlText(ia::kStatus), "");
    EXPECT_FALSE(AnalysisTools().ImageAnalysisRunning());

    const std::string run = RunFolder();
    ASSERT_FALSE(run.empty());
    EXPECT_EQ(Rows(Lines(ReadFileBytes(run + "/a.Analysis.txt"))),
              (std::vector<std::pair<std::string, std::string>>{{"a.png", "1"}}));
    EXPECT_TRUE(platform::FileExists(run + "/a.[vert_proj].txt"));
    EXPECT_FALSE(platform::FileExists(run + "/b.txt"));

    // The controls are back: a second run can start.
    EXPECT_TRUE(tool.IsControlEnabled(ia::kFiles));
    EXPECT_TRUE(tool.IsControlEnabled(ia::kGdConc));
}

TEST_F(ImageAnalysisToolTest, SetListsCutNamesAtTheFirstDot)
{
    for (const char *name : {"Deep.v2.counting_params", "alpha.counting_params", "x.epi_counting_params",
                             "Curve.LP_curve_params"})
        WriteFileBytes(m_dir.file(std::string("LIB/") + name), "[CountingAlgorithmDlg]\r\n");
    ImageAnalysisToolDlg &tool = Tool();
    const struct
    {
        int combo;
        std::vector<std::string> names;
    } lists[] = {
        {ia::kCircularSet, {"alpha", "Deep", "Discs"}}, {ia::kEpiSet, {"x"}}, {ia::kLPCurveSet, {"Curve"}}};
    for (const auto &l : lists) {
        tool.SetControlText(l.combo, "typed");
        tool.ListSets(l.combo);
        auto *combo = tool.ControlAs<QComboBox>(l.combo);
        std::vector<std::string> shown;
        for (int i = 0; i < combo->count(); ++i)
            shown.push_back(combo->itemText(i).toStdString());
        EXPECT_EQ(shown, l.names);
        EXPECT_EQ(tool.ControlText(l.combo), "typed");
    }

    // The set listed as "Deep" is looked for under that shorter name.
    WriteThreeDiscImages();
    Prepare(tool, "Deep");
    Select(tool);
    ClickRun(tool);
    EXPECT_EQ(Shown(), std::vector<std::string>{"Circular algo params file: " + m_dir.str() +
                                                "/LIB/Deep.counting_params does not exist"});
}

TEST_F(ImageAnalysisToolTest, AcquisitionSettingsBesideTheImagesGiveTheMagnets)
{
    WriteThreeDiscImages();
    WriteFileBytes(m_dir.file("images/ExperimentSettings.ini"),
                   "[CalibrationSettings]\r\nUpperMagnet=70\r\n");
    std::filesystem::create_directories(m_dir.file("plain"));
    ImageAnalysisToolDlg &tool = Tool();
    QWidget *box = tool.Control(ia::kUseAcquisitionSettings);
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isHidden());

    Prepare(tool, "Discs");
    EXPECT_EQ(tool.TimerInterval(ImageAnalysisToolDlg::kAcquisitionTimer), 200);
    ASSERT_TRUE(RunEventLoopUntil([&] { return !box->isHidden(); }));
    EXPECT_TRUE(tool.IsChecked(ia::kUseAcquisitionSettings));
    Select(tool);
    ClickRun(tool);
    ASSERT_EQ(Shown().size(), 1u);
    EXPECT_THAT(Shown()[0],
                HasSubstr("ExperimentSettings.ini - missing [CalibrationSettings] LowerMagnet=nnn"));
    EXPECT_THAT(Shown()[0], ::testing::Not(HasSubstr("UpperMagnet")));

    // Unchecked, the main settings file's magnets serve.
    tool.SetChecked(ia::kUseAcquisitionSettings, false);
    ClickRun(tool);
    ASSERT_TRUE(RunEnded(tool));
    EXPECT_EQ(Shown().size(), 1u);
    EXPECT_FALSE(RunFolder().empty());

    // A folder without the file hides and clears the box.
    tool.SetControlText(ia::kDirectory, m_dir.file("plain"));
    ASSERT_TRUE(RunEventLoopUntil([&] { return box->isHidden(); }));
    EXPECT_FALSE(tool.IsChecked(ia::kUseAcquisitionSettings));
}

TEST_F(ImageAnalysisToolTest, FieldsAreRememberedAndOpenSummaryTakesOnlyTrueOrFalse)
{
    const struct
    {
        const char *stored;
        bool before;
        bool after;
        const char *saved;
    } cases[] = {{"true", false, true, "TRUE"},
                 {"FALSE", true, false, "FALSE"},
                 {"maybe", true, true, "TRUE"},
                 {"", false, false, "FALSE"}};
    ImageAnalysisToolDlg &tool = Tool();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.stored);
        WriteSettings(
            std::string("[ImageAnalysisTool]\r\nDirectory=/data/run 1\r\nFilter=*.tif\r\n"
                        "AlgoParamsSet=Discs\r\nAlgoParamsSetEpi=\r\nLPCurve=Curve\r\nGd_conc=2.5\r\n"
                        "OpenSummary=") +
            c.stored + "\r\n");
        tool.SetChecked(ia::kOpenSummary, c.before);
        tool.LoadSettings();
        EXPECT_EQ(tool.IsChecked(ia::kOpenSummary), c.after);
        EXPECT_EQ(tool.ControlText(ia::kDirectory), "/data/run 1");
        EXPECT_EQ(tool.ControlText(ia::kLPCurveSet), "Curve");
        EXPECT_EQ(tool.ControlText(ia::kGdConc), "2.5");
        EXPECT_TRUE(tool.IsControlEnabled(ia::kRun));
        tool.SaveSettings();
        EXPECT_EQ(MainSetting("ImageAnalysisTool", "OpenSummary"), c.saved);
        EXPECT_EQ(MainSetting("ImageAnalysisTool", "Filter"), "*.tif");
    }
}

TEST_F(ImageAnalysisToolTest, BrowseAndSetButtonsKeepToTheLibFolder)
{
    ImageAnalysisToolDlg &tool = Tool();
    tool.SetControlText(ia::kDirectory, "/start");
    m_gui->QueueAnswer(true, "/picked/images");
    tool.ControlAs<QPushButton>(ia::kBrowse)->click();
    EXPECT_EQ(tool.ControlText(ia::kDirectory), "/picked/images");
    ASSERT_EQ(m_gui->Requests().size(), 1u);
    EXPECT_EQ(m_gui->Requests()[0].title, "Select a directory with images to analyze.");

    const struct
    {
        int combo, button;
        const char *name;
        std::string opened; // empty: refused
    } cases[] = {
        {ia::kCircularSet, ia::kEditCircular, "Discs", "/LIB/Discs.counting_params"},
        {ia::kEpiSet, ia::kEditEpi, "Epi", "/LIB/Epi.epi_counting_params"},
        {ia::kLPCurveSet, ia::kEditLPCurve, "Curve", "/LIB/Curve.LP_curve_params"},
        {ia::kCircularSet, ia::kEditCircular, "../../etc/passwd", ""},
        {ia::kLPCurveSet, ia::kEditLPCurve, "a:b", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        m_gui->Clear();
        const size_t before = m_launcher->Started().size();
        tool.SetControlText(c.combo, c.name);
        tool.ControlAs<QPushButton>(c.button)->click();
        const std::vector<std::string> started = m_launcher->Started();
        if (c.opened.empty()) {
            EXPECT_EQ(started.size(), before);
            ASSERT_EQ(Shown().size(), 1u);
            EXPECT_THAT(Shown()[0], HasSubstr(std::string("Invalid name \"") + c.name));
        } else {
            ASSERT_GT(started.size(), before);
            EXPECT_THAT(started.back(), HasSubstr(m_dir.str() + c.opened));
        }
    }
}

TEST_F(ImageAnalysisToolTest, Screenshot)
{
    WriteThreeDiscImages();
    ImageAnalysisToolDlg &tool = Tool();
    Prepare(tool, "Discs", "", "Curve", "5");
    Select(tool, {"b.png"});
    tool.SetControlText(ia::kStatus, "Processing 2 of 3");
    tool.resize(tool.sizeHint());
    QCoreApplication::processEvents();
    WriteScreenshotBeside(&m_area, &tool, "image_analysis_tool");
}

} // namespace
} // namespace vantelis::test
