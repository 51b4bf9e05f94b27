#pragma once
// The shared part of the serial device simulators: a pseudo-terminal whose port side the program
// under test opens, a thread that reads requests "/<text><end>" from it (only while the port is set
// to the device's own baud) and writes the queued answers when they fall due, the request log and
// the seeded random replies.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vantelis::test {

class PtyDeviceSimulator
{
  public:
    PtyDeviceSimulator(const PtyDeviceSimulator &) = delete;
    PtyDeviceSimulator &operator=(const PtyDeviceSimulator &) = delete;

    // Device path of the pseudo-terminal's port side; empty when the terminal could not be made.
    const std::string &PortPath() const { return m_portPath; }

    // Every request from now on gets random bytes (seeded), until turned off.
    void SetRandomReplies(bool on, uint32_t seed = 1);

    // Request texts received (without '/' and the line end), oldest first.
    std::vector<std::string> Requests();
    void ClearRequests();
    // Waits until count late answers were written; false after timeoutMs.
    bool WaitForLateAnswers(int count, int timeoutMs);
    // For durationMs from now the line carries a byte ('~') every everyMs, whatever is asked: a line
    // that never goes quiet.
    void StartNoise(int durationMs, int everyMs);

  protected:
    // baud is the device's own; an unsupported one stands for defaultBaud. A request ends at
    // requestEnd, and a CR before it is dropped.
    PtyDeviceSimulator(int baud, int defaultBaud, char requestEnd);
    virtual ~PtyDeviceSimulator();

    // The derived constructor starts the thread once it is whole, and the derived destructor
    // stops it before its own members go.
    void Start();
    void Stop();

    // Answers one request (takes the lock itself).
    virtual void Handle(const std::string &request, uint64_t nowMs) = 0;

    // The rest run with m_mutex held.
    void LogRequest(const std::string &request) { m_requests.push_back(request); }
    bool RandomReplies() const { return m_random; }
    // The byte spacing of a paced answer: 10 bits at 9600 baud, the pace at which many USB serial
    // adapters hand bytes over whatever the baud.
    static constexpr int kPacedUsPerByte = 1040;
    // Queues bytes to be written at dueMs; a late answer counts for WaitForLateAnswers. With
    // usPerByte the bytes go one at a time that far apart, as a slow line hands them over.
    void Send(std::string bytes, uint64_t dueMs, bool late = false, int usPerByte = 0);
    // Up to 39 random bytes (never NUL), ending in CR LF three times in four.
    std::string RandomBytes();

    // The time the devices run on; tests that stop the program's clock do not stop the devices.
    static uint64_t SteadyMs();

    std::mutex m_mutex;

  private:
    struct Pending
    {
        uint64_t dueMs;
        std::string bytes;
        bool late;
        int usPerByte;
    };
    void Run();
    bool BaudMatches();

    int m_baud;
    int m_defaultBaud;
    char m_requestEnd;
    int m_master = -1;
    int m_port = -1;
    std::string m_portPath;
    std::condition_variable m_changed;
    bool m_random = false;
    uint32_t m_randomState = 1;
    std::vector<std::string> m_requests;
    std::vector<Pending> m_pending;
    int m_lateWritten = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace vantelis::test
