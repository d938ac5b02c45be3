#include "platform/Event.h"
#include "platform/CriticalSection.h"
#include "platform/Tick.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using platform::Event;

TEST(Event, AutoResetReleasesOneWaitAndClears)
{
    Event event(false, true);
    EXPECT_TRUE(event.isSignalled());
    EXPECT_TRUE(event.isSignalled()) << "looking must not consume the signal";
    EXPECT_TRUE(event.wait(0));
    EXPECT_FALSE(event.isSignalled());
    EXPECT_FALSE(event.wait(0));
}

TEST(Event, ManualResetStaysSignalledUntilReset)
{
    Event event(true, false);
    EXPECT_FALSE(event.wait(0));
    event.set();
    EXPECT_TRUE(event.wait(0));
    EXPECT_TRUE(event.wait(0));
    event.reset();
    EXPECT_FALSE(event.wait(0));
}

TEST(Event, TimedWaitGivesUpAfterTheTimeout)
{
    Event event;
    const uint32_t start = platform::GetTickCount();
    EXPECT_FALSE(event.wait(50));
    EXPECT_GE(platform::GetTickCount() - start, 45u);
}

TEST(Event, SetFromAnotherThreadWakesTheWaiter)
{
    Event event;
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        event.set();
    });
    EXPECT_TRUE(event.wait(5000));
    setter.join();
}

TEST(Event, ManualResetWakesEveryWaiter)
{
    Event event(true, false);
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i)
        waiters.emplace_back([&] {
            if (event.wait(5000))
                ++woken;
        });
    event.set();
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(woken, 4);
}

TEST(Event, AutoResetWakesExactlyOneWaiterPerSet)
{
    Event event(false, false);
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            if (event.wait(300))
                ++woken;
        });
    event.set();
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(woken, 1);
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads)
{
    platform::CriticalSection section;
    section.enter();
    section.enter(); // the owning thread may enter again
    std::atomic<bool> otherGotIn{false};
    std::thread other([&] { otherGotIn = section.tryEnter(); });
    other.join();
    EXPECT_FALSE(otherGotIn);
    section.leave();
    section.leave();
    std::thread after([&] {
        otherGotIn = section.tryEnter();
        if (otherGotIn)
            section.leave();
    });
    after.join();
    EXPECT_TRUE(otherGotIn);
}

TEST(Tick, DifferencesSurviveWrapAround)
{
    // Callers measure by unsigned subtraction; a start just before the wrap
    // still gives the right elapsed time.
    const uint32_t start = 0xFFFFFF00u;
    const uint32_t now = start + 0x200u;
    EXPECT_EQ(now - start, 0x200u);
    const uint32_t a = platform::GetTickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GE(platform::GetTickCount() - a, 9u);
}
