// The analysis code as the renderer reaches it: the projection below the ROI and the projection
// analysis drawn to its right, with the parameter set the settings name or a visible tool's.
#include "analysis/AnalysisRenderLink.h"

#include "analysis/ProjectionAnalysis.h"
#include "app/PlexorinApp.h"
#include "app/ToolServices.h"
#include "support/ServiceFakes.h"

#include "Ostravo/LogError.h"
#include "platform/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

using vantelis::test::TempDir;
using vantelis::test::WriteFileBytes;

class ToolWindow : public ModelessWindow
{
  public:
    bool HasWindow() const override { return visible; }
    bool Create(bool) override { return false; }
    bool IsVisible() const override { return visible; }
    void Show(bool) override {}
    bool visible = false;
};

// The projection-parameters dialog and the fractionation tool, each recording the record it is
// handed (after the named set and the scale were read into it).
class ProjectionTools : public vantelis::test::StubProjectionParamsWindow,
                        public vantelis::test::StubFractionationWindow
{
  public:
    ModelessWindow &Window() override { return fractionation; }
    ModelessWindow &ParamsDialog() override { return dialog; }
    bool GetParamsFromControls(ProjectionAnalysisParams &params) override
    {
        handed.push_back("dialog");
        smoothing.push_back(params.SmoothingWindowMicrons);
        scale.push_back(params.PixelsPerMM);
        return dialogFills;
    }
    bool LoadRunParams(ProjectionAnalysisParams &params, EString &) override
    {
        handed.push_back("fractionation");
        smoothing.push_back(params.SmoothingWindowMicrons);
        scale.push_back(params.PixelsPerMM);
        return true;
    }

    ToolWindow dialog, fractionation;
    bool dialogFills = true;
    std::vector<std::string> handed;
    std::vector<double> smoothing, scale;
};

class AnalysisRenderLinkTest : public ::testing::Test
{
  protected:
    AnalysisRenderLinkTest()
    {
        m_savedIni = theApp.m_ini_path;
        m_savedData = theApp.m_data_directory;
        theApp.m_ini_path = m_dir.file("Plexorin.ini");
        theApp.m_data_directory = m_dir.str();
        platform::MakeFolder(m_dir.file("LIB"));
        platform::MakeFolder(m_dir.file("LOG"));
        SetLogDataDirectory(m_dir.str().c_str());
        WriteFileBytes(m_dir.file("LIB/Cells.pa_params"),
                       "[RightSideProjection]\r\nSmoothingWindowMicrons=42\r\n");
        InstallProjectionParamsWindow(m_tools);
        InstallFractionationWindow(m_tools);
    }
    ~AnalysisRenderLinkTest() override
    {
        RemoveToolServices();
        theApp.m_ini_path = m_savedIni;
        theApp.m_data_directory = m_savedData;
        SetLogDataDirectory("");
    }

    void WriteMainSettings(const std::string &setName)
    {
        WriteFileBytes(theApp.m_ini_path,
                       "[ProjectionAnalysisTool]\r\nProjectionAnalysisParams=" + setName +
                           "\r\n[CalibrationSettings]\r\nimage_pixels_per_mm=500\r\n"
                           "[Cartridge]\r\nCartridgeUpperChannel=5\r\nCartridgeLowerChannel=95\r\n"
                           "[RightSideProjection]\r\nSmoothingWindowMicrons=7\r\n");
    }

    // A 200 x 100 image with a bright band across rows 40..59, shown whole in a 200 x 100 view:
    // image column c and row r are window x = c and y = r.
    struct Drawn
    {
        cv::Mat frame;
        ImageRect roi;
    };
    Drawn DrawRightOf(const ImageRect &roi)
    {
        RenderJob job;
        job.image = cv::Mat(100, 200, CV_16UC1, cv::Scalar(1000));
        job.image.rowRange(40, 60).setTo(5000);
        job.target_rect = ImageRect{0, 0, 200, 100};
        Drawn drawn{cv::Mat(101, 201, CV_8UC4, cv::Scalar::all(0)), roi};
        MatSurface surface(drawn.frame, cv::Point(0, 0));
        job.m_dc = &surface;
        AnalysisRenderLink().DrawProjectionRightOfRoi(job, roi);
        return drawn;
    }

    // Window columns that hold the plot box colour.
    static std::vector<int> BoxColumns(const cv::Mat &frame)
    {
        std::vector<int> columns;
        for (int x = 0; x < frame.cols; ++x)
            for (int y = 0; y < frame.rows; ++y)
                if (frame.at<cv::Vec4b>(y, x) == cv::Vec4b(0, 192, 192, 0)) {
                    columns.push_back(x);
                    break;
                }
        return columns;
    }

    TempDir m_dir;
    std::string m_savedIni, m_savedData;
    std::shared_ptr<ProjectionTools> m_tools = std::make_shared<ProjectionTools>();
};

} // namespace

TEST_F(AnalysisRenderLinkTest, HorizontalProjectionIsTheColumnMeanLessTheBackground)
{
    cv::Mat image(6, 8, CV_16UC1);
    for (int c = 0; c < 8; ++c)
        image.col(c).setTo(c * 10);
    const cv::Mat background(6, 8, CV_16UC1, cv::Scalar(5));
    AnalysisRenderLink link;
    std::vector<int32_t> values{99, 99, 99, 99, 99, 99, 99};
    ASSERT_TRUE(link.ComputeHorizontalProjection(image, ImageRect{2, 1, 5, 3}, nullptr, values));
    EXPECT_EQ(values, (std::vector<int32_t>{20, 30, 40, 50}));
    ASSERT_TRUE(link.ComputeHorizontalProjection(image, ImageRect{2, 1, 5, 3}, &background, values));
    EXPECT_EQ(values, (std::vector<int32_t>{15, 25, 35, 45}));
    EXPECT_FALSE(link.ComputeHorizontalProjection(image, ImageRect{6, 1, 9, 3}, nullptr, values));
}

TEST_F(AnalysisRenderLinkTest, ProjectionIsDrawnRightOfTheRoi)
{
    WriteMainSettings("Cells");
    // ROI columns 20..79: the box spans window columns 81 .. 80 + 60 / 4 - 1 + 1 = 94.
    const Drawn drawn = DrawRightOf(ImageRect{20, 10, 79, 89});
    const std::vector<int> columns = BoxColumns(drawn.frame);
    ASSERT_FALSE(columns.empty());
    EXPECT_EQ(columns.front(), 81);
    EXPECT_EQ(columns.back(), 94);

    // A region outside the image is not analysed: nothing is drawn.
    const Drawn outside = DrawRightOf(ImageRect{180, 10, 260, 89});
    EXPECT_EQ(cv::countNonZero(outside.frame.reshape(1)), 0);
}

TEST_F(AnalysisRenderLinkTest, AVisibleToolIsHandedTheNamedSetWithTheScale)
{
    struct Case
    {
        const char *setName;
        bool dialog, dialogFills, fractionation;
        std::vector<std::string> handed;
        double smoothing; // what the first tool asked saw
    } cases[] = {
        {"Cells", true, true, true, {"dialog"}, 42.0},
        {"Cells", true, false, true, {"dialog", "fractionation"}, 42.0}, // the dialog could not fill it
        {"Cells", false, true, true, {"fractionation"}, 42.0},
        {"__experimentsettings__", true, true, false, {"dialog"}, 7.0}, // the main file, any case
        {"Cells", false, true, false, {}, 0.0},                         // no tool: the main file again
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.setName);
        WriteMainSettings(c.setName);
        m_tools->dialog.visible = c.dialog;
        m_tools->dialogFills = c.dialogFills;
        m_tools->fractionation.visible = c.fractionation;
        m_tools->handed.clear();
        m_tools->smoothing.clear();
        m_tools->scale.clear();
        const Drawn drawn = DrawRightOf(ImageRect{20, 10, 79, 89});
        EXPECT_EQ(m_tools->handed, c.handed);
        if (!c.handed.empty()) {
            EXPECT_EQ(m_tools->smoothing.front(), c.smoothing);
            EXPECT_EQ(m_tools->scale.front(), 500.0);
        }
        EXPECT_FALSE(BoxColumns(drawn.frame).empty()) << "drawn whichever record was used";
    }
}
