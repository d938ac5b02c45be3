// Measurements on the real main window over the emulated USB3 camera's live
// 1920 × 1080 at 60 frames/s: view passes per second with none, with N (1000
// by default) while idle and while the pointer hovers over them, the time of
// one mouse movement over the view including the main window's handling of
// the hover report (the results list's row refreshed, selected and scrolled
// to), and the time the window took to take in the N measurements.
//   build/bench/bin/bench_measure_window [seconds per case, default 4] [N]
// Needs an X display.
#include "app/shell/AppConfig.h"
#include "app/shell/MainWnd.h"
#include "app/shell/Startup.h"
#include "app/shell/session/CameraSession.h"
#include "app/view/ImageRenderUI.h"
#include "bench/support/BenchScenes.h"
#include "bench/support/RunWindowFor.h"
#include "bench/support/StreamingMainWindow.h"
#include "ui/Application.h"
#include "ui/PaintManager.h"
#include "ui/ResourceManager.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;
using benchscenes::OpenStreamingMainWindow;
using benchscenes::RunWindowFor;

struct Rate {
    double passesPerSecond = 0;
    double moveMicroseconds = 0; // per mouse movement, when `move` ran
};

// View passes per second over `seconds`; `move` (when given) runs ten times
// between 10 ms turns of the event loop, as a hovering pointer does.
Rate Measure(CImageRenderUI& view, double seconds, const std::function<void(long)>& move)
{
    const int before = view.passesDrawn();
    const auto start = Clock::now();
    long moves = 0;
    double spent = 0;
    while (Clock::now() - start < std::chrono::duration<double>(seconds)) {
        if (move) {
            for (int i = 0; i < 10; ++i, ++moves) {
                const auto t = Clock::now();
                move(moves);
                spent += std::chrono::duration<double>(Clock::now() - t).count();
            }
            ui::Application::processEventsFor(10);
        } else {
            ui::Application::processEventsFor(50);
        }
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    return {(view.passesDrawn() - before) / elapsed, moves ? 1e6 * spent / double(moves) : 0.0};
}

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 4.0;
    const int primitives = argc > 2 ? std::atoi(argv[2]) : 1000;
    if (!(seconds > 0) || primitives <= 0) {
        std::fprintf(stderr, "usage: %s [seconds per case] [measurements]\n", argv[0]);
        return 2;
    }
    ::setenv("PELLUMO_DEBUG_LOG", "off", 1);
    ::setenv("SENSORLINK_EMULATE", "1", 1);
    ::setenv("SENSORLINK_EMULATE_SIZE", "1920x1080", 1);
    ::setenv("SENSORLINK_EMULATE_FPS", "60", 1);
    ::unsetenv("LENSBRIDGE_EMULATE_VIDEO");
    ui::Application app(argc, argv);
    CPaintManagerUI::SetInstance(&app);
    std::unique_ptr<shell::CMainWnd> window = OpenStreamingMainWindow();
    if (!window)
        return 1;
    shell::CameraSession& session = *window->Session();
    CImageRenderUI* view = session.View();
    SFPrimitiveContainer& container = view->container();
    container.setTool(ToolNone);
    RunWindowFor(1);
    const Rate empty = Measure(*view, seconds, {});

    // The grid starts at the window's corner and covers the view. It is drawn
    // in a container of its own (placing a text marker on the window would
    // ask for its text) and shown in one exchange; the main window hears
    // every measurement, so its results list holds them all.
    const auto fillStart = Clock::now();
    SFPrimitiveContainer grid;
    benchscenes::FillMeasurementGrid(grid, primitives);
    container.exchangeMeasurements(grid.copyMeasurements());
    const double fillSeconds = std::chrono::duration<double>(Clock::now() - fillStart).count();
    container.setTool(ToolNone);
    RunWindowFor(1);
    const Rate idle = Measure(*view, seconds, {});
    const RECT pos = view->GetPos();
    const int width = std::max(1, int(pos.right - pos.left) - 40), height = std::max(1, int(pos.bottom - pos.top) - 40);
    const Rate hovering = Measure(*view, seconds, [&](long n) {
        TEventUI event;
        event.Type = UIEVENT_MOUSEMOVE;
        event.ptMouse = POINT{pos.left + 20 + int(n % width), pos.top + 20 + int((n / 4) % std::min(height, 50))};
        view->DoEvent(event);
    });
    std::printf("view %ldx%ld, %d measurements placed in %.2f s\n", long(pos.right - pos.left),
                long(pos.bottom - pos.top), container.count(), fillSeconds);
    std::printf("passes/s: none %.1f, idle %.1f (%.2f), hovering %.1f (%.2f); mouse move incl. the main "
                "window's handling %.0f us\n",
                empty.passesPerSecond, idle.passesPerSecond, idle.passesPerSecond / empty.passesPerSecond,
                hovering.passesPerSecond, hovering.passesPerSecond / empty.passesPerSecond, hovering.moveMicroseconds);
    window->DestroyWindow();
    window.reset();
    CResourceManager::GetInstance()->Release();
    return 0;
}
