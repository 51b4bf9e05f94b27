// The null answers of the application's seams: what a call gets while no implementation is
// installed. The program needs them in two cases only: the headless run installs just the ROI
// lookup and the experiment analysis, so every window call falls back to these; and at the exit
// Install...(nullptr) puts them back while workers may still call in. Windows, lists and
// parameters are simply absent; the calls whose subsystem a run can lack (experiment analysis,
// device actions, scripts, the operator screen) answer "not available" through the caller's error
// text, or once per run in the error log where a call has no error text.
#include "app/Placeholders.h"

#include "app/AnalysisToolWindows.h"
#include "app/DeviceServices.h"
#include "app/ExperimentServices.h"
#include "app/OperatorScreenServices.h"
#include "app/RenderList.h"
#include "app/ScriptServices.h"
#include "app/ToolServices.h"

#include "Ostravo/LogError.h"

#include <mutex>
#include <set>
#include <string>

namespace {

std::string NotAvailableText(const char *function, const char *what)
{
    return std::string(function) + "() - " + what + " not available in this build.";
}

// Fills error when the caller passed one; otherwise writes the text to the error log, once per
// run, so that a call made many times does not flood the log.
void ReportNotAvailable(const char *function, const char *what, EString *error)
{
    std::string text = NotAvailableText(function, what);
    if (error) {
        error->Assign(text.c_str());
        return;
    }
    static std::mutex mutex;
    static std::set<std::string> reported;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!reported.insert(text).second)
            return;
    }
    LogError(__FILE_NAME__, __LINE__, text.c_str(), nullptr);
}

// A tool window whose subsystem is missing: it never gets a window.
class PlaceholderWindow : public ModelessWindow
{
  public:
    PlaceholderWindow(const char *className, const char *what)
        : m_create(std::string(className) + "::Create"), m_show(std::string(className) + "::ShowWindow"),
          m_what(what)
    {
    }
    bool HasWindow() const override { return false; }
    bool Create(bool) override
    {
        ReportNotAvailable(m_create.c_str(), m_what, nullptr);
        return false;
    }
    bool IsVisible() const override { return false; }
    void Show(bool) override { ReportNotAvailable(m_show.c_str(), m_what, nullptr); }

  private:
    std::string m_create;
    std::string m_show;
    const char *m_what;
};

// A window that the installed services do not have here: it never comes to exist.
class AbsentWindow : public ModelessWindow
{
  public:
    bool HasWindow() const override { return false; }
    bool Create(bool) override { return false; }
    bool IsVisible() const override { return false; }
    void Show(bool) override {}
};

// ---- Analysis tool windows ----
// Headless and at the exit: no counting, epi editor, image-analysis, sweep, meniscus or focus
// window, and no analysis running.
class NoAnalysisToolWindows : public AnalysisToolWindows
{
  public:
    ModelessWindow &CountingAlgorithm() override { return m_counting; }
    ModelessWindow &EpiCellCountingAlgo() override { return m_epi; }
    ModelessWindow &ImageAnalysisTool() override { return m_imageAnalysis; }
    ModelessWindow &AlgoIterator() override { return m_iterator; }
    ModelessWindow &FindMeniscus() override { return m_meniscus; }
    ModelessWindow &FocusTool() override { return m_focus; }
    bool ImageAnalysisRunning() override { return false; }
    // No dialog window exists whose edits could show the lines or the ROI.
    void ShowMagnetLine(bool) override {}
    void ShowActiveRoi(const ImageRect &) override {}

  private:
    AbsentWindow m_counting;
    AbsentWindow m_epi;
    AbsentWindow m_imageAnalysis;
    AbsentWindow m_iterator;
    AbsentWindow m_meniscus;
    AbsentWindow m_focus;
};

// ---- ROI, calibration, fractionation and projection tools ----
// Headless (where only the ROI lookup is installed) and at the exit: no ROI list, the tool windows
// are absent, no tool has calibration lines or parameters, and nothing is called missing.
class PlaceholderRoiLookup : public RoiLookup
{
  public:
    bool LoadRoiList(const char *, std::vector<ROIObject> &) override { return false; }
    bool FindRoiByName(const char *, int32_t *, EString &) override { return false; }
};

class PlaceholderRoiWindows : public RoiWindows
{
  public:
    ModelessWindow &RoiManager() override { return m_manager; }
    bool ShowCurrentRoi() override { return false; }
    bool RunChooseRoiDialog() override { return false; }

  private:
    AbsentWindow m_manager;
};

class PlaceholderCalibrationWindows : public CalibrationWindows
{
  public:
    void RunComputePixelsPerMmDialog(double) override {}
    ModelessWindow &AdjustBoundaries() override { return m_boundaries; }
    void InitAdjustBoundaries(CImageView *) override {}

  private:
    AbsentWindow m_boundaries;
};

class PlaceholderProjectionParamsWindow : public ProjectionParamsWindow
{
  public:
    ModelessWindow &ParamsDialog() override { return m_dialog; }
    bool GetParamsFromControls(ProjectionAnalysisParams &) override { return false; }

  private:
    AbsentWindow m_dialog;
};

// A calibrated tool without a window: no lines (-1) and no line taken.
template <class Tool> class PlaceholderCalibratedTool : public Tool
{
  public:
    ModelessWindow &Window() override { return m_window; }
    void GetCalibrationLines(int32_t lines[4]) override
    {
        for (int i = 0; i < 4; ++i)
            lines[i] = -1;
    }
    bool SaveCalibrationLine(const char *, int32_t) override { return false; }

  private:
    AbsentWindow m_window;
};

class PlaceholderFractionationWindow : public PlaceholderCalibratedTool<FractionationWindow>
{
  public:
    bool LoadRunParams(ProjectionAnalysisParams &, EString &) override { return false; }
};

using PlaceholderProjectionToolWindow = PlaceholderCalibratedTool<ProjectionToolWindow>;

// ---- Experiment post-analysis and video ----
// The headless experiment analysis answers its windows (video, contrast, montage dialog) with
// these; at the exit every call gets here: no dialog, no montage, no list and no window, and an
// experiment analysis is "not available".
class PlaceholderExperimentServices : public ExperimentServices
{
  public:
    bool RunExperimentAnalysis(int, const char *, bool, bool, const char *, EString &error) override
    {
        ReportNotAvailable("RunExperimentAnalysis", kWhat, &error);
        return false;
    }
    ModelessWindow &VideoTool() override { return m_video; }
    ModelessWindow &ContrastTool() override { return m_contrast; }
    bool RunMontageDialog(std::string &, std::string &) override { return false; }
    bool CreateMontageImage(int &resultCode, const char *, bool, bool, const char *, EString &) override
    {
        resultCode = 0;
        return false;
    }
    bool FillImageList(const char *, const char *, std::vector<std::string> &names) override
    {
        names.clear();
        return false;
    }

  private:
    static constexpr const char *kWhat = "experiment analysis and video are";
    // The video and contrast tools are built and installed with the experiment windows.
    AbsentWindow m_video;
    AbsentWindow m_contrast;
};

// ---- Instrument devices and acquisition (placeholder) ----
// One object answers every device seam that has nothing installed: the headless run installs none,
// and at the end of a run workers may still call in after the seams are uninstalled.
class PlaceholderDeviceServices : public InstrumentPowerServices,
                                  public SerialDetectionServices,
                                  public CaptureServices,
                                  public DeviceSettingsServices,
                                  public CartridgeDialogServices,
                                  public FluidicsWindowServices,
                                  public StageWindowServices,
                                  public LiveOverlayServices
{
  public:
    // The power check is built and installed by the program; without it start-up goes on.
    bool CheckInstrumentPower() override { return true; }
    bool LoadDigitalIoMapping(EString &error) override
    {
        ReportNotAvailable("LoadDigitalIoMapping", kWhat, &error);
        return false;
    }
    // The detection is built and installed by the program; without it no device is found.
    bool DetectSerialDevices(CPlexorinApp &, FILE *) override { return false; }
    bool LoadCartridgeTypes(EString &error) override
    {
        ReportNotAvailable("LoadCartridgeTypes", kWhat, &error);
        return false;
    }
    bool CaptureSingleImageSet(EString &error, int, cv::Mat **) override
    {
        ReportNotAvailable("CaptureSingleImageSet", kWhat, &error);
        return false;
    }
    bool CaptureFirstActiveImageType(cv::Mat &, int, int32_t, const char *, EString &error,
                                     const char *) override
    {
        ReportNotAvailable("CaptureFirstActiveImageType", kWhat, &error);
        return false;
    }
    bool ImposeCartridgeTypeOffsets(const char *, const char *, EString &error) override
    {
        ReportNotAvailable("ImposeCartridgeTypeOffsets", kWhat, &error);
        return false;
    }
    bool AddImageToExperiment(const cv::Mat &, const char *, int, int32_t, EString &error,
                              const char *) override
    {
        ReportNotAvailable("AddImageToExperiment", kWhat, &error);
        return false;
    }
    bool CheckDiskSpaceForWorkflow(EString &message) override
    {
        ReportNotAvailable("CheckDiskSpaceForWorkflow", kWhat, &message);
        return false;
    }
    bool CheckCapturePeriod(EString &message) override
    {
        ReportNotAvailable("CheckCapturePeriod", kWhat, &message);
        return false;
    }
    // Nothing waits on the capture event without the capture code.
    void SetImageCaptureEvent() override {}
    // The settings dialogs are built and installed by the program.
    bool RunCameraSettingsDialog() override { return false; }
    bool RunExperimentSettingsDialog() override { return false; }
    bool RunPromptForExperimentNameDialog() override
    {
        ReportNotAvailable("PromptForExperimentNameDlg::DoModal", kWhat, nullptr);
        return false;
    }
    bool RunSelectCartridgeDialog(const char *, EString &) override
    {
        ReportNotAvailable("CSelectCartridgeDlg::DoModal", kWhat, nullptr);
        return false;
    }
    ModelessWindow &ControlPanel() override { return m_controlPanel; }
    void SetControlPanelAdminMode(bool) override {}
    ModelessWindow &DigitalIoConfiguration() override { return m_digitalIo; }
    ModelessWindow &PumpInformation() override { return m_pumpInformation; }
    ModelessWindow &ZaberControlPanel() override { return m_zaber; }
    BrightnessAtTargetRequest &BrightnessRequest() override { return m_brightness; }
    // Nothing waits on the brightness test without the device code.
    void SetBrightnessTestEvent() override {}
    std::vector<VideoSymbol> VisibleVideoSymbols() override { return {}; }
    void DrawVideoSymbol(const VideoSymbol &, DrawingSurface &, const Pen &,
                         const VideoSymbolFrame &) override
    {
    }

  private:
    static constexpr const char *kWhat = "the instrument device code is";
    AbsentWindow m_controlPanel;
    AbsentWindow m_digitalIo;
    AbsentWindow m_pumpInformation;
    // The stage control panel is built and installed by the program.
    AbsentWindow m_zaber;
    BrightnessAtTargetRequest m_brightness;
};

// ---- Script engine ----
// Headless and at the exit: no script window and no instance; running or stopping a script is
// "not available". The runtime answers a window it has not been given with these as well.
class PlaceholderScriptServices : public ScriptServices
{
  public:
    ModelessWindow &WaitWithTimer() override { return m_absent; }
    ModelessWindow &InformOperator() override { return m_absent; }
    ModelessWindow &ScriptsList() override { return m_absent; }
    ModelessWindow &SystemState() override { return m_absent; }
    ModelessWindow &VariableWatch() override { return m_absent; }
    void UpdateScriptsListButtons() override {}
    std::vector<ScriptInstanceInfo> ScriptInstances() override { return {}; }
    bool IsScriptRunning(uint32_t, std::string &) override { return false; }
    size_t TakeCaptureLogHeaderLines(std::vector<EString> &) override { return 0; }
    bool RunScript(uint32_t, const std::string &, EString &error) override
    {
        ReportNotAvailable("Script::RunScript", kWhat, &error);
        return false;
    }
    void StopScript(uint32_t) override { ReportNotAvailable("Script::StopScript", kWhat, nullptr); }

  private:
    static constexpr const char *kWhat = "the script engine is";
    AbsentWindow m_absent;
};

// ---- Guided operator screen ----
// Headless and at the exit: no screen (making it is "not available"), no live image, no histogram
// and no reload.
class PlaceholderOperatorScreenServices : public OperatorScreenServices
{
  public:
    ModelessWindow &Screen() override { return m_screen; }
    ModelessWindow &ScriptsDialog() override { return m_scriptsDialog; }
    int32_t State() override { return 0; }
    void LiveImageArea(int32_t rect[4], double zoom[4]) override
    {
        for (int i = 0; i < 4; ++i)
            rect[i] = 0;
        zoom[0] = 0.0;
        zoom[1] = 1.0;
        zoom[2] = 0.0;
        zoom[3] = 1.0;
    }
    IntensityControl *CheckedIntensityControl() override { return nullptr; }
    void UpdateFlowSplitText(bool) override {}
    std::shared_ptr<RenderTarget> LiveImageTarget() override { return nullptr; }
    bool FeedHistogram(const uint16_t *, size_t, uint16_t &, uint16_t &, std::string &error) override
    {
        error = NotAvailableText("CustomerUI::FeedHistogram", kWhat);
        return false;
    }
    bool Reload(const char *, std::string &error) override
    {
        error = NotAvailableText("CustomerUI::Reload", kWhat);
        return false;
    }

  private:
    static constexpr const char *kWhat = "the operator screen is";
    PlaceholderWindow m_screen{"CustomerUI", kWhat};
    // The scripts dialog is built; without the screen's services it never gets a window.
    AbsentWindow m_scriptsDialog;
};

// The one object of each placeholder class, shared by the slots it answers (every device seam has
// the same one). Never destroyed: worker threads may still ask while the program ends.
template <class Placeholder> Placeholder &PlaceholderInstance()
{
    static Placeholder *placeholder = new Placeholder;
    return *placeholder;
}

// One slot per seam: the installed implementation, else its null answer.
template <class Services, class Placeholder> class ServiceSlot
{
  public:
    Services &Get()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_installed ? *m_installed : PlaceholderInstance<Placeholder>();
    }
    std::shared_ptr<Services> Install(std::shared_ptr<Services> services)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::shared_ptr<Services> previous = std::move(m_installed);
        m_installed = std::move(services);
        return previous;
    }

  private:
    std::mutex m_mutex;
    std::shared_ptr<Services> m_installed;
};

// The slot of one seam.
template <class Services, class Placeholder> ServiceSlot<Services, Placeholder> &Slot()
{
    static ServiceSlot<Services, Placeholder> slot;
    return slot;
}

} // namespace

// Each seam's accessor and installer.
#define VANTELIS_SERVICE_SLOT(Services, Placeholder, Accessor, Installer)                                    \
    Services &Accessor()                                                                                     \
    {                                                                                                        \
        return Slot<Services, Placeholder>().Get();                                                          \
    }                                                                                                        \
    std::shared_ptr<Services> Installer(std::shared_ptr<Services> services)                                  \
    {                                                                                                        \
        return Slot<Services, Placeholder>().Install(std::move(services));                                   \
    }

VANTELIS_SERVICE_SLOT(AnalysisToolWindows, NoAnalysisToolWindows, AnalysisTools, InstallAnalysisToolWindows)

VANTELIS_SERVICE_SLOT(RoiLookup, PlaceholderRoiLookup, Rois, InstallRoiLookup)
VANTELIS_SERVICE_SLOT(RoiWindows, PlaceholderRoiWindows, RoiTools, InstallRoiWindows)
VANTELIS_SERVICE_SLOT(CalibrationWindows, PlaceholderCalibrationWindows, Calibration,
                      InstallCalibrationWindows)
VANTELIS_SERVICE_SLOT(ProjectionParamsWindow, PlaceholderProjectionParamsWindow, ProjectionParams,
                      InstallProjectionParamsWindow)
VANTELIS_SERVICE_SLOT(FractionationWindow, PlaceholderFractionationWindow, Fractionation,
                      InstallFractionationWindow)
VANTELIS_SERVICE_SLOT(ProjectionToolWindow, PlaceholderProjectionToolWindow, ProjectionTool,
                      InstallProjectionToolWindow)

void RemoveToolServices()
{
    InstallRoiLookup(nullptr);
    InstallRoiWindows(nullptr);
    InstallCalibrationWindows(nullptr);
    InstallProjectionParamsWindow(nullptr);
    InstallFractionationWindow(nullptr);
    InstallProjectionToolWindow(nullptr);
}

VANTELIS_SERVICE_SLOT(ExperimentServices, PlaceholderExperimentServices, Experiment,
                      InstallExperimentServices)

// Every device seam falls back to the one device placeholder.
VANTELIS_SERVICE_SLOT(InstrumentPowerServices, PlaceholderDeviceServices, InstrumentPower,
                      InstallInstrumentPowerServices)
VANTELIS_SERVICE_SLOT(SerialDetectionServices, PlaceholderDeviceServices, SerialDetection,
                      InstallSerialDetectionServices)
VANTELIS_SERVICE_SLOT(CaptureServices, PlaceholderDeviceServices, Capture, InstallCaptureServices)
VANTELIS_SERVICE_SLOT(DeviceSettingsServices, PlaceholderDeviceServices, DeviceSettings,
                      InstallDeviceSettingsServices)
VANTELIS_SERVICE_SLOT(CartridgeDialogServices, PlaceholderDeviceServices, CartridgeDialogs,
                      InstallCartridgeDialogServices)
VANTELIS_SERVICE_SLOT(FluidicsWindowServices, PlaceholderDeviceServices, FluidicsWindows,
                      InstallFluidicsWindowServices)
VANTELIS_SERVICE_SLOT(StageWindowServices, PlaceholderDeviceServices, StageWindow, InstallStageWindowServices)
VANTELIS_SERVICE_SLOT(LiveOverlayServices, PlaceholderDeviceServices, LiveOverlay, InstallLiveOverlayServices)

void UninstallDeviceServices()
{
    InstallInstrumentPowerServices(nullptr);
    InstallSerialDetectionServices(nullptr);
    InstallCaptureServices(nullptr);
    InstallDeviceSettingsServices(nullptr);
    InstallCartridgeDialogServices(nullptr);
    InstallFluidicsWindowServices(nullptr);
    InstallStageWindowServices(nullptr);
    InstallLiveOverlayServices(nullptr);
}

VANTELIS_SERVICE_SLOT(ScriptServices, PlaceholderScriptServices, Scripts, InstallScriptServices)
VANTELIS_SERVICE_SLOT(OperatorScreenServices, PlaceholderOperatorScreenServices, OperatorScreen,
                      InstallOperatorScreenServices)

#undef VANTELIS_SERVICE_SLOT

ExperimentServices &ExperimentServicesPlaceholder()
{
    return PlaceholderInstance<PlaceholderExperimentServices>();
}
ScriptServices &ScriptServicesPlaceholder()
{
    return PlaceholderInstance<PlaceholderScriptServices>();
}

bool OperatorScreenServices::SetFlowSplit(int32_t)
{
    ReportNotAvailable("CustomerUI::SetFlowSplit", "the operator screen is", nullptr);
    return false;
}

void OperatorScreenServices::SetLiveImageStopTime(const platform::LocalTime &)
{
    ReportNotAvailable("CustomerUI::SetLiveImageStopTime", "the operator screen is", nullptr);
}
