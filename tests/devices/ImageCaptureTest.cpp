// Capture and saving: the experiment's images with their XMP properties, the capture log, the image
// checks, the file names, the low-level capture with a fake camera, manual image sets and the
// capture workflow thread.
#include "DevicesFixture.h"

#include "support/ServiceFakes.h"

#include "Ostravo/SerialPort.h"
#include "Ostravo/TecanCentris.h"
#include "app/BackgroundImages.h"
#include "app/IdleQueues.h"
#include "app/ScriptServices.h"
#include "devices/CaptureDeviceServices.h"
#include "devices/ExperimentCreation.h"
#include "devices/ImageCapture.h"
#include "devices/XmpMetadata.h"
#include "platform/SystemInfo.h"
#include "support/FakeCamera.h"
#include "support/PumpSimulator.h"

#include <gmock/gmock.h>
#include <opencv2/imgcodecs.hpp>

#include <chrono>
#include <thread>

namespace vantelis::test {
namespace {

using ::testing::HasSubstr;

// A camera that hands out a given image per exposure and records when each capture started and
// ended on the (fake) clock.
FakeCamera CapturingCamera()
{
    FakeCamera camera;
    camera.model = "FakeCam";
    camera.serial = "SN42";
    camera.temperature = 20;
    camera.image = [](int) { return cv::Mat(8, 10, CV_16UC1, cv::Scalar(1000)); };
    return camera;
}

cv::Mat Gradient(int rows, int cols)
{
    cv::Mat image(rows, cols, CV_16UC1);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            image.at<uint16_t>(r, c) = static_cast<uint16_t>(r * 1000 + c * 7 + 3);
    return image;
}

// rows x 10 pixels: count pixels of value each in turn, the rest 100.
cv::Mat Pixels(std::initializer_list<std::pair<int, uint16_t>> runs)
{
    cv::Mat image(10, 10, CV_16UC1, cv::Scalar(100));
    int at = 0;
    for (const auto &[count, value] : runs)
        for (int i = 0; i < count; ++i, ++at)
            image.at<uint16_t>(at / 10, at % 10) = value;
    return image;
}

std::vector<std::string> SplitLines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

std::vector<std::string> Columns(const std::string &line)
{
    std::vector<std::string> columns;
    std::stringstream stream(line);
    for (std::string column; std::getline(stream, column, '\t');)
        columns.push_back(column);
    if (!line.empty() && line.back() == '\t')
        columns.emplace_back();
    return columns;
}

class ImageCaptureTest : public DevicesFixture
{
  protected:
    ImageCaptureTest()
    {
        InstallScriptServices(m_scripts);
        InstallCaptureServices(std::make_shared<CaptureDeviceServices>());
        WriteStandardCartridge();
        WriteCartridge("Product.ini", CartridgeIni("Product", "f01=###-###-####\r\n", "101"));
        LoadCartridges();
        theApp.m_cartridge_barcode.Assign("123-456-7890");
        theApp.m_min_capture_spacing_ms = 100;
        platform::SetFakeClock(MakeTime(2024, 3, 15, 9, 41, 12, 345));
        SetCaptureSleepForTesting([](uint32_t ms) { platform::AdvanceFakeClock(ms); });
        SetSetting("ExperimentSettings", "CreateDailySubDirectory", "FALSE");
        SetSetting("ExperimentSettings", "IsActive1", "TRUE");
        SetSetting("ExperimentSettings", "ImageTypeName1", "BF");
        SetSetting("ExperimentSettings", "ImageTypeExposure1", "3000");
        ClearQueue();
    }
    ~ImageCaptureTest() override
    {
        StopImageCaptureWorkflowThread();
        SetCaptureSleepForTesting(nullptr);
        UnloadBackgroundImages(theApp);
        ClearQueue();
        ShutdownCachedLogging();
        UninstallDeviceServices();
        InstallScriptServices(nullptr);
    }
    static void ClearQueue()
    {
        _app_queue_semaphore.Wait(1000);
        _open_reference_queue.clear();
        _app_queue_semaphore.Release();
    }
    static std::vector<std::string> QueuedReferences()
    {
        std::vector<std::string> paths;
        _app_queue_semaphore.Wait(1000);
        for (const EString &path : _open_reference_queue)
            paths.emplace_back(path.c_str());
        _app_queue_semaphore.Release();
        return paths;
    }
    std::string Directory() const { return Setting("ExperimentSettings", "ExperimentDirectory"); }
    std::string Prefix() const { return Setting("ExperimentSettings", "ExperimentImageNamePrefix"); }
    std::string LogPath() const
    {
        return Directory() + "/" + Setting("ExperimentSettings", "ExperimentFullName") + ".log";
    }
    // Writes the capture log's record to its file and drops it.
    std::string FlushedLog(const std::string &path)
    {
        EString error;
        EXPECT_TRUE(CachedLogging::Release(path.c_str(), error)) << error.c_str();
        return ReadFileBytes(path);
    }
    void NewExperiment(const char *name)
    {
        EString error;
        ASSERT_TRUE(SetupNewExperiment(name, error)) << error.c_str();
    }
    bool Save(const cv::Mat &image, const char *type, int index, const char *prefix = nullptr,
              int exposure = 3000)
    {
        EString error;
        const bool ok = Capture().AddImageToExperiment(image, type, index, exposure, error, prefix);
        m_lastError = error.c_str();
        return ok;
    }

    std::shared_ptr<StubScripts> m_scripts = std::make_shared<StubScripts>();
    FakeCamera m_camera = CapturingCamera();
    std::string m_lastError;
};

TEST_F(ImageCaptureTest, SavesImagesWithMetadataAndTheCaptureLog)
{
    NewExperiment("Run1");
    const std::string folder = Experiments() + "/20240315-0941-12_Run1";
    ASSERT_EQ(Directory(), folder);
    theApp.m_camera = &m_camera;
    EString error;
    ASSERT_TRUE(CreateImageCaptureWorkflowThread(error)) << error.c_str();
    cv::Mat captured;
    ASSERT_TRUE(CaptureSingleImage_low_level(captured, 2, 3000, error)) << error.c_str(); // IllumChan 2
    platform::SetFakeClock(MakeTime(2024, 3, 15, 9, 41, 12, 345));

    m_scripts->headerLines = {"09:41:00.000\tbefore the first image"};
    const cv::Mat image = Gradient(12, 9);
    ASSERT_TRUE(Save(image, "BF", 1)) << m_lastError;
    platform::SetFakeClock(MakeTime(2024, 3, 15, 9, 41, 13, 7));
    ASSERT_TRUE(Save(image, "BF", 2)) << m_lastError;

    const std::string png1 = folder + "/Images/20240315-0941-12_Run1_BF_0001.png";
    const std::string png2 = folder + "/Images/20240315-0941-12_Run1_BF_0002.png";
    for (const std::string &png : {png1, png2}) {
        SCOPED_TRACE(png);
        const cv::Mat read = cv::imread(png, cv::IMREAD_UNCHANGED);
        ASSERT_EQ(read.type(), CV_16UC1);
        EXPECT_EQ(cv::countNonZero(read != image), 0);
    }
    std::vector<std::pair<std::string, std::string>> properties;
    std::string readError;
    ASSERT_TRUE(ReadXmpDublinCore(png2.c_str(), properties, readError)) << readError;
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"CreationTime", "2024/03/15 09:41:13.007"},
        {"Software", "Quorvane Vantelis V1.2.3.4"},
        {"Computer", platform::ComputerName()},
        {"CameraModel", "FakeCam"},
        {"CameraSN", "SN42"},
        {"ImageType", "BF"},
        {"ExposureUS", "3000"},
        {"ImageIndex", "2"},
    };
    EXPECT_EQ(properties, expected);

    EXPECT_TRUE(std::filesystem::is_regular_file(folder + "/ExperimentSettings.ini"));
    EXPECT_EQ(Setting("Cartridge", "CartridgeUpperChannel", folder + "/ExperimentSettings.ini"), "302");
    EXPECT_TRUE(std::filesystem::is_regular_file(Data() + "/Backup/Plexorin.ini.bak"));

    const std::string log = FlushedLog(folder + "/20240315-0941-12_Run1.log");
    EXPECT_EQ(log, "Vantelis_Version=1.2.3.4\r\n"
                   "CameraModel=FakeCam\tSN=SN42\r\n"
                   "# ComputerName=" +
                       platform::ComputerName() +
                       "\r\n"
                       "09:41:00.000\tbefore the first image\r\n"
                       "ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\tSplit\r\n"
                       "20240315-0941-12_Run1_BF_0001.png\t2024/03/15\t09:41:12.345\t3000\t0\t\t2\tNaN\r\n"
                       "20240315-0941-12_Run1_BF_0002.png\t2024/03/15\t09:41:13.007\t3000\t0\t\t2\tNaN\r\n");
}

TEST_F(ImageCaptureTest, ARestartedLogRecordGetsItsHeaderAgainAndSplitFollowsTheWorkflow)
{
    NewExperiment("Run1");
    const cv::Mat image = Gradient(4, 4);
    ASSERT_TRUE(Save(image, "BF", 3)) << m_lastError;
    FlushedLog(LogPath());
    theApp.m_workflow_running = true;
    const FlowSplit saved = _flow_split.Get();
    _flow_split.Update([](FlowSplit &split) { split.split_fraction = 0.43; });
    ASSERT_TRUE(Save(image, "BF", 4)) << m_lastError;
    _flow_split.Set(saved);
    const std::vector<std::string> lines = SplitLines(FlushedLog(LogPath()));
    // Two blocks of header (3 lines) + column header + one row each; no camera this time.
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[1], "CameraModel=none\tSN=none");
    EXPECT_EQ(lines[5], lines[0]);
    EXPECT_EQ(lines[8], lines[3]);
    EXPECT_EQ(Columns(lines[4]).back(), "NaN");
    EXPECT_EQ(Columns(lines[9]).back(), "-7"); // -round(50 - 43)
    EXPECT_EQ(Columns(lines[9])[0], Prefix() + "_BF_0004.png");
}

TEST_F(ImageCaptureTest, DarkAndSaturationChecksFlagTheRowOnly)
{
    SetSetting("ExperimentSettings", "DarkPixelThreshold", "0");
    SetSetting("ExperimentSettings", "DarkPixelsMaxFraction", "0.95");
    SetSetting("ExperimentSettings", "SatPixelThreshold", "4000");
    SetSetting("ExperimentSettings", "SatPixelsMaxFraction", "0.01");
    NewExperiment("Checks");
    const struct
    {
        const char *name;
        cv::Mat image;
        const char *status;
        const char *error;
    } cases[] = {
        {"95% dark is not more than 95%", Pixels({{95, 0}}), "0", ""},
        {"96% dark", Pixels({{96, 0}}), "1", "dark"},
        {"1% saturated is not more than 1%", Pixels({{1, 4000}}), "0", ""},
        {"2% saturated", Pixels({{1, 4000}, {1, 65535}}), "1", "saturation"},
        {"both", Pixels({{96, 0}, {2, 5000}}), "1", "dark saturation"},
        {"just above the dark threshold", Pixels({{100, 1}}), "0", ""},
    };
    int index = 0;
    for (const auto &c : cases)
        ASSERT_TRUE(Save(c.image, "BF", ++index)) << c.name << ": " << m_lastError;
    const std::vector<std::string> lines = SplitLines(FlushedLog(LogPath()));
    ASSERT_EQ(lines.size(), 4 + std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        const std::vector<std::string> columns = Columns(lines[4 + i]);
        ASSERT_EQ(columns.size(), 8u);
        EXPECT_EQ(columns[4], cases[i].status);
        EXPECT_EQ(columns[5], cases[i].error);
    }
    // Flagged images are saved all the same.
    EXPECT_TRUE(std::filesystem::is_regular_file(Directory() + "/Images/" + Prefix() + "_BF_0005.png"));
}

TEST_F(ImageCaptureTest, FileNamesNeverReplaceAnEarlierImage)
{
    NewExperiment("Names");
    const std::string p = Prefix();
    const struct
    {
        const char *prefix;
        const char *type;
        int index;
        std::string file;
    } cases[] = {
        {nullptr, "BF", 0, p + "_BF_0000.png"},
        {nullptr, "BF", -1, p + "_BF.png"},
        {nullptr, nullptr, -1, p + ".png"}, // the view's save command
        {nullptr, nullptr, -1, p + "_2.png"},
        {nullptr, "", -1, p + "_3.png"},
        {"ManualCapture.", "BF", 1, "ManualCapture." + p + "_BF.png"},
        {"ManualCapture.", "BF", 1, "ManualCapture." + p + "_BF_2.png"},
        {"X.", "BF", 12, "X." + p + "_BF_0012.png"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_TRUE(Save(Gradient(3, 3), c.type, c.index, c.prefix)) << m_lastError;
        EXPECT_TRUE(std::filesystem::is_regular_file(Directory() + "/Images/" + c.file));
    }
    const std::vector<std::string> lines = SplitLines(FlushedLog(LogPath()));
    ASSERT_EQ(lines.size(), 4 + std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(Columns(lines[4 + i])[0], cases[i].file);
}

TEST_F(ImageCaptureTest, IndexOneWritesTheBackgroundAndAsksForTheReferenceImage)
{
    SetBackgroundImage(theApp, 1, cv::Mat(5, 5, CV_16UC1, cv::Scalar(7)));
    NewExperiment("Bg");
    ASSERT_TRUE(Save(Gradient(3, 3), "BF", 2)) << m_lastError;
    EXPECT_FALSE(std::filesystem::exists(Directory() + "/BF.bg.tif"));
    EXPECT_TRUE(QueuedReferences().empty());

    ASSERT_TRUE(Save(Gradient(3, 3), "BF", 1)) << m_lastError;
    EXPECT_TRUE(std::filesystem::is_regular_file(Directory() + "/BF.bg.tif"));
    EXPECT_EQ(QueuedReferences(),
              (std::vector<std::string>{Directory() + "/Images/" + Prefix() + "_BF_0001.png"}));

    // A manual capture writes the background but asks for no reference image.
    std::filesystem::remove(Directory() + "/BF.bg.tif");
    ASSERT_TRUE(Save(Gradient(3, 3), "BF", 1, "ManualCapture.")) << m_lastError;
    EXPECT_TRUE(std::filesystem::is_regular_file(Directory() + "/BF.bg.tif"));
    EXPECT_EQ(QueuedReferences().size(), 1u);
}

TEST_F(ImageCaptureTest, RefusedSavesSayWhy)
{
    EXPECT_FALSE(Save(Gradient(3, 3), "BF", 1));
    EXPECT_THAT(m_lastError, HasSubstr("there is no current experiment"));

    NewExperiment("Refused");
    const struct
    {
        const char *name;
        cv::Mat image;
    } wrong[] = {{"empty", cv::Mat()},
                 {"8-bit", cv::Mat(3, 3, CV_8UC1, cv::Scalar(1))},
                 {"three channels", cv::Mat(3, 3, CV_16UC3, cv::Scalar::all(1))}};
    for (const auto &c : wrong) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(Save(c.image, "BF", 1));
        EXPECT_EQ(m_lastError, "AddImageToExperiment() - the image must be a 16-bit image with one channel.");
    }

    // The Images folder went away: the write fails with its path.
    std::filesystem::remove_all(Directory() + "/Images");
    EXPECT_FALSE(Save(Gradient(3, 3), "BF", 5));
    EXPECT_EQ(m_lastError,
              "Problem saving image to file: " + Directory() + "/Images/" + Prefix() + "_BF_0005.png");

    std::vector<EString> keys = {"A"}, values = {"1"};
    EString error;
    const std::string text = m_dir.file("not-an-image.png");
    WriteFileBytes(text, "plain text");
    EXPECT_FALSE(Add_XMP_MetaData(text.c_str(), keys, values, error));
    EXPECT_EQ(std::string(error.c_str()), "Add_XMP_MetaData() - Can't open image file: " + text);
    EXPECT_FALSE(Add_XMP_MetaData(m_dir.file("missing.png").c_str(), keys, values, error));
    EXPECT_EQ(std::string(error.c_str()),
              "Add_XMP_MetaData() - Can't open image file: " + m_dir.file("missing.png"));
}

TEST_F(ImageCaptureTest, LowLevelCaptureFailures)
{
    cv::Mat image;
    EString error;
    EXPECT_FALSE(CaptureSingleImage_low_level(image, 0, 3000, error));
    EXPECT_STREQ(error.c_str(), "CaptureSingleImage_low_level() - semaphore not initialized, call "
                                "CreateImageCaptureWorkflowThread() first");

    ASSERT_TRUE(CreateImageCaptureWorkflowThread(error)) << error.c_str();
    EXPECT_FALSE(CaptureSingleImage_low_level(image, 3, 3000, error));
    EXPECT_STREQ(error.c_str(), "CaptureSingleImage_low_level() Line: 154 - Internal error #1");
    EXPECT_EQ(CurrentIllumChannel(), 3);

    theApp.m_camera = &m_camera;
    m_camera.exposureRefusal = "exposure refused";
    EXPECT_FALSE(CaptureSingleImage_low_level(image, 0, 3000, error));
    EXPECT_STREQ(error.c_str(), "exposure refused");
    EXPECT_THAT(ErrorLog(), HasSubstr("ReInitializeCamera() error"));

    // A driver exception fails the capture; the process goes on and the camera is usable again.
    m_camera.exposureRefusal.reset();
    m_camera.throwOnExposure = true;
    EXPECT_FALSE(CaptureSingleImage_low_level(image, 0, 3000, error));
    EXPECT_STREQ(error.c_str(), "Exception during acquisition.");
    m_camera.throwOnExposure = false;
    EXPECT_TRUE(CaptureSingleImage_low_level(image, 1, 3000, error)) << error.c_str();
}

TEST_F(ImageCaptureTest, FirstActiveImageTypeChecksItsSettings)
{
    theApp.m_camera = &m_camera;
    EString error;
    ASSERT_TRUE(CreateImageCaptureWorkflowThread(error)) << error.c_str();
    const struct
    {
        const char *name;
        const char *active1;
        const char *active2;
        const char *exposure2;
        const char *name2;
        std::string error;
    } cases[] = {
        {"none active", "FALSE", "FALSE", "500", "GFP",
         "CaptureSingleImge() - There is no active image capture workflow. Open the Experiment Settings "
         "dialog."},
        {"exposure too short", "FALSE", "true", "28", "GFP",
         "CaptureSingleImge() - ImageTypeExposure2 is invalid, must be an integer between 29 and 1000000. "
         "Open the "
         "Experiment Settings dialog."},
        {"exposure not a number", "FALSE", "TRUE", "abc", "GFP",
         "CaptureSingleImge() - ImageTypeExposure2 is invalid, must be an integer between 29 and 1000000. "
         "Open the "
         "Experiment Settings dialog."},
        {"bad name", "FALSE", "TRUE", "1000000", "G?P",
         "CaptureSingleImge() - ImageTypeName2 is invalid, must have only valid Windows file name "
         "characters. Open "
         "the Experiment Settings dialog."},
        {"second slot", "FALSE", "TRUE", "29", "GFP", ""},
        {"first slot", "TRUE", "TRUE", "29", "GFP", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        SetSetting("ExperimentSettings", "IsActive1", c.active1);
        SetSetting("ExperimentSettings", "IsActive2", c.active2);
        SetSetting("ExperimentSettings", "ImageTypeExposure2", c.exposure2);
        SetSetting("ExperimentSettings", "ImageTypeName2", c.name2);
        cv::Mat image;
        EString name;
        error.Assign("");
        EXPECT_EQ(CaptureFirstActiveImageType(image, -1, -1, nullptr, error, &name), c.error.empty());
        EXPECT_EQ(std::string(error.c_str()), c.error);
    }
    EXPECT_EQ(m_camera.exposures, (std::vector<int>{29, 3000}));
    // Given type, index and exposure are used as they are.
    cv::Mat image;
    EXPECT_TRUE(CaptureFirstActiveImageType(image, 2, 777, "X", error, nullptr));
    EXPECT_EQ(m_camera.exposures.back(), 777);
    EXPECT_EQ(CurrentIllumChannel(), 2);
}

class ManualCaptureTest : public ImageCaptureTest
{
  protected:
    ManualCaptureTest()
    {
        theApp.m_camera = &m_camera;
        EString error;
        EXPECT_TRUE(CreateImageCaptureWorkflowThread(error)) << error.c_str();
        SetSetting("ExperimentSettings", "IsActive1", "FALSE");
        SetSetting("ExperimentSettings", "IsActive2", "TRUE");
        SetSetting("ExperimentSettings", "ImageTypeName2", "GFP");
        SetSetting("ExperimentSettings", "ImageTypeExposure2", "500");
        SetSetting("ExperimentSettings", "IsActive3", "TRUE");
        SetSetting("ExperimentSettings", "ImageTypeName3", "RFP");
        SetSetting("ExperimentSettings", "ImageTypeExposure3", "800");
        SetSetting("ExperimentSettings", "DarkPixelThreshold", "10");
        SetSetting("ExperimentSettings", "DarkPixelsMaxFraction", "0.5");
        m_camera.imagesByExposure[500] = cv::Mat(6, 6, CV_16UC1, cv::Scalar(3)); // dark
        m_camera.imagesByExposure[800] = Gradient(6, 6);
        NewExperiment("Run1");
        m_before = Directory();
    }
    std::string m_before;
};

TEST_F(ManualCaptureTest, ASetWithSlotOneInactiveLandsInANewExperiment)
{
    platform::SetFakeClock(MakeTime(2024, 3, 15, 9, 42, 0));
    EString error;
    ASSERT_TRUE(Capture().CaptureSingleImageSet(error, 0, nullptr)) << error.c_str();
    EXPECT_EQ(Directory(), Experiments() + "/20240315-0942-00_Manual_Image_Capture");
    EXPECT_STREQ(theApp.m_cartridge_barcode.c_str(), CartridgeProducts()[0].part_number);
    EXPECT_EQ(Setting("ExperimentSettings", "CartridgeType"), "Product");
    const std::string images = Directory() + "/Images/ManualCapture.20240315-0942-00_Manual_Image_Capture_";
    EXPECT_TRUE(std::filesystem::is_regular_file(images + "GFP.png"));
    EXPECT_TRUE(std::filesystem::is_regular_file(images + "RFP.png"));
    EXPECT_TRUE(std::filesystem::is_empty(m_before + "/Images"));

    // Spacing: the second exposure started no earlier than the minimum spacing after the first ended.
    ASSERT_EQ(m_camera.starts.size(), 2u);
    EXPECT_GE(m_camera.starts[1] - m_camera.ends[0], 100u);
    EXPECT_EQ(m_camera.exposures, (std::vector<int>{500, 800}));

    const std::vector<std::string> lines = SplitLines(FlushedLog(LogPath()));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(Columns(lines[4]),
              (std::vector<std::string>{"ManualCapture.20240315-0942-00_Manual_Image_Capture_GFP.png",
                                        "2024/03/15", "09:42:00.005", "500", "1", "dark", "1", "NaN"}));
    EXPECT_EQ(Columns(lines[5])[4], "0");
    EXPECT_EQ(Columns(lines[5])[6], "2");
}

TEST_F(ManualCaptureTest, FilterArrayAndEmptySets)
{
    EString error;
    // A filter takes only its type (ignoring case), still into a new experiment.
    ASSERT_TRUE(CaptureSingleImageSet(error, "rfp", nullptr)) << error.c_str();
    EXPECT_NE(Directory(), m_before);
    EXPECT_EQ(m_camera.exposures, (std::vector<int>{800}));

    // With an array the images are handed over and nothing is saved.
    const std::string current = Directory();
    cv::Mat *images[4] = {nullptr, nullptr, nullptr, nullptr};
    ASSERT_TRUE(CaptureSingleImageSet(error, nullptr, images)) << error.c_str();
    EXPECT_EQ(images[0], nullptr);
    ASSERT_NE(images[1], nullptr);
    ASSERT_NE(images[2], nullptr);
    EXPECT_EQ(images[3], nullptr);
    EXPECT_EQ(cv::countNonZero(*images[2] != Gradient(6, 6)), 0);
    for (cv::Mat *image : images)
        delete image;
    EXPECT_EQ(Directory(), current);

    // No active type: true, and no experiment either.
    SetSetting("ExperimentSettings", "IsActive2", "FALSE");
    SetSetting("ExperimentSettings", "IsActive3", "FALSE");
    ASSERT_TRUE(CaptureSingleImageSet(error, nullptr, nullptr)) << error.c_str();
    EXPECT_EQ(Directory(), current);
}

TEST_F(ManualCaptureTest, AFailedExperimentCreationStopsTheCapture)
{
    SetSetting("ExperimentSettings", "DataDirectory", m_dir.file("missing/Exp"));
    EString error;
    EXPECT_FALSE(Capture().CaptureSingleImageSet(error, 0, nullptr));
    EXPECT_EQ(std::string(error.c_str()), "Unable to create directory: " + m_dir.file("missing/Exp"));
    EXPECT_EQ(Directory(), m_before);
    EXPECT_TRUE(std::filesystem::is_empty(m_before + "/Images"));
}

TEST_F(ManualCaptureTest, TheWorkflowThreadSavesEachSignalWithTheNextIndex)
{
    SetCaptureSleepForTesting(nullptr);
    platform::ClearFakeClock();
    theApp.m_min_capture_spacing_ms = 0;
    const std::string images = Directory() + "/Images/" + Prefix();
    const auto waitFor = [](const std::string &path) {
        for (int i = 0; i < 1000 && !std::filesystem::exists(path); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return std::filesystem::exists(path);
    };
    SetImageCaptureEvent();
    EXPECT_TRUE(waitFor(images + "_RFP_0001.png"));
    SetImageCaptureEvent();
    EXPECT_TRUE(waitFor(images + "_RFP_0002.png"));
    EXPECT_TRUE(std::filesystem::is_regular_file(images + "_GFP_0001.png"));
    EXPECT_TRUE(std::filesystem::is_regular_file(images + "_GFP_0002.png"));
}

} // namespace
} // namespace vantelis::test

namespace vantelis::test {
namespace {

// With the pumps known, each row carries their columns, read from the pumps when the row is made;
// whether they are known is decided for each line.
TEST_F(ImageCaptureTest, PumpColumnsFollowThePumpStateOfEachLine)
{
    PumpSimulator sim;
    ASSERT_FALSE(sim.PortPath().empty());
    constexpr int32_t kPort = 97;
    WriteFileBytes(Ini(), ReadFileBytes(Ini()) + "[Serial]\r\nPortDevice97=" + sim.PortPath() + "\r\n");
    SetLogMainSettingsPath(Ini().c_str());
    EString error;
    ASSERT_TRUE(SetupSerialPort(kPort, 9600, error)) << error.c_str();
    ASSERT_TRUE(TecanCentris::SetValveOutput(kPort, 1, error)) << error.c_str();
    ASSERT_TRUE(TecanCentris::SetValveInput(kPort, 2, error)) << error.c_str();
    NewExperiment("Pumps");
    theApp.m_pump_port = kPort;
    ASSERT_TRUE(Save(Gradient(3, 3), "BF", 1)) << m_lastError;
    theApp.m_pump_port = 0;
    ASSERT_TRUE(Save(Gradient(3, 3), "BF", 2)) << m_lastError;
    ReleaseSerialPort(kPort);
    SetLogMainSettingsPath("");

    const std::vector<std::string> lines = SplitLines(FlushedLog(LogPath()));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[3], kCaptureLogColumnsWithPumps);
    const std::vector<std::string> pumped = Columns(lines[4]);
    ASSERT_EQ(pumped.size(), 14u);
    EXPECT_EQ(std::vector<std::string>(pumped.begin() + 7, pumped.end()),
              (std::vector<std::string>{"O", "I", "0.00", "0.00", "0.00", "0.00", "NaN"}));
    EXPECT_EQ(Columns(lines[5]).size(), 8u);
}

} // namespace
} // namespace vantelis::test
