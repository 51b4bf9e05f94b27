#pragma once
// Runs the operator screen's timers for the window: the window calls Poll on the user-interface
// thread every few milliseconds, and each timer that has fallen due ticks there, except the pump
// watch, whose tick asks the pump over the serial line and therefore runs on a worker of its own;
// the user-interface thread never waits for the pump.
#include <condition_variable>
#include <mutex>
#include <thread>

class CustomerUI;

class CustomerUITicker
{
  public:
    explicit CustomerUITicker(CustomerUI &screen);
    ~CustomerUITicker();
    CustomerUITicker(const CustomerUITicker &) = delete;
    CustomerUITicker &operator=(const CustomerUITicker &) = delete;

    // User-interface thread: ticks the due timers; a pump-watch tick that falls due while the
    // previous one still waits for the pump is dropped.
    void Poll();

  private:
    void Work();

    CustomerUI &m_screen;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_pumpTickQueued = false;
    bool m_pumpTickBusy = false;
    bool m_stop = false;
    std::thread m_worker;
};
