#include "platform/Clock.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <mutex>

namespace platform {

namespace {

struct FakeClock
{
    std::mutex mutex;
    bool active = false;
    LocalTime now;
    uint64_t tickMs = 0;
};

FakeClock &Fake()
{
    static FakeClock clock;
    return clock;
}

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 31;
    if (month == 2 && IsLeapYear(year))
        return 29;
    return days[month - 1];
}

// Moves a fake local time forward by ms, rolling over seconds, days, months and years. The
// day of the week follows the days. Daylight-saving changes are not modelled: the fake clock is
// a plain calendar.
void AddMs(LocalTime &t, uint64_t ms)
{
    uint64_t total = static_cast<uint64_t>(t.millisecond) + ms;
    t.millisecond = static_cast<int>(total % 1000);
    total = total / 1000 + static_cast<uint64_t>(t.second);
    t.second = static_cast<int>(total % 60);
    total = total / 60 + static_cast<uint64_t>(t.minute);
    t.minute = static_cast<int>(total % 60);
    total = total / 60 + static_cast<uint64_t>(t.hour);
    t.hour = static_cast<int>(total % 24);
    uint64_t days = total / 24;
    t.dayOfWeek = static_cast<int>((static_cast<uint64_t>(t.dayOfWeek) + days) % 7);
    while (days > 0) {
        int left = std::max(0, DaysInMonth(t.year, t.month) - t.day); // days until the month's last day
        if (days <= static_cast<uint64_t>(left)) {
            t.day += static_cast<int>(days);
            break;
        }
        days -= static_cast<uint64_t>(left) + 1;
        t.day = 1;
        if (++t.month > 12) {
            t.month = 1;
            ++t.year;
        }
    }
}

} // namespace

LocalTime Now()
{
    {
        FakeClock &fake = Fake();
        std::lock_guard<std::mutex> lock(fake.mutex);
        if (fake.active)
            return fake.now;
    }
    auto now = std::chrono::system_clock::now();
    auto sinceEpoch = now.time_since_epoch();
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count() % 1000;
    if (ms < 0)
        ms += 1000;
    std::tm tm{};
    localtime_r(&seconds, &tm);
    LocalTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.dayOfWeek = tm.tm_wday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    t.millisecond = static_cast<int>(ms);
    return t;
}

uint64_t TickMs()
{
    {
        FakeClock &fake = Fake();
        std::lock_guard<std::mutex> lock(fake.mutex);
        if (fake.active)
            return fake.tickMs;
    }
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

void SetFakeClock(const LocalTime &now, uint64_t tickMs)
{
    FakeClock &fake = Fake();
    std::lock_guard<std::mutex> lock(fake.mutex);
    fake.active = true;
    fake.now = now;
    fake.tickMs = tickMs;
}

void AdvanceFakeClock(uint64_t ms)
{
    FakeClock &fake = Fake();
    std::lock_guard<std::mutex> lock(fake.mutex);
    if (!fake.active)
        return;
    AddMs(fake.now, ms);
    fake.tickMs += ms;
}

void ClearFakeClock()
{
    FakeClock &fake = Fake();
    std::lock_guard<std::mutex> lock(fake.mutex);
    fake.active = false;
}

bool FakeClockActive()
{
    FakeClock &fake = Fake();
    std::lock_guard<std::mutex> lock(fake.mutex);
    return fake.active;
}

} // namespace platform
