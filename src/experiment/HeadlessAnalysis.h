#pragma once
// The analysis of one recorded experiment without any window: a sample-flow video (type 0), a
// montage (type 1) or a montage and the cell fractionation report (type 2), written into the
// experiment folder's Video, Montage or Fractionation sub-folder under the output name.
#include <string>

enum HeadlessAnalysisType
{
    kAnalysisVideo = 0,
    kAnalysisMontage = 1,
    kAnalysisFractionation = 2,
};

// True when the analysis ran and wrote its files; false with error set otherwise. Any other type
// does nothing and succeeds. A folder that does not exist is refused before anything is created.
bool RunHeadlessExperimentAnalysis(int type, const std::string &experiment_folder, bool include_fluorescence1,
                                   bool include_fluorescence2, const std::string &output_name,
                                   std::string &error);
