#include "devices/Zaber.h"

#include "app/AppGlobals.h"
#include "app/PlexorinApp.h"

#include "Ostravo/Profile.h"
#include "Ostravo/ProfileValues.h"
#include "Ostravo/SerialPort.h"
#include "Ostravo/TextFormat.h"
#include "platform/Sync.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <limits>
#include <mutex>

namespace {

constexpr uint32_t kDefaultPollPauseMs = 250;
constexpr int kMaxStatusPolls = 80;

std::mutex &SettingsMutex()
{
    static std::mutex mutex;
    return mutex;
}
Zaber::Settings &StoredSettings()
{
    static Zaber::Settings settings;
    return settings;
}
std::atomic<uint32_t> &PollPauseMs()
{
    static std::atomic<uint32_t> pause{kDefaultPollPauseMs};
    return pause;
}

long L(int32_t value)
{
    return static_cast<long>(value);
}

double ReadDoubleKey(const char *key, double fallback, const char *file)
{
    char text[30];
    Ostravo::E_GetPrivateProfileString("Zaber", key, "", text, sizeof text, file);
    double value = 0.0;
    return std::sscanf(text, "%lf", &value) == 1 ? value : fallback;
}

// Device and axis number and steps per millimetre of an axis (0 or 1).
struct AxisAddress
{
    int32_t device;
    int32_t axis;
    double stepsPerMm;
};

AxisAddress Address(const Zaber::Settings &settings, ZaberAxis axis)
{
    if (axis == kZaberFocusAxis)
        return {settings.focusDevice, settings.focusAxis, settings.stepsPerMmZ};
    return {settings.xDevice, settings.xAxis, settings.stepsPerMmX};
}

enum class Outcome
{
    Ok,
    NoAnswer,
    Invalid,
};

// One request and its reply on the stage port; the reply comes back without its line end.
Outcome Transact(int32_t device, int32_t axis, const std::string &request, std::string &reply)
{
    EString received;
    const bool answered =
        SerialSendReceive(theApp.m_stage_port, request.c_str(), '\n', received, Zaber::kTimeoutMs);
    reply = zaber::StripLineEnd(received.c_str() ? received.c_str() : "");
    if (!answered)
        return Outcome::NoAnswer;
    return zaber::HasOkPrefix(reply, device, axis) ? Outcome::Ok : Outcome::Invalid;
}

std::string Request(int32_t device, int32_t axis, const char *command)
{
    if (!command || !*command)
        return FormatText("/%02ld %ld\n", L(device), L(axis));
    return FormatText("/%02ld %ld %s\n", L(device), L(axis), command);
}

std::string BadStepsText(const char *function, ZaberAxis axis)
{
    return FormatText("Zaber::%s() - ZaberStepsPerMM_%s gives no valid step count.", function,
                      axis == kZaberFocusAxis ? "Z" : "X");
}

// Refuses a use before Zaber::Initialize() has read the step counts.
bool CheckInitialized(const Zaber::Settings &settings, const char *function, EString &error)
{
    if (settings.stepsPerMmZ != 0.0)
        return true;
    error.Assign(FormatText("Zaber::%s() - must call Zaber::Initialize() first.", function).c_str());
    return false;
}

bool CheckAxis(ZaberAxis axis, EString &error)
{
    if (axis == kZaberXAxis || axis == kZaberFocusAxis)
        return true;
    error.Assign("Invalid axis specified.");
    return false;
}

// Sends command to an axis and takes its OK reply; on failure error names label (a bare status
// poll has an empty label and names no command).
bool SendCommand(const AxisAddress &address, const char *command, const char *label, std::string &reply,
                 EString &error)
{
    switch (Transact(address.device, address.axis, Request(address.device, address.axis, command), reply)) {
    case Outcome::NoAnswer:
        error.Assign(*label ? FormatText("Zaber fails to respond to \"%s\" command", label).c_str()
                            : "Zaber fails to respond");
        return false;
    case Outcome::Invalid:
        error.Assign(*label
                         ? FormatText("Zaber provides invalid response to \"%s\" command #1", label).c_str()
                         : "Zaber provides invalid response");
        return false;
    case Outcome::Ok:
        break;
    }
    return true;
}

// The shared path of the absolute and relative moves.
bool Move(ZaberAxis axis, double millimetres, const char *function, const char *verb, const char *rangeText,
          EString &error)
{
    const Zaber::Settings settings = Zaber::CurrentSettings();
    if (!CheckInitialized(settings, function, error))
        return false;
    // Written so that a NaN target is refused too.
    if (!(millimetres >= -100.0 && millimetres <= 100.0)) {
        error.Assign(rangeText);
        return false;
    }
    if (!CheckAxis(axis, error))
        return false;
    const AxisAddress address = Address(settings, axis);
    int32_t steps = 0;
    // A zero X value would send every target as step 0.
    if (address.stepsPerMm == 0.0 || !zaber::MillimetresToSteps(millimetres, address.stepsPerMm, steps)) {
        error.Assign(BadStepsText(function, axis).c_str());
        return false;
    }
    const std::string command = FormatText("%s %ld", verb, L(steps));
    std::string reply;
    return SendCommand(address, command.c_str(), verb, reply, error);
}

} // namespace

namespace zaber {

std::string StripLineEnd(const std::string &reply)
{
    std::string text = reply;
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
        text.pop_back();
    return text;
}

bool HasOkPrefix(const std::string &reply, int32_t device, int32_t axis)
{
    const std::string prefix = FormatText("@%02ld %ld OK ", L(device), L(axis));
    return reply.compare(0, prefix.size(), prefix) == 0;
}

std::string LastField(const std::string &reply)
{
    const size_t blank = reply.rfind(' ');
    return blank == std::string::npos ? reply : reply.substr(blank + 1);
}

bool MillimetresToSteps(double millimetres, double stepsPerMm, int32_t &steps)
{
    const double product = std::round(millimetres * stepsPerMm);
    if (!std::isfinite(product) || product < static_cast<double>(std::numeric_limits<int32_t>::min()) ||
        product > static_cast<double>(std::numeric_limits<int32_t>::max()))
        return false;
    steps = static_cast<int32_t>(product);
    return true;
}

} // namespace zaber

Zaber::Settings Zaber::CurrentSettings()
{
    std::lock_guard<std::mutex> lock(SettingsMutex());
    return StoredSettings();
}

void Zaber::ResetForTesting()
{
    std::lock_guard<std::mutex> lock(SettingsMutex());
    StoredSettings() = Settings{};
}

void Zaber::SetPollPauseForTesting(uint32_t ms)
{
    PollPauseMs() = ms ? ms : kDefaultPollPauseMs;
}

bool Zaber::Initialize(EString &error)
{
    if (theApp.m_stage_port == 0) {
        char value[8];
        Ostravo::E_GetPrivateProfileString("Zaber", "InitializeZaberOnStartup", "", value, sizeof value,
                                           _settings_ini_path.c_str());
        if (!CompareText(value, "TRUE", 0, 0))
            error.Assign(
                "Zaber::Initialize() - the Zaber stage is not enabled. Set InitializeZaberOnStartup=TRUE "
                "in section [Zaber] of Plexorin.ini and restart the program.");
        else
            // A stage that was asked for but not found still gets a reason.
            error.Assign("Zaber::Initialize() - Zaber stage is not connected.");
        return false;
    }
    const Settings settings = ReadSettings(_settings_ini_path.c_str());
    std::lock_guard<std::mutex> lock(SettingsMutex());
    StoredSettings() = settings;
    return true;
}

Zaber::Settings Zaber::ReadSettings(const char *file)
{
    Settings settings;
    settings.focusDevice = Ostravo::ReadProfileInt("Zaber", "ZaberFocusDeviceIndex", 1, file, 30);
    settings.xDevice = Ostravo::ReadProfileInt("Zaber", "ZaberXAxisDeviceIndex", 1, file, 30);
    settings.focusAxis = Ostravo::ReadProfileInt("Zaber", "ZaberFocusAxisIndex", 1, file, 30);
    settings.xAxis = Ostravo::ReadProfileInt("Zaber", "ZaberXAxisIndex", 2, file, 30);
    settings.stepsPerMmZ = ReadDoubleKey("ZaberStepsPerMM_Z", kDefaultStepsPerMm, file);
    settings.stepsPerMmX = ReadDoubleKey("ZaberStepsPerMM_X", kDefaultStepsPerMm, file);
    return settings;
}

bool Zaber::CheckStatus(ZaberAxis axis, EString &status, EString &error)
{
    status.Assign("");
    const Settings settings = CurrentSettings();
    if (!CheckInitialized(settings, "CheckStatus", error) || !CheckAxis(axis, error))
        return false;
    const AxisAddress address = Address(settings, axis);
    std::string reply;
    if (!SendCommand(address, "", "", reply, error))
        return false;
    const size_t start = FormatText("@%02ld %ld OK ", L(address.device), L(address.axis)).size();
    const size_t end = reply.find(' ', start);
    status.Assign(reply.substr(start, end == std::string::npos ? std::string::npos : end - start).c_str());
    return true;
}

bool WaitForMoveToFinish(ZaberAxis axis, EString &error)
{
    for (int poll = 1; poll <= kMaxStatusPolls; ++poll) {
        EString status;
        if (!Zaber::CheckStatus(axis, status, error))
            return false;
        if (CompareText(status.c_str(), "IDLE", 0, 0))
            return true;
        if (poll < kMaxStatusPolls)
            platform::SleepMs(PollPauseMs());
    }
    error.Assign("WaitForMoveToFinish() - timeout");
    return false;
}

bool Zaber::MoveToPosition_mm(ZaberAxis axis, double millimetres, EString &error)
{
    return Move(axis, millimetres, "MoveToPosition_mm", "move abs",
                "Absolute position setting must be betwen -100.0 and 100.0 mm", error);
}

bool Zaber::MoveRelative_mm(ZaberAxis axis, double millimetres, EString &error)
{
    return Move(axis, millimetres, "MoveRelative_mm", "move rel",
                "Relative position setting must be betwen -100.0 and 100.0 mm", error);
}

bool Zaber::Home(ZaberAxis axis, EString &error)
{
    if (!CheckAxis(axis, error))
        return false;
    std::string reply;
    return SendCommand(Address(CurrentSettings(), axis), "home", "home", reply, error);
}

bool Zaber::GetPosition_mm_s(ZaberAxis axis, double &millimetres, EString &error)
{
    const Settings settings = CurrentSettings();
    if (!CheckInitialized(settings, "GetPosition_mm_s", error) || !CheckAxis(axis, error))
        return false;
    const AxisAddress address = Address(settings, axis);
    std::string reply;
    if (!SendCommand(address, "get pos", "get pos", reply, error))
        return false;
    long steps = 0;
    if (std::sscanf(zaber::LastField(reply).c_str(), "%ld", &steps) != 1) {
        error.Assign("Zaber provides invalid response to \"get pos\" command #2");
        return false;
    }
    // A zero X value would turn every position into infinity.
    if (address.stepsPerMm == 0.0 || !std::isfinite(address.stepsPerMm)) {
        error.Assign(BadStepsText("GetPosition_mm_s", axis).c_str());
        return false;
    }
    millimetres = static_cast<double>(static_cast<int32_t>(steps)) / address.stepsPerMm;
    return true;
}

bool Zaber::GetTemperature(double &degrees, EString &error)
{
    if (theApp.m_stage_port == 0) {
        error.Assign("Zaber::GetTemperature() - Zaber stage is not connected.");
        return false;
    }
    const std::string request = Request(1, 1, "get driver.temperature");
    const std::string shown = zaber::StripLineEnd(request);
    std::string reply;
    switch (Transact(1, 1, request, reply)) {
    case Outcome::NoAnswer:
        error.Assign(FormatText("Zaber fails to respond to \"%s\" command", shown.c_str()).c_str());
        return false;
    case Outcome::Invalid:
        error.Assign(FormatText("Zaber provides invalid to respond  #1 \"%s\" to \"%s\" command",
                                reply.c_str(), shown.c_str())
                         .c_str());
        return false;
    case Outcome::Ok:
        break;
    }
    double value = 0.0;
    if (std::sscanf(zaber::LastField(reply).c_str(), "%lf", &value) != 1) {
        error.Assign(FormatText("Zaber provides invalid to respond #3 \"%s\" to \"%s\" command",
                                reply.c_str(), shown.c_str())
                         .c_str());
        return false;
    }
    degrees = value;
    return true;
}
