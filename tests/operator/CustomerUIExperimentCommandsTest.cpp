// The operator-screen commands that reach beyond the screen: flow split and its range, admin mode,
// the settings check and backup, experiment creation and resumption, the contrast reference
// images, the analysis run and the report screen.
#include "operator/CustomerUIExperimentCommands.h"

#include "app/AppGlobals.h"
#include "app/ViewGlobals.h"
#include "devices/DevicesFixture.h"
#include "operator/CustomerUI.h"
#include "operator/CustomerUICommands.h"
#include "script/CommandTable.h"
#include "script/ScriptFixture.h"
#include "support/SyntheticExperiment.h"

#include <gmock/gmock.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::HasSubstr;
using vantelis::test::ReadFileBytes;
using vantelis::test::SyntheticExperimentParams;
using vantelis::test::SyntheticExperimentTruth;
using vantelis::test::WriteFileBytes;

namespace {

// One generated experiment for the tests that run a pipeline on it: still frames first, then a
// pumped run long enough for the montage, without noise.
const SyntheticExperimentTruth &Experiment()
{
    static vantelis::test::TempDir dir;
    static const SyntheticExperimentTruth truth = [] {
        SyntheticExperimentParams p;
        p.flow_leftward = true;
        p.pump1_speed = p.pump2_speed = 24.0;
        p.sample_transmission = 1.0;
        p.equal_exposures = true;
        p.rotation = 0.0;
        p.channel_offset = 0;
        p.noise = false;
        return vantelis::test::WriteSyntheticExperiment(dir.str() + "/exp", p);
    }();
    return truth;
}

class CustomerUIExperimentCommandsTest : public vantelis::test::DevicesFixture
{
  protected:
    CustomerUIExperimentCommandsTest()
    {
        m_oldSettings = _settings_ini_path;
        _settings_ini_path = Ini();
        m_oldAdmin = theApp.m_admin_mode;
        RegisterCustomerUICommands();
        RegisterCustomerUIExperimentCommands();
        ResetScreen();
    }
    ~CustomerUIExperimentCommandsTest() override
    {
        ResetScreen();
        _flow_split.Set(FlowSplit{});
        theApp.m_admin_mode = m_oldAdmin;
        _settings_ini_path = m_oldSettings;
    }
    static void ResetScreen()
    {
        theCustomerUI().Reset();
        theCustomerUI().Edit([](CustomerUIData &d) {
            d.inputLabels.clear();
            d.inputValues.clear();
            d.inputWidths.clear();
            d.editTexts = {};
            d.images.clear();
        });
        std::string ignored;
        theCustomerUI().WaitForEvent(0ms, ignored);
    }

    // Loads the lines on the operator-screen handle and runs them; loaded tells which step failed.
    bool Run(const std::vector<std::string> &lines, EString &error, VariableList &variables,
             bool *loaded = nullptr)
    {
        Script instance(SCRIPT_HANDLE_CUSTOMER_UI);
        bool wasLoaded = false;
        const bool ok =
            LoadAndRunScriptText(instance, m_dir.file("test.scr"), Lines(lines), error, wasLoaded, variables);
        if (loaded)
            *loaded = wasLoaded;
        return ok;
    }
    bool Run(const std::vector<std::string> &lines, EString &error)
    {
        VariableList variables;
        return Run(lines, error, variables);
    }
    static const Variable &Var(const VariableList &variables, const char *name)
    {
        size_t index = 0;
        EXPECT_TRUE(FindVariable(variables, name, index)) << name;
        return variables[index];
    }

    std::string m_oldSettings;
    bool m_oldAdmin = false;
};

TEST_F(CustomerUIExperimentCommandsTest, OtherHandleIsRefusedAtLoadWithTheCommandsOwnName)
{
    const struct
    {
        const char *line;
        const char *name;
    } cases[] = {
        {"CustomerUI_SetFlowSplit(1);", "CustomerUI_SetFlowSplit"},
        {"CustomerUI_CreateINIBackup();", "CustomerUI_CreateINIBackup"},
        {"CustomerUI_SetupResumeExperiment();", "CustomerUI_SetupResumeExperiment"},
        {"CustomerUI_PromptForAnalysis(s, s, 1, 0, 0, s, d, d, s);", "CustomerUI_PromptForAnalysis"},
        {"CustomerUI_GetCartridgeOffset(s, i);", "CustomerUI_GetCartridgeOffset"},
    };
    for (const auto &c : cases) {
        Script instance(SCRIPT_HANDLE_FLUIDIC_SYSTEM);
        VariableList variables;
        EString error;
        bool loaded = true;
        EXPECT_FALSE(LoadAndRunScriptText(instance, m_dir.file("h0.scr"),
                                          Lines({"STRING s;", "int i;", "double d;", c.line}), error, loaded,
                                          variables));
        EXPECT_FALSE(loaded) << c.line;
        EXPECT_EQ(std::string(error.c_str()),
                  m_dir.file("h0.scr") + " at line 4 : Script::" + c.name +
                      "() may only be called from the CustomerUI instance of the interpreter.");
    }
}

TEST_F(CustomerUIExperimentCommandsTest, ArgumentMessagesCarryTheParameterNumbers)
{
    // The argument text as the dispatcher hands it over, behind the command name.
    const struct
    {
        int id;
        const char *arguments;
        const char *message;
    } cases[] = {
        {cmd::CustomerUI_CreateExperiment, "(n, r);",
         "Variable \"n\" is not defined, expecting STRING parameter 0"},
        {cmd::CustomerUI_CreateExperiment, "(\"x\", i);", "Variable i is not type STRING, parameter 1"},
        {cmd::CustomerUI_GetCartridgeOffset, "(\"x\", s);", "parameter 1"},
        {cmd::CustomerUI_PromptForAnalysis, "(s, s, 2, 0, 0, s, d, i);", "parameter 9"},
        {cmd::CustomerUI_PromptForMontageAndFractionationReport, "(s, s, 2, d, d, i);",
         "Variable i is not type STRING, parameter 6"},
        {cmd::CustomerUI_SetupResumeExperiment, "(1);", "missing )"},
        {cmd::CustomerUI_CreateINIBackup, " ( ", "missing );"},
        {cmd::CustomerUI_DefineFlowSplitRange, " -5, 5);", "Missing '('"},
    };
    Script instance(SCRIPT_HANDLE_CUSTOMER_UI);
    VariableList variables;
    EString setup;
    bool loaded = false;
    ASSERT_TRUE(LoadAndRunScriptText(instance, m_dir.file("v.scr"),
                                     Lines({"STRING s;", "int i;", "double d;"}), setup, loaded, variables))
        << setup.c_str();
    for (const auto &c : cases) {
        EString error;
        EXPECT_FALSE(RegisteredCommandHandler(c.id)(instance, c.arguments, variables, true, error))
            << c.arguments;
        EXPECT_THAT(std::string(error.c_str()), HasSubstr(c.message)) << c.arguments;
    }
    // The backup examines nothing behind its "(".
    EString error;
    EXPECT_TRUE(RegisteredCommandHandler(cmd::CustomerUI_CreateINIBackup)(instance, "(anything at all",
                                                                          variables, true, error));
}

TEST_F(CustomerUIExperimentCommandsTest, LiteralResultsLoadButFailWhenRunWithoutActing)
{
    const std::string folder = m_dir.file("lit");
    const struct
    {
        std::string line;
        const char *message;
    } cases[] = {
        {"CustomerUI_GetFlowSplit(5);", "CustomerUI_GetFlowSplit() - parameter 1 must be"},
        {"CustomerUI_CreateExperiment(\"Run1\", \"r\");",
         "CustomerUI_CreateExperiment() - parameter 1 must be"},
        {"CustomerUI_PromptForAnalysis(\"" + folder + "\", \"A\", 7, 0, 0, \"n\", d, 0.5, s);",
         "CustomerUI_PromptForAnalysis() - parameter 8 must be"},
        {"CustomerUI_PromptForMontageAndFractionationReport(\"f\", \"n\", 2, 0.1, 0.9, \"r\");",
         "CustomerUI_PromptForMontageAndFractionationReport() - parameter 6 must be"},
        {"CustomerUI_GetImageFileForContrastAdjustment(\"f\", s, s, \"x\", s);",
         "CustomerUI_GetImageFileForContrastAdjustment() - parameter 4 must be"},
    };
    for (const auto &c : cases) {
        EString error;
        bool loaded = false;
        VariableList variables;
        EXPECT_FALSE(Run({"STRING s;", "double d;", c.line}, error, variables, &loaded)) << c.line;
        EXPECT_TRUE(loaded) << "stored scripts keep loading: " << c.line;
        EXPECT_THAT(std::string(error.c_str()), HasSubstr(c.message)) << c.line;
        EXPECT_THAT(std::string(error.c_str()), HasSubstr("must be a variable to receive the result."));
    }
    // Nothing was shown, analysed or created.
    EXPECT_EQ(theCustomerUI().State(), UndefinedState);
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_FALSE(fs::exists(Experiments()));
}

TEST_F(CustomerUIExperimentCommandsTest, FlowSplitRangeSetAndReadBack)
{
    // Default range -10..10.
    const struct
    {
        const char *line;
        const char *message; // nullptr: succeeds
    } defaults[] = {
        {"CustomerUI_SetFlowSplit(11);", "isplit must be less than or equal to 10"},
        {"CustomerUI_SetFlowSplit(-11);", "isplit must be greater than or equal to -10"},
        {"CustomerUI_DefineFlowSplitRange(-50, 10);", "min_split must be between -45 and 0"},
        {"CustomerUI_DefineFlowSplitRange(1, 10);", "min_split must be between -45 and 0"},
        {"CustomerUI_DefineFlowSplitRange(-10, 46);", "max_split must be between 0 and 45"},
        {"CustomerUI_DefineFlowSplitRange(-10, -1);", "max_split must be between 0 and 45"},
    };
    for (const auto &c : defaults) {
        EString error;
        EXPECT_FALSE(Run({c.line}, error)) << c.line;
        EXPECT_THAT(std::string(error.c_str()), HasSubstr(c.message)) << c.line;
        const FlowSplit split = _flow_split.Get();
        EXPECT_EQ(split.split_fraction, 0.5) << "a refused value leaves the split alone: " << c.line;
        EXPECT_EQ(split.range_minimum, -10) << c.line;
        EXPECT_EQ(split.range_maximum, 10) << c.line;
    }

    EString error;
    VariableList variables;
    ASSERT_TRUE(
        Run({"int a;", "int b;", "int c;", "CustomerUI_SetFlowSplit(5);", "CustomerUI_GetFlowSplit(a);",
             "CustomerUI_DefineFlowSplitRange(-20, 20);", "CustomerUI_GetFlowSplit(b);",
             "CustomerUI_SetFlowSplit(-20);", "CustomerUI_GetFlowSplit(c);"},
            error, variables))
        << error.c_str();
    EXPECT_EQ(Var(variables, "a").integer, 5);
    EXPECT_EQ(Var(variables, "b").integer, 5) << "a new range does not move the split";
    EXPECT_EQ(Var(variables, "c").integer, -20);
    const FlowSplit split = _flow_split.Get();
    EXPECT_DOUBLE_EQ(split.lower_drag_limit, 0.3);
    EXPECT_DOUBLE_EQ(split.upper_drag_limit, 0.7);
    EXPECT_TRUE(Run({"CustomerUI_SetFlowSplit(20);"}, error)) << error.c_str();

    // Read back rounds halves away from zero.
    for (const auto &[fraction, percent] :
         std::initializer_list<std::pair<double, int>>{{0.525, 3}, {0.475, -3}, {0.514, 1}, {0.5, 0}}) {
        _flow_split.Update([f = fraction](FlowSplit &s) { s.split_fraction = f; });
        VariableList vars;
        ASSERT_TRUE(Run({"int p = 99;", "double dp = 1.5;", "CustomerUI_GetFlowSplit(p);",
                         "CustomerUI_GetFlowSplit(dp);"},
                        error, vars))
            << error.c_str();
        EXPECT_EQ(Var(vars, "p").integer, percent) << fraction;
        EXPECT_EQ(Var(vars, "dp").number, 1.5) << "a double result is left alone";
    }
}

TEST_F(CustomerUIExperimentCommandsTest, SplitLineSwitchAndAdminModeStatus)
{
    for (const bool admin : {false, true}) {
        theApp.m_admin_mode = admin;
        EString error;
        VariableList variables;
        ASSERT_TRUE(
            Run({"int m = 7;", "CustomerUI_GetAdminModeStatus(m);", "CustomerUI_ShowSplitFlowLine(0);"},
                error, variables))
            << error.c_str();
        EXPECT_EQ(Var(variables, "m").integer, admin ? 1 : 0);
        EXPECT_FALSE(theCustomerUI().Snapshot().showSplitLine);
        ASSERT_TRUE(Run({"CustomerUI_ShowSplitFlowLine(2);"}, error)) << error.c_str();
        EXPECT_TRUE(theCustomerUI().Snapshot().showSplitLine);
    }
}

TEST_F(CustomerUIExperimentCommandsTest, CartridgeOffsetOfTheCurrentBarcodeInImageRows)
{
    // The standard cartridge: an upper channel offset of 10 microns; 200 pixels per millimetre.
    WriteStandardCartridge();
    LoadCartridges();
    theApp.m_cartridge_barcode.Assign("123-456-7890");
    EString error;
    VariableList variables;
    ASSERT_TRUE(
        Run({"int offset = 7;", "CustomerUI_GetCartridgeOffset(\"ignored\", offset);"}, error, variables))
        << error.c_str();
    EXPECT_EQ(Var(variables, "offset").integer, 2);

    const struct
    {
        const char *barcode;
        const char *message;
    } failures[] = {
        {"", "GetCartridgeTypeOffsetIntValues() Barcode is empty or missing."},
        {"999-000-0000",
         "GetCartridgeTypeOffsetIntValues() No cartridge type matches barcode: \"999-000-0000\""},
    };
    for (const auto &c : failures) {
        theApp.m_cartridge_barcode.Assign(c.barcode);
        VariableList vars;
        EXPECT_FALSE(Run({"int offset = 7;", "CustomerUI_GetCartridgeOffset(\"\", offset);"}, error, vars));
        EXPECT_THAT(std::string(error.c_str()), HasSubstr(c.message)) << c.barcode;
        EXPECT_EQ(Var(vars, "offset").integer, 7) << "a failure writes nothing";
    }
}

TEST_F(CustomerUIExperimentCommandsTest, SettingsFileValidityFollowsItsCalibration)
{
    const std::string good = m_dir.file("good"), parentOnly = m_dir.file("good/Images"),
                      uncalibrated = m_dir.file("uncal"), empty = m_dir.file("empty");
    fs::create_directories(parentOnly);
    fs::create_directories(uncalibrated);
    fs::create_directories(empty);
    WriteFileBytes(good + "/ExperimentSettings.ini",
                   "[CalibrationSettings]\r\nimage_pixels_per_mm=512.5\r\n");
    WriteFileBytes(uncalibrated + "/ExperimentSettings.ini",
                   "[CalibrationSettings]\r\nimage_pixels_per_mm=-1\r\n");
    const struct
    {
        std::string folder;
        int valid;
    } cases[] = {{good, 1},         {good + "/", 1}, {parentOnly, 1},
                 {uncalibrated, 0}, {empty, 0},      {m_dir.file("none"), 0}};
    for (const auto &c : cases) {
        EString error;
        VariableList variables;
        ASSERT_TRUE(Run({"int v = 7;", "CustomerUI_IsExperimentSettingFileValid(\"" + c.folder + "\", v);"},
                        error, variables))
            << error.c_str();
        EXPECT_EQ(Var(variables, "v").integer, c.valid) << c.folder;
    }
}

TEST_F(CustomerUIExperimentCommandsTest, SettingsBackupIsAByteCopyNamedByTheLocalTime)
{
    const std::string settings = "[CalibrationSettings]\r\nimage_pixels_per_mm=200\r\n\x01\xfe binary tail";
    WriteFileBytes(Ini(), settings);
    platform::SetFakeClock(vantelis::test::MakeTime(2026, 3, 7, 8, 5, 9));
    const std::string backup = Data() + "/Backup/Plexorin.ini.20260307-0805-09";
    WriteFileBytes(backup, "an older backup of the same second");
    EString error;
    ASSERT_TRUE(Run({"CustomerUI_CreateINIBackup();"}, error)) << error.c_str();
    EXPECT_EQ(ReadFileBytes(backup), settings);

    // Without a Backup folder the copy fails; the script goes on and the error log says why.
    fs::remove_all(Data() + "/Backup");
    VariableList variables;
    ASSERT_TRUE(Run({"int after = 0;", "CustomerUI_CreateINIBackup();", "after = 1;"}, error, variables))
        << error.c_str();
    EXPECT_EQ(Var(variables, "after").integer, 1);
    EXPECT_THAT(ErrorLog(), HasSubstr("CustomerUI_CreateINIBackup() - Problem copying"));
}

TEST_F(CustomerUIExperimentCommandsTest, ExperimentCreationReportsInItsResultAndResumeMarksThePrefix)
{
    platform::SetFakeClock(vantelis::test::MakeTime(2026, 3, 7, 8, 5, 9));
    SetSetting("ExperimentSettings", "CreateDailySubDirectory", "FALSE");
    WriteStandardCartridge();
    LoadCartridges();
    theApp.m_cartridge_barcode.Assign("123-456-7890");
    EString error;
    VariableList variables;
    ASSERT_TRUE(Run({"STRING r = \"untouched\";", "CustomerUI_CreateExperiment(\"Run1\", r);",
                     "CustomerUI_SetupResumeExperiment();"},
                    error, variables))
        << error.c_str();
    EXPECT_STREQ(Var(variables, "r").text.c_str(), "");
    const std::string folder = Experiments() + "/20260307-0805-09_Run1";
    EXPECT_TRUE(fs::is_directory(folder + "/Images"));
    EXPECT_TRUE(fs::exists(folder + "/ExperimentSettings.ini"));
    EXPECT_EQ(Setting("ExperimentSettings", "ExperimentImageNamePrefix"), "20260307-0805-09_Run1_Resumed");

    // A name no folder can take: the creation's text comes back and the script goes on.
    VariableList failed;
    ASSERT_TRUE(Run({"STRING r;", "int after = 0;", "CustomerUI_CreateExperiment(\"a:b\", r);", "after = 1;"},
                    error, failed))
        << error.c_str();
    EXPECT_THAT(std::string(Var(failed, "r").text.c_str()), HasSubstr("Unable to create directory: "));
    EXPECT_EQ(Var(failed, "after").integer, 1);
}

TEST_F(CustomerUIExperimentCommandsTest, ContrastImagesAreThoseOfTheRunsEleventhRecord)
{
    const SyntheticExperimentTruth &t = Experiment();
    const size_t eleventh = t.run_first + 10;
    const fs::path images = fs::path(t.folder) / "Images";
    EString error;
    VariableList variables;
    ASSERT_TRUE(Run({"STRING bf = \"x\";", "STRING f1 = \"x\";", "STRING f2 = \"x\";", "STRING err = \"x\";",
                     "CustomerUI_GetImageFileForContrastAdjustment(\"" + t.folder + "\", bf, f1, f2, err);"},
                    error, variables))
        << error.c_str();
    EXPECT_EQ(fs::path(Var(variables, "bf").text.c_str()), images / t.brightfield_files[eleventh]);
    EXPECT_EQ(fs::path(Var(variables, "f1").text.c_str()), images / t.fluorescence1_files[eleventh]);
    EXPECT_EQ(fs::path(Var(variables, "f2").text.c_str()), images / t.fluorescence2_files[eleventh]);
    EXPECT_STREQ(Var(variables, "err").text.c_str(), "");

    // A folder without a capture log, and one that does not exist.
    fs::create_directories(m_dir.file("nolog"));
    for (const std::string &folder : {m_dir.file("nolog"), m_dir.file("missing")}) {
        VariableList vars;
        ASSERT_TRUE(
            Run({"STRING bf = \"x\";", "STRING f1;", "STRING f2;", "STRING err;",
                 "CustomerUI_GetImageFileForContrastAdjustment(\"" + folder + "\", bf, f1, f2, err);"},
                error, vars))
            << error.c_str();
        EXPECT_STREQ(Var(vars, "err").text.c_str(), "Not a valid experiment.") << folder;
        EXPECT_STREQ(Var(vars, "bf").text.c_str(), "") << "whatever was found is handed back";
    }
}

TEST_F(CustomerUIExperimentCommandsTest, AnalysisWritesItsFilesIntoTheSubFolderAndKeepsTheFractions)
{
    const SyntheticExperimentTruth &t = Experiment();
    theApp.m_data_directory = t.data_folder; // the meniscus and split-line templates
    fs::remove_all(t.folder + "/Run A");
    EString error;
    VariableList variables;
    ASSERT_TRUE(Run(
        {"double top = 0.25;", "double bottom = 0.75;", "STRING r;",
         "CustomerUI_SetTextLine(1, \"Analysing\");",
         "CustomerUI_PromptForAnalysis(\"" + t.folder + "\", \"Run A\", 1, 1, 0, \"m1\", top, bottom, r);"},
        error, variables))
        << error.c_str();
    EXPECT_TRUE(fs::exists(t.folder + "/Run A/m1.png"));
    EXPECT_TRUE(fs::exists(t.folder + "/Run A/m1.small.png"));
    EXPECT_EQ(Var(variables, "top").number, 0.25) << "only the fractionation gives new fractions";
    EXPECT_EQ(Var(variables, "bottom").number, 0.75);
    EXPECT_STREQ(Var(variables, "r").text.c_str(), "Next");
    EXPECT_EQ(theCustomerUI().State(), PromptForInput) << "the busy screen stays up";
}

TEST_F(CustomerUIExperimentCommandsTest, AnalysisFailuresAreReportedAfterTheResultsAreWritten)
{
    // A pipeline that fails (no capture log): the results are written, then the command fails.
    const std::string noLog = m_dir.file("nolog");
    fs::create_directories(noLog);
    EString error;
    VariableList variables;
    EXPECT_FALSE(
        Run({"double top = 0.25;", "double bottom = 0.75;", "STRING r = \"old\";",
             "CustomerUI_PromptForAnalysis(\"" + noLog + "\", \"A\", 2, 0, 0, \"n\", top, bottom, r);"},
            error, variables));
    // The command says why the folder is no experiment.
    EXPECT_THAT(std::string(error.c_str()),
                HasSubstr(": No capture log (*.log) in the experiment folder: " + noLog));
    EXPECT_STREQ(Var(variables, "r").text.c_str(), "Next");
    EXPECT_EQ(Var(variables, "top").number, 0.25);
    EXPECT_TRUE(fs::is_directory(noLog + "/A"));

    // An analysis folder that cannot be made (a file holds its name) fails with that folder and
    // leaves every result as it was.
    WriteFileBytes(noLog + "/Blocked", "a file");
    VariableList blocked;
    EXPECT_FALSE(
        Run({"double top = 0.25;", "double bottom = 0.75;", "STRING r = \"old\";",
             "CustomerUI_PromptForAnalysis(\"" + noLog + "\", \"Blocked\", 1, 0, 0, \"n\", top, bottom, r);"},
            error, blocked));
    EXPECT_THAT(std::string(error.c_str()),
                HasSubstr("Unable to create analysis directory: " + noLog + "/Blocked"));
    EXPECT_STREQ(Var(blocked, "r").text.c_str(), "old");
    EXPECT_EQ(Var(blocked, "bottom").number, 0.75);
}

TEST_F(CustomerUIExperimentCommandsTest, UnknownAnalysisKindMakesTheFolderWaitsAndReturnsNext)
{
    const std::string folder = m_dir.file("exp");
    fs::create_directories(folder);
    EString error;
    VariableList variables;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Run(
        {"double top = 0.25;", "double bottom = 0.75;", "STRING r;",
         "CustomerUI_PromptForAnalysis(\"" + folder + "\", \"Sub/Deeper\", 7, 0, 0, \"n\", top, bottom, r);"},
        error, variables))
        << error.c_str();
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 4900ms);
    EXPECT_TRUE(fs::is_directory(folder + "/Sub/Deeper"));
    EXPECT_STREQ(Var(variables, "r").text.c_str(), "Next");
    EXPECT_EQ(Var(variables, "top").number, 0.25);
    EXPECT_EQ(fs::directory_iterator(folder + "/Sub/Deeper"), fs::directory_iterator())
        << "nothing was analysed";
}

TEST_F(CustomerUIExperimentCommandsTest, ReportScreenShowsTheMontageAndTheRoundedFractions)
{
    const std::string folder = m_dir.file("Analysis");
    fs::create_directories(folder);
    WriteFileBytes(folder + "/rep.small.png", "not looked at here");
    const struct
    {
        double top, bottom;
        const char *topText, *bottomText;
    } cases[] = {
        {0.05, 0.95, "Top Fraction:   5%", "Bottom Fraction:  95%"},
        {0.125, 0.875, "Top Fraction:  13%", "Bottom Fraction:  88%"},
        {0.004, 0.996, "Top Fraction:   0%", "Bottom Fraction:  100%"},
        {0.0949, 0.9051, "Top Fraction:   9%", "Bottom Fraction:  91%"},
    };
    for (const auto &c : cases) {
        ResetScreen();
        theCustomerUI().SetInput(0, "Folder", "typed", 30);
        theCustomerUI().RaiseEvent("Back"); // the operator's answer, given early: it is kept
        EString error;
        VariableList variables;
        ASSERT_TRUE(Run({"STRING r;", "double top = " + std::to_string(c.top) + ";",
                         "double bottom = " + std::to_string(c.bottom) + ";",
                         "CustomerUI_PromptForMontageAndFractionationReport(\"" + folder +
                             "\", \"rep\", 2, top, bottom, r);"},
                        error, variables))
            << error.c_str();
        EXPECT_STREQ(Var(variables, "r").text.c_str(), "Back");
        const CustomerUIData d = theCustomerUI().Snapshot();
        EXPECT_EQ(d.state, PromptForMontageReport);
        EXPECT_EQ(d.inputLabels, (std::vector<std::string>{c.topText, c.bottomText}));
        EXPECT_EQ(d.inputWidths, (std::vector<int32_t>{1, 1}));
        EXPECT_EQ(d.editTexts[0], "") << "the edits are emptied";
        ASSERT_EQ(d.images.size(), 6u);
        EXPECT_EQ(d.images[5], folder + "/rep.small.png");
    }

    // Kind 0 shows the screen with what the script left: no montage, no fraction texts.
    ResetScreen();
    theCustomerUI().SetInput(0, "Folder", "typed", 30);
    EString error;
    VariableList variables;
    auto run = std::async(std::launch::async, [&] {
        return Run({"STRING r;", "CustomerUI_PromptForMontageAndFractionationReport(\"" + folder +
                                     "\", \"rep\", 0, 0.5, 0.5, r);"},
                   error, variables);
    });
    for (int i = 0; i < 500 && theCustomerUI().State() != PromptForMontageReport; ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_EQ(theCustomerUI().State(), PromptForMontageReport);
    EXPECT_EQ(run.wait_for(50ms), std::future_status::timeout) << "the report waits for the operator";
    theCustomerUI().RaiseEvent("Next");
    ASSERT_TRUE(run.get()) << error.c_str();
    EXPECT_STREQ(Var(variables, "r").text.c_str(), "Next");
    const CustomerUIData d = theCustomerUI().Snapshot();
    EXPECT_EQ(d.inputLabels, (std::vector<std::string>{"Folder"}));
    EXPECT_TRUE(d.images.empty());
}

} // namespace
