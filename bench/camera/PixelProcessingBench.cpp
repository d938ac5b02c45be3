// The software pixel processing on a 1920x1080 RGBA frame, step by step,
// against a memcpy of the same frame and OpenCV's nearest equivalents.

#include "camera/CMCameraBase.h"

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>

#include <cstring>
#include <vector>

namespace {
constexpr int kWidth = 1920, kHeight = 1080;
constexpr size_t kBytes = size_t(kWidth) * kHeight * 4;

class BenchCamera : public CMCameraBase {
public:
    BenchCamera() : CMCameraBase(0) {}
    int GetSupportedPreviewSizes(std::vector<_tag_CMSIZE>*) override { return 0; }
    int GetPreviewSize(_tag_CMSIZE&) override { return 0; }
    int SetPreviewSize(_tag_CMSIZE) override { return 0; }
    int GetSupportedFormats(std::vector<int>*) override { return 0; }
    int GetFormat(int&) override { return 0; }
    int SetFormat(int) override { return 0; }
};

std::vector<unsigned char> testFrame()
{
    std::vector<unsigned char> px(kBytes);
    for (size_t i = 0; i < px.size(); ++i)
        px[i] = static_cast<unsigned char>(i * 7 + (i >> 12));
    return px;
}

void processStep(benchmark::State& state, void (*configure)(BenchCamera&))
{
    BenchCamera camera;
    configure(camera);
    auto px = testFrame();
    CWImage image(kWidth, kHeight, px.data(), kBytes, kBytes, true, FMT_RGBA32, 0);
    for (auto _ : state) {
        camera.processPixels(&image);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kBytes);
}

void BM_Memcpy(benchmark::State& state)
{
    auto src = testFrame();
    std::vector<unsigned char> dst(kBytes);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), kBytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kBytes);
}

void BM_Flip(benchmark::State& s)
{
    processStep(s, [](BenchCamera& c) { c.flip(true); });
}
void BM_Mirror(benchmark::State& s)
{
    processStep(s, [](BenchCamera& c) { c.mirror(true); });
}
void BM_Offsets(benchmark::State& s)
{
    processStep(s, [](BenchCamera& c) {
        c.SetProperty(CM_PROP_OFFSET_0, 10);
        c.SetProperty(CM_PROP_OFFSET_1, 20);
        c.SetProperty(CM_PROP_OFFSET_2, 30);
    });
}
void BM_Monochrome(benchmark::State& s)
{
    processStep(s, [](BenchCamera& c) { c.SetProperty(CM_PROP_COLOR_MODE, CM_COLOR_MODE_MONO); });
}
void BM_Negative(benchmark::State& s)
{
    processStep(s, [](BenchCamera& c) { c.SetProperty(CM_PROP_COLOR_MODE, CM_COLOR_MODE_NEGATIVE); });
}

// OpenCV references (out of place where OpenCV is out of place).
void BM_CvFlipVertical(benchmark::State& state)
{
    auto px = testFrame();
    cv::Mat image(kHeight, kWidth, CV_8UC4, px.data());
    for (auto _ : state) {
        cv::flip(image, image, 0);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kBytes);
}
void BM_CvFlipHorizontal(benchmark::State& state)
{
    auto px = testFrame();
    cv::Mat image(kHeight, kWidth, CV_8UC4, px.data());
    for (auto _ : state) {
        cv::flip(image, image, 1);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kBytes);
}
void BM_CvSaturatingAdd(benchmark::State& state)
{
    auto px = testFrame();
    cv::Mat image(kHeight, kWidth, CV_8UC4, px.data());
    const cv::Scalar offsets(10, 20, 30, 0);
    for (auto _ : state) {
        cv::add(image, offsets, image);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kBytes);
}
void BM_CvBitwiseNot(benchmark::State& state)
{
    auto px = testFrame();
    cv::Mat image(kHeight, kWidth, CV_8UC4, px.data());
    for (auto _ : state) {
        cv::bitwise_not(image, image);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kBytes);
}
} // namespace

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Flip)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Mirror)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Offsets)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Monochrome)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Negative)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CvFlipVertical)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CvFlipHorizontal)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CvSaturatingAdd)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CvBitwiseNot)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
