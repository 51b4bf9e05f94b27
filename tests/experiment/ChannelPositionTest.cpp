#include "ExperimentTestSupport.h"
#include "Ostravo/Profile.h"
#include "experiment/ColorFrameContrast.h"
#include "experiment/ExperimentData.h"
#include "experiment/ImageUtilities.h"
#include "support/SyntheticExperiment.h"

#include <gmock/gmock.h>
#include <opencv2/imgcodecs.hpp>

#include <cmath>
#include <filesystem>

using vantelis::test::ReadFileBytes;
using vantelis::test::SyntheticExperimentParams;
using vantelis::test::SyntheticExperimentTruth;
using vantelis::test::WriteFileBytes;
namespace fs = std::filesystem;

namespace {

// One generated experiment for the whole program: the images take a while to write. Tests never
// change it; those that store a position work on a copy of its settings file.
const SyntheticExperimentTruth &Shared()
{
    static vantelis::test::TempDir dir;
    static const SyntheticExperimentTruth truth = [] {
        SyntheticExperimentParams params;
        params.all_images = false;
        return vantelis::test::WriteSyntheticExperiment(dir.str(), params);
    }();
    return truth;
}

class SyntheticExperimentTest : public ExperimentTest
{
  protected:
    SyntheticExperimentTest() : t(Shared()) { theApp.m_data_directory = t.data_folder; }

    // The experiment read as the analyses read it.
    ExperimentData Read()
    {
        ExperimentData data;
        std::string error;
        EXPECT_TRUE(data.Open(t.folder, &error)) << error;
        EXPECT_TRUE(data.ReadCaptureLog(data.m_log_path, &error)) << error;
        EXPECT_TRUE(data.ReadSettings(data.m_settings_path, error));
        return data;
    }

    // A copy of the settings file with the stored position keys given (offset, rotation, x, y).
    std::string SettingsCopy(const std::vector<const char *> &stored = {})
    {
        const std::string path = m_dir.file("settings-" + std::to_string(m_copies++) + ".ini");
        WriteFileBytes(path, ReadFileBytes(t.settings_path));
        const char *keys[4] = {"CartridgeChannelDetectedOffset", "CartridgeChannelDetectedRotation",
                               "CartridgeChannelDetectedRotationCenterX",
                               "CartridgeChannelDetectedRotationCenterY"};
        for (size_t i = 0; i < stored.size(); ++i)
            EXPECT_TRUE(Ostravo::E_WritePrivateProfileString("Cartridge", keys[i], stored[i], path.c_str()));
        return path;
    }

    static std::string Key(const std::string &file, const char *key)
    {
        char buffer[64] = {0};
        Ostravo::E_GetPrivateProfileString("Cartridge", key, "<none>", buffer, sizeof buffer, file.c_str());
        return buffer;
    }

    static std::vector<std::string> Keys(const std::string &file)
    {
        return {Key(file, "CartridgeChannelDetectedOffset"), Key(file, "CartridgeChannelDetectedRotation"),
                Key(file, "CartridgeChannelDetectedRotationCenterX"),
                Key(file, "CartridgeChannelDetectedRotationCenterY")};
    }

    // The detected tilt, as the rows it makes over the span between the two bars, against the truth.
    double RowErrorOverSpan(double rotation) const
    {
        return std::fabs((std::tan(rotation) - std::tan(t.rotation)) * (t.right_bar_x - t.left_bar_x));
    }

    const SyntheticExperimentTruth &t;
    int m_copies = 0;
};

TEST_F(SyntheticExperimentTest, ReadingGivesWhatTheGeneratorWrote)
{
    const ExperimentData data = Read();
    EXPECT_EQ(data.m_cartridge_id, t.cartridge_id);
    ASSERT_EQ(data.m_records.size(), t.positions.size());
    for (size_t i = 0; i < t.positions.size(); ++i) {
        const CaptureLogRecord &r = data.m_records[i];
        EXPECT_EQ(r.images.brightfield.file_name, t.brightfield_files[i]);
        EXPECT_EQ(r.images.brightfield.position, t.positions[i]);
        EXPECT_EQ(r.images.fluorescence1.file_name, t.fluorescence1_files[i]);
        EXPECT_EQ(r.images.fluorescence2.position, t.positions[i]);
        EXPECT_EQ(r.brightfield_exposure_us, t.brightfield_exposures[i]);
        EXPECT_EQ(r.fluorescence2_exposure_us, t.fluorescence2_exposures[i]);
        EXPECT_EQ(static_cast<uint32_t>(r.capture_time_ms - data.m_records[0].capture_time_ms),
                  t.capture_offsets_ms[i]);
    }
    ASSERT_EQ(data.m_selected_run.size(), t.run_length);
    for (size_t i = 0; i < t.run_length; ++i)
        EXPECT_EQ(data.m_selected_run[i].images.brightfield.position, t.positions[t.run_first + i]);
    EXPECT_DOUBLE_EQ(data.m_mean_brightfield_exposure, t.mean_brightfield_exposure);
    EXPECT_DOUBLE_EQ(data.m_mean_fluorescence1_exposure, t.mean_fluorescence1_exposure);
    EXPECT_DOUBLE_EQ(data.m_mean_fluorescence2_exposure, t.mean_fluorescence2_exposure);
    EXPECT_EQ(data.m_reference_record.images.brightfield.file_name, t.brightfield_files[1]);

    EString bf, fl1, fl2;
    EXPECT_TRUE(data.GetContrastReferenceImages(bf, fl1, fl2));
    const size_t eleventh = t.run_first + 10;
    EXPECT_EQ(std::string(bf.c_str()), t.folder + "/Images/" + t.brightfield_files[eleventh]);
    EXPECT_EQ(std::string(fl1.c_str()), t.folder + "/Images/" + t.fluorescence1_files[eleventh]);
    EXPECT_EQ(std::string(fl2.c_str()), t.folder + "/Images/" + t.fluorescence2_files[eleventh]);

    bool fl1On = true, fl2On = true;
    data.CheckChannelPositions(fl1On, fl2On);
    EXPECT_TRUE(fl1On);
    EXPECT_TRUE(fl2On);
}

// The fixture itself: 10.25 + 9.75 ul/min over 1.5 s frames is 0.5 ul per frame, a quarter of it
// in mm (0.125) at 500 pixels per mm: 62.5, so the slug moves 62 columns per frame.
TEST_F(SyntheticExperimentTest, SlugMovesByTheDisplacementStep)
{
    EXPECT_EQ(t.shift_px_per_frame, 62);
    // The lead meniscus 200 rows below the split line lies bulge * (200 / half channel)^2 behind
    // its apex; found as the centre of the dark band in that row in two successive frames.
    const int row = static_cast<int>(t.SplitRowAt(t.lead_x[0])) + 200;
    std::vector<double> found;
    for (int k = 0; k < 2; ++k) {
        const cv::Mat frame =
            cv::imread(t.folder + "/Images/" + t.brightfield_files[t.run_first + k], cv::IMREAD_ANYDEPTH);
        ASSERT_FALSE(frame.empty());
        const int from = static_cast<int>(t.lead_x[static_cast<size_t>(k)]) - 40;
        double sum = 0.0, count = 0.0;
        for (int x = from; x < from + 60; ++x)
            if (frame.at<uint16_t>(row, x) < 15000) {
                sum += x + 0.5;
                count += 1.0;
            }
        ASSERT_GT(count, 0.0);
        found.push_back(sum / count);
    }
    const double behind = 60.0 * std::pow(200.5 / 550.5, 2);
    EXPECT_NEAR(found[0], t.lead_x[0] - behind, 1.0);
    EXPECT_NEAR(found[1] - found[0], 62, 1);
}

TEST_F(SyntheticExperimentTest, DetectsAndStoresTheChannelPosition)
{
    ExperimentData data = Read();
    const std::string settings = SettingsCopy();
    std::string error;
    ASSERT_TRUE(data.LoadOrDetectChannelPosition(t.folder, settings, error)) << error;
    EXPECT_NEAR(data.m_channel_offset, t.channel_offset, 1);
    EXPECT_LE(RowErrorOverSpan(data.m_rotation), 1.0) << data.m_rotation;
    EXPECT_NEAR(data.m_rotation_center_x, t.rotation_center_x, 1.0);
    EXPECT_NEAR(data.m_rotation_center_y, t.rotation_center_y, 1.0);
    const std::vector<std::string> stored = Keys(settings);
    EXPECT_EQ(stored[0], std::to_string(data.m_channel_offset));
    EXPECT_NEAR(std::stod(stored[1]), data.m_rotation, 1e-8);
    EXPECT_EQ(stored[2], std::to_string(static_cast<int>(data.m_rotation_center_x)));
    EXPECT_EQ(stored[3], std::to_string(static_cast<int>(data.m_rotation_center_y)));

    // The next reader takes the stored values without detecting: no templates are needed.
    theApp.m_data_directory = m_dir.file("empty-data");
    ExperimentData again = Read();
    ASSERT_TRUE(again.LoadOrDetectChannelPosition(t.folder, settings, error)) << error;
    EXPECT_EQ(again.m_channel_offset, data.m_channel_offset);
    EXPECT_EQ(again.m_rotation_center_y, static_cast<int>(data.m_rotation_center_y));
}

TEST_F(SyntheticExperimentTest, StoredPositionIsTakenAsItStandsUnlessOneKeyIs10000)
{
    const std::string stored = SettingsCopy({"12", "0.0021", "850", "1020"});
    ExperimentData data = Read();
    std::string error;
    ASSERT_TRUE(data.LoadOrDetectChannelPosition(t.folder, stored, error));
    EXPECT_EQ(data.m_channel_offset, 12);
    EXPECT_DOUBLE_EQ(data.m_rotation, 0.0021);
    EXPECT_EQ(data.m_rotation_center_x, 850.0);
    EXPECT_EQ(data.m_rotation_center_y, 1020.0);

    const std::string notDetected = SettingsCopy({"12", "10000", "850", "1020"});
    ExperimentData detected = Read();
    ASSERT_TRUE(detected.LoadOrDetectChannelPosition(t.folder, notDetected, error)) << error;
    EXPECT_NEAR(detected.m_channel_offset, t.channel_offset, 1);
    EXPECT_EQ(Keys(notDetected)[0], std::to_string(detected.m_channel_offset));
    EXPECT_NE(Keys(notDetected)[2], "850");
}

TEST_F(SyntheticExperimentTest, DetectOnAnImageConvertsItAndAlwaysStores)
{
    const cv::Mat reference = cv::imread(t.folder + "/Images/" + t.brightfield_files[1], cv::IMREAD_ANYDEPTH);
    ASSERT_EQ(reference.type(), CV_16UC1);
    const cv::Mat untouched = reference.clone();
    cv::Mat eightBit;
    reference.convertTo(eightBit, CV_8U, 1.0 / 256.0);
    for (const cv::Mat &image : {reference, eightBit}) {
        const std::string settings = SettingsCopy();
        ExperimentData data;
        std::string error;
        ASSERT_TRUE(data.DetectChannelPosition(settings, "101-000-0000", image, error)) << error;
        EXPECT_NEAR(data.m_channel_offset, t.channel_offset, 1);
        EXPECT_LE(RowErrorOverSpan(data.m_rotation), 1.0);
        EXPECT_EQ(Keys(settings)[0], std::to_string(data.m_channel_offset));
    }
    EXPECT_EQ(cv::norm(reference, untouched, cv::NORM_INF), 0.0);
}

TEST_F(SyntheticExperimentTest, FailedDetectionsStoreNotDetected)
{
    const cv::Mat reference = cv::imread(t.folder + "/Images/" + t.brightfield_files[1], cv::IMREAD_ANYDEPTH);
    const cv::Mat blank(2048, 2448, CV_16UC1, cv::Scalar(20000));
    struct Case
    {
        const char *name;
        cv::Mat image;
        const char *barcode;
        const char *message;
    } cases[] = {
        {"blank image", blank, "101-000-0000", "not above 0.8"},
        {"no template for the id", reference, "999-000-0000",
         "No split-line template for cartridge id \"999\""},
        {"short bar code", reference, "10", "No split-line template for cartridge id \"10\""},
        {"image too small", cv::Mat(100, 2448, CV_16UC1, cv::Scalar(0)), "101-000-0000", "leave the image"},
        {"empty image", cv::Mat(), "101-000-0000", "Function detect splitline "},
    };
    for (const Case &c : cases) {
        // A position stored before must not survive as if the failed detection had found it.
        const std::string settings = SettingsCopy({"5", "0.001", "300", "900"});
        ExperimentData data;
        std::string error;
        EXPECT_FALSE(data.DetectChannelPosition(settings, c.barcode, c.image, error)) << c.name;
        EXPECT_THAT(error, ::testing::HasSubstr(c.message)) << c.name;
        EXPECT_EQ(Keys(settings), std::vector<std::string>(4, "10000")) << c.name;
        EXPECT_EQ(data.m_channel_offset, 0);
    }
}

TEST_F(SyntheticExperimentTest, LoaderNeverStoresAFailedDetection)
{
    // A folder with the experiment's log and a blank reference image.
    const std::string blankFolder = m_dir.file("blank");
    fs::create_directories(blankFolder + "/Images");
    cv::imwrite(blankFolder + "/Images/" + t.brightfield_files[1],
                cv::Mat(2048, 2448, CV_16UC1, cv::Scalar(20000)));
    const std::string settings = SettingsCopy();
    ExperimentData data = Read();
    std::string error;
    // The analysis goes on with the image as it stands; the next one tries again.
    EXPECT_TRUE(data.LoadOrDetectChannelPosition(blankFolder, settings, error));
    EXPECT_THAT(error, ::testing::HasSubstr("not above 0.8"));
    EXPECT_EQ(Keys(settings), std::vector<std::string>(4, "<none>"));
    EXPECT_EQ(data.m_channel_offset, 0);
    EXPECT_EQ(data.m_rotation, 0.0);

    struct Case
    {
        const char *name;
        std::string folder;
        std::string cartridge;
        const char *message;
    } cases[] = {
        {"no bar-code line", t.folder, "", "No split-line template for cartridge id \"\""},
        {"reference image missing", m_dir.file("nowhere"), t.cartridge_id,
         "Function detect splitline from logsCannot read"},
    };
    for (const Case &c : cases) {
        ExperimentData d = Read();
        d.m_cartridge_id = c.cartridge;
        std::string e;
        EXPECT_FALSE(d.LoadOrDetectChannelPosition(c.folder, settings, e)) << c.name;
        EXPECT_THAT(e, ::testing::HasSubstr(c.message)) << c.name;
        EXPECT_EQ(Keys(settings), std::vector<std::string>(4, "<none>")) << c.name;
    }
}

TEST_F(SyntheticExperimentTest, ContrastWindowsComeFromTheEleventhRecordScaledToTheMeanExposure)
{
    ExperimentData data = Read();
    ColorFrameContrast contrast;
    ASSERT_TRUE(data.ComputeAutoContrast(contrast));
    const size_t eleventh = t.run_first + 10;
    EXPECT_EQ(contrast.bf_out_max, 128);
    EXPECT_EQ(contrast.fl1_out_max, 150);
    // More than half of a fluorescence image is background, drawn without noise.
    const double f1 = t.mean_fluorescence1_exposure / t.fluorescence1_exposures[eleventh];
    const double f2 = t.mean_fluorescence2_exposure / t.fluorescence2_exposures[eleventh];
    EXPECT_EQ(contrast.fl1_low, static_cast<int>(t.fluorescence_background * f1));
    EXPECT_EQ(contrast.fl2_low, static_cast<int>(t.fluorescence_background * f2));
    // The top of the brightfield window lies in the channel's level (noise sigma 150).
    const double fb = t.mean_brightfield_exposure / t.brightfield_exposures[eleventh];
    EXPECT_NEAR(contrast.bf_high, t.channel_level * fb, 600.0);
    EXPECT_LT(contrast.bf_low, contrast.bf_high);

    // An exposure of 0 in the log leaves the image unscaled instead of scaling by infinity.
    data.m_selected_run[10].fluorescence1_exposure_us = 0.0;
    ASSERT_TRUE(data.ComputeAutoContrast(contrast));
    EXPECT_EQ(contrast.fl1_low, t.fluorescence_background);

    // A run of ten records has no reference images.
    data.m_selected_run.resize(10);
    ColorFrameContrast none;
    none.bf_out_max = 0;
    ASSERT_TRUE(data.ComputeAutoContrast(none));
    EXPECT_EQ(none.bf_out_max, 180);
    for (uint16_t level :
         {none.bf_low, none.bf_high, none.fl1_low, none.fl1_high, none.fl2_low, none.fl2_high})
        EXPECT_EQ(level, 65535);
}

TEST(CheckChannelPositionsTest, EveryRecordButTheLastNeedsItsImage)
{
    struct Case
    {
        std::vector<int> fl1;
        bool start;
        bool expected;
    } cases[] = {
        {{1, 2, 0}, true, true}, // the last record is not checked
        {{1, 0, 3}, true, false},
        {{1, 5, 3}, true, false},
        {{1, 2, 3}, false, false}, // a false flag stays false
    };
    for (const Case &c : cases) {
        ExperimentData data;
        for (int i = 0; i < 3; ++i) {
            CaptureLogRecord r;
            r.images.brightfield.position = i + 1;
            r.images.fluorescence1.position = c.fl1[static_cast<size_t>(i)];
            r.images.fluorescence2.position = i + 1;
            data.m_records.push_back(r);
        }
        bool fl1 = c.start, fl2 = true;
        data.CheckChannelPositions(fl1, fl2);
        EXPECT_EQ(fl1, c.expected);
        EXPECT_TRUE(fl2);
    }
}

} // namespace
