#include "platform/Clock.h"
#include "support/FakeClock.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace platform;

namespace {

// The fields in calendar order, with the day of the week after the date.
LocalTime Make(int year, int month, int day, int dayOfWeek, int hour, int minute, int second, int ms)
{
    return vantelis::test::MakeTime(year, month, day, hour, minute, second, ms, dayOfWeek);
}

void ExpectTime(const LocalTime &actual, const LocalTime &expected)
{
    EXPECT_EQ(actual.year, expected.year);
    EXPECT_EQ(actual.month, expected.month);
    EXPECT_EQ(actual.day, expected.day);
    EXPECT_EQ(actual.dayOfWeek, expected.dayOfWeek);
    EXPECT_EQ(actual.hour, expected.hour);
    EXPECT_EQ(actual.minute, expected.minute);
    EXPECT_EQ(actual.second, expected.second);
    EXPECT_EQ(actual.millisecond, expected.millisecond);
}

using vantelis::test::FakeClockGuard;

} // namespace

TEST(Clock, FakeClockAnswersAndMovesOnlyWhenAdvanced)
{
    FakeClockGuard guard;
    LocalTime start = Make(2023, 6, 14, 3, 9, 30, 15, 250); // a Wednesday
    SetFakeClock(start, 5000);
    EXPECT_TRUE(FakeClockActive());
    ExpectTime(Now(), start);
    EXPECT_EQ(TickMs(), 5000u);
    ExpectTime(Now(), start);
    EXPECT_EQ(TickMs(), 5000u);

    AdvanceFakeClock(1750);
    ExpectTime(Now(), Make(2023, 6, 14, 3, 9, 30, 17, 0));
    EXPECT_EQ(TickMs(), 6750u);

    ClearFakeClock();
    EXPECT_FALSE(FakeClockActive());
    AdvanceFakeClock(1000); // no fake clock: nothing to move
    EXPECT_FALSE(FakeClockActive());
}

TEST(Clock, AdvancingRollsOverCalendarBoundaries)
{
    FakeClockGuard guard;
    const uint64_t second = 1000, minute = 60 * second, hour = 60 * minute, day = 24 * hour;
    struct Case
    {
        LocalTime from;
        uint64_t advance;
        LocalTime to;
    } cases[] = {
        // New Year's Eve 2023 was a Sunday.
        {Make(2023, 12, 31, 0, 23, 59, 59, 999), 1, Make(2024, 1, 1, 1, 0, 0, 0, 0)},
        // 2024 is a leap year: 28 February is followed by 29 February.
        {Make(2024, 2, 28, 3, 12, 0, 0, 0), day, Make(2024, 2, 29, 4, 12, 0, 0, 0)},
        {Make(2023, 2, 28, 2, 12, 0, 0, 0), day, Make(2023, 3, 1, 3, 12, 0, 0, 0)},
        // 1900 was not a leap year, 2000 was.
        {Make(1900, 2, 28, 3, 0, 0, 0, 0), day, Make(1900, 3, 1, 4, 0, 0, 0, 0)},
        {Make(2000, 2, 28, 1, 0, 0, 0, 0), day, Make(2000, 2, 29, 2, 0, 0, 0, 0)},
        // 30 days from 15 January 2024 (Monday) is 14 February 2024 (Wednesday).
        {Make(2024, 1, 15, 1, 8, 0, 0, 0), 30 * day, Make(2024, 2, 14, 3, 8, 0, 0, 0)},
        // 366 days from 1 March 2023 (Wednesday) is 1 March 2024 (Friday).
        {Make(2023, 3, 1, 3, 0, 0, 0, 0), 366 * day, Make(2024, 3, 1, 5, 0, 0, 0, 0)},
        {Make(2023, 4, 30, 0, 22, 45, 10, 500), 2 * hour + 15 * minute + 500,
         Make(2023, 5, 1, 1, 1, 0, 11, 0)},
    };
    for (const Case &c : cases) {
        SetFakeClock(c.from, 0);
        AdvanceFakeClock(c.advance);
        SCOPED_TRACE(std::to_string(c.from.year) + "-" + std::to_string(c.from.month) + "-" +
                     std::to_string(c.from.day) + " + " + std::to_string(c.advance) + " ms");
        ExpectTime(Now(), c.to);
        EXPECT_EQ(TickMs(), c.advance);
    }
}

TEST(Clock, FakeClockIsSafeToAdvanceFromManyThreads)
{
    FakeClockGuard guard;
    SetFakeClock(Make(2024, 1, 1, 1, 0, 0, 0, 0), 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 1000; ++i) {
                AdvanceFakeClock(1);
                (void)Now();
            }
        });
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(TickMs(), 4000u);
    ExpectTime(Now(), Make(2024, 1, 1, 1, 0, 0, 4, 0));
}

TEST(Clock, RealClockGivesValidFieldsAndATickThatNeverGoesBack)
{
    ASSERT_FALSE(FakeClockActive());
    LocalTime t = Now();
    EXPECT_GE(t.year, 2020);
    EXPECT_TRUE(t.month >= 1 && t.month <= 12);
    EXPECT_TRUE(t.day >= 1 && t.day <= 31);
    EXPECT_TRUE(t.dayOfWeek >= 0 && t.dayOfWeek <= 6);
    EXPECT_TRUE(t.hour >= 0 && t.hour <= 23);
    EXPECT_TRUE(t.minute >= 0 && t.minute <= 59);
    EXPECT_TRUE(t.second >= 0 && t.second <= 60);
    EXPECT_TRUE(t.millisecond >= 0 && t.millisecond <= 999);
    uint64_t previous = TickMs();
    for (int i = 0; i < 1000; ++i) {
        uint64_t tick = TickMs();
        ASSERT_GE(tick, previous);
        previous = tick;
    }
}
