#pragma once
#include <cstdint>
#include <vector>

// The result record of one measurement. Positions are image pixels (not
// calibrated); lengths and areas are in the calibration's units.
struct MeasureData {
    float centerX = 0, centerY = 0;
    float startX = 0, startY = 0;
    float endX = 0, endY = 0;
    float radius = 0;
    float area = 0;
    float perimeter = 0;
    std::vector<float> lengths;
    float angle = 0;
    float width = 0;
    float height = 0;
    std::vector<float> distances;
};

// What a hit test found under the mouse: 26 32-bit words, copied by value.
struct HitInfo {
    int32_t index = -1;       // primitive in the container, written by the container
    int32_t subPart = -1;     // the body part (which line or circle)
    int32_t part = 0;         // HitPart
    int32_t vertexIndex = -1; // the handle
    float mouseX = 0, mouseY = 0;
    float snapshot[20] = {}; // positions a drag will move, as x/y pairs
};
static_assert(sizeof(HitInfo) == 26 * 4, "HitInfo is 26 words");

enum HitPart : int32_t {
    HitNothing = 0,
    HitBody = 1,
    HitVertex = 2, // a handle (vertexIndex: which one)
    HitLabel = 4,
};

// Measuring tools. A shape tool creates the primitive kind `tool - 3`.
enum MeasureTool : int {
    ToolNone = 0,
    ToolMove = 1,
    ToolDelete = 2,
    ToolPoint = 3,
    ToolLine = 4,
    ToolLineDistance = 5,
    ToolBrokenLine = 6,
    ToolRect = 7,
    ToolPolygon = 8,
    ToolCircle = 9,
    ToolCircle2 = 10,
    ToolCircle3 = 11,
    ToolArc = 12,
    ToolAngle = 13,
    ToolText = 14,
    ToolPerpendicular = 15,
    ToolCrosshair = 16,
    ToolCrosshair2 = 17,
    ToolParallel = 18,
    ToolParallels = 19,
    ToolConcentrical = 20,
    ToolTwoCircles = 21,
    ToolTwoCircles2 = 22,
    ToolTwoCircles3 = 23,
    ToolCalibration = 24,
};

constexpr int kFirstShapeTool = ToolPoint;
constexpr int kLastShapeTool = ToolCalibration;
constexpr int kPrimitiveKinds = 22;
