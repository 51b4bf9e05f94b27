// The main window's "Counting Algorithm Parameters" command opens the counting tool window, which
// loads the remembered set when it is made.
#include "app/gui/MainFrameFixture.h"

#include "app/CommandIds.h"
#include "tools/CountingParams.h"
#include "tools/gui/CountingAlgorithmDlg.h"
#include "tools/gui/CountingToolWindows.h"
#include "tools/gui/EpiCellCountingAlgoDlg.h"
#include "tools/gui/FindMeniscusDlg.h"

#include <functional>

namespace vantelis::test::mainframe {
namespace {

using namespace counting_id;

// Points the program at a main settings file and data folder; at the end removes the installed
// tool windows and restores both.
struct AppPaths
{
    AppPaths(const std::string &iniPath, const std::string &dataDirectory)
    {
        theApp.m_ini_path = iniPath;
        theApp.m_data_directory = dataDirectory;
    }
    ~AppPaths()
    {
        InstallAnalysisToolWindows(nullptr);
        theApp.m_ini_path = ini;
        theApp.m_data_directory = data;
    }
    AppPaths(const AppPaths &) = delete;
    AppPaths &operator=(const AppPaths &) = delete;

    std::string ini = theApp.m_ini_path;
    std::string data = theApp.m_data_directory;
};

TEST_F(MainFrameFixture, TheCountingCommandOpensTheCountingWindow)
{
    // The window reads the program's main settings file and data folder.
    const AppPaths restore(m_app.m_ini_path, m_app.m_data_directory);
    std::filesystem::create_directories(m_dir.file("LIB"));
    CountingControls set = DefaultCountingControls();
    set.edits[kObjectRadius1] = "9";
    std::string error;
    ASSERT_TRUE(WriteCountingParamsFile(m_dir.file("LIB/Remembered.counting_params"), set, error));
    WriteSettings("[CountingAlgorithmDlg]\r\nParamSetName=Remembered\r\nCreateResultsFiles=TRUE\r\n");

    std::shared_ptr<CountingToolWindows> windows = InstallCountingToolWindows();
    EXPECT_FALSE(windows->CountingAlgorithm().HasWindow());
    ASSERT_TRUE(Frame().OnCommand(cmd::kCountingAlgorithmParameters));
    CountingAlgorithmDlg *dialog = windows->CountingDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowTitle().toStdString(), "Counting Algorithm");
    EXPECT_EQ(dialog->ControlText(kParamSetName), "Remembered");
    EXPECT_EQ(dialog->ControlText(kObjectRadius1), "9");
    EXPECT_TRUE(dialog->IsChecked(kCreateResultsFiles));

    // The command only shows the window: a second one keeps it, hidden or not, and never makes
    // another.
    dialog->hide();
    ASSERT_TRUE(Frame().OnCommand(cmd::kCountingAlgorithmParameters));
    EXPECT_TRUE(dialog->isVisible());
    ASSERT_TRUE(Frame().OnCommand(cmd::kCountingAlgorithmParameters));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(windows->CountingDialog(), dialog);

    // Opening the counting window starts no batch run.
    EXPECT_FALSE(windows->ImageAnalysisRunning());
}

// The epi editor's command only shows its window; the meniscus finder's shows a hidden window and
// hides a visible one. Each window is made once.
TEST_F(MainFrameFixture, TheEpiMeniscusAndFocusCommandsOpenTheirWindows)
{
    const AppPaths restore(m_app.m_ini_path, m_app.m_data_directory);
    std::shared_ptr<CountingToolWindows> windows = InstallCountingToolWindows();

    ASSERT_TRUE(Frame().OnCommand(cmd::kEpiCellCountingAlgoParameters));
    QWidget *epi = static_cast<QWidget *>(windows->EpiDialog());
    ASSERT_NE(epi, nullptr);
    EXPECT_EQ(epi->windowTitle().toStdString(), "Epi Cell Counting Algo");
    ASSERT_TRUE(Frame().OnCommand(cmd::kEpiCellCountingAlgoParameters));
    EXPECT_TRUE(epi->isVisible());

    struct Toggled
    {
        int command;
        std::function<QWidget *()> window;
        const char *title;
    } toggled[] = {
        {cmd::kFindMeniscus, [&] { return static_cast<QWidget *>(windows->MeniscusDialog()); },
         "Find Meniscus"},
    };
    for (const Toggled &t : toggled) {
        ASSERT_TRUE(Frame().OnCommand(t.command)) << t.title;
        QWidget *window = t.window();
        ASSERT_NE(window, nullptr) << t.title;
        EXPECT_EQ(window->windowTitle().toStdString(), t.title);
        EXPECT_TRUE(window->isVisible()) << t.title;
        ASSERT_TRUE(Frame().OnCommand(t.command));
        EXPECT_FALSE(window->isVisible()) << t.title;
        ASSERT_TRUE(Frame().OnCommand(t.command));
        EXPECT_TRUE(window->isVisible()) << t.title;
        EXPECT_EQ(t.window(), window) << t.title;
    }
    // The focus tool's command is for admin mode outside analysis mode: this build refuses it and
    // makes no window.
    EXPECT_FALSE(Frame().OnCommand(cmd::kFocusTool));
    EXPECT_EQ(windows->FocusDialog(), nullptr);
}

} // namespace
} // namespace vantelis::test::mainframe
