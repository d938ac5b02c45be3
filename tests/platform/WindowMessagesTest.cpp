#include "platform/WindowMessages.h"
#include "platform/QueueDispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

using namespace platform;

namespace {
// Records every message with the thread it was handled on.
class RecordingWindow : public MessageHandler {
public:
    struct Received {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        std::thread::id thread;
    };
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        std::lock_guard lock(mutex);
        received.push_back({message, wParam, lParam, std::this_thread::get_id()});
        return static_cast<LRESULT>(wParam) * 2;
    }
    std::vector<Received> snapshot()
    {
        std::lock_guard lock(mutex);
        return received;
    }
    std::mutex mutex;
    std::vector<Received> received;
};

// Installs a dispatcher for the duration of one test.
class InstalledDispatcher : public ::testing::Test {
protected:
    void SetUp() override { setMessageDispatcher(&dispatcher); }
    void TearDown() override { setMessageDispatcher(nullptr); }
    QueueDispatcher dispatcher;
    RecordingWindow window;
};
} // namespace

TEST(WindowMessages, WithoutDispatcherSendCallsDirectlyAndPostFails)
{
    RecordingWindow window;
    EXPECT_EQ(SendMessage(&window, WM_USER + 110, 21, 0), 42);
    EXPECT_FALSE(PostMessage(&window, WM_USER + 1));
    EXPECT_EQ(SendMessage(nullptr, WM_USER), 0);
    ASSERT_EQ(window.received.size(), 1u);
    EXPECT_EQ(window.received[0].message, WM_USER + 110u);
}

TEST_F(InstalledDispatcher, SendOnTheOwningThreadIsHandledAtOnce)
{
    EXPECT_EQ(SendMessage(&window, WM_USER + 113, 5, 1), 10);
    ASSERT_EQ(window.snapshot().size(), 1u);
    EXPECT_EQ(window.snapshot()[0].thread, std::this_thread::get_id());
}

TEST_F(InstalledDispatcher, SendFromAWorkerBlocksUntilTheOwnerHandlesIt)
{
    std::atomic<bool> returned{false};
    LRESULT result = 0;
    std::thread worker([&] {
        result = SendMessage(&window, WM_USER + 111, 7, 0);
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned) << "send must wait for the window's thread";
    EXPECT_TRUE(window.snapshot().empty());
    while (!returned)
        dispatcher.pumpFor(10);
    worker.join();
    EXPECT_EQ(result, 14);
    ASSERT_EQ(window.snapshot().size(), 1u);
    EXPECT_EQ(window.snapshot()[0].thread, std::this_thread::get_id());
}

TEST_F(InstalledDispatcher, PostedMessagesArriveInOrderOnThePumpingThread)
{
    std::thread worker([&] {
        for (WPARAM i = 0; i < 100; ++i)
            ASSERT_TRUE(PostMessage(&window, WM_USER + 1, i));
    });
    worker.join();
    EXPECT_TRUE(window.snapshot().empty()) << "posting must not handle anything";
    EXPECT_EQ(dispatcher.pump(), 100);
    const auto received = window.snapshot();
    ASSERT_EQ(received.size(), 100u);
    for (WPARAM i = 0; i < 100; ++i)
        EXPECT_EQ(received[i].wParam, i);
}

TEST_F(InstalledDispatcher, DiscardReleasesBlockedSendersOfAVanishingWindow)
{
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        EXPECT_EQ(SendMessage(&window, WM_USER + 112, 3), 0);
        returned = true;
    });
    while (!returned) {
        dispatcher.discard(&window);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    worker.join();
    EXPECT_TRUE(window.snapshot().empty());
}

TEST_F(InstalledDispatcher, ManyWorkersSendingConcurrentlyAllGetTheirAnswers)
{
    constexpr int kWorkers = 4, kEach = 50;
    std::atomic<int> done{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w)
        workers.emplace_back([&, w] {
            for (int i = 0; i < kEach; ++i)
                EXPECT_EQ(SendMessage(&window, WM_USER, w * 1000 + i), 2 * (w * 1000 + i));
            ++done;
        });
    while (done < kWorkers)
        dispatcher.pumpFor(5);
    for (auto& t : workers)
        t.join();
    EXPECT_EQ(window.snapshot().size(), static_cast<size_t>(kWorkers * kEach));
}
