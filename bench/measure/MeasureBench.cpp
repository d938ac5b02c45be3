// 1000 measurements of mixed kinds: one mouse movement (a hit test across the
// whole list) and one full draw into a render texture (the latter needs X).
#include "SFPrimitiveContainer.h"

#include <SFML/Graphics/RenderTexture.hpp>

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

constexpr int kPrimitives = 1000;

// Places kPrimitives shapes of every finished-by-clicks kind on a grid.
void fill(SFPrimitiveContainer& c)
{
    static const int tools[] = {ToolPoint,        ToolLine,       ToolLineDistance,  ToolRect,
                                ToolCircle,       ToolCircle2,    ToolCircle3,       ToolArc,
                                ToolAngle,        ToolText,       ToolPerpendicular, ToolParallel,
                                ToolConcentrical, ToolTwoCircles, ToolTwoCircles2,   ToolTwoCircles3};
    static const int clicks[] = {1, 2, 4, 2, 2, 2, 3, 3, 3, 2, 3, 4, 3, 4, 4, 6};
    const int kinds = static_cast<int>(std::size(tools));
    for (int i = 0; i < kPrimitives; ++i) {
        // Cells large enough that no click lands on a neighbour's shape or label.
        const float ox = static_cast<float>((i % 16) * 120), oy = static_cast<float>((i / 16) * 80);
        const int k = i % kinds;
        c.setTool(tools[k]);
        const sf::Vector2f offsets[] = {{4, 4}, {30, 6}, {6, 30}, {30, 30}, {16, 10}, {12, 34}};
        for (int n = 0; n < clicks[k]; ++n) {
            const sf::Vector2f p(ox + offsets[n].x, oy + offsets[n].y);
            c.onMouseMove(p.x, p.y);
            c.onMousePress(p.x, p.y);
            c.onMouseRelease(p.x, p.y);
        }
        c.onMouseMove(-1000, -1000);
    }
}

void BM_MouseMoveHitTest(benchmark::State& state)
{
    SFPrimitiveContainer c;
    fill(c);
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
    fill(c);
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
