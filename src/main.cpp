// Process entry. The headless command line (five arguments) runs before any QApplication exists
// and needs no display; every other start runs the GUI.
#include "analysis/AnalysisRenderLink.h"
#include "analysis/ImageAnalysisJob.h"
#include "app/GuiSeam.h"
#include "app/PlexorinApp.h"
#include "app/gui/AppMainWindow.h"
#include "app/gui/IdleDriver.h"
#include "app/gui/QtAppFramework.h"
#include "devices/BrightnessAtTarget.h"
#include "devices/CaptureDeviceServices.h"
#include "devices/ControlPanelServices.h"
#include "devices/ImageCapture.h"
#include "devices/SerialDeviceDetection.h"
#include "devices/gui/CartridgeDialogs.h"
#include "devices/gui/ControlPanelDlgWindows.h"
#include "devices/gui/DeviceSettingsDialogs.h"
#include "devices/gui/StageDeviceWindows.h"
#include "experiment/ExperimentAnalysisServices.h"
#include "experiment/gui/MontageDlg.h"
#include "operator/CustomerUIServices.h"
#include "operator/ProgramScriptCommands.h"
#include "operator/gui/CUIScriptsDlg.h"
#include "operator/gui/CustomerUIWnd.h"
#include "platform/gui/QtUserInterface.h"
#include "script/gui/PromptDialogs.h"
#include "script/gui/ScriptWindows.h"
#include "tools/RoiListLookup.h"
#include "tools/gui/CalibrationDialogsOwner.h"
#include "tools/gui/CountingToolWindows.h"
#include "tools/gui/FractionationToolWindows.h"
#include "tools/gui/RoiToolWindows.h"
#include "tools/projection/gui/ProjectionBatchWindowOwner.h"
#include "tools/projection/gui/ProjectionParamsDialogOwner.h"

#include <QApplication>

#include <clocale>
#include <string>
#include <vector>

namespace {

// The end of every run: analysis runs stop (they write result files and logs) before start-up's
// worker threads stop and the cached logs are written, and all of it before globals go.
void EndRun()
{
    ImageAnalysisJobTable::RemoveAll();
    // The capture workflow thread saves into the capture logs that the exit writes.
    StopImageCaptureWorkflowThread();
    theApp.ExitInstance();
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv, argv + argc);
    theApp.m_install_crash_dump_handler = true;

    // The headless run never makes a QApplication, so the C library keeps its "C" locale.
    if (CPlexorinApp::IsHeadlessCommandLine(args)) {
        // The named ROI list serves the headless run too; it has no windows.
        InstallRoiLookup(std::make_shared<RoiListLookup>());
        InstallExperimentServices(std::make_shared<ExperimentAnalysisServices>());
        bool ok = theApp.InitInstance(args);
        EndRun();
        return ok ? 0 : 1;
    }

    QApplication application(argc, argv);
    // QApplication sets the C library's locale from the environment; settings and parameter files
    // are read with "%lf" and must see a decimal point whatever the user's language.
    std::setlocale(LC_NUMERIC, "C");
    std::shared_ptr<platform::gui::QtUserInterface> ui = platform::gui::QtUserInterface::Install();
    SetFramework(std::make_shared<QtAppFramework>());
    // Start-up starts the render thread and the exit stops it. The tools, operator screen and
    // devices are reached through their service slots, placeholders until they are installed.
    InstallRenderThread(ProgramRenderLinks());
    // Each tool installs its own seams: the ROI lookup and windows, the fractionation tool, the
    // projection parameters and calibration dialogs, the projection tool.
    InstallRoiToolWindows();
    InstallFractionationToolWindow();
    InstallCalibrationDialogsOwner();
    InstallProjectionParamsDialogOwner();
    InstallProjectionBatchWindowOwner();
    InstallCountingToolWindows();
    // The script runtime with its windows; its threads are stopped and joined at the exit.
    std::shared_ptr<ScriptWindows> scriptWindows = InstallScriptWindows();
    RegisterProgramScriptCommands();
    SetScriptPromptHost(std::make_shared<QtScriptPromptHost>());
    // Each part of the device code installs its own device seams, each seam once, so the order of
    // these lines does not decide who answers: the power check and the live-view overlay, the
    // fluidics windows (and the live preview), the serial detection, the stage window; further
    // down the capture services, the cartridge dialogs and the device settings.
    InstallControlPanelServices();
    InstallControlPanelWindows();
    InstallSerialDeviceServices();
    InstallStageDeviceWindows();
    InstallExperimentWindows();
    // Cartridges, experiments and capture; the capture workflow thread starts here with the other
    // workers of start-up, so that captures find their semaphore.
    InstallCaptureDeviceServices();
    InstallCartridgeDialogs();
    // The operator screen's model: its state, reload and flow split.
    InstallCustomerUIServices();
    InstallCustomerUIWindow();
    InstallCUIScriptsWindow();
    InstallDeviceSettingsDialogs();

    int status = 1;
    if (theApp.InitInstance(args)) {
        IdleDriver idle(theApp);
        status = AppMainWindow::RunEventLoop();
    }
    // The event loop has ended: a worker that still reports something while it stops (a failing
    // analysis run) must not wait for the GUI thread, which waits for it. From here on messages go
    // to standard error (and, as always, to the error log). Script threads go first: each is
    // released from its wait, prompt or failure box and joined.
    scriptWindows->Uninstall();
    UninstallCustomerUIWindow();
    UninstallCUIScriptsWindow();
    SetScriptPromptHost(nullptr);
    platform::ui::SetUi(nullptr);
    EndRun();
    // Windows go with the framework and the tool services while the application object still exists.
    SetFramework(nullptr);
    RemoveToolServices();
    InstallAnalysisToolWindows(nullptr);
    SetLivePreview(nullptr);
    UninstallDeviceServices();
    InstallExperimentServices(nullptr);
    InstallOperatorScreenServices(nullptr);
    return status;
}
