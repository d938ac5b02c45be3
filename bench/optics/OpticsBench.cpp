// What the emulated optics cost the emulated cameras per 1920 × 1080 frame:
// the USB3 camera's packed 4:2:2 and the video camera's YUYV and MJPEG, with
// every setting on (focus sweeping every 6 s, the 6 × 6 serpentine at 8
// pixels a frame, 3 pixels of shake, noise 4, shading 35 %), frame after
// frame as a stream makes them; the first sweep pays for making the focus
// levels' tiles, later frames reuse most of them. The plain picture's copy
// is measured beside them. Goal: well under 16.7 ms (60 frames/s) for the
// USB3 camera and 33 ms (30 frames/s) for the video camera on one core.
#include "camera/v4l2/EmulatedOptics.h"
#include "optics/FocusLevels.h"
#include "usbsdk/emulator/OpticalScene.h"
#include "usbsdk/emulator/SyntheticScene.h"

#include <benchmark/benchmark.h>
#include <linux/videodev2.h>

#include <cstring>
#include <vector>

namespace {

optics::OpticsSettings everySetting()
{
    optics::OpticsSettings s;
    s.on = true;
    s.focusPeriodSeconds = 6;
    s.stage = {6, 6, 8};
    s.shakePixels = 3;
    s.noiseLevels = 4;
    s.shadingPercent = 35;
    return s;
}

usbsdk::emulator::SceneSettings fullHd()
{
    usbsdk::emulator::SceneSettings s;
    s.width = 1920;
    s.height = 1080;
    return s;
}

void countTiles(benchmark::State& state, uint64_t tilesBefore)
{
    state.counters["tiles made per frame"] = benchmark::Counter(
        static_cast<double>(optics::FocusLevels::instance().tilesMade() - tilesBefore) / state.iterations());
}

// Frames 0 … n in order; the first run of each benchmark begins a new stream.
void BM_UsbCameraFrame(benchmark::State& state)
{
    usbsdk::emulator::OpticalScene scene(everySetting(), 60);
    std::vector<uint8_t> out;
    uint64_t frame = static_cast<uint64_t>(state.range(0));
    const uint64_t tiles = optics::FocusLevels::instance().tilesMade();
    for (auto _ : state) {
        scene.render(fullHd(), frame++, out, usbsdk::stream::kPixelFormatYuv422);
        benchmark::DoNotOptimize(out.data());
    }
    countTiles(state, tiles);
}
// First sweep (6 s at 60 frames/s) from a cold start, then the second one.
BENCHMARK(BM_UsbCameraFrame)->Arg(0)->Iterations(360)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UsbCameraFrame)->Arg(360)->Iterations(360)->Unit(benchmark::kMillisecond);

void BM_VideoCameraFrame(benchmark::State& state)
{
    v4l2::EmulatedOptics optics(everySetting(), 30);
    const uint32_t fourcc = static_cast<uint32_t>(state.range(0));
    std::vector<uint8_t> buffer(1920 * 1080 * 3);
    uint64_t frame = 0;
    const uint64_t tiles = optics::FocusLevels::instance().tilesMade();
    for (auto _ : state) {
        benchmark::DoNotOptimize(optics.render(frame++, fourcc, 1920, 1080, 0.5, buffer.data(), buffer.size()));
    }
    countTiles(state, tiles);
}
BENCHMARK(BM_VideoCameraFrame)->Arg(V4L2_PIX_FMT_YUYV)->Iterations(180)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VideoCameraFrame)->Arg(V4L2_PIX_FMT_MJPEG)->Iterations(180)->Unit(benchmark::kMillisecond);

// The plain scene: a copy of the picture rendered once (what a frame costs without the optics).
void BM_PlainFrameCopy(benchmark::State& state)
{
    std::vector<uint8_t> scene, payload;
    usbsdk::emulator::renderScene(fullHd(), scene);
    for (auto _ : state) {
        payload = scene;
        benchmark::DoNotOptimize(payload.data());
    }
}
BENCHMARK(BM_PlainFrameCopy)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
