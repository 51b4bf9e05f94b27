// The window-free parts of the application's commands: the single capture of the first image type
// and choosing the active ROI by name.
#include "app/AppCommands.h"
#include "app/BackgroundImages.h"
#include "app/PlexorinApp.h"
#include "app/ViewGlobals.h"
#include "support/FakeCamera.h"
#include "support/ServiceFakes.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

namespace vantelis::test {
namespace {

class Capturer : public StubCapture
{
  public:
    bool CaptureFirstActiveImageType(cv::Mat &image, int index, int32_t exposure, const char *name,
                                     EString &error, const char *passThrough) override
    {
        call = std::to_string(index) + ":" + std::to_string(exposure) + ":" + name + ":" + passThrough;
        if (!ok) {
            error.Assign("timeout");
            return false;
        }
        image = cv::Mat(2, 3, CV_16UC1, cv::Scalar(7));
        return true;
    }

    bool ok = true;
    std::string call;
};

class RoiList : public StubRoiLookup, public StubRoiWindows
{
  public:
    ModelessWindow &RoiManager() override { return manager; }
    bool ShowCurrentRoi() override
    {
        ++shown;
        return true;
    }

    NoWindow manager;
    int shown = 0;
};

class CaptureSingleActiveImageTest : public ::testing::Test
{
  protected:
    CaptureSingleActiveImageTest() : m_devices(std::make_shared<Capturer>())
    {
        InstallCaptureServices(m_devices);
        m_app.m_ini_path = m_dir.file("Plexorin.ini");
        WriteFileBytes(m_app.m_ini_path,
                       "[ExperimentSettings]\r\nImageTypeName1=BrightField\r\nImageTypeName2=FL1\r\n"
                       "ImageTypeExposure1=1500\r\nImageTypeExposure2=90000\r\n");
    }
    ~CaptureSingleActiveImageTest() override
    {
        m_app.m_camera = nullptr;
        InstallCaptureServices(nullptr);
    }

    TempDir m_dir;
    CPlexorinApp m_app;
    FakeCamera m_camera;
    std::shared_ptr<Capturer> m_devices;
};

TEST_F(CaptureSingleActiveImageTest, WithoutACameraFailsAndLeavesTheTypeIndex)
{
    cv::Mat image;
    EString error;
    EXPECT_FALSE(capture_single_active_image(image, EString("pass"), error, m_app));
    EXPECT_STREQ(error.c_str(), "capture_single_active_image () : Camera not initialized.");
    EXPECT_EQ(m_app.m_active_image_type_index, -1);
    EXPECT_TRUE(m_devices->call.empty());
}

TEST_F(CaptureSingleActiveImageTest, CapturesTheFirstImageTypeWithItsExposure)
{
    m_app.m_camera = &m_camera;
    cv::Mat image;
    EString error;
    EXPECT_TRUE(capture_single_active_image(image, EString("split"), error, m_app));
    EXPECT_EQ(m_camera.calls, (std::vector<std::string>{"Initialize:1"}));
    EXPECT_EQ(m_devices->call, "0:1500:BrightField:split");
    EXPECT_EQ(m_app.m_active_image_type_index, 0);
    EXPECT_EQ(image.rows, 2);
}

TEST_F(CaptureSingleActiveImageTest, FailuresCarryTheRoutinesName)
{
    m_app.m_camera = &m_camera;
    cv::Mat image;
    EString error;
    m_camera.initializeOk = false;
    EXPECT_FALSE(capture_single_active_image(image, EString(""), error, m_app));
    EXPECT_STREQ(error.c_str(), "capture_single_active_image () : Camera not found.");

    m_camera.initializeOk = true;
    m_devices->ok = false;
    error.Assign("");
    EXPECT_FALSE(capture_single_active_image(image, EString(""), error, m_app));
    EXPECT_STREQ(error.c_str(), "capture_single_active_image () : timeout");
}

TEST_F(CaptureSingleActiveImageTest, MissingExposureIsMinusOne)
{
    WriteFileBytes(m_app.m_ini_path,
                   "[ExperimentSettings]\r\nImageTypeName1=BF\r\nImageTypeExposure1=fast\r\n");
    m_app.m_camera = &m_camera;
    cv::Mat image;
    EString error;
    EXPECT_TRUE(capture_single_active_image(image, EString("p"), error, m_app));
    EXPECT_EQ(m_devices->call, "0:-1:BF:p");
}

class SelectDisplayRoiByNameTest : public ::testing::Test
{
  protected:
    SelectDisplayRoiByNameTest() : m_tools(std::make_shared<RoiList>())
    {
        InstallRoiLookup(m_tools);
        InstallRoiWindows(m_tools);
        SetInvalidateAllViewsHook([this] { ++m_redraws; });
        m_tools->rois["Channel"] = ImageRect{100, 200, 300, 400};
        _active_roi.Set(ImageRect{100, 201, 300, 400});
    }
    ~SelectDisplayRoiByNameTest() override
    {
        SetInvalidateAllViewsHook(nullptr);
        RemoveToolServices();
        _active_roi.Set(ImageRect{});
    }

    std::shared_ptr<RoiList> m_tools;
    int m_redraws = 0;
};

TEST_F(SelectDisplayRoiByNameTest, ARectangleDifferingOnlyInItsTopReplacesTheActiveRoi)
{
    m_tools->manager.exists = true;
    EXPECT_TRUE(SelectDisplayRoiByName("Channel"));
    EXPECT_EQ(_active_roi.Get(), (ImageRect{100, 200, 300, 400}));
    EXPECT_EQ(m_tools->shown, 1);
    EXPECT_EQ(m_redraws, 1);
}

TEST_F(SelectDisplayRoiByNameTest, TheSameRectangleStillRedrawsWithoutTellingTheManager)
{
    m_tools->manager.exists = true;
    _active_roi.Set(ImageRect{100, 200, 300, 400});
    EXPECT_TRUE(SelectDisplayRoiByName("Channel"));
    EXPECT_EQ(m_tools->shown, 0);
    EXPECT_EQ(m_redraws, 1);
}

TEST_F(SelectDisplayRoiByNameTest, WithoutTheManagerWindowItIsNotTold)
{
    EXPECT_TRUE(SelectDisplayRoiByName("Channel"));
    EXPECT_EQ(m_tools->shown, 0);
    EXPECT_EQ(_active_roi.Get(), (ImageRect{100, 200, 300, 400}));
}

TEST_F(SelectDisplayRoiByNameTest, AnUnknownNameChangesNothing)
{
    EXPECT_FALSE(SelectDisplayRoiByName("Magnet"));
    EXPECT_EQ(_active_roi.Get(), (ImageRect{100, 201, 300, 400}));
    EXPECT_EQ(m_redraws, 0);
}

} // namespace
} // namespace vantelis::test
