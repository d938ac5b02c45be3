// Snapshots and recording from the emulated 1920x1080 camera at 30 frames/s,
// through the program's own frame path (FramePipeline) and snapshot classes.
//
// BM_SnapshotUiThread/<type>: the time the UI thread is blocked per snapshot
//   (Snap of the next frame, conversion and pixel processing under the
//   pipeline's lock, hand-over to the saver) and, separately, the saver's
//   encoding and writing time, for TIFF, PNG, BMP and JPEG.
// BM_Recording1080p30: records for CAPTURE_BENCH_SECONDS (default 60) s and
//   reports frames written, frames dropped by the recorder (wrong size,
//   encoder failures), frames the camera could not deliver (gaps in the
//   stamped frame numbers) and process CPU time per written frame.
#include "app/shell/capture/SnapshotFiles.h"
#include "app/shell/capture/SnapshotImage.h"
#include "app/shell/capture/SnapshotSaver.h"
#include "app/view/FramePipeline.h"
#include "camera/CMCameraBase.h"
#include "camera/factory/CMFactory.h"
#include "usbsdk/emulator/FrameStamp.h"

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

namespace {

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Counts the frames the camera numbered, then hands each to the pipeline.
struct Tap {
    FramePipeline* pipeline = nullptr;
    std::atomic<uint64_t> delivered{0}, first{0}, last{0};
    static int callback(void* user, int kind, long param1, long param2)
    {
        auto* self = static_cast<Tap*>(user);
        if (kind == 0 && param1) {
            const auto* image = reinterpret_cast<const CWImage*>(param1);
            if (const auto stamp = usbsdk::emulator::FrameStamp::read(image->data, image->dataSize)) {
                if (self->delivered++ == 0)
                    self->first = stamp->frameNumber;
                self->last = stamp->frameNumber;
            }
        }
        return FramePipeline::frameCallback(self->pipeline, kind, param1, param2);
    }
};

struct EmulatedCamera {
    CMCameraBase* camera = nullptr;
    EmulatedCamera(Tap& tap)
    {
        setenv("PELLUMO_DEBUG_LOG", "off", 1);
        setenv("SENSORLINK_EMULATE", "1", 1);
        setenv("SENSORLINK_EMULATE_SIZE", "1920x1080", 1);
        setenv("SENSORLINK_EMULATE_FPS", "30", 1);
        setenv("SENSORLINK_EMULATE_STAMP", "1", 1);
        camera = CMFactory::GetCamera(0, 0, nullptr, 0, nullptr, nullptr, false);
        if (camera && camera->Init(&Tap::callback, &tap, 1920, 1080) == 0) {
            tap.pipeline->setCamera(camera);
            camera->startPreview();
        }
    }
    ~EmulatedCamera()
    {
        if (!camera)
            return;
        camera->stopPreview();
        camera->Release();
        delete camera;
    }
};

std::string tempFolder()
{
    const auto dir = std::filesystem::temp_directory_path() / ("pellumo-capture-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    return dir.string();
}

void BM_SnapshotUiThread(benchmark::State& state)
{
    const int fileType = int(state.range(0));
    FramePipeline pipeline;
    Tap tap;
    tap.pipeline = &pipeline;
    EmulatedCamera emulated(tap);
    if (!emulated.camera) {
        state.SkipWithError("no emulated camera");
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const std::string folder = tempFolder();
    shell::SnapshotConverter converter;
    shell::SnapshotSaver saver;
    double uiTotal = 0, uiMax = 0, saveTotal = 0;
    int snapshots = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        shell::SnapshotSaver::Job job;
        CWImage picture;
        picture.externalBuffer = false;
        if (emulated.camera->Snap(&picture) != 0) {
            state.SkipWithError("Snap failed");
            return;
        }
        {
            std::lock_guard lock(pipeline.lock());
            converter.convert(picture, job.bgra);
            CWImage wrapped(picture.width, picture.height, job.bgra.data(), unsigned(job.bgra.size()),
                            unsigned(job.bgra.size()), true, FMT_RGBA32, 0);
            emulated.camera->processPixels(&wrapped);
        }
        job.width = picture.width;
        job.height = picture.height;
        job.path = shell::AutomaticFileName(folder, shell::SnapshotExtension(fileType));
        saver.submit(job);
        const auto t1 = std::chrono::steady_clock::now();
        saver.waitIdle();
        const auto t2 = std::chrono::steady_clock::now();
        const double ui = std::chrono::duration<double, std::milli>(t1 - t0).count();
        uiTotal += ui;
        uiMax = std::max(uiMax, ui);
        saveTotal += std::chrono::duration<double, std::milli>(t2 - t1).count();
        ++snapshots;
        state.SetIterationTime(ui / 1000.0);
    }
    std::filesystem::remove_all(folder);
    state.counters["ui_blocked_ms_mean"] = uiTotal / snapshots;
    state.counters["ui_blocked_ms_max"] = uiMax;
    state.counters["save_thread_ms_mean"] = saveTotal / snapshots;
    static const char* names[] = {"tif", "png", "bmp", "jpg"};
    state.SetLabel(names[fileType]);
}
BENCHMARK(BM_SnapshotUiThread)->DenseRange(0, 3)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_Recording1080p30(benchmark::State& state)
{
    const char* env = getenv("CAPTURE_BENCH_SECONDS");
    const int seconds = env ? std::max(1, atoi(env)) : 60;
    for (auto _ : state) {
        FramePipeline pipeline;
        Tap tap;
        tap.pipeline = &pipeline;
        EmulatedCamera emulated(tap);
        if (!emulated.camera) {
            state.SkipWithError("no emulated camera");
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const std::string folder = tempFolder();
        const std::string file = folder + "/bench.mp4";
        pipeline.startRecording(1920, 1080, file.c_str());
        const uint64_t firstNumber = tap.last.load();
        const double cpu0 = cpuSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        const FramePipeline::RecordingStats stats = pipeline.recordingStats();
        const uint64_t lastNumber = tap.last.load();
        const double cpu = cpuSeconds() - cpu0;
        pipeline.stopRecording();
        std::filesystem::remove_all(folder);
        const double numbered = double(lastNumber - firstNumber);
        state.counters["seconds"] = seconds;
        state.counters["written"] = double(stats.framesWritten);
        state.counters["dropped"] = double(stats.framesDropped);
        state.counters["camera_missed"] = std::max(0.0, numbered - double(stats.framesWritten));
        state.counters["cpu_ms_per_frame"] = stats.framesWritten ? cpu * 1000.0 / double(stats.framesWritten) : 0;
    }
}
BENCHMARK(BM_Recording1080p30)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
