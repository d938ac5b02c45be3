// The camera session without a window, on emulated USB3 cameras: listing,
// opening on the worker, frames from the capture thread, switching and
// closing while frames arrive. Runs under ThreadSanitizer too.
#include "app/shell/session/CameraSession.h"
#include "app/common/AppMessages.h"
#include "camera/CMCameraBase.h"
#include "platform/QueueDispatcher.h"
#include "platform/Tick.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <vector>

namespace {

// The window the session reports to: hands every message back to the session.
class SessionWindow : public platform::MessageHandler {
public:
    platform::LRESULT handleMessage(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam) override
    {
        received.push_back(message);
        bool changed = false;
        if (session)
            session->HandleMessage(message, wParam, lParam, changed);
        return 0;
    }
    shell::CameraSession* session = nullptr;
    std::vector<platform::UINT> received;
};

bool PumpUntil(platform::QueueDispatcher& queue, const std::function<bool()>& done, unsigned timeoutMs = 10000)
{
    const unsigned start = platform::GetTickCount();
    while (!done()) {
        if (platform::GetTickCount() - start > timeoutMs)
            return false;
        queue.pumpFor(20);
    }
    return true;
}

TEST(CameraSessionTest, ListsOpensSwitchesAndClosesWhileFramesArrive)
{
    ::setenv("SENSORLINK_EMULATE", "2", 1);
    ::setenv("SENSORLINK_EMULATE_SIZE", "320x240", 1);
    ::setenv("SENSORLINK_EMULATE_FPS", "60", 1);
    ::setenv("SENSORLINK_EMULATE_FAULTS", "", 1);
    ::unsetenv("LENSBRIDGE_EMULATE_VIDEO");
    platform::QueueDispatcher queue;
    platform::setMessageDispatcher(&queue);
    {
        SessionWindow window;
        shell::CameraSession session(&window);
        window.session = &session;

        // A burst of listing requests is one listing.
        session.RefreshDevices();
        session.RefreshDevices();
        ASSERT_TRUE(PumpUntil(queue, [&] { return !session.Devices().empty(); }));
        queue.pumpFor(50);
        int listings = 0;
        for (platform::UINT m : window.received)
            listings += m == WM_SESSION_DEVICES_LISTED ? 1 : 0;
        EXPECT_EQ(listings, 1);
        ASSERT_EQ(session.Devices().back().devices.size(), 2u);
        const int group = int(session.Devices().size()) - 1;

        EXPECT_EQ(session.OpenLocal(-1, 0), shell::kSessionNotOpened);
        ASSERT_EQ(session.OpenLocal(group, 0), shell::kSessionOpened);
        EXPECT_TRUE(session.IsOpening());
        EXPECT_EQ(session.OpenLocal(group, 1), shell::kSessionNotOpened) << "one open at a time";
        ASSERT_TRUE(PumpUntil(queue, [&] { return session.Camera() && session.FramesDelivered() > 5; }));
        int row = -1, device = -1;
        ASSERT_TRUE(session.FindOpenCameraRow(row, device));
        EXPECT_EQ(device, 0);

        // Switching releases the first camera before the second opens.
        ASSERT_EQ(session.OpenLocal(group, 1), shell::kSessionOpened);
        EXPECT_EQ(session.Camera(), nullptr);
        const unsigned long before = session.FramesDelivered();
        ASSERT_TRUE(PumpUntil(queue, [&] { return session.Camera() && session.FramesDelivered() > before + 5; }));
        EXPECT_EQ(session.Source().pid, 0x5ec6);

        session.Close();
        EXPECT_EQ(session.Camera(), nullptr);
        EXPECT_EQ(session.Source().kind, shell::CameraSource::Kind::None);
        window.session = nullptr;
    }
    platform::setMessageDispatcher(nullptr);
}

} // namespace
