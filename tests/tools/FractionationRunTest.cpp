#include "tools/FractionationRun.h"

#include "FractionationFixture.h"
#include "platform/Clock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace vantelis::test {
namespace {

using ::testing::HasSubstr;

class RecordingObserver : public FractionationRunObserver
{
  public:
    void Status(const std::string &text) override { statuses.push_back(text); }
    void Failure(const std::string &message) override { failures.push_back(message); }
    void OpenReport(const std::string &path) override { opened.push_back(path); }
    std::vector<std::string> statuses, failures, opened;
};

class FractionationRunTest : public ::testing::Test
{
  protected:
    FractionationRunTest()
    {
        platform::SetFakeClock(platform::LocalTime{2024, 5, 1, 3, 9, 7, 5, 0});
        m_inputs.controls.folder = m_folder.Images();
        m_inputs.controls.projectionParams = "Flat";
        m_inputs.controls.roi = "Channel";
        m_inputs.controls.selectedEntries = {"a.png", "b.png", "c.png"};
        m_inputs.controls.backgroundNames = {"bg1.png", "bg2.png"};
        LoadLog();
    }
    ~FractionationRunTest() override { platform::ClearFakeClock(); }

    void LoadLog()
    {
        auto log = std::make_shared<LogFileData>();
        EString error;
        EXPECT_TRUE(log->LoadFromDirectory(m_folder.Images().c_str(), error)) << error.c_str();
        m_inputs.log = log;
    }

    std::string Run()
    {
        m_observer = RecordingObserver();
        if (!RunFractionationAnalysis(m_inputs, m_observer))
            return "";
        EXPECT_EQ(m_observer.opened.size(), 1u);
        return m_observer.opened.empty() ? "" : ReadFileBytes(m_observer.opened.front());
    }

    // The fract_top, weight and chan_div columns of an image's line.
    std::vector<double> ImageColumns(const std::string &report, const std::string &image)
    {
        std::istringstream line(ReportValue(report, image));
        std::vector<double> values;
        std::string field;
        while (std::getline(line, field, '\t'))
            values.push_back(std::atof(field.c_str()));
        return values;
    }

    FractionationFolder m_folder;
    FractionationRunInputs m_inputs;
    RecordingObserver m_observer;
};

TEST_F(FractionationRunTest, ReportMatchesTheFixtureConstruction)
{
    const std::string report = Run();
    ASSERT_FALSE(report.empty()) << (m_observer.failures.empty() ? "" : m_observer.failures.front());
    EXPECT_TRUE(m_observer.failures.empty());
    EXPECT_EQ(m_observer.opened.front(), m_folder.Images() + "/FractionationAnalysis_20240501-0907-05.txt");
    EXPECT_EQ(m_observer.statuses, (std::vector<std::string>{"Computing baseline.", "Image 1 of 3",
                                                             "Image 2 of 3", "Image 3 of 3"}));

    EXPECT_EQ(report.substr(0, report.find("\r\n", report.find("\r\n") + 2)),
              "Quorvane " + theApp.m_product_name + " version " + theApp.m_version +
                  "\r\nCell Fractionation Report");
    const struct
    {
        const char *key;
        std::string value;
    } lines[] = {
        {"upper_channel", "100"}, {"lower_channel", "299"},
        {"roi_name", "Channel"},  {"roi.left", "10"},
        {"roi.right", "49"},      {"roi.top", "50"},
        {"roi.bottom", "349"},    {"image_dir", m_folder.Images() + "/"},
        {"bg_image_count", "2"},  {"bg1.png", "1000"},
        {"image_count", "3"},
    };
    for (const auto &l : lines)
        EXPECT_EQ(ReportValue(report, l.key), l.value) << l.key;
    EXPECT_NEAR(std::atof(ReportValue(report, "total_fraction_cells_to_the_top").c_str()), 0.6, 0.01);
    EXPECT_NEAR(std::atof(ReportValue(report, "total_fraction_cells_to_the_bottom").c_str()), 0.4, 0.01);

    const struct
    {
        const char *image;
        double fract_top, weight, chan_div;
    } images[] = {{"a.png", 1.0, 0.4, 0.5}, {"b.png", 0.0, 0.4, 0.5}, {"c.png", 1.0, 0.2, 0.5}};
    for (const auto &i : images) {
        const std::vector<double> columns = ImageColumns(report, i.image);
        ASSERT_EQ(columns.size(), 3u) << i.image;
        EXPECT_NEAR(columns[0], i.fract_top, 0.01) << i.image;
        EXPECT_NEAR(columns[1], i.weight, 0.01) << i.image;
        EXPECT_NEAR(columns[2], i.chan_div, 0.001) << i.image;
    }

    // The projection table: names, then one row per ROI row (300), every line CR LF.
    const size_t table = report.find("*************** Projection data **********************\r\n");
    ASSERT_NE(table, std::string::npos);
    const std::string rows = report.substr(table);
    EXPECT_THAT(rows, HasSubstr("\r\na.png\tb.png\tc.png\r\n"));
    size_t lineCount = 0;
    for (size_t at = 0; (at = rows.find("\r\n", at)) != std::string::npos; at += 2)
        ++lineCount;
    EXPECT_EQ(lineCount, 2u + 300u);
    EXPECT_EQ(report.find("\n"), report.find("\r\n") + 1) << "CR LF line ends";
    EXPECT_THAT(report, ::testing::Not(HasSubstr("partial_report")));
    EXPECT_THAT(report, ::testing::Not(HasSubstr("note\t")));
}

TEST_F(FractionationRunTest, SpeedsMoveTheDividerAndWithItTheTopShare)
{
    // Pump 1 at 30 and pump 2 at 10 put the divider at 0.6736 of the channel (row 235): the band
    // of b.png (rows 231-250) then lies partly above it.
    m_folder.WriteLog(FixtureLogRow("a.png", "10", "30") + FixtureLogRow("b.png", "30", "10") +
                      FixtureLogRow("c.png", "10", "30"));
    LoadLog();
    const std::string report = Run();
    ASSERT_FALSE(report.empty());
    // Divider 0.3264: row round(200 x 0.3264 + 100) = 165, inside the bands of a and c (150-169):
    // 16 of their 20 rows are top. The weights across those rows are nearly flat, so the share is
    // close to 16/20.
    EXPECT_NEAR(ImageColumns(report, "a.png")[0], 16.0 / 20.0, 0.02);
    EXPECT_NEAR(ImageColumns(report, "a.png")[2], 0.3264, 0.001);
    // Divider row 235: rows 231-235 of b's band are top, 5 of 20.
    EXPECT_NEAR(ImageColumns(report, "b.png")[0], 5.0 / 20.0, 0.02);
    EXPECT_NEAR(ImageColumns(report, "b.png")[2], 0.6736, 0.001);
}

TEST_F(FractionationRunTest, FailureOnAnImageGivesAPartialReport)
{
    // b.png has no row in the log: the run stops there, and the report says so.
    m_folder.WriteLog(FixtureLogRow("a.png", "10", "10") + FixtureLogRow("c.png", "10", "10"));
    LoadLog();
    const std::string report = Run();
    ASSERT_FALSE(report.empty());
    const std::string missing = "Missing log file data for image: " + m_folder.Images() + "/b.png";
    EXPECT_EQ(m_observer.failures, std::vector<std::string>{missing});
    EXPECT_EQ(ReportValue(report, "partial_report"),
              "stopped at image 2 of 3: the totals cover the 1 images before it");
    EXPECT_EQ(ReportValue(report, "failed_image"), "b.png\t" + missing);
    EXPECT_EQ(ReportValue(report, "image_count"), "3");
    // The images from the failing one on are listed with zeros; the totals are a's alone.
    EXPECT_EQ(ReportValue(report, "b.png"), "0.000000\t0.000000\t0.000000");
    EXPECT_EQ(ReportValue(report, "c.png"), "0.000000\t0.000000\t0.000000");
    EXPECT_NEAR(std::atof(ReportValue(report, "total_fraction_cells_to_the_top").c_str()), 1.0, 1e-6);
    EXPECT_NEAR(ImageColumns(report, "a.png")[1], 1.0, 1e-6);

    // A run that stops at its first image has no totals because nothing was processed.
    m_folder.WriteLog(FixtureLogRow("b.png", "10", "10") + FixtureLogRow("c.png", "10", "10"));
    LoadLog();
    platform::AdvanceFakeClock(1000);
    const std::string first = Run();
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(ReportValue(first, "partial_report"),
              "stopped at image 1 of 3: the totals cover the 0 images before it");
    EXPECT_THAT(first, HasSubstr("\r\nnote\tno totals: no image was processed"));
    EXPECT_THAT(first, ::testing::Not(HasSubstr("sum to zero")));
}

TEST_F(FractionationRunTest, ImagesWithoutSignalAreMarkedNotDividedByZero)
{
    // flat.png is as flat as the background: its projection sums to zero.
    WriteBandImage(m_folder.Images() + "/flat.png", 0, 0, 0);
    m_folder.WriteLog(FixtureLogRow("a.png", "10", "10") + FixtureLogRow("flat.png", "10", "10"));
    LoadLog();
    m_inputs.controls.selectedEntries = {"a.png", "flat.png"};
    std::string report = Run();
    ASSERT_FALSE(report.empty());
    EXPECT_EQ(ReportValue(report, "flat.png"), "0.000000\t0.000000\t0.500000");
    EXPECT_EQ(ReportValue(report, "note"), "flat.png\tfract_top written as 0: the projection sums to zero");
    EXPECT_NEAR(std::atof(ReportValue(report, "total_fraction_cells_to_the_top").c_str()), 1.0, 1e-6);

    // Only flat images: no weights, so no totals, and the report says why.
    m_inputs.controls.selectedEntries = {"flat.png"};
    platform::AdvanceFakeClock(1000);
    report = Run();
    ASSERT_FALSE(report.empty());
    EXPECT_EQ(ReportValue(report, "total_fraction_cells_to_the_top"), "");
    EXPECT_THAT(report, HasSubstr("\r\nnote\tno totals: the projections of all images sum to zero"));
    EXPECT_THAT(report, ::testing::Not(HasSubstr("nan")));
}

TEST_F(FractionationRunTest, RefusalsBeforeTheImagesWriteNoReport)
{
    const std::string settings = m_folder.Images() + "/ExperimentSettings.ini";
    const struct
    {
        const char *name;
        void (*change)(FractionationRunInputs &, const FractionationFolder &);
        std::string message;
    } cases[] = {
        {"no background",
         [](FractionationRunInputs &in, const FractionationFolder &) { in.controls.backgroundNames.clear(); },
         "Must select one or more backgroud images."},
        {"no image",
         [](FractionationRunInputs &in, const FractionationFolder &) { in.controls.selectedEntries.clear(); },
         "You must select at least one file from the list."},
        {"ROI name in other case",
         [](FractionationRunInputs &in, const FractionationFolder &) { in.controls.roi = "channel"; },
         "ROI object \"channel\" does not exist in file: " + theApp.m_ini_path},
        {"no parameter set",
         [](FractionationRunInputs &in, const FractionationFolder &) { in.controls.projectionParams = ""; },
         "You must choose a projection parameters file."},
        {"set name leaving LIB",
         [](FractionationRunInputs &in, const FractionationFolder &) {
             in.controls.projectionParams = "../Flat";
         },
         "Invalid name \"../Flat\": it holds a path separator."},
        {"missing background file",
         [](FractionationRunInputs &in, const FractionationFolder &) {
             in.controls.backgroundNames.push_back("gone.png");
         },
         "File does not exist: " + m_folder.Images() + "/gone.png"},
    };
    for (const auto &c : cases) {
        FractionationRunInputs inputs = m_inputs;
        c.change(inputs, m_folder);
        RecordingObserver observer;
        EXPECT_FALSE(RunFractionationAnalysis(inputs, observer)) << c.name;
        EXPECT_EQ(observer.failures, std::vector<std::string>{c.message}) << c.name;
        EXPECT_TRUE(observer.opened.empty()) << c.name;
    }
    EXPECT_TRUE(m_folder.Reports().empty());

    // A folder without a settings file of its own or above it.
    std::filesystem::remove(settings);
    RecordingObserver observer;
    EXPECT_FALSE(RunFractionationAnalysis(m_inputs, observer));
    EXPECT_EQ(observer.failures, std::vector<std::string>{"Missing required file: "});
}

TEST_F(FractionationRunTest, DefaultCartridgeRoiFromTheFolderSettings)
{
    int32_t rect[4] = {0, 0, 0, 0};
    EString name, error;
    FractionationControls controls = m_inputs.controls;
    controls.roi = "[imagedir]\\experimentsettings.INI"; // any letter case
    ASSERT_TRUE(ResolveFractionationRoi(controls, rect, name, error)) << error.c_str();
    EXPECT_EQ(std::vector<int32_t>(rect, rect + 4), (std::vector<int32_t>{1844, 200, 2444, 199}));
    EXPECT_STREQ(name.c_str(), "[imagedir]\\experimentsettings.INI");

    // Without channel rows the default is top 100, bottom -100: refused, naming the file.
    const std::string settings = m_folder.Images() + "/ExperimentSettings.ini";
    WriteFileBytes(settings, "[CalibrationSettings]\r\nimage_pixels_per_mm=100\r\n");
    EXPECT_FALSE(ResolveFractionationRoi(controls, rect, name, error));
    EXPECT_EQ(std::string(error.c_str()), "Unable to determine default ROI from file: " + settings);

    // The main settings file has no [ROI] section: the failure says so.
    WriteFileBytes(theApp.m_ini_path, "[Other]\r\nx=1\r\n");
    controls.roi = "Channel";
    EXPECT_FALSE(ResolveFractionationRoi(controls, rect, name, error));
    EXPECT_TRUE(error.IsNonEmpty());
}

TEST(FractionationRunMath, DividerRowAndTopShare)
{
    const struct
    {
        int32_t upper, lower;
        double divider;
        int32_t row;
    } rows[] = {
        {100, 299, 0.0, 100},                  // on the upper channel row
        {100, 299, 1.0, 300},                  // one row below the lower channel row
        {100, 299, 0.5, 200}, {0, 9, 0.25, 3}, // 2.5 rounds away from zero
        {0, 9, 0.15, 2},                       // 1.5 as well
        {-10, -1, 0.25, -8},
    };
    for (const auto &r : rows)
        EXPECT_EQ(FractionationDividerRow(r.upper, r.lower, r.divider), r.row) << r.divider;

    const std::vector<int32_t> projection = {10, 30, 60};
    const struct
    {
        int64_t lastTop;
        float share;
    } shares[] = {{-1, 0.0f}, {0, 0.1f}, {1, 0.4f}, {2, 1.0f}, {50, 1.0f}};
    for (const auto &s : shares) {
        float share = -1.0f;
        double mean = 0.0;
        EXPECT_TRUE(FractionationTopShare(projection, s.lastTop, share, mean));
        EXPECT_FLOAT_EQ(share, s.share) << s.lastTop;
        EXPECT_DOUBLE_EQ(mean, 100.0 / 3.0);
    }
    float share = -1.0f;
    double mean = -1.0;
    EXPECT_FALSE(FractionationTopShare({0, 0}, 0, share, mean));
    EXPECT_EQ(share, 0.0f);
    EXPECT_EQ(mean, 0.0);
}

TEST(FractionationRunMath, ReportPathKeepsTheFolderAndAcceptsBackslashes)
{
    const platform::LocalTime t{2024, 12, 3, 0, 4, 5, 6, 0};
    EXPECT_EQ(MakeFractionationReportPath("/data/run", t),
              "/data/run/FractionationAnalysis_20241203-0405-06.txt");
    EXPECT_EQ(MakeFractionationReportPath("C:\\data\\run\\", t),
              "C:/data/run//FractionationAnalysis_20241203-0405-06.txt");
}

} // namespace
} // namespace vantelis::test

namespace vantelis::test {
namespace {

// Every projection set that ships in the data-folder template is offered by the tool and passes
// the parameter checks once a scale and a region are set.
TEST(ShippedProjectionSets, AreOfferedAndValid)
{
    const std::string lib = std::string(VANTELIS_SOURCE_DIR) + "/res/data/LIB";
    const std::vector<std::string> names = FractionationParamSetNames(lib);
    ASSERT_FALSE(names.empty());
    for (const std::string &name : names) {
        ProjectionAnalysisParams params;
        ASSERT_TRUE(LoadProjectionParams(params, (lib + "/" + name + ".pa_params").c_str()));
        params.PixelsPerMM = 500.0;
        params.left = 10, params.top = 10, params.right = 200, params.bottom = 300;
        EString error;
        EXPECT_TRUE(ValidateProjectionParams(params, error)) << name << ": " << error.c_str();
    }
}

} // namespace
} // namespace vantelis::test
