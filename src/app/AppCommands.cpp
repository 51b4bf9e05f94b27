#include "app/AppCommands.h"

#include "app/BackgroundImages.h"
#include "app/DeviceServices.h"
#include "app/PlexorinApp.h"
#include "app/ToolServices.h"
#include "app/ViewGlobals.h"

#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "Ostravo/ProfileValues.h"
#include "platform/Ui.h"

#include <cstdio>
#include <opencv2/core.hpp>
#include <string>

namespace {

constexpr const char *kPrefix = "capture_single_active_image () : ";

void PutPrefixInFront(EString &error)
{
    EString text(kPrefix);
    text.Append(error.c_str());
    error = text;
}

} // namespace

bool capture_single_active_image(cv::Mat &image, const EString &passThrough, EString &error,
                                 CPlexorinApp &app)
{
    if (app.m_camera == nullptr) {
        error.Assign("capture_single_active_image () : Camera not initialized.");
        return false;
    }
    if (!app.m_camera->Initialize(error, true)) {
        PutPrefixInFront(error);
        return false;
    }

    char names[4][1024];
    int32_t exposures[4];
    for (int i = 0; i < 4; ++i) {
        char key[32];
        std::snprintf(key, sizeof key, "ImageTypeName%d", i + 1);
        Ostravo::E_GetPrivateProfileString("ExperimentSettings", key, "", names[i], sizeof names[i],
                                           app.m_ini_path.c_str());
        std::snprintf(key, sizeof key, "ImageTypeExposure%d", i + 1);
        exposures[i] = Ostravo::ReadProfileInt("ExperimentSettings", key, -1, app.m_ini_path.c_str(), 32);
    }

    // The first image type is the one this capture takes.
    const int index = 0;
    app.m_active_image_type_index = index;
    if (!Capture().CaptureFirstActiveImageType(image, index, exposures[index], names[index], error,
                                               passThrough.c_str())) {
        PutPrefixInFront(error);
        return false;
    }
    return true;
}

void CaptureActiveImagesToFile()
{
    EString error;
    if (!Capture().CaptureSingleImageSet(error, 0, nullptr)) {
        LogError(__FILE_NAME__, __LINE__, error.c_str());
        platform::ui::MessageBox(error.c_str(), "Vantelis", platform::ui::MbOk | platform::ui::MbIconError);
    }
}

bool SelectDisplayRoiByName(const char *name)
{
    int32_t rect[4] = {0, 0, 0, 0};
    EString error;
    if (!Rois().FindRoiByName(name, rect, error))
        return false;
    const ImageRect found{rect[0], rect[1], rect[2], rect[3]};
    if (!(_active_roi.Get() == found)) {
        _active_roi.Set(found);
        if (RoiTools().RoiManager().HasWindow())
            RoiTools().ShowCurrentRoi();
    }
    InvalidateAllViews();
    return true;
}
