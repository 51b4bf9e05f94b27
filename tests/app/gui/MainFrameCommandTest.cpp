// The main frame's command table: which commands are enabled in which mode, that a posted id runs
// exactly as the menu item (and not at all while disabled), the tool-window toggles and the menus.
#include "MainFrameFixture.h"

#include "app/AppServices.h"
#include "app/CommandIds.h"
#include "app/gui/ToolbarEx.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>

namespace vantelis::test::mainframe {
namespace {

struct Mode
{
    bool analysis;
    bool admin;
    int pumpPort;
    int stagePort;
};

std::string Describe(const Mode &m)
{
    return std::string("analysis=") + (m.analysis ? "on" : "off") + " admin=" + (m.admin ? "on" : "off") +
           " pump=" + std::to_string(m.pumpPort) + " stage=" + std::to_string(m.stagePort);
}

// The enabling rules of the frame's table, one per command, written from the table itself.
// The settings of these tests make [Zaber] InitializeZaberOnStartup true and leave [AdminMode]
// Setting missing; no workflow runs, no operator screen exists, no manual is installed.
struct Rule
{
    int id;
    std::function<bool(const Mode &)> enabled;
};

std::vector<Rule> Rules()
{
    auto always = [](const Mode &) { return true; };
    auto admin = [](const Mode &m) { return m.admin; };
    auto adminNotAnalysis = [](const Mode &m) { return m.admin && !m.analysis; };
    auto notAnalysis = [](const Mode &m) { return !m.analysis; };
    return {
        {cmd::kEncryptedProfiles, admin},
        {cmd::kExperimentSettings, always},
        {cmd::kRoiManager, always},
        {cmd::kDioConfiguration, adminNotAnalysis},
        {cmd::kDioReset, adminNotAnalysis},
        {cmd::kCameraSettings, notAnalysis},
        {cmd::kCaptureActiveImages, notAnalysis},
        {cmd::kLiveImage, notAnalysis},
        {cmd::kProjectionAnalysisParameters, always},
        {cmd::kCountingAlgorithmParameters, always},
        {cmd::kEpiCellCountingAlgoParameters, always},
        {cmd::kImageAnalysisTool, always},
        {cmd::kFractionationAnalysisTool, always},
        {cmd::kProjectionAnalysisTool, always},
        {cmd::kStartExperimentWorkflow, notAnalysis},
        {cmd::kStopExperimentWorkflow, [](const Mode &) { return false; }},
        {cmd::kShowFluidicSystemState, adminNotAnalysis},
        {cmd::kFluidicSystemScripts, adminNotAnalysis},
        {cmd::kWatchScriptVariables, adminNotAnalysis},
        {cmd::kFluidicSystemControlPanel, adminNotAnalysis},
        {cmd::kPumpInformation, [](const Mode &m) { return m.admin && m.pumpPort != 0; }},
        {cmd::kZaberFocus, [](const Mode &m) { return !m.analysis && m.stagePort != 0; }},
        {cmd::kFocusTool, adminNotAnalysis},
        {cmd::kAdminMode, [](const Mode &m) { return !m.admin; }},
        {cmd::kCustomerUI, notAnalysis},
        {cmd::kCustomerUIScripts, adminNotAnalysis},
        {cmd::kCreateVideo, always},
        {cmd::kRunUserInterface, always},
        {cmd::kManual, [](const Mode &) { return false; }},
        {cmd::kSingleWorkflowCapture, [](const Mode &) { return false; }}, // no camera
        {cmd::kAlgoIterator, admin},
        {cmd::kFindMeniscus, always},
        {cmd::kRowFlatField, always},
        {cmd::kMontage, always},
        {cmd::kCloseLiveImage, always},
        {cmd::kChannelAndMagnetPositions, [](const Mode &) { return false; }}, // no view open
        {cmd::kFileOpen, always},
        {cmd::kAppAbout, always},
    };
}

class MainFrameCommandTest : public MainFrameFixture
{
  protected:
    void SetMode(const Mode &m)
    {
        m_app.m_analysis_mode = m.analysis;
        m_app.m_admin_mode = m.admin;
        m_app.m_pump_port = m.pumpPort;
        m_app.m_stage_port = m.stagePort;
    }
};

TEST_F(MainFrameCommandTest, EnableTableFollowsAnalysisAdminAndPorts)
{
    WriteSettings("[Zaber]\r\nInitializeZaberOnStartup=TRUE\r\n");
    for (bool analysis : {false, true})
        for (bool admin : {false, true})
            for (int pump : {0, 3})
                for (int stage : {0, 4}) {
                    const Mode mode{analysis, admin, pump, stage};
                    SetMode(mode);
                    CMainFrame &frame = NewFrame();
                    for (const Rule &rule : Rules())
                        EXPECT_EQ(frame.IsCommandEnabled(rule.id), rule.enabled(mode))
                            << "command " << rule.id << " with " << Describe(mode);
                }
}

TEST_F(MainFrameCommandTest, AnalysisModeWithAdminKeepsInstrumentAdminItemsDisabled)
{
    SetMode({true, true, 0, 0});
    CMainFrame &frame = Frame();
    for (int id : {cmd::kShowFluidicSystemState, cmd::kFluidicSystemScripts, cmd::kDioConfiguration,
                   cmd::kFluidicSystemControlPanel, cmd::kDioReset, cmd::kWatchScriptVariables,
                   cmd::kFocusTool, cmd::kCustomerUIScripts})
        EXPECT_FALSE(frame.IsCommandEnabled(id)) << id;
    EXPECT_TRUE(frame.IsCommandEnabled(cmd::kEncryptedProfiles));
    EXPECT_TRUE(frame.IsCommandEnabled(cmd::kAlgoIterator));

    // The pump information item asks only for admin mode and a pump port, analysis mode or not.
    EXPECT_FALSE(frame.IsCommandEnabled(cmd::kPumpInformation));
    m_app.m_pump_port = 7;
    EXPECT_TRUE(frame.IsCommandEnabled(cmd::kPumpInformation));
    m_app.m_admin_mode = false;
    EXPECT_FALSE(frame.IsCommandEnabled(cmd::kPumpInformation));
}

TEST_F(MainFrameCommandTest, WorkflowStateSwitchesStartAndStop)
{
    SetMode({false, false, 0, 0});
    CMainFrame &frame = Frame();
    EXPECT_TRUE(frame.IsCommandEnabled(cmd::kStartExperimentWorkflow));
    EXPECT_FALSE(frame.IsCommandEnabled(cmd::kStopExperimentWorkflow));
    m_app.m_workflow_running = true;
    EXPECT_FALSE(frame.IsCommandEnabled(cmd::kStartExperimentWorkflow));
    EXPECT_TRUE(frame.IsCommandEnabled(cmd::kStopExperimentWorkflow));
    m_app.m_workflow_running = false;
}

TEST_F(MainFrameCommandTest, AdminModeItemFollowsItsSetting)
{
    struct Case
    {
        const char *settings;
        bool enabled;
    };
    const Case cases[] = {
        {"[AdminMode]\r\nSetting=0\r\n", false},
        {"[AdminMode]\r\nSetting=1\r\n", true},
        {"[AdminMode]\r\nSetting=none\r\n", true},
        {"", true},
    };
    CMainFrame &frame = Frame();
    for (const Case &c : cases) {
        WriteSettings(c.settings);
        const CommandUi ui = frame.QueryCommandUi(cmd::kAdminMode);
        EXPECT_EQ(ui.enabled, c.enabled) << c.settings;
        EXPECT_FALSE(ui.checked);
    }
    // Once on, the item is checked and disabled whatever the setting says.
    m_app.m_admin_mode = true;
    const CommandUi on = frame.QueryCommandUi(cmd::kAdminMode);
    EXPECT_TRUE(on.checked);
    EXPECT_FALSE(on.enabled);
}

TEST_F(MainFrameCommandTest, ZaberItemNeedsTheSettingTrueInAnyCase)
{
    SetMode({false, false, 0, 5});
    CMainFrame &frame = Frame();
    struct Case
    {
        const char *value;
        bool enabled;
    };
    const Case cases[] = {{"TRUE", true}, {"true", true}, {"True", true},
                          {"yes", false}, {"1", false},   {nullptr, false}};
    for (const Case &c : cases) {
        WriteSettings(c.value ? std::string("[Zaber]\r\nInitializeZaberOnStartup=") + c.value + "\r\n" : "");
        EXPECT_EQ(frame.IsCommandEnabled(cmd::kZaberFocus), c.enabled) << (c.value ? c.value : "(missing)");
    }
}

TEST_F(MainFrameCommandTest, RunUserInterfaceAndManualFollowTheirWindowAndFile)
{
    CMainFrame &frame = Frame();
    EXPECT_TRUE(frame.IsCommandEnabled(cmd::kRunUserInterface));
    m_screen->screen.m_exists = true;
    EXPECT_TRUE(frame.IsCommandEnabled(cmd::kRunUserInterface));
    m_screen->screen.m_visible = true;
    EXPECT_FALSE(frame.IsCommandEnabled(cmd::kRunUserInterface));

    EXPECT_FALSE(frame.IsCommandEnabled(cmd::kManual));
    WriteFileBytes(m_dir.file("Nimbrel-1.0_Manual.pdf"), "%PDF-1.4\n");
    EXPECT_TRUE(frame.IsCommandEnabled(cmd::kManual));
}

TEST_F(MainFrameCommandTest, AToggleCreatesItsWindowOnceThenHidesAndShowsIt)
{
    CMainFrame &frame = Frame();
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(frame.OnCommand(cmd::kFindMeniscus));
    EXPECT_EQ(m_calls, (CallLog{"Meniscus.Create", "Meniscus.Show", "Meniscus.Hide", "Meniscus.Show"}));

    // Toggles of other subsystems take the same course.
    m_calls.clear();
    frame.OnCommand(cmd::kRoiManager);
    frame.OnCommand(cmd::kRoiManager);
    frame.OnCommand(cmd::kCreateVideo);
    EXPECT_EQ(m_calls, (CallLog{"RoiManager.Create", "RoiManager.Show", "RoiManager.Hide", "Video.Create",
                                "Video.Show"}));
}

// The commands that nothing else sends to the frame have Action items that follow their handlers'
// enable rules and run them.
TEST_F(MainFrameCommandTest, ItemsOfTheFormerlySentOnlyCommandsFollowTheirRules)
{
    CMainFrame &frame = Frame();
    m_app.m_admin_mode = false;
    frame.OnIdleUpdateCmdUI();
    ASSERT_NE(frame.MenuAction(cmd::kAlgoIterator), nullptr);
    EXPECT_FALSE(frame.MenuAction(cmd::kAlgoIterator)->isEnabled());
    for (int id : {cmd::kFindMeniscus, cmd::kRowFlatField, cmd::kMontage}) {
        ASSERT_NE(frame.MenuAction(id), nullptr) << id;
        EXPECT_TRUE(frame.MenuAction(id)->isEnabled()) << id;
    }
    m_app.m_admin_mode = true;
    frame.OnIdleUpdateCmdUI();
    ASSERT_TRUE(frame.MenuAction(cmd::kAlgoIterator)->isEnabled());
    frame.MenuAction(cmd::kAlgoIterator)->trigger();
    frame.MenuAction(cmd::kFindMeniscus)->trigger();
    EXPECT_EQ(m_calls, (CallLog{"Iterator.Create", "Iterator.Show", "Meniscus.Create", "Meniscus.Show"}));
}

TEST_F(MainFrameCommandTest, ShowCommandsNeverHideTheirWindow)
{
    CMainFrame &frame = Frame();
    frame.OnCommand(cmd::kImageAnalysisTool);
    frame.OnCommand(cmd::kImageAnalysisTool);
    EXPECT_EQ(m_calls, (CallLog{"ImageAnalysis.Create", "ImageAnalysis.Show"}));
    // Hidden by its own button, it is shown again.
    m_analysisTools->imageAnalysis.m_visible = false;
    frame.OnCommand(cmd::kImageAnalysisTool);
    EXPECT_EQ(m_calls.back(), "ImageAnalysis.Show");
    EXPECT_EQ(Count("ImageAnalysis.Create"), 1u);
}

TEST_F(MainFrameCommandTest, AWindowThatCannotBeMadeIsNeitherShownNorHidden)
{
    // A window of a subsystem that is not there, as its placeholder answers: no window is made.
    class Unavailable : public RecordingWindow
    {
      public:
        using RecordingWindow::RecordingWindow;
        bool Create(bool visible) override
        {
            RecordingWindow::Create(visible);
            m_exists = false;
            return false;
        }
    };
    CMainFrame &frame = Frame();
    Unavailable meniscus("Meniscus", m_calls);
    struct Tools : FakeAnalysisTools
    {
        using FakeAnalysisTools::FakeAnalysisTools;
        ModelessWindow *meniscus = nullptr;
        ModelessWindow &FindMeniscus() override { return *meniscus; }
    };
    auto tools = std::make_shared<Tools>(m_calls);
    tools->meniscus = &meniscus;
    InstallAnalysisToolWindows(tools);
    frame.OnCommand(cmd::kFindMeniscus);
    frame.OnCommand(cmd::kFindMeniscus);
    EXPECT_EQ(m_calls, (CallLog{"Meniscus.Create", "Meniscus.Create"}));
}

TEST_F(MainFrameCommandTest, PostedCommandsRunLikeTheMenuAndOnlyWhileEnabled)
{
    SetMode({false, false, 0, 0});
    CMainFrame &frame = Frame();

    // Disabled without admin mode: a posted id is dropped, as the menu item cannot be chosen.
    frame.PostCommand(cmd::kShowFluidicSystemState);
    Settle();
    EXPECT_EQ(Count("SystemState.Create"), 0u);

    m_app.m_admin_mode = true;
    frame.PostCommand(cmd::kShowFluidicSystemState);
    frame.PostCommand(cmd::kShowFluidicSystemState);
    Settle();
    EXPECT_EQ(m_calls, (CallLog{"SystemState.Create", "SystemState.Show", "SystemState.Hide"}));

    // Through the framework seam's signal, as the operator screen and the scripts post.
    m_calls.clear();
    emit frame.commandPosted(cmd::kZaberFocus, 0);
    EXPECT_TRUE(m_calls.empty()); // no stage port
    m_app.m_stage_port = 2;
    WriteSettings("[Zaber]\r\nInitializeZaberOnStartup=TRUE\r\n");
    emit frame.commandPosted(cmd::kZaberFocus, 0);
    EXPECT_EQ(m_calls, (CallLog{"Zaber.Create", "Zaber.Show"}));
}

TEST_F(MainFrameCommandTest, MenuItemAndToolbarButtonTakeTheSamePath)
{
    SetMode({false, true, 0, 0});
    CMainFrame &frame = Frame();
    QAction *item = frame.MenuAction(cmd::kFluidicSystemScripts);
    ASSERT_NE(item, nullptr);
    frame.OnIdleUpdateCmdUI();
    EXPECT_TRUE(item->isEnabled());
    item->trigger();
    EXPECT_EQ(m_calls, (CallLog{"ScriptsList.Create", "ScriptsList.Show"}));

    m_app.m_admin_mode = false;
    frame.OnIdleUpdateCmdUI();
    EXPECT_FALSE(item->isEnabled());

    QAction *run = frame.ToolBar()->Button(cmd::kRunUserInterface);
    ASSERT_NE(run, nullptr);
    run->trigger();
    Settle();
    EXPECT_EQ(m_calls.back(), "Reload:Scripts/DefaultCustomerUI.scr");
}

TEST_F(MainFrameCommandTest, MenusWithoutAndWithADocument)
{
    CMainFrame &frame = Frame();
    EXPECT_EQ(frame.MenuTitles(), (std::vector<std::string>{"File", "Action", "View", "Help"}));
    // The items both sets share, before and after what a document adds.
    const std::vector<std::string> head = {"Encrypted Profiles",
                                           "Experiment Settings",
                                           "Channel and Magnet Positions",
                                           "ROI Manager",
                                           "D I/O Configuration",
                                           "D I/O Reset",
                                           "",
                                           "Camera Settings"};
    const std::vector<std::string> tools = {"Image Analysis Tool",
                                            "Fractionation Analysis Tool",
                                            "Projection Analysis Tool",
                                            "",
                                            "Start Experiment Workflow",
                                            "Stop Experiment Workflow",
                                            "",
                                            "Show Fluidic System State",
                                            "Fluidic System Scripts",
                                            "Watch Script Variables",
                                            "Fluidic System Control Panel",
                                            "Pump Information Dialog",
                                            "",
                                            "Zaber (Focus)",
                                            "Focus Tool",
                                            "",
                                            "Admin Mode",
                                            "",
                                            "Customer UI",
                                            "Customer UI Scripts",
                                            ""};
    // The commands that only a sent id reached before, last.
    const std::vector<std::string> sent = {"", "Algo Iterator Tool", "Find Meniscus",
                                           "Row Flat-Field Correction", "Create Montage"};
    auto join = [](std::initializer_list<std::vector<std::string>> parts) {
        std::vector<std::string> all;
        for (const std::vector<std::string> &part : parts)
            all.insert(all.end(), part.begin(), part.end());
        return all;
    };
    const std::vector<std::string> withoutDocument =
        join({head,
              {"Capture Active Image(s) to File", "Live Image", ""},
              tools,
              {"Create a Video from Images"},
              sent});
    EXPECT_EQ(frame.MenuItemTexts("Action"), withoutDocument);
    EXPECT_EQ(frame.MenuItemTexts("Help"), (std::vector<std::string>{"&About Vantelis..."}));

    // A document open: its own menu set.
    DocumentManager::Instance().OpenNewDocument(frame.MdiArea());
    Settle();
    frame.OnIdleUpdateCmdUI();
    EXPECT_TRUE(frame.DocumentMenusShown());
    EXPECT_EQ(frame.MenuTitles(), (std::vector<std::string>{"File", "Action", "View", "Window", "Help"}));
    const std::vector<std::string> withDocument =
        join({head,
              {"Capture New Image", "Capture + Auto Refresh", "", "Save Image To Experiment [F1]",
               "Save Reference Image", "", "Projection Analysis Parameters", "Counting Algorithm Parameters",
               "Epi Cell Counting Algo Parameters", ""},
              tools,
              {"Create a video from images"},
              sent});
    EXPECT_EQ(frame.MenuItemTexts("Action"), withDocument);
    // The view's commands are enabled while it is active.
    EXPECT_TRUE(frame.IsCommandEnabled(cmd::kChannelAndMagnetPositions));
    EXPECT_TRUE(frame.IsCommandEnabled(cmd::kZoomIn));
    EXPECT_EQ(frame.MenuAction(cmd::kSaveImageToExperiment)->shortcut(), QKeySequence(Qt::Key_F1));

    // Closing it brings the first set back.
    DocumentManager::Instance().CloseAllDocuments();
    Settle();
    frame.OnIdleUpdateCmdUI();
    EXPECT_FALSE(frame.DocumentMenusShown());
    EXPECT_EQ(frame.MenuTitles(), (std::vector<std::string>{"File", "Action", "View", "Help"}));
}

// The File, View and Window menus of both sets: items, separators, checkable items and shortcut.
TEST_F(MainFrameCommandTest, FileViewAndWindowMenusWithoutAndWithADocument)
{
    struct Case
    {
        const char *menu;
        std::vector<std::string> withoutDocument, withDocument;
    };
    const std::vector<Case> cases = {
        {"File",
         {"&Open...", "", "Recent File", "", "E&xit"},
         {"&Open...", "&Close", "Save &As...", "", "Recent File", "", "E&xit"}},
        {"View",
         {"&Toolbar", "&Status Bar"},
         {"&Toolbar", "&Status Bar", "", "Scale Intensities", "Auto Scale Intensities", "Zoom In", "Zoom Out",
          "Full Scale", "", "Auto Refresh Disabled / No Camera"}},
        // No Window menu without a document; with one, the windows' entries follow the separator.
        {"Window", {}, {"&Cascade", "&Tile", ""}},
    };
    CMainFrame &frame = Frame();
    for (const Case &c : cases)
        EXPECT_EQ(frame.MenuItemTexts(c.menu), c.withoutDocument) << c.menu;
    EXPECT_EQ(frame.MenuAction(cmd::kFileOpen)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));

    DocumentManager::Instance().OpenNewDocument(frame.MdiArea());
    Settle();
    frame.OnIdleUpdateCmdUI();
    ASSERT_TRUE(frame.DocumentMenusShown());
    for (const Case &c : cases)
        EXPECT_EQ(frame.MenuItemTexts(c.menu), c.withDocument) << c.menu;
    EXPECT_EQ(frame.MenuAction(cmd::kFileOpen)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    for (int id : {cmd::kViewToolbar, cmd::kViewStatusBar, cmd::kAutoRefresh, cmd::kAdminMode})
        EXPECT_TRUE(frame.MenuAction(id)->isCheckable()) << id;
    for (int id : {cmd::kFileOpen, cmd::kFileClose, cmd::kZoomIn, cmd::kWindowTile})
        EXPECT_FALSE(frame.MenuAction(id)->isCheckable()) << id;
}

// The frame's own commands: enabled by the open document where they need one, and the toolbar and
// status-bar items toggle their bar and show its state.
TEST_F(MainFrameCommandTest, TheFramesOwnCommandsFollowTheDocumentAndToggleTheBars)
{
    CMainFrame &frame = Frame();
    frame.show();
    Settle();
    struct Case
    {
        int id;
        bool withoutDocument, withDocument;
    };
    const Case cases[] = {
        {cmd::kFileOpen, true, true},
        {cmd::kAppExit, true, true},
        {cmd::kViewToolbar, true, true},
        {cmd::kViewStatusBar, true, true},
        {cmd::kFileClose, false, true},
        {cmd::kFileSaveAs, false, true},
        {cmd::kWindowCascade, false, true},
        {cmd::kWindowTile, false, true},
        {cmd::kZoomIn, false, true},
        {cmd::kFileMruFirst, true, true},
        {cmd::kFileMruFirst + 3, true, true},
        {cmd::kFileMruFirst + 4, false, false}, // four recent files only
        {cmd::kFilePrintSetup, false, false},   // not a command of this frame
    };
    for (const Case &c : cases)
        EXPECT_EQ(frame.IsCommandEnabled(c.id), c.withoutDocument) << c.id;
    DocumentManager::Instance().OpenNewDocument(frame.MdiArea());
    Settle();
    for (const Case &c : cases)
        EXPECT_EQ(frame.IsCommandEnabled(c.id), c.withDocument) << c.id;

    struct Bar
    {
        int id;
        QWidget *bar;
    };
    for (const Bar &b :
         {Bar{cmd::kViewToolbar, frame.ToolBar()}, Bar{cmd::kViewStatusBar, frame.statusBar()}}) {
        ASSERT_TRUE(b.bar->isVisible()) << b.id;
        EXPECT_TRUE(frame.QueryCommandUi(b.id).checked) << b.id;
        ASSERT_TRUE(frame.OnCommand(b.id));
        EXPECT_FALSE(b.bar->isVisible()) << b.id;
        EXPECT_FALSE(frame.QueryCommandUi(b.id).checked) << b.id;
        EXPECT_FALSE(frame.MenuAction(b.id)->isChecked()) << b.id;
        ASSERT_TRUE(frame.OnCommand(b.id));
        EXPECT_TRUE(b.bar->isVisible()) << b.id;
        EXPECT_TRUE(frame.MenuAction(b.id)->isChecked()) << b.id;
    }

    // Close closes the active document's window.
    ASSERT_TRUE(frame.OnCommand(cmd::kFileClose));
    Settle();
    EXPECT_TRUE(frame.MdiArea()->subWindowList().isEmpty());
    EXPECT_FALSE(frame.IsCommandEnabled(cmd::kFileClose));
}

TEST_F(MainFrameCommandTest, ToolbarHoldsItsEntriesInOrder)
{
    const std::vector<int> expected = {32859, 0, 57601, 0,     32802, 0,     32829, 0,     32799, 32800, 0,
                                       32815, 0, 32779, 32773, 0,     32780, 32781, 32785, 0,     32860};
    EXPECT_EQ(CToolBarEx::EntryIds(), expected);
    CMainFrame &frame = Frame();
    std::vector<int> shown;
    for (QAction *action : frame.ToolBar()->actions())
        shown.push_back(action->isSeparator() ? 0 : action->data().toInt());
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(frame.ToolBar()->iconSize(), QSize(66, 49));
    for (int id : expected) {
        if (id != 0) {
            EXPECT_FALSE(frame.ToolBar()->Button(id)->icon().isNull()) << id;
        }
    }
}

TEST_F(MainFrameCommandTest, StatusBarPanesStartEmptyAndTheScriptPaneShowsTheRunningScript)
{
    CMainFrame &frame = Frame();
    EXPECT_EQ(frame.PaneText(1), "");
    EXPECT_EQ(frame.PaneText(2), "");
    EXPECT_EQ(frame.Pane(1)->width(), 250);

    const std::string deep = "/home/operator/Documents/Quorvane/Vantelis/Data/Scripts/Prime the channel.scr";
    m_scripts->instances = {{0, true, deep}};
    frame.OnIdleUpdateCmdUI();
    EXPECT_EQ(frame.PaneText(1), ""); // the scripts list has no window yet
    m_scripts->scriptsList.m_exists = true;
    frame.OnIdleUpdateCmdUI();
    // The script's file name, whole within the pane, however deep its folder lies.
    EXPECT_EQ(frame.PaneText(1), "Prime the channel.scr");
    EXPECT_LE(frame.Pane(1)->fontMetrics().horizontalAdvance(frame.Pane(1)->text()),
              frame.Pane(1)->contentsRect().width());
    QDir().mkpath("/tmp/shots");
    frame.statusBar()->grab().save("/tmp/shots/main_status_script_pane.png");
    m_scripts->instances[0].path = "C:\\Data\\Scripts\\Flush.scr";
    frame.OnIdleUpdateCmdUI();
    EXPECT_EQ(frame.PaneText(1), "Flush.scr");
    m_scripts->instances[0].running = false;
    frame.OnIdleUpdateCmdUI();
    EXPECT_EQ(frame.PaneText(1), "");
}

TEST_F(MainFrameCommandTest, SerialFailureCommandRetriesUpToTenTimesAndRearmsTheCallback)
{
    m_app.m_analysis_mode = false;
    struct Case
    {
        std::deque<bool> results;
        size_t calls;
    };
    const Case cases[] = {
        {{true}, 1},
        {{false, false, true}, 3},
        {{}, 10},
    };
    for (const Case &c : cases) {
        CMainFrame &frame = NewFrame();
        std::vector<uint32_t> waits;
        frame.m_wait = [&](uint32_t ms) { waits.push_back(ms); };
        m_devices->detectResults = c.results;
        m_calls.clear();
        SerialPortFailureCallback = nullptr;
        // As the serial layer posts it: the command with the port number.
        emit frame.commandPosted(kReinitializeSerialDevicesCommand, 5);
        EXPECT_EQ(Count("DetectSerialDevices"), c.calls);
        std::vector<uint32_t> expectedWaits{250};
        for (size_t i = 1; i < c.calls; ++i)
            expectedWaits.push_back(1000);
        EXPECT_EQ(waits, expectedWaits);
        EXPECT_EQ(SerialPortFailureCallback.load(), &OnSerialPortFailure);
    }
}

} // namespace
} // namespace vantelis::test::mainframe
