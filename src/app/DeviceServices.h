#pragma once
// What the application shell, the tools and the render thread ask of the instrument-device and
// acquisition code, in small seams by concern (below), and the types they share.
#include "Ostravo/EString.h"
#include "Ostravo/SerialPort.h"
#include "app/ModelessWindow.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace cv {
class Mat;
}
class CPlexorinApp;
class DrawingSurface;
struct Pen;
struct VideoSymbolFrame;

// The abstract camera behind CPlexorinApp::m_camera. No camera object is made in this build, so
// that pointer stays null; the application deletes a camera it is given.
class CameraInterface
{
  public:
    virtual ~CameraInterface() = default;
    // Callers pass true for flag; what it selects is the driver's own affair.
    virtual bool Initialize(EString &error, bool flag) = 0;
    virtual bool GetModelName(EString &model, EString &error) = 0;
    virtual bool GetSerialNumber(EString &serial, EString &error) = 0;
    virtual bool GetTemperature(double &degrees, EString &error) = 0;
    virtual bool SetExposure(float microseconds, EString &error) = 0;
    // One exposure into image (16-bit, one channel). A driver that cannot capture refuses.
    virtual bool CaptureImage(cv::Mat &image, EString &error)
    {
        (void)image;
        error.Assign("CameraInterface::CaptureImage() - this camera cannot capture images.");
        return false;
    }
    // Whether Initialize has succeeded; a camera that says no is treated like no camera.
    virtual bool IsInitialized() { return false; }
    // The settings window's operations. A driver without one refuses with its own text.
    virtual bool GetImageSize(int &width, int &height, EString &error)
    {
        (void)width, (void)height;
        return Unsupported("GetImageSize", error);
    }
    virtual bool SetPixelDepth(int bits, EString &error)
    {
        (void)bits;
        return Unsupported("SetPixelDepth", error);
    }
    virtual bool GetPixelDepth(int &bits, EString &error)
    {
        (void)bits;
        return Unsupported("GetPixelDepth", error);
    }
    virtual bool GetGain(float &gain, EString &error)
    {
        (void)gain;
        return Unsupported("GetGain", error);
    }
    virtual bool SetGain(float gain, EString &error)
    {
        (void)gain;
        return Unsupported("SetGain", error);
    }
    virtual bool GetExposure(float &microseconds, EString &error)
    {
        (void)microseconds;
        return Unsupported("GetExposure", error);
    }
    // output: 1 or 2.
    virtual bool GetDigitalOutput(int output, bool &on, EString &error)
    {
        (void)output, (void)on;
        return Unsupported("GetDigitalOutput", error);
    }
    virtual bool SetDigitalOutput(int output, bool on, EString &error)
    {
        (void)output, (void)on;
        return Unsupported("SetDigitalOutput", error);
    }

  protected:
    static bool Unsupported(const char *operation, EString &error)
    {
        error.Assign("CameraInterface::");
        error.Append(operation);
        error.Append("() - this camera does not support it.");
        return false;
    }
};

// SerialPortFailureCallback, called with the port number when a serial transaction fails, is the
// serial-port layer's (Ostravo/SerialPort.h).

// The running brightness test on the live image. The view copies limits and box into each live
// render job while running is set; the renderer stores the box median in last_out_of_range when it
// lies outside the limits, else in result, and then sets the test's event
// (LiveOverlayServices::SetBrightnessTestEvent).
// The limits and box are atomic because the view reads them on the GUI thread while a script
// thread may be starting the next test.
struct BrightnessAtTargetRequest
{
    std::atomic<int32_t> low_limit{0};
    std::atomic<int32_t> high_limit{0};
    std::atomic<int32_t> center_column{0};
    std::atomic<int32_t> center_row{0};
    std::atomic<int32_t> box_size{0}; // odd
    std::atomic<bool> running{false};
    std::atomic<int32_t> result{0};
    std::atomic<int32_t> last_out_of_range{0};
};

// One symbol drawn over the live view.
struct VideoSymbol
{
    bool visible = false;
    uint8_t red = 0, green = 0, blue = 0;
    int32_t line_width = 1;
    // Shape: a polyline of image points (x, y pairs).
    std::vector<int32_t> points;
    // 0 full cross, 1 small cross, 1000 and above the id of a user-defined symbol type; x and y
    // are the symbol's position in image pixels, serial the running count when it was added.
    int32_t symbol_type = 0;
    int32_t x = 0;
    int32_t y = 0;
    int32_t serial = 0;
};

// The device code is reached through the small seams below, one per concern. Each is served by
// exactly one part of the device code, which installs it once at start-up; until then (the headless
// run, tests of the earlier folders, the end of a run after Install...(nullptr)) a null answer of
// src/app/Placeholders.cpp serves it. Each Install... returns what was installed before, and
// nullptr puts the null answer back.

// The start-up power and camera prompts.
class InstrumentPowerServices
{
  public:
    virtual ~InstrumentPowerServices() = default;
    // False only when the user declines to go on without power. Never called in analysis mode.
    virtual bool CheckInstrumentPower() = 0;
};

// The serial port scan and device set-up.
class SerialDetectionServices
{
  public:
    virtual ~SerialDetectionServices() = default;
    // Outside analysis mode: records the pump and stage ports in app and writes its report into
    // log (the open session log), or into a daily log of its own when log is null.
    virtual bool DetectSerialDevices(CPlexorinApp &app, FILE *log) = 0;
};

// Cartridge types, capture and saving into the current experiment, and the capture workflow's
// checks.
class CaptureServices
{
  public:
    virtual ~CaptureServices() = default;
    // Creates <data folder>/Cartridge when missing and loads every *.ini in it.
    virtual bool LoadCartridgeTypes(EString &error) = 0;
    // Captures every active image type; with images (four slots) it only hands them over,
    // without it saves them as a manual capture.
    virtual bool CaptureSingleImageSet(EString &error, int flag, cv::Mat *images[4]) = 0;
    virtual bool CaptureFirstActiveImageType(cv::Mat &image, int imageTypeIndex, int32_t exposureUs,
                                             const char *imageTypeName, EString &error,
                                             const char *passThrough) = 0;
    // Writes the cartridge type's channel offsets into the settings file.
    virtual bool ImposeCartridgeTypeOffsets(const char *settingsPath, const char *barcode,
                                            EString &error) = 0;
    // Saves an image (16-bit, one channel) into the current experiment with its capture-log line.
    // imageTypeName may be null; imageIndex -1 for an image without an index; prefix (may be null)
    // goes in front of the experiment's image-name prefix.
    virtual bool AddImageToExperiment(const cv::Mat &image, const char *imageTypeName, int imageIndex,
                                      int32_t exposureUs, EString &error, const char *prefix) = 0;
    virtual bool CheckDiskSpaceForWorkflow(EString &message) = 0;
    virtual bool CheckCapturePeriod(EString &message) = 0;
    // Sets the event the capture workflow waits on for one capture.
    virtual void SetImageCaptureEvent() = 0;
};

// The device settings: the digital I/O line mapping with its window, and the camera and
// experiment settings dialogs.
class DeviceSettingsServices
{
  public:
    virtual ~DeviceSettingsServices() = default;
    // Reads and checks the digital I/O line mapping.
    virtual bool LoadDigitalIoMapping(EString &error) = 0;
    virtual ModelessWindow &DigitalIoConfiguration() = 0;
    // Modal dialogs; each returns true when it ended with OK.
    virtual bool RunCameraSettingsDialog() = 0;
    virtual bool RunExperimentSettingsDialog() = 0;
};

// The modal dialogs that name the cartridge in the instrument; each returns true when it ended
// with OK.
class CartridgeDialogServices
{
  public:
    virtual ~CartridgeDialogServices() = default;
    // On OK the new experiment is set up already.
    virtual bool RunPromptForExperimentNameDialog() = 0;
    // Preselects from the first three characters of barcode; on OK partNumber is the chosen type's.
    virtual bool RunSelectCartridgeDialog(const char *barcode, EString &partNumber) = 0;
};

// The fluidic control panel and the pump information window.
class FluidicsWindowServices
{
  public:
    virtual ~FluidicsWindowServices() = default;
    virtual ModelessWindow &ControlPanel() = 0;
    // Reaches the control panel only when its window exists.
    virtual void SetControlPanelAdminMode(bool on) = 0;
    virtual ModelessWindow &PumpInformation() = 0;
};

// The stage control panel.
class StageWindowServices
{
  public:
    virtual ~StageWindowServices() = default;
    virtual ModelessWindow &ZaberControlPanel() = 0;
};

// What the render thread asks about the live view: the running brightness test and the symbols
// drawn over the image.
class LiveOverlayServices
{
  public:
    virtual ~LiveOverlayServices() = default;
    virtual BrightnessAtTargetRequest &BrightnessRequest() = 0;
    // Sets the event a running brightness test waits on for its result. Render thread.
    virtual void SetBrightnessTestEvent() = 0;
    // The visible symbols over the live view, copied under the list's own lock.
    virtual std::vector<VideoSymbol> VisibleVideoSymbols() = 0;
    // Draws one symbol over the live view with pen (the symbol's colour and width), frame telling
    // where the image lies in the window. Render thread.
    virtual void DrawVideoSymbol(const VideoSymbol &symbol, DrawingSurface &surface, const Pen &pen,
                                 const VideoSymbolFrame &frame) = 0;
};

// The installed services of each seam, or its null answer.
InstrumentPowerServices &InstrumentPower();
SerialDetectionServices &SerialDetection();
CaptureServices &Capture();
DeviceSettingsServices &DeviceSettings();
CartridgeDialogServices &CartridgeDialogs();
FluidicsWindowServices &FluidicsWindows();
StageWindowServices &StageWindow();
LiveOverlayServices &LiveOverlay();

std::shared_ptr<InstrumentPowerServices>
InstallInstrumentPowerServices(std::shared_ptr<InstrumentPowerServices> services);
std::shared_ptr<SerialDetectionServices>
InstallSerialDetectionServices(std::shared_ptr<SerialDetectionServices> services);
std::shared_ptr<CaptureServices> InstallCaptureServices(std::shared_ptr<CaptureServices> services);
std::shared_ptr<DeviceSettingsServices>
InstallDeviceSettingsServices(std::shared_ptr<DeviceSettingsServices> services);
std::shared_ptr<CartridgeDialogServices>
InstallCartridgeDialogServices(std::shared_ptr<CartridgeDialogServices> services);
std::shared_ptr<FluidicsWindowServices>
InstallFluidicsWindowServices(std::shared_ptr<FluidicsWindowServices> services);
std::shared_ptr<StageWindowServices>
InstallStageWindowServices(std::shared_ptr<StageWindowServices> services);
std::shared_ptr<LiveOverlayServices>
InstallLiveOverlayServices(std::shared_ptr<LiveOverlayServices> services);

// Puts the null answer of every device seam back (the end of a run, a test's tear-down).
void UninstallDeviceServices();
