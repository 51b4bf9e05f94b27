#pragma once
// Local times for the fake clock, and a guard that stops faking the clock when a test ends.
#include "platform/Clock.h"

namespace vantelis::test {

inline platform::LocalTime MakeTime(int year, int month, int day, int hour, int minute, int second,
                                    int ms = 0, int dayOfWeek = 0)
{
    platform::LocalTime t;
    t.year = year;
    t.month = month;
    t.day = day;
    t.dayOfWeek = dayOfWeek;
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    t.millisecond = ms;
    return t;
}

struct FakeClockGuard
{
    ~FakeClockGuard() { platform::ClearFakeClock(); }
};

} // namespace vantelis::test
