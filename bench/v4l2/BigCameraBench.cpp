// The emulated 5 MP (2592 × 1944) and 4K (3840 × 2160) MJPEG cameras at 30
// frames/s through lensbridge and the program's frame pipeline into a view
// that shows the picture at full size (reduction 1) or at half size
// (reduction 2, a 1920-pixel-wide view fitting the picture), for
// BIG_CAMERA_BENCH_SECONDS (default 30) each. Reports frames the camera
// delivered and frames that reached the view per second, frames lost before
// the view (30 per second less those that reached it) and those of them the
// decoding queue dropped, the delay from the frame leaving the driver (the
// camera's callback, right after the dequeue) to the view receiving the
// decoded picture (median and 99th percentile; the whole program's benchmark
// measures it to the drawing pass), process CPU time per frame, and
// TurboJPEG's own full-size decode time of the same frames (taken after the
// run). Each picture carries the emulator's stamp; a picture whose stamp
// cannot be read counts as wrong.
#include "app/view/FramePipeline.h"
#include "app/view/FrameSink.h"
#include "bench/support/ProcessCpuTime.h"
#include "camera/factory/CMFactory.h"
#include "camera/v4l2/EmulatedPictures.h"

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <turbojpeg.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr int kRate = 30;
using Clock = std::chrono::steady_clock;

int benchSeconds()
{
    const char* text = std::getenv("BIG_CAMERA_BENCH_SECONDS");
    const int seconds = text ? std::atoi(text) : 30;
    return seconds > 0 ? seconds : 30;
}

// Stands in for the view; everything runs on the capture thread.
class ViewSink : public FrameSink {
public:
    explicit ViewSink(int reduction) : m_reduction(reduction) {}
    int pictureReduction() const override { return m_reduction; }
    void updateFrame(int, int, const uint8_t*) override {}
    void updateReducedFrame(int width, int height, const uint8_t* rgba, int, int, FrameTime dequeued) override
    {
        delays.push_back(std::chrono::duration<double, std::milli>(Clock::now() - dequeued).count());
        if (v4l2::readSpecimenStamp(rgba, width, height) < 0)
            ++wrong;
    }

    std::vector<double> delays;
    int wrong = 0;

private:
    const int m_reduction;
};

struct Host {
    FramePipeline* pipeline = nullptr;
    ViewSink* sink = nullptr;
    std::atomic<int> frames{0};              // from the camera
    std::vector<std::vector<uint8_t>> jpegs; // a few frames for the decode timing

    static int callback(void* user, int kind, long param1, long param2)
    {
        auto* self = static_cast<Host*>(user);
        if (kind == 0)
            ++self->frames;
        const auto* image = reinterpret_cast<const CWImage*>(param1);
        if (kind == 0 && image && self->jpegs.size() < 8)
            self->jpegs.emplace_back(image->data, image->data + image->dataSize);
        return FramePipeline::frameCallback(self->pipeline, kind, param1, param2);
    }
};

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size())))];
}

void run(benchmark::State& state, int position, int width, int height)
{
    setenv("PELLUMO_DEBUG_LOG", "off", 1);
    setenv("LENSBRIDGE_EMULATE_VIDEO", "0", 1);
    setenv("LENSBRIDGE_EMULATE_VIDEO_PROFILES", "5mp,4k", 1);
    const int seconds = benchSeconds();
    const int reduction = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::vector<_tag_VideoDeviceList> groups;
        CMFactory::GetVideoDeviceList(&groups);
        if (groups.empty() || groups[0].type != 0 || groups[0].devices.size() < 2) {
            state.SkipWithError("no emulated video cameras");
            return;
        }
        // The two emulated cameras come after any real one.
        const unsigned index = static_cast<unsigned>(groups[0].devices.size() - 2 + position);
        CMCameraBase* camera = CMFactory::GetCamera(0, index, nullptr, 0, nullptr, nullptr, false);
        FramePipeline pipeline;
        ViewSink sink(reduction);
        pipeline.setSink(&sink);
        Host host;
        host.pipeline = &pipeline;
        host.sink = &sink;
        camera->SetFormat(FMT_MJPG);
        if (camera->Init(&Host::callback, &host, width, height) != 0) {
            state.SkipWithError("camera did not open");
            delete camera;
            return;
        }
        // Settle: the emulated device makes its 16 pictures during the first seconds.
        std::this_thread::sleep_for(std::chrono::seconds(4));
        int frames0 = 0;
        int64_t dropped0 = 0;
        {
            std::lock_guard guard(pipeline.lock());
            sink.delays.clear();
            sink.wrong = 0;
            frames0 = host.frames;
            dropped0 = pipeline.framesDropped();
        }
        const double cpu0 = benchscenes::ProcessCpuSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        std::vector<double> delays;
        int wrong = 0;
        int cameraFrames = 0;
        int64_t dropped = 0;
        {
            std::lock_guard guard(pipeline.lock());
            delays = sink.delays;
            wrong = sink.wrong;
            cameraFrames = host.frames - frames0;
            dropped = pipeline.framesDropped() - dropped0;
        }
        const double cpu = benchscenes::ProcessCpuSeconds() - cpu0;
        camera->Release();
        delete camera;

        // TurboJPEG alone, full size, on the same frames.
        double decodeMs = 0;
        int decoded = 0;
        tjhandle decoder = tjInitDecompress();
        std::vector<uint8_t> rgba(size_t(width) * height * 4);
        for (const auto& jpeg : host.jpegs) {
            const auto t0 = Clock::now();
            if (tjDecompress2(decoder, jpeg.data(), jpeg.size(), rgba.data(), width, width * 4, height, TJPF_RGBA,
                              0x1D00) == 0) {
                decodeMs += std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
                ++decoded;
            }
        }
        tjDestroy(decoder);

        const double frames = static_cast<double>(delays.size());
        const double expected = static_cast<double>(seconds) * kRate;
        state.counters["view_frames_per_s"] = frames / seconds;
        state.counters["camera_frames_per_s"] = static_cast<double>(cameraFrames) / seconds;
        state.counters["lost_before_view"] = frames < expected ? expected - frames : 0.0;
        state.counters["dropped_by_decode_queue"] = static_cast<double>(dropped);
        state.counters["wrong_pictures"] = wrong;
        state.counters["delay_median_ms"] = percentile(delays, 0.5);
        state.counters["delay_p99_ms"] = percentile(delays, 0.99);
        state.counters["cpu_ms_per_frame"] = frames > 0 ? cpu / frames * 1e3 : 0.0;
        state.counters["jpeg_bytes"] = host.jpegs.empty() ? 0.0 : static_cast<double>(host.jpegs[0].size());
        state.counters["turbojpeg_full_decode_ms"] = decoded ? decodeMs / decoded : 0.0;
    }
}

void BM_FiveMegapixelMjpeg30(benchmark::State& state) { run(state, 0, 2592, 1944); }
void BM_FourKMjpeg30(benchmark::State& state) { run(state, 1, 3840, 2160); }

BENCHMARK(BM_FiveMegapixelMjpeg30)->Arg(1)->Arg(2)->ArgName("reduction")->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_FourKMjpeg30)->Arg(1)->Arg(2)->ArgName("reduction")->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
