// Live 1920 × 1080 at 60 frames/s from the emulated USB3 camera through the
// whole program (capture → conversion → processing → view) on the real main
// window: frames delivered to the program, passes the view drew, frames lost
// before the view, process CPU per frame. Needs an X display.
#include "app/shell/AppConfig.h"
#include "app/shell/MainWnd.h"
#include "app/shell/Startup.h"
#include "app/shell/session/CameraSession.h"
#include "app/view/ImageRenderUI.h"
#include "camera/CMCameraBase.h"
#include "ui/Application.h"
#include "ui/PaintManager.h"
#include "ui/ResourceManager.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sys/resource.h>

namespace {

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool RunFor(
    double seconds, const std::function<bool()>& done = [] { return false; })
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        ui::Application::processEventsFor(5);
        if (done())
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 30.0;
    ::setenv("SENSORLINK_EMULATE", "1", 1);
    ::setenv("SENSORLINK_EMULATE_SIZE", "1920x1080", 1);
    ::setenv("SENSORLINK_EMULATE_FPS", "60", 1);
    ::unsetenv("LENSBRIDGE_EMULATE_VIDEO");
    ui::Application app(argc, argv);
    CPaintManagerUI::SetInstance(&app);
    shell::RegisterSkin();
    shell::Config().SetDefaults();
    shell::Config().MaximizeWindow = 0;
    shell::Config().ExitPrompt = 1;
    auto window = std::make_unique<shell::CMainWnd>();
    window->OpenFirstCameraAtStart(true);
    window->Create(nullptr, "Pellumo", UI_WNDSTYLE_FRAME, 0);
    window->ShowWindow(true);
    shell::CameraSession& session = *window->Session();
    if (!RunFor(15, [&] { return session.Camera() && session.FramesDelivered() > 30; })) {
        std::fprintf(stderr, "the emulated camera did not stream\n");
        return 1;
    }
    auto* view = session.View();
    const unsigned long frames0 = session.FramesDelivered();
    const int passes0 = view ? view->passesDrawn() : 0;
    const double cpu0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    RunFor(seconds);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const unsigned long frames = session.FramesDelivered() - frames0;
    const int passes = (view ? view->passesDrawn() : 0) - passes0;
    const double cpu = CpuSeconds() - cpu0;
    const double expected = 60.0 * elapsed;
    std::printf("live 1920x1080@60 for %.1f s: frames delivered %lu (%.1f/s, camera rate %.2f), expected %.0f, "
                "lost before the view %.0f; view passes %d (%.1f/s); CPU %.1f ms per frame (%.0f%% of one core)\n",
                elapsed, frames, frames / elapsed, session.Camera() ? session.Camera()->GetFrameRate() : 0.0f, expected,
                expected > frames ? expected - frames : 0.0, passes, passes / elapsed,
                frames ? 1000.0 * cpu / frames : 0.0, 100.0 * cpu / elapsed);
    window->DestroyWindow();
    window.reset();
    CResourceManager::GetInstance()->Release();
    return 0;
}
