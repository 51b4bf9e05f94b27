#pragma once
// A guided analysis run of the shipped operator script on a generated experiment, answered the
// way an operator would through the screen's model: typed edits, check marks and Next or Back.
// The caller supplies the step that lets the screen's timers tick (the window's own sync when one
// exists), and gets a call at every screen the run reaches, for a screenshot.
#include "Ostravo/LogError.h"
#include "app/OperatorScreenServices.h"
#include "app/PlexorinApp.h"
#include "operator/CustomerUI.h"
#include "operator/CustomerUIServices.h"
#include "operator/ProgramScriptCommands.h"
#include "platform/Files.h"
#include "script/Script.h"
#include "script/ScriptRuntime.h"
#include "support/FakeUi.h"
#include "support/SyntheticExperiment.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>

namespace vantelis::test {

// The shipped operator-screen folder of the source tree.
inline std::string ShippedCustomerUIFolder()
{
    return std::string(VANTELIS_SOURCE_DIR) + "/res/program/CustomerUI";
}

// The generated experiment: 14 cells above the split line and 9 below, both fluorescence
// channels recorded, a clean channel so the fractions follow the cells.
inline SyntheticExperimentParams GuidedRunExperimentParams()
{
    SyntheticExperimentParams p;
    p.flow_leftward = true;
    p.pump1_speed = p.pump2_speed = 24.0; // equal speeds split the channel in the middle
    p.sample_transmission = 1.0;
    p.equal_exposures = true;
    p.rotation = 0.0;
    p.channel_offset = 0;
    p.noise = false;
    p.cells_above = 14;
    p.cells_below = 9;
    return p;
}

// The program's state for an operator script in analysis mode, put back at the end.
class GuidedRunEnvironment
{
  public:
    explicit GuidedRunEnvironment(const std::string &dataFolder)
        : m_data(theApp.m_data_directory), m_customerUi(theApp.m_customer_ui_directory.c_str()),
          m_analysis(theApp.m_analysis_mode), m_port(theApp.m_pump_port)
    {
        std::filesystem::create_directories(dataFolder + "/LOG");
        theApp.m_data_directory = dataFolder;
        theApp.m_customer_ui_directory.Assign(ShippedCustomerUIFolder().c_str());
        theApp.m_analysis_mode = true;
        theApp.m_pump_port = 0;
        SetLogDataDirectory(dataFolder.c_str());
        RegisterProgramScriptCommands();
        m_services = InstallCustomerUIServices();
        ResetScreen();
    }
    ~GuidedRunEnvironment()
    {
        // A run that a failed step left waiting is stopped and its wait released, as the screen's
        // script watch would do.
        Script::StopScript(1);
        theCustomerUI().SetEvent();
        EXPECT_TRUE(ShutdownScriptRuntime());
        SetScriptOwnerHooks(1, {});
        InstallOperatorScreenServices(m_services);
        ResetScreen();
        SetLogDataDirectory("");
        theApp.m_data_directory = m_data;
        theApp.m_customer_ui_directory.Assign(m_customerUi.c_str());
        theApp.m_analysis_mode = m_analysis;
        theApp.m_pump_port = m_port;
    }
    static void ResetScreen()
    {
        theCustomerUI().Reset();
        theCustomerUI().Edit([](CustomerUIData &d) {
            d.inputValues.clear();
            d.editTexts = {};
            d.checkMarks = {};
        });
        std::string ignored;
        theCustomerUI().WaitForEvent(std::chrono::milliseconds(0), ignored);
    }

  private:
    std::string m_data;
    std::string m_customerUi;
    bool m_analysis;
    int32_t m_port;
    std::shared_ptr<OperatorScreenServices> m_services;
};

// Drives the running script from the test thread.
class GuidedRunDriver
{
  public:
    // tick lets the screen's timers run once; shot receives a name at every screen reached; type
    // puts an operator's text into input edit 1..6 (without it the screen's edit text is set).
    GuidedRunDriver(std::function<void()> tick, std::function<void(const std::string &)> shot,
                    std::function<void(int, const std::string &)> type = nullptr)
        : m_tick(std::move(tick)), m_shot(std::move(shot)), m_type(std::move(type))
    {
    }
    void Type(int edit, const std::string &text)
    {
        if (m_type)
            m_type(edit, text);
        else
            theCustomerUI().SetEditText(edit, text);
    }

    // Ticks until done() holds or the time is up; true when it held.
    bool Until(const std::function<bool()> &done, std::chrono::seconds limit = std::chrono::seconds(30))
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            m_tick();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        m_tick();
        return true;
    }
    // The script waits in the state with the first text line given.
    bool AtScreen(int32_t state, const std::string &firstLine,
                  std::chrono::seconds limit = std::chrono::seconds(30))
    {
        return Until(
            [&] {
                const CustomerUIData d = theCustomerUI().Snapshot();
                return theCustomerUI().EventWaiters() == 1 && d.state == state && !d.textLines.empty() &&
                       d.textLines[0] == firstLine;
            },
            limit);
    }
    // The banner shows the text and the script waits again in the state.
    bool BannerThenScreen(const std::string &banner, int32_t state, const std::string &firstLine)
    {
        return Until([&] { return theCustomerUI().Snapshot().messageText == banner; }) &&
               AtScreen(state, firstLine);
    }
    void Shot(const std::string &name) { m_shot(name); }

  private:
    std::function<void()> m_tick;
    std::function<void(const std::string &)> m_shot;
    std::function<void(int, const std::string &)> m_type;
};

// The percent a report label shows: the text behind prefix up to "%".
inline int LabelPercent(const std::string &label, const std::string &prefix)
{
    EXPECT_EQ(label.rfind(prefix, 0), 0u) << label;
    return std::stoi(label.substr(prefix.size()));
}

// The value of a "key<TAB>value" line of a report.
inline double ReportValue(const std::string &path, const std::string &key)
{
    std::string text;
    EXPECT_TRUE(platform::ReadWholeFile(path, text)) << path;
    const size_t at = text.find("\n" + key + "\t");
    if (at == std::string::npos) {
        ADD_FAILURE() << key << " not in " << path;
        return -1.0;
    }
    return std::stod(text.substr(at + key.size() + 2));
}

// The folder as the busy screen shows it: a long one keeps its last 45 characters.
inline std::string ShownFolder(const std::string &folder)
{
    return folder.size() > 48 ? "..." + folder.substr(folder.size() - 45) : folder;
}

// The whole guided run: two bad folders, the channel choice, the analysis, the report, a second
// try with a report name that is taken, and the end. Expected values come from how the experiment
// was generated (params) and from the names the operator typed.
inline void RunGuidedAnalysis(GuidedRunDriver &run, const SyntheticExperimentTruth &t,
                              const SyntheticExperimentParams &params, const std::string &scratch)
{
    const char *kChoose = "Analyse a recorded experiment";
    const char *kChannels = "Fluorescence channels";
    const char *kReport = "Montage and Fractionation Report";
    CustomerUI &screen = theCustomerUI();

    std::string error;
    ASSERT_TRUE(screen.Reload((ShippedCustomerUIFolder() + "/Scripts/DefaultAnalysisUI.scr").c_str(), error))
        << error;
    ASSERT_TRUE(run.AtScreen(PromptForInput, kChoose));
    run.Shot("analysis_choose");
    CustomerUIData d = screen.Snapshot();
    EXPECT_EQ(d.title, "Experiment Analysis");
    EXPECT_EQ(d.backText, "Exit") << "Back on the first screen ends the session";
    ASSERT_EQ(d.inputLabels.size(), 2u);
    EXPECT_EQ(d.editTexts[0], "");
    EXPECT_EQ(d.editTexts[1].rfind("Report_", 0), 0u) << "a dated name is proposed: " << d.editTexts[1];

    // A folder that holds nothing: no settings file.
    const std::string empty = scratch + "/empty";
    std::filesystem::create_directories(empty);
    run.Type(1, empty);
    run.Type(2, "run1");
    screen.OnNext();
    ASSERT_TRUE(run.BannerThenScreen("This folder holds no calibrated experiment settings file.",
                                     PromptForInput, kChoose));
    run.Shot("analysis_bad_folder");
    EXPECT_EQ(screen.Snapshot().editTexts[0], empty) << "the operator's text is offered again";

    // A folder with a settings file but no capture log.
    const std::string noLog = scratch + "/settings-only";
    std::filesystem::create_directories(noLog);
    std::filesystem::copy_file(t.settings_path, noLog + "/ExperimentSettings.ini");
    run.Type(1, noLog);
    screen.OnNext();
    ASSERT_TRUE(run.BannerThenScreen("Not a valid experiment. Its capture log or images are missing.",
                                     PromptForInput, kChoose));

    // The experiment: both fluorescence channels are offered; the operator leaves out the second.
    run.Type(1, t.folder);
    screen.OnNext();
    ASSERT_TRUE(run.AtScreen(PromptForInputChecks, kChannels));
    d = screen.Snapshot();
    EXPECT_EQ(d.inputLabels,
              (std::vector<std::string>{"Fluorescence channel 1 (green)", "Fluorescence channel 2 (red)"}));
    EXPECT_EQ(d.checkMarks[0], 1);
    EXPECT_EQ(d.checkMarks[1], 1);
    EXPECT_EQ(d.backText, "") << "Back here returns to the first screen";
    EXPECT_EQ(d.title, "Experiment Analysis");
    screen.SetCheckMark(2, false);
    run.Shot("analysis_channels");
    screen.OnNext();

    // The busy screen, then the report.
    CustomerUIData busy;
    ASSERT_TRUE(run.Until([&] {
        busy = screen.Snapshot();
        return busy.state == PromptForMontageReport ||
               (busy.state == PromptForInput && !busy.textLines.empty() &&
                busy.textLines[0] == "Analysing the experiment, please wait.");
    }));
    if (busy.state == PromptForInput) {
        // While the analysis runs, no click can be kept to pass the report by, nothing can be
        // typed, and the screen says what is analysed.
        EXPECT_TRUE(busy.nextHidden);
        EXPECT_TRUE(busy.backHidden);
        EXPECT_TRUE(busy.inputLabels.empty());
        EXPECT_EQ(busy.textLines,
                  (std::vector<std::string>{"Analysing the experiment, please wait.",
                                            "Folder: " + ShownFolder(t.folder), "Report: run1.txt",
                                            "Making the montage and the report."}));
        run.Shot("analysis_busy");
    }
    ASSERT_TRUE(run.AtScreen(PromptForMontageReport, kReport, std::chrono::seconds(300)));
    run.Shot("analysis_report");
    EXPECT_FALSE(screen.Snapshot().nextHidden);
    EXPECT_FALSE(screen.Snapshot().backHidden);

    const std::string analysis = t.folder + "/Analysis";
    const std::string report = analysis + "/run1.txt";
    EXPECT_TRUE(std::filesystem::exists(report));
    EXPECT_TRUE(std::filesystem::exists(analysis + "/run1.png"));
    EXPECT_TRUE(std::filesystem::exists(analysis + "/run1.small.png"));
    d = screen.Snapshot();
    ASSERT_EQ(d.inputLabels.size(), 2u);
    ASSERT_EQ(d.images.size(), 6u);
    EXPECT_EQ(std::filesystem::path(d.images[5]), std::filesystem::path(analysis + "/run1.small.png"));
    EXPECT_EQ(d.textLines.size(), 2u);
    EXPECT_EQ(d.textLines[1], "Report: run1.txt");

    // The labels show the fractions of the cells the experiment was drawn with, and exactly the
    // rounded values of the report.
    const int top = LabelPercent(d.inputLabels[0], "Top Fraction:  ");
    const int bottom = LabelPercent(d.inputLabels[1], "Bottom Fraction:  ");
    const double cells = params.cells_above + params.cells_below;
    EXPECT_NEAR(top, 100.0 * params.cells_above / cells, 4.0);
    EXPECT_NEAR(bottom, 100.0 * params.cells_below / cells, 4.0);
    const auto labelText = [](double fraction) {
        const std::string text = std::to_string(static_cast<long>(fraction * 100.0 + 0.5)) + "%";
        return text.size() == 2 ? " " + text : text;
    };
    EXPECT_EQ(d.inputLabels[0], "Top Fraction:  " + labelText(ReportValue(report, "Top Fraction")));
    EXPECT_EQ(d.inputLabels[1], "Bottom Fraction:  " + labelText(ReportValue(report, "Bottom Fraction")));

    // Another analysis: the same report name is refused before anything is analysed.
    const std::string reportBytes = [&] {
        std::string bytes;
        platform::ReadWholeFile(report, bytes);
        return bytes;
    }();
    screen.OnNext();
    ASSERT_TRUE(run.AtScreen(PromptForInput, kChoose));
    run.Type(1, t.folder);
    run.Type(2, "run1");
    screen.OnNext();
    ASSERT_TRUE(run.BannerThenScreen("A report of this name exists already. Please choose another.",
                                     PromptForInput, kChoose));
    std::string after;
    platform::ReadWholeFile(report, after);
    EXPECT_EQ(after, reportBytes) << "the earlier report is kept";

    // Back ends the run; the screen returns to its undefined state with its script timers off.
    screen.RaiseEvent("Back");
    ASSERT_TRUE(run.Until([] { return !ScriptInstanceExists(1); }));
    EXPECT_EQ(screen.State(), UndefinedState);
    const std::map<int32_t, int32_t> timers = screen.Timers();
    for (int32_t id :
         {CUI_TIMER_COUNTDOWN, CUI_TIMER_PUMP_WATCH, CUI_TIMER_UNHIDE_NEXT, CUI_TIMER_UNHIDE_BACK})
        EXPECT_EQ(timers.count(id), 0u) << id;
}

// Leaves only fluorescence channel `kept` (1 or 2) in the experiment: the other channel's capture
// log rows and images are removed, as when it was not recorded.
inline void KeepOnlyFluorescenceChannel(const SyntheticExperimentTruth &t, int kept)
{
    const std::vector<std::string> &gone = kept == 1 ? t.fluorescence2_files : t.fluorescence1_files;
    std::string log;
    ASSERT_TRUE(platform::ReadWholeFile(t.log_path, log));
    std::string kept_log;
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        end = end == std::string::npos ? log.size() : end + 1;
        const std::string line = log.substr(start, end - start);
        bool drop = false;
        for (const std::string &file : gone)
            drop = drop || line.rfind(file + "\t", 0) == 0;
        if (!drop)
            kept_log += line;
        start = end;
    }
    ASSERT_LT(kept_log.size(), log.size());
    WriteFileBytes(t.log_path, kept_log);
    for (const std::string &file : gone)
        std::filesystem::remove(t.folder + "/Images/" + file);
}

// Pixels of a montage where the given colour channel (1 green, 2 red) stands out of the grey
// brightfield.
inline int TintedPixels(const std::string &montage, int channel)
{
    const cv::Mat image = cv::imread(montage, cv::IMREAD_COLOR);
    EXPECT_FALSE(image.empty()) << montage;
    int n = 0;
    for (int r = 0; r < image.rows; ++r)
        for (int c = 0; c < image.cols; ++c) {
            const cv::Vec3b px = image.at<cv::Vec3b>(r, c);
            const int green = px[1];
            const int red = px[2];
            n += channel == 1 ? green > red + 10 : red > green + 10;
        }
    return n;
}

// An experiment with one fluorescence channel recorded: the channel screen offers that channel
// alone, and its box decides whether that channel (and only it) is in the montage.
inline void RunOneChannelAnalysis(GuidedRunDriver &run, const SyntheticExperimentTruth &t, int channel)
{
    const char *kChoose = "Analyse a recorded experiment";
    const char *kChannels = "Fluorescence channels";
    const char *kReport = "Montage and Fractionation Report";
    const std::string label =
        channel == 1 ? "Fluorescence channel 1 (green)" : "Fluorescence channel 2 (red)";
    const int other = channel == 1 ? 2 : 1;
    CustomerUI &screen = theCustomerUI();
    std::string error;
    ASSERT_TRUE(screen.Reload((ShippedCustomerUIFolder() + "/Scripts/DefaultAnalysisUI.scr").c_str(), error))
        << error;
    for (const bool ticked : {true, false}) {
        const std::string name = ticked ? "ticked" : "unticked";
        ASSERT_TRUE(run.AtScreen(PromptForInput, kChoose)) << name;
        run.Type(1, t.folder);
        run.Type(2, name);
        screen.OnNext();
        ASSERT_TRUE(run.AtScreen(PromptForInputChecks, kChannels)) << name;
        const CustomerUIData d = screen.Snapshot();
        EXPECT_EQ(d.inputLabels, std::vector<std::string>{label});
        EXPECT_EQ(d.checkMarks[0], 1);
        if (ticked)
            run.Shot("analysis_channels_only_" + std::to_string(channel));
        screen.SetCheckMark(1, ticked);
        screen.OnNext();
        ASSERT_TRUE(run.AtScreen(PromptForMontageReport, kReport, std::chrono::seconds(300))) << name;
        const std::string montage = t.folder + "/Analysis/" + name + ".png";
        EXPECT_EQ(TintedPixels(montage, channel) > 0, ticked) << name;
        EXPECT_EQ(TintedPixels(montage, other), 0) << name;
        screen.OnNext(); // "Again"
    }
    ASSERT_TRUE(run.AtScreen(PromptForInput, kChoose));
    screen.RaiseEvent("Back");
    ASSERT_TRUE(run.Until([] { return !ScriptInstanceExists(1); }));
}

} // namespace vantelis::test
