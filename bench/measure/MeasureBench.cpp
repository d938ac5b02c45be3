// 1000 measurements of mixed kinds: one mouse movement (a hit test across the
// whole list) and one full draw into a render texture (the latter needs X).
#include "SFPrimitiveContainer.h"
#include "bench/support/BenchScenes.h"

#include <SFML/Graphics/RenderTexture.hpp>

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

constexpr int kPrimitives = 1000;

void BM_MouseMoveHitTest(benchmark::State& state)
{
    SFPrimitiveContainer c;
    benchscenes::FillMeasurementGrid(c, kPrimitives);
    if (c.count() != kPrimitives) {
        state.SkipWithError("the grid did not produce 1000 primitives");
        return;
    }
    float x = -400;
    for (auto _ : state) {
        // Over empty space beyond the grid: every primitive is asked.
        benchmark::DoNotOptimize(c.onMouseMove(x, -300));
        x = x < -300 ? x + 1 : -400;
    }
    state.counters["primitives"] = c.count();
}
BENCHMARK(BM_MouseMoveHitTest)->Unit(benchmark::kMicrosecond);

void BM_DrawAll(benchmark::State& state)
{
    SFPrimitiveContainer c;
    benchscenes::FillMeasurementGrid(c, kPrimitives);
    if (c.count() != kPrimitives) {
        state.SkipWithError("the grid did not produce 1000 primitives");
        return;
    }
    sf::RenderTexture texture;
    if (!texture.create(1920, 1080)) {
        state.SkipWithError("no render texture (is there an X display?)");
        return;
    }
    for (auto _ : state) {
        texture.clear();
        texture.draw(c);
        texture.display();
    }
    // Wait for the GPU (or the software renderer) to finish the last frame.
    texture.getTexture().copyToImage();
    state.counters["primitives"] = c.count();
}
BENCHMARK(BM_DrawAll)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
