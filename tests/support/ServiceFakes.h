#pragma once
// Stand-ins for the subsystem interfaces the application calls. The Stub* classes answer every call
// as a subsystem with nothing to do would, so that each test's fake overrides only the calls it
// watches; RecordingWindow logs what is done to a tool window. Also the readers of what a test
// leaves behind: the messages shown and the error log.
#include "app/DeviceServices.h"
#include "app/ExperimentServices.h"
#include "app/OperatorScreenServices.h"
#include "app/ScriptServices.h"
#include "app/ToolServices.h"
#include "app/ViewGlobals.h"

#include "support/FakeUi.h"
#include "support/TempDir.h"

#include "platform/Files.h"

#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace vantelis::test {

// Calls are appended to one log, so that tests can check their order.
using CallLog = std::vector<std::string>;

// A tool window that is never made.
class NoWindow : public ModelessWindow
{
  public:
    bool HasWindow() const override { return exists; }
    bool Create(bool) override { return false; }
    bool IsVisible() const override { return false; }
    void Show(bool) override {}
    bool exists = false;
};

// A tool window that records what is done to it. With noteVisibility, a creation records whether
// the window was made visible ("Name.Create(visible)"), else just "Name.Create".
class RecordingWindow : public ModelessWindow
{
  public:
    RecordingWindow(std::string name, CallLog &log, bool noteVisibility = false)
        : m_name(std::move(name)), m_log(log), m_noteVisibility(noteVisibility)
    {
    }
    bool HasWindow() const override { return m_exists; }
    bool Create(bool visible) override
    {
        if (m_noteVisibility)
            m_log.push_back(m_name + (visible ? ".Create(visible)" : ".Create(hidden)"));
        else
            m_log.push_back(m_name + ".Create");
        m_exists = true;
        m_visible = visible;
        return true;
    }
    bool IsVisible() const override { return m_visible; }
    void Show(bool show) override
    {
        m_log.push_back(m_name + (show ? ".Show" : ".Hide"));
        m_visible = show;
    }
    bool m_exists = false;
    bool m_visible = false;

  private:
    std::string m_name;
    CallLog &m_log;
    bool m_noteVisibility;
};

// Device stubs, one per device seam: devices present and set up, but nothing captured and no
// dialog confirmed. A test fake of several seams derives from their stubs and installs itself in
// each of them.
class StubInstrumentPower : public InstrumentPowerServices
{
  public:
    bool CheckInstrumentPower() override { return true; }
};

class StubSerialDetection : public SerialDetectionServices
{
  public:
    bool DetectSerialDevices(CPlexorinApp &, FILE *) override { return true; }
};

class StubCapture : public CaptureServices
{
  public:
    bool LoadCartridgeTypes(EString &) override { return true; }
    bool CaptureSingleImageSet(EString &, int, cv::Mat **) override { return false; }
    bool CaptureFirstActiveImageType(cv::Mat &, int, int32_t, const char *, EString &, const char *) override
    {
        return false;
    }
    bool ImposeCartridgeTypeOffsets(const char *, const char *, EString &) override { return false; }
    bool AddImageToExperiment(const cv::Mat &, const char *, int, int32_t, EString &, const char *) override
    {
        return false;
    }
    bool CheckDiskSpaceForWorkflow(EString &) override { return true; }
    bool CheckCapturePeriod(EString &) override { return true; }
    void SetImageCaptureEvent() override {}
};

class StubDeviceSettings : public DeviceSettingsServices
{
  public:
    bool LoadDigitalIoMapping(EString &) override { return true; }
    ModelessWindow &DigitalIoConfiguration() override { return window; }
    bool RunCameraSettingsDialog() override { return false; }
    bool RunExperimentSettingsDialog() override { return false; }

    NoWindow window;
};

class StubCartridgeDialogs : public CartridgeDialogServices
{
  public:
    bool RunPromptForExperimentNameDialog() override { return false; }
    bool RunSelectCartridgeDialog(const char *, EString &) override { return false; }
};

class StubFluidicsWindows : public FluidicsWindowServices
{
  public:
    ModelessWindow &ControlPanel() override { return window; }
    void SetControlPanelAdminMode(bool) override {}
    ModelessWindow &PumpInformation() override { return window; }

    NoWindow window;
};

class StubStageWindow : public StageWindowServices
{
  public:
    ModelessWindow &ZaberControlPanel() override { return window; }

    NoWindow window;
};

class StubLiveOverlay : public LiveOverlayServices
{
  public:
    BrightnessAtTargetRequest &BrightnessRequest() override { return brightness; }
    void SetBrightnessTestEvent() override {}
    std::vector<VideoSymbol> VisibleVideoSymbols() override { return {}; }
    void DrawVideoSymbol(const VideoSymbol &, DrawingSurface &, const Pen &,
                         const VideoSymbolFrame &) override
    {
    }

    BrightnessAtTargetRequest brightness;
};

// Every device seam at once, for a fake that watches calls of several.
class StubAllDevices : public StubInstrumentPower,
                       public StubSerialDetection,
                       public StubCapture,
                       public StubDeviceSettings,
                       public StubCartridgeDialogs,
                       public StubFluidicsWindows,
                       public StubStageWindow,
                       public StubLiveOverlay
{
};

// Installs fake in each device seam whose interface it implements; returns nothing, since a test
// puts the null answers back with UninstallDeviceServices().
template <class Fake> void InstallDeviceFakes(const std::shared_ptr<Fake> &fake)
{
    if constexpr (std::is_base_of_v<InstrumentPowerServices, Fake>)
        InstallInstrumentPowerServices(fake);
    if constexpr (std::is_base_of_v<SerialDetectionServices, Fake>)
        InstallSerialDetectionServices(fake);
    if constexpr (std::is_base_of_v<CaptureServices, Fake>)
        InstallCaptureServices(fake);
    if constexpr (std::is_base_of_v<DeviceSettingsServices, Fake>)
        InstallDeviceSettingsServices(fake);
    if constexpr (std::is_base_of_v<CartridgeDialogServices, Fake>)
        InstallCartridgeDialogServices(fake);
    if constexpr (std::is_base_of_v<FluidicsWindowServices, Fake>)
        InstallFluidicsWindowServices(fake);
    if constexpr (std::is_base_of_v<StageWindowServices, Fake>)
        InstallStageWindowServices(fake);
    if constexpr (std::is_base_of_v<LiveOverlayServices, Fake>)
        InstallLiveOverlayServices(fake);
}

// The scripts in `instances`, and the capture-log header lines in `headerLines` until taken.
class StubScripts : public ScriptServices
{
  public:
    ModelessWindow &WaitWithTimer() override { return window; }
    ModelessWindow &InformOperator() override { return window; }
    ModelessWindow &ScriptsList() override { return window; }
    ModelessWindow &SystemState() override { return window; }
    ModelessWindow &VariableWatch() override { return window; }
    void UpdateScriptsListButtons() override {}
    std::vector<ScriptInstanceInfo> ScriptInstances() override { return instances; }
    bool IsScriptRunning(uint32_t handle, std::string &path) override
    {
        for (const ScriptInstanceInfo &instance : instances)
            if (instance.handle == handle) {
                if (!instance.path.empty())
                    path = instance.path;
                return instance.running;
            }
        return false;
    }
    size_t TakeCaptureLogHeaderLines(std::vector<EString> &lines) override
    {
        for (const std::string &line : headerLines)
            lines.emplace_back(line.c_str());
        const size_t count = headerLines.size();
        headerLines.clear();
        return count;
    }
    // Records the start; fails with runError when that is set.
    bool RunScript(uint32_t handle, const std::string &path, EString &error) override
    {
        started.emplace_back(handle, path);
        if (runError.empty())
            return true;
        error = runError.c_str();
        return false;
    }
    void StopScript(uint32_t handle) override { stopped.push_back(handle); }

    NoWindow window;
    std::vector<ScriptInstanceInfo> instances;
    std::vector<std::string> headerLines;
    std::string runError;
    std::vector<std::pair<uint32_t, std::string>> started;
    std::vector<uint32_t> stopped;
};

// An operator screen that reloads any script and shows nothing live.
class StubOperatorScreen : public OperatorScreenServices
{
  public:
    ModelessWindow &Screen() override { return window; }
    ModelessWindow &ScriptsDialog() override { return window; }
    int32_t State() override { return 0; }
    void LiveImageArea(int32_t *, double *) override {}
    IntensityControl *CheckedIntensityControl() override { return nullptr; }
    void UpdateFlowSplitText(bool) override {}
    std::shared_ptr<RenderTarget> LiveImageTarget() override { return nullptr; }
    bool FeedHistogram(const uint16_t *, size_t, uint16_t &, uint16_t &, std::string &) override
    {
        return false;
    }
    bool Reload(const char *, std::string &) override { return true; }

    NoWindow window;
};

// An experiment side where every analysis, montage and image list fails.
class StubExperiment : public ExperimentServices
{
  public:
    bool RunExperimentAnalysis(int, const char *, bool, bool, const char *, EString &) override
    {
        return false;
    }
    ModelessWindow &VideoTool() override { return window; }
    ModelessWindow &ContrastTool() override { return window; }
    bool RunMontageDialog(std::string &, std::string &) override { return false; }
    bool CreateMontageImage(int &, const char *, bool, bool, const char *, EString &) override
    {
        return false;
    }
    bool FillImageList(const char *, const char *, std::vector<std::string> &) override { return false; }

    NoWindow window;
};

// The ROIs in `rois` by name; no ROI list file.
class StubRoiLookup : public RoiLookup
{
  public:
    bool LoadRoiList(const char *, std::vector<ROIObject> &list) override
    {
        list.clear();
        return false;
    }
    bool FindRoiByName(const char *name, int32_t rect[4], EString &error) override
    {
        auto found = rois.find(name);
        if (found == rois.end()) {
            error.Assign("There is not ROI with name: ");
            error.Append(name);
            return false;
        }
        rect[0] = found->second.left;
        rect[1] = found->second.top;
        rect[2] = found->second.right;
        rect[3] = found->second.bottom;
        return true;
    }

    std::map<std::string, ImageRect> rois;
};

// No ROI manager window; no ROI chosen.
class StubRoiWindows : public RoiWindows
{
  public:
    ModelessWindow &RoiManager() override { return window; }
    bool ShowCurrentRoi() override { return true; }
    bool RunChooseRoiDialog() override { return false; }

    NoWindow window;
};

class StubCalibrationWindows : public CalibrationWindows
{
  public:
    void RunComputePixelsPerMmDialog(double) override {}
    ModelessWindow &AdjustBoundaries() override { return window; }
    void InitAdjustBoundaries(CImageView *) override {}

    NoWindow window;
};

class StubProjectionParamsWindow : public ProjectionParamsWindow
{
  public:
    ModelessWindow &ParamsDialog() override { return window; }
    bool GetParamsFromControls(ProjectionAnalysisParams &) override { return false; }

    NoWindow window;
};

// A calibrated tool with no window, no calibration lines and no line taken.
template <class Tool> class StubCalibratedTool : public Tool
{
  public:
    ModelessWindow &Window() override { return window; }
    void GetCalibrationLines(int32_t lines[4]) override
    {
        for (int i = 0; i < 4; ++i)
            lines[i] = -1;
    }
    bool SaveCalibrationLine(const char *, int32_t) override { return false; }

    NoWindow window;
};

class StubFractionationWindow : public StubCalibratedTool<FractionationWindow>
{
  public:
    bool LoadRunParams(ProjectionAnalysisParams &, EString &) override { return false; }
};

using StubProjectionToolWindow = StubCalibratedTool<ProjectionToolWindow>;

// Installs fake in each tool seam whose interface it implements, and the calibrated tools it holds
// as members (the fractionation and projection tools share function names, so one object cannot
// be both); each member is kept alive by fake. The null answers come back with RemoveToolServices().
template <class Fake>
void InstallToolFakes(const std::shared_ptr<Fake> &fake, FractionationWindow *fractionation = nullptr,
                      ProjectionToolWindow *projectionTool = nullptr)
{
    if constexpr (std::is_base_of_v<RoiLookup, Fake>)
        InstallRoiLookup(fake);
    if constexpr (std::is_base_of_v<RoiWindows, Fake>)
        InstallRoiWindows(fake);
    if constexpr (std::is_base_of_v<CalibrationWindows, Fake>)
        InstallCalibrationWindows(fake);
    if constexpr (std::is_base_of_v<ProjectionParamsWindow, Fake>)
        InstallProjectionParamsWindow(fake);
    if (fractionation)
        InstallFractionationWindow(std::shared_ptr<FractionationWindow>(fake, fractionation));
    if (projectionTool)
        InstallProjectionToolWindow(std::shared_ptr<ProjectionToolWindow>(fake, projectionTool));
}

// The texts of the messages shown so far.
inline std::vector<std::string> MessageTexts(const FakeUi &ui)
{
    std::vector<std::string> texts;
    for (const FakeUi::Message &message : ui.Messages())
        texts.push_back(message.text);
    return texts;
}

// The error logs in the LOG folder of a data folder; empty when none was written.
inline std::string ErrorLogText(const std::string &dataFolder)
{
    std::string text;
    for (const platform::DirEntry &entry : platform::ListFolder(dataFolder + "/LOG", "Err_*.log"))
        text += ReadFileBytes(dataFolder + "/LOG/" + entry.name);
    return text;
}

} // namespace vantelis::test
