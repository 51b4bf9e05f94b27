#include "analysis/CountingAlgoOptions.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <string>

using vantelis::test::TempDir;
using vantelis::test::WriteFileBytes;

namespace {

std::string Section(const std::string &lines)
{
    return "[CountingAlgorithmDlg]\r\n" + lines;
}

const char *kRegion = "Left=10\r\nRight=200\r\nTop=20\r\nBottom=150\r\n";

} // namespace

TEST(CountingAlgoOptionsLoad, DefaultsForMissingKeys)
{
    TempDir dir;
    const std::string params = dir.file("a.counting_params");
    WriteFileBytes(params, Section(kRegion));
    CountingAlgoOptions o{};
    EString error;
    ASSERT_TRUE(o.LoadFromParamsFile(params.c_str(), dir.file("missing.ini").c_str(), error))
        << error.c_str();
    EXPECT_EQ(o.pixels_per_mm, 1000.0);
    EXPECT_TRUE(o.edge_processing);
    EXPECT_FALSE(o.morph_filter[0] || o.morph_filter[1] || o.count_filter[0] || o.count_filter[1]);
    EXPECT_FALSE(o.use_inner_ring[0] || o.use_inner_ring[1]);
    EXPECT_TRUE(o.proximity_within_type[0] && o.proximity_within_type[1] && o.proximity_between_types);
    EXPECT_EQ(o.object_radius[0], 0.0);
    EXPECT_EQ(o.radius_sweep[1], 0);
    EXPECT_EQ(o.morph_samples[0], 0);
    EXPECT_EQ(o.morph_threshold[1], 0);
    EXPECT_EQ(o.count_threshold[0], 0);
    EXPECT_EQ(o.count_min_size[0], 1);
    EXPECT_EQ(o.count_min_size[1], 1);
    EXPECT_EQ(o.left, 10);
    EXPECT_EQ(o.right, 200);
    EXPECT_EQ(o.top, 20);
    EXPECT_EQ(o.bottom, 150);
}

TEST(CountingAlgoOptionsLoad, ReadsEveryKey)
{
    TempDir dir;
    const std::string params = dir.file("b.counting_params");
    const std::string main = dir.file("Plexorin.ini");
    WriteFileBytes(main, "[CalibrationSettings]\r\nimage_pixels_per_mm=1250.5\r\n");
    WriteFileBytes(
        params, Section("EdgeProcessing=false\r\nMFilter1=TRUE\r\nMFilter2=true\r\nCFilter1=True\r\n"
                        "CFilter2=FALSE\r\nObjectRadius1=6.5\r\nObjectRadius2=9\r\nObjectRadiusSweep1=2\r\n"
                        "ObjectRadiusSweep2=3\r\nMFilterSamples1=12\r\nMFilterSamples2=16\r\n"
                        "CFilterThreshold1=400\r\nCFilterThreshold2=450\r\nCFilterMinSize1=3\r\n"
                        "CFilterMinSize2=4\r\nRestoreImage=TRUE\r\nMFilterThreshold1=1500\r\n"
                        "MFilterThreshold2=1600\r\nUseInnerRing1=TRUE\r\nUseInnerRing2=no\r\n"
                        "ProximityFilteringWithinType1=FALSE\r\nProximityFilteringWithinType2=x\r\n"
                        "ProximityFilteringBetweenType1_2=False\r\n") +
                    kRegion);
    CountingAlgoOptions o{};
    EString error;
    ASSERT_TRUE(o.LoadFromParamsFile(params.c_str(), main.c_str(), error)) << error.c_str();
    EXPECT_EQ(o.pixels_per_mm, 1250.5);
    EXPECT_FALSE(o.edge_processing);
    EXPECT_TRUE(o.morph_filter[0] && o.morph_filter[1] && o.count_filter[0]);
    EXPECT_FALSE(o.count_filter[1]);
    EXPECT_EQ(o.object_radius[0], 6.5);
    EXPECT_EQ(o.object_radius[1], 9.0);
    EXPECT_EQ(o.radius_sweep[0], 2);
    EXPECT_EQ(o.radius_sweep[1], 3);
    EXPECT_EQ(o.morph_samples[0], 12);
    EXPECT_EQ(o.morph_samples[1], 16);
    EXPECT_EQ(o.count_threshold[0], 400);
    EXPECT_EQ(o.count_threshold[1], 450);
    EXPECT_EQ(o.count_min_size[0], 3);
    EXPECT_EQ(o.count_min_size[1], 4);
    EXPECT_EQ(o.morph_threshold[0], 1500);
    EXPECT_EQ(o.morph_threshold[1], 1600);
    EXPECT_TRUE(o.use_inner_ring[0]);
    EXPECT_FALSE(o.use_inner_ring[1]);
    EXPECT_FALSE(o.proximity_within_type[0]);
    EXPECT_TRUE(o.proximity_within_type[1]); // false only for "FALSE"
    EXPECT_FALSE(o.proximity_between_types);
    EXPECT_FALSE(o.enabled); // set by the owner, not the loader
}

TEST(CountingAlgoOptionsLoad, UnparsableValuesAndTheScale)
{
    struct Case
    {
        const char *mainText; // null: no main settings file
        double pixelsPerMm;
    };
    const Case cases[] = {{nullptr, 1000.0},
                          {"[CalibrationSettings]\r\nimage_pixels_per_mm=abc\r\n", 1000.0},
                          {"[CalibrationSettings]\r\nimage_pixels_per_mm=0\r\n", 0.0},
                          {"[CalibrationSettings]\r\nimage_pixels_per_mm=512.25\n", 512.25}};
    for (const Case &c : cases) {
        TempDir dir;
        const std::string params = dir.file("c.counting_params");
        const std::string main = dir.file("Plexorin.ini");
        if (c.mainText != nullptr)
            WriteFileBytes(main, c.mainText);
        WriteFileBytes(params, Section("ObjectRadius1=big\r\nMFilterSamples1=7x\r\nCFilterMinSize1=\r\n"
                                       "ObjectRadiusSweep1= 4\r\n") +
                                   kRegion);
        CountingAlgoOptions o{};
        EString error;
        ASSERT_TRUE(o.LoadFromParamsFile(params.c_str(), main.c_str(), error)) << error.c_str();
        EXPECT_EQ(o.pixels_per_mm, c.pixelsPerMm);
        EXPECT_EQ(o.object_radius[0], 0.0);
        EXPECT_EQ(o.morph_samples[0], 7); // "%d" stops at the first non-digit
        EXPECT_EQ(o.count_min_size[0], 1);
        EXPECT_EQ(o.radius_sweep[0], 4);
    }
}

TEST(CountingAlgoOptionsLoad, ReportsRegionProblems)
{
    TempDir dir;
    const std::string params = dir.file("d.counting_params");
    WriteFileBytes(params, Section("Right=200\r\nBottom=150\r\n"));
    CountingAlgoOptions o{};
    EString error;
    EXPECT_FALSE(o.LoadFromParamsFile(params.c_str(), "", error));
    EXPECT_EQ(std::string(error.c_str()),
              "File: " + params +
                  "\nSection [CountingAlgorithmDlg]\nHas the following problems:\n"
                  "\nLeft is missing or invalid\nTop is missing or invalid");
    EXPECT_EQ(o.left, -1);
    EXPECT_EQ(o.top, -1);
    EXPECT_EQ(o.right, 200);

    // A negative bound is reported and kept; so is an enabled type without ring directions.
    WriteFileBytes(params, Section("MFilter2=TRUE\r\nLeft=5\r\nRight=-3\r\nTop=x\r\nBottom=9\r\n"));
    CountingAlgoOptions p{};
    EString second;
    EXPECT_FALSE(p.LoadFromParamsFile(params.c_str(), "", second));
    EXPECT_EQ(std::string(second.c_str()),
              "File: " + params +
                  "\nSection [CountingAlgorithmDlg]\nHas the following problems:\n"
                  "\nRight is missing or invalid\nTop is missing or invalid"
                  "\nMFilterSamples2 must be at least 1");
    EXPECT_EQ(p.right, -3);
    EXPECT_EQ(p.top, -1);
}

TEST(CountingAlgoOptions, SetParamByName)
{
    CountingAlgoOptions o{};
    EString error;
    EXPECT_TRUE(o.SetParamByName("objectradiussweep1", 2.5, error));
    EXPECT_EQ(o.radius_sweep[0], 3);
    EXPECT_TRUE(o.SetParamByName("ObjectRadiusSweep2", -2.5, error));
    EXPECT_EQ(o.radius_sweep[1], -3);
    EXPECT_TRUE(o.SetParamByName("OBJECTRADIUS2", 4.75, error));
    EXPECT_EQ(o.object_radius[1], 4.75);
    EXPECT_TRUE(o.SetParamByName("MFilterThreshold1", 1499.5, error));
    EXPECT_EQ(o.morph_threshold[0], 1500);
    EXPECT_TRUE(o.SetParamByName("MFilterSamples2", 11.49, error));
    EXPECT_EQ(o.morph_samples[1], 11);
    EXPECT_TRUE(o.SetParamByName("CFilterThreshold2", 300.0, error));
    EXPECT_EQ(o.count_threshold[1], 300);
    EXPECT_TRUE(o.SetParamByName("cfilterminsize1", 6.0, error));
    EXPECT_EQ(o.count_min_size[0], 6);
    EXPECT_FALSE(error.IsNonEmpty());

    const CountingAlgoOptions before = o;
    for (const char *name : {"EdgeProcessing", "Left", "MFilter1", ""}) {
        EXPECT_FALSE(o.SetParamByName(name, 1.0, error));
        EXPECT_EQ(std::string(error.c_str()),
                  std::string("CountingAlgoOptions::SetParamByName() Unknown parameter name: ") + name);
    }
    EXPECT_FALSE(o.SetParamByName(nullptr, 1.0, error));
    EXPECT_STREQ(error.c_str(), "CountingAlgoOptions::SetParamByName() Unknown parameter name: ");
    EXPECT_EQ(o.radius_sweep[0], before.radius_sweep[0]);
    EXPECT_EQ(o.count_min_size[0], before.count_min_size[0]);
}

TEST(CountingAlgoOptions, CommentBlock)
{
    CountingAlgoOptions o{};
    std::vector<std::string> lines{"existing"};
    o.WriteAsComments(lines, "");
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "existing", "# ******** Circular cell detection algo is not enabled. ********"}));

    o.enabled = true;
    o.pixels_per_mm = 0.0; // read again from the main settings file and kept
    TempDir dir;
    const std::string main = dir.file("Plexorin.ini");
    WriteFileBytes(main, "[CalibrationSettings]\r\nimage_pixels_per_mm=800\r\n");
    o.edge_processing = true;
    o.morph_filter[0] = true;
    o.count_filter[1] = true;
    o.proximity_within_type[0] = true;
    o.object_radius[0] = 6.5;
    o.object_radius[1] = 10.0;
    o.radius_sweep[0] = 2;
    o.radius_sweep[1] = -1;
    o.morph_samples[0] = 12;
    o.morph_samples[1] = 8;
    o.morph_threshold[0] = 1500;
    o.morph_threshold[1] = 900;
    o.use_inner_ring[1] = true;
    o.count_threshold[0] = 400;
    o.count_threshold[1] = 350;
    o.count_min_size[0] = 3;
    o.count_min_size[1] = 1;
    o.left = 50;
    o.right = 2397;
    o.top = 40;
    o.bottom = 1997;
    lines.clear();
    o.WriteAsComments(lines, main.c_str());
    EXPECT_EQ(o.pixels_per_mm, 800.0);
    const std::vector<std::string> expected{
        "# ******* Circular cell detection algo parameters ********",
        "#pixels_per_mm=800.0",
        "#ROI.left=50",
        "#ROI.right=2397",
        "#ROI.top=40",
        "#ROI.bottom=1997",
        "",
        "#NUM_FILTERS=2",
        "#b_edge_processing=true",
        "",
        "# *** Morphological Filter 1 Options ****",
        "#morph_filter[1]=true",
        "#radius[1]=6.500\tum",
        "#radius[1]=5.200\tpixels",
        "#radius_sweep[1]=2",
        "#samples[1]=12",
        "#mthreshold[1]=1500",
        "#use_inner_ring[1]=false",
        "# *** Count Filter 1 Options ****",
        "#count_filter=false",
        "#threshold[1]=400",
        "#min_size[1]=3",
        "#proximity_filtering_per_type[1]=true",
        "# *** Morphological Filter 2 Options ****",
        "#morph_filter[2]=false",
        "#radius[2]=10.000\tum",
        "#radius[2]=8.000\tpixels",
        "#radius_sweep[2]=-1",
        "#samples[2]=8",
        "#mthreshold[2]=900",
        "#use_inner_ring[2]=true",
        "# *** Count Filter 2 Options ****",
        "#count_filter=true",
        "#threshold[2]=350",
        "#min_size[2]=1",
        "#proximity_filtering_per_type[2]=false",
        "#cross_type_filtering=false",
    };
    EXPECT_EQ(lines, expected);
}
