// MP4 encoding throughput at 1920x1080: frames per second through
// Mp4Recorder::writeFrame; and what a live recording with the encoder on its
// own thread costs the capture thread per frame at 60 frames/s, with the
// share of frames the encoder could not keep up with. `--dump-frames FILE N` writes the same N frames as
// raw I420 so the ffmpeg command line can encode them for comparison:
//   ffmpeg -f rawvideo -pix_fmt yuv420p -s 1920x1080 -i FILE -c:v libx264
//          -preset ultrafast -profile:v baseline -y out.mp4

#include "app/view/Mp4Recorder.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {
constexpr int kW = 1920, kH = 1080;
constexpr size_t kFrameBytes = size_t(kW) * kH * 3 / 2;

// A moving gradient with some texture, so the encoder has real work.
std::vector<uint8_t> frameAt(int index)
{
    std::vector<uint8_t> yuv(kFrameBytes);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            yuv[size_t(y) * kW + x] = uint8_t((x + index * 4) ^ (y / 3));
    for (size_t i = size_t(kW) * kH; i < kFrameBytes; ++i)
        yuv[i] = uint8_t(128 + ((i / 64 + index) % 32));
    return yuv;
}

void BM_Mp4Encode1080p(benchmark::State& state)
{
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < 30; ++i)
        frames.push_back(frameAt(i));
    const auto path = std::filesystem::temp_directory_path() / "pellumo-bench.mp4";
    int64_t fakeNow = 1'000'000;
    Mp4Recorder recorder(Mp4Recorder::Options(Mp4Recorder::Clock{[&] { return fakeNow; }, [](int64_t) {}}));
    if (!recorder.open(kW, kH, path.c_str())) {
        state.SkipWithError("open failed");
        return;
    }
    size_t i = 0;
    for (auto _ : state) {
        recorder.writeFrame(frames[i++ % frames.size()].data());
        fakeNow += 33'333;
    }
    recorder.close();
    std::filesystem::remove(path);
    state.counters["frames_per_second"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

// The capture thread's time in writeFrame (the copy into a free slot) for
// frames that come at 60 a second, as the record command sets the recorder up.
void BM_Mp4QueuedFrame1080p60(benchmark::State& state)
{
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < 30; ++i)
        frames.push_back(frameAt(i));
    const auto path = std::filesystem::temp_directory_path() / "pellumo-bench-queued.mp4";
    Mp4Recorder::Options options;
    options.frameRate = 60;
    options.queuedFrames = 4;
    options.replaceExisting = true;
    Mp4Recorder recorder(std::move(options));
    if (!recorder.open(kW, kH, path.c_str())) {
        state.SkipWithError("open failed");
        return;
    }
    size_t i = 0;
    auto next = std::chrono::steady_clock::now();
    for (auto _ : state) {
        std::this_thread::sleep_until(next);
        next += std::chrono::microseconds(16'667);
        const auto start = std::chrono::steady_clock::now();
        recorder.writeFrame(frames[i++ % frames.size()].data());
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    const int64_t dropped = recorder.framesDropped();
    recorder.close();
    std::filesystem::remove(path);
    state.counters["dropped_percent"] = 100.0 * double(dropped) / double(std::max<int64_t>(1, state.iterations()));
}
} // namespace

BENCHMARK(BM_Mp4Encode1080p)->Unit(benchmark::kMillisecond)->Iterations(300)->UseRealTime();
BENCHMARK(BM_Mp4QueuedFrame1080p60)->Unit(benchmark::kMillisecond)->Iterations(600)->UseManualTime();

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--dump-frames") == 0) {
        FILE* out = std::fopen(argv[2], "wb");
        if (!out)
            return 1;
        const int count = std::stoi(argv[3]);
        std::vector<std::vector<uint8_t>> frames;
        for (int i = 0; i < 30; ++i)
            frames.push_back(frameAt(i));
        for (int i = 0; i < count; ++i)
            std::fwrite(frames[i % 30].data(), 1, kFrameBytes, out);
        std::fclose(out);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
