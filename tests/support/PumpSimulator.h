#pragma once
// Two syringe pumps (addresses 1 and 2) behind a pseudo-terminal, speaking the pump protocol: a
// request "/<address><command>\r" gets 0xFF '/' '0' status data ETX CR LF. The pumps move their
// plungers at the set top speed and report busy until the move ends. They answer only when the
// port is set to their own baud, and faults can be injected for the next requests.
#include "support/PtyDeviceSimulator.h"

#include <cstdint>
#include <deque>
#include <string>

namespace vantelis::test {

class PumpSimulator : public PtyDeviceSimulator
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
        Paced,        // the answer goes a byte at a time, 1.04 ms apart, as a 9600-baud line hands it over
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
        std::string configuration = "CENTRIS SIM"; // what "?76" reports
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
    ~PumpSimulator() override;

    // The next count requests meet fault (status for Fault::Status, delayMs for Fault::Late).
    void InjectFault(Fault fault, int count = 1, char status = 0, int delayMs = 0);

    PumpState Pump(int address);
    void SetPump(int address, const PumpState &state);

  private:
    void Handle(const std::string &request, uint64_t nowMs) override;
    // Status and data of a command to one pump (lock held).
    std::string Execute(PumpState &pump, const std::string &command, uint64_t nowMs, char &status);
    static double Position(const PumpState &pump, uint64_t nowMs);
    static void Settle(PumpState &pump, uint64_t nowMs);

    PumpState m_pumps[2];
    std::deque<std::pair<Fault, std::pair<char, int>>> m_faults;
};

} // namespace vantelis::test
