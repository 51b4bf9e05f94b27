#pragma once
// Image operations shared by the experiment analyses: rotation about a point with a vertical
// shift, loading an experiment image rotated, cropped and intensity-scaled, column profiles and
// their flattening, cross-fade joining of colour strips, template matching in the left third of an
// image, and the detection of the cartridge channel's split line from the split-line templates.
#include <opencv2/core.hpp>

#include <cstdint>
#include <string>
#include <vector>

// How a split-line detection ended.
enum class SplitLineOutcome
{
    Located,    // both stages matched: offset, rotation and centre are set
    NoMatch,    // templates of the cartridge id were matched, but not above 0.8: outputs 0
    NoTemplate, // no template list, or no template row of the cartridge id
    Failed,     // a malformed list, an unreadable template, a window outside the image
};

class ImageUtilities
{
  public:
    // Replaces image by its rotation by angle (radians, counter-clockwise in image coordinates)
    // about (x, y), shifted down by shift rows; edge pixels are repeated.
    void RotateImageAboutPoint(cv::Mat &image, double angle, double x, double y, int shift) const;
    // Reads an image file (16-bit stays 16-bit), undoes the rotation about (x, y) with the vertical
    // offset, keeps columns [first_col, end_col) and rows [first_row, end_row) and scales the
    // intensities. Empty for an unreadable file or limits outside the image (error says which).
    cv::Mat LoadRotateCropScaleImage(const std::string &path, int first_col, int end_col, int first_row,
                                     int end_row, int offset, double rotation, int x, int y, double factor,
                                     std::string *error = nullptr) const;
    // Multiplies every sample of an 8- or 16-bit image by factor, truncated and clamped. False, and
    // the image unchanged, for a factor that is not above 0 or not finite, or another depth.
    bool ScaleImageIntensities(cv::Mat &image, double factor) const;
    // The mean of every column of a 16-bit one-channel image.
    std::vector<double> ComputeColumnProfile(cv::Mat image) const;
    // Least-squares parabola through (x, y); the fitted values, also kept in m_profileFit.
    std::vector<double> FitQuadraticProfile(const std::vector<double> &y, const std::vector<double> &x);
    // a[i] + b[i] + c.
    std::vector<double> EvaluateQuadratic(const std::vector<double> &a, const std::vector<double> &b,
                                          double c) const;
    // A copy of the 16-bit image (one or three channels) with every column divided by
    // profile[column] / m_scale.
    cv::Mat NormalizeColumnsByProfile(const std::vector<double> &profile, cv::Mat image) const;
    // Appends next to strip with a cross-fade of m_overlap columns. Both 8-bit three-channel with
    // the same rows, each at least m_overlap columns wide; otherwise false and strip unchanged.
    bool BuildImageStrip(cv::Mat next, cv::Mat &strip);
    // Best normalised-correlation match of templ within the columns [0, columns / 3 + 1) of image.
    // False (score 0, location 0) when the template is empty or larger than that region.
    bool MatchTemplateInWindow(cv::Mat image, cv::Mat templ, double &score, cv::Point &location,
                               std::string *error = nullptr) const;
    // Finds the split line of the cartridge channel in an 8-bit grey image by the split-line
    // templates of the cartridge id: the channel's vertical offset from the channel centre row, its
    // tilt in radians and the point about which to undo it. True when at least one template row of
    // the id was matched, whatever its score (outputs 0 unless both stages scored above 0.8).
    // The caller's pixels stay untouched.
    bool FindSplitLineByTemplate(cv::Mat image, double pixels_per_mm, double upper_channel,
                                 double lower_channel_end, const std::string &cartridge_id, int &offset,
                                 double &rotation, double &center_x, double &center_y,
                                 std::string *error = nullptr, SplitLineOutcome *outcome = nullptr) const;

    double m_scale = 0.0;
    int32_t m_overlap = 0;
    cv::Mat m_leftEdge;
    cv::Mat m_rightEdge;
    std::vector<double> m_profileFit;
};

// The instance through which the channel detection finds the split line.
extern ImageUtilities theImageUtilities;

// The split-line template folder of the data folder, ending with '/'.
std::string SplitLineTemplateFolder();
