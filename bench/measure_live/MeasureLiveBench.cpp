// 1000 measurements of mixed kinds over a live 1920×1080 picture at 60
// frames/s in a 1000×800 view, scale bar on: drawing passes per second, then
// the time of one mouse movement over the measurements (the hit test across
// all of them and the redraw request) while the render thread draws, and the
// passes per second meanwhile (the measurements are drawn anew after each
// change).
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bin/bench_measure_live

#include "app/view/ImageRenderUI.h"
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

// Places kPrimitives shapes of every finished-by-clicks kind on a grid.
void fill(SFPrimitiveContainer& c)
{
    static const int tools[] = {ToolPoint,        ToolLine,       ToolLineDistance,  ToolRect,
                                ToolCircle,       ToolCircle2,    ToolCircle3,       ToolArc,
                                ToolAngle,        ToolText,       ToolPerpendicular, ToolParallel,
                                ToolConcentrical, ToolTwoCircles, ToolTwoCircles2,   ToolTwoCircles3};
    static const int clicks[] = {1, 2, 4, 2, 2, 2, 3, 3, 3, 2, 3, 4, 3, 4, 4, 6};
    const int kinds = static_cast<int>(std::size(tools));
    for (int i = 0; i < kPrimitives; ++i) {
        // Cells large enough that no click lands on a neighbour's shape or label.
        const float ox = static_cast<float>((i % 16) * 120), oy = static_cast<float>((i / 16) * 80);
        const int k = i % kinds;
        c.setTool(tools[k]);
        const sf::Vector2f offsets[] = {{4, 4}, {30, 6}, {6, 30}, {30, 30}, {16, 10}, {12, 34}};
        for (int n = 0; n < clicks[k]; ++n) {
            const sf::Vector2f p(ox + offsets[n].x, oy + offsets[n].y);
            c.onMouseMove(p.x, p.y);
            c.onMousePress(p.x, p.y);
            c.onMouseRelease(p.x, p.y);
        }
        c.onMouseMove(-1000, -1000);
    }
    c.setTool(ToolMove);
}

std::vector<std::vector<uint8_t>> makeFrames()
{
    std::vector<std::vector<uint8_t>> frames(4, std::vector<uint8_t>(size_t(kW) * kH * 4));
    for (size_t f = 0; f < frames.size(); ++f)
        for (size_t i = 0; i < frames[f].size(); i += 4) {
            const size_t pixel = i / 4, x = pixel % kW, y = pixel / kW;
            frames[f][i] = uint8_t(x + f * 16);
            frames[f][i + 1] = uint8_t(y);
            frames[f][i + 2] = uint8_t(x ^ y);
            frames[f][i + 3] = 255;
        }
    return frames;
}

void BM_Measurements1000OverLive1080p60(benchmark::State& state)
{
    const auto frames = makeFrames();
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
    fill(view.container());
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
