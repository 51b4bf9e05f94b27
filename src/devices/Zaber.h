#pragma once
// The stage driver: a motorised focus axis and an optional X axis behind one serial port at 115200
// baud, spoken to in the controller's line-based text protocol. A request is one line
// "/<device, two digits> <axis> <command>\n"; the reply "@<device> <axis> OK <status> ..." names
// the same device and axis. Millimetres become motor steps with the steps per millimetre read from
// [Zaber] of the main settings file by every Zaber::Initialize.
//
// Every function returns false with its text in error; none retries, none writes a log. Moves
// return once the controller accepted them; WaitForMoveToFinish polls until the axis is idle.
#include "Ostravo/EString.h"

#include <cstdint>
#include <string>

// 0 = the X axis, 1 = the focus axis (Z).
using ZaberAxis = int32_t;
constexpr ZaberAxis kZaberXAxis = 0;
constexpr ZaberAxis kZaberFocusAxis = 1;

class Zaber
{
  public:
    static constexpr uint32_t kTimeoutMs = 500;
    static constexpr double kDefaultStepsPerMm = 20997.38;

    static bool Initialize(EString &error);
    static bool CheckStatus(ZaberAxis axis, EString &status, EString &error);
    static bool MoveToPosition_mm(ZaberAxis axis, double millimetres, EString &error);
    static bool MoveRelative_mm(ZaberAxis axis, double millimetres, EString &error);
    static bool Home(ZaberAxis axis, EString &error);
    static bool GetPosition_mm_s(ZaberAxis axis, double &millimetres, EString &error);
    static bool GetTemperature(double &degrees, EString &error);

    // The settings the last Initialize read (focus steps per millimetre 0 before the first).
    struct Settings
    {
        int32_t focusDevice = 1;
        int32_t xDevice = 1;
        int32_t focusAxis = 1;
        int32_t xAxis = 2;
        double stepsPerMmZ = 0.0;
        double stepsPerMmX = 0.0;
    };
    static Settings CurrentSettings();
    // The [Zaber] settings of a settings file, each missing or unreadable value at its default
    // (device 1, focus axis 1, X axis 2, kDefaultStepsPerMm).
    static Settings ReadSettings(const char *file);
    // Test hook: forgets the settings, as before the first Initialize.
    static void ResetForTesting();
    // Test hook: the pause between status polls of WaitForMoveToFinish (250 ms; 0 restores it).
    static void SetPollPauseForTesting(uint32_t ms);
};

// Polls the axis's status until it reports IDLE: at most 80 polls 250 ms apart.
bool WaitForMoveToFinish(ZaberAxis axis, EString &error);

namespace zaber {

// The reply without its trailing CR and LF characters.
std::string StripLineEnd(const std::string &reply);
// Whether reply begins with "@<device, two digits> <axis> OK ".
bool HasOkPrefix(const std::string &reply, int32_t device, int32_t axis);
// The text after the last blank of reply (the whole reply when it has no blank).
std::string LastField(const std::string &reply);
// round(millimetres x stepsPerMm), halves away from zero; false when the result is not a finite
// 32-bit value.
bool MillimetresToSteps(double millimetres, double stepsPerMm, int32_t &steps);

} // namespace zaber
