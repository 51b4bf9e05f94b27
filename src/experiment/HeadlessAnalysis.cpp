#include "experiment/HeadlessAnalysis.h"

#include "Ostravo/EString.h"
#include "experiment/CellFractionation.h"
#include "experiment/ExperimentData.h"
#include "experiment/Montage.h"
#include "experiment/SampleFlowVideo.h"
#include "platform/Files.h"

#include <opencv2/core.hpp>

namespace {

const char *SubFolderName(int type)
{
    switch (type) {
    case kAnalysisVideo:
        return "Video";
    case kAnalysisMontage:
        return "Montage";
    case kAnalysisFractionation:
        return "Fractionation";
    default:
        return "";
    }
}

// folder + separator + name; the folder alone names nothing when it is empty.
std::string JoinPath(const std::string &folder, const std::string &name)
{
    EString path;
    path.JoinPath(folder.c_str(), name.c_str());
    return path.c_str() != nullptr ? path.c_str() : "";
}

bool Run(int type, const std::string &folder, bool fl1, bool fl2, const std::string &output_name,
         std::string &error)
{
    EString trimmed(folder.c_str());
    trimmed.Trim();
    const std::string base = trimmed.c_str();
    if (base.empty() || !platform::FolderExists(base)) {
        error = "Experiment folder not found: " + folder;
        return false;
    }

    // The output name is a file name: one that reaches out of the analysis folder is refused
    // before anything is made.
    if (output_name.find_first_of("/\\") != std::string::npos ||
        output_name.find("..") != std::string::npos) {
        error = "RunExperimentAnalysis() - the output name \"" + output_name +
                "\" must be a file name without a folder ('/', '\\' and \"..\" are not allowed).";
        return false;
    }

    ExperimentData experiment;
    std::string reason;
    if (!experiment.Open(folder, &reason)) {
        error = "RunExperimentAnalysis() - " + reason;
        return false;
    }
    // Every analysis reads the capture log first; without one nothing is made.
    if (!experiment.ReadCaptureLog(experiment.m_log_path, &reason)) {
        error =
            "RunExperimentAnalysis() - " +
            (reason.empty() ? "the capture log " + experiment.m_log_path + " could not be read." : reason);
        return false;
    }
    EString brightfield, fluorescence1, fluorescence2;
    experiment.GetContrastReferenceImages(brightfield, fluorescence1, fluorescence2);
    const bool include1 = fl1 && fluorescence1.IsNonEmpty();
    const bool include2 = fl2 && fluorescence2.IsNonEmpty();

    const std::string sub = SubFolderName(type);
    const std::string analysisFolder = JoinPath(base, sub);
    if (!CreateDirectoryPath(analysisFolder.c_str()) || !platform::FolderExists(analysisFolder)) {
        error = "Unable to create analysis directory: " + analysisFolder;
        return false;
    }
    const std::string relative = sub.empty() ? output_name : JoinPath(sub, output_name);

    switch (type) {
    case kAnalysisVideo:
        return CreateSampleFlowVideo(folder, include1, include2, relative, error);
    case kAnalysisMontage:
        return CreateMontageImage(folder, include1, include2, relative, error);
    case kAnalysisFractionation: {
        double top = 0.0, bottom = 0.0;
        return CreateMontageAndFractionationReport(folder, include1, include2, relative, top, bottom, error);
    }
    default:
        return true;
    }
}

} // namespace

bool RunHeadlessExperimentAnalysis(int type, const std::string &experiment_folder, bool include_fluorescence1,
                                   bool include_fluorescence2, const std::string &output_name,
                                   std::string &error)
{
    bool ok = false;
    try {
        ok = Run(type, experiment_folder, include_fluorescence1, include_fluorescence2, output_name, error);
    } catch (const cv::Exception &e) {
        error = std::string("RunExperimentAnalysis() - ") + e.what();
        ok = false;
    } catch (const std::exception &e) {
        error = std::string("RunExperimentAnalysis() - ") + e.what();
        ok = false;
    }
    if (!ok && error.empty())
        error = "RunExperimentAnalysis() - the analysis of " + experiment_folder + " failed.";
    return ok;
}
