// Windows: message delivery, timers, keys, closing, modal loops, the frame.
#include "UiTestSupport.h"

#include "ui/FileDialog.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <pthread.h>
#include <thread>

namespace {

class WindowTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        open(window);
        window.notes.clear();
    }
    std::vector<UINT> userMessages() const
    {
        std::vector<UINT> out;
        for (auto& r : window.received)
            if (r.message >= WM_USER)
                out.push_back(r.message - WM_USER);
        return out;
    }
    TestWindow window;
    Driver ui{window};
};

TEST_F(WindowTest, PostedMessagesArriveLaterAndInOrder)
{
    for (UINT i = 1; i <= 5; ++i)
        ASSERT_TRUE(platform::PostMessage(window, WM_USER + i, i, 0));
    EXPECT_TRUE(userMessages().empty()) << "posting does not call the window";
    Driver::processEvents();
    EXPECT_EQ(userMessages(), (std::vector<UINT>{1, 2, 3, 4, 5}));
}

TEST_F(WindowTest, SendOnTheUiThreadCallsTheWindowAtOnce)
{
    EXPECT_EQ(platform::SendMessage(window, WM_USER + 9, 41, 0), 42);
    EXPECT_EQ(userMessages(), (std::vector<UINT>{9}));
}

TEST_F(WindowTest, TimersTickAsWmTimerUntilKilled)
{
    ASSERT_TRUE(window.SetTimer(1001, 10));
    auto ticks = [&] {
        int n = 0;
        for (auto& r : window.received)
            n += r.message == WM_TIMER && r.wParam == 1001;
        return n;
    };
    ASSERT_TRUE(Driver::processEventsUntil([&] { return ticks() >= 2; }));
    window.KillTimer(1001);
    const int after = ticks();
    ui::Application::processEventsFor(50);
    EXPECT_EQ(ticks(), after);
}

TEST_F(WindowTest, DestroyingAWindowDropsItsMessagesAndTimers)
{
    auto* doomed = new TestWindow;
    open(*doomed);
    ASSERT_TRUE(doomed->SetTimer(5, 1));
    ASSERT_TRUE(platform::PostMessage(*doomed, WM_USER + 1));
    doomed->DestroyWindow();
    EXPECT_TRUE(doomed->destroyed);
    EXPECT_FALSE(doomed->IsWindow());
    delete doomed; // a queued message or tick for it would now be a use after free
    ui::Application::processEventsFor(30);
}

TEST_F(WindowTest, KeysReachTheDefaultKeyHookThenOnKeyDown)
{
    ASSERT_TRUE(ui.pressKey(VK_F9));
    ASSERT_TRUE(ui.pressKey(VK_RETURN));
    EXPECT_EQ(window.defaultKeys, (std::vector<WPARAM>{VK_RETURN}));
    EXPECT_EQ(window.keys, (std::vector<WPARAM>{VK_F9, VK_RETURN}));

    window.consumeDefaultKeys = true;
    ASSERT_TRUE(ui.pressKey(VK_ESCAPE));
    EXPECT_EQ(window.keys.size(), 2u) << "a consumed Escape does not reach OnKeyDown";
    EXPECT_EQ(window.defaultKeys.back(), VK_ESCAPE);
}

TEST_F(WindowTest, KeysCarryTheirModifiersAndATextBoxKeepsWhatItTakes)
{
    // A text box has the focus: + is typed into it and never arrives; keys it
    // lets pass (Ctrl+0; Ctrl+E where the platform gives the box no end-of-line
    // binding) arrive marked as the box's, so no window shortcut takes them.
    ASSERT_TRUE(ui.typeText("edit_name", "ab"));
    window.keys.clear();
    window.keyStates.clear();
    ASSERT_TRUE(ui.pressKey(VK_OEM_PLUS));
    EXPECT_TRUE(window.keys.empty());
    EXPECT_EQ(window.find<CEditUI>("edit_name")->GetText(), "ab+");
    ASSERT_TRUE(ui.pressKey('E', KEYSTATE_CONTROL));
    ASSERT_TRUE(ui.pressKey('0', KEYSTATE_CONTROL));
    ASSERT_FALSE(window.keys.empty());
    EXPECT_EQ(window.keys.back(), WPARAM('0'));
    EXPECT_EQ(window.keyStates.back(), KEYSTATE_CONTROL | KEYSTATE_TEXT_FOCUS);
    for (LPARAM state : window.keyStates)
        EXPECT_FALSE(KeyIsFree(state));

    // Elsewhere the same key is free and keeps its modifiers; a held key is
    // released when the driver lets it go.
    window.find<CButtonUI>("btn_plain")->SetFocus();
    Driver::processEvents();
    ASSERT_TRUE(ui.pressKey('0', KEYSTATE_CONTROL | KEYSTATE_SHIFT));
    EXPECT_EQ(window.keyStates.back(), KEYSTATE_CONTROL | KEYSTATE_SHIFT);
    EXPECT_TRUE(KeyIsFree(window.keyStates.back()));
    ASSERT_TRUE(ui.keyDown(VK_F9));
    EXPECT_EQ(std::count(window.releasedKeys.begin(), window.releasedKeys.end(), VK_F9), 0);
    ASSERT_TRUE(ui.keyUp(VK_F9));
    EXPECT_EQ(std::count(window.releasedKeys.begin(), window.releasedKeys.end(), VK_F9), 1);
}

TEST_F(WindowTest, CloseHandlerMayKeepTheWindowOpen)
{
    window.keepOpen = true;
    ASSERT_TRUE(ui.closeWindow());
    Driver::processEvents();
    EXPECT_EQ(window.closeRequests, 1);
    EXPECT_TRUE(window.IsWindow());

    window.keepOpen = false;
    ASSERT_TRUE(ui.click("closebtn"));
    Driver::processEvents();
    EXPECT_EQ(window.closeRequests, 2);
    EXPECT_FALSE(window.IsWindow());
    EXPECT_TRUE(window.destroyed);
}

TEST_F(WindowTest, ShowModalReturnsTheCodeGivenToClose)
{
    TestWindow dialog;
    ASSERT_NE(dialog.Create(window, "modal", 0, 0), nullptr);
    Driver::answerNextModal(Driver::LeaveOpen());
    platform::PostMessage(dialog, WM_USER + 50); // handled inside the modal loop
    dialog.Close(7);
    EXPECT_EQ(dialog.ShowModal(), 7u);
    EXPECT_FALSE(dialog.IsWindow());
    ASSERT_FALSE(dialog.received.empty());
    EXPECT_EQ(dialog.received[0].message, WM_USER + 50);
    EXPECT_TRUE(window.IsWindow()) << "the owner stays";
}

TEST_F(WindowTest, CaptionDragsExceptOverButtonsAndBordersResize)
{
    RECT rc;
    ASSERT_TRUE(window.GetWindowRect(rc));
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    EXPECT_EQ(window.HitTest({100, 15}), HTCAPTION);
    const RECT close = window.pm().FindControl("closebtn")->GetPos();
    EXPECT_EQ(window.HitTest({close.left + 5, close.top + 10}), HTCLIENT);
    EXPECT_EQ(window.HitTest({1, 1}), HTTOPLEFT);
    EXPECT_EQ(window.HitTest({w - 1, 1}), HTTOPRIGHT);
    EXPECT_EQ(window.HitTest({1, h - 1}), HTBOTTOMLEFT);
    EXPECT_EQ(window.HitTest({w - 1, h - 1}), HTBOTTOMRIGHT);
    EXPECT_EQ(window.HitTest({w / 2, 2}), HTTOP);
    EXPECT_EQ(window.HitTest({w / 2, h - 2}), HTBOTTOM);
    EXPECT_EQ(window.HitTest({2, h / 2}), HTLEFT);
    EXPECT_EQ(window.HitTest({w - 2, h / 2}), HTRIGHT);
    EXPECT_EQ(window.HitTest({w / 2, h / 2}), HTCLIENT);
}

TEST_F(WindowTest, LayoutSizeMinimumAndCaptionButtons)
{
    RECT rc;
    ASSERT_TRUE(window.GetWindowRect(rc));
    EXPECT_EQ(rc.right - rc.left, 640);
    EXPECT_EQ(rc.bottom - rc.top, 480);
    window.ResizeClient(100, 100);
    Driver::processEvents();
    ASSERT_TRUE(window.GetWindowRect(rc));
    EXPECT_EQ(rc.right - rc.left, 400) << "mininfo";

    ASSERT_TRUE(ui.click("maxbtn"));
    Driver::processEvents();
    EXPECT_TRUE(window.IsMaximized());
    EXPECT_TRUE(ui.isShown("restorebtn"));
    EXPECT_FALSE(ui.isShown("maxbtn"));
    ASSERT_TRUE(ui.click("restorebtn"));
    Driver::processEvents();
    EXPECT_FALSE(window.IsMaximized());
    EXPECT_TRUE(ui.isShown("maxbtn"));
}

TEST_F(WindowTest, MissingLayoutFailsCreation)
{
    TestWindow broken;
    broken.skin = "xmls\\missing.xml";
    EXPECT_EQ(broken.Create(nullptr, "x", UI_WNDSTYLE_FRAME, 0), nullptr);
    EXPECT_FALSE(broken.IsWindow());
}

} // namespace

namespace {

class CustomControlTest : public UiTest {};

TEST_F(CustomControlTest, MouseEventsReachTheCustomControlInClientCoordinates)
{
    TestWindow window;
    open(window);
    Driver ui(window);
    ASSERT_NE(window.slot, nullptr);
    const RECT pos = window.slot->GetPos();
    const POINT inside{pos.left + 10, pos.top + 10};
    ASSERT_TRUE(ui.mousePress(inside));
    ASSERT_TRUE(ui.mouseRelease(inside));
    ASSERT_TRUE(ui.mousePress(inside, true));
    ASSERT_TRUE(ui.doubleClick(inside));
    const std::vector<int>& events = window.slot->events;
    auto has = [&](int type) { return std::find(events.begin(), events.end(), type) != events.end(); };
    EXPECT_TRUE(has(UIEVENT_BUTTONDOWN));
    EXPECT_TRUE(has(UIEVENT_BUTTONUP));
    EXPECT_TRUE(has(UIEVENT_RBUTTONDOWN));
    EXPECT_TRUE(has(UIEVENT_DBLCLICK));
}

} // namespace

namespace {

class FileDialogTest : public UiTest {};

TEST_F(FileDialogTest, AnsweredWithAPathOrCancelled)
{
    TestWindow window;
    open(window);
    std::string folder = ::testing::TempDir();
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    ui::FileDialogRequest request;
    request.owner = window;
    request.title = "Save file";
    request.defaultName = "results.csv";
    request.filters = {{"CSV files(*.csv)", "*.csv"}};
    request.defaultExtension = "*.csv";

    Driver::answerNextModal(Driver::ChooseFile(folder + "/measure"));
    EXPECT_EQ(ui::GetSaveFileName(request), folder + "/measure.csv") << "the default extension is added";
    Driver::answerNextModal(Driver::CancelFileDialog());
    EXPECT_EQ(ui::GetSaveFileName(request), "");

    Driver::answerNextModal(Driver::ChooseFile(folder));
    EXPECT_EQ(ui::BrowseForFolder(window, "Folder"), folder);

    // Nothing is launched for a folder that is not there.
    EXPECT_FALSE(ui::OpenFolder(folder + "/no-such-folder-here"));
    EXPECT_FALSE(ui::OpenFolder(""));
}

// The program blocks its termination signals for the thread that waits for
// them; the file manager it starts must not inherit that mask.
TEST_F(FileDialogTest, FolderOpenerStartsWithNoBlockedSignals)
{
    const std::string folder = ::testing::TempDir() + "opener-" + std::to_string(::getpid());
    std::filesystem::create_directories(folder);
    // A stand-in opener on PATH that writes down its own signal state. It
    // reads it with the shell's built-ins: while the shell starts a command
    // it blocks every signal for a moment, which a command reading the
    // shell's status could catch.
    {
        std::ofstream opener(folder + "/xdg-open");
        opener << "#!/bin/sh\nwhile IFS= read -r line; do\n"
                  "  case \"$line\" in SigBlk:*) printf '%s\\n' \"$line\" > \"$1/opener-status.tmp\";; esac\n"
                  "done < /proc/$$/status\n"
                  "mv \"$1/opener-status.tmp\" \"$1/opener-status\"\n";
    }
    std::filesystem::permissions(folder + "/xdg-open", std::filesystem::perms::owner_all);
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", (folder + ":" + path).c_str(), 1);
    sigset_t blocked, previous;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    pthread_sigmask(SIG_BLOCK, &blocked, &previous);

    EXPECT_TRUE(ui::OpenFolder(folder));
    std::string status;
    for (int waited = 0; waited < 10000 && status.empty(); waited += 20) {
        std::ifstream file(folder + "/opener-status");
        status.assign(std::istreambuf_iterator<char>(file), {});
        if (status.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::setenv("PATH", path.c_str(), 1);
    EXPECT_NE(status.find("SigBlk:\t0000000000000000"), std::string::npos) << status;
    std::filesystem::remove_all(folder);
}

} // namespace
