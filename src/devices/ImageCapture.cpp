#include "devices/ImageCapture.h"

#include "Ostravo/CachedLog.h"
#include "Ostravo/LogError.h"
#include "Ostravo/Profile.h"
#include "Ostravo/ProfileValues.h"
#include "Ostravo/TecanCentris.h"
#include "Ostravo/TextFormat.h"
#include "app/BackgroundImages.h"
#include "app/DeviceServices.h"
#include "app/IdleQueues.h"
#include "app/PlexorinApp.h"
#include "app/ScriptServices.h"
#include "app/ViewGlobals.h"
#include "app/WorkflowTimer.h"
#include "devices/CartridgeTypes.h"
#include "devices/ExperimentCreation.h"
#include "devices/XmpMetadata.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/PathParts.h"
#include "platform/Sync.h"
#include "platform/SystemInfo.h"

#include <opencv2/imgcodecs.hpp>

#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

const char *const kCaptureLogColumnsWithPumps =
    "ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\tPump1ValvePos\tPump2ValvePos\t"
    "Pump1SpeedULpMin\tPump2SpeedULpMin\tPump1VolUL\tPump2VolUL\tSplit";
const char *const kCaptureLogColumnsWithoutPumps =
    "ImageFile\tDate\tTime\tExposure(us)\tStatus\tError\tIllumChan\tSplit";

namespace {

constexpr int32_t kMinimumExposureUs = 29;
constexpr int32_t kMaximumExposureUs = 1000000;
constexpr uint32_t kCachedLogWaitMs = 30000;
constexpr const char *kManualPrefix = "ManualCapture.";
constexpr const char *kNoCamera = "none";

std::atomic<int32_t> g_current_illum_channel{-1};
std::atomic<uint64_t> g_last_capture_tick{0};

// The capture semaphore and event live from CreateImageCaptureWorkflowThread on.
std::mutex g_state_mutex;
std::shared_ptr<platform::BinarySemaphore> g_capture_semaphore;
platform::Event g_capture_event(false);
std::thread g_workflow_thread;
std::atomic<bool> g_stop_workflow{false};

std::mutex g_sleep_mutex;
std::function<void(uint32_t)> g_sleep;

void Sleep(uint32_t ms)
{
    std::function<void(uint32_t)> sleep;
    {
        std::lock_guard<std::mutex> lock(g_sleep_mutex);
        sleep = g_sleep;
    }
    if (sleep)
        sleep(ms);
    else
        platform::SleepMs(ms);
}

std::shared_ptr<platform::BinarySemaphore> CaptureSemaphore()
{
    std::lock_guard<std::mutex> lock(g_state_mutex);
    return g_capture_semaphore;
}

std::string Setting(const char *key, uint32_t size)
{
    return Ostravo::ReadProfileString("ExperimentSettings", key, "", size, theApp.m_ini_path.c_str());
}

// One image-type slot (1..4) as the settings hold it now.
struct ImageTypeSlot
{
    int number = 0;
    bool active = false;
    std::string name;
    std::string exposureText;
};

ImageTypeSlot ReadSlot(int number)
{
    ImageTypeSlot slot;
    slot.number = number;
    slot.active = CompareText(Setting(FormatText("IsActive%d", number).c_str(), 9).c_str(), "TRUE", 0, 0);
    slot.name = Setting(FormatText("ImageTypeName%d", number).c_str(), 1023);
    slot.exposureText = Setting(FormatText("ImageTypeExposure%d", number).c_str(), 31);
    return slot;
}

bool CheckSlotName(const ImageTypeSlot &slot, EString &error)
{
    EString cleaned(slot.name.c_str());
    cleaned.SanitizeFileName();
    if (CompareText(cleaned.c_str(), slot.name.c_str(), 0, 0))
        return true;
    error.Assign(
        FormatText("CaptureSingleImge() - ImageTypeName%d is invalid, must have only valid Windows file name "
                   "characters. Open the Experiment Settings dialog.",
                   slot.number)
            .c_str());
    return false;
}

bool CheckSlotExposure(const ImageTypeSlot &slot, int32_t &exposure, EString &error)
{
    int32_t value = 0;
    if (Ostravo::ScanInt(slot.exposureText, value) && value >= kMinimumExposureUs &&
        value <= kMaximumExposureUs) {
        exposure = value;
        return true;
    }
    error.Assign(
        FormatText("CaptureSingleImge() - ImageTypeExposure%d is invalid, must be an integer between 29 and "
                   "1000000. Open the Experiment Settings dialog.",
                   slot.number)
            .c_str());
    return false;
}

std::string Join(const std::string &folder, const std::string &part)
{
    EString joined;
    joined.JoinPath(folder.c_str(), part.c_str());
    return joined.c_str();
}

double ReadDoubleSetting(const char *key, double fallback)
{
    double value = fallback;
    return Ostravo::ScanNumber(Setting(key, 31), value) ? value : fallback;
}

void CameraIdentity(std::string &model, std::string &serial)
{
    model = kNoCamera;
    serial = kNoCamera;
    CameraInterface *camera = theApp.m_camera;
    if (camera == nullptr)
        return;
    EString text, error;
    model = camera->GetModelName(text, error) ? text.c_str() : "";
    text.Assign("");
    serial = camera->GetSerialNumber(text, error) ? text.c_str() : "";
}

// The dark and saturation checks of one image: Status and Error of its log row.
struct ImageCheck
{
    int status = 0;
    std::string text;
};

ImageCheck CheckImage(const cv::Mat &image)
{
    ImageCheck check;
    const int32_t darkThreshold =
        Ostravo::ReadProfileInt("ExperimentSettings", "DarkPixelThreshold", -1, theApp.m_ini_path.c_str());
    const double darkMax = ReadDoubleSetting("DarkPixelsMaxFraction", 0);
    const int32_t satThreshold =
        Ostravo::ReadProfileInt("ExperimentSettings", "SatPixelThreshold", 65536, theApp.m_ini_path.c_str());
    const double satMax = ReadDoubleSetting("SatPixelsMaxFraction", 0.01);
    const double pixels = static_cast<double>(image.total());
    if (darkThreshold >= 0 && pixels > 0) {
        const double dark = cv::countNonZero(image <= darkThreshold);
        if (dark / pixels > darkMax)
            check.text = "dark";
    }
    if (satThreshold < 65536 && pixels > 0) {
        const double saturated = cv::countNonZero(image >= satThreshold);
        if (saturated / pixels > satMax)
            check.text += check.text.empty() ? "saturation" : " saturation";
    }
    check.status = check.text.empty() ? 0 : 1;
    return check;
}

// The first path of Images/<stem>[_n].png that is not taken, so that a save never replaces an
// earlier image.
std::string FreeImagePath(const std::string &imagesFolder, const std::string &stem)
{
    std::string path = Join(imagesFolder, stem + ".png");
    for (int n = 2; platform::FileExists(path) || platform::FolderExists(path); ++n)
        path = Join(imagesFolder, FormatText("%s_%d.png", stem.c_str(), n));
    return path;
}

// The columns that only a log with pumps has; each pump query decides its own value.
std::string PumpColumns(int32_t port)
{
    double speed[2] = {0, 0};
    std::string volume[2];
    for (int pump = 1; pump <= 2; ++pump) {
        EString data, error;
        const bool answered =
            TecanCentris::SendCommand(port, pump, "?29", TecanCentris::kQueryTimeoutMs, data, error);
        speed[pump - 1] = answered && std::strcmp(data.c_str(), "0") == 0
                              ? 0.0
                              : TecanCentris::LastTopSpeed_ulpmin[pump - 1].load();
    }
    for (int pump = 1; pump <= 2; ++pump) {
        double value = 0;
        EString error;
        volume[pump - 1] =
            TecanCentris::QueryDouble(port, pump, "?18", value, error) ? FormatText("%4.2lf", value) : "NaN";
    }
    return FormatText("%c\t%c\t%4.2lf\t%4.2lf\t%s\t%s", TecanCentris::LastValvePosition[0].load(),
                      TecanCentris::LastValvePosition[1].load(), speed[0], speed[1], volume[0].c_str(),
                      volume[1].c_str());
}

// Adds the header block when the log's record holds no lines. False on a lock time-out.
bool AddHeaderBlockIfNew(const std::string &logPath)
{
    std::vector<EString> scriptLines;
    Scripts().TakeCaptureLogHeaderLines(scriptLines);
    std::string model, serial;
    CameraIdentity(model, serial);
    const bool pumps = theApp.m_pump_port != 0;

    if (!_CachedLog_semaphore.Wait(kCachedLogWaitMs))
        return false;
    CachedLog *log = GetCachedLogObj(logPath.c_str());
    bool started = false;
    if (log != nullptr && log->m_lines.empty()) {
        started = true;
        log->AddLine(
            FormatText("%s_Version=%s", theApp.m_product_name.c_str(), theApp.m_version.c_str()).c_str());
        log->AddLine(FormatText("CameraModel=%s\tSN=%s", model.c_str(), serial.c_str()).c_str());
        log->AddLine(FormatText("# ComputerName=%s", platform::ComputerName().c_str()).c_str());
        for (const EString &line : scriptLines)
            log->AddLine(line.c_str());
        scriptLines.clear();
        log->m_header_insert_pos = static_cast<int32_t>(log->m_lines.size());
        log->AddLine(pumps ? kCaptureLogColumnsWithPumps : kCaptureLogColumnsWithoutPumps);
    }
    _CachedLog_semaphore.Release();
    if (started)
        SetWorkflowCaptureLogPath(logPath);
    // Lines taken for a record that already had its header go in as pending header lines.
    for (const EString &line : scriptLines) {
        EString error;
        if (!AddAHeaderLine(logPath.c_str(), line.c_str(), error))
            LogError(__FILE_NAME__, __LINE__, error.c_str());
    }
    return true;
}

void WorkflowThread()
{
    std::string experiment;
    int32_t index = 0;
    while (!g_stop_workflow.load()) {
        if (!g_capture_event.Wait(200) || g_stop_workflow.load())
            continue;
        // Every signal is one image set; its images share the next index of the experiment, so a
        // resumed workflow never reuses an index.
        const std::string current =
            Setting("ExperimentDirectory", 1023) + "|" + Setting("ExperimentFullName", 1023);
        if (current != experiment) {
            experiment = current;
            index = 0;
        }
        ++index;
        for (int number = 1; number <= 4; ++number) {
            const ImageTypeSlot slot = ReadSlot(number);
            if (!slot.active)
                continue;
            EString error;
            int32_t exposure = 0;
            cv::Mat image;
            if (!CheckSlotName(slot, error) || !CheckSlotExposure(slot, exposure, error) ||
                !CaptureSingleImage_low_level(image, number - 1, exposure, error) ||
                !AddImageToExperiment(image, slot.name.c_str(), index, exposure, error, nullptr)) {
                if (error.IsNonEmpty())
                    LogError(__FILE_NAME__, __LINE__, error.c_str());
            }
        }
    }
}

} // namespace

int32_t CurrentIllumChannel()
{
    return g_current_illum_channel.load();
}

bool CreateImageCaptureWorkflowThread(EString &error)
{
    std::lock_guard<std::mutex> lock(g_state_mutex);
    if (g_workflow_thread.joinable()) {
        error.Assign("CreateImageCaptureWorkflowThread() - the capture workflow thread runs already.");
        return false;
    }
    g_capture_semaphore = std::make_shared<platform::BinarySemaphore>(true);
    g_capture_event.Reset();
    g_stop_workflow = false;
    try {
        g_workflow_thread = std::thread(WorkflowThread);
    } catch (const std::exception &e) {
        error.Assign(FormatText("CreateImageCaptureWorkflowThread() - %s", e.what()).c_str());
        return false;
    }
    return true;
}

void StopImageCaptureWorkflowThread()
{
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(g_state_mutex);
        thread = std::move(g_workflow_thread);
    }
    g_stop_workflow = true;
    g_capture_event.Set();
    if (thread.joinable())
        thread.join();
    std::lock_guard<std::mutex> lock(g_state_mutex);
    g_capture_semaphore.reset();
    g_capture_event.Reset();
    g_last_capture_tick = 0;
}

void SetImageCaptureEvent()
{
    g_capture_event.Set();
}

void ResetImageCaptureEvent()
{
    g_capture_event.Reset();
}

void SetCaptureSleepForTesting(std::function<void(uint32_t)> sleep)
{
    std::lock_guard<std::mutex> lock(g_sleep_mutex);
    g_sleep = std::move(sleep);
}

bool CaptureSingleImage_low_level(cv::Mat &image, int imageTypeIndex, int32_t exposureUs, EString &error)
{
    std::shared_ptr<platform::BinarySemaphore> semaphore = CaptureSemaphore();
    if (!semaphore) {
        error.Assign("CaptureSingleImage_low_level() - semaphore not initialized, call "
                     "CreateImageCaptureWorkflowThread() first");
        return false;
    }
    semaphore->Wait(platform::kInfinite);
    const uint64_t last = g_last_capture_tick.load();
    if (last != 0) {
        const uint64_t spacing = static_cast<uint64_t>(std::max<int32_t>(theApp.m_min_capture_spacing_ms, 0));
        const uint64_t passed = platform::TickMs() - last;
        if (passed < spacing)
            Sleep(static_cast<uint32_t>(spacing - passed));
    }
    g_current_illum_channel = imageTypeIndex;
    Sleep(5);

    bool ok = false;
    CameraInterface *camera = theApp.m_camera;
    if (camera == nullptr) {
        error.Assign(
            FormatText("%s() Line: %ld - Internal error #1", "CaptureSingleImage_low_level", 154L).c_str());
        LogError(__FILE_NAME__, __LINE__, error.c_str());
    } else {
        // A driver that throws must not take the program down: the capture fails with the text.
        try {
            EString cameraError;
            if (!camera->SetExposure(static_cast<float>(exposureUs), cameraError)) {
                LogError(__FILE_NAME__, __LINE__, cameraError.c_str());
                LogError(__FILE_NAME__, __LINE__, "ReInitializeCamera() error");
                error.Assign(cameraError.IsNonEmpty() ? cameraError.c_str() : "ReInitializeCamera() error");
            } else if (!camera->CaptureImage(image, cameraError)) {
                LogError(__FILE_NAME__, __LINE__, "ReInitializeCamera() error");
                error.Assign(cameraError.IsNonEmpty() ? cameraError.c_str() : "ReInitializeCamera() error");
            } else {
                ok = true;
            }
        } catch (...) {
            error.Assign("Exception during acquisition.");
            LogError(__FILE_NAME__, __LINE__, error.c_str());
            ok = false;
        }
    }
    g_last_capture_tick = platform::TickMs();
    semaphore->Release();
    return ok;
}

bool CaptureFirstActiveImageType(cv::Mat &image, int imageTypeIndex, int32_t exposureUs,
                                 const char *imageTypeName, EString &error, EString *typeNameOut)
{
    if (imageTypeName != nullptr && imageTypeIndex >= 0 && exposureUs >= 0) {
        if (typeNameOut)
            typeNameOut->Assign(imageTypeName);
        return CaptureSingleImage_low_level(image, imageTypeIndex, exposureUs, error);
    }
    for (int number = 1; number <= 4; ++number) {
        const ImageTypeSlot slot = ReadSlot(number);
        if (!slot.active)
            continue;
        int32_t exposure = 0;
        if (!CheckSlotExposure(slot, exposure, error) || !CheckSlotName(slot, error))
            return false;
        if (typeNameOut)
            typeNameOut->Assign(slot.name.c_str());
        return CaptureSingleImage_low_level(image, number - 1, exposure, error);
    }
    error.Assign(
        "CaptureSingleImge() - There is no active image capture workflow. Open the Experiment Settings "
        "dialog.");
    return false;
}

bool CaptureSingleImageSet(EString &error, const char *typeNameFilter, cv::Mat *images[4])
{
    bool experimentMade = false;
    for (int number = 1; number <= 4; ++number) {
        const ImageTypeSlot slot = ReadSlot(number);
        if (!slot.active)
            continue;
        if (!CheckSlotName(slot, error))
            return false;
        if (typeNameFilter != nullptr && !CompareText(slot.name.c_str(), typeNameFilter, 0, 0))
            continue;
        int32_t exposure = 0;
        if (!CheckSlotExposure(slot, exposure, error))
            return false;
        auto image = std::make_unique<cv::Mat>();
        if (!CaptureSingleImage_low_level(*image, number - 1, exposure, error))
            return false;
        if (images != nullptr) {
            images[number - 1] = image.release();
            continue;
        }
        // A manual capture goes into an experiment of its own, made before its first image
        // whichever slot that is.
        if (!experimentMade) {
            SetCurrentCartridgeBarcode(CartridgePartNumber(0));
            EString imposeError;
            ImposeCartridgeTypeOffsets(theApp.m_ini_path.c_str(), CartridgePartNumber(0), imposeError);
            if (!SetupNewExperiment("Manual_Image_Capture", error))
                return false;
            experimentMade = true;
        }
        if (!AddImageToExperiment(*image, slot.name.c_str(), 1, exposure, error, kManualPrefix))
            return false;
    }
    return true;
}

bool AddImageToExperiment(const cv::Mat &image, const char *imageTypeName, int imageIndex, int32_t exposureUs,
                          EString &error, const char *prefix)
{
    if (image.empty() || image.type() != CV_16UC1) {
        error.Assign("AddImageToExperiment() - the image must be a 16-bit image with one channel.");
        return false;
    }
    const std::string namePrefix = Setting("ExperimentImageNamePrefix", 1023);
    const std::string directory = Setting("ExperimentDirectory", 1023);
    const std::string fullName = Setting("ExperimentFullName", 1023);
    if (directory.empty()) {
        error.Assign("AddImageToExperiment() - there is no current experiment: [ExperimentSettings] "
                     "ExperimentDirectory is empty.");
        return false;
    }
    const ImageCheck check = CheckImage(image);

    const std::string base = std::string(prefix ? prefix : "") + namePrefix;
    const bool typed = imageTypeName != nullptr && imageTypeName[0] != '\0';
    std::string stem = base;
    if (typed)
        stem += std::string("_") + imageTypeName;
    if (imageIndex >= 0 && base.compare(0, std::strlen(kManualPrefix), kManualPrefix) != 0)
        stem += FormatText("_%04ld", static_cast<long>(imageIndex));
    const std::string path = FreeImagePath(Join(directory, "Images"), stem);

    // The background image is written beside the images; its writer logs its own failure, and
    // the image itself is saved all the same.
    if (imageIndex == 1)
        WriteBackgroundImage(theApp, typed ? imageTypeName : "", directory);

    bool written = false;
    try {
        written = cv::imwrite(path, image);
    } catch (const cv::Exception &) {
        written = false;
    }
    if (!written) {
        error.Assign(FormatText("Problem saving image to file: %s", path.c_str()).c_str());
        return false;
    }
    WriteImageMetadata(path.c_str(), typed ? imageTypeName : "", exposureUs, imageIndex);

    if (imageIndex == 1 && base.compare(0, std::strlen(kManualPrefix), kManualPrefix) != 0)
        QueueOpenReferenceRequest(path.c_str());

    const std::string logPath = Join(directory, fullName + ".log");
    if (!AddHeaderBlockIfNew(logPath)) {
        error.Assign("GetNLines () - timeout waiting for _CachedLog_semaphore.");
        return false;
    }

    const platform::LocalTime now = platform::Now();
    const std::string split =
        CaptureLogSplitText(theApp.m_workflow_running, _flow_split.Get().split_fraction);
    std::string row = FormatText("%s\t%d/%02d/%02d\t%02d:%02d:%02d.%03d\t%ld\t%ld\t%s\t%ld",
                                 platform::FileNameOf(path).c_str(), now.year, now.month, now.day, now.hour,
                                 now.minute, now.second, now.millisecond, static_cast<long>(exposureUs),
                                 static_cast<long>(check.status), check.text.c_str(),
                                 static_cast<long>(g_current_illum_channel.load()));
    const int32_t port = theApp.m_pump_port;
    if (port != 0)
        row += "\t" + PumpColumns(port);
    row += "\t" + split;

    std::vector<EString> scriptLines;
    Scripts().TakeCaptureLogHeaderLines(scriptLines);
    for (const EString &line : scriptLines) {
        EString headerError;
        if (!AddAHeaderLine(logPath.c_str(), line.c_str(), headerError)) {
            error.Assign("AddALine () - timeout waiting for _CachedLog_semaphore.");
            LogError(__FILE_NAME__, __LINE__, error.c_str());
            return false;
        }
    }
    if (!_CachedLog_semaphore.Wait(kCachedLogWaitMs)) {
        error.Assign("AddALine () - timeout waiting for _CachedLog_semaphore.");
        LogError(__FILE_NAME__, __LINE__, error.c_str());
        return false;
    }
    if (CachedLog *log = GetCachedLogObj(logPath.c_str()))
        log->AddLine(row.c_str());
    _CachedLog_semaphore.Release();
    return true;
}

bool WriteImageMetadata(const char *filePath, const char *imageTypeName, int32_t exposureUs, int imageIndex)
{
    const platform::LocalTime now = platform::Now();
    std::string model, serial;
    CameraIdentity(model, serial);
    const std::vector<EString> keys = {"CreationTime", "Software",  "Computer",   "CameraModel",
                                       "CameraSN",     "ImageType", "ExposureUS", "ImageIndex"};
    const std::vector<EString> values = {
        FormatText("%04u/%02u/%02u %02u:%02u:%02u.%03u", static_cast<unsigned>(now.year),
                   static_cast<unsigned>(now.month), static_cast<unsigned>(now.day),
                   static_cast<unsigned>(now.hour), static_cast<unsigned>(now.minute),
                   static_cast<unsigned>(now.second), static_cast<unsigned>(now.millisecond))
            .c_str(),
        FormatText("Quorvane %s V%s", theApp.m_product_name.c_str(), theApp.m_version.c_str()).c_str(),
        platform::ComputerName().c_str(),
        model.c_str(),
        serial.c_str(),
        imageTypeName ? imageTypeName : "",
        FormatText("%ld", static_cast<long>(exposureUs)).c_str(),
        FormatText("%ld", static_cast<long>(imageIndex)).c_str(),
    };
    EString error;
    if (!Add_XMP_MetaData(filePath, keys, values, error)) {
        LogError(__FILE_NAME__, __LINE__, error.c_str());
        return false;
    }
    return true;
}

std::string CaptureLogSplitText(bool workflowRunning, double splitFraction)
{
    if (!workflowRunning)
        return "NaN";
    return FormatText("%ld", -std::lround(50.0 - 100.0 * splitFraction));
}
