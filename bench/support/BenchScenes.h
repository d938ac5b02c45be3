#pragma once
// Inputs several benchmarks share: a grid of measurements of every kind, a
// few synthetic RGBA frames, and the process's CPU time.
#include "app/measure/MeasureTypes.h"
#include "app/measure/SFPrimitiveContainer.h"
#include "bench/support/ProcessCpuTime.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

namespace benchscenes {

// Places `count` shapes of every finished-by-clicks kind on a grid.
inline void FillMeasurementGrid(SFPrimitiveContainer& c, int count)
{
    static const int tools[] = {ToolPoint,        ToolLine,       ToolLineDistance,  ToolRect,
                                ToolCircle,       ToolCircle2,    ToolCircle3,       ToolArc,
                                ToolAngle,        ToolText,       ToolPerpendicular, ToolParallel,
                                ToolConcentrical, ToolTwoCircles, ToolTwoCircles2,   ToolTwoCircles3};
    static const int clicks[] = {1, 2, 4, 2, 2, 2, 3, 3, 3, 2, 3, 4, 3, 4, 4, 6};
    const int kinds = static_cast<int>(std::size(tools));
    for (int i = 0; i < count; ++i) {
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

// Four different width × height RGBA frames, to feed a view in turn.
inline std::vector<std::vector<uint8_t>> MakeRgbaFrames(int width, int height)
{
    std::vector<std::vector<uint8_t>> frames(4, std::vector<uint8_t>(size_t(width) * size_t(height) * 4));
    for (size_t f = 0; f < frames.size(); ++f)
        for (size_t i = 0; i < frames[f].size(); i += 4) {
            const size_t pixel = i / 4, x = pixel % size_t(width), y = pixel / size_t(width);
            frames[f][i] = uint8_t(x + f * 16);
            frames[f][i + 1] = uint8_t(y);
            frames[f][i + 2] = uint8_t(x ^ y);
            frames[f][i + 3] = 255;
        }
    return frames;
}

} // namespace benchscenes
