#include "platform/Sync.h"

#include <chrono>
#include <thread>

namespace platform {

namespace {

// Waits on cv until ready() holds or timeoutMs passes; the caller holds lock.
template <typename Ready>
bool WaitFor(std::condition_variable &cv, std::unique_lock<std::mutex> &lock, uint32_t timeoutMs, Ready ready)
{
    if (timeoutMs == kInfinite) {
        cv.wait(lock, ready);
        return true;
    }
    return cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
}

} // namespace

BinarySemaphore::BinarySemaphore(bool available) : m_available(available) {}

bool BinarySemaphore::Wait(uint32_t timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!WaitFor(m_cv, lock, timeoutMs, [this] { return m_available; }))
        return false;
    m_available = false;
    return true;
}

void BinarySemaphore::Release()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_available = true;
    }
    m_cv.notify_one();
}

Event::Event(bool manualReset, bool initiallySet) : m_manualReset(manualReset), m_set(initiallySet) {}

void Event::Set()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_set = true;
    }
    // A manual-reset event releases every waiter; an auto-reset one only the first.
    if (m_manualReset)
        m_cv.notify_all();
    else
        m_cv.notify_one();
}

void Event::Reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_set = false;
}

bool Event::Wait(uint32_t timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!WaitFor(m_cv, lock, timeoutMs, [this] { return m_set; }))
        return false;
    if (!m_manualReset)
        m_set = false;
    return true;
}

bool Event::IsSet()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_set;
}

void SleepMs(uint32_t ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace platform
