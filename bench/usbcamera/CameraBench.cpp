// The emulated 1920x1080 camera at 60 frames/s through lensbridge for 10 s,
// opened with CMFactory as the program opens it. Reports the frames delivered
// to the host callback, the frames the SDK dropped (gaps in the frame numbers
// the emulator stamps into each frame), the process CPU time per delivered
// frame (emulated camera included) and the CPU time of the delivery thread per
// frame (the SDK's hand-over plus lensbridge's frame path up to the host).
#include "camera/factory/CMFactory.h"
#include "usbsdk/emulator/FrameStamp.h"

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>

#include <chrono>
#include <memory>
#include <thread>

namespace {

double cpuSeconds(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Touched only by the delivery thread while the preview runs.
struct HostSink {
    uint64_t delivered = 0;
    uint64_t firstNumber = 0, lastNumber = 0;
    double firstThreadCpu = 0, lastThreadCpu = 0;
    uint64_t wrongFrames = 0;

    static int callback(void* user, int kind, long param1, long)
    {
        auto* self = static_cast<HostSink*>(user);
        const auto* image = reinterpret_cast<const CWImage*>(param1);
        if (kind != 0 || image->width != 1920 || image->height != 1080) {
            ++self->wrongFrames;
            return 0;
        }
        const auto stamp = usbsdk::emulator::FrameStamp::read(image->data, image->dataSize);
        const uint64_t number = stamp ? stamp->frameNumber : 0;
        const double cpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        if (self->delivered++ == 0) {
            self->firstNumber = number;
            self->firstThreadCpu = cpu;
        }
        self->lastNumber = number;
        self->lastThreadCpu = cpu;
        return 0;
    }
};

void BM_LensbridgeEmulatedFullHd60(benchmark::State& state)
{
    setenv("PELLUMO_DEBUG_LOG", "off", 1);
    setenv("SENSORLINK_EMULATE", "1", 1);
    setenv("SENSORLINK_EMULATE_SIZE", "1920x1080", 1);
    setenv("SENSORLINK_EMULATE_FPS", "60", 1);
    setenv("SENSORLINK_EMULATE_STAMP", "1", 1);
    for (auto _ : state) {
        HostSink sink;
        CMCameraBase* camera = CMFactory::GetCamera(0, 0, nullptr, 0, nullptr, nullptr, false);
        if (!camera) {
            state.SkipWithError("no emulated camera");
            return;
        }
        camera->Init(&HostSink::callback, &sink, 1920, 1080);
        const double cpu0 = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        camera->startPreview();
        std::this_thread::sleep_for(std::chrono::seconds(10));
        camera->stopPreview();
        const double cpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
        camera->Release();
        delete camera;

        const uint64_t sent = sink.delivered ? sink.lastNumber - sink.firstNumber + 1 : 0;
        const double frames = static_cast<double>(sink.delivered);
        state.counters["delivered"] = frames;
        state.counters["dropped"] = static_cast<double>(sent - sink.delivered);
        state.counters["wrong_frames"] = static_cast<double>(sink.wrongFrames);
        state.counters["process_cpu_ms_per_frame"] = frames > 0 ? cpu * 1000.0 / frames : 0;
        state.counters["delivery_cpu_ms_per_frame"] =
            frames > 1 ? (sink.lastThreadCpu - sink.firstThreadCpu) * 1000.0 / (frames - 1) : 0;
    }
}
BENCHMARK(BM_LensbridgeEmulatedFullHd60)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
