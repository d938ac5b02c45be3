// Shading correction through the whole program: the emulated USB3 camera at
// 1920 × 1080 and 60 frames/s over empty glass with 35 % corner shading, on
// the real main window. A reference is taken as the menu takes it, then the
// correction is switched off and on in alternating stretches of `seconds`
// (default 10; two of each): frames delivered, view passes per second and
// process CPU per frame for each, and the ratio of passes per second with
// the correction to without (goal ≥ 0.97). Needs an X display.
#include "app/shell/AppConfig.h"
#include "app/shell/MainWnd.h"
#include "app/shell/Startup.h"
#include "app/shell/session/CameraSession.h"
#include "app/view/FramePipeline.h"
#include "app/view/ImageRenderUI.h"
#include "bench/support/ProcessCpuTime.h"
#include "bench/support/RunWindowFor.h"
#include "bench/support/StreamingMainWindow.h"
#include "ui/Application.h"
#include "ui/PaintManager.h"
#include "ui/ResourceManager.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

using benchscenes::OpenStreamingMainWindow;
using benchscenes::RunWindowFor;

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    ::setenv("PELLUMO_DEBUG_LOG", "off", 1);
    ::setenv("SENSORLINK_EMULATE", "1", 1);
    ::setenv("SENSORLINK_EMULATE_SIZE", "1920x1080", 1);
    ::setenv("SENSORLINK_EMULATE_FPS", "60", 1);
    ::setenv("SENSORLINK_EMULATE_STAGE", "glass", 1);
    ::setenv("SENSORLINK_EMULATE_SHADING", "35", 1);
    ::setenv("SENSORLINK_EMULATE_NOISE", "2", 1);
    ::unsetenv("LENSBRIDGE_EMULATE_VIDEO");
    ui::Application app(argc, argv);
    CPaintManagerUI::SetInstance(&app);
    std::unique_ptr<shell::CMainWnd> window = OpenStreamingMainWindow();
    if (!window)
        return 1;
    shell::CameraSession& session = *window->Session();
    FramePipeline& pipeline = session.Pipeline();
    {
        std::lock_guard lock(pipeline.lock());
        pipeline.shading().collect(8);
    }
    ShadingFrames frames;
    if (!RunWindowFor(10, [&] {
            std::lock_guard lock(pipeline.lock());
            return pipeline.shading().takeFrames(frames);
        })) {
        std::fprintf(stderr, "no frames for the reference\n");
        return 1;
    }
    ShadingReference reference;
    if (makeShadingReference(frames, reference) != ShadingRefusal::None) {
        std::fprintf(stderr, "the reference was refused\n");
        return 1;
    }
    cv::Mat gains = makeShadingGains(reference);
    {
        std::lock_guard lock(pipeline.lock());
        pipeline.shading().setReference(reference, std::move(gains));
    }
    CImageRenderUI* view = session.View();
    double passesPerSecond[2] = {0, 0};
    for (int stretch = 0; stretch < 4; ++stretch) {
        const bool on = stretch % 2 == 1;
        {
            std::lock_guard lock(pipeline.lock());
            pipeline.shading().setEnabled(on);
        }
        RunWindowFor(1);
        const unsigned long frames0 = session.FramesDelivered();
        const int passes0 = view ? view->passesDrawn() : 0;
        const double cpu0 = benchscenes::ProcessCpuSeconds();
        const auto t0 = Clock::now();
        RunWindowFor(seconds);
        const double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
        const double cpu = benchscenes::ProcessCpuSeconds() - cpu0;
        const unsigned long delivered = session.FramesDelivered() - frames0;
        const int passes = (view ? view->passesDrawn() : 0) - passes0;
        passesPerSecond[on] += passes / elapsed / 2;
        std::printf("correction %-3s %.1f s: frames delivered %lu (%.1f/s), view passes %d (%.1f/s), "
                    "CPU %.2f ms per frame\n",
                    on ? "on" : "off", elapsed, delivered, delivered / elapsed, passes, passes / elapsed,
                    delivered ? 1000.0 * cpu / double(delivered) : 0.0);
    }
    std::printf("view passes per second: off %.1f, on %.1f, ratio %.3f (goal >= 0.97)\n", passesPerSecond[0],
                passesPerSecond[1], passesPerSecond[0] > 0 ? passesPerSecond[1] / passesPerSecond[0] : 0.0);
    window->DestroyWindow();
    window.reset();
    CResourceManager::GetInstance()->Release();
    return 0;
}
