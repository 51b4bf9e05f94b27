#pragma once
// What the image-analysis tool window does around a batch run: it checks the user's choices and
// fills the run record, and the run's worker later asks it for the parameter header of the run
// folder. Both work on the texts the window held when Run was pressed, never on live controls.
#include "analysis/ImageAnalysisRun.h"

#include <string>
#include <vector>

// The window's fields when Run was pressed.
struct ImageAnalysisToolChoice
{
    std::vector<std::string> files; // selected names, in list order
    std::string circular_set;       // set names in <data>/LIB, each may be empty
    std::string epi_set;
    std::string lp_curve_set;
    std::string gd_conc;      // text of the Gd concentration field
    std::string image_folder; // text of the folder field
    std::string magnet_file;  // settings file that holds [CalibrationSettings] of the magnets
};

// How Run refuses: the message, and whether it also goes to the error log.
struct ImageAnalysisToolRefusal
{
    std::string message;
    bool logged = true;
};

// Checks choice in the order Run refuses (no file; a bad, missing or unloadable circular set; the
// same for the epi set; no set at all; then the magnet and LP messages, which add up) and fills
// run: files, set paths, magnets, loaded options, epi parameters, LP curve and folder. run's owner
// is left alone. False with the refusal when the run must not start.
bool PrepareImageAnalysisToolRun(const ImageAnalysisToolChoice &choice, const std::string &libFolder,
                                 const std::string &mainSettingsPath, ImageAnalysisRunParams &run,
                                 ImageAnalysisToolRefusal &refusal);

// Copies the chosen set files from libFolder into runFolder (an existing copy is replaced, a
// failed copy ignored) and appends the six header lines of the run: the three set names, the two
// sets this window has no field for (empty), and the Gd concentration text.
void WriteAnalysisParamsHeader(const ImageAnalysisToolChoice &choice, const std::string &libFolder,
                               std::vector<std::string> &header, const std::string &runFolder);

// The sets in libFolder matching pattern ("*.counting_params" ...), each named by its file name cut
// at the first '.', sorted as the window's list sorts.
std::vector<std::string> ListParamSetNamesToFirstDot(const std::string &libFolder,
                                                     const std::string &pattern);
