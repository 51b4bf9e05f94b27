#pragma once
// What the application shell and the tools ask of the experiment post-analysis and video code.
// Until that code is installed, a placeholder answers every call with "not available".
#include "Ostravo/EString.h"
#include "app/ModelessWindow.h"

#include <memory>
#include <string>
#include <vector>

// The headless analyses of one experiment folder.
enum ExperimentAnalysisType
{
    AnalysisVideo = 0,
    AnalysisMontage = 1,
    AnalysisMontageThenFractionation = 2,
};

class ExperimentServices
{
  public:
    virtual ~ExperimentServices() = default;

    // The headless analysis of one experiment folder; the two switches are passed on unchanged.
    virtual bool RunExperimentAnalysis(int type, const char *experimentFolder, bool switchA, bool switchB,
                                       const char *outputName, EString &error) = 0;

    virtual ModelessWindow &VideoTool() = 0;
    virtual ModelessWindow &ContrastTool() = 0;

    // The modal montage dialog; on OK the montage name and the experiment folder.
    virtual bool RunMontageDialog(std::string &montageName, std::string &experimentFolder) = 0;
    // Builds the sample-flow montage as montageName + ".png" (and ".small.png").
    virtual bool CreateMontageImage(int &resultCode, const char *experimentFolder, bool switchA, bool switchB,
                                    const char *montageName, EString &error) = 0;
    // ContrastDlg::FillImageList: the names of the files (no folders) that folder joined with
    // filter finds; false when it finds nothing.
    virtual bool FillImageList(const char *folder, const char *filter, std::vector<std::string> &names) = 0;
};

// The installed experiment code, or its placeholder.
ExperimentServices &Experiment();
// Installs services (nullptr puts the placeholder back); returns the previous installed one.
std::shared_ptr<ExperimentServices> InstallExperimentServices(std::shared_ptr<ExperimentServices> services);
