// Closing the main window ends the program's event loop whatever windows without a parent are still
// shown (a tool window, the operator-message window, the countdown of a running script), so that
// the program's exit runs: scripts stopped and their threads joined.
#include "ScriptWindowsFixture.h"

#include "app/gui/AppMainWindow.h"
#include "script/gui/InformOperatorDlg.h"
#include "script/gui/ScriptWindows.h"
#include "script/gui/WaitWithTimerDlg.h"
#include "tools/gui/ROIManager.h"

#include <QTimer>

namespace vantelis::test {
namespace {

enum class Shown
{
    ToolWindow,
    MinimisedToolWindow,
    OperatorMessage,
    CountdownOfARunningScript,
};

class ProgramExitTest : public ScriptWindowsFixture
{
  protected:
    // Runs the program's event loop with the main window closing at once (as File > Exit closes
    // it). False when the loop had to be ended by the test's deadline.
    static bool LoopEndsWhenTheMainWindowCloses(AppMainWindow &frame)
    {
        QTimer::singleShot(0, &frame, [&frame] { frame.close(); });
        bool deadline = false;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [&deadline] {
            deadline = true;
            QCoreApplication::exit(1);
        });
        guard.start(10000);
        const int status = AppMainWindow::RunEventLoop();
        return !deadline && status == 0;
    }
};

TEST_F(ProgramExitTest, ClosingTheMainWindowEndsTheLoopWhileWindowsWithoutParentAreShown)
{
    const std::string script = m_dir.file("countdown.scr");
    CountdownScript countdown(script, "Priming", 36000, 0);

    for (Shown shown : {Shown::ToolWindow, Shown::MinimisedToolWindow, Shown::OperatorMessage,
                        Shown::CountdownOfARunningScript}) {
        SCOPED_TRACE(static_cast<int>(shown));
        std::shared_ptr<ScriptWindows> windows = InstallScriptWindows();
        AppMainWindow frame;
        frame.show();
        ROIManager manager(m_dir.file("Vantelis.ini"));
        QWidget *left = nullptr; // the window that stays on screen
        switch (shown) {
        case Shown::ToolWindow:
            manager.show();
            left = &manager;
            break;
        case Shown::MinimisedToolWindow:
            manager.showMinimized();
            left = &manager;
            break;
        case Shown::OperatorMessage:
            ASSERT_TRUE(windows->InformOperator().Create(false));
            windows->InformOperatorDialog()->Inform("Insert the cartridge", -1);
            left = windows->InformOperatorDialog();
            break;
        case Shown::CountdownOfARunningScript: {
            ASSERT_TRUE(windows->WaitWithTimer().Create(false));
            EString error;
            ASSERT_TRUE(Script::RunScript(0, script.c_str(), error)) << error.c_str();
            WaitWithTimerDlg *wait = windows->WaitWithTimerDialog();
            ASSERT_TRUE(RunEventLoopUntil([&] { return wait->isVisible(); }));
            left = wait;
            break;
        }
        }
        ASSERT_NE(left, nullptr);
        ASSERT_TRUE(left->isVisible());

        EXPECT_TRUE(LoopEndsWhenTheMainWindowCloses(frame));
        EXPECT_FALSE(frame.isVisible());
        // The exit that follows the loop: every script stopped and its thread joined; the waiting
        // script ran nothing past its wait.
        windows->Uninstall();
        EXPECT_TRUE(ScriptInstanceList().empty());
        EXPECT_EQ(countdown.after.load(), 0);
        Pump();
    }
}

} // namespace
} // namespace vantelis::test
