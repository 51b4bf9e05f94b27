#pragma once
// The device-services layer of cartridges, experiments and image capture: cartridge types, the
// capture layers, saving into the current experiment and the capture-workflow checks. Everything
// else goes to the services installed before it.
#include "devices/ForwardingDeviceServices.h"

#include <memory>

class CaptureDeviceServices : public ForwardingDeviceServices
{
  public:
    using ForwardingDeviceServices::ForwardingDeviceServices;

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

// Installs the layer over the installed device services and starts the capture workflow thread;
// the thread is stopped by StopImageCaptureWorkflowThread (ImageCapture.h).
void InstallCaptureDeviceServices();
