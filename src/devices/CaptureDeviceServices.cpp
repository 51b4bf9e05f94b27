#include "devices/CaptureDeviceServices.h"

#include "Ostravo/LogError.h"
#include "devices/CaptureChecks.h"
#include "devices/CartridgeTypes.h"
#include "devices/ImageCapture.h"
#include "devices/XmpMetadata.h"

bool CaptureDeviceServices::LoadCartridgeTypes(EString &error)
{
    return ::LoadCartridgeTypes(error);
}

bool CaptureDeviceServices::CaptureSingleImageSet(EString &error, int, cv::Mat *images[4])
{
    return ::CaptureSingleImageSet(error, nullptr, images);
}

bool CaptureDeviceServices::CaptureFirstActiveImageType(cv::Mat &image, int imageTypeIndex,
                                                        int32_t exposureUs, const char *imageTypeName,
                                                        EString &error, const char *)
{
    return ::CaptureFirstActiveImageType(image, imageTypeIndex, exposureUs, imageTypeName, error, nullptr);
}

bool CaptureDeviceServices::ImposeCartridgeTypeOffsets(const char *settingsPath, const char *barcode,
                                                       EString &error)
{
    return ::ImposeCartridgeTypeOffsets(settingsPath, barcode, error);
}

bool CaptureDeviceServices::AddImageToExperiment(const cv::Mat &image, const char *imageTypeName,
                                                 int imageIndex, int32_t exposureUs, EString &error,
                                                 const char *prefix)
{
    return ::AddImageToExperiment(image, imageTypeName, imageIndex, exposureUs, error, prefix);
}

bool CaptureDeviceServices::CheckDiskSpaceForWorkflow(EString &message)
{
    return ::CheckDiskSpaceForWorkflow(message);
}

bool CaptureDeviceServices::CheckCapturePeriod(EString &message)
{
    return ::CheckCapturePeriod(-1, message);
}

void CaptureDeviceServices::SetImageCaptureEvent()
{
    ::SetImageCaptureEvent();
}

void InstallCaptureDeviceServices()
{
    InitializeXmpMetadata();
    InstallCaptureServices(std::make_shared<CaptureDeviceServices>());
    EString error;
    if (!CreateImageCaptureWorkflowThread(error))
        LogError(__FILE_NAME__, __LINE__, error.c_str());
}
