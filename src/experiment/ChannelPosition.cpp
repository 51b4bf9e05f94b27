// The cartridge channel's detected position (offset, tilt, centre of the tilt) kept in an
// experiment's settings file, the fluorescence alignment check and the contrast windows.
#include "Ostravo/DisplayConversion.h"
#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "Ostravo/ProfileValues.h"
#include "experiment/ColorFrameContrast.h"
#include "experiment/ExperimentData.h"
#include "experiment/ImageUtilities.h"
#include "platform/Files.h"
#include "platform/ImageFile.h"

#include <opencv2/imgcodecs.hpp>

#include <cmath>
#include <cstdio>

namespace globals {
ColorFrameContrast _experiment_contrast;
} // namespace globals

namespace {

constexpr int32_t kNotDetected = 10000;
const char *const kKeys[4] = {"CartridgeChannelDetectedOffset", "CartridgeChannelDetectedRotation",
                              "CartridgeChannelDetectedRotationCenterX",
                              "CartridgeChannelDetectedRotationCenterY"};

double ReadDoubleKey(const std::string &file, const char *key)
{
    char buffer[31] = {0};
    double value = 0.0;
    if (!Ostravo::E_GetPrivateProfileString("Cartridge", key, "", buffer, sizeof buffer, file.c_str()) ||
        std::sscanf(buffer, "%lf", &value) != 1)
        return kNotDetected;
    return value;
}

// Writes the four keys in their order; false when one could not be stored.
bool WriteKeys(const std::string &file, const EString values[4])
{
    bool ok = true;
    for (int i = 0; i < 4; ++i)
        ok = Ostravo::E_WritePrivateProfileString("Cartridge", kKeys[i], values[i].c_str(), file.c_str()) &&
             ok;
    return ok;
}

bool WriteDetected(const std::string &file, const ExperimentData &data)
{
    const EString values[4] = {EString(data.m_channel_offset), EString(data.m_rotation),
                               EString(static_cast<int32_t>(data.m_rotation_center_x)),
                               EString(static_cast<int32_t>(data.m_rotation_center_y))};
    return WriteKeys(file, values);
}

} // namespace

bool ExperimentData::LoadOrDetectChannelPosition(const std::string &folder, const std::string &settings_path,
                                                 std::string &error)
{
    const int offset = Ostravo::ReadProfileInt("Cartridge", kKeys[0], kNotDetected, settings_path.c_str());
    const double rotation = ReadDoubleKey(settings_path, kKeys[1]);
    const int cx = Ostravo::ReadProfileInt("Cartridge", kKeys[2], kNotDetected, settings_path.c_str());
    const int cy = Ostravo::ReadProfileInt("Cartridge", kKeys[3], kNotDetected, settings_path.c_str());
    if (offset != kNotDetected && rotation != 10000.0 && cx != kNotDetected && cy != kNotDetected) {
        m_channel_offset = offset;
        m_rotation = rotation;
        m_rotation_center_x = cx;
        m_rotation_center_y = cy;
        return true;
    }
    try {
        EString path;
        MakeExperimentImagePath(EString(folder.c_str()),
                                EString(m_reference_record.images.brightfield.file_name.c_str()), path);
        cv::Mat image = platform::ReadImageFile(path.c_str(), cv::IMREAD_GRAYSCALE);
        if (image.empty()) {
            error = std::string("Function detect splitline from logs") +
                    "Cannot read the channel reference image " + path.c_str();
            LogError(__FILE__, __LINE__, error);
            return false;
        }
        std::string detail;
        SplitLineOutcome outcome = SplitLineOutcome::Failed;
        const bool ok = theImageUtilities.FindSplitLineByTemplate(
            image, m_pixels_per_mm, static_cast<double>(m_upper_channel),
            static_cast<double>(m_lower_channel_end), m_cartridge_id, m_channel_offset, m_rotation,
            m_rotation_center_x, m_rotation_center_y, &detail, &outcome);
        if (outcome == SplitLineOutcome::Failed) {
            error = "Function detect splitline from logs" + detail;
            LogError(__FILE__, __LINE__, error);
            return false;
        }
        if (!ok) {
            error = detail;
            return false;
        }
        if (outcome == SplitLineOutcome::NoMatch) {
            // Zeros stored here would read as a detected position in every later analysis; the
            // keys stay "not detected" so that the next analysis tries again. This one goes on
            // with the image as it stands.
            error = detail;
            return true;
        }
        if (!WriteDetected(settings_path, *this)) {
            error = "Cannot store the detected channel position in " + settings_path;
            LogError(__FILE__, __LINE__, error);
        }
        return true;
    } catch (const cv::Exception &e) {
        error = std::string("Function detect splitline from logs") + e.what();
        LogError(__FILE__, __LINE__, error);
        return false;
    }
}

bool ExperimentData::DetectChannelPosition(const std::string &settings_path, const std::string &barcode,
                                           cv::Mat image, std::string &error)
{
    if (!ReadSettings(settings_path, error))
        return false;
    bool ok = false;
    SplitLineOutcome outcome = SplitLineOutcome::Failed;
    std::string detail;
    try {
        cv::Mat grey = image;
        if (!image.empty() && image.depth() != CV_8U)
            image.convertTo(grey, CV_8U, image.elemSize1() == 2 ? 0.00390625 : 1.0);
        const std::string id = barcode.substr(0, 3);
        ok = theImageUtilities.FindSplitLineByTemplate(
            grey, m_pixels_per_mm, static_cast<double>(m_upper_channel),
            static_cast<double>(m_lower_channel_end), id, m_channel_offset, m_rotation, m_rotation_center_x,
            m_rotation_center_y, &detail, &outcome);
    } catch (const cv::Exception &e) {
        outcome = SplitLineOutcome::Failed;
        detail = e.what();
        ok = false;
    }
    if (ok && outcome == SplitLineOutcome::Located) {
        if (!WriteDetected(settings_path, *this)) {
            error = "Cannot store the detected channel position in " + settings_path;
            LogError(__FILE__, __LINE__, error);
            return false;
        }
        return true;
    }
    m_channel_offset = 0;
    m_rotation = 0.0;
    m_rotation_center_x = 0.0;
    m_rotation_center_y = 0.0;
    // A failed detection is stored as "not detected", never as a position of zeros.
    const EString not_detected[4] = {EString(kNotDetected), EString(kNotDetected), EString(kNotDetected),
                                     EString(kNotDetected)};
    WriteKeys(settings_path, not_detected);
    error = outcome == SplitLineOutcome::Failed ? "Function detect splitline " + detail : detail;
    LogError(__FILE__, __LINE__, error);
    return false;
}

void ExperimentData::CheckChannelPositions(bool &include_fl1, bool &include_fl2) const
{
    for (size_t i = 0; i + 1 < m_records.size(); ++i) {
        const ChannelImageSet &images = m_records[i].images;
        if (include_fl1 && images.fluorescence1.position != images.brightfield.position)
            include_fl1 = false;
        if (include_fl2 && images.fluorescence2.position != images.brightfield.position)
            include_fl2 = false;
    }
}

namespace {

// An unreadable reference keeps the full window for its channel; the log says which file it was.
void UnreadableReference(const char *path)
{
    LogError(__FILE__, __LINE__,
             std::string("Contrast reference image cannot be read, the full window is used: ") + path);
}

} // namespace

bool ExperimentData::ComputeAutoContrast(ColorFrameContrast &contrast) const
{
    EString bf_path, fl1_path, fl2_path;
    GetContrastReferenceImages(bf_path, fl1_path, fl2_path);
    auto factor_of = [](double mean, double exposure) {
        // An exposure of 0 would make the factor infinite; such an image is taken unscaled.
        const double factor = mean / exposure;
        return std::isfinite(factor) ? factor : 1.0;
    };
    try {
        contrast.bf_out_max = (fl1_path.IsNonEmpty() || fl2_path.IsNonEmpty()) ? 128 : 180;
        contrast.bf_low = contrast.bf_high = 65535;
        const int cx = static_cast<int>(m_rotation_center_x);
        const int cy = static_cast<int>(m_rotation_center_y);
        if (bf_path.IsNonEmpty()) {
            const CaptureLogRecord &record = m_selected_run[10];
            cv::Mat image = theImageUtilities.LoadRotateCropScaleImage(
                bf_path.c_str(), 0, m_image_width, 0, m_image_height, m_channel_offset, m_rotation, cx, cy,
                factor_of(m_mean_brightfield_exposure, record.brightfield_exposure_us));
            if (!Ostravo::GetAutoContrastLimits(image, 4, 0.05, 0.95, contrast.bf_low, contrast.bf_high))
                UnreadableReference(bf_path.c_str());
        }
        contrast.fl1_out_max = 150;
        contrast.fl1_low = contrast.fl1_high = 65535;
        if (fl1_path.IsNonEmpty()) {
            const CaptureLogRecord &record = m_selected_run[10];
            cv::Mat image = theImageUtilities.LoadRotateCropScaleImage(
                fl1_path.c_str(), 0, m_image_width, 0, m_image_height, m_channel_offset, m_rotation, cx, cy,
                factor_of(m_mean_fluorescence1_exposure, record.fluorescence1_exposure_us));
            if (!Ostravo::GetAutoContrastLimits(image, 4, 0.5, 0.999, contrast.fl1_low, contrast.fl1_high))
                UnreadableReference(fl1_path.c_str());
        }
        contrast.fl2_out_max = 150;
        contrast.fl2_low = contrast.fl2_high = 65535;
        if (fl2_path.IsNonEmpty()) {
            const CaptureLogRecord &record = m_selected_run[10];
            cv::Mat image = theImageUtilities.LoadRotateCropScaleImage(
                fl2_path.c_str(), 0, m_image_width, 0, m_image_height, m_channel_offset, m_rotation, cx, cy,
                factor_of(m_mean_fluorescence2_exposure, record.fluorescence2_exposure_us));
            if (!Ostravo::GetAutoContrastLimits(image, 4, 0.5, 0.999, contrast.fl2_low, contrast.fl2_high))
                UnreadableReference(fl2_path.c_str());
        }
    } catch (const cv::Exception &e) {
        LogError(__FILE__, __LINE__, std::string("Contrast of the reference images: ") + e.what());
        return false;
    }
    return true;
}
