#include "analysis/AnalysisRenderLink.h"

#include "analysis/IntensityProfile.h"
#include "analysis/ProjectionAnalysis.h"
#include "app/AppRenderLink.h"
#include "app/PlexorinApp.h"
#include "app/ToolServices.h"

#include "Ostravo/EString.h"
#include "Ostravo/Profile.h"
#include "Ostravo/ProfileValues.h"

#include <cstdio>

namespace {

// The name of a parameter set that stands for the main settings file itself.
constexpr const char *kExperimentSettingsName = "__ExperimentSettings__";

std::string ReadText(const char *section, const char *key, const char *file)
{
    return Ostravo::ReadProfileString(section, key, "", 1024, file);
}

double ReadDouble(const char *section, const char *key, const char *file)
{
    double value = 0.0;
    return std::sscanf(ReadText(section, key, file).c_str(), "%lf", &value) == 1 ? value : 0.0;
}

bool Shown(ModelessWindow &window)
{
    return window.HasWindow() && window.IsVisible();
}

} // namespace

bool AnalysisRenderLink::ComputeHorizontalProjection(const cv::Mat &image, const ImageRect &roi,
                                                     const cv::Mat *background, std::vector<int32_t> &values)
{
    values.clear();
    return ::ComputeHorizontalProjection(image, roi.left, roi.top, roi.right, roi.bottom, values, background);
}

void AnalysisRenderLink::DrawProjectionRightOfRoi(RenderJob &job, const ImageRect &roi)
{
    const std::string mainSettings = theApp.m_ini_path;
    const char *main = mainSettings.c_str();

    // The named parameter set, or the main settings file itself.
    ProjectionAnalysisParams params;
    const std::string name = ReadText("ProjectionAnalysisTool", "ProjectionAnalysisParams", main);
    if (CompareText(name.c_str(), kExperimentSettingsName, 0, 0)) {
        LoadProjectionParams(params, main);
    } else {
        EString lib, file;
        lib.JoinPath(theApp.m_data_directory.c_str(), "LIB");
        file.JoinPath(lib.c_str(), (name + ".pa_params").c_str());
        LoadProjectionParams(params, file.c_str());
    }
    params.PixelsPerMM = ReadDouble("CalibrationSettings", "image_pixels_per_mm", main);
    const int32_t upperChannel = Ostravo::ReadProfileInt("Cartridge", "CartridgeUpperChannel", 0, main, 1024);
    const int32_t lowerChannel = Ostravo::ReadProfileInt("Cartridge", "CartridgeLowerChannel", 0, main, 1024);

    // A visible tool's parameters take the place of the set.
    EString ignored;
    ProjectionParamsWindow &paramsWindow = ProjectionParams();
    FractionationWindow &fractionation = Fractionation();
    const bool fromDialog = Shown(paramsWindow.ParamsDialog()) && paramsWindow.GetParamsFromControls(params);
    if (!fromDialog && !(Shown(fractionation.Window()) && fractionation.LoadRunParams(params, ignored)))
        LoadProjectionParams(params, main);

    params.UpperChannel = upperChannel;
    params.LowerChannel = lowerChannel;
    params.left = roi.left;
    params.top = roi.top;
    params.right = roi.right;
    params.bottom = roi.bottom;

    // The peaks and the analysis' own messages are of no use to a frame.
    std::vector<ProjectionPeak> peaks;
    int64_t elapsedMs = 0;
    EString error;
    AnalyzeProjection(job.image, params, peaks, elapsedMs, error, &job);
}

RenderLinks ProgramRenderLinks()
{
    RenderLinks links;
    links.app = std::make_shared<AppRenderLink>();
    links.analysis = std::make_shared<AnalysisRenderLink>();
    // tools, operatorScreen and devices: the renderer's own, which forward to the service slots.
    return links;
}
