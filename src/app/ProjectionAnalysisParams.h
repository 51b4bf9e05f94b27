#pragma once
// The parameters of a projection analysis (analysis/ProjectionAnalysis.h reads, checks and uses
// them). They live here because the tool services pass them between the tool windows and their
// callers, and a seam's types must be visible to every folder that calls it.
#include "Ostravo/EString.h"

#include <cstdint>
#include <vector>

struct ProjectionAnalysisParams
{
    double PixelsPerMM = 0.0; // set by the calibration read
    double SmoothingWindowMicrons = 0.0;
    int32_t NumPeaksToFind = 0; // peaks, or valleys with FindValleys
    bool FindValleys = false;
    double StdevIntegrationArea = 0.0; // half-width of the fit window in standard deviations
    int32_t IntegrationSamples = 0;    // points at which a fit is compared
    int32_t left = 0;                  // the region, inclusive pixel bounds
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t UpperChannel = 0; // image rows of the channel walls
    int32_t LowerChannel = 0;
    std::vector<int32_t> baseline; // one value per region row; empty: no baseline
    EString ROI_name;              // a region of the ROI list, or empty
};
