#include "analysis/BackgroundMap.h"

#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <string>

using Ostravo::ImageRegion;

namespace {

// Each pixel holds its column (or row): the lower median of a window that is symmetric about
// its centre is then the centre's column (row).
cv::Mat ColumnRamp(int rows, int cols, bool byRow = false)
{
    cv::Mat image(rows, cols, CV_16UC1);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x)
            image.at<uint16_t>(y, x) = static_cast<uint16_t>(byRow ? y : x);
    return image;
}

BackgroundMap OneRowMap(std::vector<uint16_t> cells, uint16_t reference, int width)
{
    BackgroundMap map;
    map.grid = {std::move(cells)};
    map.left = 0;
    map.top = 0;
    map.right = width - 1;
    map.bottom = 0;
    map.reference = reference;
    return map;
}

} // namespace

TEST(BackgroundMap, UniformBackgroundLeavesTheImageUnchanged)
{
    const cv::Mat background(60, 80, CV_16UC1, cv::Scalar(500));
    BackgroundMap map;
    EString error;
    ASSERT_TRUE(Ostravo::ConstructBackgroundMap(background, {5, 4, 74, 55}, map, error, 4, 3))
        << error.c_str();
    ASSERT_EQ(map.grid.size(), 3u);
    for (const auto &row : map.grid)
        EXPECT_EQ(row, (std::vector<uint16_t>{500, 500, 500, 500}));
    EXPECT_EQ(map.reference, 500);

    cv::Mat image(60, 80, CV_16UC1);
    cv::RNG(5).fill(image, cv::RNG::UNIFORM, 0, 65536);
    cv::Mat corrected = image.clone();
    ASSERT_TRUE(Ostravo::CreateBGCorrectedImage(image, map, corrected, error));
    EXPECT_EQ(cv::countNonZero(corrected != image), 0);
}

TEST(BackgroundMap, CellCentresAndWindows)
{
    // A 400 x 400 region with 5 x 5 cells: cells of 80 pixels, windows of 112 (113 pixels wide,
    // centre +- 56), centres at offsets 40, 120, 200, 280, 360 from the region's corner (50, 30).
    const cv::Mat columns = ColumnRamp(460, 500);
    const cv::Mat rows = ColumnRamp(460, 500, true);
    BackgroundMap byColumn, byRow;
    EString error;
    ASSERT_TRUE(Ostravo::ConstructBackgroundMap(columns, {50, 30, 449, 429}, byColumn, error, 5, 5));
    ASSERT_TRUE(Ostravo::ConstructBackgroundMap(rows, {50, 30, 449, 429}, byRow, error, 5, 5));
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(byColumn.grid[i], (std::vector<uint16_t>{90, 170, 250, 330, 410})) << "row " << i;
        for (int j = 0; j < 5; ++j)
            EXPECT_EQ(byRow.grid[i][j], 30 + 40 + 80 * i);
    }
    EXPECT_EQ(byColumn.reference, 250); // mean of the cells
    EXPECT_EQ(byColumn.left, 50);
    EXPECT_EQ(byColumn.bottom, 429);
}

TEST(BackgroundMap, WindowsAndRegionStayInsideTheImage)
{
    // The whole image as the region: border windows reach past the image and are clipped.
    const cv::Mat columns = ColumnRamp(50, 100);
    BackgroundMap map;
    EString error;
    ASSERT_TRUE(Ostravo::ConstructBackgroundMap(columns, {0, 0, 99, 49}, map, error, 5, 2));
    // Cell 0: centre column 10, window 28 wide (columns 0..24 after clipping): lower median 12.
    EXPECT_EQ(map.grid[0][0], 12);
    EXPECT_EQ(map.grid[0][4], 87); // centre 90, columns 76..99: lower median 87

    // A region reaching past the image is clipped to it; one wholly outside is refused.
    ASSERT_TRUE(Ostravo::ConstructBackgroundMap(columns, {-20, -5, 120, 60}, map, error, 5, 2));
    EXPECT_EQ(map.left, 0);
    EXPECT_EQ(map.right, 99);
    EXPECT_EQ(map.bottom, 49);
    const BackgroundMap kept = map;
    EXPECT_FALSE(Ostravo::ConstructBackgroundMap(columns, {200, 0, 300, 40}, map, error, 5, 2));
    EXPECT_STREQ(error.c_str(), "Ostravo::ConstructBackgroundMap() - roi is empty or outside of the image.");
    EXPECT_EQ(map.grid, kept.grid);
}

TEST(BackgroundMap, Refusals)
{
    BackgroundMap map;
    EString error;
    EXPECT_FALSE(Ostravo::ConstructBackgroundMap(cv::Mat(20, 20, CV_8UC1, cv::Scalar(1)), {0, 0, 19, 19}, map,
                                                 error, 2, 2));
    EXPECT_STREQ(error.c_str(), "Ostravo::ConstructBackgroundMap() - raw_bg_image must be type CV16U1.");
    EXPECT_FALSE(Ostravo::ConstructBackgroundMap(cv::Mat(20, 20, CV_16UC1, cv::Scalar(1)), {0, 0, 19, 19},
                                                 map, error, 0, 2));
    EXPECT_STREQ(error.c_str(),
                 "Ostravo::ConstructBackgroundMap() - the grid must have at least one column and one row.");
    EXPECT_TRUE(map.grid.empty());

    const cv::Mat input(20, 20, CV_16UC1, cv::Scalar(100));
    const BackgroundMap good = OneRowMap({100}, 100, 20);
    cv::Mat smaller(20, 19, CV_16UC1);
    EXPECT_FALSE(Ostravo::CreateBGCorrectedImage(input, good, smaller, error));
    EXPECT_STREQ(error.c_str(),
                 "Ostravo::CreateBGCorrectedImage() - image_out has different size from image_in.");
    cv::Mat other(20, 20, CV_32FC1);
    EXPECT_FALSE(Ostravo::CreateBGCorrectedImage(input, good, other, error));
    EXPECT_STREQ(error.c_str(),
                 "Ostravo::CreateBGCorrectedImage() - image_out has different type from image_in.");
    cv::Mat out = input.clone();
    EXPECT_FALSE(Ostravo::CreateBGCorrectedImage(input, BackgroundMap{}, out, error));
    EXPECT_STREQ(error.c_str(), "Ostravo::CreateBGCorrectedImage() - the background map has no cells.");
}

TEST(BackgroundCorrection, NearestCellScaling)
{
    // One row of five 80-pixel cells over 400 columns; reference 100.
    const BackgroundMap map = OneRowMap({100, 200, 300, 400, 0}, 100, 400);
    const cv::Mat input(3, 400, CV_16UC1, cv::Scalar(1000));
    cv::Mat out = cv::Mat::zeros(3, 400, CV_16UC1);
    EString error;
    ASSERT_TRUE(Ostravo::CreateBGCorrectedImage(input, map, out, error));
    struct Expect
    {
        int column;
        uint16_t value;
    };
    // Column 39 is cell 0 (0.4875 rounds to 0), 40 is cell 1 (0.5 rounds up), 280 is cell 4 (3.5);
    // 1000 / 3 rounds to 333; a cell of 0 gives 0.
    for (const Expect &e :
         {Expect{0, 1000}, {39, 1000}, {40, 500}, {119, 500}, {120, 333}, {279, 250}, {280, 0}, {399, 0}})
        EXPECT_EQ(out.at<uint16_t>(0, e.column), e.value) << "column " << e.column;
    EXPECT_EQ(out.at<uint16_t>(1, 40), 0); // outside the map's one-row region: not written
}

TEST(BackgroundCorrection, ReferenceZeroSaturationAndEmptyRegion)
{
    const cv::Mat input(1, 4, CV_16UC1, cv::Scalar(65535));
    cv::Mat out = input.clone();
    EString error;
    // Reference 0 counts as 1: 65535 / (1 / 1) stays; reference 2 doubles and saturates.
    ASSERT_TRUE(Ostravo::CreateBGCorrectedImage(input, OneRowMap({1}, 0, 4), out, error));
    EXPECT_EQ(out.at<uint16_t>(0, 0), 65535);
    cv::Mat half(1, 4, CV_16UC1, cv::Scalar(1001));
    ASSERT_TRUE(Ostravo::CreateBGCorrectedImage(half, OneRowMap({2}, 1, 4), out, error));
    EXPECT_EQ(out.at<uint16_t>(0, 1), 501); // 500.5 rounds away from zero
    ASSERT_TRUE(Ostravo::CreateBGCorrectedImage(input, OneRowMap({1}, 2, 4), out, error));
    EXPECT_EQ(out.at<uint16_t>(0, 2), 65535);

    BackgroundMap upsideDown = OneRowMap({7}, 7, 4);
    upsideDown.top = 1;
    upsideDown.bottom = 0;
    cv::Mat untouched(1, 4, CV_16UC1, cv::Scalar(9));
    ASSERT_TRUE(Ostravo::CreateBGCorrectedImage(input, upsideDown, untouched, error));
    EXPECT_EQ(cv::countNonZero(untouched != 9), 0);

    // A map region larger than the image writes only the part inside it.
    BackgroundMap wide = OneRowMap({100}, 100, 4);
    wide.right = 50;
    wide.bottom = 20;
    ASSERT_TRUE(Ostravo::CreateBGCorrectedImage(half, wide, out, error));
    EXPECT_EQ(out.at<uint16_t>(0, 3), 1001);
}

TEST(BackgroundImages, LoadsOneImagePerTypeFile)
{
    vantelis::test::TempDir dir;
    const cv::Mat bf(4, 5, CV_16UC1, cv::Scalar(40000));
    const cv::Mat fl(3, 3, CV_16UC1, cv::Scalar(1234));
    ASSERT_TRUE(cv::imwrite(dir.file("FL1.bg.tif"), fl));
    ASSERT_TRUE(cv::imwrite(dir.file("BF.bg.tif"), bf));
    ASSERT_TRUE(cv::imwrite(dir.file("BF.bg.tif.bg.tif"), bf)); // two occurrences: skipped
    ASSERT_TRUE(cv::imwrite(dir.file("BF.png"), bf));
    std::filesystem::create_directory(dir.file("DIR.bg.tif"));

    std::vector<cv::Mat> images;
    std::vector<EString> types;
    EString error;
    ASSERT_TRUE(LoadBGImages(("  " + dir.str() + "/ ").c_str(), images, types, error));
    ASSERT_EQ(types.size(), 2u);
    ASSERT_EQ(images.size(), 2u);
    EXPECT_STREQ(types[0].c_str(), "BF"); // in name order
    EXPECT_STREQ(types[1].c_str(), "FL1");
    EXPECT_EQ(images[0].type(), CV_16UC1);
    EXPECT_EQ(images[0].at<uint16_t>(1, 1), 40000);
    EXPECT_EQ(images[1].at<uint16_t>(2, 2), 1234);
    EXPECT_FALSE(error.IsNonEmpty());

    vantelis::test::TempDir empty;
    EXPECT_FALSE(LoadBGImages(empty.str().c_str(), images, types, error));
    EXPECT_FALSE(error.IsNonEmpty());
    EXPECT_EQ(types.size(), 2u);
}
