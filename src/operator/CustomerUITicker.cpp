#include "operator/CustomerUITicker.h"

#include "operator/CustomerUI.h"

CustomerUITicker::CustomerUITicker(CustomerUI &screen) : m_screen(screen), m_worker([this] { Work(); }) {}

CustomerUITicker::~CustomerUITicker()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_cv.notify_all();
    m_worker.join();
}

void CustomerUITicker::Poll()
{
    for (int32_t id : m_screen.TakeDueTimers()) {
        if (id != CUI_TIMER_PUMP_WATCH) {
            m_screen.OnTimer(id);
            continue;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_pumpTickBusy && !m_pumpTickQueued) {
            m_pumpTickQueued = true;
            m_cv.notify_all();
        }
    }
}

void CustomerUITicker::Work()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_cv.wait(lock, [this] { return m_stop || m_pumpTickQueued; });
        if (m_stop)
            return;
        m_pumpTickQueued = false;
        m_pumpTickBusy = true;
        lock.unlock();
        m_screen.OnTimer(CUI_TIMER_PUMP_WATCH);
        lock.lock();
        m_pumpTickBusy = false;
    }
}
