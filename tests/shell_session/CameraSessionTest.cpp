// The camera session without a window, on emulated USB3 cameras: listing,
// opening on the worker, frames from the capture thread, switching and
// closing while frames arrive. Runs under ThreadSanitizer too.
#include "app/shell/session/CameraSession.h"
#include "app/common/AppMessages.h"
#include "app/shell/session/CameraSettingsStore.h"
#include "camera/CMCameraBase.h"
#include "camera/CWImage.h"
#include "camera/factory/CMFactory.h"
#include "camera/usb/UsbOpenFailure.h"
#include "platform/QueueDispatcher.h"
#include "platform/Tick.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <utility>
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

// Settings the session keeps for the cameras it opens go to a folder of the test's own.
struct TempConfigHome {
    TempConfigHome() : root(std::filesystem::temp_directory_path() / ("pellumo-config-" + std::to_string(::getpid())))
    {
        std::filesystem::create_directories(root);
        ::setenv("XDG_CONFIG_HOME", root.c_str(), 1);
    }
    ~TempConfigHome()
    {
        ::unsetenv("XDG_CONFIG_HOME");
        std::filesystem::remove_all(root);
    }
    std::filesystem::path root;
};

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

TEST(CameraSessionTest, ListsOpensSwitchesAndClosesWhileFramesArrive)
{
    TempConfigHome config;
    ::setenv("SENSORLINK_EMULATE", "2", 1);
    ::setenv("SENSORLINK_EMULATE_SIZE", "320x240", 1);
    ::setenv("SENSORLINK_EMULATE_FPS", "60", 1);
    ::setenv("SENSORLINK_EMULATE_FAULTS", "", 1);
    ::unsetenv("LENSBRIDGE_EMULATE_VIDEO");
    // The emulated cameras write down every connection made to them.
    const std::string events =
        std::filesystem::temp_directory_path() / ("pellumo-camera-events-" + std::to_string(::getpid()));
    std::filesystem::remove(events);
    ::setenv("SENSORLINK_EMULATE_EVENTS", events.c_str(), 1);
    auto eventsSoFar = [&] {
        std::ifstream file(events);
        std::vector<std::string> lines;
        for (std::string line; std::getline(file, line);)
            lines.push_back(line);
        return lines;
    };
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
        EXPECT_EQ(eventsSoFar(), std::vector<std::string>{"open EMU1000"});
        ASSERT_EQ(session.OpenLocal(group, 1), shell::kSessionOpened);
        EXPECT_EQ(session.Camera(), nullptr);
        const unsigned long before = session.FramesDelivered();
        ASSERT_TRUE(PumpUntil(queue, [&] { return session.Camera() && session.FramesDelivered() > before + 5; }));
        EXPECT_EQ(session.Source().pid, 0x5ec6);
        EXPECT_EQ(eventsSoFar(), (std::vector<std::string>{"open EMU1000", "close EMU1000", "open EMU1001"}));

        session.Close();
        EXPECT_EQ(session.Camera(), nullptr);
        EXPECT_EQ(eventsSoFar().back(), "close EMU1001");
        EXPECT_EQ(session.Source().kind, shell::CameraSource::Kind::None);
        window.session = nullptr;
    }
    platform::setMessageDispatcher(nullptr);
    ::unsetenv("SENSORLINK_EMULATE_EVENTS");
    std::filesystem::remove(events);
}

// Two identical cameras: a row opens its own camera by what it is, wherever
// it moved, or fails and says why (held by another program, gone); a
// listing with the open camera at another position keeps it open; a
// network failure after them shows no USB reason; the adjustments the user
// gave a camera come back when it returns from a power loss.
TEST(CameraSessionTest, OpensTheRowsOwnCameraOrSaysWhyAndKeepsItsSettings)
{
    TempConfigHome config;
    const std::string control = config.root / "control";
    const std::string events = config.root / "events";
    ::setenv("SENSORLINK_EMULATE", "2", 1);
    ::setenv("SENSORLINK_EMULATE_SAME_IDS", "1", 1);
    ::setenv("SENSORLINK_EMULATE_SIZE", "320x240", 1);
    ::setenv("SENSORLINK_EMULATE_FPS", "60", 1);
    ::setenv("SENSORLINK_EMULATE_FAULTS", "", 1);
    ::setenv("SENSORLINK_EMULATE_CONTROL", control.c_str(), 1);
    ::setenv("SENSORLINK_EMULATE_EVENTS", events.c_str(), 1);
    ::unsetenv("LENSBRIDGE_EMULATE_VIDEO");
    auto lastEvent = [&] {
        std::ifstream file(events);
        std::string line, last;
        while (std::getline(file, line))
            last = line;
        return last;
    };
    platform::QueueDispatcher queue;
    platform::setMessageDispatcher(&queue);
    {
        SessionWindow window;
        shell::CameraSession session(&window);
        window.session = &session;
        session.RefreshDevices();
        ASSERT_TRUE(PumpUntil(queue, [&] { return !session.Devices().empty(); }));
        const int usb = int(session.Devices().size()) - 1;
        ASSERT_EQ(session.Devices()[usb].devices.size(), 2u);
        auto open = [&](int device) {
            EXPECT_EQ(session.OpenLocal(usb, device), shell::kSessionOpened);
            EXPECT_TRUE(PumpUntil(queue, [&] { return !session.IsOpening(); }));
            return session.Camera() != nullptr;
        };

        // Held by another program: the open fails as busy.
        WriteFile(control, "held 0\n");
        EXPECT_FALSE(open(0));
        EXPECT_EQ(session.LastOpenFailure(), CM_OPEN_FAILURE_BUSY);

        // The first camera goes; the rows are not listed anew. Its row does
        // not open the second camera, which now sits at its position.
        WriteFile(control, "unplugged 0\n");
        EXPECT_FALSE(open(0));
        EXPECT_EQ(session.LastOpenFailure(), CM_OPEN_FAILURE_GONE);
        EXPECT_FALSE(session.LastOpenFoundAnotherCamera());
        EXPECT_EQ(lastEvent(), "") << "no connection was made to either camera";

        // A network camera that fails says nothing about the USB camera.
        EXPECT_EQ(session.OpenNetwork(8, "rtsp://127.0.0.1:9/none"), shell::kSessionOpened);
        ASSERT_TRUE(PumpUntil(
            queue, [&] { return !session.IsOpening(); }, 20000));
        EXPECT_EQ(session.Camera(), nullptr);
        EXPECT_NE(session.LastOpenFailure(), CM_OPEN_FAILURE_GONE);

        // The second camera's stale row opens the second camera.
        ASSERT_TRUE(open(1));
        EXPECT_EQ(lastEvent(), "open EMU1001");
        EXPECT_EQ(session.Source().identity, "usb3 1209:5ec5 emulated:1");
        ASSERT_TRUE(PumpUntil(queue, [&] { return session.FramesDelivered() > 3; }));

        // Listed again at position 0: still the open camera, never lost.
        const unsigned listings = session.ListingsDone();
        session.RefreshDevices();
        ASSERT_TRUE(PumpUntil(queue, [&] { return session.ListingsDone() > listings; }));
        int group = -1, device = -1;
        ASSERT_TRUE(session.FindOpenCameraRow(group, device));
        EXPECT_EQ(device, 0);
        EXPECT_NE(session.Camera(), nullptr);
        EXPECT_FALSE(session.IsLost());

        // The user's exposure, kept on the next tick; the camera loses power
        // and comes back with it.
        CMCameraBase* camera = session.Camera();
        ASSERT_EQ(camera->setExposure(false), 0);
        ASSERT_EQ(camera->SetProperty(CM_PROP_EXPOSURE, 5000), 0);
        session.AdjustmentsChanged();
        bool changed = false;
        session.HandleMessage(platform::WM_TIMER, shell::kSessionTimerId, 0, changed);
        WriteFile(control, "unplugged 0\nunplugged 1\n");
        session.RefreshDevices();
        ASSERT_TRUE(PumpUntil(queue, [&] { return session.IsLost(); }));
        WriteFile(control, "unplugged 0\n");
        ASSERT_TRUE(PumpUntil(
            queue,
            [&] {
                session.HandleMessage(platform::WM_TIMER, shell::kSessionTimerId, 0, changed);
                return session.Camera() && !session.IsLost() && !session.IsOpening();
            },
            30000));
        bool automatic = true;
        int exposure = 0;
        EXPECT_EQ(session.Camera()->getExposure(automatic), 0);
        EXPECT_FALSE(automatic);
        EXPECT_EQ(session.Camera()->GetProperty(CM_PROP_EXPOSURE, &exposure), 0);
        EXPECT_EQ(exposure, 5000);
        EXPECT_EQ(shell::CameraSettingsStore().LastCamera(), "usb3 1209:5ec5 emulated:1");
        session.Close();
        window.session = nullptr;
    }
    platform::setMessageDispatcher(nullptr);
    for (const char* name : {"SENSORLINK_EMULATE_SAME_IDS", "SENSORLINK_EMULATE_CONTROL", "SENSORLINK_EMULATE_EVENTS"})
        ::unsetenv(name);
}

// The camera stops sending: a still waits for its frame on the worker while
// the caller goes on, the watchdog takes the camera for lost meanwhile, and
// the camera is released only after the still gave up. When it returns, the
// process has the threads it had before.
TEST(CameraSessionTest, AStillOfAStoppedCameraWaitsOnTheWorkerAndTheReturnLeavesNoThreadBehind)
{
    TempConfigHome config;
    const std::string events = config.root / "events";
    ::setenv("SENSORLINK_EMULATE", "1", 1);
    ::setenv("SENSORLINK_EMULATE_SIZE", "320x240", 1);
    ::setenv("SENSORLINK_EMULATE_FPS", "60", 1);
    ::setenv("SENSORLINK_EMULATE_FAULTS", "unplug_after=40,replug_after_ms=500", 1);
    ::setenv("SENSORLINK_EMULATE_EVENTS", events.c_str(), 1);
    ::unsetenv("LENSBRIDGE_EMULATE_VIDEO");
    auto lastEvent = [&] {
        std::ifstream file(events);
        std::string line, last;
        while (std::getline(file, line))
            last = line;
        return last;
    };
    auto threads = [] {
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("Threads:", 0) == 0)
                return std::atoi(line.c_str() + 8);
        return 0;
    };
    platform::QueueDispatcher queue;
    platform::setMessageDispatcher(&queue);
    {
        SessionWindow window;
        shell::CameraSession session(&window);
        window.session = &session;
        bool changed = false;
        auto tick = [&] { session.HandleMessage(platform::WM_TIMER, shell::kSessionTimerId, 0, changed); };
        session.RefreshDevices();
        ASSERT_TRUE(PumpUntil(queue, [&] { return !session.Devices().empty(); }));
        ASSERT_EQ(session.OpenLocal(int(session.Devices().size()) - 1, 0), shell::kSessionOpened);
        ASSERT_TRUE(PumpUntil(queue, [&] { return session.Camera() && session.FramesDelivered() > 5; }));
        const int streaming = threads();
        // Unplugged after its 40th frame: no frame comes for a while.
        ASSERT_TRUE(PumpUntil(queue, [&] {
            const unsigned long before = session.FramesDelivered();
            queue.pumpFor(300);
            return before > 20 && session.FramesDelivered() == before;
        }));

        EXPECT_FALSE(session.RunWithCamera(nullptr));
        std::atomic<bool> done{false};
        int snapped = 0;
        std::string eventAfterStill;
        ASSERT_TRUE(session.RunWithCamera([&](CMCameraBase& camera) {
            CWImage picture;
            picture.externalBuffer = false;
            snapped = camera.Snap(&picture);
            eventAfterStill = lastEvent();
            done = true;
        }));
        EXPECT_FALSE(done) << "the caller does not wait for the still";
        ASSERT_TRUE(PumpUntil(queue, [&] {
            tick();
            return session.IsLost();
        }));
        ASSERT_TRUE(PumpUntil(queue, [&] { return done.load(); }));
        EXPECT_NE(snapped, 0) << "no frame came, so no picture";
        EXPECT_EQ(eventAfterStill, "open EMU1000") << "the camera stayed open while its still waited";
        EXPECT_FALSE(session.RunWithCamera([](CMCameraBase&) {})) << "a lost camera takes no work";

        ASSERT_TRUE(PumpUntil(
            queue,
            [&] {
                tick();
                return session.Camera() && !session.IsLost() && session.FramesDelivered() > 5;
            },
            30000));
        EXPECT_EQ(threads(), streaming);
        session.Close();
        window.session = nullptr;
    }
    platform::setMessageDispatcher(nullptr);
    ::unsetenv("SENSORLINK_EMULATE_EVENTS");
    ::setenv("SENSORLINK_EMULATE_FAULTS", "", 1);
}

// A camera's adjustments survive it: read from the camera, kept under its
// identity, applied to the camera again after it forgot them.
TEST(CameraSettingsStoreTest, KeepsEachCamerasAdjustmentsAndAppliesThemAgain)
{
    ::setenv("SENSORLINK_EMULATE", "2", 1);
    ::setenv("SENSORLINK_EMULATE_FAULTS", "", 1);
    ::unsetenv("LENSBRIDGE_EMULATE_VIDEO");
    std::vector<_tag_VideoDeviceList> groups;
    CMFactory::GetVideoDeviceList(&groups);
    ASSERT_FALSE(groups.empty());
    std::unique_ptr<CMCameraBase> camera(
        CMFactory::GetCamera(unsigned(groups.size() - 1), 0, nullptr, 0, nullptr, nullptr, true));
    ASSERT_NE(camera, nullptr);
    ASSERT_EQ(camera->Init(nullptr, nullptr, 640, 480), 0);

    // What the user set: manual exposure of 5000, gain 120.
    camera->setExposure(false);
    ASSERT_EQ(camera->SetProperty(CM_PROP_EXPOSURE, 5000), 0);
    ASSERT_EQ(camera->SetProperty(CM_PROP_GAIN, 120), 0);
    ASSERT_EQ(camera->SetPreviewSize(_tag_CMSIZE{800, 600}), 0);
    const shell::CameraAdjustments set = shell::ReadAdjustments(*camera);
    EXPECT_EQ(set.autoExposure, 0);
    EXPECT_EQ(set.properties.at(CM_PROP_EXPOSURE), 5000);
    EXPECT_EQ(set.previewWidth, 800);

    const std::string root = std::filesystem::temp_directory_path() / ("pellumo-cameras-" + std::to_string(::getpid()));
    shell::CameraSettingsStore store(root);
    const std::string identity = "video#usb-0000:00:14.0-2/1.0#first";
    shell::CameraAdjustments none;
    EXPECT_FALSE(store.Load(identity, none));
    ASSERT_TRUE(store.Save(identity, set));
    shell::CameraAdjustments other = set;
    other.properties[CM_PROP_GAIN] = 7;
    ASSERT_TRUE(store.Save("video#usb-0000:00:14.0-3/1.0#second", other));
    EXPECT_EQ(store.LastCamera(), "");
    ASSERT_TRUE(store.SetLastCamera(identity));
    EXPECT_EQ(shell::CameraSettingsStore(root).LastCamera(), identity);

    // The camera lost power: automatic exposure, default gain again.
    camera->setExposure(true);
    camera->SetProperty(CM_PROP_GAIN, 0);
    camera->SetPreviewSize(_tag_CMSIZE{1280, 960});
    shell::CameraAdjustments kept;
    ASSERT_TRUE(store.Load(identity, kept));
    EXPECT_EQ(kept, set) << "each camera keeps its own values";
    shell::ApplyAdjustments(*camera, kept);
    EXPECT_EQ(shell::ReadAdjustments(*camera), set);
    camera->Release();
    std::filesystem::remove_all(root);
}

// A merge job holds the automatic modes: what was automatic is manual while
// any hold runs and automatic again after the last; what the user had set to
// manual stays manual.
TEST(CameraSessionTest, HoldsAutomaticExposureAndWhiteBalanceWhileAJobRuns)
{
    TempConfigHome config;
    ::setenv("SENSORLINK_EMULATE", "2", 1);
    ::setenv("SENSORLINK_EMULATE_SIZE", "320x240", 1);
    ::setenv("SENSORLINK_EMULATE_FAULTS", "", 1);
    ::unsetenv("LENSBRIDGE_EMULATE_VIDEO");
    platform::QueueDispatcher queue;
    platform::setMessageDispatcher(&queue);
    {
        SessionWindow window;
        shell::CameraSession session(&window);
        window.session = &session;
        // No camera: a hold is counted and harmless.
        {
            shell::CameraSession::AutomaticsHold idle(session);
        }
        EXPECT_EQ(session.AutomaticsHolds(), 0);

        session.RefreshDevices();
        ASSERT_TRUE(PumpUntil(queue, [&] { return !session.Devices().empty(); }));
        ASSERT_EQ(session.OpenLocal(int(session.Devices().size()) - 1, 0), shell::kSessionOpened);
        ASSERT_TRUE(PumpUntil(queue, [&] { return session.Camera() && session.FramesDelivered() > 2; }));
        CMCameraBase& camera = *session.Camera();
        ASSERT_EQ(camera.getWhiteBalanceMode(), 1);
        ASSERT_EQ(camera.setWhiteBalance(true), 0);
        auto modes = [&] {
            bool exposure = false, whiteBalance = false;
            EXPECT_EQ(camera.getExposure(exposure), 0);
            EXPECT_EQ(camera.getWhiteBalance(whiteBalance), 0);
            return std::pair{exposure, whiteBalance};
        };
        ASSERT_EQ(modes(), std::pair(true, true));
        {
            shell::CameraSession::AutomaticsHold stack(session);
            EXPECT_EQ(modes(), std::pair(false, false));
            {
                shell::CameraSession::AutomaticsHold panorama(session);
                EXPECT_EQ(session.AutomaticsHolds(), 2);
            }
            EXPECT_EQ(modes(), std::pair(false, false)) << "held until the last hold ends";
        }
        EXPECT_EQ(modes(), std::pair(true, true));

        // Manual exposure chosen by the user is not switched on by a hold's end.
        ASSERT_EQ(camera.setExposure(false), 0);
        {
            shell::CameraSession::AutomaticsHold stack(session);
        }
        EXPECT_EQ(modes(), std::pair(false, true));
        session.Close();
        window.session = nullptr;
    }
    platform::setMessageDispatcher(nullptr);
}

} // namespace