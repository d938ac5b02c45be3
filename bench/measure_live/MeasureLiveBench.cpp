// 1000 measurements of mixed kinds over a live 1920×1080 picture at 60
// frames/s in a 1000×800 view, scale bar on: drawing passes per second, then
// the time of one mouse movement over the measurements (the hit test across
// all of them and the redraw request) while the render thread draws, and the
// passes per second meanwhile (the measurements are drawn anew after each
// change).
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bin/bench_measure_live

#include "app/view/ImageRenderUI.h"
#include "bench/support/BenchScenes.h"
#include "ui/Application.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <thread>
#include <vector>

namespace {

constexpr int kW = 1920, kH = 1080;
constexpr int kFps = 60;
constexpr int kPrimitives = 1000;

class NoWindow : public platform::MessageHandler {
public:
    platform::LRESULT handleMessage(platform::UINT, platform::WPARAM, platform::LPARAM) override { return 0; }
};

CImageRenderUI* g_view = nullptr;

void BM_Measurements1000OverLive1080p60(benchmark::State& state)
{
    const auto frames = benchscenes::MakeRgbaFrames(kW, kH);
    const auto period = std::chrono::microseconds(1'000'000 / kFps);
    for (auto _ : state) {
        std::atomic<bool> stop{false};
        const int passesBefore = g_view->passesDrawn();
        const auto start = std::chrono::steady_clock::now();
        std::thread capture([&] {
            auto next = std::chrono::steady_clock::now();
            for (int i = 0; !stop; ++i) {
                g_view->updateFrame(kW, kH, frames[size_t(i) % frames.size()].data());
                next += period;
                std::this_thread::sleep_until(next);
            }
        });
        // First the live picture alone, then mouse movements over the
        // measurements between the UI's own events.
        ui::Application::processEventsFor(5000);
        const double liveSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const int livePasses = g_view->passesDrawn() - passesBefore;
        const RECT pos = g_view->GetPos();
        double moveSeconds = 0;
        long moves = 0;
        const auto movesStart = std::chrono::steady_clock::now();
        const int passesBeforeMoves = g_view->passesDrawn();
        while (std::chrono::steady_clock::now() - movesStart < std::chrono::seconds(3)) {
            for (int i = 0; i < 10; ++i, ++moves) {
                TEventUI event;
                event.Type = UIEVENT_MOUSEMOVE;
                event.ptMouse = POINT{pos.left + 20 + int(moves % 900), pos.top + 300 + int(moves % 50)};
                const auto before = std::chrono::steady_clock::now();
                g_view->DoEvent(event);
                moveSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
            }
            ui::Application::processEventsFor(10);
        }
        const double movesSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - movesStart).count();
        stop = true;
        capture.join();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        state.counters["passes_per_s"] = livePasses / liveSeconds;
        state.counters["passes_per_s_moving"] = (g_view->passesDrawn() - passesBeforeMoves) / movesSeconds;
        state.counters["move_us"] = 1e6 * moveSeconds / double(moves);
        state.counters["primitives"] = g_view->container().count();
    }
}

} // namespace

int main(int argc, char** argv)
{
    X11ChildWindow::initThreads();
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    ui::Application app(argc, argv);
    benchmark::Initialize(&argc, argv);

    NoWindow mainWindow;
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
    benchscenes::FillMeasurementGrid(view.container(), kPrimitives);
    view.showScaleBar(true);
    g_view = &view;
    benchmark::RegisterBenchmark("BM_Measurements1000OverLive1080p60", BM_Measurements1000OverLive1080p60)
        ->UseManualTime()
        ->Iterations(2)
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    view.detachWindow();
    return 0;
}
