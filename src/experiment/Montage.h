#pragma once
// The sample-flow montage of a recorded experiment: one wide colour image of the whole sample slug
// as it passed the camera (the lead meniscus frame, then the strip of columns the sample moved into
// from each following frame, cross-faded, then the trail meniscus part), with the split line drawn
// across it; written as <name>.png and a quarter-size <name>.small.png.
#include "experiment/ColorFrameContrast.h"
#include "experiment/ExperimentData.h"

#include <opencv2/core.hpp>

#include <string>
#include <utility>

// The whole pipeline on the experiment folder: reads it, finds the menisci, the split line and the
// displacement, composes and writes the montage. The sample-flow results are reset afterwards.
// Waits for ExclusiveAnalysisMutex().
bool CreateMontageImage(const std::string &folder, bool include_fluorescence1, bool include_fluorescence2,
                        const std::string &output_name, std::string &error);
// The same for the user-interface thread: when another analysis holds the lock, busy is set and
// nothing is done.
bool TryCreateMontageImage(const std::string &folder, bool include_fluorescence1, bool include_fluorescence2,
                           const std::string &output_name, std::string &error, bool &busy);

// The montage's two files for output_name under folder: the full image, then the small one.
std::pair<std::string, std::string> MontageFilePaths(const std::string &folder,
                                                     const std::string &output_name);

// Builds and writes the montage from the meniscus, split-line and displacement results.
bool ComposeMontage(std::string folder, ExperimentData experiment, ColorFrameContrast contrast,
                    std::string output_name, std::string &error);

// A strip assembled into an image allocated once at its final width: each piece's first overlap
// columns are cross-faded with the strip's last overlap columns, its other columns appended.
class MontageStrip
{
  public:
    MontageStrip(int rows, int columns, int overlap);
    // The first piece, copied as it is. False when it is not 8-bit three-channel of the strip's
    // rows, or wider than the strip.
    bool Start(const cv::Mat &piece);
    // False, and the strip unchanged, for a piece of other rows or type, narrower than the
    // overlap, one that would overrun the strip, or before Start.
    bool Append(const cv::Mat &piece);
    // The columns filled so far.
    cv::Mat Image() const { return m_image.colRange(0, m_used); }
    int Used() const { return m_used; }

  private:
    cv::Mat m_image;
    int m_overlap;
    int m_used = 0;
    bool m_started = false;
};
