#include "analysis/CountingAlgo.h"
#include "analysis/RegionGrowing.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

namespace {

using DetectionLists = std::vector<std::vector<CellDetection>>;

constexpr uint16_t kBackground = 1000;
constexpr uint16_t kDisc = 3000;

// Filled discs of the given radius (pixels) on a background with uniform noise of +-25.
cv::Mat DiscScene(const cv::Size &size, const std::vector<cv::Point> &centres, int radius, uint64_t seed = 3)
{
    cv::Mat image(size, CV_16UC1);
    cv::RNG rng(seed);
    rng.fill(image, cv::RNG::UNIFORM, kBackground - 25, kBackground + 26);
    for (const cv::Point &c : centres)
        cv::circle(image, c, radius, cv::Scalar(kDisc), cv::FILLED, cv::LINE_8);
    return image;
}

std::vector<cv::Point> Grid(int columns, int rows, int spacing, cv::Point first)
{
    std::vector<cv::Point> points;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            points.emplace_back(first.x + c * spacing, first.y + r * spacing);
    return points;
}

// Type 1 only: 6 um discs at 1000 px/mm, plain image, outer ring only.
CountingAlgoOptions DiscOptions(const cv::Size &size, int margin)
{
    CountingAlgoOptions o{};
    o.pixels_per_mm = 1000.0;
    o.morph_filter[0] = true;
    o.count_filter[0] = true;
    o.proximity_within_type[0] = true;
    o.proximity_between_types = true;
    o.object_radius[0] = 6.0;
    o.radius_sweep[0] = 0;
    o.morph_threshold[0] = 2000;
    o.morph_samples[0] = 12;
    o.count_threshold[0] = 500;
    o.count_min_size[0] = 1;
    o.left = margin;
    o.top = margin;
    o.right = size.width - 1 - margin;
    o.bottom = size.height - 1 - margin;
    return o;
}

// Every detection lies within one pixel of a different centre, and every centre has one.
void ExpectOnePerCentre(const std::vector<CellDetection> &found, const std::vector<cv::Point> &centres,
                        const std::string &label)
{
    EXPECT_EQ(found.size(), centres.size()) << label;
    std::vector<int> hits(centres.size(), 0);
    for (const CellDetection &d : found) {
        bool matched = false;
        for (size_t i = 0; i < centres.size(); ++i)
            if (std::abs(d.x - centres[i].x) <= 1 && std::abs(d.y - centres[i].y) <= 1) {
                ++hits[i];
                matched = true;
            }
        EXPECT_TRUE(matched) << label << ": detection at " << d.x << "," << d.y;
    }
    for (size_t i = 0; i < centres.size(); ++i)
        EXPECT_EQ(hits[i], 1) << label << ": centre " << centres[i].x << "," << centres[i].y;
}

} // namespace

TEST(CountingCandidates, SweepOrderAndStep)
{
    using V = std::vector<double>;
    EXPECT_EQ(CountingCandidateRadii(5.0, 2), (V{5, 6, 4, 7, 3}));
    EXPECT_EQ(CountingCandidateRadii(3.5, 2), (V{3.5, 4.5, 5.5})); // 2.5 and 1.5 are below 3
    EXPECT_EQ(CountingCandidateRadii(6.0, 0), (V{6}));
    EXPECT_EQ(CountingCandidateRadii(8.0, 5), (V{8, 9, 7, 10, 6, 11, 5, 12, 4, 13, 3}));
    // A sweep of 12 steps by 3: d = 1, 4, 7, 10.
    EXPECT_EQ(CountingCandidateRadii(20.0, 12), (V{20, 21, 19, 24, 16, 27, 13, 30, 10}));
    EXPECT_EQ(CountingCandidateRadii(40.0, 6).size(), 7u);    // step 2: d = 1, 3, 5
    EXPECT_EQ(CountingCandidateRadii(100.0, 35).size(), 13u); // step 6: six on each side
}

TEST(CountingAlgo, OneDetectionPerDiscForEachSweep)
{
    const cv::Size size(240, 200);
    const std::vector<cv::Point> centres = Grid(5, 4, 40, {40, 40});
    const cv::Mat image = DiscScene(size, centres, 6);
    const cv::Mat before = image.clone();
    for (int sweep : {0, 2, 5}) {
        CountingAlgoOptions options = DiscOptions(size, 5);
        options.radius_sweep[0] = sweep;
        DetectionLists detections;
        EString error;
        ASSERT_TRUE(CountingAlgo(image, options, detections, nullptr, &error)) << error.c_str();
        ASSERT_EQ(detections.size(), 2u);
        ExpectOnePerCentre(detections[0], centres, "sweep " + std::to_string(sweep));
        EXPECT_TRUE(detections[1].empty());
    }
    EXPECT_EQ(cv::countNonZero(image != before), 0); // the input is not changed
}

TEST(CountingAlgo, EdgeProcessedDiscsWithTheInnerRing)
{
    const cv::Size size(240, 200);
    const std::vector<cv::Point> centres = Grid(5, 4, 40, {40, 40});
    const cv::Mat image = DiscScene(size, centres, 6);
    for (int sweep : {0, 2, 5}) {
        CountingAlgoOptions options = DiscOptions(size, 5);
        options.edge_processing = true;
        options.use_inner_ring[0] = true;
        options.morph_threshold[0] = 300;
        options.count_threshold[0] = 500;
        options.radius_sweep[0] = sweep;
        DetectionLists detections;
        ASSERT_TRUE(CountingAlgo(image, options, detections));
        ExpectOnePerCentre(detections[0], centres, "edge, sweep " + std::to_string(sweep));
    }
}

TEST(CountingAlgo, FlatImageGivesNothing)
{
    const cv::Size size(120, 100);
    const cv::Mat flat(size, CV_16UC1, cv::Scalar(1234));
    for (int mThreshold : {0, 1000}) {
        CountingAlgoOptions options = DiscOptions(size, 0);
        options.morph_filter[1] = options.count_filter[1] = true;
        options.object_radius[1] = 4.0;
        options.morph_samples[1] = 8;
        options.count_threshold[1] = 1;
        options.morph_threshold[0] = options.morph_threshold[1] = mThreshold;
        options.radius_sweep[0] = 2;
        DetectionLists detections;
        cv::Mat processed;
        ASSERT_TRUE(CountingAlgo(flat, options, detections, &processed));
        EXPECT_TRUE(detections[0].empty());
        EXPECT_TRUE(detections[1].empty());
        // The last response window holds 0, the rest the input.
        EXPECT_GT(cv::countNonZero(processed == 0), 0);
        EXPECT_EQ(cv::countNonZero(processed == 0) + cv::countNonZero(processed == 1234), size.area());
    }
}

TEST(CountingAlgo, OverlappingTypesKeepTypeOneOnATie)
{
    const cv::Size size(160, 120);
    const std::vector<cv::Point> centres = Grid(3, 2, 40, {40, 40});
    const cv::Mat image = DiscScene(size, centres, 6);
    CountingAlgoOptions options = DiscOptions(size, 0);
    // Type 2 the same as type 1: every pair overlaps with equal confidence.
    options.morph_filter[1] = options.count_filter[1] = options.proximity_within_type[1] = true;
    options.object_radius[1] = options.object_radius[0];
    options.morph_threshold[1] = options.morph_threshold[0];
    options.morph_samples[1] = options.morph_samples[0];
    options.count_threshold[1] = options.count_threshold[0];
    options.count_min_size[1] = options.count_min_size[0];

    DetectionLists detections;
    ASSERT_TRUE(CountingAlgo(image, options, detections));
    ExpectOnePerCentre(detections[0], centres, "type 1");
    EXPECT_TRUE(detections[1].empty());

    options.proximity_between_types = false;
    ASSERT_TRUE(CountingAlgo(image, options, detections));
    ExpectOnePerCentre(detections[0], centres, "type 1 without cross-type filtering");
    ExpectOnePerCentre(detections[1], centres, "type 2 without cross-type filtering");
}

TEST(CountingAlgo, TypesRunOnlyWithTheirFilters)
{
    const cv::Size size(160, 120);
    const std::vector<cv::Point> centres = Grid(3, 2, 40, {40, 40});
    const cv::Mat image = DiscScene(size, centres, 6);

    // Only type 2 enabled: type 1 stays empty.
    CountingAlgoOptions options = DiscOptions(size, 0);
    std::swap(options.morph_filter[0], options.morph_filter[1]);
    options.count_filter[1] = true;
    options.object_radius[1] = 6.0;
    options.morph_threshold[1] = 2000;
    options.morph_samples[1] = 12;
    options.count_threshold[1] = 500;
    options.count_min_size[1] = 1;
    DetectionLists detections{{CellDetection{}}}; // whatever the caller left is replaced
    ASSERT_TRUE(CountingAlgo(image, options, detections));
    ASSERT_EQ(detections.size(), 2u);
    EXPECT_TRUE(detections[0].empty());
    ExpectOnePerCentre(detections[1], centres, "type 2");

    // The M filter without the C filter changes only the processed image.
    options = DiscOptions(size, 0);
    options.count_filter[0] = false;
    cv::Mat processed;
    ASSERT_TRUE(CountingAlgo(image, options, detections, &processed));
    EXPECT_TRUE(detections[0].empty());
    EXPECT_GT(cv::countNonZero(processed != image), 0);
}

TEST(CountingAlgo, ProcessedImageIsTheLastResponse)
{
    const cv::Size size(160, 120);
    const cv::Mat image = DiscScene(size, Grid(3, 2, 40, {40, 40}), 6);
    CountingAlgoOptions options = DiscOptions(size, 3);
    options.radius_sweep[0] = 2; // candidates 6, 7, 5, 8, 4: the window changes between them
    options.morph_filter[1] = options.count_filter[1] = true;
    options.object_radius[1] = 9.0;
    options.radius_sweep[1] = 3; // candidates 9, 10, 8, 11, 7, 12, 6: the last is 6
    options.morph_threshold[1] = 1500;
    options.morph_samples[1] = 10;
    options.use_inner_ring[1] = true;
    DetectionLists detections;
    cv::Mat processed;
    ASSERT_TRUE(CountingAlgo(image, options, detections, &processed));

    cv::Mat expected = image.clone();
    ASSERT_TRUE(ApplyMFilter(expected, options.left, options.right, options.top, options.bottom, 6.0, 10,
                             1500, true));
    EXPECT_EQ(cv::countNonZero(processed != expected), 0);

    // With no type enabled: the edge-processed input (a constant image becomes 0 in the region).
    const cv::Mat flat(size, CV_16UC1, cv::Scalar(700));
    options.morph_filter[0] = options.morph_filter[1] = false;
    options.edge_processing = true;
    ASSERT_TRUE(CountingAlgo(flat, options, detections, &processed));
    const cv::Rect region(options.left, options.top, options.right - options.left + 1,
                          options.bottom - options.top + 1);
    EXPECT_EQ(cv::countNonZero(processed(region)), 0);
    EXPECT_EQ(cv::countNonZero(processed == 700), size.area() - region.area());

    // Without edge processing: a copy of the input, not the input itself.
    options.edge_processing = false;
    ASSERT_TRUE(CountingAlgo(flat, options, detections, &processed));
    EXPECT_EQ(cv::countNonZero(processed != flat), 0);
    EXPECT_NE(processed.data, flat.data);
}

TEST(CountingAlgo, RegionPartlyOutsideIsClipped)
{
    const cv::Size size(160, 120);
    const std::vector<cv::Point> centres = Grid(3, 2, 40, {40, 40});
    const cv::Mat image = DiscScene(size, centres, 6);
    CountingAlgoOptions options = DiscOptions(size, 0);
    options.left = -50;
    options.top = -20;
    options.right = 500;
    options.bottom = 300;
    options.radius_sweep[0] = 2;
    DetectionLists detections;
    ASSERT_TRUE(CountingAlgo(image, options, detections));
    ExpectOnePerCentre(detections[0], centres, "clipped region");
}

TEST(CountingAlgo, WholeFrameRegionCountsDiscsAtTheEdges)
{
    // Discs as close to each edge as the M window allows for radius 6 (left 2R + a = 14, top
    // R + a = 8, right and bottom R + a short of the end): their outer rings (radius 9) reach past
    // the image, where the nearest edge pixel is read.
    const cv::Size size(200, 160);
    const std::vector<cv::Point> centres = {{20, 9},   {100, 9},  {16, 80},  {100, 80},
                                            {190, 80}, {60, 150}, {190, 150}};
    const cv::Mat image = DiscScene(size, centres, 6, 17);
    CountingAlgoOptions options = DiscOptions(size, 0);
    options.edge_processing = true;
    options.use_inner_ring[0] = true;
    options.morph_threshold[0] = 300;
    options.radius_sweep[0] = 2;

    // The working memory of another frame size, to be reused.
    CountingBuffers buffers;
    DetectionLists detections;
    ASSERT_TRUE(CountingAlgo(DiscScene({90, 70}, {{40, 35}}, 6), DiscOptions({90, 70}, 0), detections,
                             nullptr, nullptr, &buffers));

    struct Run
    {
        int threads;
        bool reuse;
    };
    const Run runs[] = {{1, false},
                        {1, true},
                        {std::max(4, cv::getNumberOfCPUs()), false},
                        {std::max(4, cv::getNumberOfCPUs()), true}};
    const int saved = cv::getNumThreads();
    std::vector<DetectionLists> results;
    for (const Run &run : runs) {
        cv::setNumThreads(run.threads);
        DetectionLists found;
        const bool ok = CountingAlgo(image, options, found, nullptr, nullptr, run.reuse ? &buffers : nullptr);
        cv::setNumThreads(saved);
        ASSERT_TRUE(ok);
        const std::string label = std::to_string(run.threads) + (run.reuse ? " threads, reused" : " threads");
        ExpectOnePerCentre(found[0], centres, label);
        results.push_back(found);
    }
    for (size_t r = 1; r < results.size(); ++r) {
        ASSERT_EQ(results[r][0].size(), results[0][0].size());
        for (size_t i = 0; i < results[0][0].size(); ++i) {
            const CellDetection &a = results[0][0][i], &b = results[r][0][i];
            EXPECT_TRUE(a.x == b.x && a.y == b.y && a.confidence == b.confidence && a.radius == b.radius)
                << "run " << r << " detection " << i;
        }
    }

    // The working image is the response over the whole frame. A disc on the window's top row has
    // outer-ring samples one row above the image, which read the brighter top row. Discs of radius
    // 8 put the ring of radius 6 inside them.
    cv::Mat framed = DiscScene(size, {{100, 8}, {60, 80}}, 8, 23);
    framed.row(0).setTo(2000);
    options.edge_processing = false;
    options.use_inner_ring[0] = false;
    options.radius_sweep[0] = 0;
    cv::Mat processed;
    ASSERT_TRUE(CountingAlgo(framed, options, detections, &processed, nullptr, &buffers));
    cv::Mat expected = framed.clone();
    ASSERT_TRUE(ApplyMFilter(expected, 0, size.width - 1, 0, size.height - 1, 6.0, 12, 300, false));
    EXPECT_GT(expected.at<uint16_t>(8, 100), 0);
    EXPECT_EQ(cv::countNonZero(processed != expected), 0);
    EXPECT_NE(processed.data, buffers.working.data); // not the memory the next call overwrites
}

TEST(CountingAlgo, TypesWithTheSameMSettingsKeepTheirOwnCFilters)
{
    // Type 2 samples like type 1; only its C filter settings differ.
    const cv::Size size(160, 120);
    const std::vector<cv::Point> centres = Grid(3, 2, 40, {40, 40});
    const cv::Mat image = DiscScene(size, centres, 6);
    struct Case
    {
        const char *name;
        void (*change)(CountingAlgoOptions &);
        bool firstFound, secondFound;
    };
    const Case cases[] = {
        {"both count", [](CountingAlgoOptions &) {}, true, true},
        {"type 2 needs huge regions", [](CountingAlgoOptions &o) { o.count_min_size[1] = 100000; }, true,
         false},
        {"type 2 threshold out of reach", [](CountingAlgoOptions &o) { o.count_threshold[1] = 65535; }, true,
         false},
        {"type 1 without its C filter", [](CountingAlgoOptions &o) { o.count_filter[0] = false; }, false,
         true},
    };
    for (const Case &c : cases) {
        CountingAlgoOptions options = DiscOptions(size, 0);
        options.proximity_between_types = false;
        options.radius_sweep[0] = options.radius_sweep[1] = 2;
        options.morph_filter[1] = options.count_filter[1] = options.proximity_within_type[1] = true;
        options.object_radius[1] = options.object_radius[0];
        options.morph_threshold[1] = options.morph_threshold[0];
        options.morph_samples[1] = options.morph_samples[0];
        options.count_threshold[1] = options.count_threshold[0];
        options.count_min_size[1] = options.count_min_size[0];
        c.change(options);
        DetectionLists detections;
        ASSERT_TRUE(CountingAlgo(image, options, detections)) << c.name;
        if (c.firstFound)
            ExpectOnePerCentre(detections[0], centres, std::string(c.name) + ", type 1");
        else
            EXPECT_TRUE(detections[0].empty()) << c.name;
        if (c.secondFound)
            ExpectOnePerCentre(detections[1], centres, std::string(c.name) + ", type 2");
        else
            EXPECT_TRUE(detections[1].empty()) << c.name;
    }
}

TEST(CountingAlgo, RefusesWhatItCannotCount)
{
    const cv::Size size(80, 60);
    const cv::Mat image(size, CV_16UC1, cv::Scalar(100));
    struct Case
    {
        const char *name;
        void (*change)(CountingAlgoOptions &);
        const char *message;
    };
    const Case cases[] = {
        {"scale 0", [](CountingAlgoOptions &o) { o.pixels_per_mm = 0.0; },
         "CountingAlgo() - pixels per mm must be greater than 0"},
        {"region outside", [](CountingAlgoOptions &o) { o.left = o.right = 100; },
         "CountingAlgo() - the region is empty or outside of the image"},
        {"no samples", [](CountingAlgoOptions &o) { o.morph_samples[0] = 0; },
         "CountingAlgo() - MFilterSamples1 must be at least 1"},
        {"negative radius", [](CountingAlgoOptions &o) { o.object_radius[0] = -2.0; },
         "CountingAlgo() - ObjectRadius1 is invalid"},
    };
    for (const Case &c : cases) {
        CountingAlgoOptions options = DiscOptions(size, 0);
        c.change(options);
        DetectionLists detections{{CellDetection{}}};
        cv::Mat processed;
        EString error;
        EXPECT_FALSE(CountingAlgo(image, options, detections, &processed, &error)) << c.name;
        EXPECT_STREQ(error.c_str(), c.message);
        EXPECT_EQ(detections.size(), 1u) << c.name; // left as it was
        EXPECT_TRUE(processed.empty()) << c.name;
    }
    // A type whose M filter is off is not checked.
    CountingAlgoOptions options = DiscOptions(size, 0);
    options.morph_samples[1] = 0;
    DetectionLists detections;
    EXPECT_TRUE(CountingAlgo(image, options, detections));
}

TEST(CrossTypeSuppression, WeakerOfEachOverlappingPairGoes)
{
    auto det = [](int x, int y, float confidence, float radius) {
        return CellDetection{x, y, confidence, 0.0f, radius};
    };
    struct Case
    {
        const char *name;
        CellDetection a, b;
        size_t keptFirst, keptSecond;
    };
    const Case cases[] = {
        {"tie keeps type 1", det(10, 10, 5.0f, 3.0f), det(12, 10, 5.0f, 3.0f), 1, 0},
        {"stronger type 2", det(10, 10, 5.0f, 3.0f), det(12, 10, 6.0f, 3.0f), 0, 1},
        {"stronger type 1", det(10, 10, 7.0f, 3.0f), det(12, 10, 6.0f, 3.0f), 1, 0},
        {"distance equal to the radii", det(10, 10, 5.0f, 3.0f), det(16, 10, 6.0f, 3.0f), 0, 1},
        {"just apart", det(10, 10, 5.0f, 3.0f), det(15, 14, 6.0f, 3.0f), 1, 1},        // 6.4 > 6
        {"fractional radii", det(10, 10, 5.0f, 2.25f), det(13, 13, 6.0f, 2.5f), 0, 1}, // 4.24 <= 4.75
    };
    for (const Case &c : cases) {
        DetectionLists lists{{c.a}, {c.b}};
        SuppressOverlappingTypes(lists);
        EXPECT_EQ(lists[0].size(), c.keptFirst) << c.name;
        EXPECT_EQ(lists[1].size(), c.keptSecond) << c.name;
    }

    // A detection marked by one pair still removes its partner in another, and each index goes once.
    DetectionLists lists{{det(10, 10, 5.0f, 3.0f), det(100, 100, 9.0f, 3.0f)},
                         {det(12, 10, 6.0f, 3.0f), det(8, 10, 4.0f, 3.0f), det(101, 100, 1.0f, 3.0f)}};
    SuppressOverlappingTypes(lists);
    ASSERT_EQ(lists[0].size(), 1u);
    EXPECT_EQ(lists[0][0].x, 100);
    ASSERT_EQ(lists[1].size(), 1u);
    EXPECT_EQ(lists[1][0].x, 12);
}

TEST(CrossTypeSuppression, SameAsComparingEveryPair)
{
    // Many detections with small, fractional, huge and equal radii: the result is that of the
    // definition over every pair, in the original order.
    auto reference = [](DetectionLists lists) {
        std::vector<char> dropFirst(lists[0].size(), 0), dropSecond(lists[1].size(), 0);
        for (size_t i = 0; i < lists[0].size(); ++i)
            for (size_t j = 0; j < lists[1].size(); ++j) {
                const CellDetection &a = lists[0][i], &b = lists[1][j];
                const double dx = double(a.x) - b.x, dy = double(a.y) - b.y;
                if (static_cast<float>(std::sqrt(dx * dx + dy * dy)) >
                    static_cast<float>(double(a.radius) + double(b.radius)))
                    continue;
                (b.confidence > a.confidence ? dropFirst[i] : dropSecond[j]) = 1;
            }
        DetectionLists kept(2);
        for (size_t i = 0; i < lists[0].size(); ++i)
            if (!dropFirst[i])
                kept[0].push_back(lists[0][i]);
        for (size_t j = 0; j < lists[1].size(); ++j)
            if (!dropSecond[j])
                kept[1].push_back(lists[1][j]);
        return kept;
    };
    const float radii[] = {0.0f, 2.5f, 6.0f, 7.25f, 40.0f, 1000.0f};
    for (uint64_t seed = 1; seed <= 6; ++seed) {
        cv::RNG rng(seed);
        DetectionLists lists(2);
        for (int t = 0; t < 2; ++t)
            for (int k = 0; k < 300; ++k)
                lists[t].push_back({rng.uniform(0, 500), rng.uniform(0, 500), float(rng.uniform(0, 8)), 0.0f,
                                    radii[rng.uniform(0, seed < 4 ? 4 : 6)]});
        const DetectionLists expected = reference(lists);
        SuppressOverlappingTypes(lists);
        for (int t = 0; t < 2; ++t) {
            ASSERT_EQ(lists[t].size(), expected[t].size()) << "seed " << seed << " type " << t + 1;
            for (size_t i = 0; i < expected[t].size(); ++i)
                EXPECT_TRUE(lists[t][i].x == expected[t][i].x && lists[t][i].y == expected[t][i].y &&
                            lists[t][i].radius == expected[t][i].radius)
                    << "seed " << seed << " type " << t + 1 << " detection " << i;
        }
        EXPECT_LT(lists[0].size() + lists[1].size(), 600u) << "seed " << seed; // some pairs overlapped
    }
}
