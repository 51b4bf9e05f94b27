#pragma once
// The capture services of cartridges, experiments and image capture: cartridge types, the capture
// layers, saving into the current experiment and the capture-workflow checks.
#include "app/DeviceServices.h"

#include <memory>

class CaptureDeviceServices : public CaptureServices
{
  public:
    bool LoadCartridgeTypes(EString &error) override;
    bool CaptureSingleImageSet(EString &error, int flag, cv::Mat *images[4]) override;
    bool CaptureFirstActiveImageType(cv::Mat &image, int imageTypeIndex, int32_t exposureUs,
                                     const char *imageTypeName, EString &error,
                                     const char *passThrough) override;
    bool ImposeCartridgeTypeOffsets(const char *settingsPath, const char *barcode, EString &error) override;
    bool AddImageToExperiment(const cv::Mat &image, const char *imageTypeName, int imageIndex,
                              int32_t exposureUs, EString &error, const char *prefix) override;
    bool CheckDiskSpaceForWorkflow(EString &message) override;
    bool CheckCapturePeriod(EString &message) override;
    void SetImageCaptureEvent() override;
};

// Installs the capture services and starts the capture workflow thread;
// the thread is stopped by StopImageCaptureWorkflowThread (ImageCapture.h).
void InstallCaptureDeviceServices();
