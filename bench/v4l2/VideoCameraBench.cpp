// An emulated video camera at 1920 × 1080 and 30 frames/s through lensbridge
// for 30 s, once as YUYV and once as MJPEG, opened with CMFactory as the
// program opens it. Reports frames delivered to the host callback, frames
// dropped (the 30 s × 30 frames/s the camera sends, less those delivered),
// process CPU time per frame (the emulated device's filling of its buffers
// included), CPU time of the capture thread per frame, and the number of
// distinct buffers the frames pointed into: frames that point into the
// device's own few mapped buffers reached the host without any copy.
#include "camera/factory/CMFactory.h"

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>

#include <chrono>
#include <set>
#include <thread>

namespace {

constexpr int kSeconds = 30;
constexpr int kRate = 30;

double cpuSeconds(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Touched only by the capture thread while the camera runs.
struct HostSink {
    int wantedFormat = 0;
    uint64_t delivered = 0, wrong = 0;
    double firstThreadCpu = 0, lastThreadCpu = 0;
    std::set<const unsigned char*> buffers;

    static int callback(void* user, int kind, long param1, long)
    {
        auto* self = static_cast<HostSink*>(user);
        const auto* image = reinterpret_cast<const CWImage*>(param1);
        if (kind != 0 || image->width != 1920 || image->height != 1080 || image->format != self->wantedFormat) {
            ++self->wrong;
            return 0;
        }
        const double cpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        if (self->delivered++ == 0)
            self->firstThreadCpu = cpu;
        self->lastThreadCpu = cpu;
        if (self->buffers.size() < 64)
            self->buffers.insert(image->data);
        return 0;
    }
};

void runFullHd(benchmark::State& state, int format)
{
    setenv("PELLUMO_DEBUG_LOG", "off", 1);
    setenv("LENSBRIDGE_EMULATE_VIDEO", "1", 1);
    for (auto _ : state) {
        std::vector<_tag_VideoDeviceList> groups;
        CMFactory::GetVideoDeviceList(&groups);
        if (groups.empty() || groups[0].type != 0) {
            state.SkipWithError("no video camera");
            return;
        }
        // The emulated camera comes after any real one.
        const unsigned index = static_cast<unsigned>(groups[0].devices.size() - 1);
        CMCameraBase* camera = CMFactory::GetCamera(0, index, nullptr, 0, nullptr, nullptr, false);
        HostSink sink;
        sink.wantedFormat = format;
        camera->SetFormat(format); // before Init: the format Init asks for
        if (camera->Init(&HostSink::callback, &sink, 1920, 1080) != 0) {
            state.SkipWithError("camera did not open");
            delete camera;
            return;
        }
        // Settle: the emulated device makes its pictures during the first second.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        const uint64_t before = sink.delivered;
        const double cpu0 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        const double thread0 = sink.lastThreadCpu;
        std::this_thread::sleep_for(std::chrono::seconds(kSeconds));
        const double cpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
        const uint64_t frames = sink.delivered - before;
        const double threadCpu = sink.lastThreadCpu - thread0;
        camera->Release();
        delete camera;

        const double expected = kSeconds * kRate;
        state.counters["delivered"] = static_cast<double>(frames);
        state.counters["dropped"] = frames < expected ? expected - static_cast<double>(frames) : 0.0;
        state.counters["wrong_frames"] = static_cast<double>(sink.wrong);
        state.counters["cpu_us_per_frame"] = frames ? cpu / static_cast<double>(frames) * 1e6 : 0.0;
        state.counters["capture_thread_us_per_frame"] = frames ? threadCpu / static_cast<double>(frames) * 1e6 : 0.0;
        state.counters["distinct_buffers"] = static_cast<double>(sink.buffers.size());
    }
}

void BM_VideoFullHdYuyv30(benchmark::State& state) { runFullHd(state, FMT_YUY2); }
void BM_VideoFullHdMjpeg30(benchmark::State& state) { runFullHd(state, FMT_MJPG); }

BENCHMARK(BM_VideoFullHdYuyv30)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_VideoFullHdMjpeg30)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
