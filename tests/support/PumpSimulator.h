#pragma once
// Two syringe pumps (addresses 1 and 2) behind a pseudo-terminal, speaking the pump protocol: a
// request "/<address><command>\r" gets 0xFF '/' '0' status data ETX CR LF. The pumps move their
// plungers at the set top speed and report busy until the move ends. They answer only when the
// port is set to their own baud, and faults can be injected for the next requests.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vantelis::test {

class PumpSimulator
{
  public:
    enum class Fault
    {
        None,
        Silence,      // no answer at all
        Late,         // the answer comes delayMs late
        SplitCrLf,    // CR and LF in separate writes, 60 ms apart
        LfOnly,       // the frame ends with LF alone
        NoEtx,        // the ETX is missing
        NoFF,         // the leading 0xFF is missing
        Status,       // the answer carries the given status character and no data
        Overflow,     // 1023 bytes without any terminator
        OtherAddress, // the frame names the pump's own address instead of the master's
        RandomBytes,  // random bytes, ending in CR LF three times in four
    };

    struct PumpState
    {
        int32_t capacityUl = 1000;
        double positionUl = 0.0; // volume held
        double topSpeedUlPerSec = 10.0;
        int32_t backlash = 0;
        int32_t rampUp = 14;
        int32_t rampDown = 14;
        double temperatureF = 77.0;
        char valve = 'I';
        char pendingValve = 0;
        bool initialized = true;
        int32_t moves = 0;
        // Motion: from startUl at startMs to targetUl at the set speed.
        double startUl = 0.0;
        double targetUl = 0.0;
        uint64_t startMs = 0;
        bool moving = false;
    };

    explicit PumpSimulator(int baud = 9600);
    ~PumpSimulator();
    PumpSimulator(const PumpSimulator &) = delete;
    PumpSimulator &operator=(const PumpSimulator &) = delete;

    // Device path of the pseudo-terminal's port side; empty when the terminal could not be made.
    const std::string &PortPath() const { return m_portPath; }

    // The next count requests meet fault (status for Fault::Status, delayMs for Fault::Late).
    void InjectFault(Fault fault, int count = 1, char status = 0, int delayMs = 0);
    // Every request from now on gets random bytes (seeded), until turned off.
    void SetRandomReplies(bool on, uint32_t seed = 1);

    PumpState Pump(int address);
    void SetPump(int address, const PumpState &state);
    // Request texts received (address and command, without '/' and CR), oldest first.
    std::vector<std::string> Requests();
    void ClearRequests();
    // Waits until count late answers were written; false after timeoutMs.
    bool WaitForLateAnswers(int count, int timeoutMs);

  private:
    struct Pending
    {
        uint64_t dueMs;
        std::string bytes;
        bool late;
    };
    void Run();
    void Handle(const std::string &request, uint64_t nowMs);
    // Status and data of a command to one pump (lock held).
    std::string Execute(PumpState &pump, const std::string &command, uint64_t nowMs, char &status);
    static double Position(const PumpState &pump, uint64_t nowMs);
    static void Settle(PumpState &pump, uint64_t nowMs);
    bool BaudMatches();

    int m_baud;
    int m_master = -1;
    int m_port = -1;
    std::string m_portPath;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    PumpState m_pumps[2];
    std::deque<std::pair<Fault, std::pair<char, int>>> m_faults;
    bool m_random = false;
    uint32_t m_randomState = 1;
    std::vector<std::string> m_requests;
    std::vector<Pending> m_pending;
    int m_lateWritten = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace vantelis::test
