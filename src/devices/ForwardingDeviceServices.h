#pragma once
// Device services are built in layers: each part of the device code (stage, capture and
// cartridges, control panel and checks) derives from this class, overrides what it serves and
// installs itself over the services installed before it, to which every other call goes.
#include "app/DeviceServices.h"
#include "app/Placeholders.h"

#include <memory>
#include <utility>

class ForwardingDeviceServices : public DeviceServices
{
  public:
    // next: the services installed before this layer (the placeholder when null).
    explicit ForwardingDeviceServices(std::shared_ptr<DeviceServices> next) : m_next(std::move(next)) {}

    bool CheckInstrumentPower() override { return Next().CheckInstrumentPower(); }
    bool LoadDigitalIoMapping(EString &error) override { return Next().LoadDigitalIoMapping(error); }
    bool DetectSerialDevices(CPlexorinApp &app, FILE *log) override
    {
        return Next().DetectSerialDevices(app, log);
    }
    bool LoadCartridgeTypes(EString &error) override { return Next().LoadCartridgeTypes(error); }
    bool CaptureSingleImageSet(EString &error, int flag, cv::Mat *images[4]) override
    {
        return Next().CaptureSingleImageSet(error, flag, images);
    }
    bool CaptureFirstActiveImageType(cv::Mat &image, int imageTypeIndex, int32_t exposureUs,
                                     const char *imageTypeName, EString &error,
                                     const char *passThrough) override
    {
        return Next().CaptureFirstActiveImageType(image, imageTypeIndex, exposureUs, imageTypeName, error,
                                                  passThrough);
    }
    bool ImposeCartridgeTypeOffsets(const char *settingsPath, const char *barcode, EString &error) override
    {
        return Next().ImposeCartridgeTypeOffsets(settingsPath, barcode, error);
    }
    bool AddImageToExperiment(const cv::Mat &image, const char *imageTypeName, int imageIndex, int32_t exposureUs,
                              EString &error, const char *prefix) override
    {
        return Next().AddImageToExperiment(image, imageTypeName, imageIndex, exposureUs, error, prefix);
    }
    bool CheckDiskSpaceForWorkflow(EString &message) override
    {
        return Next().CheckDiskSpaceForWorkflow(message);
    }
    bool CheckCapturePeriod(EString &message) override { return Next().CheckCapturePeriod(message); }
    void SetImageCaptureEvent() override { Next().SetImageCaptureEvent(); }
    bool RunCameraSettingsDialog() override { return Next().RunCameraSettingsDialog(); }
    bool RunExperimentSettingsDialog() override { return Next().RunExperimentSettingsDialog(); }
    bool RunPromptForExperimentNameDialog() override { return Next().RunPromptForExperimentNameDialog(); }
    bool RunSelectCartridgeDialog(const char *barcode, EString &partNumber) override
    {
        return Next().RunSelectCartridgeDialog(barcode, partNumber);
    }
    ModelessWindow &ControlPanel() override { return Next().ControlPanel(); }
    void SetControlPanelAdminMode(bool on) override { Next().SetControlPanelAdminMode(on); }
    ModelessWindow &DigitalIoConfiguration() override { return Next().DigitalIoConfiguration(); }
    ModelessWindow &PumpInformation() override { return Next().PumpInformation(); }
    ModelessWindow &ZaberControlPanel() override { return Next().ZaberControlPanel(); }
    BrightnessAtTargetRequest &BrightnessRequest() override { return Next().BrightnessRequest(); }
    void SetBrightnessTestEvent() override { Next().SetBrightnessTestEvent(); }
    std::vector<VideoSymbol> VisibleVideoSymbols() override { return Next().VisibleVideoSymbols(); }
    void DrawVideoSymbol(const VideoSymbol &symbol, DrawingSurface &surface, const Pen &pen,
                         const VideoSymbolFrame &frame) override
    {
        Next().DrawVideoSymbol(symbol, surface, pen, frame);
    }

  protected:
    DeviceServices &Next() { return m_next ? *m_next : DeviceServicesPlaceholder(); }

  private:
    std::shared_ptr<DeviceServices> m_next;
};
