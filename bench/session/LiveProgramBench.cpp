// A live camera through the whole program (capture → conversion → processing
// → view) on the real main window (at its default size, or maximised with
// "max"), for `seconds` (default 30):
//   usb3  the emulated USB3 camera, 1920 × 1080 at 60 frames/s (default);
//   5mp   the emulated 2592 × 1944 MJPEG video camera at 30 frames/s;
//   4k    the emulated 3840 × 2160 MJPEG video camera at 30 frames/s.
// Reports frames delivered to the program, MJPEG frames the decoding queue
// dropped, pictures the view drew and frames lost before it, view passes,
// the delay from a frame leaving the driver to the end of the view pass that
// drew it (median and 99th percentile, against two frame intervals), process
// CPU per frame (TurboJPEG's own decode time of the same pictures comes from
// big_camera_bench). Needs an X display.
#include "app/shell/AppConfig.h"
#include "app/shell/MainWnd.h"
#include "app/shell/Startup.h"
#include "app/shell/session/CameraSession.h"
#include "app/view/ImageRenderUI.h"
#include "bench/support/ProcessCpuTime.h"
#include "bench/support/RunWindowFor.h"
#include "camera/CMCameraBase.h"
#include "ui/Application.h"
#include "ui/PaintManager.h"
#include "ui/ResourceManager.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

using benchscenes::RunWindowFor;

struct LiveCamera {
    const char* name;
    int width, height, rate;
    bool video; // an emulated MJPEG video camera, not the USB3 camera
};

const LiveCamera kCameras[] = {
    {"usb3", 1920, 1080, 60, false},
    {"5mp", 2592, 1944, 30, true},
    {"4k", 3840, 2160, 30, true},
};

// Delays from dequeue to drawn, in milliseconds, collected on the render thread.
struct DrawnDelays {
    std::mutex mutex;
    std::vector<double> values;
    bool counting = false;

    void add(FrameSink::FrameTime dequeued)
    {
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - dequeued).count();
        std::lock_guard guard(mutex);
        if (counting)
            values.push_back(ms);
    }
};

double Percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size())))];
}

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 30.0;
    const LiveCamera* live = &kCameras[0];
    for (const LiveCamera& camera : kCameras)
        if (argc > 2 && std::strcmp(argv[2], camera.name) == 0)
            live = &camera;
    const bool maximized = argc > 3 && std::strcmp(argv[3], "max") == 0;
    if ((argc > 2 && std::strcmp(argv[2], live->name) != 0) || (argc > 3 && !maximized)) {
        std::fprintf(stderr, "usage: %s [seconds] [usb3|5mp|4k] [max]\n", argv[0]);
        return 2;
    }
    ::setenv("PELLUMO_DEBUG_LOG", "off", 1);
    if (live->video) {
        ::unsetenv("SENSORLINK_EMULATE");
        ::setenv("LENSBRIDGE_EMULATE_VIDEO", "0", 1);
        ::setenv("LENSBRIDGE_EMULATE_VIDEO_PROFILES", live->name, 1);
    } else {
        ::setenv("SENSORLINK_EMULATE", "1", 1);
        ::setenv("SENSORLINK_EMULATE_SIZE", "1920x1080", 1);
        ::setenv("SENSORLINK_EMULATE_FPS", "60", 1);
        ::unsetenv("LENSBRIDGE_EMULATE_VIDEO");
    }
    ui::Application app(argc, argv);
    CPaintManagerUI::SetInstance(&app);
    shell::RegisterSkin();
    shell::Config().SetDefaults();
    shell::Config().MaximizeWindow = maximized ? 1 : 0;
    shell::Config().ExitPrompt = 1;
    auto window = std::make_unique<shell::CMainWnd>();
    window->OpenFirstCameraAtStart(true);
    window->Create(nullptr, "Pellumo", UI_WNDSTYLE_FRAME, 0);
    window->ShowWindow(true);
    shell::CameraSession& session = *window->Session();
    if (live->video) {
        // The program opens a USB3 camera by itself; a video camera the user picks
        // from the list (the emulated one comes after any real one).
        auto videoGroup = [&]() -> int {
            const auto& groups = session.Devices();
            for (size_t g = 0; g < groups.size(); ++g)
                if (groups[g].type == VIDEO_DEVICE_GROUP_DIRECTSHOW && !groups[g].devices.empty())
                    return int(g);
            return -1;
        };
        if (!RunWindowFor(15, [&] { return videoGroup() >= 0 && !session.IsOpening(); }) ||
            session.OpenLocal(videoGroup(), int(session.Devices()[size_t(videoGroup())].devices.size()) - 1) !=
                shell::kSessionOpened) {
            std::fprintf(stderr, "no emulated video camera to open\n");
            return 1;
        }
    }
    if (!RunWindowFor(15, [&] { return session.Camera() && session.FramesDelivered() > 30; })) {
        std::fprintf(stderr, "the emulated camera did not stream\n");
        return 1;
    }
    if (live->video) {
        // The program opens a video camera at 1920 × 1080; the user picks the full size.
        std::vector<_tag_CMSIZE> sizes;
        session.Camera()->GetSupportedPreviewSizes(&sizes);
        const auto full = std::find_if(sizes.begin(), sizes.end(), [&](const _tag_CMSIZE& size) {
            return size.width == live->width && size.height == live->height;
        });
        if (full == sizes.end() || !session.SetPreviewSizeIndex(int(full - sizes.begin()))) {
            std::fprintf(stderr, "the camera does not stream %d x %d\n", live->width, live->height);
            return 1;
        }
        // Settle: the emulated camera makes its pictures during the first seconds.
        RunWindowFor(6);
    }
    auto* view = session.View();
    DrawnDelays delays;
    delays.values.reserve(size_t(seconds * live->rate * 2) + 64);
    if (view)
        view->setDrawnPictureObserver([&delays](FrameSink::FrameTime dequeued) { delays.add(dequeued); });
    RunWindowFor(1);
    const unsigned long frames0 = session.FramesDelivered();
    const int64_t dropped0 = session.Pipeline().framesDropped();
    const int passes0 = view ? view->passesDrawn() : 0;
    {
        std::lock_guard guard(delays.mutex);
        delays.values.clear();
        delays.counting = true;
    }
    const double cpu0 = benchscenes::ProcessCpuSeconds();
    const auto t0 = Clock::now();
    RunWindowFor(seconds);
    const double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
    const double cpu = benchscenes::ProcessCpuSeconds() - cpu0;
    const unsigned long frames = session.FramesDelivered() - frames0;
    const int64_t dropped = session.Pipeline().framesDropped() - dropped0;
    const int passes = (view ? view->passesDrawn() : 0) - passes0;
    std::vector<double> drawn;
    {
        std::lock_guard guard(delays.mutex);
        delays.counting = false;
        drawn = delays.values;
    }
    if (view)
        view->setDrawnPictureObserver(nullptr);
    const double expected = double(live->rate) * elapsed;
    const double interval = 1000.0 / live->rate;
    const double p99 = Percentile(drawn, 0.99);
    std::printf("view at %d %% (picture decoded at 1/%d)\n", view ? view->zoomPercent() : 0,
                view ? view->pictureReduction() : 1);
    std::printf("live %s %dx%d@%d for %.1f s: frames delivered %lu (%.1f/s), dropped by the decoding queue %lld; "
                "pictures drawn %zu (%.1f/s), lost before the view %.0f; view passes %d (%.1f/s); "
                "delay to the drawn pass median %.1f ms, p99 %.1f ms (%s two frame intervals, %.1f ms); "
                "CPU %.1f ms per frame (%.0f%% of one core)\n",
                live->name, live->width, live->height, live->rate, elapsed, frames, frames / elapsed,
                static_cast<long long>(dropped), drawn.size(), double(drawn.size()) / elapsed,
                expected > double(drawn.size()) ? expected - double(drawn.size()) : 0.0, passes, passes / elapsed,
                Percentile(drawn, 0.5), p99, p99 <= 2 * interval ? "within" : "beyond", 2 * interval,
                frames ? 1000.0 * cpu / double(frames) : 0.0, 100.0 * cpu / elapsed);
    window->DestroyWindow();
    window.reset();
    CResourceManager::GetInstance()->Release();
    return 0;
}
