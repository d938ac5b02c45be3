// Costs of the RTSP camera: decoding plus RGB24 conversion of one 1280×720
// H.264 frame, and the CPU the polling thread uses at 30 frames/s and after
// the server has gone.
#include "../../tests/network/ChildProcess.h"
#include "camera/network/CWCameraFFmpeg.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {
namespace fs = std::filesystem;

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// One second of 1280×720 H.264 at 30 frames/s, encoded once per run.
std::string sampleClip()
{
    static const std::string path = [] {
        const std::string file = (fs::temp_directory_path() / "pellumo-bench-720p.mkv").string();
        const std::string command =
            "ffmpeg -v error -y -f lavfi -i testsrc2=size=1280x720:rate=30 -frames:v 30 -c:v libx264 "
            "-preset ultrafast -tune zerolatency -g 30 -pix_fmt yuv420p '" +
            file + "'";
        if (std::system(command.c_str()) != 0)
            return std::string();
        return file;
    }();
    return path;
}

std::atomic<unsigned> g_frames{0};
int countFrame(void*, int, long, long)
{
    ++g_frames;
    return 0;
}
} // namespace

// Decode + conversion with the calls the RTSP camera makes, on packets held in memory.
static void BM_DecodeToRgb24_1280x720(benchmark::State& state)
{
    const std::string clip = sampleClip();
    AVFormatContext* input = nullptr;
    if (clip.empty() || avformat_open_input(&input, clip.c_str(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(input, nullptr) < 0) {
        state.SkipWithError("cannot make or open the sample clip (ffmpeg with libx264 needed)");
        return;
    }
    const AVStream* stream = input->streams[0];
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    AVCodecContext* codec = avcodec_alloc_context3(decoder);
    avcodec_parameters_to_context(codec, stream->codecpar);
    avcodec_open2(codec, decoder, nullptr);
    std::vector<AVPacket*> packets;
    for (AVPacket* p = av_packet_alloc(); av_read_frame(input, p) >= 0; p = av_packet_alloc())
        packets.push_back(p);
    const int w = codec->width, h = codec->height;
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    AVFrame* frame = av_frame_alloc();
    SwsContext* scaler = nullptr;
    size_t next = 0;
    for (auto _ : state) {
        if (next == packets.size()) {
            avcodec_flush_buffers(codec); // back to the key frame at the start
            next = 0;
        }
        avcodec_send_packet(codec, packets[next++]);
        while (avcodec_receive_frame(codec, frame) == 0) {
            scaler =
                sws_getCachedContext(scaler, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), w,
                                     h, AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr, nullptr, nullptr);
            uint8_t* planes[4] = {rgb.data()};
            int strides[4] = {w * 3};
            sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, planes, strides);
            benchmark::DoNotOptimize(rgb.data());
            av_frame_unref(frame);
        }
    }
    state.SetItemsProcessed(state.iterations());
    sws_freeContext(scaler);
    av_frame_free(&frame);
    for (AVPacket* p : packets)
        av_packet_free(&p);
    avcodec_free_context(&codec);
    avformat_close_input(&input);
}
BENCHMARK(BM_DecodeToRgb24_1280x720)->Unit(benchmark::kMillisecond);

// CPU of the process (the polling thread; the host thread sleeps) over a
// three-second window: with the stream at 30 frames/s, and after its server
// has been killed.
static void BM_PollingThreadCpu(benchmark::State& state)
{
    const bool serverGone = state.range(0) != 0;
    for (auto _ : state) {
        ChildProcess server("rtsp_test_server", {"--width", "1280", "--height", "720", "--fps", "30"});
        const std::string url = server.readyLine();
        if (url.empty()) {
            state.SkipWithError("rtsp_test_server did not start");
            return;
        }
        CWCameraFFmpeg camera(url);
        if (camera.Init(&countFrame, nullptr, 0, 0) != 0) {
            state.SkipWithError("cannot open the stream");
            return;
        }
        camera.startPreview();
        std::this_thread::sleep_for(std::chrono::seconds(1)); // settle
        if (serverGone) {
            server.stop(SIGKILL);
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
        const unsigned framesBefore = g_frames;
        const double cpuBefore = processCpuSeconds();
        const auto wallBefore = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(3));
        const double cpu = processCpuSeconds() - cpuBefore;
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
        state.counters["cpu_percent"] = 100.0 * cpu / wall;
        state.counters["frames_per_s"] = (g_frames - framesBefore) / wall;
        state.SetIterationTime(wall);
        camera.Release();
    }
}
BENCHMARK(BM_PollingThreadCpu)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("server_gone")
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
