// A window command posted by a script reaches the main frame and obeys the frame's enabled state,
// as the menu item does.
#include "app/CommandIds.h"
#include "app/GuiSeam.h"
#include "app/gui/MainFrameFixture.h"
#include "script/CommandTable.h"
#include "script/Script.h"

#include <gtest/gtest.h>

namespace vantelis::test::mainframe {
namespace {

// Hands a posted command to the frame the way the program's framework does: through the window's
// signal, handled on the user-interface thread.
class FrameForwarder : public AppFramework
{
  public:
    explicit FrameForwarder(CMainFrame &frame) : m_frame(frame) {}
    bool PrepareFramework(std::string &) override { return true; }
    DocumentTemplate *CreateDocumentTemplate() override { return nullptr; }
    bool CreateMainFrame() override { return true; }
    bool HasMainWindow() const override { return true; }
    void PostCommand(int commandId, intptr_t parameter) override
    {
        emit m_frame.commandPosted(commandId, static_cast<qintptr>(parameter));
    }
    bool SaveReferenceImage(const std::string &, std::string &, bool) override { return false; }
    void WakeIdle() override {}
    bool FrameworkIdle(int32_t) override { return false; }
    void ExitFramework() override {}

  private:
    CMainFrame &m_frame;
};

class DispatcherFrameTest : public MainFrameFixture
{
  protected:
    void SetUp() override
    {
        m_oldStage = theApp.m_stage_port;
        m_oldFramework = SetFramework(std::make_shared<FrameForwarder>(Frame()));
    }
    void TearDown() override
    {
        SetFramework(m_oldFramework);
        theApp.m_stage_port = m_oldStage;
    }
    bool RunCommand(int id, const char *arguments)
    {
        Script instance;
        VariableList variables;
        EString error;
        const bool ok = instance.CallBuiltInFunction(id, arguments, variables, false, error);
        EXPECT_TRUE(ok) << error.c_str();
        Settle();
        return ok;
    }
    std::shared_ptr<AppFramework> m_oldFramework;
    int32_t m_oldStage = 0;
};

TEST_F(DispatcherFrameTest, APostedWindowCommandRunsOnlyWhileItsMenuItemIsEnabled)
{
    // Analysis mode: the system state item is disabled even for an administrator.
    m_app.m_analysis_mode = true;
    m_app.m_admin_mode = true;
    ASSERT_FALSE(Frame().IsCommandEnabled(cmd::kShowFluidicSystemState));
    RunCommand(cmd::ShowFluidicSystemState, "();");
    EXPECT_EQ(Count("SystemState.Create"), 0u);

    // With the item enabled the same command shows the window, and a second call hides it.
    m_app.m_analysis_mode = false;
    ASSERT_TRUE(Frame().IsCommandEnabled(cmd::kShowFluidicSystemState));
    RunCommand(cmd::ShowFluidicSystemState, "();");
    RunCommand(cmd::ShowFluidicSystemState, "();");
    EXPECT_EQ(m_calls, (CallLog{"SystemState.Create", "SystemState.Show", "SystemState.Hide"}));

    // The stage panel: the script needs a stage port, the frame its item enabled.
    m_calls.clear();
    theApp.m_stage_port = 2;
    m_app.m_stage_port = 0;
    RunCommand(cmd::ZaberControlPanel, "();");
    EXPECT_TRUE(m_calls.empty());
}

} // namespace
} // namespace vantelis::test::mainframe
