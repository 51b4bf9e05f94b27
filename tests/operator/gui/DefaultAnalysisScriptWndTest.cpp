// The guided analysis script on the operator screen's window: the same run as without a window,
// with the window following the screen and a screenshot of every screen it reaches.
#include "operator/DefaultAnalysisScriptRun.h"
#include "operator/gui/CustomerUIWnd.h"
#include "support/gui/EventLoop.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace vantelis::test {
namespace {

// The whole run at both screen sizes; the shots are named by the desktop width.
class DefaultAnalysisScriptWndTest : public ::testing::TestWithParam<std::pair<int, int>>
{
};

TEST_P(DefaultAnalysisScriptWndTest, GuidedAnalysisOnTheWindowWithAShotOfEveryScreen)
{
    const auto [desktopW, desktopH] = GetParam();
    QDir().mkpath("/tmp/shots");
    TempDir dir;
    ScopedFakeUi ui;
    const SyntheticExperimentParams params = GuidedRunExperimentParams();
    const SyntheticExperimentTruth t = WriteSyntheticExperiment(dir.file("root"), params);
    GuidedRunEnvironment environment(t.data_folder);
    auto shared = std::make_shared<CustomerUIShared>();
    CustomerUIWnd window(theCustomerUI(), shared, desktopW, desktopH);
    // The window ticks the screen's timers and follows it from its own poll.
    GuidedRunDriver run([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); },
                        [&](const std::string &name) {
                            QTest::qWait(200);
                            EXPECT_TRUE(window.isVisible()) << name;
                            // The busy screen and the report take no typing: no edit shows.
                            if (name == "analysis_busy" || name == "analysis_report") {
                                for (int i = 0; i < 6; ++i) {
                                    EXPECT_FALSE(window.InputEdit(i)->isVisible())
                                        << name << " edit " << i + 1;
                                }
                            }
                            window.grab().save(QString::fromStdString("/tmp/shots/" + name + "_" +
                                                                      std::to_string(desktopW) + ".png"));
                        },
                        // The operator types over what the edit shows.
                        [&](int edit, const std::string &text) {
                            QLineEdit *line = window.InputEdit(edit - 1);
                            ASSERT_TRUE(RunEventLoopUntil([&] { return line->isVisible(); })) << edit;
                            line->selectAll();
                            QTest::keyClicks(line, QString::fromStdString(text));
                            EXPECT_EQ(theCustomerUI().Snapshot().editTexts[static_cast<size_t>(edit - 1)],
                                      text);
                        });
    RunGuidedAnalysis(run, t, params, dir.file("scratch"));
    // The window is hidden once the script has ended (the script watch).
    EXPECT_TRUE(run.Until([&] { return !window.isVisible(); }));
    for (const FakeUi::Message &m : ui->Messages())
        ADD_FAILURE() << "message box: " << m.text;
}

// Only the second fluorescence channel recorded: its screen offers that channel alone.
TEST_P(DefaultAnalysisScriptWndTest, TheChannelScreenOfAnExperimentWithTheSecondChannelOnly)
{
    const auto [desktopW, desktopH] = GetParam();
    QDir().mkpath("/tmp/shots");
    TempDir dir;
    ScopedFakeUi ui;
    const SyntheticExperimentTruth t =
        WriteSyntheticExperiment(dir.file("root"), GuidedRunExperimentParams());
    KeepOnlyFluorescenceChannel(t, 2);
    GuidedRunEnvironment environment(t.data_folder);
    auto shared = std::make_shared<CustomerUIShared>();
    CustomerUIWnd window(theCustomerUI(), shared, desktopW, desktopH);
    GuidedRunDriver run([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); },
                        [&](const std::string &name) {
                            QTest::qWait(200);
                            EXPECT_TRUE(window.CheckBox(0)->isVisible());
                            EXPECT_FALSE(window.CheckBox(1)->isVisible());
                            window.grab().save(QString::fromStdString("/tmp/shots/" + name + "_" +
                                                                      std::to_string(desktopW) + ".png"));
                        });
    RunOneChannelAnalysis(run, t, 2);
    for (const FakeUi::Message &m : ui->Messages())
        ADD_FAILURE() << "message box: " << m.text;
}

INSTANTIATE_TEST_SUITE_P(BothScreenSizes, DefaultAnalysisScriptWndTest,
                         ::testing::Values(std::make_pair(1920, 1080), std::make_pair(1600, 900)),
                         [](const auto &info) { return std::to_string(info.param.first); });

} // namespace
} // namespace vantelis::test
