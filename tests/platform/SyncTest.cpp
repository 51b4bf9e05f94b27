#include "platform/Sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace platform;

TEST(BinarySemaphore, TakenSemaphoreTimesOutAndFreeOneIsTaken)
{
    BinarySemaphore semaphore(true);
    EXPECT_TRUE(semaphore.Wait(0));
    EXPECT_FALSE(semaphore.Wait(0));
    EXPECT_FALSE(semaphore.Wait(20));

    BinarySemaphore taken(false);
    EXPECT_FALSE(taken.Wait(10));
}

TEST(BinarySemaphore, ReleaseFromAnotherThreadWakesTheWaiter)
{
    BinarySemaphore semaphore(false);
    std::atomic<bool> released{false};
    std::atomic<bool> gotItBeforeRelease{false};
    bool result = false;
    std::thread waiter([&] {
        result = semaphore.Wait(kInfinite);
        if (!released)
            gotItBeforeRelease = true;
    });
    SleepMs(20); // give the waiter time to block; the result does not depend on it
    released = true;
    semaphore.Release();
    waiter.join();
    EXPECT_TRUE(result);
    EXPECT_FALSE(gotItBeforeRelease);
    EXPECT_FALSE(semaphore.Wait(0)) << "the waiter holds it now";
}

TEST(BinarySemaphore, CountNeverExceedsOne)
{
    BinarySemaphore semaphore(false);
    semaphore.Release();
    semaphore.Release();
    EXPECT_TRUE(semaphore.Wait(0));
    EXPECT_FALSE(semaphore.Wait(0));
}

TEST(BinarySemaphore, GuardsASharedCounterAcrossThreads)
{
    BinarySemaphore semaphore(true);
    int counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                ASSERT_TRUE(semaphore.Wait(kInfinite));
                ++counter;
                semaphore.Release();
            }
        });
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(counter, 2000);
}

TEST(Event, ManualResetReleasesEveryWaiterAndStaysSet)
{
    Event event(true);
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(event.Wait(10));
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            if (event.Wait(kInfinite))
                ++woken;
        });
    event.Set();
    for (auto &waiter : waiters)
        waiter.join();
    EXPECT_EQ(woken, 3);
    EXPECT_TRUE(event.IsSet());
    EXPECT_TRUE(event.Wait(0));
    event.Reset();
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(event.Wait(0));
}

TEST(Event, AutoResetReleasesOneWaiterPerSet)
{
    Event initiallySet(false, true);
    EXPECT_TRUE(initiallySet.Wait(0));
    EXPECT_FALSE(initiallySet.Wait(0)) << "the wait that succeeded reset it";

    Event event(false);
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 2; ++i)
        waiters.emplace_back([&] {
            if (event.Wait(kInfinite))
                ++woken;
        });
    SleepMs(20); // let both block
    event.Set();
    while (woken.load() == 0)
        SleepMs(1);
    SleepMs(50); // a second waiter would have woken by now if Set released both
    EXPECT_EQ(woken, 1);
    EXPECT_FALSE(event.IsSet());
    event.Set();
    for (auto &waiter : waiters)
        waiter.join();
    EXPECT_EQ(woken, 2);
    EXPECT_FALSE(event.IsSet());
}

TEST(Event, SetBeforeWaitIsNotLost)
{
    Event event(false);
    event.Set();
    bool result = false;
    std::thread waiter([&] { result = event.Wait(kInfinite); });
    waiter.join();
    EXPECT_TRUE(result);
}
