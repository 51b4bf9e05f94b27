#include "experiment/ImageUtilities.h"
#include "ExperimentTestSupport.h"

#include <gmock/gmock.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <filesystem>
#include <limits>

using vantelis::test::WriteFileBytes;
namespace fs = std::filesystem;

namespace {

class ImageUtilitiesTest : public ExperimentTest
{
  protected:
    ImageUtilities u;
};

TEST_F(ImageUtilitiesTest, ScaleIntensitiesTruncatesClampsAndRefusesBadFactors)
{
    struct Case
    {
        int type;
        double sample;
        double factor;
        bool ok;
        double expected;
    } cases[] = {
        {CV_16UC1, 40000, 2.0, true, 65535},
        {CV_16UC1, 1001, 0.5, true, 500},
        {CV_16UC1, 1000, 1.0, true, 1000},
        {CV_8UC1, 200, 1.5, true, 255},
        {CV_8UC1, 9, 0.25, true, 2},
        {CV_16UC1, 1000, 0.0, false, 1000},
        {CV_16UC1, 1000, -2.0, false, 1000},
        // An exposure of 0 in the log gives an infinite factor; NaN from 0 / 0.
        {CV_16UC1, 1000, std::numeric_limits<double>::infinity(), false, 1000},
        {CV_16UC1, 1000, std::numeric_limits<double>::quiet_NaN(), false, 1000},
        {CV_16UC1, 65535, 1e300, true, 65535},
        {CV_32FC1, 1000, 2.0, false, 1000},
    };
    for (const Case &c : cases) {
        cv::Mat image(3, 4, c.type, cv::Scalar(c.sample));
        EXPECT_EQ(u.ScaleImageIntensities(image, c.factor), c.ok) << c.sample << " x " << c.factor;
        double lo = 0, hi = 0;
        cv::minMaxLoc(image, &lo, &hi);
        EXPECT_EQ(lo, c.expected) << c.sample << " x " << c.factor;
        EXPECT_EQ(hi, c.expected);
    }
}

TEST_F(ImageUtilitiesTest, LoadRotateCropScale)
{
    cv::Mat image(40, 60, CV_16UC1);
    for (int r = 0; r < image.rows; ++r)
        for (int c = 0; c < image.cols; ++c)
            image.at<uint16_t>(r, c) = static_cast<uint16_t>(r * 100 + c);
    const std::string path = m_dir.file("img.png");
    ASSERT_TRUE(cv::imwrite(path, image));
    std::string error;

    // A 0 rotation skips the warp, and with it the vertical offset.
    cv::Mat same = u.LoadRotateCropScaleImage(path, 0, 60, 0, 40, 7, 0.0, 30, 20, 1.0, &error);
    ASSERT_EQ(same.type(), CV_16UC1);
    EXPECT_EQ(cv::norm(same, image, cv::NORM_INF), 0.0);
    // Limits past the image leave it uncut.
    EXPECT_EQ(u.LoadRotateCropScaleImage(path, 0, 100, 0, 400, 0, 0.0, 0, 0, 1.0).size(), image.size());

    cv::Mat cut = u.LoadRotateCropScaleImage(path, 10, 20, 5, 8, 0, 0.0, 0, 0, 2.0, &error);
    ASSERT_EQ(cut.size(), cv::Size(10, 3));
    EXPECT_EQ(cut.at<uint16_t>(0, 0), 2 * (5 * 100 + 10));
    EXPECT_EQ(cut.at<uint16_t>(2, 9), 2 * (7 * 100 + 19));

    // A tiny rotation with an offset of -3 shifts the rows down by 3 (bilinear, nearly exact).
    cv::Mat shifted = u.LoadRotateCropScaleImage(path, 0, 60, 0, 40, -3, 1e-9, 30, 20, 1.0, &error);
    EXPECT_NEAR(shifted.at<uint16_t>(10, 30), 7 * 100 + 30, 1);

    struct Bad
    {
        std::string path;
        int c0, c1, r0, r1;
        const char *message;
    } bad[] = {
        {m_dir.file("none.png"), 0, 60, 0, 40, "Cannot read the image"},
        {path, 0, 60, 30, 50, "do not lie in the 40 rows"},
        {path, 50, 40, 0, 40, "do not lie in the 60 columns"},
        {path, -5, 10, 0, 40, "do not lie in the 60 columns"},
    };
    for (const Bad &b : bad) {
        error.clear();
        EXPECT_TRUE(
            u.LoadRotateCropScaleImage(b.path, b.c0, b.c1, b.r0, b.r1, 0, 0.0, 0, 0, 1.0, &error).empty());
        EXPECT_THAT(error, ::testing::HasSubstr(b.message));
    }
}

TEST_F(ImageUtilitiesTest, RotationAboutAPointKeepsThatPoint)
{
    cv::Mat image(101, 101, CV_32FC1, cv::Scalar(0));
    image.at<float>(50, 80) = 1000.0f; // 30 columns right of the centre (50, 50)
    u.RotateImageAboutPoint(image, 3.14159265358979 / 2, 50, 50, 0);
    // A quarter turn counter-clockwise on screen moves it 30 rows up.
    cv::Point at;
    cv::minMaxLoc(image, nullptr, nullptr, nullptr, &at);
    EXPECT_EQ(at, cv::Point(50, 20));
}

TEST_F(ImageUtilitiesTest, ColumnProfileAndQuadraticFit)
{
    cv::Mat image(2, 3, CV_16UC1);
    image.at<uint16_t>(0, 0) = 1, image.at<uint16_t>(1, 0) = 2;
    image.at<uint16_t>(0, 1) = 10, image.at<uint16_t>(1, 1) = 20;
    image.at<uint16_t>(0, 2) = 0, image.at<uint16_t>(1, 2) = 65535;
    EXPECT_EQ(u.ComputeColumnProfile(image), (std::vector<double>{1.5, 15.0, 32767.5}));

    // Points on y = 3 - 2x + 0.5x^2 are fitted exactly.
    std::vector<double> x, y;
    for (int i = 0; i < 8; ++i) {
        x.push_back(i * 10.0);
        y.push_back(3 - 2 * x.back() + 0.5 * x.back() * x.back());
    }
    const std::vector<double> fit = u.FitQuadraticProfile(y, x);
    ASSERT_EQ(fit.size(), y.size());
    for (size_t i = 0; i < y.size(); ++i)
        EXPECT_NEAR(fit[i], y[i], 1e-6);
    EXPECT_EQ(u.m_profileFit, fit);
    EXPECT_EQ(u.EvaluateQuadratic({1, 2}, {10, 20}, 0.5), (std::vector<double>{11.5, 22.5}));
}

TEST_F(ImageUtilitiesTest, NormalizeColumnsBrightensToTheScale)
{
    cv::Mat image(2, 3, CV_16UC1, cv::Scalar(1000));
    u.m_scale = 200.0;
    const cv::Mat out = u.NormalizeColumnsByProfile({100.0, 200.0, 0.0}, image);
    EXPECT_EQ(out.at<uint16_t>(0, 0), 2000);
    EXPECT_EQ(out.at<uint16_t>(1, 1), 1000);
    EXPECT_EQ(out.at<uint16_t>(0, 2), 65535);  // a zero profile value saturates
    EXPECT_EQ(image.at<uint16_t>(0, 0), 1000); // the input is not changed
    cv::Mat colour(2, 3, CV_16UC3, cv::Scalar(1000, 1000, 1000));
    const cv::Mat back = u.NormalizeColumnsByProfile({100.0, 200.0, 400.0}, colour);
    ASSERT_EQ(back.type(), CV_16UC3);
    EXPECT_EQ(back.at<cv::Vec3w>(0, 2)[1], 500);
}

TEST_F(ImageUtilitiesTest, ImageStripCrossFades)
{
    u.m_overlap = 4;
    cv::Mat strip(2, 6, CV_8UC3, cv::Scalar(200, 200, 200));
    cv::Mat next(2, 5, CV_8UC3, cv::Scalar(0, 100, 40));
    ASSERT_TRUE(u.BuildImageStrip(next, strip));
    ASSERT_EQ(strip.cols, 6 + 5 - 4);
    // Left-edge weights 1, 0.75, 0.5, 0.25 over columns 2..5.
    const int expected[4] = {200, 150, 100, 50};
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(strip.at<cv::Vec3b>(1, 2 + k)[0], expected[k]) << k;
    EXPECT_EQ(strip.at<cv::Vec3b>(0, 3)[1], static_cast<int>(150 + 100 * 0.25f));
    EXPECT_EQ(strip.at<cv::Vec3b>(0, 6)[2], 40);
    EXPECT_EQ(u.m_leftEdge.cols, 4);

    cv::Mat narrow(2, 3, CV_8UC3);
    cv::Mat before = strip.clone();
    EXPECT_FALSE(u.BuildImageStrip(narrow, strip));
    EXPECT_FALSE(u.BuildImageStrip(cv::Mat(3, 9, CV_8UC3), strip));
    EXPECT_EQ(cv::norm(strip, before, cv::NORM_INF), 0.0);
}

TEST_F(ImageUtilitiesTest, MatchSearchesTheLeftThirdOnly)
{
    cv::Mat image(5, 10, CV_8UC1, cv::Scalar(0));
    cv::Mat templ(3, 2, CV_8UC1, cv::Scalar(0));
    templ.at<uint8_t>(1, 0) = 255;
    // The pattern at column 2 (inside columns 0..3) is found; a copy at column 6 is not searched.
    image.at<uint8_t>(2, 2) = 255;
    double score = 0;
    cv::Point at;
    ASSERT_TRUE(u.MatchTemplateInWindow(image, templ, score, at));
    EXPECT_NEAR(score, 1.0, 1e-6);
    EXPECT_EQ(at, cv::Point(2, 1));
    image.at<uint8_t>(2, 2) = 0;
    image.at<uint8_t>(2, 6) = 255;
    ASSERT_TRUE(u.MatchTemplateInWindow(image, templ, score, at));
    EXPECT_LT(score, 0.5);
    std::string error;
    EXPECT_FALSE(u.MatchTemplateInWindow(image, cv::Mat(3, 5, CV_8UC1), score, at, &error));
    EXPECT_THAT(error, ::testing::HasSubstr("does not fit the search region of 4 x 5"));
}

// Split-line lists on a small drawn channel: a line piece with a bar at column 100, row 210, and
// another at column 1060 (in the part of the right third that the second stage searches), two rows
// lower.
class SplitLineListTest : public ImageUtilitiesTest
{
  protected:
    SplitLineListTest()
    {
        m_image = cv::Mat(400, 1500, CV_8UC1, cv::Scalar(200));
        Pattern(m_image, 100, 210);
        Pattern(m_image, 1060, 212);
        fs::create_directories(Folder());
        cv::Mat templ(41, 61, CV_8UC1, cv::Scalar(200));
        Pattern(templ, 30, 20);
        cv::imwrite(Folder() + "Splitline_a.png", templ);
    }
    static void Pattern(cv::Mat &image, int x, int y)
    {
        cv::line(image, cv::Point(std::max(0, x - 200), y), cv::Point(std::min(image.cols - 1, x + 200), y),
                 cv::Scalar(60), 3);
        cv::rectangle(image, cv::Point(x - 3, y - 12), cv::Point(x + 3, y + 12), cv::Scalar(60), cv::FILLED);
    }
    static std::string Folder() { return theApp.m_data_directory + "/Templates/splitline-templates/"; }
    void List(const std::string &text) { WriteFileBytes(Folder() + "list.txt", text); }
    // Centre row (0 + 401 - 1) / 2 = 200.
    bool Find(const std::string &id, SplitLineOutcome &outcome, std::string &error)
    {
        return u.FindSplitLineByTemplate(m_image, 500.0, 0.0, 401.0, id, offset, rotation, cx, cy, &error,
                                         &outcome);
    }
    cv::Mat m_image;
    int offset = -1;
    double rotation = -1, cx = -1, cy = -1;
};

TEST_F(SplitLineListTest, FindsOffsetTiltAndCentreWithoutTouchingTheImage)
{
    List("CartridgeType\tImagePixelsPermm\tTemplateImage\r\n101,102\t500\tSplitline_a.png\r\n");
    const cv::Mat before = m_image.clone();
    SplitLineOutcome outcome;
    std::string error;
    ASSERT_TRUE(Find("102", outcome, error)) << error;
    EXPECT_EQ(outcome, SplitLineOutcome::Located);
    EXPECT_EQ(offset, 10); // the bar's centre row 210 less the centre row 200
    EXPECT_EQ(cx, 70.0);   // left edge of the matched template
    EXPECT_EQ(cy, 190.0);  // its top
    EXPECT_NEAR(rotation, std::atan(2.0 / 960.0), 1e-9);
    EXPECT_EQ(cv::norm(m_image, before, cv::NORM_INF), 0.0);
}

TEST_F(SplitLineListTest, ListCases)
{
    struct Case
    {
        const char *name;
        const char *list; // nullptr: no list file
        const char *id;
        bool result;
        SplitLineOutcome outcome;
        const char *message;
    } cases[] = {
        {"no list", nullptr, "101", false, SplitLineOutcome::NoTemplate,
         "No split-line template list (*.txt)"},
        {"ids compared whole and exactly",
         "CartridgeType\tImagePixelsPermm\tTemplateImage\n abc,ABC\t500\tSplitline_a.png\n", "abc", false,
         SplitLineOutcome::NoTemplate, "No split-line template for cartridge id \"abc\""},
        {"second id matches",
         "CartridgeType\tImagePixelsPermm\tTemplateImage\n abc,ABC\t500\tSplitline_a.png\n", "ABC", true,
         SplitLineOutcome::Located, ""},
        {"columns in another order",
         "TemplateImage\tx\tImagePixelsPermm\tCartridgeType\nSplitline_a.png\t\t500\t7\n", "7", true,
         SplitLineOutcome::Located, ""},
        {"rows before the header read column 0",
         "Splitline_a.png\t500\nCartridgeType\tImagePixelsPermm\tTemplateImage\n", "Splitline_a.png", false,
         SplitLineOutcome::Failed, "Split-line template list"},
        {"row shorter than its columns",
         "TemplateImage\tCartridgeType\tImagePixelsPermm\r\n\r\nSplitline_a.png\t101\r\n", "101", false,
         SplitLineOutcome::Failed, "has no CartridgeType or ImagePixelsPermm cell"},
        {"scale not a number", "CartridgeType\tImagePixelsPermm\tTemplateImage\n101\tabc\tSplitline_a.png\n",
         "101", false, SplitLineOutcome::Failed, "ImagePixelsPermm \"abc\" is not a number"},
        {"template missing", "CartridgeType\tImagePixelsPermm\tTemplateImage\n101\t500\tSplitline_none.png\n",
         "101", false, SplitLineOutcome::Failed, "Cannot read the split-line template"},
        {"template scaled to nothing",
         "CartridgeType\tImagePixelsPermm\tTemplateImage\n101\t1e9\tSplitline_a.png\n", "101", false,
         SplitLineOutcome::Failed, "has no usable size"},
        // Twice the scale: the template is resized to 120 x 80 and no longer fits the pattern.
        {"scaled template scores low",
         "CartridgeType\tImagePixelsPermm\tTemplateImage\n101\t250\tSplitline_a.png\n", "101", true,
         SplitLineOutcome::NoMatch, "not above 0.8"},
        {"template name in another case",
         "CartridgeType\tImagePixelsPermm\tTemplateImage\n101\t500\tSPLITLINE_A.PNG\n", "101", false,
         SplitLineOutcome::NoTemplate, "No split-line template for cartridge id"},
        {"file name case ignored",
         "CartridgeType\tImagePixelsPermm\tTemplateImage\n101\t500\tSplitline_A.PNG\n", "101", true,
         SplitLineOutcome::Located, ""},
        {"other rows ignored",
         "CartridgeType\tImagePixelsPermm\tTemplateImage\nnote\nx\ty\tz\n101\t500\tSplitline_a.png\n", "101",
         true, SplitLineOutcome::Located, ""},
    };
    for (const Case &c : cases) {
        std::error_code ec;
        fs::remove(Folder() + "list.txt", ec);
        if (c.list)
            List(c.list);
        SplitLineOutcome outcome = SplitLineOutcome::Located;
        std::string error;
        EXPECT_EQ(Find(c.id, outcome, error), c.result) << c.name;
        EXPECT_EQ(outcome, c.outcome) << c.name;
        EXPECT_THAT(error, ::testing::HasSubstr(c.message)) << c.name;
        if (c.outcome != SplitLineOutcome::Located) {
            EXPECT_EQ(offset, 0) << c.name;
            EXPECT_EQ(rotation, 0.0) << c.name;
        }
    }
}

TEST_F(SplitLineListTest, WindowOutsideTheImageIsRefused)
{
    List("CartridgeType\tImagePixelsPermm\tTemplateImage\n101\t500\tSplitline_a.png\n");
    int o = 0;
    double r = 0, x = 0, y = 0;
    std::string error;
    SplitLineOutcome outcome;
    // Centre row 50: the window would start at 50 - 20 - 80 < 0.
    EXPECT_FALSE(u.FindSplitLineByTemplate(m_image, 500.0, 0.0, 101.0, "101", o, r, x, y, &error, &outcome));
    EXPECT_EQ(outcome, SplitLineOutcome::Failed);
    EXPECT_THAT(error, ::testing::HasSubstr("leave the image of 400 rows"));
    EXPECT_FALSE(u.FindSplitLineByTemplate(cv::Mat(400, 1500, CV_16UC1), 500.0, 0.0, 401.0, "101", o, r, x, y,
                                           &error));
    EXPECT_THAT(error, ::testing::HasSubstr("8-bit grey"));
}

} // namespace
