// The flat-field correction of a 1920 × 1080 RGBA picture (goal ≤ 2 ms),
// measured next to the conversion every frame already gets (YUY2 to RGBA),
// on the emulated microscope's empty glass under 35 % corner shading.
#include "app/view/FrameConverter.h"
#include "app/view/ShadingCorrection.h"
#include "camera/CMTypes.h"
#include "optics/Microscope.h"
#include "optics/Slide.h"

#include <benchmark/benchmark.h>
#include <opencv2/imgproc.hpp>

#include <vector>

namespace {

const cv::Size kSize(1920, 1080);

cv::Mat shadedGlass(uint64_t frame)
{
    optics::OpticsSettings settings;
    settings.on = true;
    settings.shadingPercent = 35;
    settings.noiseLevels = 2;
    optics::Microscope microscope(settings, 60);
    microscope.holdStageAt(optics::Slide::instance().emptyGlass(kSize));
    cv::Mat rgb, rgba;
    microscope.render(frame, kSize, 0.5, rgb);
    cv::cvtColor(rgb, rgba, cv::COLOR_RGB2RGBA);
    return rgba;
}

void BM_ShadingCorrection(benchmark::State& state)
{
    ShadingCorrection correction;
    correction.collect(1);
    cv::Mat reference = shadedGlass(0);
    CWImage image(reference.cols, reference.rows, reference.data, unsigned(reference.total() * 4),
                  unsigned(reference.total() * 4), true, FMT_RGBA32, 0);
    correction.process(image);
    ShadingReference made;
    if (correction.finishCollecting(made) != ShadingRefusal::None) {
        state.SkipWithError("no reference");
        return;
    }
    cv::Mat picture = shadedGlass(1);
    for (auto _ : state) {
        correction.apply(picture.data, picture.cols, picture.rows);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ShadingCorrection)->Unit(benchmark::kMillisecond);

// What every frame costs already: the YUY2 camera frame to RGBA.
void BM_FrameConversionYuy2(benchmark::State& state)
{
    std::vector<uint8_t> yuy2(size_t(kSize.width) * kSize.height * 2, 128);
    CWImage frame(kSize.width, kSize.height, yuy2.data(), unsigned(yuy2.size()), unsigned(yuy2.size()), true, FMT_YUY2,
                  0);
    FrameConverter converter;
    for (auto _ : state)
        benchmark::DoNotOptimize(converter.convert(frame));
}
BENCHMARK(BM_FrameConversionYuy2)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
