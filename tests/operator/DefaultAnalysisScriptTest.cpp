// The shipped operator scripts: every one loads on the operator-screen handle in analysis mode, and
// the guided analysis runs end to end on a generated experiment without a window.
#include "DefaultAnalysisScriptRun.h"

#include "operator/CustomerUITicker.h"
#include "script/Script.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace vantelis::test {
namespace {

class DefaultAnalysisScriptTest : public ::testing::Test
{
  protected:
    TempDir m_dir;
    ScopedFakeUi m_ui;
};

TEST_F(DefaultAnalysisScriptTest, EveryShippedScriptLoadsOnTheOperatorHandleInAnalysisMode)
{
    GuidedRunEnvironment environment(m_dir.file("data"));
    std::vector<std::string> scripts;
    for (const auto &entry :
         fs::recursive_directory_iterator(std::string(VANTELIS_SOURCE_DIR) + "/res/program"))
        if (entry.is_regular_file() && entry.path().extension() == ".scr")
            scripts.push_back(entry.path().string());
    ASSERT_FALSE(scripts.empty());
    EXPECT_NE(std::find(scripts.begin(), scripts.end(),
                        ShippedCustomerUIFolder() + "/Scripts/DefaultAnalysisUI.scr"),
              scripts.end());
    for (const std::string &path : scripts) {
        Script instance(SCRIPT_HANDLE_CUSTOMER_UI);
        FILE *file = std::fopen(path.c_str(), "rb");
        ASSERT_NE(file, nullptr) << path;
        EString error;
        EXPECT_TRUE(LoadScript(instance.m_main, instance, file, path.c_str(), 0, error, false))
            << path << ": " << error.c_str();
        std::fclose(file);
    }
}

TEST_F(DefaultAnalysisScriptTest, GuidedAnalysisReachesTheReportAndBadChoicesAreAskedAgain)
{
    const SyntheticExperimentParams params = GuidedRunExperimentParams();
    const SyntheticExperimentTruth t = WriteSyntheticExperiment(m_dir.file("root"), params);
    GuidedRunEnvironment environment(t.data_folder);
    // The screen's timers tick as the window would tick them (banners, the script watch).
    CustomerUITicker ticker(theCustomerUI());
    GuidedRunDriver run([&] { ticker.Poll(); }, [](const std::string &) {});
    RunGuidedAnalysis(run, t, params, m_dir.file("scratch"));
    // No failure ended the run: nothing was shown in a message box.
    for (const FakeUi::Message &m : m_ui->Messages())
        ADD_FAILURE() << "message box: " << m.text;
}

TEST_F(DefaultAnalysisScriptTest, AnExperimentWithOneFluorescenceChannelOffersThatChannelAlone)
{
    for (const int channel : {1, 2}) {
        SCOPED_TRACE(channel);
        TempDir dir;
        const SyntheticExperimentParams params = GuidedRunExperimentParams();
        const SyntheticExperimentTruth t = WriteSyntheticExperiment(dir.file("root"), params);
        KeepOnlyFluorescenceChannel(t, channel);
        GuidedRunEnvironment environment(t.data_folder);
        CustomerUITicker ticker(theCustomerUI());
        GuidedRunDriver run([&] { ticker.Poll(); }, [](const std::string &) {});
        RunOneChannelAnalysis(run, t, channel);
    }
    for (const FakeUi::Message &m : m_ui->Messages())
        ADD_FAILURE() << "message box: " << m.text;
}

} // namespace
} // namespace vantelis::test
