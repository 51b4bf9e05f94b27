#pragma once
// Local time with milliseconds and a monotonic millisecond tick, both settable by tests.
#include <cstdint>

namespace platform {

struct LocalTime
{
    int year = 0;
    int month = 0;     // 1..12
    int day = 0;       // 1..31
    int dayOfWeek = 0; // 0 = Sunday
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

LocalTime Now();
// Milliseconds from an arbitrary start; only differences mean anything.
uint64_t TickMs();

// Test control: while a fake clock is set, Now() and TickMs() answer from it and only move
// when the test advances them.
void SetFakeClock(const LocalTime &now, uint64_t tickMs = 1000000);
void AdvanceFakeClock(uint64_t ms);
void ClearFakeClock();
bool FakeClockActive();

} // namespace platform
