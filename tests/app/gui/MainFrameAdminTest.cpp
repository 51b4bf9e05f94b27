// Admin mode with its password loop, the minimise refusal and the end-of-session answer.
#include "MainFrameFixture.h"

#include "app/CommandIds.h"
#include "app/gui/PasswordDlg.h"
#include "app/gui/ToolbarEx.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace vantelis::test::mainframe {
namespace {

class MainFrameAdminTest : public MainFrameFixture
{
  protected:
    // A step that types text into the password dialog and presses OK (or Cancel), noting the prompt.
    ModalDriver::Step Type(const std::string &text, bool ok = true)
    {
        return [this, text, ok](QDialog &dialog) {
            auto *password = qobject_cast<PasswordDlg *>(&dialog);
            ASSERT_NE(password, nullptr);
            m_prompts.push_back(password->PromptLabel()->text().toStdString());
            password->PasswordEdit()->setText(QString::fromLatin1(text.c_str()));
            (ok ? password->OkButton() : password->CancelButton())->click();
        };
    }

    std::vector<std::string> m_prompts;
};

TEST_F(MainFrameAdminTest, WrongWrongRightEntersAdminMode)
{
    m_app.m_analysis_mode = false;
    // Both windows exist, so both hear of the change.
    m_devices->controlPanel.m_exists = true;
    m_scripts->scriptsList.m_exists = true;
    CMainFrame &frame = Frame();
    ModalDriver driver({Type("marzipant!"), Type("Marzipant"), Type("Marzipant!")});
    EXPECT_TRUE(frame.OnCommand(cmd::kAdminMode));
    EXPECT_TRUE(m_app.m_admin_mode);
    EXPECT_EQ(m_prompts,
              (std::vector<std::string>{"Please enter the admin password:", "Try 2 of 3", "Try 3 of 3"}));
    EXPECT_TRUE(MessageTexts().empty());
    EXPECT_EQ(m_calls, (CallLog{"ControlPanelAdmin:on", "UpdateScriptsListButtons"}));

    // Admin-only commands are open now, and the item is checked and disabled for good.
    EXPECT_TRUE(frame.IsCommandEnabled(cmd::kFluidicSystemScripts));
    const CommandUi item = frame.QueryCommandUi(cmd::kAdminMode);
    EXPECT_TRUE(item.checked);
    EXPECT_FALSE(item.enabled);
    frame.OnAdminMode(); // returns at once: no dialog
    EXPECT_EQ(driver.Seen(), 3);
}

TEST_F(MainFrameAdminTest, ThreeWrongPasswordsLeaveAdminModeOffWithTheMessage)
{
    CMainFrame &frame = Frame();
    ModalDriver driver({Type("a"), Type(""), Type("Marzipant! ")});
    frame.OnCommand(cmd::kAdminMode);
    EXPECT_FALSE(m_app.m_admin_mode);
    EXPECT_EQ(driver.Seen(), 3);
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>{
                                  "Failed to enter correct password after three tries. Admin mode is off."}));
}

TEST_F(MainFrameAdminTest, CancelAtAnyTryLeavesAdminModeOffWithoutAMessage)
{
    m_devices->controlPanel.m_exists = true;
    for (int cancelAt = 1; cancelAt <= 3; ++cancelAt) {
        m_calls.clear();
        std::vector<ModalDriver::Step> steps;
        for (int i = 1; i < cancelAt; ++i)
            steps.push_back(Type("wrong"));
        steps.push_back(Type("Marzipant!", false));
        CMainFrame &frame = NewFrame();
        ModalDriver driver(steps);
        frame.OnCommand(cmd::kAdminMode);
        EXPECT_FALSE(m_app.m_admin_mode) << cancelAt;
        EXPECT_EQ(driver.Seen(), cancelAt);
        EXPECT_TRUE(MessageTexts().empty()) << cancelAt;
        EXPECT_EQ(m_calls, (CallLog{"ControlPanelAdmin:off"})) << cancelAt;
    }
}

TEST_F(MainFrameAdminTest, AdminSettingZeroKeepsThePasswordDialogAway)
{
    WriteSettings("[AdminMode]\r\nSetting=0\r\n");
    CMainFrame &frame = Frame();
    ModalDriver driver({Type("Marzipant!")});
    EXPECT_FALSE(frame.OnCommand(cmd::kAdminMode));
    EXPECT_FALSE(m_app.m_admin_mode);
    EXPECT_EQ(driver.Seen(), 0);
}

TEST_F(MainFrameAdminTest, MinimiseRefusalTextsAndTheirOrder)
{
    struct State
    {
        bool fluidicScript;
        bool operatorScript;
        bool analysisRuns;
        bool workflow;
        bool live;
        const char *refusal; // null: minimised
    };
    const char *script = "Can't minimize the main window when the script is running.";
    const char *analysis = "Can't minimize the main window when image analysis is running.";
    const char *workflow = "Can't minimize the main window while running image collection workflow.";
    const char *live = "Can't minimize the main window while running image capture with auto refresh.";
    const State states[] = {
        {true, false, false, false, false, script},   {false, false, true, false, false, analysis},
        {false, false, false, true, false, workflow}, {false, false, false, false, true, live},
        {true, false, false, true, false, script},    {false, false, true, true, true, analysis},
        {false, false, false, true, true, workflow},  {false, true, false, false, false, nullptr},
        {false, false, false, false, false, nullptr},
    };
    m_app.m_analysis_mode = false;
    for (const State &s : states) {
        m_ui->Clear();
        m_scripts->instances.clear();
        // The operator screen's instance comes first: only the first handle-0 entry counts.
        if (s.operatorScript)
            m_scripts->instances.push_back({1, true, "Op.scr"});
        m_scripts->instances.push_back({0, s.fluidicScript, "Fluidic.scr"});
        m_analysisTools->running = s.analysisRuns;
        m_app.m_workflow_running = s.workflow;
        CMainFrame &frame = NewFrame();
        frame.ToolBar()->SetButtonPressed(cmd::kLiveImage, s.live);
        frame.show();

        const bool passed = frame.OnSysCommand(kScMinimize);
        if (s.refusal) {
            EXPECT_FALSE(passed) << s.refusal;
            EXPECT_FALSE(frame.isMinimized()) << s.refusal;
            ASSERT_EQ(m_ui->Messages().size(), 1u) << s.refusal;
            EXPECT_EQ(m_ui->Messages()[0].text, s.refusal);
            EXPECT_EQ(m_ui->Messages()[0].flags, platform::ui::MbOk | platform::ui::MbIconError);
            EXPECT_NE(ErrorLogText().find(std::string("MainFrm")), std::string::npos);
            EXPECT_NE(ErrorLogText().find(s.refusal), std::string::npos);
        } else {
            EXPECT_TRUE(passed);
            EXPECT_TRUE(frame.isMinimized());
            EXPECT_TRUE(m_ui->Messages().empty());
        }
    }
    m_app.m_workflow_running = false;
}

TEST_F(MainFrameAdminTest, AMinimiseFromTheWindowManagerIsUndoneWhenRefused)
{
    m_app.m_analysis_mode = false;
    m_app.m_workflow_running = true;
    CMainFrame &frame = Frame();
    frame.show();
    frame.showMinimized();
    EXPECT_FALSE(frame.isMinimized());
    EXPECT_EQ(MessageTexts(),
              (std::vector<std::string>{
                  "Can't minimize the main window while running image collection workflow."}));

    m_app.m_workflow_running = false;
    frame.showMinimized();
    EXPECT_TRUE(frame.isMinimized());
    EXPECT_EQ(MessageTexts().size(), 1u);
}

TEST_F(MainFrameAdminTest, SessionMayEndInAnalysisModeOrWithoutAWorkflow)
{
    CMainFrame &frame = Frame();
    struct Case
    {
        bool analysis;
        bool workflow;
        bool allowed;
    };
    const Case cases[] = {
        {true, true, true}, {true, false, true}, {false, false, true}, {false, true, false}};
    for (const Case &c : cases) {
        m_app.m_analysis_mode = c.analysis;
        m_app.m_workflow_running = c.workflow;
        EXPECT_EQ(frame.OnQueryEndSession(), c.allowed) << c.analysis << c.workflow;
    }
    m_app.m_workflow_running = false;
}

} // namespace
} // namespace vantelis::test::mainframe
