#pragma once
// A motorised stage controller (device 1, axes 1 and 2) behind a pseudo-terminal, speaking the
// stage's text protocol: a request "/<device> <axis> <command>\n" gets "@<device, two digits> <axis>
// OK <IDLE|BUSY> -- <value>\r\n". A move makes its axis answer BUSY to the next status polls (as many
// as set, or until stopped for a velocity move). The stage answers only when the port is set to its
// own baud, and faults can be injected for the next requests.
#include "support/PtyDeviceSimulator.h"

#include <cstdint>
#include <deque>
#include <string>

namespace vantelis::test {

class StageSimulator : public PtyDeviceSimulator
{
  public:
    enum class Fault
    {
        None,
        Silence,      // no answer at all
        Late,         // the answer comes delayMs late
        SplitCrLf,    // CR and LF in separate writes, 60 ms apart
        LfOnly,       // the reply ends with LF alone
        Rejected,     // the reply carries RJ instead of OK
        Overflow,     // 1023 bytes without any terminator
        OtherAddress, // the reply names device 2
        RandomBytes,  // random bytes, ending in CR LF three times in four
        Paced,        // the reply goes a byte at a time, 1.04 ms apart, as a USB serial adapter hands it over
    };

    struct AxisState
    {
        int32_t position = 0;  // steps
        int32_t busyPolls = 0; // status polls still answered BUSY
        bool moving = false;   // a velocity move: BUSY until stopped or homed
        int32_t velocity = 0;  // steps per second of the last velocity move
        int32_t homes = 0;
        int32_t stops = 0;
    };

    explicit StageSimulator(int baud = 115200);
    ~StageSimulator() override;

    // The next count requests meet fault (delayMs for Fault::Late).
    void InjectFault(Fault fault, int count = 1, int delayMs = 0);

    // Axis 1 or 2.
    AxisState Axis(int axis);
    void SetAxis(int axis, const AxisState &state);
    // Status polls a move or homing answers BUSY before the axis is IDLE (default 2); negative:
    // BUSY for ever.
    void SetBusyPollsPerMove(int polls);
    void SetTemperature(const std::string &text);
    void SetDeviceId(uint32_t id);
    void SetSerialNumber(uint32_t number);

  private:
    void Handle(const std::string &request, uint64_t nowMs) override;
    // The reply line of a request to device 1 without its line end (lock held); empty: no answer.
    std::string Execute(const std::string &request);

    AxisState m_axes[2];
    int m_busyPollsPerMove = 2;
    std::string m_temperature = "33.5";
    uint32_t m_deviceId = 30222;
    uint32_t m_serialNumber = 51234;
    std::deque<std::pair<Fault, int>> m_faults;
};

} // namespace vantelis::test
