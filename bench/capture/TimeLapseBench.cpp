// A time-lapse as the window records it: a camera streams 1920 × 1080 at 30
// frames/s into the frame pipeline, and every tick (100 ms) the UI thread's
// tick copies the preview picture and adds it as the next frame, until 1000
// frames are in (TIMELAPSE_BENCH_FRAMES, TIMELAPSE_BENCH_INTERVAL_MS and
// TIMELAPSE_BENCH_RATE change the 1000, 100 and 30). Reports the UI thread's
// time per tick (median, 99th percentile, largest), the ticks that waited for
// the previous frame to reach the disk, and what ffprobe finds in the file:
// frames, frame rate and duration against count / rate.
#include "app/shell/capture/TimeLapseRecording.h"
#include "app/view/FramePipeline.h"
#include "camera/CMTypes.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int EnvInt(const char* name, int fallback)
{
    const char* value = std::getenv(name);
    return value && std::atoi(value) > 0 ? std::atoi(value) : fallback;
}

double Percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size())))];
}

std::string Run(const std::string& command)
{
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe))
            output += buffer;
        ::pclose(pipe);
    }
    return output;
}

} // namespace

int main()
{
    const int frames = EnvInt("TIMELAPSE_BENCH_FRAMES", 1000);
    const int intervalMs = EnvInt("TIMELAPSE_BENCH_INTERVAL_MS", 100);
    const int rate = std::min(60, EnvInt("TIMELAPSE_BENCH_RATE", 30));
    constexpr int kWidth = 1920, kHeight = 1080;

    // The camera: a moving gradient, RGB, 30 frames/s on its own thread.
    FramePipeline pipeline;
    std::atomic<bool> streaming{true};
    std::thread camera([&] {
        std::vector<unsigned char> rgb(size_t(kWidth) * kHeight * 3);
        auto next = Clock::now();
        for (unsigned n = 0; streaming; ++n) {
            for (int y = 0; y < kHeight; ++y)
                for (int x = 0; x < kWidth; ++x) {
                    unsigned char* p = &rgb[(size_t(y) * kWidth + x) * 3];
                    p[0] = static_cast<unsigned char>(x + n);
                    p[1] = static_cast<unsigned char>(y + 2 * n);
                    p[2] = static_cast<unsigned char>((x ^ y) + 3 * n);
                }
            const auto bytes = static_cast<unsigned>(rgb.size());
            pipeline.onFrame(CWImage(kWidth, kHeight, rgb.data(), bytes, bytes, true, FMT_RGB24, 0));
            next += std::chrono::milliseconds(33);
            std::this_thread::sleep_until(next);
        }
    });

    const std::string folder = std::filesystem::temp_directory_path() / "pellumo-timelapse-bench";
    std::filesystem::create_directories(folder);
    shell::TimeLapseRecording recording;
    if (!recording.start(folder + "/lapse.mp4", kWidth, kHeight, rate)) {
        std::fprintf(stderr, "the time-lapse did not start in %s\n", folder.c_str());
        streaming = false;
        camera.join();
        return 1;
    }
    CWImage picture;
    picture.externalBuffer = false;
    std::vector<double> tickMs;
    tickMs.reserve(size_t(frames) * 2);
    int waited = 0;
    auto next = Clock::now();
    while (recording.framesAdded() < frames && recording.writeError() == 0) {
        next += std::chrono::milliseconds(intervalMs);
        std::this_thread::sleep_until(next);
        const auto t0 = Clock::now();
        const bool added =
            pipeline.copyDisplayImage(picture) && recording.addFrame(picture.data, picture.width, picture.height, "0");
        tickMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        if (!added)
            ++waited;
    }
    while (recording.framesWritten() < recording.framesAdded() && recording.writeError() == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const int error = recording.writeError();
    const std::string video = recording.finish();
    streaming = false;
    camera.join();

    const std::string probed = Run("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                   "stream=nb_read_frames,r_frame_rate:format=duration -of default=nw=1 '" +
                                   video + "'");
    std::printf("time-lapse %d frames of %dx%d every %d ms at %d frames/s (%s)\n", frames, kWidth, kHeight, intervalMs,
                rate, video.c_str());
    std::printf("UI thread per tick: median %.2f ms, p99 %.2f ms, max %.2f ms over %zu ticks; %d ticks waited for "
                "the previous frame; write error %d\n",
                Percentile(tickMs, 0.5), Percentile(tickMs, 0.99), Percentile(tickMs, 1.0), tickMs.size(), waited,
                error);
    std::printf("ffprobe (expect nb_read_frames=%d, r_frame_rate=%d/1, duration=%.3f):\n%s", frames, rate,
                double(frames) / rate, probed.c_str());
    std::filesystem::remove_all(folder);
    return error == 0 ? 0 : 1;
}
