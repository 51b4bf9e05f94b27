#pragma once
// The driver of the two syringe pumps (addresses 1 and 2) that share one serial port at 9600 baud.
// Every command goes through TecanCentris::SendCommand, which serialises all pump traffic under one
// lock, keeps a minimum gap between commands, frames the command, makes up to four attempts and
// re-opens the port after the fourth failure, decodes the reply and hands a trace line to
// TraceCallback. Commands return once a pump has accepted them, never waiting for a motion.
//
// Every operation takes the pump port (COM number) first and returns false with its text in error.
#include "Ostravo/EString.h"

#include <atomic>
#include <cstdint>
#include <string>

class TecanCentris
{
  public:
    using TraceFn = bool (*)(const char *traceLine);

    // Least time in ms between the end of one command's transmission and the start of the next.
    static std::atomic<uint16_t> MinTimeBetweenCommandsMs;
    // Monotonic ms at the end of the last transmission; 0 before the first.
    static std::atomic<uint64_t> LastCommandTime;
    // Receives one trace line per command; null = no tracing.
    static std::atomic<TraceFn> TraceCallback;
    // ' ' until a valve command of that pump (index 0 = pump 1) succeeded, then 'B', 'I' or 'O'.
    static std::atomic<char> LastValvePosition[2];
    // The µl/min of the last successful SetTopSpeed_ulpmin of each pump; 0 before.
    static std::atomic<double> LastTopSpeed_ulpmin[2];

    static constexpr int32_t kQueryTimeoutMs = 200;
    static constexpr int32_t kCommandTimeoutMs = 2000;
    static constexpr int32_t kMaxFramedLength = 127;

    // One framed command to pump 1 or 2; data gets the reply's data (or an error status's text).
    static bool SendCommand(int32_t port, int32_t pump, const char *command, int32_t timeoutMs, EString &data,
                            EString &error);
    static bool QueryLong(int32_t port, int32_t pump, const char *query, int32_t &value, EString &error);
    static bool QueryDouble(int32_t port, int32_t pump, const char *query, double &value, EString &error);
    // "?" + number, the reply's data unparsed.
    static bool QueryReport(int32_t port, int32_t pump, uint32_t number, EString &reply, EString &error);
    static bool Initialize(int32_t port, int32_t pump, EString &error);
    static bool SetBacklash(int32_t port, int32_t pump, uint32_t steps, EString &error);
    static bool SetAccelerationRate(int32_t port, int32_t pump, uint32_t rampUp, uint32_t rampDown,
                                    EString &error);
    static bool SetTopSpeed_ulpmin(int32_t port, int32_t pump, double ulPerMin, EString &error);
    static bool SetValveBypass(int32_t port, int32_t pump, EString &error);
    static bool SetValveInput(int32_t port, int32_t pump, EString &error);
    static bool SetValveOutput(int32_t port, int32_t pump, EString &error);
    static bool MoveToVolume_ul(int32_t port, int32_t pump, double ul, EString &error);
    static bool Terminate(int32_t port, int32_t pump, EString &error);
    static bool ResetPump(int32_t port, int32_t pump, EString &error);
    // Known volumes: 50, 100, 250, 500, 1000, 1250, 2500, 5000 and 12500 µl.
    static bool SetSyringeVolume(int32_t port, int32_t pump, int32_t ul, EString &error);
    // Sends "T" to each pump whose state query does not answer "0".
    static bool TerminateBusyPumps(int32_t port, EString &error);
    // Both pumps' temperatures in °C, one decimal.
    static bool GetTemperature(int32_t port, double &pump1C, double &pump2C, EString &error);
    static bool SetMinimumTimeBetweenCommands(uint16_t gapMs, EString &error);

    // Test hook: the pause between attempts (1000 ms; 0 restores it), so that many failing
    // commands can be driven quickly.
    static void SetRetryPauseForTesting(uint32_t ms);
};

// Checks the reply frame (0xFF '/' '0' status data ETX CR LF). A taken status puts the data into
// out and gives true; an error status puts its text into out and gives false; a malformed frame
// gives false and leaves out alone. out may be null.
bool DecodePumpReply(const char *reply, EString *out);
// The text of an error status; "Unknown error" for a status not in the table.
const char *PumpErrorText(char status);
// The reply as the trace shows it: characters below '0' (as signed bytes) other than TAB dropped,
// then the master address and status, when at least three characters remain (else nothing).
std::string PumpTraceReply(const char *reply);

// validateOnly: only the checks that need no motion; nothing is sent that moves the plunger.
bool Dispense_ul(int32_t port, int32_t pump, double ul, EString &error, bool validateOnly);
bool Aspirate_ul(int32_t port, int32_t pump, double ul, EString &error, bool validateOnly);
