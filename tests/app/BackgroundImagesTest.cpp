// Background images: saving with one previous generation kept as ".old", loading, writing one
// type beside an experiment's images, the two commands' states and the view refresh.
#include "app/BackgroundImages.h"

#include "support/FakeUi.h"
#include "support/TempDir.h"

#include "Ostravo/LogError.h"
#include "app/GuiSeam.h"
#include "app/PlexorinApp.h"
#include "platform/Files.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <filesystem>
#include <memory>
#include <string>

namespace vantelis::test {
namespace {

cv::Mat Background(int seed)
{
    cv::Mat image(24, 32, CV_16UC1);
    for (int r = 0; r < image.rows; ++r)
        for (int c = 0; c < image.cols; ++c)
            image.at<uint16_t>(r, c) = static_cast<uint16_t>(1000 * seed + r * 37 + c * 5 + 40000);
    return image;
}

bool SameImage(const cv::Mat &a, const cv::Mat &b)
{
    return a.type() == b.type() && a.size() == b.size() && cv::norm(a, b, cv::NORM_INF) == 0.0;
}

cv::Mat ReadBack(const std::string &path)
{
    return cv::imread(path, cv::IMREAD_ANYDEPTH);
}

class BackgroundImagesTest : public ::testing::Test
{
  protected:
    BackgroundImagesTest()
    {
        m_app = std::make_unique<CPlexorinApp>();
        m_app->m_data_directory = m_dir.str();
        m_app->m_ini_path = m_dir.file("Plexorin.ini");
        std::filesystem::create_directories(m_dir.file("LOG"));
        SetLogDataDirectory(m_dir.str().c_str());
    }
    ~BackgroundImagesTest() override { SetLogDataDirectory(""); }

    std::string File(int n) const { return m_dir.file("BgImages/BgImageType." + std::to_string(n) + ".tif"); }

    TempDir m_dir;
    ScopedFakeUi m_ui;
    std::unique_ptr<CPlexorinApp> m_app;
};

TEST_F(BackgroundImagesTest, SavingWritesOnlyTheLoadedTypesAndKeepsThePreviousSetAsOld)
{
    std::filesystem::create_directories(m_dir.file("BgImages"));
    WriteFileBytes(File(1), "type one as it was");
    WriteFileBytes(File(3), "type three as it was");

    SetBackgroundImage(*m_app, 2, Background(2));
    std::string error;
    ASSERT_TRUE(SaveBackgroundImagesToFile(*m_app, error)) << error;
    EXPECT_TRUE(SameImage(ReadBack(File(2)), Background(2)));
    EXPECT_FALSE(platform::FileExists(File(2) + ".old")); // nothing was there before
    EXPECT_EQ(ReadFileBytes(File(1)), "type one as it was");
    EXPECT_EQ(ReadFileBytes(File(3)), "type three as it was");
    EXPECT_FALSE(platform::FileExists(File(4)));

    // A second save moves the first set aside, one generation only.
    SetBackgroundImage(*m_app, 2, Background(5));
    ASSERT_TRUE(SaveBackgroundImagesToFile(*m_app, error)) << error;
    EXPECT_TRUE(SameImage(ReadBack(File(2)), Background(5)));
    EXPECT_TRUE(SameImage(ReadBack(File(2) + ".old"), Background(2)));
    SetBackgroundImage(*m_app, 2, Background(7));
    ASSERT_TRUE(SaveBackgroundImagesToFile(*m_app, error)) << error;
    EXPECT_TRUE(SameImage(ReadBack(File(2)), Background(7)));
    EXPECT_TRUE(SameImage(ReadBack(File(2) + ".old"), Background(5)));
}

TEST_F(BackgroundImagesTest, SavedImagesLoadBackAndMissingTypesStayEmpty)
{
    SetBackgroundImage(*m_app, 1, Background(1));
    SetBackgroundImage(*m_app, 3, Background(3));
    std::string error;
    ASSERT_TRUE(SaveBackgroundImagesToFile(*m_app, error)) << error;
    std::filesystem::remove(File(1));

    // The load replaces everything loaded: type 1 had an image in memory but has no file now.
    SetBackgroundImage(*m_app, 4, Background(4));
    ASSERT_TRUE(LoadBackgroundImagesFromFile(*m_app, error)) << error;
    EXPECT_EQ(m_app->m_background_images[0], nullptr);
    EXPECT_EQ(m_app->m_background_images[1], nullptr);
    EXPECT_EQ(m_app->m_background_images[3], nullptr);
    ASSERT_NE(m_app->m_background_images[2], nullptr);
    EXPECT_TRUE(SameImage(GetBackgroundImage(*m_app, 3), Background(3)));
    EXPECT_EQ(GetNumberOfBackgroundImagesLoaded(*m_app), 1);
}

TEST_F(BackgroundImagesTest, AFileThatDoesNotDecodeLoadsAsAnEmptyImageAndIsNotSavedOver)
{
    std::filesystem::create_directories(m_dir.file("BgImages"));
    WriteFileBytes(File(2), "no tiff inside");
    std::string error;
    ASSERT_TRUE(LoadBackgroundImagesFromFile(*m_app, error));
    ASSERT_NE(m_app->m_background_images[1], nullptr);
    EXPECT_TRUE(m_app->m_background_images[1]->empty());
    EXPECT_TRUE(GetBackgroundImage(*m_app, 2).empty());

    // An empty slot has nothing to write: the file stays and no ".old" appears.
    ASSERT_TRUE(SaveBackgroundImagesToFile(*m_app, error)) << error;
    EXPECT_EQ(ReadFileBytes(File(2)), "no tiff inside");
    EXPECT_FALSE(platform::FileExists(File(2) + ".old"));
}

TEST_F(BackgroundImagesTest, FailuresNameTheFunctionAndThePath)
{
    // A data folder below a plain file: BgImages cannot be made.
    WriteFileBytes(m_dir.file("plain"), "x");
    m_app->m_data_directory = m_dir.file("plain");
    const std::string folder = m_dir.file("plain") + "/BgImages";
    SetBackgroundImage(*m_app, 1, Background(1));
    std::string error;
    EXPECT_FALSE(SaveBackgroundImagesToFile(*m_app, error));
    EXPECT_EQ(error, "CPlexorinApp::SaveBackgroundImagesToFile() - can't create directory: " + folder);
    EXPECT_FALSE(LoadBackgroundImagesFromFile(*m_app, error));
    EXPECT_EQ(error, "CPlexorinApp::LoadBackgroundImagesFromFile() - unable to create directory: " + folder);
    EXPECT_TRUE(SameImage(GetBackgroundImage(*m_app, 1), Background(1))); // the failed load changed nothing

    // The previous file cannot be moved aside: the save stops before writing that type.
    m_app->m_data_directory = m_dir.str();
    std::filesystem::create_directories(m_dir.file("BgImages"));
    WriteFileBytes(File(1), "current");
    std::filesystem::create_directories(File(1) + ".old"); // a folder is in the way
    EXPECT_FALSE(SaveBackgroundImagesToFile(*m_app, error));
    EXPECT_EQ(error, "CPlexorinApp::SaveBackgroundImagesToFile() - unable to move file " + File(1) + " -> " +
                         File(1) + ".old");
    EXPECT_EQ(ReadFileBytes(File(1)), "current");
}

TEST_F(BackgroundImagesTest, TheDataFolderIsTrimmedBeforeBgImagesIsAdded)
{
    m_app->m_data_directory = "  " + m_dir.str() + "/\t\r\nsecond line";
    EXPECT_EQ(BackgroundImagesFolder(*m_app), m_dir.str() + "/BgImages");
    EXPECT_EQ(BackgroundImageFile(*m_app, 3), m_dir.str() + "/BgImages/BgImageType.3.tif");
}

TEST_F(BackgroundImagesTest, WriteBackgroundImageMatchesTheTypeNameIgnoringCase)
{
    WriteFileBytes(m_app->m_ini_path, "[ExperimentSettings]\r\nImageTypeName1=BrightField\r\n"
                                      "ImageTypeName2=FL1\r\nImageTypeName3=FL2\r\n");
    SetBackgroundImage(*m_app, 2, Background(2));
    const std::string folder = m_dir.file("experiment");
    std::filesystem::create_directories(folder);

    EXPECT_TRUE(WriteBackgroundImage(*m_app, "fl1", folder));
    EXPECT_TRUE(
        SameImage(ReadBack(folder + "/fl1.bg.tif"), Background(2))); // written under the name as given
    EXPECT_TRUE(WriteBackgroundImage(*m_app, "FL2", folder));        // type 3 has no image
    EXPECT_TRUE(WriteBackgroundImage(*m_app, "Unknown", folder));
    EXPECT_FALSE(platform::FileExists(folder + "/FL2.bg.tif"));
    EXPECT_FALSE(platform::FileExists(folder + "/Unknown.bg.tif"));

    EXPECT_FALSE(WriteBackgroundImage(*m_app, "FL1", m_dir.file("no/such/folder")));
}

TEST_F(BackgroundImagesTest, ARenderHoldingAnImageKeepsItWhenTheSlotIsReplaced)
{
    SetBackgroundImage(*m_app, 1, Background(1));
    const cv::Mat held = GetBackgroundImage(*m_app, 1);
    UnloadBackgroundImages(*m_app);
    EXPECT_EQ(GetNumberOfBackgroundImagesLoaded(*m_app), 0);
    EXPECT_TRUE(SameImage(held, Background(1)));
}

TEST_F(BackgroundImagesTest, CommandStatesFollowTheLoadedImagesAndTheModes)
{
    struct Case
    {
        bool loaded, analysis, workflow;
        bool captureEnabled, captureChecked, unloadEnabled;
    };
    const Case cases[] = {
        {false, false, false, true, false, false},
        {true, false, false, true, true, true},
        {true, true, false, false, true, false},
        {true, false, true, false, true, false},
    };
    for (const Case &c : cases) {
        UnloadBackgroundImages(*m_app);
        if (c.loaded)
            SetBackgroundImage(*m_app, 4, Background(4));
        m_app->m_analysis_mode = c.analysis;
        m_app->m_workflow_running = c.workflow;
        const BackgroundCommandState capture = CaptureBackgroundImagesCommandState(*m_app);
        const BackgroundCommandState unload = UnloadBackgroundImagesCommandState(*m_app);
        EXPECT_EQ(capture.enabled, c.captureEnabled);
        EXPECT_EQ(capture.checked, c.captureChecked);
        EXPECT_EQ(unload.enabled, c.unloadEnabled);
        EXPECT_FALSE(unload.checked);
    }
}

TEST_F(BackgroundImagesTest, CaptureIsRefusedWhileTheWorkflowRunsAndReportsAMissingCamera)
{
    SetBackgroundImage(*m_app, 1, Background(1));
    m_app->m_workflow_running = true;
    CaptureBackgroundImages(*m_app);
    ASSERT_EQ(m_ui->Messages().size(), 1u);
    EXPECT_EQ(m_ui->Messages()[0].text,
              "CMainFrame::CaptureBackgroundImages() - Can't capture background images "
              "while the image capture workflow is running.");
    EXPECT_EQ(GetNumberOfBackgroundImagesLoaded(*m_app), 1);

    // Without the device code the capture fails with its text; the images were cleared first.
    m_app->m_workflow_running = false;
    CaptureBackgroundImages(*m_app);
    ASSERT_EQ(m_ui->Messages().size(), 2u);
    EXPECT_NE(m_ui->Messages()[1].text.find("not available"), std::string::npos);
    EXPECT_EQ(GetNumberOfBackgroundImagesLoaded(*m_app), 0);
}

class NoDocuments : public DocumentTemplate
{
  public:
    std::vector<OpenDocument> Documents() const override { return {}; }
    void PostCloseDocument(size_t) override {}
};

TEST_F(BackgroundImagesTest, RefreshAllViewsWaitsForTheDocumentTemplate)
{
    int calls = 0;
    SetInvalidateAllViewsHook([&calls] { ++calls; });
    DocumentTemplate *before = theApp.m_doc_template;
    theApp.m_doc_template = nullptr;
    RefreshAllViews();
    EXPECT_EQ(calls, 0);
    NoDocuments documents;
    theApp.m_doc_template = &documents;
    RefreshAllViews();
    InvalidateAllViews();
    EXPECT_EQ(calls, 2);
    theApp.m_doc_template = before;
    SetInvalidateAllViewsHook(nullptr);
}

} // namespace
} // namespace vantelis::test
