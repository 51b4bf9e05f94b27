#include "app/gui/MainFrameCommands.h"

#include "app/AnalysisToolWindows.h"
#include "app/AppCommands.h"
#include "app/BackgroundImages.h"
#include "app/CommandIds.h"
#include "app/DeviceServices.h"
#include "app/ExperimentServices.h"
#include "app/GuiSeam.h"
#include "app/OperatorScreenServices.h"
#include "app/PlexorinApp.h"
#include "app/ScriptServices.h"
#include "app/ToolServices.h"
#include "app/gui/DocumentManager.h"
#include "app/gui/EncryptedProfilesDlg.h"
#include "app/gui/QtAppFramework.h"
#include "app/gui/ToolbarEx.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStatusBar>

#include <unordered_map>

namespace {

CommandUi Enabled(bool enabled, bool checked = false)
{
    CommandUi ui;
    ui.handled = true;
    ui.enabled = enabled;
    ui.checked = checked;
    return ui;
}

} // namespace

// The commands in the order of their menu items; those without an item follow.
const std::vector<CMainFrame::Command> &CMainFrame::CommandTable()
{
    // The enabling rules most commands share.
    const auto always = [](const CMainFrame &) { return Enabled(true); };
    const auto admin = [](const CMainFrame &f) { return Enabled(f.m_app.m_admin_mode); };
    const auto adminOutsideAnalysis = [](const CMainFrame &f) {
        return Enabled(f.m_app.m_admin_mode && !f.m_app.m_analysis_mode);
    };
    const auto outsideAnalysis = [](const CMainFrame &f) { return Enabled(!f.m_app.m_analysis_mode); };
    const auto documentWindowOpen = [](const CMainFrame &f) {
        return Enabled(f.m_mdi->currentSubWindow() != nullptr);
    };
    const auto openRecentFile = [](CMainFrame &f, int id) {
        if (auto *framework = dynamic_cast<QtAppFramework *>(Framework())) {
            const size_t index = static_cast<size_t>(id - cmd::kFileMruFirst);
            if (index < framework->RecentFiles().size())
                DocumentManager::Instance().OpenDocumentFile(framework->RecentFiles()[index], f.m_mdi);
        }
    };
    using enum FrameMenu;

    static const std::vector<Command> table = {
        // ---- File ----
        {.id = cmd::kFileOpen,
         .menu = File,
         .text = "&Open...",
         .shortcut = (Qt::CTRL | Qt::Key_O).toCombined(),
         .state = always,
         .run = [](CMainFrame &f, int) { f.OnFileOpen(); }},
        {.id = cmd::kFileClose,
         .menu = File,
         .text = "&Close",
         .documentOnly = true,
         .state = documentWindowOpen,
         .run =
             [](CMainFrame &f, int) {
                 if (QMdiSubWindow *window = f.m_mdi->currentSubWindow())
                     window->close();
             }},
        {.id = cmd::kFileSaveAs,
         .menu = File,
         .text = "Save &As...",
         .documentOnly = true,
         .viewCommand = true},
        {.id = cmd::kFileMruFirst,
         .menu = File,
         .text = "Recent File",
         .separatorBefore = true,
         .recentFilesPlace = true,
         .state = always,
         .run = openRecentFile},
        {.id = cmd::kAppExit,
         .menu = File,
         .text = "E&xit",
         .separatorBefore = true,
         .state = always,
         .run = [](CMainFrame &f, int) { f.close(); }},

        // ---- Action ----
        {.id = cmd::kEncryptedProfiles,
         .menu = Action,
         .text = "Encrypted Profiles",
         .state = admin,
         .run =
             [](CMainFrame &f, int) {
                 ProfileEncryptionDlg dialog(f.m_app, &f);
                 dialog.exec();
             }},
        {.id = cmd::kExperimentSettings,
         .menu = Action,
         .text = "Experiment Settings",
         .state = always,
         .run = [](CMainFrame &, int) { DeviceSettings().RunExperimentSettingsDialog(); }},
        {.id = cmd::kChannelAndMagnetPositions,
         .menu = Action,
         .text = "Channel and Magnet Positions",
         .viewCommand = true},
        {.id = cmd::kRoiManager,
         .menu = Action,
         .text = "ROI Manager",
         .state = always,
         .run = [](CMainFrame &, int) { Toggle(RoiTools().RoiManager()); }},
        {.id = cmd::kDioConfiguration,
         .menu = Action,
         .text = "D I/O Configuration",
         .state = adminOutsideAnalysis,
         .run = [](CMainFrame &, int) { Toggle(DeviceSettings().DigitalIoConfiguration()); }},
        // Enabled by its rule; there is nothing to run.
        {.id = cmd::kDioReset,
         .menu = Action,
         .text = "D I/O Reset",
         .state = adminOutsideAnalysis,
         .run = [](CMainFrame &, int) {}},
        {.id = cmd::kCameraSettings,
         .menu = Action,
         .text = "Camera Settings",
         .separatorBefore = true,
         .state = outsideAnalysis,
         .run = [](CMainFrame &, int) { DeviceSettings().RunCameraSettingsDialog(); }},
        {.id = cmd::kCaptureActiveImages,
         .menu = Action,
         .text = "Capture Active Image(s) to File",
         .documentText = "Capture New Image",
         .state = outsideAnalysis,
         .run = [](CMainFrame &, int) { CaptureActiveImagesToFile(); }},
        {.id = cmd::kLiveImage,
         .menu = Action,
         .text = "Live Image",
         .documentText = "Capture + Auto Refresh",
         .state = outsideAnalysis,
         .run = [](CMainFrame &f, int) { f.OnLiveImage(); }},
        {.id = cmd::kSaveImageToExperiment,
         .menu = Action,
         .text = "Save Image To Experiment [F1]",
         .documentOnly = true,
         .separatorBefore = true,
         .shortcut = Qt::Key_F1,
         .viewCommand = true},
        {.id = cmd::kSaveReferenceImage,
         .menu = Action,
         .text = "Save Reference Image",
         .documentOnly = true,
         .viewCommand = true},
        {.id = cmd::kProjectionAnalysisParameters,
         .menu = Action,
         .text = "Projection Analysis Parameters",
         .documentOnly = true,
         .separatorBefore = true,
         .state = always,
         .run = [](CMainFrame &, int) { Toggle(ProjectionParams().ParamsDialog()); }},
        {.id = cmd::kCountingAlgorithmParameters,
         .menu = Action,
         .text = "Counting Algorithm Parameters",
         .documentOnly = true,
         .state = always,
         .run = [](CMainFrame &, int) { Show(AnalysisTools().CountingAlgorithm()); }},
        {.id = cmd::kEpiCellCountingAlgoParameters,
         .menu = Action,
         .text = "Epi Cell Counting Algo Parameters",
         .documentOnly = true,
         .state = always,
         .run = [](CMainFrame &, int) { Show(AnalysisTools().EpiCellCountingAlgo()); }},
        {.id = cmd::kImageAnalysisTool,
         .menu = Action,
         .text = "Image Analysis Tool",
         .separatorBefore = true,
         .state = always,
         .run = [](CMainFrame &, int) { Show(AnalysisTools().ImageAnalysisTool()); }},
        {.id = cmd::kFractionationAnalysisTool,
         .menu = Action,
         .text = "Fractionation Analysis Tool",
         .state = always,
         .run = [](CMainFrame &, int) { Toggle(Fractionation().Window()); }},
        {.id = cmd::kProjectionAnalysisTool,
         .menu = Action,
         .text = "Projection Analysis Tool",
         .state = always,
         .run = [](CMainFrame &, int) { Toggle(ProjectionTool().Window()); }},
        {.id = cmd::kStartExperimentWorkflow,
         .menu = Action,
         .text = "Start Experiment Workflow",
         .separatorBefore = true,
         .state =
             [](const CMainFrame &f) {
                 return Enabled(!f.m_app.m_analysis_mode && !f.m_app.m_workflow_running);
             },
         .run = [](CMainFrame &f, int) { f.OnStartExperimentWorkflowCommand(); }},
        {.id = cmd::kStopExperimentWorkflow,
         .menu = Action,
         .text = "Stop Experiment Workflow",
         .state =
             [](const CMainFrame &f) {
                 return Enabled(!f.m_app.m_analysis_mode && f.m_app.m_workflow_running);
             },
         .run = [](CMainFrame &f, int) { f.StopExperimentWorkflow(); }},
        {.id = cmd::kShowFluidicSystemState,
         .menu = Action,
         .text = "Show Fluidic System State",
         .separatorBefore = true,
         .state = adminOutsideAnalysis,
         .run = [](CMainFrame &, int) { Toggle(Scripts().SystemState()); }},
        {.id = cmd::kFluidicSystemScripts,
         .menu = Action,
         .text = "Fluidic System Scripts",
         .state = adminOutsideAnalysis,
         .run = [](CMainFrame &, int) { Toggle(Scripts().ScriptsList()); }},
        {.id = cmd::kWatchScriptVariables,
         .menu = Action,
         .text = "Watch Script Variables",
         .state = adminOutsideAnalysis,
         .run = [](CMainFrame &, int) { Toggle(Scripts().VariableWatch()); }},
        {.id = cmd::kFluidicSystemControlPanel,
         .menu = Action,
         .text = "Fluidic System Control Panel",
         .state = adminOutsideAnalysis,
         .run = [](CMainFrame &, int) { Toggle(FluidicsWindows().ControlPanel()); }},
        {.id = cmd::kPumpInformation,
         .menu = Action,
         .text = "Pump Information Dialog",
         .state =
             [](const CMainFrame &f) { return Enabled(f.m_app.m_admin_mode && f.m_app.m_pump_port != 0); },
         .run = [](CMainFrame &, int) { Toggle(FluidicsWindows().PumpInformation()); }},
        {.id = cmd::kZaberFocus,
         .menu = Action,
         .text = "Zaber (Focus)",
         .separatorBefore = true,
         .state =
             [](const CMainFrame &f) {
                 return Enabled(!f.m_app.m_analysis_mode && f.m_app.m_stage_port != 0 && f.ZaberEnabled());
             },
         .run = [](CMainFrame &, int) { Toggle(StageWindow().ZaberControlPanel()); }},
        {.id = cmd::kFocusTool,
         .menu = Action,
         .text = "Focus Tool",
         .state = adminOutsideAnalysis,
         .run = [](CMainFrame &, int) { Toggle(AnalysisTools().FocusTool()); }},
        {.id = cmd::kAdminMode,
         .menu = Action,
         .text = "Admin Mode",
         .separatorBefore = true,
         .checkable = true,
         .state =
             [](const CMainFrame &f) {
                 const bool on = f.m_app.m_admin_mode;
                 return Enabled(!on && f.AdminModeAllowed(), on);
             },
         .run = [](CMainFrame &f, int) { f.OnAdminMode(); }},
        {.id = cmd::kCustomerUI,
         .menu = Action,
         .text = "Customer UI",
         .separatorBefore = true,
         .state = outsideAnalysis,
         .run = [](CMainFrame &f, int) { f.OnCustomerUI(); }},
        {.id = cmd::kCustomerUIScripts,
         .menu = Action,
         .text = "Customer UI Scripts",
         .state = adminOutsideAnalysis,
         .run = [](CMainFrame &, int) { Toggle(OperatorScreen().ScriptsDialog()); }},
        {.id = cmd::kCreateVideo,
         .menu = Action,
         .text = "Create a Video from Images",
         .documentText = "Create a video from images",
         .separatorBefore = true,
         .state = always,
         .run = [](CMainFrame &, int) { Toggle(Experiment().VideoTool()); }},
        {.id = cmd::kAlgoIterator,
         .menu = Action,
         .text = "Algo Iterator Tool",
         .separatorBefore = true,
         .state = admin,
         .run = [](CMainFrame &, int) { Toggle(AnalysisTools().AlgoIterator()); }},
        {.id = cmd::kFindMeniscus,
         .menu = Action,
         .text = "Find Meniscus",
         .state = always,
         .run = [](CMainFrame &, int) { Toggle(AnalysisTools().FindMeniscus()); }},
        {.id = cmd::kRowFlatField,
         .menu = Action,
         .text = "Row Flat-Field Correction",
         .state = always,
         .run = [](CMainFrame &f, int) { f.OnRowFlatField(); }},
        {.id = cmd::kMontage,
         .menu = Action,
         .text = "Create Montage",
         .state = always,
         .run = [](CMainFrame &f, int) { f.OnMontage(); }},

        // ---- View ----
        {.id = cmd::kViewToolbar,
         .menu = View,
         .text = "&Toolbar",
         .checkable = true,
         .state = [](const CMainFrame &f) { return Enabled(true, f.m_toolbar->isVisible()); },
         .run = [](CMainFrame &f, int) { f.m_toolbar->setVisible(!f.m_toolbar->isVisible()); }},
        {.id = cmd::kViewStatusBar,
         .menu = View,
         .text = "&Status Bar",
         .checkable = true,
         .state = [](const CMainFrame &f) { return Enabled(true, f.statusBar()->isVisible()); },
         .run = [](CMainFrame &f, int) { f.statusBar()->setVisible(!f.statusBar()->isVisible()); }},
        {.id = cmd::kScaleIntensities,
         .menu = View,
         .text = "Scale Intensities",
         .documentOnly = true,
         .separatorBefore = true,
         .viewCommand = true},
        {.id = cmd::kAutoScale,
         .menu = View,
         .text = "Auto Scale Intensities",
         .documentOnly = true,
         .viewCommand = true},
        {.id = cmd::kZoomIn, .menu = View, .text = "Zoom In", .documentOnly = true, .viewCommand = true},
        {.id = cmd::kZoomOut, .menu = View, .text = "Zoom Out", .documentOnly = true, .viewCommand = true},
        {.id = cmd::kFullScale,
         .menu = View,
         .text = "Full Scale",
         .documentOnly = true,
         .viewCommand = true},
        {.id = cmd::kAutoRefresh,
         .menu = View,
         .text = "Auto Refresh",
         .documentOnly = true,
         .separatorBefore = true,
         .checkable = true,
         .viewCommand = true},

        // ---- Window (the open documents' windows follow) ----
        {.id = cmd::kWindowCascade,
         .menu = Window,
         .text = "&Cascade",
         .documentOnly = true,
         .state = documentWindowOpen,
         // The area's own cascade shrinks every window to its size hint, a thumbnail of the image.
         .run = [](CMainFrame &f, int) { CascadeSubWindows(*f.m_mdi); }},
        {.id = cmd::kWindowTile,
         .menu = Window,
         .text = "&Tile",
         .documentOnly = true,
         .state = documentWindowOpen,
         .run = [](CMainFrame &f, int) { f.m_mdi->tileSubWindows(); }},

        // ---- Help ----
        {.id = cmd::kAppAbout,
         .menu = Help,
         .text = "&About Vantelis...",
         .state = always,
         .run = [](CMainFrame &f, int) { f.OnAppAbout(); }},

        // ---- Without a menu item ----
        {.id = cmd::kFileMruFirst + 1, .state = always, .run = openRecentFile},
        {.id = cmd::kFileMruFirst + 2, .state = always, .run = openRecentFile},
        {.id = cmd::kFileMruFirst + 3, .state = always, .run = openRecentFile},
        {.id = cmd::kSingleWorkflowCapture,
         .state = [](const CMainFrame &f) { return Enabled(f.m_app.m_camera != nullptr); },
         .run = [](CMainFrame &, int) { CaptureActiveImagesToFile(); }},
        {.id = cmd::kCaptureBackgroundImages,
         .state =
             [](const CMainFrame &f) {
                 const BackgroundCommandState state = CaptureBackgroundImagesCommandState(f.m_app);
                 return Enabled(state.enabled, state.checked);
             },
         .run = [](CMainFrame &f, int) { CaptureBackgroundImages(f.m_app); }},
        {.id = cmd::kUnloadBackgroundImages,
         .state =
             [](const CMainFrame &f) {
                 const BackgroundCommandState state = UnloadBackgroundImagesCommandState(f.m_app);
                 return Enabled(state.enabled, state.checked);
             },
         .run = [](CMainFrame &f, int) { UnloadBackgroundImages(f.m_app); }},
        {.id = cmd::kRunUserInterface,
         .state =
             [](const CMainFrame &) {
                 ModelessWindow &screen = OperatorScreen().Screen();
                 return Enabled(!screen.HasWindow() || !screen.IsVisible());
             },
         .run = [](CMainFrame &f, int) { f.RunUserInterface(); }},
        {.id = cmd::kManual,
         .state = [](const CMainFrame &f) { return Enabled(!f.ManualPath().empty()); },
         .run = [](CMainFrame &f, int) { f.OnManual(); }},
        {.id = cmd::kCloseLiveImage,
         .state = always,
         .run = [](CMainFrame &f, int) { f.OnCloseLiveImage(); }},
    };
    return table;
}

const CMainFrame::Command *CMainFrame::FindCommand(int id)
{
    static const std::unordered_map<int, const Command *> index = [] {
        std::unordered_map<int, const Command *> byId;
        for (const Command &command : CommandTable())
            byId.emplace(command.id, &command);
        return byId;
    }();
    const auto it = index.find(id);
    return it == index.end() ? nullptr : it->second;
}
