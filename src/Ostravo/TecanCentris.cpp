#include "Ostravo/TecanCentris.h"

#include "Ostravo/LogError.h"
#include "Ostravo/SerialPort.h"
#include "Ostravo/TextFormat.h"
#include "platform/Clock.h"
#include "platform/Sync.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

std::atomic<uint16_t> TecanCentris::MinTimeBetweenCommandsMs{0};
std::atomic<uint64_t> TecanCentris::LastCommandTime{0};
std::atomic<TecanCentris::TraceFn> TecanCentris::TraceCallback{nullptr};
std::atomic<char> TecanCentris::LastValvePosition[2] = {' ', ' '};
std::atomic<double> TecanCentris::LastTopSpeed_ulpmin[2] = {0.0, 0.0};

namespace {

constexpr int kAttempts = 4;
constexpr uint32_t kLockWaitMs = 30000;
constexpr uint32_t kRetryPauseMs = 1000;
constexpr uint32_t kSettlePauseMs = 300;
constexpr int32_t kReopenBaud = 9600;
constexpr char kEtx = 0x03;

std::atomic<uint32_t> g_retryPauseMs{kRetryPauseMs};

// Serialises every pump command of every thread. Made once with the program, so two threads
// sending their first command together cannot make two locks.
platform::BinarySemaphore &PumpLock()
{
    static platform::BinarySemaphore lock(true);
    return lock;
}

long L(int32_t v)
{
    return static_cast<long>(v);
}
unsigned long UL(int32_t v)
{
    return static_cast<unsigned long>(static_cast<uint32_t>(v));
}

std::string Fd(double value)
{
    char text[32];
    return FormatDouble(value, text);
}

bool Valid(int32_t pump)
{
    return pump == 1 || pump == 2;
}

bool SendValve(int32_t port, int32_t pump, const char *letter, char position, EString &error)
{
    EString data;
    if (!TecanCentris::SendCommand(port, pump, letter, TecanCentris::kCommandTimeoutMs, data, error))
        return false;
    EString data2;
    if (!TecanCentris::SendCommand(port, pump, "R", TecanCentris::kCommandTimeoutMs, data2, error))
        return false;
    if (Valid(pump))
        TecanCentris::LastValvePosition[pump - 1] = position;
    return true;
}

bool SendSimple(int32_t port, int32_t pump, const char *command, EString &error)
{
    EString data;
    return TecanCentris::SendCommand(port, pump, command, TecanCentris::kCommandTimeoutMs, data, error);
}

// 0xFF '/' '0' status, data, ETX CR LF.
bool WellFramed(const char *reply)
{
    if (!reply)
        return false;
    const size_t n = std::strlen(reply);
    return n >= 6 && static_cast<unsigned char>(reply[0]) == 0xFF && reply[1] == '/' && reply[2] == '0' &&
           reply[n - 3] == kEtx && reply[n - 2] == '\r' && reply[n - 1] == '\n';
}

} // namespace

const char *PumpErrorText(char status)
{
    switch (status) {
    case 'A':
        return "Initialization error";
    case 'B':
        return "Invalid command";
    case 'C':
        return "Invalid parameter";
    case 'G':
        return "Device not yet initialized";
    case 'H':
        return "Valve not configured";
    case 'J':
        return "Valve overload";
    case 'M':
        return "FRAM access error";
    case 'O':
        return "Command overflow";
    case 'P':
        return "Command not implemented";
    case 'Q':
        return "FRAM or boot code checksum failure";
    case 'R':
        return "Too many loops or loop comand nestiner error";
    case 'S':
        return "Internal command execution error";
    case 'T':
        return "Power-on self test fail";
    case 'U':
        return "Watchdog reset";
    case 'V':
        return "Low voltage";
    case 'W':
        return "Boot code checksum failure";
    case 'h':
        return "Valve move terminated";
    case 'i':
        return "No valve steps detected";
    case 'j':
        return "Step loss detected";
    case 'k':
        return "Valve Index slot error";
    case 'l':
        return "Valve drive reference voltage check failure";
    case 'm':
        return "Valve diagnostic error";
    default:
        return "Unknown error";
    }
}

bool DecodePumpReply(const char *reply, EString *out)
{
    if (!WellFramed(reply))
        return false;
    const size_t n = std::strlen(reply);
    const char status = reply[3];
    if (status == '@' || status == '`' || status == 'b' || status == 'c' || status == 'g') {
        if (out)
            out->Assign(std::string(reply + 4, n - 7).c_str());
        return true;
    }
    if (out)
        out->Assign(PumpErrorText(status));
    return false;
}

std::string PumpTraceReply(const char *reply)
{
    std::string kept;
    for (const char *p = reply ? reply : ""; *p; ++p) {
        // Compared as signed bytes whatever the platform's char, so 0xFF and every byte above 0x7F
        // go with the frame characters.
        const signed char c = static_cast<signed char>(*p);
        if (c >= '0' || c == '\t')
            kept += *p;
    }
    return kept.size() >= 3 ? kept.substr(2) : std::string();
}

void TecanCentris::SetRetryPauseForTesting(uint32_t ms)
{
    g_retryPauseMs = ms == 0 ? kRetryPauseMs : ms;
}

bool TecanCentris::SendCommand(int32_t port, int32_t pump, const char *command, int32_t timeoutMs,
                               EString &data, EString &error)
{
    if (!command)
        command = "";
    const uint64_t t0 = platform::TickMs();
    uint64_t lockWait = 0, imposedSleep = 0, sendTime = 0;
    int32_t attempts = 0, portReset = 0;
    bool result = false;
    EString reply;

    if (!PumpLock().Wait(kLockWaitMs)) {
        error.Assign("TecanCentris::SendCommand() : Timeout after waiting 30 seconds to send a command.");
    } else {
        const uint64_t locked = platform::TickMs();
        lockWait = locked - t0;
        const uint64_t last = LastCommandTime.load();
        const uint64_t gap = MinTimeBetweenCommandsMs.load();
        if (last != 0 && gap > 0 && locked - last < gap) {
            imposedSleep = gap - (locked - last);
            platform::SleepMs(static_cast<uint32_t>(imposedSleep));
        }
        const std::string framed = FormatText("/%ld%s\r", L(pump), command);
        if (!Valid(pump)) {
            error.Assign(
                FormatText("TecanCentris::SendCommand () : Invalid ipump=%lu : must be 1 or 2", UL(pump))
                    .c_str());
        } else if (port < 1 || port > 100) {
            error.Assign(FormatText("TecanCentris::SendCommand () : Invalid com_port=%lu : must be 1 and 100",
                                    UL(port))
                             .c_str());
        } else if (framed.size() > static_cast<size_t>(kMaxFramedLength)) {
            // The pumps take no longer frame; refused rather than cut short.
            error.Assign(
                FormatText("TecanCentris::SendCommand () : com_port=%ld pump=%ld command=%s is longer than "
                           "%ld characters when framed",
                           L(port), L(pump), command, L(kMaxFramedLength))
                    .c_str());
        } else {
            const uint32_t budget = timeoutMs > 0 ? static_cast<uint32_t>(timeoutMs) : 0;
            const uint64_t t2 = platform::TickMs();
            bool sent = false;
            while (!sent && attempts < kAttempts) {
                // The pause also reads away a late reply to the failed attempt, so the next
                // attempt rarely has to wait for the line to go quiet.
                if (attempts > 0)
                    SerialPauseDiscardingInput(port, g_retryPauseMs.load());
                ++attempts;
                sent = SerialSendReceive(port, framed.c_str(), '\r', reply, budget, '\n');
            }
            const uint64_t t3 = platform::TickMs();
            sendTime = t3 - t2;
            LastCommandTime = t3 != 0 ? t3 : 1;
            if (!sent) {
                error.Assign(
                    FormatText("TecanCentris::SendCommand () : error sending command to com port: %lu",
                               UL(port))
                        .c_str());
                LogError(__FILE_NAME__, __LINE__, error.c_str());
                // Re-opened, the port still waits out a late reply to the last attempt before
                // the next command goes out.
                EString ignored;
                ReopenSerialPort(static_cast<uint32_t>(port), kReopenBaud, ignored);
                portReset = 1;
            } else {
                // Decoded apart from data, so a malformed frame cannot pass off what the caller
                // had in data as the pump's error.
                EString decoded;
                const bool framed_ok = WellFramed(reply.c_str());
                result = DecodePumpReply(reply.c_str(), &decoded);
                if (result || framed_ok)
                    data = decoded;
                if (!result) {
                    if (framed_ok)
                        error.Assign(
                            FormatText("TecanCentris::SendCommand () : com_port=%ld pump=%ld command=%s "
                                       "error: %s",
                                       L(port), L(pump), command, decoded.c_str())
                                .c_str());
                    else
                        error.Assign(
                            FormatText("TecanCentris::SendCommand () : com_port=%ld pump=%ld command=%s "
                                       "command sent but no valid response received before timeout of %ld ms",
                                       L(port), L(pump), command, L(timeoutMs))
                                .c_str());
                }
            }
        }
        PumpLock().Release();
    }

    if (TraceFn trace = TraceCallback.load()) {
        const std::string line = FormatText(
            "%llu\t%llu\t%llu\t%llu\t%ld\t%ld\t%s\t%ld\t%ld\t%s\t%s",
            static_cast<unsigned long long>(platform::TickMs() - t0),
            static_cast<unsigned long long>(lockWait), static_cast<unsigned long long>(imposedSleep),
            static_cast<unsigned long long>(sendTime), L(attempts), L(portReset), command, L(port), L(pump),
            PumpTraceReply(reply.c_str()).c_str(), error.c_str());
        trace(line.c_str());
    }
    return result;
}

bool TecanCentris::QueryLong(int32_t port, int32_t pump, const char *query, int32_t &value, EString &error)
{
    EString data;
    if (!SendCommand(port, pump, query, kQueryTimeoutMs, data, error))
        return false;
    long parsed = 0;
    if (std::sscanf(data.c_str(), "%ld", &parsed) != 1) {
        error.Assign((std::string("TecanCentris::SendCommand(") + (query ? query : "") +
                      ") : invalid resonse : " + data.c_str())
                         .c_str());
        return false;
    }
    value = static_cast<int32_t>(parsed);
    return true;
}

bool TecanCentris::QueryDouble(int32_t port, int32_t pump, const char *query, double &value, EString &error)
{
    EString data;
    if (!SendCommand(port, pump, query, kQueryTimeoutMs, data, error))
        return false;
    double parsed = 0.0;
    if (std::sscanf(data.c_str(), "%lf", &parsed) != 1) {
        error.Assign((std::string("TecanCentris::SendCommand(") + (query ? query : "") +
                      ") : invalid resonse : " + data.c_str())
                         .c_str());
        return false;
    }
    value = parsed;
    return true;
}

bool TecanCentris::QueryReport(int32_t port, int32_t pump, uint32_t number, EString &reply, EString &error)
{
    const std::string query = FormatText("?%lu", static_cast<unsigned long>(number));
    EString data;
    if (!SendCommand(port, pump, query.c_str(), kQueryTimeoutMs, data, error))
        return false;
    reply = data;
    return true;
}

bool TecanCentris::Initialize(int32_t port, int32_t pump, EString &error)
{
    return SendSimple(port, pump, "ZR", error);
}

bool TecanCentris::SetBacklash(int32_t port, int32_t pump, uint32_t steps, EString &error)
{
    const std::string command = FormatText("K%luR", static_cast<unsigned long>(steps));
    if (!SendSimple(port, pump, command.c_str(), error) || !SendSimple(port, pump, "iR", error) ||
        !SendSimple(port, pump, "!R", error))
        return false;
    // The pump stores the setting before it takes the next command.
    platform::SleepMs(kSettlePauseMs);
    return true;
}

bool TecanCentris::SetAccelerationRate(int32_t port, int32_t pump, uint32_t rampUp, uint32_t rampDown,
                                       EString &error)
{
    const std::string command =
        FormatText("L%ld,%ldR", static_cast<long>(rampUp), static_cast<long>(rampDown));
    EString ignored;
    SendSimple(port, pump, command.c_str(), ignored); // the read-back below decides
    if (!SendSimple(port, pump, "iR", error) || !SendSimple(port, pump, "!R", error))
        return false;
    platform::SleepMs(kSettlePauseMs);
    int32_t up = 0, down = 0;
    EString queryError;
    if (!QueryLong(port, pump, "?9", up, queryError) || !QueryLong(port, pump, "?10", down, queryError)) {
        error.Assign((std::string("TecanCentris::SetAccelerationRate() :") + queryError.c_str()).c_str());
        return false;
    }
    if (static_cast<uint32_t>(up) != rampUp) {
        error.Assign(
            FormatText("TecanCentris::SetAccelerationRate() : assigned ramp_up=%lu read back ramp_up=%lu",
                       static_cast<unsigned long>(rampUp), UL(up))
                .c_str());
        return false;
    }
    if (static_cast<uint32_t>(down) != rampDown) {
        error.Assign(
            FormatText("TecanCentris::SetAccelerationRate() : assigned ramp_down=%lu read back ramp_down=%lu",
                       static_cast<unsigned long>(rampDown), UL(down))
                .c_str());
        return false;
    }
    return true;
}

bool TecanCentris::SetTopSpeed_ulpmin(int32_t port, int32_t pump, double ulPerMin, EString &error)
{
    const std::string command = FormatText("V%5.3lf,1R", ulPerMin / 60.0);
    if (!SendSimple(port, pump, command.c_str(), error))
        return false;
    if (Valid(pump))
        LastTopSpeed_ulpmin[pump - 1] = ulPerMin;
    return true;
}

bool TecanCentris::SetValveBypass(int32_t port, int32_t pump, EString &error)
{
    return SendValve(port, pump, "B", 'B', error);
}

bool TecanCentris::SetValveInput(int32_t port, int32_t pump, EString &error)
{
    return SendValve(port, pump, "I", 'I', error);
}

bool TecanCentris::SetValveOutput(int32_t port, int32_t pump, EString &error)
{
    return SendValve(port, pump, "O", 'O', error);
}

bool TecanCentris::MoveToVolume_ul(int32_t port, int32_t pump, double ul, EString &error)
{
    return SendSimple(port, pump, FormatText("A%5.3lf,1R", ul).c_str(), error);
}

bool TecanCentris::Terminate(int32_t port, int32_t pump, EString &error)
{
    return SendSimple(port, pump, "T", error);
}

bool TecanCentris::ResetPump(int32_t port, int32_t pump, EString &error)
{
    return SendSimple(port, pump, "!R", error);
}

bool TecanCentris::SetSyringeVolume(int32_t port, int32_t pump, int32_t ul, EString &error)
{
    static const struct
    {
        int32_t ul;
        int32_t code;
    } codes[] = {{50, 93},   {100, 94},  {250, 90},  {500, 95},  {1000, 96},
                 {1250, 91}, {2500, 97}, {5000, 92}, {12500, 98}};
    for (const auto &entry : codes)
        if (entry.ul == ul)
            return SendSimple(port, pump, FormatText("U%ld", L(entry.code)).c_str(), error);
    error.Assign(FormatText("TecanCentris::SetSyringeVolume () Unknown volume value: %lu", UL(ul)).c_str());
    return false;
}

bool TecanCentris::TerminateBusyPumps(int32_t port, EString &error)
{
    error.Assign("");
    EString texts[2];
    for (int32_t pump = 1; pump <= 2; ++pump) {
        EString data;
        if (SendCommand(port, pump, "?29", kQueryTimeoutMs, data, texts[pump - 1]) &&
            std::strcmp(data.c_str(), "0") != 0)
            Terminate(port, pump, texts[pump - 1]);
    }
    std::string combined = texts[0].c_str();
    if (texts[1].IsNonEmpty())
        combined += (combined.empty() ? "" : " : ") + std::string(texts[1].c_str());
    error.Assign(combined.c_str());
    return combined.empty();
}

bool TecanCentris::GetTemperature(int32_t port, double &pump1C, double &pump2C, EString &error)
{
    double fahrenheit[2] = {0.0, 0.0};
    for (int32_t pump = 1; pump <= 2; ++pump) {
        EString data;
        if (!SendCommand(port, pump, "?53", kQueryTimeoutMs, data, error))
            return false;
        if (std::sscanf(data.c_str(), "%lf", &fahrenheit[pump - 1]) != 1) {
            error.Assign(
                FormatText("TecanCentris::GetTemperature() Invalid response to command: ?53 for pump%ld: %s",
                           L(pump), data.c_str())
                    .c_str());
            return false;
        }
    }
    // One decimal, halves away from zero.
    auto celsius = [](double f) { return std::round((f - 32.0) * 5.0 / 9.0 * 10.0) / 10.0; };
    pump1C = celsius(fahrenheit[0]);
    pump2C = celsius(fahrenheit[1]);
    return true;
}

bool TecanCentris::SetMinimumTimeBetweenCommands(uint16_t gapMs, EString &error)
{
    if (gapMs > 1000) {
        error.Assign(FormatText("TecanCentris::SetMinimumTimeBetweenCommands (%lu) maximum delay is 1000 ms",
                                static_cast<unsigned long>(gapMs))
                         .c_str());
        return false;
    }
    MinTimeBetweenCommandsMs = gapMs;
    return true;
}

bool Dispense_ul(int32_t port, int32_t pump, double ul, EString &error, bool validateOnly)
{
    if (validateOnly)
        return true;
    double aspirated = 0.0;
    if (!TecanCentris::QueryDouble(port, pump, "?18", aspirated, error))
        return false;
    if (ul > aspirated) {
        error.Assign(("Dispense_ul (" + Fd(ul) +
                      ") : Invalid dispense, current aspirated volume is too small : " + Fd(aspirated) +
                      " ul")
                         .c_str());
        return false;
    }
    return SendSimple(port, pump, FormatText("D%5.3lf,1R", ul).c_str(), error);
}

bool Aspirate_ul(int32_t port, int32_t pump, double ul, EString &error, bool validateOnly)
{
    int32_t capacity = 0;
    if (!TecanCentris::QueryLong(port, pump, "?17", capacity, error))
        return false;
    auto refuse = [&] {
        error.Assign(("Aspirate_ul (" + Fd(ul) + ") : Invalid aspirate, will exceed syringe capacity : " +
                      FormatText("%lu", UL(capacity)) + " ul")
                         .c_str());
        return false;
    };
    if (ul > capacity)
        return refuse();
    if (validateOnly)
        return true;
    double aspirated = 0.0;
    if (!TecanCentris::QueryDouble(port, pump, "?18", aspirated, error))
        return false;
    if (ul + aspirated > capacity)
        return refuse();
    return SendSimple(port, pump, ("P" + Fd(ul) + ",1R").c_str(), error);
}
