#include "analysis/ProjectionAnalysis.h"

#include "Ostravo/LogError.h"
#include "app/PlexorinApp.h"
#include "app/RenderList.h"
#include "app/Renderer.h"
#include "app/ToolServices.h"
#include "platform/Files.h"
#include "support/FakeUi.h"
#include "support/TempDir.h"

#include <array>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace {

using vantelis::test::ReadFileBytes;
using vantelis::test::ScopedFakeUi;
using vantelis::test::TempDir;
using vantelis::test::WriteFileBytes;

// A vertical band across a 60 x 200 image: level + amplitude x exp(-0.5 ((r - centre) / sigma)^2).
cv::Mat BandImage(double level, std::vector<std::array<double, 3>> bands, int rows = 200, int cols = 60)
{
    cv::Mat image(rows, cols, CV_16UC1);
    for (int r = 0; r < rows; ++r) {
        double value = level;
        for (const auto &[centre, sigma, amplitude] : bands)
            value += amplitude * std::exp(-0.5 * (r - centre) * (r - centre) / (sigma * sigma));
        image.row(r).setTo(std::lround(value));
    }
    return image;
}

// Region columns 5..54 over all 200 rows; 1000 pixels per mm, 5 um smoothing (5 rows).
ProjectionAnalysisParams BandParams(int32_t peaks, bool valleys)
{
    ProjectionAnalysisParams p;
    p.PixelsPerMM = 1000.0;
    p.SmoothingWindowMicrons = 5.0;
    p.NumPeaksToFind = peaks;
    p.FindValleys = valleys;
    p.StdevIntegrationArea = 2.0;
    p.IntegrationSamples = 21;
    p.left = 5;
    p.top = 0;
    p.right = 54;
    p.bottom = 199;
    return p;
}

struct BandCase
{
    const char *label;
    double centre, sigma, amplitude;
    bool valleys;
};

TEST(ProjectionFit, FindsAGaussianBandAndItsWidth)
{
    const BandCase cases[] = {
        {"bright band", 120.0, 8.0, 3000.0, false},
        {"dark band", 80.0, 6.0, -2000.0, true},
        {"wide band", 100.0, 14.0, 1500.0, false},
    };
    for (const BandCase &c : cases) {
        SCOPED_TRACE(c.label);
        const cv::Mat image = BandImage(3000.0, {{c.centre, c.sigma, c.amplitude}});
        std::vector<ProjectionPeak> peaks;
        int64_t elapsed = -1;
        EString error;
        ASSERT_TRUE(AnalyzeProjection(image, BandParams(1, c.valleys), peaks, elapsed, error));
        EXPECT_STREQ(error.c_str(), "");
        EXPECT_GE(elapsed, 0);
        ASSERT_EQ(peaks.size(), 1u);
        const ProjectionPeak &peak = peaks[0];
        EXPECT_NEAR(peak.index, c.centre, 1.0);
        EXPECT_NEAR(peak.centre * 200.0, c.centre, 1.0);
        EXPECT_NEAR(peak.stdev * 200.0, c.sigma, 0.1 * c.sigma);
        EXPECT_FALSE(peak.edge);
        EXPECT_GT(peak.amplitude, 0.9); // normalised: the band reaches nearly 1
        EXPECT_LT(peak.fit_error, 0.05);
        EXPECT_FALSE(peak.x_curve); // curves only for drawing or the debug file
    }
}

TEST(ProjectionFit, FindsTwoBandsStrongestFirstAndFlagsAPeakAtTheEdge)
{
    const cv::Mat two = BandImage(1000.0, {{60.0, 6.0, 3000.0}, {140.0, 6.0, 2000.0}});
    std::vector<ProjectionPeak> peaks;
    int64_t elapsed = 0;
    EString error;
    ASSERT_TRUE(AnalyzeProjection(two, BandParams(2, false), peaks, elapsed, error));
    ASSERT_EQ(peaks.size(), 2u);
    EXPECT_NEAR(peaks[0].centre * 200.0, 60.0, 1.0);
    EXPECT_NEAR(peaks[1].centre * 200.0, 140.0, 1.0);
    EXPECT_NEAR(peaks[0].stdev * 200.0, 6.0, 0.6);
    EXPECT_NEAR(peaks[1].stdev * 200.0, 6.0, 0.6);

    // A band centred on the region's first row: the fit window leaves the data at once.
    const cv::Mat edge = BandImage(1000.0, {{0.0, 6.0, 3000.0}});
    peaks.clear();
    ASSERT_TRUE(AnalyzeProjection(edge, BandParams(1, false), peaks, elapsed, error));
    ASSERT_EQ(peaks.size(), 1u);
    EXPECT_EQ(peaks[0].index, 0);
    EXPECT_TRUE(peaks[0].edge);

    // No peaks asked for: none fitted.
    peaks.clear();
    ASSERT_TRUE(AnalyzeProjection(two, BandParams(0, false), peaks, elapsed, error));
    EXPECT_TRUE(peaks.empty());
}

TEST(ProjectionFit, InvalidParametersAreReportedAndNotFitted)
{
    const cv::Mat image = BandImage(1000.0, {{100.0, 8.0, 3000.0}});
    ProjectionAnalysisParams params = BandParams(1, false);
    params.PixelsPerMM = 0.0;
    std::vector<ProjectionPeak> peaks;
    int64_t elapsed = 0;
    EString error;
    EXPECT_TRUE(AnalyzeProjection(image, params, peaks, elapsed, error));
    EXPECT_STREQ(error.c_str(), "Pixels per mm is invalid, must be between 30 and 5000");
    EXPECT_TRUE(peaks.empty());

    // A region past the image, or a baseline shorter than the region, is refused outright.
    params = BandParams(1, false);
    params.bottom = 200;
    EXPECT_FALSE(AnalyzeProjection(image, params, peaks, elapsed, error));
    EXPECT_NE(std::string(error.c_str()).find("not inside the 60 x 200 image"), std::string::npos);
    params = BandParams(1, false);
    params.baseline.assign(199, 0);
    EXPECT_FALSE(AnalyzeProjection(image, params, peaks, elapsed, error));
    EXPECT_NE(std::string(error.c_str()).find("baseline holds 199 values for 200 region rows"),
              std::string::npos);
    EXPECT_FALSE(AnalyzeProjection(cv::Mat(200, 60, CV_8UC1, cv::Scalar(1)), BandParams(1, false), peaks,
                                   elapsed, error));
}

TEST(ProjectionFit, BaselineIsSubtractedBeforeNormalising)
{
    // The image's band sits on a ramp that the baseline carries: without it the ramp's top wins.
    cv::Mat image = BandImage(0.0, {{50.0, 6.0, 400.0}});
    ProjectionAnalysisParams params = BandParams(1, false);
    for (int r = 0; r < 200; ++r) {
        image.row(r) += cv::Scalar(1000 + 5 * r);
        params.baseline.push_back(1000 + 5 * r);
    }
    std::vector<ProjectionPeak> peaks;
    int64_t elapsed = 0;
    EString error;
    ASSERT_TRUE(AnalyzeProjection(image, params, peaks, elapsed, error));
    ASSERT_EQ(peaks.size(), 1u);
    EXPECT_NEAR(peaks[0].centre * 200.0, 50.0, 1.0);
    params.baseline.clear();
    peaks.clear();
    ASSERT_TRUE(AnalyzeProjection(image, params, peaks, elapsed, error));
    ASSERT_EQ(peaks.size(), 1u);
    EXPECT_GT(peaks[0].index, 150);
}

// Records every line drawn.
class RecordingSurface : public DrawingSurface
{
  public:
    struct Segment
    {
        int x0, y0, x1, y1;
        Pen pen;
    };
    void Line(int x0, int y0, int x1, int y1, const Pen &pen) override
    {
        lines.push_back({x0, y0, x1, y1, pen});
    }
    void Pixel(int, int, uint8_t, uint8_t, uint8_t) override {}
    void Text(int, int, const std::string &, uint8_t, uint8_t, uint8_t) override {}
    cv::Size TextSize(const std::string &) override { return {}; }

    size_t Count(uint8_t r, uint8_t g, uint8_t b, int width) const
    {
        size_t n = 0;
        for (const Segment &s : lines)
            n += s.pen.red == r && s.pen.green == g && s.pen.blue == b && s.pen.width == width;
        return n;
    }
    std::vector<Segment> lines;
};

TEST(ProjectionPlot, DrawsFrameProjectionPeakAndCurveRightOfTheRegion)
{
    // A 600 x 400 client area over the whole 60 x 200 image: column c at x = 10 c, row r at y = 2 r.
    // Region columns 5..54 (50 wide): the box spans columns 55 to 54 + 50 / 4 - 1 = 65, i.e. x 550 to
    // 650, and rows 0 to 199, i.e. y 0 to 398; its frame is drawn one pixel to the right.
    const cv::Mat image = BandImage(1000.0, {{100.0, 8.0, 3000.0}});
    RenderJob job;
    job.image = image;
    job.target_rect = {0, 0, 600, 400};
    RecordingSurface surface;
    job.m_dc = &surface;

    for (int32_t peaks : {0, 1}) {
        SCOPED_TRACE(peaks);
        surface.lines.clear();
        std::vector<ProjectionPeak> found;
        int64_t elapsed = 0;
        EString error;
        ASSERT_TRUE(AnalyzeProjection(image, BandParams(peaks, false), found, elapsed, error, &job));
        ASSERT_GE(surface.lines.size(), 4u);
        const int expectedFrame[4][4] = {
            {551, 0, 551, 398}, {551, 398, 651, 398}, {651, 398, 651, 0}, {651, 0, 551, 0}};
        for (int i = 0; i < 4; ++i) {
            const RecordingSurface::Segment &s = surface.lines[size_t(i)];
            EXPECT_EQ((std::array<int, 4>{s.x0, s.y0, s.x1, s.y1}),
                      (std::array<int, 4>{expectedFrame[i][0], expectedFrame[i][1], expectedFrame[i][2],
                                          expectedFrame[i][3]}));
        }
        EXPECT_EQ(surface.Count(192, 192, 0, 1), 4u);
        EXPECT_EQ(surface.Count(255, 0, 0, 2), 199u); // a polyline through 200 samples
        // The projection runs down the box from its top.
        const auto &first = surface.lines[4];
        EXPECT_EQ(first.y0, 0);
        EXPECT_EQ(surface.lines[4 + 198].y1, 396); // sample 199 lies at 199 / 200 of the box
        EXPECT_EQ(surface.Count(100, 0, 151, 3), peaks == 0 ? 0u : 2u);   // the cross at the peak
        EXPECT_EQ(surface.Count(60, 160, 100, 1), peaks == 0 ? 0u : 20u); // the fitted curve, 21 points
        if (peaks == 1) {
            ASSERT_EQ(found.size(), 1u);
            ASSERT_TRUE(found[0].x_curve && found[0].y_curve);
            EXPECT_EQ(found[0].x_curve->size(), 21u);
            // The cross sits at the band's row (y = 2 x 100), near the box's right edge.
            for (const auto &s : surface.lines)
                if (s.pen.width == 3 && s.y0 == s.y1) {
                    EXPECT_NEAR(s.y0, 200, 2);
                    // Five-row smoothing leaves the top near 0.95 of the box width.
                    EXPECT_GE(s.x0 + 3, 640);
                    EXPECT_LE(s.x0 + 3, 650);
                }
        }
    }

    // Without a surface nothing is drawn (and nothing breaks).
    job.m_dc = nullptr;
    std::vector<ProjectionPeak> found;
    int64_t elapsed = 0;
    EString error;
    EXPECT_TRUE(AnalyzeProjection(image, BandParams(1, false), found, elapsed, error, &job));
}

TEST(ProjectionPlot, DebugFileHoldsTheFirstFitAndTheChannelWeights)
{
    TempDir dir;
    const cv::Mat image = BandImage(1000.0, {{100.0, 8.0, 3000.0}});
    ProjectionAnalysisParams params = BandParams(2, false);
    params.UpperChannel = 50; // weights 0 at row 50, about 1 at row 100 (t = 50 / 101 - 0.5)
    params.LowerChannel = 150;
    std::vector<ProjectionPeak> peaks;
    int64_t elapsed = 0;
    EString error;
    const std::string path = dir.file("fit.txt");
    ASSERT_TRUE(AnalyzeProjection(image, params, peaks, elapsed, error, nullptr, path.c_str()));
    const std::string bytes = ReadFileBytes(path);
    std::vector<std::string> lines;
    std::istringstream in(bytes);
    for (std::string line; std::getline(in, line);) {
        ASSERT_FALSE(line.empty());
        EXPECT_EQ(line.back(), '\r');
        line.pop_back();
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 6u + 200u);
    EXPECT_EQ(lines[0].rfind("version\t", 0), 0u);
    ASSERT_EQ(lines[1].rfind("center\t", 0), 0u);
    EXPECT_NEAR(std::stod(lines[1].substr(7)), 0.5, 0.005); // row 100 of 200
    EXPECT_EQ(lines[4], "err\ttrue");
    EXPECT_EQ(lines[5], "x\ty\tod_factor\tgx\tgy");
    auto fields = [&](size_t row) {
        return std::count(lines[6 + row].begin(), lines[6 + row].end(), '\t') + 1;
    };
    EXPECT_EQ(fields(0), 5); // with the curve (21 points)
    EXPECT_EQ(fields(20), 5);
    EXPECT_EQ(fields(21), 3); // data only
    EXPECT_EQ(lines[6 + 50].substr(lines[6 + 50].rfind('\t') + 1), "0.0000");
    EXPECT_EQ(lines[6 + 100].substr(lines[6 + 100].rfind('\t') + 1), "0.9999");
    // Only the first peak carries curves for the file; no drawing asked for more.
    ASSERT_EQ(peaks.size(), 2u);
    EXPECT_TRUE(peaks[0].x_curve);
    EXPECT_FALSE(peaks[1].x_curve);

    // A file that cannot be made is reported, and the fit goes on.
    ScopedFakeUi ui;
    peaks.clear();
    const std::string bad = dir.file("missing/fit.txt");
    ASSERT_TRUE(AnalyzeProjection(image, params, peaks, elapsed, error, nullptr, bad.c_str()));
    EXPECT_EQ(peaks.size(), 2u);
    ASSERT_EQ(ui->Messages().size(), 1u);
    EXPECT_EQ(ui->Messages()[0].text, "Can't create file: " + bad);

    // A full disk keeps the earlier file whole and says the write failed.
    platform::FailNextReplaceAt(platform::ReplaceFailurePoint::Write);
    ASSERT_TRUE(AnalyzeProjection(image, params, peaks, elapsed, error, nullptr, path.c_str()));
    ASSERT_EQ(ui->Messages().size(), 2u);
    EXPECT_EQ(ui->Messages()[1].text, "Can't write file: " + path);
    EXPECT_EQ(ReadFileBytes(path), bytes);
    EXPECT_EQ(
        std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()),
        1);
    platform::FailNextReplaceAt(platform::ReplaceFailurePoint::None);
}

TEST(ProjectionSearch, PeaksValleysAndSmoothing)
{
    std::vector<int32_t> indices;
    const std::vector<double> values = {0, 1, 5, 1, 0, 3, 0, 2, 0, 0};
    // Window 2 (half 1): the maximum at 2, then the local maxima 5 and 7 by height.
    FindProjectionPeaks(values, 3, 2, indices);
    EXPECT_EQ(indices, (std::vector<int32_t>{2, 5, 7}));
    FindProjectionPeaks(values, 2, 2, indices);
    EXPECT_EQ(indices, (std::vector<int32_t>{2, 5}));
    FindProjectionPeaks(values, 1, 2, indices);
    EXPECT_EQ(indices, (std::vector<int32_t>{2}));
    FindProjectionPeaks(values, 0, 2, indices);
    EXPECT_TRUE(indices.empty());
    // Window 6 (half 3): candidates 3..5 only, and none within 3 of the maximum: none.
    FindProjectionPeaks(values, 3, 6, indices);
    EXPECT_EQ(indices, (std::vector<int32_t>{2}));
    std::vector<double> negated;
    for (double v : values)
        negated.push_back(-v);
    FindProjectionValleys(negated, 3, 2, indices);
    EXPECT_EQ(indices, (std::vector<int32_t>{2, 5, 7}));
    // Window 0: every sample but the last qualifies; ties keep the first.
    FindProjectionPeaks({3, 1, 1, 9}, 4, 0, indices);
    EXPECT_EQ(indices, (std::vector<int32_t>{3, 0, 1, 2}));
    FindProjectionPeaks({}, 2, 10, indices);
    EXPECT_EQ(indices, (std::vector<int32_t>{-1}));

    // Forward running means 0 0 3 3 0, backward 0 3 3 0 0.
    std::vector<double> smooth = {0, 0, 6, 0, 0};
    ASSERT_TRUE(SmoothForwardBackward(smooth, 2));
    EXPECT_EQ(smooth, (std::vector<double>{0, 1.5, 3, 1.5, 0}));
    std::vector<double> wide = {4, 8};
    ASSERT_TRUE(SmoothForwardBackward(wide, 5)); // the window covers everything: 4 | 6 and 6 | 8
    EXPECT_EQ(wide, (std::vector<double>{5, 7}));
}

TEST(ProjectionSearch, FitErrorSamplingAndRange)
{
    std::vector<double> x, f;
    for (int j = 0; j <= 100; ++j) {
        x.push_back(j / 100.0);
        f.push_back(j / 100.0); // a ramp: the amplitude is the position itself
    }
    double amplitude = 0.0;
    std::vector<double> gx, gy;
    const double error = GaussianFitError(x, f, 0.55, 0.1, 1.0, 11, &amplitude, &gx, &gy);
    EXPECT_LT(error, 1e100);
    EXPECT_NEAR(amplitude, 0.55, 1e-12);
    // 11 points 2 x 1.0 / 11 = 0.18 sigma apart, from -0.91 to +0.91 sigma.
    ASSERT_EQ(gx.size(), 11u);
    EXPECT_NEAR(gx[1] - gx[0], 0.1 * 2.0 / 11.0, 1e-12);
    EXPECT_NEAR(gx[0], 0.55 - 0.1 * 10.0 / 11.0, 1e-12);
    EXPECT_NEAR(gx[10], 0.55 + 0.1 * 10.0 / 11.0, 1e-12);
    EXPECT_NEAR(gy[5], 0.55, 1e-12); // the Gaussian's top at the centre
    // The window leaves the data: out of range.
    EXPECT_EQ(GaussianFitError(x, f, 0.05, 0.1, 1.0, 11), kProjectionFitOutOfRange);
    EXPECT_EQ(GaussianFitError(x, f, 1.0, 0.01, 1.0, 11, &amplitude), kProjectionFitOutOfRange);
    EXPECT_EQ(amplitude, kProjectionFitOutOfRange); // the last position has no pair after it
}

TEST(ProjectionPeakRecord, CopiesCurvesOnlyFromASourceThatHasThem)
{
    ProjectionPeak source;
    source.centre = 0.25;
    source.x_curve = std::make_unique<std::vector<double>>(std::vector<double>{1, 2});
    ProjectionPeak target;
    target.y_curve = std::make_unique<std::vector<double>>(std::vector<double>{9});
    target = source;
    EXPECT_EQ(target.centre, 0.25);
    ASSERT_TRUE(target.x_curve);
    EXPECT_NE(target.x_curve.get(), source.x_curve.get());
    EXPECT_EQ(*target.x_curve, (std::vector<double>{1, 2}));
    ASSERT_TRUE(target.y_curve); // absent in the source: kept
    EXPECT_EQ(*target.y_curve, (std::vector<double>{9}));

    target.x_curve->clear(); // an empty curve is kept, a filled one freed
    target.FreeFitCurves();
    EXPECT_TRUE(target.x_curve);
    EXPECT_FALSE(target.y_curve);
}

// ---- Parameters ----

ProjectionAnalysisParams ValidParams()
{
    ProjectionAnalysisParams p;
    p.PixelsPerMM = 500.0;
    p.SmoothingWindowMicrons = 15.0;
    p.NumPeaksToFind = 0;
    p.StdevIntegrationArea = 1.0;
    p.IntegrationSamples = 11;
    p.left = 0;
    p.top = 0;
    p.right = 30;
    p.bottom = 30;
    return p;
}

TEST(ProjectionParams, ValidationMessages)
{
    const std::string smoothing = "Smoothing Window (um) is invalid, must be between 0 and 150.0";
    const std::string peaks = "Num Peaks To Find is invalid, must be between 0 and 10";
    const std::string area = "Stdev Integration Area is invalid, must be between 0.5 and 2.0";
    const std::string samples = "Integration Samples is invalid, must be an odd number between 5 and 49";
    const std::string scale = "Pixels per mm is invalid, must be between 30 and 5000";
    const std::string roi = "ROI is invalid, must be at least 30x30 and all numbers positive integers.";
    struct Case
    {
        const char *label;
        void (*change)(ProjectionAnalysisParams &);
        std::string expected;
    };
    const Case cases[] = {
        {"valid", [](ProjectionAnalysisParams &) {}, ""},
        {"smoothing 0", [](ProjectionAnalysisParams &p) { p.SmoothingWindowMicrons = 0; }, ""},
        {"smoothing 150", [](ProjectionAnalysisParams &p) { p.SmoothingWindowMicrons = 150; }, ""},
        {"smoothing negative", [](ProjectionAnalysisParams &p) { p.SmoothingWindowMicrons = -0.1; },
         smoothing},
        {"smoothing 150.1", [](ProjectionAnalysisParams &p) { p.SmoothingWindowMicrons = 150.1; }, smoothing},
        {"smoothing not a number",
         [](ProjectionAnalysisParams &p) { p.SmoothingWindowMicrons = std::nan(""); }, smoothing},
        {"peaks 10", [](ProjectionAnalysisParams &p) { p.NumPeaksToFind = 10; }, ""},
        {"peaks 11", [](ProjectionAnalysisParams &p) { p.NumPeaksToFind = 11; }, peaks},
        {"peaks -1", [](ProjectionAnalysisParams &p) { p.NumPeaksToFind = -1; }, peaks},
        {"area 0.5 and 2.0", [](ProjectionAnalysisParams &p) { p.StdevIntegrationArea = 0.5; }, ""},
        {"area 0.49", [](ProjectionAnalysisParams &p) { p.StdevIntegrationArea = 0.49; }, area},
        {"area 2.01", [](ProjectionAnalysisParams &p) { p.StdevIntegrationArea = 2.01; }, area},
        {"samples 5", [](ProjectionAnalysisParams &p) { p.IntegrationSamples = 5; }, ""},
        {"samples 49", [](ProjectionAnalysisParams &p) { p.IntegrationSamples = 49; }, ""},
        {"samples 3", [](ProjectionAnalysisParams &p) { p.IntegrationSamples = 3; }, samples},
        {"samples 10", [](ProjectionAnalysisParams &p) { p.IntegrationSamples = 10; }, samples},
        {"samples 51", [](ProjectionAnalysisParams &p) { p.IntegrationSamples = 51; }, samples},
        {"scale 29.9", [](ProjectionAnalysisParams &p) { p.PixelsPerMM = 29.9; }, scale},
        {"scale 5000.1", [](ProjectionAnalysisParams &p) { p.PixelsPerMM = 5000.1; }, scale},
        {"left -1", [](ProjectionAnalysisParams &p) { p.left = -1; }, roi},
        {"top -1", [](ProjectionAnalysisParams &p) { p.top = -1; }, roi},
        {"29 wide", [](ProjectionAnalysisParams &p) { p.right = 29; }, roi},
        {"29 high", [](ProjectionAnalysisParams &p) { p.bottom = 29; }, roi},
        {"no region", [](ProjectionAnalysisParams &p) { p.right = p.bottom = 0; }, roi},
        {"two at once",
         [](ProjectionAnalysisParams &p) {
             p.SmoothingWindowMicrons = 200;
             p.IntegrationSamples = 10;
         },
         smoothing + "\n" + samples},
        {"all six",
         [](ProjectionAnalysisParams &p) {
             p = ProjectionAnalysisParams();
             p.SmoothingWindowMicrons = 151;
             p.NumPeaksToFind = 12;
         },
         smoothing + "\n" + peaks + "\n" + area + "\n" + samples + "\n" + scale + "\n" + roi},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        ProjectionAnalysisParams p = ValidParams();
        c.change(p);
        EString error("old");
        EXPECT_EQ(ValidateProjectionParams(p, error), c.expected.empty());
        EXPECT_EQ(std::string(error.c_str()), c.expected);
    }
}

TEST(ProjectionParams, CommentLines)
{
    ProjectionAnalysisParams p = ValidParams();
    p.left = 12;
    p.top = 34;
    p.right = 567;
    p.bottom = 890;
    p.FindValleys = true;
    p.NumPeaksToFind = 3;
    p.ROI_name.Assign("Channel A");
    std::vector<std::string> lines = {"before"};
    EXPECT_TRUE(WriteProjectionParamsComments(p, lines));
    const std::vector<std::string> expected = {
        "before",
        "# *******************  ProjectionAnalysisParams ********************************",
        "# ROI left\t12",
        "# ROI right\t567",
        "# ROI top\t34",
        "# ROI bottom\t890",
        "# SmoothingWindowMicrons\t15.000",
        "# NumPeaks/ValleysToFind\t3",
        "# FindValleys\tTRUE",
        "# StdevIntegrationArea\t1.000",
        "# IntegrationSamples\t11",
        "# PixelsPerMM\t500.00",
        "# ROI_name\tChannel A",
        "",
    };
    EXPECT_EQ(lines, expected);
}

// The ROI list of the tools, as the loader sees it.
class FakeTools : public RoiLookup
{
  public:
    bool LoadRoiList(const char *settingsPath, std::vector<ROIObject> &list) override
    {
        askedPath = settingsPath;
        list.clear();
        for (const ROIObject &roi : rois) {
            list.emplace_back();
            list.back().m_name = roi.m_name;
            list.back().left = roi.left;
            list.back().top = roi.top;
            list.back().right = roi.right;
            list.back().bottom = roi.bottom;
        }
        return true;
    }
    bool FindRoiByName(const char *, int32_t *, EString &) override { return false; }

    std::vector<ROIObject> rois;
    std::string askedPath;
};

ROIObject Roi(const char *name, uint32_t left, uint32_t top, uint32_t right, uint32_t bottom)
{
    ROIObject roi;
    roi.m_name.Assign(name);
    roi.left = left;
    roi.top = top;
    roi.right = right;
    roi.bottom = bottom;
    return roi;
}

class ProjectionFilesTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        m_savedIni = theApp.m_ini_path;
        theApp.m_ini_path = m_dir.file("Plexorin.ini");
        SetLogDataDirectory(m_dir.str().c_str());
    }
    void TearDown() override
    {
        InstallRoiLookup(nullptr);
        theApp.m_ini_path = m_savedIni;
        SetLogDataDirectory("");
    }
    TempDir m_dir;
    std::string m_savedIni;
};

TEST_F(ProjectionFilesTest, LoadsParametersIgnoringTheCaseOfTheExtension)
{
    // Written by hand with ".PA_params"; asked for as ".pa_params".
    WriteFileBytes(m_dir.file("Cells.PA_params"), "[RightSideProjection]\r\nSmoothingWindowMicrons=22.5\r\n"
                                                  "NumPeaksToFind=3\r\nStdevIntegrationArea=1.5\r\n"
                                                  "IntegrationSamples=15\r\nBackgroundSubtract=TRUE\r\n"
                                                  "FindValleys=false\r\nROI_name=Channel\r\n");
    auto tools = std::make_shared<FakeTools>();
    tools->rois = {Roi("Channel", 100, 200, 300, 400), Roi("Other", 1, 2, 3, 4)};
    InstallRoiLookup(tools);
    ProjectionAnalysisParams p;
    p.left = 7;
    EXPECT_TRUE(LoadProjectionParams(p, m_dir.file("Cells.pa_params").c_str()));
    EXPECT_EQ(p.SmoothingWindowMicrons, 22.5);
    EXPECT_EQ(p.NumPeaksToFind, 3);
    EXPECT_EQ(p.StdevIntegrationArea, 1.5);
    EXPECT_EQ(p.IntegrationSamples, 15);
    EXPECT_FALSE(p.FindValleys);
    EXPECT_STREQ(p.ROI_name.c_str(), "Channel");
    EXPECT_EQ((std::array<int32_t, 4>{p.left, p.top, p.right, p.bottom}),
              (std::array<int32_t, 4>{100, 200, 300, 400}));
    EXPECT_EQ(tools->askedPath, theApp.m_ini_path);
}

TEST_F(ProjectionFilesTest, DefaultsAndAnUnknownRegionName)
{
    // Missing and unparsable numbers take their defaults; a missing FindValleys means valleys.
    WriteFileBytes(m_dir.file("sparse.pa_params"),
                   "[RightSideProjection]\r\nSmoothingWindowMicrons=wide\r\nROI_name=Nowhere\r\n");
    auto tools = std::make_shared<FakeTools>();
    tools->rois = {Roi("Channel", 100, 200, 300, 400)};
    InstallRoiLookup(tools);
    ProjectionAnalysisParams p;
    p.PixelsPerMM = 500.0;
    p.left = p.top = p.right = p.bottom = 99;
    EXPECT_TRUE(LoadProjectionParams(p, m_dir.file("sparse.pa_params").c_str()));
    EXPECT_EQ(p.SmoothingWindowMicrons, 15.0);
    EXPECT_EQ(p.NumPeaksToFind, 0);
    EXPECT_EQ(p.StdevIntegrationArea, 1.0);
    EXPECT_EQ(p.IntegrationSamples, 11);
    EXPECT_TRUE(p.FindValleys);
    EXPECT_EQ((std::array<int32_t, 4>{p.left, p.top, p.right, p.bottom}),
              (std::array<int32_t, 4>{0, 0, 0, 0}));
    EString error;
    EXPECT_FALSE(ValidateProjectionParams(p, error));
    EXPECT_STREQ(error.c_str(), "ROI is invalid, must be at least 30x30 and all numbers positive integers.");

    // Any other switch text than FALSE means valleys, and without a tools list the region stays 0.
    InstallRoiLookup(nullptr);
    for (const char *text : {"TRUE", "no", "FALSE1", ""}) {
        SCOPED_TRACE(text);
        WriteFileBytes(m_dir.file("switch.pa_params"), std::string("[RightSideProjection]\r\nFindValleys=") +
                                                           text + "\r\nROI_name=Channel\r\n");
        EXPECT_TRUE(LoadProjectionParams(p, m_dir.file("switch.pa_params").c_str()));
        EXPECT_TRUE(p.FindValleys);
        EXPECT_EQ(p.right, 0);
    }
}

TEST_F(ProjectionFilesTest, CalibrationFromTheFolderOrTheMainSettings)
{
    const std::string folder = m_dir.file("experiment/Images");
    std::filesystem::create_directories(folder);
    ProjectionAnalysisParams p;

    // Nothing anywhere: 500 pixels per mm, channels 0.
    p.UpperChannel = p.LowerChannel = 5;
    EXPECT_TRUE(LoadProjectionCalibration(p, folder.c_str()));
    EXPECT_EQ(p.PixelsPerMM, 500.0);
    EXPECT_EQ(p.UpperChannel, 0);
    EXPECT_EQ(p.LowerChannel, 0);

    WriteFileBytes(
        theApp.m_ini_path,
        "[CalibrationSettings]\r\nimage_pixels_per_mm=640\r\nUpperChannel=11\r\nLowerChannel=22\r\n");
    EXPECT_TRUE(LoadProjectionCalibration(p, folder.c_str()));
    EXPECT_EQ(p.PixelsPerMM, 640.0);
    EXPECT_EQ(p.UpperChannel, 11);
    EXPECT_EQ(p.LowerChannel, 22);

    // The experiment's own file (in the folder's parent) wins when it gives a scale.
    WriteFileBytes(
        m_dir.file("experiment/ExperimentSettings.ini"),
        "[CalibrationSettings]\r\nimage_pixels_per_mm=812.5\r\nUpperChannel=120\r\nLowerChannel=880\r\n");
    EXPECT_TRUE(LoadProjectionCalibration(p, folder.c_str()));
    EXPECT_EQ(p.PixelsPerMM, 812.5);
    EXPECT_EQ(p.UpperChannel, 120);
    EXPECT_EQ(p.LowerChannel, 880);

    // ... and falls back to the main file when its scale is missing.
    WriteFileBytes(m_dir.file("experiment/ExperimentSettings.ini"),
                   "[CalibrationSettings]\r\nUpperChannel=120\r\n");
    EXPECT_TRUE(LoadProjectionCalibration(p, folder.c_str()));
    EXPECT_EQ(p.PixelsPerMM, 640.0);
    EXPECT_EQ(p.UpperChannel, 11);
}

// A 40-column image whose row r holds values[r] in every column, except where a row lists two
// alternating values (their mean need not be whole).
void WriteRows(const std::string &path, const std::vector<std::array<uint16_t, 2>> &rows)
{
    cv::Mat image(int(rows.size()), 40, CV_16UC1);
    for (int r = 0; r < image.rows; ++r)
        for (int c = 0; c < 40; ++c)
            image.at<uint16_t>(r, c) = rows[size_t(r)][size_t(c % 2)];
    ASSERT_TRUE(cv::imwrite(path, image));
}

TEST_F(ProjectionFilesTest, BaselineIsTheRowMedianOfTheBackgrounds)
{
    // Per row the three images hold 10, 20 and 60 in some order: the median is 20. Row 3 of A holds
    // 20 and 21 alternately: its mean 20.5 is cut to 20 before the median is taken.
    const std::string a = m_dir.file("a.png"), b = m_dir.file("b.png"), c = m_dir.file("c.png");
    std::vector<std::array<uint16_t, 2>> rowsA(40, {10, 10}), rowsB(40, {20, 20}), rowsC(40, {60, 60});
    rowsA[1] = {60, 60}, rowsB[1] = {10, 10}, rowsC[1] = {20, 20};
    rowsA[2] = {20, 20}, rowsB[2] = {60, 60}, rowsC[2] = {10, 10};
    rowsA[3] = {20, 21};
    WriteRows(a, rowsA);
    WriteRows(b, rowsB);
    WriteRows(c, rowsC);
    ProjectionAnalysisParams p;
    p.left = 2;
    p.right = 37;
    p.top = 0;
    p.bottom = 39;
    std::vector<int32_t> baseline, means;
    EString error;
    ASSERT_TRUE(ComputeBaselineProjection({a, b, c}, p, baseline, error, &means)) << error.c_str();
    EXPECT_EQ(baseline, std::vector<int32_t>(40, 20));
    // Means of the projections: A (37 x 10 + 60 + 20 + 20) / 40 = 11.75, B 20.75, C 57.75.
    EXPECT_EQ(means, (std::vector<int32_t>{12, 21, 58}));

    // Two images: halfway, 15.
    ASSERT_TRUE(ComputeBaselineProjection({b, a}, p, baseline, error));
    EXPECT_EQ(baseline[0], 15);

    // A sub-region takes only its rows.
    p.top = 1;
    p.bottom = 2;
    ASSERT_TRUE(ComputeBaselineProjection({a, b, c}, p, baseline, error));
    EXPECT_EQ(baseline, (std::vector<int32_t>{20, 20}));

    const std::string missing = m_dir.file("none.png");
    EXPECT_FALSE(ComputeBaselineProjection({a, missing}, p, baseline, error));
    EXPECT_EQ(std::string(error.c_str()), "File does not exist: " + missing);
    EXPECT_FALSE(ComputeBaselineProjection({}, p, baseline, error));
}

TEST_F(ProjectionFilesTest, FractionationProjectionIsWeightedAcrossTheChannel)
{
    // Every row is 1100 over a baseline of 100: 1000 before weighting. Channel rows 100 to 300.
    const std::string path = m_dir.file("frame.png");
    ASSERT_TRUE(cv::imwrite(path, cv::Mat(400, 40, CV_16UC1, cv::Scalar(1100))));
    ProjectionAnalysisParams p;
    p.PixelsPerMM = 100.0;
    p.SmoothingWindowMicrons = 10.0; // one row: no smoothing
    p.left = 0;
    p.right = 39;
    p.top = 0;
    p.bottom = 399;
    p.UpperChannel = 100;
    p.LowerChannel = 300;
    const std::vector<int32_t> baseline(400, 100);
    std::vector<int32_t> projection;
    EString error;
    ASSERT_TRUE(ComputeFractionationProjection(path.c_str(), p, baseline, projection, error, false))
        << error.c_str();
    ASSERT_EQ(projection.size(), 400u);
    // t = (r - 100) / 201 - 0.5; weight 1 - 4 t^2.
    EXPECT_EQ(projection[99], 0);     // outside the channel
    EXPECT_EQ(projection[100], 0);    // t = -0.5
    EXPECT_EQ(projection[150], 748);  // t = -0.2512: 747.5
    EXPECT_EQ(projection[200], 1000); // t = -0.0025
    EXPECT_EQ(projection[300], 20);   // t = 0.4950: 19.8
    EXPECT_EQ(projection[301], 0);

    // Bright-field images: the baseline minus the image; a darker baseline gives 0.
    const std::vector<int32_t> brighter(400, 1200);
    ASSERT_TRUE(ComputeFractionationProjection(path.c_str(), p, brighter, projection, error, true));
    EXPECT_EQ(projection[200], 100);
    ASSERT_TRUE(ComputeFractionationProjection(path.c_str(), p, baseline, projection, error, true));
    EXPECT_EQ(projection[200], 0);

    p.UpperChannel = 300;
    p.LowerChannel = 100;
    EXPECT_FALSE(ComputeFractionationProjection(path.c_str(), p, baseline, projection, error, false));
    EXPECT_STREQ(error.c_str(), "Invalid channel coordinates upper_channel=300 lower_channel=100");
    p.UpperChannel = 100;
    p.LowerChannel = 5001;
    EXPECT_FALSE(ComputeFractionationProjection(path.c_str(), p, baseline, projection, error, false));

    const std::string missing = m_dir.file("gone.png");
    EXPECT_FALSE(ComputeFractionationProjection(missing.c_str(), p, baseline, projection, error, false));
    EXPECT_EQ(std::string(error.c_str()), "File does not exist: " + missing);
    p.LowerChannel = 300;
    EXPECT_FALSE(ComputeFractionationProjection(path.c_str(), p, std::vector<int32_t>(10, 0), projection,
                                                error, false));
}

} // namespace
