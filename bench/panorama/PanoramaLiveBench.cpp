// Live stitching inside the running program: the real main window shows the
// emulated USB3 camera live (1920 × 1080, 30 frames/s, the stage on its
// 6 × 6 serpentine at 8 pixels per frame, noise 4) while a stitcher takes
// the frames the program's analysis tap hands it, as the panorama command
// does. Reports, over `seconds` (default 60): the time one frame takes to be
// registered and placed (mean, median, 95th percentile, worst) with the live
// view drawing meanwhile, frames taken and skipped by the tap, frames placed
// per second, and the view's passes per second. Needs an X display.
#include "app/panorama/Stitcher.h"
#include "app/shell/AppConfig.h"
#include "app/shell/MainWnd.h"
#include "app/shell/Startup.h"
#include "app/shell/session/CameraSession.h"
#include "app/view/FrameAnalysis.h"
#include "app/view/ImageRenderUI.h"
#include "bench/support/RunWindowFor.h"
#include "bench/support/StreamingMainWindow.h"
#include "ui/Application.h"
#include "ui/PaintManager.h"
#include "ui/ResourceManager.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Percentile(std::vector<double> values, double share)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(share * double(values.size())))];
}

} // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::max(5.0, std::atof(argv[1])) : 60.0;
    ::setenv("SENSORLINK_EMULATE", "1", 1);
    ::setenv("SENSORLINK_EMULATE_SIZE", "1920x1080", 1);
    ::setenv("SENSORLINK_EMULATE_FPS", "30", 1);
    ::setenv("SENSORLINK_EMULATE_STAGE", "serpentine:6x6:8", 1);
    ::setenv("SENSORLINK_EMULATE_NOISE", "4", 1);
    ::unsetenv("LENSBRIDGE_EMULATE_VIDEO");
    // Settings and calibrations of a home of its own.
    char home[] = "/tmp/pellumo-panorama-bench-XXXXXX";
    if (!::mkdtemp(home))
        return 1;
    ::setenv("HOME", home, 1);
    ::setenv("XDG_CONFIG_HOME", (std::string(home) + "/config").c_str(), 1);
    ui::Application app(argc, argv);
    CPaintManagerUI::SetInstance(&app);
    std::unique_ptr<shell::CMainWnd> window = benchscenes::OpenStreamingMainWindow();
    if (!window)
        return 1;
    shell::CameraSession& session = *window->Session();
    CImageRenderUI* view = session.View();

    // The worker's figures; read once the tap is gone.
    panorama::Stitcher stitcher;
    std::vector<double> ms;
    ms.reserve(size_t(seconds * 40) + 64);
    int placed = 0;
    const int passes0 = view ? view->passesDrawn() : 0;
    const unsigned long frames0 = session.FramesDelivered();
    const auto t0 = Clock::now();
    uint64_t taken = 0, skipped = 0;
    {
        FrameAnalysis tap(session.Pipeline(), [&](const AnalysisFrame& frame) {
            const cv::Mat picture(frame.height, frame.width, CV_8UC4, const_cast<uint8_t*>(frame.rgba));
            const auto start = Clock::now();
            placed += stitcher.add(picture) == panorama::FrameOutcome::Placed;
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        });
        benchscenes::RunWindowFor(seconds);
        taken = tap.framesTaken();
        skipped = tap.framesSkipped();
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
    const int passes = (view ? view->passesDrawn() : 0) - passes0;
    const unsigned long frames = session.FramesDelivered() - frames0;
    double sum = 0;
    for (double v : ms)
        sum += v;
    std::printf("live 1920x1080@30 with the stage moving, %.1f s: camera frames %lu (%.1f/s), view passes %d "
                "(%.1f/s)\n",
                elapsed, frames, double(frames) / elapsed, passes, double(passes) / elapsed);
    std::printf("stitching: frames taken %llu, skipped while busy %llu, placed %d (%.1f/s); registration and "
                "placing per frame mean %.1f ms, median %.1f ms, 95th percentile %.1f ms, worst %.1f ms; "
                "panorama %d x %d\n",
                static_cast<unsigned long long>(taken), static_cast<unsigned long long>(skipped), placed,
                double(placed) / elapsed, ms.empty() ? 0.0 : sum / double(ms.size()), Percentile(ms, 0.5),
                Percentile(ms, 0.95), ms.empty() ? 0.0 : *std::max_element(ms.begin(), ms.end()),
                stitcher.canvas().bounds().width, stitcher.canvas().bounds().height);
    // The program's end does not flush standard output.
    std::fflush(stdout);
    window->DestroyWindow();
    window.reset();
    CResourceManager::GetInstance()->Release();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return 0;
}
