// The render thread under a 1920×1080 stream at 60 frames/s, drawn into a
// 1000×800 view with the recording overlay on: passes drawn per second and
// the CPU time of the whole process (capture hand-over, upload, drawing) per
// second of wall time. Needs an X display:
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bin/bench_render_view

#include "app/view/ImageRenderUI.h"
#include "bench/support/BenchScenes.h"
#include "ui/Application.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

constexpr int kW = 1920, kH = 1080;
constexpr int kFps = 60;

class NoWindow : public platform::MessageHandler {
public:
    platform::LRESULT handleMessage(platform::UINT, platform::WPARAM, platform::LPARAM) override { return 0; }
};

CImageRenderUI* g_view = nullptr;

void BM_RenderView1080pAt60(benchmark::State& state)
{
    const auto frames = benchscenes::MakeRgbaFrames(kW, kH);
    const auto period = std::chrono::microseconds(1'000'000 / kFps);
    for (auto _ : state) {
        std::atomic<bool> stop{false};
        std::atomic<int> delivered{0};
        const int passesBefore = g_view->passesDrawn();
        const double cpuBefore = benchscenes::ProcessCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        std::thread capture([&] {
            auto next = std::chrono::steady_clock::now();
            for (int i = 0; !stop; ++i) {
                g_view->updateFrame(kW, kH, frames[size_t(i) % frames.size()].data());
                ++delivered;
                next += period;
                std::this_thread::sleep_until(next);
            }
        });
        ui::Application::processEventsFor(5000);
        stop = true;
        capture.join();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double cpu = benchscenes::ProcessCpuSeconds() - cpuBefore;
        state.SetIterationTime(seconds);
        state.counters["frames_in_per_s"] = delivered / seconds;
        state.counters["passes_per_s"] = (g_view->passesDrawn() - passesBefore) / seconds;
        state.counters["cpu_percent"] = 100.0 * cpu / seconds;
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
    if (!view.loadOverlayResources())
        std::fprintf(stderr, "overlay resources missing\n");
    view.SetFixedWidth(1000);
    view.SetFixedHeight(800);
    view.SetVisible(true);
    for (int i = 0; i < 200 && view.GetWidth() != 1000; ++i)
        ui::Application::processEventsFor(10);
    if (view.attachWindow(&mainWindow) != 1) {
        std::fprintf(stderr, "no X11 display: run under xvfb-run\n");
        return 1;
    }
    view.showRecordingIndicator(true);
    g_view = &view;
    benchmark::RegisterBenchmark("BM_RenderView1080pAt60", BM_RenderView1080pAt60)
        ->UseManualTime()
        ->Iterations(2)
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    view.detachWindow();
    return 0;
}
