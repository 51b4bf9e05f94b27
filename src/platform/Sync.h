#pragma once
// Synchronisation primitives with the millisecond time-outs the system relies on.
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform {

constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// Binary semaphore (initial and maximum count 1). Not owned by a thread: any thread may release.
class BinarySemaphore
{
  public:
    explicit BinarySemaphore(bool available = true);
    // Takes the semaphore; false when it was not free within timeoutMs (kInfinite waits forever).
    bool Wait(uint32_t timeoutMs);
    // Gives it back; releasing a free semaphore leaves it free (the count never exceeds 1).
    void Release();

  private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_available;
};

// Manual-reset or auto-reset event.
class Event
{
  public:
    explicit Event(bool manualReset, bool initiallySet = false);
    void Set();
    void Reset();
    // True when the event was (or became) set within timeoutMs; an auto-reset event is reset
    // again by the one waiter it releases.
    bool Wait(uint32_t timeoutMs);
    bool IsSet();

  private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_manualReset;
    bool m_set;
};

void SleepMs(uint32_t ms);

} // namespace platform
