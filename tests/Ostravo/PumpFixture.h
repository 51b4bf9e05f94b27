#pragma once
// A pump simulator reached as COM7 through [Serial] PortDevice7 of a settings file in a fresh data
// folder, the port open at 9600 baud, the driver's state reset and its trace lines collected.
#include "Ostravo/CachedLog.h"
#include "Ostravo/EString.h"
#include "Ostravo/LogError.h"
#include "Ostravo/SerialPort.h"
#include "Ostravo/TecanCentris.h"
#include "platform/Files.h"
#include "support/PumpSimulator.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace vantelis::test {

class PumpTest : public ::testing::Test
{
  protected:
    static constexpr int32_t kPort = 7;

    void SetUp() override
    {
        ASSERT_FALSE(sim.PortPath().empty()) << "no pseudo-terminal";
        ASSERT_TRUE(platform::MakeFolder(dir.file("LOG")));
        SetLogDataDirectory(dir.str().c_str());
        SetLogMainSettingsPath(dir.file("Vantelis.ini").c_str());
        WriteFileBytes(dir.file("Vantelis.ini"), "[Serial]\r\nPortDevice7=" + sim.PortPath() + "\r\n");
        EString error;
        ASSERT_TRUE(SetupSerialPort(kPort, 9600, error)) << error.c_str();
        {
            std::lock_guard<std::mutex> lock(TraceMutex());
            Traces().clear();
        }
        failures = 0;
        TecanCentris::TraceCallback = &CollectTrace;
        TecanCentris::MinTimeBetweenCommandsMs = 0;
        TecanCentris::LastCommandTime = 0;
        TecanCentris::LastValvePosition[0] = TecanCentris::LastValvePosition[1] = ' ';
        TecanCentris::LastTopSpeed_ulpmin[0] = TecanCentris::LastTopSpeed_ulpmin[1] = 0.0;
    }
    void TearDown() override
    {
        SerialPortFailureCallback = nullptr;
        TecanCentris::TraceCallback = nullptr;
        TecanCentris::SetRetryPauseForTesting(0);
        TecanCentris::MinTimeBetweenCommandsMs = 0;
        ReleaseSerialPort(kPort);
        SetLogDataDirectory("");
        SetLogMainSettingsPath("");
    }

    static std::mutex &TraceMutex()
    {
        static std::mutex mutex;
        return mutex;
    }
    static std::vector<std::string> &Traces()
    {
        static std::vector<std::string> traces;
        return traces;
    }
    static bool CollectTrace(const char *line)
    {
        std::lock_guard<std::mutex> lock(TraceMutex());
        Traces().push_back(line);
        return true;
    }
    // The fields of the last trace line.
    static std::vector<std::string> LastTrace()
    {
        std::lock_guard<std::mutex> lock(TraceMutex());
        std::vector<std::string> fields;
        if (Traces().empty())
            return fields;
        std::stringstream in(Traces().back());
        std::string field;
        while (std::getline(in, field, '\t'))
            fields.push_back(field);
        if (!Traces().back().empty() && Traces().back().back() == '\t')
            fields.push_back("");
        return fields;
    }

    static int CountFailure(int)
    {
        ++failures;
        return 1;
    }

    PumpSimulator::PumpState Idle(double heldUl, int32_t capacityUl = 1000)
    {
        PumpSimulator::PumpState state;
        state.capacityUl = capacityUl;
        state.positionUl = heldUl;
        return state;
    }

    static inline std::atomic<int> failures{0};
    TempDir dir;
    PumpSimulator sim;
};

// Trace columns.
enum TraceField
{
    kTotal,
    kLockWait,
    kImposedSleep,
    kSendTime,
    kAttempts,
    kPortReset,
    kCommand,
    kComPort,
    kPump,
    kReply,
    kError,
    kTraceFields
};

} // namespace vantelis::test
