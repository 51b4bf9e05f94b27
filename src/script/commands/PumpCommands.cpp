// Syringe-pump and waiting commands of the script language. Every command reads its arguments in
// order, makes its load-time tests as soon as the argument is read, returns after the last
// argument while the script loads, and otherwise makes its run-time tests and talks to the pumps
// through the pump driver.
#include "script/commands/PumpCommands.h"

#include "Ostravo/TecanCentris.h"
#include "Ostravo/TextFormat.h"
#include "app/PlexorinApp.h"
#include "script/Arguments.h"
#include "script/CommandTable.h"
#include "script/ParseHelpers.h"
#include "script/ScriptRuntime.h"
#include "script/ScriptWaitWindows.h"

#include <cmath>
#include <ctime>
#include <mutex>
#include <random>
#include <string>
#include <strings.h>

namespace {

using script_parse::SetError;

// Pump 1 when the number is 0 or 1, then pump 2 when it is 0 or 2; stops at the first failure.
template <typename Op> bool ForEachPump(uint32_t pump, Op op)
{
    if (pump == 0 || pump == 1) {
        if (!op(1))
            return false;
    }
    if (pump == 0 || pump == 2) {
        if (!op(2))
            return false;
    }
    return true;
}

bool PumpNumberBoth(const char *name, int32_t pump, EString &error)
{
    if (static_cast<uint32_t>(pump) > 2) {
        SetError(error, FormatText("%s() ipump must be 0, 1 or 2", name));
        return false;
    }
    return true;
}

bool PumpNumberSingle(const char *name, int32_t pump, EString &error)
{
    const uint32_t p = static_cast<uint32_t>(pump);
    if (p != 1 && p != 2) {
        SetError(error, FormatText("%s() ipump must be 1 or 2", name));
        return false;
    }
    return true;
}

// The argument list's start and the pump number, its first argument: 0 (both), 1 or 2 with
// allowBoth, else 1 or 2.
bool ReadPumpNumber(const char *name, bool allowBoth, ArgumentReader &args, int32_t &pump)
{
    if (!args.Start() || !args.Int(pump))
        return false;
    return allowBoth ? PumpNumberBoth(name, pump, args.Error()) : PumpNumberSingle(name, pump, args.Error());
}

bool PortPresent(const char *name, EString &error)
{
    if (theApp.m_pump_port == 0) {
        SetError(error, FormatText("%s() pump not detected.", name));
        return false;
    }
    return true;
}

// The busy query: true when the query went through; busy is false only for the reply "0".
bool QueryBusy(int32_t port, int32_t pump, bool &busy, EString &error)
{
    EString reply;
    if (!TecanCentris::SendCommand(port, pump, "?29", TecanCentris::kQueryTimeoutMs, reply, error))
        return false;
    busy = strcasecmp(reply.c_str(), "0") != 0;
    return true;
}

// Reads the pump number and the one double argument of MoveToPosition, Dispense and Aspirate.
bool VolumeCommand(const char *name, const char *arguments, VariableList &variables, bool checkOnly,
                   EString &error,
                   const std::function<bool(int32_t port, int32_t pump, double ul, EString &e)> &driver)
{
    ArgumentReader args(arguments, variables, error);
    int32_t pump = 0;
    double ul = 0.0;
    if (!ReadPumpNumber(name, true, args, pump))
        return false;
    if (!args.Double(ul))
        return false;
    if (checkOnly)
        return true;
    if (!(ul >= 0.0 && ul <= kPumpVolumeLimitUl)) {
        SetError(error, FormatText("%s() position must be between 0 and 10000 ul", name));
        return false;
    }
    if (!PortPresent(name, error))
        return false;
    const int32_t port = theApp.m_pump_port;
    return ForEachPump(static_cast<uint32_t>(pump), [&](int32_t p) {
        EString driverError;
        if (driver(port, p, ul, driverError))
            return true;
        SetError(error, FormatText("%s() : %s", name, driverError.c_str()));
        return false;
    });
}

// A setting command's pump work: the driver operation per pump, "<prefix>%s" on failure.
bool SetPerPump(uint32_t pump, const char *prefix, EString &error,
                const std::function<bool(int32_t port, int32_t pump, EString &e)> &driver)
{
    const int32_t port = theApp.m_pump_port;
    return ForEachPump(pump, [&](int32_t p) {
        EString driverError;
        if (driver(port, p, driverError))
            return true;
        SetError(error, std::string(prefix) + driverError.c_str());
        return false;
    });
}

std::mutex g_randomMutex;
std::function<uint32_t()> g_randomSource;

uint32_t NextDraw(std::mt19937 &generator)
{
    std::lock_guard<std::mutex> lock(g_randomMutex);
    if (g_randomSource)
        return g_randomSource();
    return static_cast<uint32_t>(generator());
}

bool GetSyringeAspiratedVolume(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                               EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t pump = 0;
    Variable *result = nullptr;
    if (!ReadPumpNumber("GetSyringeAsperatedVolume", false, args, pump))
        return false;
    if (!args.DoubleResult(result))
        return false;
    if (!result) {
        SetError(error, "GetSyringeAsperatedVolume() volume must be a variable.");
        return false;
    }
    if (checkOnly)
        return true;
    double value = 0.0;
    if (!TecanCentris::QueryDouble(theApp.m_pump_port, pump, "?18", value, error))
        return false;
    if (result->type == kVariableDouble)
        result->number = value;
    return true;
}

bool GetBacklashSteps(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                      EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t pump = 0;
    Variable *result = nullptr;
    if (!ReadPumpNumber("GetBacklashSteps", false, args, pump))
        return false;
    if (!args.IntResult(result))
        return false;
    if (!result) {
        SetError(error, "GetBacklashSteps() volume must be a variable.");
        return false;
    }
    if (checkOnly)
        return true;
    int32_t value = 0;
    if (!TecanCentris::QueryLong(theApp.m_pump_port, pump, "?4", value, error))
        return false;
    if (result->type == kVariableInt)
        result->integer = value;
    return true;
}

bool SetBacklashSteps(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                      EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t pump = 0;
    int32_t steps = 0;
    if (!ReadPumpNumber("SetBacklashSteps", true, args, pump))
        return false;
    if (!args.Int(steps))
        return false;
    if (checkOnly)
        return true;
    if (steps < 0 || steps > 3000) {
        SetError(error, "SetBacklashSteps() position must be between 0 and 3000 steps");
        return false;
    }
    return SetPerPump(static_cast<uint32_t>(pump), "SetBacklashSteps () : ", error,
                      [&](int32_t port, int32_t p, EString &e) {
                          int32_t current = 0;
                          if (!TecanCentris::QueryLong(port, p, "?4", current, e))
                              return false;
                          if (current == steps)
                              return true;
                          return TecanCentris::SetBacklash(port, p, static_cast<uint32_t>(steps), e);
                      });
}

bool GetAccelerationRate(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                         EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t pump = 0;
    Variable *up = nullptr;
    Variable *down = nullptr;
    if (!ReadPumpNumber("GetAccelerationRate", false, args, pump))
        return false;
    if (!args.IntResult(up))
        return false;
    if (!up) {
        SetError(error, "GetAccelerationRate() ramp_up must be a variable.");
        return false;
    }
    if (!args.IntResult(down))
        return false;
    if (!down) {
        SetError(error, "GetAccelerationRate() ramp_down must be a variable.");
        return false;
    }
    if (checkOnly)
        return true;
    int32_t rampUp = 0;
    int32_t rampDown = 0;
    if (!TecanCentris::QueryLong(theApp.m_pump_port, pump, "?9", rampUp, error) ||
        !TecanCentris::QueryLong(theApp.m_pump_port, pump, "?10", rampDown, error))
        return false;
    if (up->type == kVariableInt)
        up->integer = rampUp;
    if (down->type == kVariableInt)
        down->integer = rampDown;
    return true;
}

bool SetAccelerationRate(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                         EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t pump = 0;
    int32_t rampUp = 0;
    int32_t rampDown = 0;
    if (!ReadPumpNumber("SetAccelerationRate", true, args, pump))
        return false;
    if (!args.Int(rampUp))
        return false;
    if (rampUp < 1 || rampUp > 40) {
        SetError(error, "SetAccelerationRate() rate_up must be between 1 and 40");
        return false;
    }
    if (!args.Int(rampDown))
        return false;
    if (checkOnly)
        return true;
    if (rampDown < 1 || rampDown > 40) {
        SetError(error, "SetAccelerationRate() rate_down must be between 1 and 40");
        return false;
    }
    if (!PortPresent("SetAccelerationRate", error))
        return false;
    return SetPerPump(static_cast<uint32_t>(pump), "SetAccelerationRate () : ", error,
                      [&](int32_t port, int32_t p, EString &e) {
                          return TecanCentris::SetAccelerationRate(port, p, static_cast<uint32_t>(rampUp),
                                                                   static_cast<uint32_t>(rampDown), e);
                      });
}

bool SetTopSpeed(Script &, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t pump = 0;
    double speed = 0.0;
    if (!ReadPumpNumber("SetTopSpeed", true, args, pump))
        return false;
    if (!args.Double(speed))
        return false;
    if (checkOnly)
        return true;
    if (!(speed >= 0.5 && speed <= 300000.0)) {
        SetError(error, "SetTopSpeed() speed must be between 0.5 and 300000 ul/min");
        return false;
    }
    if (!PortPresent("SetTopSpeed", error))
        return false;
    return SetPerPump(static_cast<uint32_t>(pump), "SetTopSpeed () : ", error,
                      [&](int32_t port, int32_t p, EString &e) {
                          return TecanCentris::SetTopSpeed_ulpmin(port, p, speed, e);
                      });
}

bool WaitWhileSyringeIsMoving(Script &instance, const char *arguments, VariableList &variables,
                              bool checkOnly, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t syringe = 0;
    int32_t timeout = 0;
    if (!args.Start() || !args.Int(syringe))
        return false;
    if (static_cast<uint32_t>(syringe) > 2) {
        SetError(error, "WaitWhileSyringeIsMoving() syringe must be 0, 1 or 2");
        return false;
    }
    if (!args.Int(timeout))
        return false;
    if (checkOnly)
        return true;
    if (timeout < 1 || timeout > 36000) {
        SetError(error, "WaitWhileSytringeIsMoving() tmout_seconds must be between 1 an 36000");
        return false;
    }
    const int32_t port = theApp.m_pump_port;
    int32_t polls = 0;
    bool stopped = false;
    const bool ok = ForEachPump(static_cast<uint32_t>(syringe), [&](int32_t p) {
        for (;;) {
            bool busy = true;
            EString queryError;
            if (!QueryBusy(port, p, busy, queryError)) {
                SetError(error, FormatText("WaitWhileSyringeIsMoving() : %s", queryError.c_str()));
                return false;
            }
            if (!busy)
                return true;
            if (polls / 4 >= timeout) {
                SetError(error, FormatText("WaitWhileSyringeIsMoving() : Timeout after %ld seconds",
                                           static_cast<long>(timeout)));
                return false;
            }
            // A stop or the exit ends the wait quietly; the run ends before the next line.
            if (!ScriptWaitMs(250) || !instance.m_running) {
                stopped = true;
                return false;
            }
            ++polls;
        }
    });
    return ok || stopped;
}

bool InitializeSyringePump(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                           EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t pump = 0;
    if (!args.Start() || !args.Int(pump))
        return false;
    if (checkOnly)
        return true;
    if (!PumpNumberBoth("InitializeSyringePump", pump, error) || !PortPresent("InitializeSyringePump", error))
        return false;
    return SetPerPump(
        static_cast<uint32_t>(pump), "InitializeSyringePump() : ", error,
        [](int32_t port, int32_t p, EString &e) { return TecanCentris::Initialize(port, p, e); });
}

bool TerminateMove(Script &, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t pump = 0;
    if (!ReadPumpNumber("TerminateMove", true, args, pump))
        return false;
    if (checkOnly)
        return true;
    if (!PortPresent("TerminateMove", error))
        return false;
    const int32_t port = theApp.m_pump_port;
    return ForEachPump(static_cast<uint32_t>(pump), [&](int32_t p) {
        EString e;
        bool busy = true;
        bool ok = QueryBusy(port, p, busy, e);
        if (ok && busy) {
            ScriptWaitMs(250);
            ok = TecanCentris::Terminate(port, p, e);
        }
        if (!ok)
            SetError(error,
                     FormatText("TerminateMove(%ld) : pump %d : %s", static_cast<long>(pump), p, e.c_str()));
        return ok;
    });
}

bool ResetPump(Script &, const char *arguments, VariableList &variables, bool checkOnly, EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t pump = 0;
    if (!ReadPumpNumber("ResetPump", false, args, pump))
        return false;
    if (checkOnly)
        return true;
    if (!PortPresent("ResetPump", error))
        return false;
    return SetPerPump(
        static_cast<uint32_t>(pump), "ResetPump() : ", error,
        [](int32_t port, int32_t p, EString &e) { return TecanCentris::ResetPump(port, p, e); });
}

bool SetPumpValveState(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                       EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t pump = 0;
    EString state;
    if (!ReadPumpNumber("SetPumpValveState", true, args, pump))
        return false;
    if (!args.Text(state))
        return false;
    if (checkOnly)
        return true;
    bool (*valve)(int32_t, int32_t, EString &) = nullptr;
    if (strcasecmp(state.c_str(), "input") == 0)
        valve = &TecanCentris::SetValveInput;
    else if (strcasecmp(state.c_str(), "output") == 0)
        valve = &TecanCentris::SetValveOutput;
    else if (strcasecmp(state.c_str(), "bypass") == 0)
        valve = &TecanCentris::SetValveBypass;
    if (!valve) {
        SetError(error, "SetPumpValveState() : state must be \"input\" or \"output\" or \"bypass\"");
        return false;
    }
    if (!PortPresent("SetPumpValveState", error))
        return false;
    return SetPerPump(static_cast<uint32_t>(pump), "SetPumpValveState() : ", error,
                      [valve](int32_t port, int32_t p, EString &e) { return valve(port, p, e); });
}

bool SetSyringeVolume(Script &, const char *arguments, VariableList &variables, bool checkOnly,
                      EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t syringe = 0;
    int32_t volume = 0;
    if (!args.Start() || !args.Int(syringe))
        return false;
    if (static_cast<uint32_t>(syringe) > 2) {
        SetError(error, "SetSyringeVolume() isyringe must be equal to 0 (both) 1 or 2");
        return false;
    }
    if (!args.Int(volume))
        return false;
    if (checkOnly)
        return true;
    static constexpr int32_t kSizes[] = {50, 100, 250, 500, 1000, 2500, 5000, 12500};
    bool known = false;
    for (int32_t size : kSizes)
        known = known || size == volume;
    if (!known) {
        SetError(
            error,
            "SetSyringeVolume() invalid vol_ul, valid values are 50, 100, 250, 500, 1000, 2500, 5000, 12500");
        return false;
    }
    return SetPerPump(static_cast<uint32_t>(syringe), "SetSyringeVolume() : ", error,
                      [volume](int32_t port, int32_t p, EString &e) {
                          return TecanCentris::SetSyringeVolume(port, p, volume, e);
                      });
}

bool TestPumps(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
               EString &error)
{
    ArgumentReader args(arguments, variables, error);
    int32_t ipump = 0;
    int32_t ncycles = 0;
    int32_t range = 0;
    double tolerance = 0.0;
    if (!args.Start() || !args.Int(ipump) || !args.Int(ncycles) || !args.Int(range) ||
        !args.Double(tolerance))
        return false;
    if (checkOnly)
        return true;
    if (static_cast<uint32_t>(ipump) > 2) {
        SetError(error, "TestPumps() ipump must be 0, 1 or 2");
        return false;
    }
    if (ncycles < 1 || ncycles > 10000) {
        SetError(error, "TestPumps() ncycles must be between 1 and 10000");
        return false;
    }
    const int32_t port = theApp.m_pump_port;
    // Every tested pump is checked against its own syringe: the range must fit the smaller one.
    int32_t capacity = 0;
    bool haveCapacity = false;
    if (!ForEachPump(static_cast<uint32_t>(ipump), [&](int32_t p) {
            int32_t value = 0;
            EString e;
            if (!TecanCentris::QueryLong(port, p, "?17", value, e)) {
                SetError(error, FormatText("TestPumps() %s", e.c_str()));
                return false;
            }
            capacity = haveCapacity ? std::min(capacity, value) : value;
            haveCapacity = true;
            return true;
        }))
        return false;
    if (range < 1 || range > capacity) {
        SetError(error, FormatText("TestPumps() range_ul must be between 1 and %ld ul",
                                   static_cast<long>(capacity)));
        return false;
    }
    if (!(tolerance >= 0.0 && tolerance <= 1.0)) {
        SetError(error, "TestPumps() tolerance_ul must be between 0 and 1.0 ul");
        return false;
    }
    std::mt19937 generator(static_cast<uint32_t>(std::time(nullptr)));
    for (int32_t iter = 0; iter < ncycles; ++iter) {
        double target[2] = {0.0, 0.0};
        for (int32_t p = 1; p <= 2; ++p) {
            target[p - 1] = TestPumpsPosition(NextDraw(generator), range);
            if (!(ipump == 0 || ipump == p))
                continue;
            EString e;
            if (!TecanCentris::MoveToVolume_ul(port, p, target[p - 1], e)) {
                SetError(error, FormatText("TestPumps() iter=%ld ipump=%d : %s", static_cast<long>(iter), p,
                                           e.c_str()));
                return false;
            }
        }
        for (int32_t p = 1; p <= 2; ++p) {
            if (!(ipump == 0 || ipump == p))
                continue;
            EString e;
            bool busy = true;
            for (;;) {
                if (!QueryBusy(port, p, busy, e)) {
                    SetError(error, FormatText("TestPumps() iter=%ld ipump=%d : %s", static_cast<long>(iter),
                                               p, e.c_str()));
                    return false;
                }
                if (!busy)
                    break;
                // A stop terminates the moves; the poll then ends quietly.
                if (!ScriptWaitMs(100) || !instance.m_running)
                    return true;
            }
            double position = 0.0;
            if (!TecanCentris::QueryDouble(port, p, "?18", position, e)) {
                SetError(error, FormatText("TestPumps() iter=%ld ipump=%d : %s", static_cast<long>(iter), p,
                                           e.c_str()));
                return false;
            }
            const double diff = std::fabs(target[p - 1] - position);
            if (diff > tolerance) {
                SetError(error,
                         FormatText("TestPumps() iter=%ld ipump=%d : Out of tolerance after move expected "
                                    "position: %lf readback_pos: %lf abs_diff=%lf",
                                    static_cast<long>(iter), p, target[p - 1], position, diff));
                return false;
            }
        }
    }
    return true;
}

bool WaitWithTimer(Script &instance, const char *arguments, VariableList &variables, bool checkOnly,
                   EString &error)
{
    ArgumentReader args(arguments, variables, error);
    double seconds = 0.0;
    EString text;
    int32_t display = 0;
    if (!args.Start() || !args.Double(seconds) || !args.Text(text))
        return false;
    args.OptionalInt(display);
    if (checkOnly)
        return true;
    if (!(seconds >= 1.0 && seconds <= 36000.0)) {
        SetError(error, "WaitWithTimer() seconds must be between 1 and 36000");
        return false;
    }
    RunCountdown(instance, text.c_str(), static_cast<int32_t>(std::lround(seconds)), display);
    return true;
}

} // namespace

void SetTestPumpsRandomSource(std::function<uint32_t()> source)
{
    std::lock_guard<std::mutex> lock(g_randomMutex);
    g_randomSource = std::move(source);
}

double TestPumpsPosition(uint32_t draw, int32_t rangeUl)
{
    if (rangeUl < 1)
        return 0.0;
    const uint64_t steps = static_cast<uint64_t>(rangeUl) * 1000u;
    return static_cast<double>(draw % steps) / 1000.0;
}

void RegisterPumpCommands()
{
    RegisterCommandHandler(cmd::GetSyringeAspiratedVolume, GetSyringeAspiratedVolume);
    RegisterCommandHandler(cmd::GetBacklashSteps, GetBacklashSteps);
    RegisterCommandHandler(cmd::SetBacklashSteps, SetBacklashSteps);
    RegisterCommandHandler(cmd::GetAccelerationRate, GetAccelerationRate);
    RegisterCommandHandler(cmd::SetAccelerationRate, SetAccelerationRate);
    RegisterCommandHandler(cmd::SetTopSpeed, SetTopSpeed);
    RegisterCommandHandler(
        cmd::MoveToPosition, [](Script &, const char *a, VariableList &v, bool c, EString &e) {
            return VolumeCommand("MoveToPosition", a, v, c, e, &TecanCentris::MoveToVolume_ul);
        });
    RegisterCommandHandler(cmd::Dispense, [](Script &, const char *a, VariableList &v, bool c, EString &e) {
        return VolumeCommand("Dispense", a, v, c, e, [](int32_t port, int32_t pump, double ul, EString &err) {
            return Dispense_ul(port, pump, ul, err, false);
        });
    });
    RegisterCommandHandler(cmd::Aspirate, [](Script &, const char *a, VariableList &v, bool c, EString &e) {
        return VolumeCommand("Aspirate", a, v, c, e, [](int32_t port, int32_t pump, double ul, EString &err) {
            return Aspirate_ul(port, pump, ul, err, false);
        });
    });
    RegisterCommandHandler(cmd::WaitWhileSyringeIsMoving, WaitWhileSyringeIsMoving);
    RegisterCommandHandler(cmd::InitializeSyringePump, InitializeSyringePump);
    RegisterCommandHandler(cmd::TerminateMove, TerminateMove);
    RegisterCommandHandler(cmd::ResetPump, ResetPump);
    RegisterCommandHandler(cmd::SetPumpValveState, SetPumpValveState);
    RegisterCommandHandler(cmd::SetSyringeVolume, SetSyringeVolume);
    RegisterCommandHandler(cmd::TestPumps, TestPumps);
    RegisterCommandHandler(cmd::WaitWithTimer, WaitWithTimer);
}
