// Every conversion path of the frame pipeline at 1920x1080, against a memcpy
// of the 4-byte output in the same run; MJPEG against TurboJPEG's own decode.

#include "app/view/FrameConverter.h"

#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <cstring>
#include <vector>

namespace {
constexpr int kW = 1920, kH = 1080;

std::vector<uint8_t> pattern(size_t bytes)
{
    std::vector<uint8_t> data(bytes);
    for (size_t i = 0; i < bytes; ++i)
        data[i] = uint8_t((i * 31) ^ (i >> 11));
    return data;
}

std::vector<uint8_t> jpegOfPattern()
{
    std::vector<uint8_t> rgb(size_t(kW) * kH * 3);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            uint8_t* p = &rgb[(size_t(y) * kW + x) * 3];
            p[0] = uint8_t(x / 8);
            p[1] = uint8_t(y / 5);
            p[2] = uint8_t((x + y) / 12);
        }
    tjhandle encoder = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(encoder, rgb.data(), kW, kW * 3, kH, TJPF_RGB, &jpeg, &size, TJSAMP_422, 85, 0);
    std::vector<uint8_t> out(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(encoder);
    return out;
}

void BM_MemcpyOutput(benchmark::State& state)
{
    auto src = pattern(size_t(kW) * kH * 4);
    std::vector<uint8_t> dst(src.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::ClobberMemory();
    }
}

void convertFormat(benchmark::State& state, int format, int bottomUp)
{
    std::vector<uint8_t> data;
    if (format == FMT_MJPG)
        data = jpegOfPattern();
    else
        data = pattern(FrameConverter::requiredBytes(format, kW, kH));
    CWImage frame(kW, kH, data.data(), unsigned(data.size()), unsigned(data.size()), true, format, bottomUp);
    FrameConverter converter;
    for (auto _ : state) {
        if (!converter.convert(frame))
            state.SkipWithError("conversion failed");
        benchmark::ClobberMemory();
    }
}

void BM_ConvertRgb24(benchmark::State& s) { convertFormat(s, FMT_RGB24, 0); }
void BM_ConvertBgr24BottomUp(benchmark::State& s) { convertFormat(s, FMT_BGR24, 1); }
void BM_ConvertYuy2(benchmark::State& s) { convertFormat(s, FMT_YUY2, 0); }
void BM_ConvertYuyv(benchmark::State& s) { convertFormat(s, FMT_YUYV, 0); }
void BM_ConvertMjpeg(benchmark::State& s) { convertFormat(s, FMT_MJPG, 0); }

void BM_TurboJpegOwnDecode(benchmark::State& state)
{
    auto jpeg = jpegOfPattern();
    std::vector<uint8_t> out(size_t(kW) * kH * 4);
    tjhandle decoder = tjInitDecompress();
    for (auto _ : state) {
        tjDecompress2(decoder, jpeg.data(), jpeg.size(), out.data(), kW, kW * 4, kH, TJPF_RGBA, 0);
        benchmark::ClobberMemory();
    }
    tjDestroy(decoder);
}

void BM_ToI420(benchmark::State& state)
{
    auto data = pattern(size_t(kW) * kH * 3);
    CWImage frame(kW, kH, data.data(), unsigned(data.size()), unsigned(data.size()), true, FMT_RGB24, 0);
    FrameConverter converter;
    converter.convert(frame);
    for (auto _ : state) {
        benchmark::DoNotOptimize(converter.toI420());
        benchmark::ClobberMemory();
    }
}
} // namespace

BENCHMARK(BM_MemcpyOutput)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConvertRgb24)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConvertBgr24BottomUp)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConvertYuy2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConvertYuyv)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConvertMjpeg)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TurboJpegOwnDecode)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ToI420)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
