#include "devices/CaptureChecks.h"

#include "Ostravo/LogError.h"
#include "Ostravo/ProfileValues.h"
#include "Ostravo/TextFormat.h"
#include "app/PlexorinApp.h"
#include "devices/ImageCapture.h"
#include "platform/Files.h"
#include "platform/PathParts.h"

#include <string>

namespace {

constexpr int32_t kMinimumSaveTimeMs = 350;

std::string Setting(const char *key, uint32_t size)
{
    return Ostravo::ReadProfileString("ExperimentSettings", key, "", size, theApp.m_ini_path.c_str());
}

bool IsActive(int number)
{
    return CompareText(Setting(FormatText("IsActive%d", number).c_str(), 9).c_str(), "TRUE", 0, 0);
}

// The path itself when it is a folder, else its nearest existing parent folder.
std::string NearestExistingFolder(std::string path)
{
    path = platform::NormalizePath(path);
    while (!path.empty() && !platform::FolderExists(path)) {
        if (platform::LastSeparator(path) == std::string::npos)
            return std::string();
        path = platform::FolderOf(path);
    }
    return path;
}

} // namespace

bool CheckDiskSpaceForWorkflow(EString &message)
{
    std::string dataDirectory = Setting("DataDirectory", 1023);
    if (dataDirectory.empty())
        dataDirectory = theApp.m_data_directory; // experiments go to the data folder then
    const std::string checkPath =
        dataDirectory.size() >= 2 && dataDirectory[1] == ':' ? dataDirectory.substr(0, 3) : dataDirectory;

    uint64_t freeBytes = 0;
    int code = 0;
    const std::string measured = NearestExistingFolder(checkPath);
    if (measured.empty() || !platform::FreeDiskBytes(measured, freeBytes, code)) {
        LogError(__FILE_NAME__, __LINE__,
                 FormatText("GetDiskFreeSpaceEx() %s fails, err=%lu", checkPath.c_str(),
                            static_cast<unsigned long>(code)));
        message.Assign(("Unable to check for available disk space at location: " + checkPath).c_str());
        return false;
    }
    int64_t active = 0;
    for (int number = 1; number <= 4; ++number)
        active += IsActive(number) ? 1 : 0;
    const int64_t perChannel = Ostravo::ReadProfileInt("ExperimentSettings", "DiskSpaceCheckMBPerChannel", 5,
                                                       theApp.m_ini_path.c_str());
    const int64_t required = active * perChannel;
    const int64_t freeGb = static_cast<int64_t>(freeBytes >> 30);
    LogError(__FILE_NAME__, __LINE__,
             FormatText("disk_space_gb=%ld check_path=%s", static_cast<long>(freeGb), checkPath.c_str()));
    if (freeGb < required) {
        message.Assign(
            FormatText(
                "Recommended disk space for this operation is %llu GB. You have %llu GB available.\n\nPlease "
                "delete files and empty the Recycle Bin.\n\nContinue with image capture?\n\nYES: continue "
                "with "
                "image capture.\n\nNO: Image capture will stop; any runing scripts will continue.\n       "
                "You "
                "can resume image capture when desired, using the\n       red Record button.",
                static_cast<unsigned long long>(required), static_cast<unsigned long long>(freeGb))
                .c_str());
        return false;
    }
    return true;
}

bool CheckCapturePeriod(int, EString &message)
{
    ResetImageCaptureEvent();
    int64_t totalUs = 0;
    int64_t active = 0;
    for (int number = 1; number <= 4; ++number) {
        if (!IsActive(number))
            continue;
        ++active;
        totalUs +=
            Ostravo::ReadProfileInt("ExperimentSettings", FormatText("ImageTypeExposure%d", number).c_str(),
                                    -1, theApp.m_ini_path.c_str());
    }
    const int64_t totalMs = totalUs / 1000;
    const int64_t period =
        Ostravo::ReadProfileInt("ExperimentSettings", "ImageCapturePeriod", 0, theApp.m_ini_path.c_str());
    const int64_t reserve = kMinimumSaveTimeMs * active;
    if (period - totalMs < reserve) {
        message.Assign(
            FormatText("Image capture period, currently set to %ld ms, must be at least %ld ms longer than "
                       "the total expsoure time for the workflow which is %ld ms. Note: minimum save time "
                       "per image is %ld ms.",
                       static_cast<long>(period), static_cast<long>(reserve), static_cast<long>(totalMs),
                       static_cast<long>(kMinimumSaveTimeMs))
                .c_str());
        return false;
    }
    return true;
}
