// 1000 measurements of mixed kinds over a live 1920×1080 picture at 60
// frames/s in a 1000×800 view, scale bar on. In one run: drawing passes per
// second with no measurements, then with 1000 while idle, while the mouse
// hovers over them, while one is dragged and while the view is zoomed ×4;
// the process's CPU time per pass in each case (capture, UI and drawing
// threads together: less at the mercy of other load on the machine than the
// rate); and the time of one mouse movement including the main window's
// handling of the hover report (the record read back, as the results list
// does; bench_measure_window times the real window).
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/bin/bench_measure_live

#include "app/common/AppMessages.h"
#include "app/view/ImageRenderUI.h"
#include "bench/support/BenchScenes.h"
#include "ui/Application.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <thread>
#include <vector>

namespace {

constexpr int kW = 1920, kH = 1080;
constexpr int kFps = 60;
constexpr int kPrimitives = 1000;
using Clock = std::chrono::steady_clock;

CImageRenderUI* g_view = nullptr;

// Stands in for the main window: a hover report reads the record back, as
// the results list's refresh does.
class MainWindowStandIn : public platform::MessageHandler {
public:
    platform::LRESULT handleMessage(platform::UINT message, platform::WPARAM wParam, platform::LPARAM) override
    {
        if (message == WM_MEASURE_CHANGED && g_view)
            last = g_view->container().measureData(int(wParam));
        return 0;
    }
    MeasureData last;
};

void send(int type, int x, int y)
{
    TEventUI event;
    event.Type = type;
    event.ptMouse = POINT{x, y};
    g_view->DoEvent(event);
}

// Passes per second over `seconds` while `step` runs between the UI's own
// events (nothing when empty); the process's CPU time per pass goes to
// `cpuMsPerPass`, the time of the steps to `stepSeconds`.
double passesPerSecond(double seconds, const std::function<void(long)>& step, double* cpuMsPerPass,
                       double* stepSeconds = nullptr, long* steps = nullptr)
{
    const int before = g_view->passesDrawn();
    const double cpuBefore = benchscenes::ProcessCpuSeconds();
    const auto start = Clock::now();
    long n = 0;
    double spent = 0;
    while (Clock::now() - start < std::chrono::duration<double>(seconds)) {
        if (step) {
            for (int i = 0; i < 10; ++i, ++n) {
                const auto t = Clock::now();
                step(n);
                spent += std::chrono::duration<double>(Clock::now() - t).count();
            }
            ui::Application::processEventsFor(10);
        } else {
            ui::Application::processEventsFor(50);
        }
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    if (stepSeconds)
        *stepSeconds = spent;
    if (steps)
        *steps = n;
    const int passes = g_view->passesDrawn() - before;
    *cpuMsPerPass = passes > 0 ? 1e3 * (benchscenes::ProcessCpuSeconds() - cpuBefore) / passes : 0.0;
    return passes / elapsed;
}

void BM_Measurements1000OverLive1080p60(benchmark::State& state)
{
    const auto frames = benchscenes::MakeRgbaFrames(kW, kH);
    const auto period = std::chrono::microseconds(1'000'000 / kFps);
    for (auto _ : state) {
        std::atomic<bool> stop{false};
        const auto start = Clock::now();
        std::thread capture([&] {
            auto next = Clock::now();
            for (int i = 0; !stop; ++i) {
                g_view->updateFrame(kW, kH, frames[size_t(i) % frames.size()].data());
                next += period;
                std::this_thread::sleep_until(next);
            }
        });
        SFPrimitiveContainer& c = g_view->container();
        const RECT pos = g_view->GetPos();
        c.clearAll(false);
        ui::Application::processEventsFor(1000);
        double cpu[5] = {};
        const double empty = passesPerSecond(4, {}, &cpu[0]);
        benchscenes::FillMeasurementGrid(c, kPrimitives);
        c.setTool(ToolNone);
        ui::Application::processEventsFor(1000);
        const double idle = passesPerSecond(4, {}, &cpu[1]);
        double moveSeconds = 0;
        long moves = 0;
        const double hovering = passesPerSecond(
            4, [&](long n) { send(UIEVENT_MOUSEMOVE, pos.left + 20 + int(n % 900), pos.top + 300 + int(n % 50)); },
            &cpu[2], &moveSeconds, &moves);
        // Drag the line of the second grid cell (drawn at the same host
        // positions) up and down with the move tool.
        c.setTool(ToolMove);
        send(UIEVENT_MOUSEMOVE, 137, 5);
        send(UIEVENT_BUTTONDOWN, 137, 5);
        const double dragging = passesPerSecond(
            4, [&](long n) { send(UIEVENT_MOUSEMOVE, 137, 5 + int(n % 40)); }, &cpu[3]);
        send(UIEVENT_BUTTONUP, 137, 5);
        c.setTool(ToolNone);
        g_view->zoomAbout(4, 500, 400);
        const double zoomed = passesPerSecond(4, {}, &cpu[4]);
        g_view->zoomToFit();
        stop = true;
        capture.join();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        state.counters["passes_per_s_0"] = empty;
        state.counters["passes_per_s_idle"] = idle;
        state.counters["passes_per_s_hover"] = hovering;
        state.counters["passes_per_s_drag"] = dragging;
        state.counters["passes_per_s_zoom4"] = zoomed;
        state.counters["ratio_min"] = std::min({idle, hovering, dragging, zoomed}) / empty;
        state.counters["move_us"] = 1e6 * moveSeconds / double(moves);
        state.counters["cpu_ms_per_pass_0"] = cpu[0];
        state.counters["cpu_ms_per_pass_idle"] = cpu[1];
        state.counters["cpu_ms_per_pass_hover"] = cpu[2];
        state.counters["cpu_ms_per_pass_drag"] = cpu[3];
        state.counters["cpu_ms_per_pass_zoom4"] = cpu[4];
        state.counters["primitives"] = c.count();
    }
}

} // namespace

int main(int argc, char** argv)
{
    X11ChildWindow::initThreads();
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    ui::Application app(argc, argv);
    benchmark::Initialize(&argc, argv);

    MainWindowStandIn mainWindow;
    CImageRenderUI view;
    view.SetFixedWidth(1000);
    view.SetFixedHeight(800);
    view.SetVisible(true);
    for (int i = 0; i < 200 && view.GetWidth() != 1000; ++i)
        ui::Application::processEventsFor(10);
    if (view.attachWindow(&mainWindow) != 1) {
        std::fprintf(stderr, "no X11 display: run under xvfb-run\n");
        return 1;
    }
    view.showScaleBar(true);
    g_view = &view;
    benchmark::RegisterBenchmark("BM_Measurements1000OverLive1080p60", BM_Measurements1000OverLive1080p60)
        ->UseManualTime()
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_view = nullptr;
    view.detachWindow();
    return 0;
}
