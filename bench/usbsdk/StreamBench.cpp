// The emulated 1920x1080 camera at 60 frames/s for 10 s through the exported
// functions, with a callback that copies every frame. Reports frames
// delivered, frames lost (gaps in the block ids: ring drops and frames the
// host was too slow to read) and process CPU time per delivered frame (the
// emulated camera's work included). Then the same stream with the emulated
// optics on (the sensor takes most of a frame interval per frame) while
// another thread reads a register every 5 ms, as the window does when it
// fills its controls: how long each answer takes. Goal: a few milliseconds,
// never a frame's making.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "usbsdk/Vexel.h"
#include "usbsdk/emulator/RegisterFile.h"

namespace {

struct Sink {
    std::vector<uint8_t> copy = std::vector<uint8_t>(0x500000);
    uint64_t delivered = 0;
    uint64_t firstBlock = 0, lastBlock = 0;
    static int callback(const uint8_t* frame, int32_t size, void* userData, int32_t)
    {
        auto* self = static_cast<Sink*>(userData);
        std::memcpy(self->copy.data(), frame, static_cast<size_t>(size));
        uint64_t block = 0;
        std::memcpy(&block, frame + 8, sizeof block);
        if (self->delivered++ == 0)
            self->firstBlock = block;
        self->lastBlock = block;
        return 0;
    }
};

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The emulated 1080p60 camera, logged in, its frames going to `sink`;
// false (the benchmark skipped) when it cannot be had.
bool openEmulatedCamera(benchmark::State& state, Sink& sink)
{
    setenv("SENSORLINK_EMULATE", "1", 1);
    setenv("SENSORLINK_EMULATE_SIZE", "1920x1080", 1);
    setenv("SENSORLINK_EMULATE_FPS", "60", 1);
    if (Vexel_Init() != VEXEL_OK) {
        state.SkipWithError("init failed");
        return false;
    }
    CameraInfo list[VEXEL_MAX_CAMERAS]{};
    if (Vexel_SearchCamera(list) < 1 || Vexel_LoginCamera(&list[0]) != 0) {
        state.SkipWithError("no emulated camera");
        Vexel_UnInit();
        return false;
    }
    Vexel_SetCaptureCallback(0, &Sink::callback, &sink, 0);
    return true;
}

void BM_EmulatedFullHd60(benchmark::State& state)
{
    for (auto _ : state) {
        Sink sink;
        if (!openEmulatedCamera(state, sink))
            return;
        const double cpu0 = cpuSeconds();
        Vexel_StartCapture(0);
        std::this_thread::sleep_for(std::chrono::seconds(10));
        Vexel_StopCapture(0);
        const double cpu = cpuSeconds() - cpu0;
        Vexel_UnInit();
        const uint64_t sent = sink.delivered ? sink.lastBlock - sink.firstBlock + 1 : 0;
        state.counters["delivered"] = static_cast<double>(sink.delivered);
        state.counters["lost"] = static_cast<double>(sent - sink.delivered);
        state.counters["cpu_ms_per_frame"] = sink.delivered ? cpu * 1000.0 / static_cast<double>(sink.delivered) : 0;
    }
}
BENCHMARK(BM_EmulatedFullHd60)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_RegisterReadWhileStreamingWithOptics(benchmark::State& state)
{
    setenv("SENSORLINK_EMULATE_FOCUS", "6", 1);
    setenv("SENSORLINK_EMULATE_STAGE", "serpentine:6x6:8", 1);
    setenv("SENSORLINK_EMULATE_SHAKE", "3", 1);
    setenv("SENSORLINK_EMULATE_NOISE", "4", 1);
    setenv("SENSORLINK_EMULATE_SHADING", "35", 1);
    for (auto _ : state) {
        Sink sink;
        if (!openEmulatedCamera(state, sink))
            return;
        Vexel_StartCapture(0);
        std::this_thread::sleep_for(std::chrono::seconds(1)); // the stream settles
        std::vector<double> answers;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < end) {
            int32_t gain = 0;
            const auto asked = std::chrono::steady_clock::now();
            if (Vexel_GetParam(0, usbsdk::emulator::reg::kGain, &gain) == VEXEL_OK)
                answers.push_back(
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - asked).count());
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        Vexel_StopCapture(0);
        Vexel_UnInit();
        if (answers.empty()) {
            state.SkipWithError("no register was read");
            return;
        }
        std::sort(answers.begin(), answers.end());
        state.counters["reads"] = static_cast<double>(answers.size());
        state.counters["median_ms"] = answers[answers.size() / 2];
        state.counters["p99_ms"] = answers[answers.size() * 99 / 100];
        state.counters["max_ms"] = answers.back();
    }
    for (const char* name : {"SENSORLINK_EMULATE_FOCUS", "SENSORLINK_EMULATE_STAGE", "SENSORLINK_EMULATE_SHAKE",
                             "SENSORLINK_EMULATE_NOISE", "SENSORLINK_EMULATE_SHADING"})
        unsetenv(name);
}
BENCHMARK(BM_RegisterReadWhileStreamingWithOptics)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
