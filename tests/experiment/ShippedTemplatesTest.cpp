// The templates that ship in the data folder find the split line of an image drawn like the
// instrument's (synthetic: they will not match a real instrument's images).
#include "ExperimentTestSupport.h"
#include "experiment/ImageUtilities.h"
#include "support/SyntheticExperiment.h"

#include <opencv2/imgcodecs.hpp>

#include <cmath>

namespace {

class ShippedTemplatesTest : public ExperimentTest
{
  protected:
    ShippedTemplatesTest() { theApp.m_data_directory = std::string(VANTELIS_SOURCE_DIR) + "/res/data"; }
};

TEST_F(ShippedTemplatesTest, SplitLineOfEveryShippedCartridgeIdIsFound)
{
    vantelis::test::SyntheticExperimentParams params;
    params.channel_offset = -17;
    params.rotation = -0.0018;
    params.seed = 5;
    const cv::Mat frame = vantelis::test::RenderSyntheticBrightfield(params, 1);
    cv::Mat grey;
    frame.convertTo(grey, CV_8U, 1.0 / 256.0);
    const double centre = (params.upper_channel + params.lower_channel + 1 - 1.0) * 0.5;
    for (const char *id : {"101", "102", "103", "104"}) {
        int offset = 0;
        double rotation = 0, x = 0, y = 0;
        std::string error;
        SplitLineOutcome outcome = SplitLineOutcome::Failed;
        ASSERT_TRUE(theImageUtilities.FindSplitLineByTemplate(grey, params.pixels_per_mm,
                                                              params.upper_channel, params.lower_channel + 1,
                                                              id, offset, rotation, x, y, &error, &outcome))
            << id << ": " << error;
        EXPECT_EQ(outcome, SplitLineOutcome::Located) << id;
        // The template's centre lies on the split line at the template's left edge.
        const double expected = params.channel_offset + (x - (400 - 60)) * std::tan(params.rotation);
        EXPECT_NEAR(offset, expected, 1.0) << id;
        EXPECT_LE(std::fabs((std::tan(rotation) - std::tan(params.rotation)) * (1760 - 400)), 1.0) << id;
        EXPECT_NEAR(centre + offset, y + 30, 1.0) << id;
    }
}

TEST_F(ShippedTemplatesTest, MeniscusTemplatesAreReadable)
{
    for (const char *name : {"/Templates/lead-meniscus-templates/lead_01.png",
                             "/Templates/trail-meniscus-templates/trail_01.png"}) {
        const cv::Mat templ = cv::imread(theApp.m_data_directory + name, cv::IMREAD_GRAYSCALE);
        EXPECT_EQ(templ.rows, 1101) << name; // the channel's rows, 400 to 1500
        EXPECT_EQ(templ.cols, 120) << name;
    }
}

} // namespace
