// Window messages from other threads: a send blocks until the UI thread has
// handled it, also while the UI thread runs a modal loop; posts keep their
// order.
#include "UiTestSupport.h"

#include "platform/Event.h"

#include <atomic>
#include <mutex>
#include <thread>

PELLUMO_UI_TEST_APPLICATION();

namespace {

// A window that notes on which thread it handled each message. It is small:
// Qt's raster engine fills large areas with pooled helper threads of its own
// (not instrumented for ThreadSanitizer), which these tests are not about.
class ThreadWindow : public TestWindow {
public:
    ThreadWindow() { skin = "xmls\\tiny_window.xml"; }
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override
    {
        if (uMsg >= WM_USER) {
            std::lock_guard lock(mutex);
            threads.push_back(std::this_thread::get_id());
            if (uMsg == WM_USER + 7 && closeOnSeven)
                Close(3);
        }
        return TestWindow::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
    }
    std::mutex mutex;
    std::vector<std::thread::id> threads;
    bool closeOnSeven = false;
};

class ThreadTest : public UiTest {};

TEST_F(ThreadTest, SendFromAWorkerWaitsForTheUiThread)
{
    ThreadWindow window;
    open(window);
    std::atomic<bool> returned{false};
    LRESULT result = 0;
    std::thread worker([&] {
        result = platform::SendMessage(window, WM_USER + 1, 99, 0);
        returned = true;
    });
    ASSERT_TRUE(Driver::processEventsUntil([&] { return returned.load(); }));
    worker.join();
    EXPECT_EQ(result, 100);
    ASSERT_EQ(window.threads.size(), 1u);
    EXPECT_EQ(window.threads[0], std::this_thread::get_id()) << "handled on the UI thread";
}

TEST_F(ThreadTest, SendReachesAWindowWhileTheUiThreadSitsInAModalLoop)
{
    ThreadWindow owner;
    open(owner);
    ThreadWindow dialog;
    dialog.closeOnSeven = true;
    ASSERT_NE(dialog.Create(owner, "modal", 0, 0), nullptr);

    platform::Event modalUp(true, false);
    Driver::ModalAnswer answer = Driver::LeaveOpen();
    answer.inspect = [&](CWindowWnd&, CPaintManagerUI&) { modalUp.set(); };
    Driver::answerNextModal(answer);

    LRESULT toOwner = 0, toDialog = 0;
    std::thread worker([&] {
        if (!modalUp.wait(10000))
            return;
        toOwner = platform::SendMessage(owner, WM_USER + 2, 1, 0);
        toDialog = platform::SendMessage(dialog, WM_USER + 7, 5, 0); // closes the dialog
    });
    EXPECT_EQ(dialog.ShowModal(), 3u);
    worker.join();
    EXPECT_EQ(toOwner, 2);
    EXPECT_EQ(toDialog, 6);
    EXPECT_EQ(owner.received.back().message, WM_USER + 2);
}

TEST_F(ThreadTest, PostsFromWorkersKeepEachThreadsOrder)
{
    ThreadWindow window;
    open(window);
    constexpr int kPerThread = 200;
    auto poster = [&](UINT message) {
        for (int i = 0; i < kPerThread; ++i)
            platform::PostMessage(window, message, static_cast<WPARAM>(i), 0);
    };
    std::thread a(poster, WM_USER + 10), b(poster, WM_USER + 20);
    a.join();
    b.join();
    ASSERT_TRUE(Driver::processEventsUntil([&] { return window.received.size() >= 2 * kPerThread; }));
    WPARAM nextA = 0, nextB = 0;
    for (const Received& r : window.received) {
        WPARAM& next = r.message == WM_USER + 10 ? nextA : nextB;
        EXPECT_EQ(r.wParam, next);
        ++next;
    }
    EXPECT_EQ(nextA, static_cast<WPARAM>(kPerThread));
    EXPECT_EQ(nextB, static_cast<WPARAM>(kPerThread));
}

TEST_F(ThreadTest, SendAndPostKeepTheirMutualOrder)
{
    ThreadWindow window;
    open(window);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        platform::PostMessage(window, WM_USER + 1);
        platform::SendMessage(window, WM_USER + 2);
        platform::PostMessage(window, WM_USER + 3);
        done = true;
    });
    ASSERT_TRUE(Driver::processEventsUntil([&] { return done.load() && window.received.size() == 3; }));
    worker.join();
    ASSERT_EQ(window.received.size(), 3u);
    for (UINT i = 0; i < 3; ++i)
        EXPECT_EQ(window.received[i].message, WM_USER + 1 + i);
}

TEST_F(ThreadTest, MessagesToADestroyedWindowAreDropped)
{
    ThreadWindow window;
    open(window);
    window.DestroyWindow();
    Driver::processEvents();
    bool posted = true;
    LRESULT sent = -1;
    // A worker that did not learn of the end in time: nothing reaches the
    // window, and the send does not wait for an answer that never comes.
    std::thread([&] {
        posted = platform::PostMessage(window, WM_USER + 1);
        sent = platform::SendMessage(window, WM_USER + 2, 99, 0);
    }).join();
    Driver::processEvents();
    EXPECT_FALSE(posted);
    EXPECT_EQ(sent, 0);
    EXPECT_TRUE(window.threads.empty());
    // A window created again at the same place gets its messages.
    open(window);
    EXPECT_TRUE(platform::PostMessage(window, WM_USER + 3));
    ASSERT_TRUE(Driver::processEventsUntil([&] { return window.threads.size() == 1; }));
}

TEST_F(ThreadTest, TimersCannotBeSetFromAWorker)
{
    ThreadWindow window;
    open(window);
    bool set = true;
    std::thread([&] { set = window.SetTimer(1, 10); }).join();
    EXPECT_FALSE(set);
}

} // namespace
