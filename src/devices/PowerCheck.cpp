#include "devices/PowerCheck.h"

#include "Ostravo/Profile.h"
#include "app/PlexorinApp.h"
#include "platform/Files.h"
#include "platform/Sync.h"
#include "platform/SystemInfo.h"
#include "platform/Ui.h"

#include <cctype>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace {

PowerCheckEnvironment Defaults()
{
    PowerCheckEnvironment environment;
    environment.companyFolder = platform::DocumentsFolder() + "/Quorvane";
    environment.instrumentFolder = environment.companyFolder + "/Nimbrel";
    environment.reportFile = environment.instrumentFolder + "/power_on_test.txt";
    environment.sleepMs = [](uint32_t ms) { platform::SleepMs(ms); };
    return environment;
}

void Sleep(uint32_t ms)
{
    PowerCheckEnvironment &environment = PowerCheckSettings();
    if (environment.sleepMs)
        environment.sleepMs(ms);
}

// One line of a sysfs attribute file, without its line end; empty when missing.
std::string Attribute(const std::string &device, const char *name)
{
    std::string text;
    if (!platform::ReadWholeFile(device + "/" + name, text))
        return std::string();
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

std::string Reduce(const std::string &line)
{
    std::string reduced;
    for (char c : line) {
        if (c == ' ')
            continue;
        reduced += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return reduced;
}

bool EnsureFolder(const std::string &folder)
{
    return platform::FolderExists(folder) || platform::MakeFolder(folder);
}

} // namespace

PowerCheckEnvironment &PowerCheckSettings()
{
    static PowerCheckEnvironment environment = Defaults();
    return environment;
}

void ResetPowerCheckSettings()
{
    PowerCheckSettings() = Defaults();
}

bool UsbReportLineMatches(int kind, const std::string &line)
{
    const std::string reduced = Reduce(line);
    // Only the text before the first ':' (the field) and between it and the next (the value).
    const size_t colon = reduced.find(':');
    if (colon == std::string::npos)
        return false;
    const std::string field = reduced.substr(0, colon);
    const size_t next = reduced.find(':', colon + 1);
    const std::string value =
        reduced.substr(colon + 1, next == std::string::npos ? std::string::npos : next - colon - 1);
    switch (kind) {
    case kUsbInstrument:
        return field.find("description") != std::string::npos &&
               value.find("genericsuperspeedusbhub") != std::string::npos;
    case kUsbCamera:
        return field == "description" &&
               (value.find("pixelink") != std::string::npos || value.find("basler") != std::string::npos);
    default:
        return true;
    }
}

bool WriteUsbDeviceReport(const std::string &usbDeviceFolder, const std::string &reportFile)
{
    if (!platform::FolderExists(usbDeviceFolder))
        return false;
    std::ostringstream report;
    for (const platform::DirEntry &entry : platform::ListFolder(usbDeviceFolder)) {
        // Interfaces ("1-2:1.0") and root hubs ("usb1") are not devices of their own here.
        if (entry.name.find(':') != std::string::npos || entry.name.rfind("usb", 0) == 0)
            continue;
        const std::string device = usbDeviceFolder + "/" + entry.name;
        const std::string vendor = Attribute(device, "idVendor");
        if (vendor == "1d6b")
            continue;
        const std::string product = Attribute(device, "idProduct");
        const std::string manufacturerName = Attribute(device, "manufacturer");
        const std::string productName = Attribute(device, "product");
        const std::string speedText = Attribute(device, "speed");
        const bool hub = Attribute(device, "bDeviceClass") == "09";
        const long speed = std::strtol(speedText.c_str(), nullptr, 10);

        std::string description;
        if (hub)
            description = speed >= 5000 ? "Generic SuperSpeed USB Hub" : "Generic USB Hub";
        else
            description =
                manufacturerName + (manufacturerName.empty() || productName.empty() ? "" : " ") + productName;
        report << "==================================================\r\n"
               << "Device Name       : " << entry.name << "\r\n"
               << "Description       : " << description << "\r\n"
               << "Device Type       : " << (hub ? "Hub" : "Device") << "\r\n"
               << "Vendor ID         : " << vendor << "\r\n"
               << "Product ID        : " << product << "\r\n"
               << "Manufacturer      : " << manufacturerName << "\r\n"
               << "Product           : " << productName << "\r\n"
               << "Speed             : " << speedText << "\r\n\r\n";
    }
    return platform::AtomicReplace(reportFile, report.str());
}

bool CheckUsbDevicePresent(int kind, bool runListing)
{
    const PowerCheckEnvironment environment = PowerCheckSettings();
    if (!EnsureFolder(environment.companyFolder) || !EnsureFolder(environment.instrumentFolder))
        return true;
    if (runListing) {
        if (!WriteUsbDeviceReport(environment.usbDeviceFolder, environment.reportFile))
            return true;
        Sleep(1000);
    }
    std::string text;
    if (!platform::ReadWholeFile(environment.reportFile, text))
        return false;
    if (kind != kUsbInstrument && kind != kUsbCamera)
        return true;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (UsbReportLineMatches(kind, line))
            return true;
    }
    return false;
}

bool CheckInstrumentPower()
{
    namespace ui = platform::ui;
    bool instrument = CheckUsbDevicePresent(kUsbInstrument, true);
    const bool instrumentAtFirst = instrument;
    for (int prompt = 0; !instrument && prompt < 2; ++prompt) {
        ui::MessageBox(
            "The KD4 power seems to be off.  Please turn on the KD4 power and then click OK button below.",
            "Vantelis", ui::MbOk | ui::MbIconWarning);
        Sleep(1000);
        instrument = CheckUsbDevicePresent(kUsbInstrument, true);
    }
    if (!instrument) {
        return ui::MessageBox("The KD4 power was not detected.  Do you want to continue anyway?", "Vantelis",
                              ui::MbYesNo | ui::MbIconQuestion) == ui::IdYes;
    }

    bool camera = CheckUsbDevicePresent(kUsbCamera, false);
    const bool cameraAtFirst = camera;
    for (int pass = 0; pass < 15; ++pass) {
        if (camera)
            continue;
        Sleep(2000);
        camera = CheckUsbDevicePresent(kUsbCamera, true);
    }
    Sleep(2000);
    if ((instrumentAtFirst && cameraAtFirst) || !camera)
        return true;

    char cameraType[1024] = "";
    Ostravo::E_GetPrivateProfileString("ExperimentSettings", "CameraType", "", cameraType, sizeof cameraType,
                                       theApp.m_ini_path.c_str());
    if (std::string(cameraType) == "Pixelink")
        Sleep(15000);
    return true;
}
