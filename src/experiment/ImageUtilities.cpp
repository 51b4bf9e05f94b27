#include "experiment/ImageUtilities.h"

#include "Ostravo/EString.h"
#include "Ostravo/LogError.h"
#include "app/PlexorinApp.h"
#include "experiment/ExperimentData.h"
#include "platform/ErrorText.h"
#include "platform/Files.h"
#include "platform/ImageFile.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cerrno>
#include <cmath>
#include <cstdlib>

ImageUtilities theImageUtilities;

namespace {

using platform::SetError;

template <typename T> void ScaleSamples(cv::Mat &image, double factor, double maximum)
{
    const int n = image.cols * image.channels();
    for (int r = 0; r < image.rows; ++r) {
        T *row = image.ptr<T>(r);
        for (int c = 0; c < n; ++c) {
            double v = static_cast<double>(row[c]) * factor;
            // Clamped before the conversion, which is only defined for values that fit.
            v = v < 0.0 ? 0.0 : (v > maximum ? maximum : v);
            row[c] = static_cast<T>(static_cast<int>(v));
        }
    }
}

struct SplitLineCandidate
{
    double score = 0.0;
    cv::Point location;
    cv::Mat window;
    int window_top = 0;
    int width = 0;
    int height = 0;
};

} // namespace

std::string SplitLineTemplateFolder()
{
    EString folder;
    folder.JoinPath(theApp.m_data_directory.c_str(), "Templates/splitline-templates/");
    return platform::NormalizePath(folder.c_str());
}

void ImageUtilities::RotateImageAboutPoint(cv::Mat &image, double angle, double x, double y, int shift) const
{
    const double degrees = angle * 180.0 / 3.14159265358979;
    const cv::Point2f centre(static_cast<float>(x), static_cast<float>(y));
    cv::Mat matrix = cv::getRotationMatrix2D(centre, degrees, 1.0);
    matrix.at<double>(1, 2) += shift;
    cv::Mat rotated;
    cv::warpAffine(image, rotated, matrix, image.size(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    image = rotated;
}

namespace {

// The pixels of region of the image rotated as RotateImageAboutPoint rotates it (the same matrix,
// moved to the region's corner), without rotating the rest of the image.
cv::Mat RotatedRegion(const cv::Mat &image, double angle, double x, double y, int shift,
                      const cv::Rect &region)
{
    const double degrees = angle * 180.0 / 3.14159265358979;
    const cv::Point2f centre(static_cast<float>(x), static_cast<float>(y));
    cv::Mat matrix = cv::getRotationMatrix2D(centre, degrees, 1.0);
    matrix.at<double>(1, 2) += shift;
    matrix.at<double>(0, 2) -= region.x;
    matrix.at<double>(1, 2) -= region.y;
    cv::Mat rotated;
    cv::warpAffine(image, rotated, matrix, region.size(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
    return rotated;
}

} // namespace

cv::Mat ImageUtilities::LoadRotateCropScaleImage(const std::string &path, int first_col, int end_col,
                                                 int first_row, int end_row, int offset, double rotation,
                                                 int x, int y, double factor, std::string *error) const
{
    cv::Mat image;
    try {
        image = platform::ReadImageFile(path, cv::IMREAD_ANYDEPTH);
        if (image.empty()) {
            SetError(error, "Cannot read the image " + path);
            return image;
        }
        if (image.cols >= 1) {
            // The rotation keeps the image's size, so the region is checked on the loaded image.
            int top = 0, bottom = image.rows, left = 0, right = image.cols;
            if (first_row > 0 || end_row < image.rows) {
                if (first_row < 0 || end_row > image.rows || first_row >= end_row) {
                    SetError(error, "Rows " + std::to_string(first_row) + " to " + std::to_string(end_row) +
                                        " do not lie in the " + std::to_string(image.rows) + " rows of " +
                                        path);
                    return cv::Mat();
                }
                top = first_row;
                bottom = end_row;
            }
            if (first_col > 0 || end_col < image.cols) {
                if (first_col < 0 || end_col > image.cols || first_col >= end_col) {
                    SetError(error, "Columns " + std::to_string(first_col) + " to " +
                                        std::to_string(end_col) + " do not lie in the " +
                                        std::to_string(image.cols) + " columns of " + path);
                    return cv::Mat();
                }
                left = first_col;
                right = end_col;
            }
            if (rotation != 0.0) {
                // Only the region is rotated: the pixels of the rotated whole image that it keeps.
                image = RotatedRegion(image, rotation, static_cast<double>(x), static_cast<double>(y),
                                      -offset, cv::Rect(left, top, right - left, bottom - top));
            } else {
                image = image(cv::Rect(left, top, right - left, bottom - top));
            }
            if (factor != 1.0) {
                // Scaling works in place: the crop must not write through to the loaded rows.
                image = image.clone();
                if (!ScaleImageIntensities(image, factor) && !(factor <= 0.0))
                    LogError(__FILE__, __LINE__,
                             "The intensity factor " + std::to_string(factor) + " for " + path +
                                 " is not a finite number; the image is not scaled");
            }
        }
    } catch (const cv::Exception &e) {
        SetError(error, e.what());
        return cv::Mat();
    }
    return image;
}

bool ImageUtilities::ScaleImageIntensities(cv::Mat &image, double factor) const
{
    // An exposure of 0 in a capture log gives an infinite factor.
    if (!(factor > 0.0) || !std::isfinite(factor))
        return false;
    if (image.depth() == CV_16U)
        ScaleSamples<uint16_t>(image, factor, 65535.0);
    else if (image.depth() == CV_8U)
        ScaleSamples<uint8_t>(image, factor, 255.0);
    else
        return false;
    return true;
}

std::vector<double> ImageUtilities::ComputeColumnProfile(cv::Mat image) const
{
    std::vector<double> profile;
    if (image.empty() || image.type() != CV_16UC1)
        return profile;
    profile.assign(static_cast<size_t>(image.cols), 0.0);
    for (int r = 0; r < image.rows; ++r) {
        const uint16_t *row = image.ptr<uint16_t>(r);
        for (int c = 0; c < image.cols; ++c)
            profile[static_cast<size_t>(c)] += row[c];
    }
    for (double &v : profile)
        v /= image.rows;
    return profile;
}

std::vector<double> ImageUtilities::FitQuadraticProfile(const std::vector<double> &y,
                                                        const std::vector<double> &x)
{
    const size_t n = std::min(x.size(), y.size());
    double S[5] = {0, 0, 0, 0, 0};
    double T[3] = {0, 0, 0};
    for (size_t i = 0; i < n; ++i) {
        for (int k = 0; k <= 4; ++k)
            S[k] += std::pow(x[i], k);
        for (int k = 0; k <= 2; ++k)
            T[k] += std::pow(x[i], k) * y[i];
    }
    double m[3][4];
    for (int k = 0; k < 3; ++k) {
        m[k][0] = S[k];
        m[k][1] = S[k + 1];
        m[k][2] = S[k + 2];
        m[k][3] = T[k];
    }
    for (int col = 0; col < 3; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 3; ++r)
            if (std::fabs(m[r][col]) > std::fabs(m[pivot][col]))
                pivot = r;
        if (pivot != col)
            for (int c = 0; c < 4; ++c)
                std::swap(m[col][c], m[pivot][c]);
        for (int r = col + 1; r < 3; ++r) {
            const double f = m[r][col] / m[col][col];
            for (int c = col; c < 4; ++c)
                m[r][c] -= f * m[col][c];
        }
    }
    double coef[3];
    for (int r = 2; r >= 0; --r) {
        double sum = m[r][3];
        for (int c = r + 1; c < 3; ++c)
            sum -= m[r][c] * coef[c];
        coef[r] = sum / m[r][r];
    }
    std::vector<double> a(n), b(n);
    for (size_t i = 0; i < n; ++i) {
        a[i] = coef[2] * x[i] * x[i];
        b[i] = coef[1] * x[i];
    }
    m_profileFit = EvaluateQuadratic(a, b, coef[0]);
    return m_profileFit;
}

std::vector<double> ImageUtilities::EvaluateQuadratic(const std::vector<double> &a,
                                                      const std::vector<double> &b, double c) const
{
    const size_t n = std::min(a.size(), b.size());
    std::vector<double> values(n);
    for (size_t i = 0; i < n; ++i)
        values[i] = a[i] + b[i] + c;
    return values;
}

cv::Mat ImageUtilities::NormalizeColumnsByProfile(const std::vector<double> &profile, cv::Mat image) const
{
    if (image.empty() || image.depth() != CV_16U)
        return cv::Mat();
    const bool colour = image.channels() == 3;
    cv::Mat grey;
    if (colour)
        cv::cvtColor(image, grey, cv::COLOR_BGR2GRAY);
    else
        grey = image;
    cv::Mat result = grey.clone();
    const int columns = std::min(result.cols, static_cast<int>(profile.size()));
    for (int r = 0; r < result.rows; ++r) {
        uint16_t *row = result.ptr<uint16_t>(r);
        for (int c = 0; c < columns; ++c) {
            const double divisor = profile[static_cast<size_t>(c)] / m_scale;
            const double v = row[c] / divisor;
            // A zero or non-finite divisor must not reach the integer conversion.
            if (std::isnan(v) || v < 0.0)
                row[c] = 0;
            else if (v > 65535.0)
                row[c] = 65535;
            else
                row[c] = static_cast<uint16_t>(static_cast<int>(v));
        }
    }
    if (colour) {
        cv::Mat back;
        cv::cvtColor(result, back, cv::COLOR_GRAY2BGR);
        return back;
    }
    return result;
}

bool ImageUtilities::BuildImageStrip(cv::Mat next, cv::Mat &strip)
{
    const int n = m_overlap;
    if (next.type() != CV_8UC3 || strip.type() != CV_8UC3 || next.rows != strip.rows || n < 0 ||
        n > next.cols || n > strip.cols)
        return false;
    m_leftEdge = strip.colRange(strip.cols - n, strip.cols).clone();
    m_rightEdge = next.colRange(0, n).clone();
    cv::Mat kept = strip.colRange(0, strip.cols - n);
    cv::Mat rest = next.colRange(n, next.cols);
    cv::Mat blend(m_leftEdge.size(), CV_8UC3);
    for (int r = 0; r < blend.rows; ++r) {
        const cv::Vec3b *left = m_leftEdge.ptr<cv::Vec3b>(r);
        const cv::Vec3b *right = m_rightEdge.ptr<cv::Vec3b>(r);
        cv::Vec3b *out = blend.ptr<cv::Vec3b>(r);
        for (int k = 0; k < n; ++k) {
            const float wl = 1.0f - static_cast<float>(k) / static_cast<float>(n);
            const float wr = 1.0f - wl;
            for (int ch = 0; ch < 3; ++ch) {
                const int v = static_cast<int>(static_cast<float>(static_cast<int>(left[k][ch] * wl)) +
                                               right[k][ch] * wr);
                out[k][ch] = cv::saturate_cast<uint8_t>(v);
            }
        }
    }
    cv::Mat joined;
    std::vector<cv::Mat> parts;
    for (const cv::Mat &part : {kept, blend, rest})
        if (part.cols > 0)
            parts.push_back(part);
    cv::hconcat(parts, joined);
    strip = joined;
    return true;
}

bool ImageUtilities::MatchTemplateInWindow(cv::Mat image, cv::Mat templ, double &score, cv::Point &location,
                                           std::string *error) const
{
    score = 0.0;
    location = cv::Point(0, 0);
    const int columns = std::min(image.cols, image.cols / 3 + 1);
    if (image.empty() || templ.empty() || templ.cols > columns || templ.rows > image.rows ||
        templ.type() != image.type()) {
        SetError(error, "A template of " + std::to_string(templ.cols) + " x " + std::to_string(templ.rows) +
                            " does not fit the search region of " + std::to_string(columns) + " x " +
                            std::to_string(image.rows) + " (or the image types differ)");
        return false;
    }
    cv::Mat result;
    cv::matchTemplate(image.colRange(0, columns), templ, result, cv::TM_CCOEFF_NORMED);
    double minimum = 0.0;
    cv::minMaxLoc(result, &minimum, &score, nullptr, &location);
    return true;
}

bool ImageUtilities::FindSplitLineByTemplate(cv::Mat image, double pixels_per_mm, double upper_channel,
                                             double lower_channel_end, const std::string &cartridge_id,
                                             int &offset, double &rotation, double &center_x,
                                             double &center_y, std::string *error,
                                             SplitLineOutcome *outcome) const
{
    offset = 0;
    rotation = 0.0;
    center_x = 0.0;
    center_y = 0.0;
    auto finish = [&](SplitLineOutcome how, const std::string &message, bool result) {
        if (outcome)
            *outcome = how;
        if (!message.empty()) {
            LogError(__FILE__, __LINE__, message);
            SetError(error, message);
        }
        return result;
    };
    try {
        const int centre_row = static_cast<int>((upper_channel + lower_channel_end - 1.0) * 0.5);
        const std::string folder = SplitLineTemplateFolder();
        // A lab may keep its own list beside the shipped one: the lists are read in listing order
        // until one has a template for the cartridge id.
        std::vector<std::string> list_paths;
        for (const platform::DirEntry &entry : platform::ListFolder(folder, "*.txt"))
            if (!entry.isFolder)
                list_paths.push_back(folder + entry.name);
        if (list_paths.empty())
            return finish(SplitLineOutcome::NoTemplate, "No split-line template list (*.txt) in " + folder,
                          false);
        if (image.empty() || image.type() != CV_8UC1)
            return finish(SplitLineOutcome::Failed, "The split-line search needs an 8-bit grey image", false);
        // Blur a copy: the caller's pixels are the experiment's reference image.
        cv::Mat blurred;
        cv::GaussianBlur(image, blurred, cv::Size(5, 5), 0);

        std::vector<SplitLineCandidate> candidates;
        std::string lists_read;
        for (const std::string &list_path : list_paths) {
            if (!candidates.empty())
                break;
            lists_read += (lists_read.empty() ? "" : ", ") + list_path;
            std::string bytes, read_error;
            if (!platform::ReadWholeFile(list_path, bytes, &read_error))
                return finish(SplitLineOutcome::NoTemplate,
                              "Cannot read the split-line template list " + list_path + ": " + read_error,
                              false);

            size_t type_col = 0, scale_col = 0, image_col = 0;
            size_t line_number = 0;
            for (std::string &line : ExperimentData::SplitString(bytes, '\n')) {
                ++line_number;
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                if (line.empty())
                    continue;
                const std::vector<std::string> cells = ExperimentData::SplitString(line, '\t');
                for (size_t i = 0; i < cells.size(); ++i) {
                    if (cells[i] != "CartridgeType")
                        continue;
                    auto column = [&](const char *name) {
                        for (size_t j = 0; j < cells.size(); ++j)
                            if (cells[j] == name)
                                return j;
                        return cells.size();
                    };
                    type_col = column("CartridgeType");
                    scale_col = column("ImagePixelsPermm");
                    image_col = column("TemplateImage");
                    break;
                }
                if (image_col >= cells.size() || cells[image_col].find("Splitline") == std::string::npos)
                    continue;
                const std::string where = list_path + " line " + std::to_string(line_number);
                if (type_col >= cells.size() || scale_col >= cells.size())
                    return finish(SplitLineOutcome::Failed,
                                  "Split-line template list " + where +
                                      ": the row has no CartridgeType or ImagePixelsPermm cell",
                                  false);
                bool applies = false;
                for (const std::string &id : ExperimentData::SplitString(cells[type_col], ','))
                    applies = applies || id == cartridge_id;
                if (!applies)
                    continue;
                std::string template_path = folder + cells[image_col];
                if (!platform::FileExists(template_path)) {
                    // Lists written on Windows may spell the file name in another case.
                    const std::string found = platform::FindFileIgnoringCase(folder, cells[image_col]);
                    if (!found.empty())
                        template_path = found;
                }
                cv::Mat templ = platform::ReadImageFile(template_path, cv::IMREAD_GRAYSCALE);
                if (templ.empty())
                    return finish(SplitLineOutcome::Failed,
                                  "Cannot read the split-line template " + template_path, false);
                const char *scale_text = cells[scale_col].c_str();
                char *scale_end = nullptr;
                errno = 0;
                const float template_ppm = std::strtof(scale_text, &scale_end);
                if (scale_end == scale_text || errno == ERANGE)
                    return finish(SplitLineOutcome::Failed,
                                  "Split-line template list " + where + ": ImagePixelsPermm \"" +
                                      cells[scale_col] + "\" is not a number",
                                  false);
                const float ratio = static_cast<float>(pixels_per_mm) / template_ppm;
                const float scaled_w = static_cast<float>(templ.cols) * ratio;
                const float scaled_h = static_cast<float>(templ.rows) * ratio;
                if (!(scaled_w >= 1.0f && scaled_h >= 1.0f && scaled_w < 1e5f && scaled_h < 1e5f))
                    return finish(SplitLineOutcome::Failed,
                                  "Split-line template " + template_path + " scaled by " +
                                      std::to_string(pixels_per_mm) + " / " + cells[scale_col] +
                                      " pixels per mm has no usable size",
                                  false);
                SplitLineCandidate candidate;
                candidate.width = static_cast<int>(scaled_w);
                candidate.height = static_cast<int>(scaled_h);
                cv::Mat scaled;
                cv::resize(templ, scaled, cv::Size(candidate.width, candidate.height), 0, 0,
                           cv::INTER_NEAREST);
                const int h = candidate.height;
                candidate.window_top = centre_row - h / 2 - 80;
                const int window_end = centre_row + h / 2 + 81;
                if (candidate.window_top < 0 || window_end > blurred.rows)
                    return finish(SplitLineOutcome::Failed,
                                  "The split-line search rows " + std::to_string(candidate.window_top) +
                                      " to " + std::to_string(window_end) + " leave the image of " +
                                      std::to_string(blurred.rows) + " rows",
                                  false);
                candidate.window = blurred.rowRange(candidate.window_top, window_end);
                std::string match_error;
                if (!MatchTemplateInWindow(candidate.window, scaled, candidate.score, candidate.location,
                                           &match_error))
                    return finish(SplitLineOutcome::Failed,
                                  "Split-line template " + template_path + ": " + match_error, false);
                candidates.push_back(candidate);
            }
        }
        if (candidates.empty())
            return finish(SplitLineOutcome::NoTemplate,
                          "No split-line template for cartridge id \"" + cartridge_id + "\" in " + lists_read,
                          false);

        const SplitLineCandidate *best = &candidates[0];
        for (const SplitLineCandidate &candidate : candidates)
            if (candidate.score > best->score)
                best = &candidate;
        char score_text[64];
        std::snprintf(score_text, sizeof score_text, "%.3f", best->score);
        if (!(best->score > 0.8))
            return finish(SplitLineOutcome::NoMatch,
                          std::string("The split line was not found: the best split-line template scored ") +
                              score_text + ", not above 0.8",
                          true);

        // Second stage: the matched patch of this image, found again in the window's right third,
        // gives the tilt. The best candidate's own window and size are used throughout.
        const cv::Mat &window = best->window;
        const int right_start = window.cols - window.cols / 3;
        const cv::Rect patch_rect(best->location.x, best->location.y, best->width, best->height);
        cv::Mat patch = window(patch_rect).clone();
        cv::Mat right = window.colRange(right_start, window.cols);
        double score2 = 0.0;
        cv::Point location2;
        std::string match_error;
        if (!MatchTemplateInWindow(right, patch, score2, location2, &match_error))
            return finish(SplitLineOutcome::Failed, "Split-line second stage: " + match_error, false);
        if (!(score2 > 0.8)) {
            std::snprintf(score_text, sizeof score_text, "%.3f", score2);
            return finish(
                SplitLineOutcome::NoMatch,
                std::string("The split line was not found in the right third of the image: scored ") +
                    score_text + ", not above 0.8",
                true);
        }
        rotation = std::atan(static_cast<double>(location2.y - best->location.y) /
                             static_cast<double>(location2.x + right_start - best->location.x));
        center_x = best->location.x;
        center_y = best->location.y + best->window_top;
        offset = patch.rows / 2 + best->location.y + best->window_top - centre_row;
        return finish(SplitLineOutcome::Located, "", true);
    } catch (const cv::Exception &e) {
        offset = 0;
        rotation = 0.0;
        center_x = 0.0;
        center_y = 0.0;
        return finish(SplitLineOutcome::Failed, e.what(), false);
    }
}
