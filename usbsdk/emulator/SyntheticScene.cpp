#include "usbsdk/emulator/SyntheticScene.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace usbsdk::emulator {
namespace {

struct Rgb {
    float r, g, b;
};

struct Blob {
    float cx, cy, rx, ry; // relative to the sensor centre
    Rgb colour;
};

// Specimens: stained cells (round) and fibres (oblong), placed around the scale.
constexpr Blob kBlobs[] = {
    {-420, -250, 90, 90, {0.75f, 0.30f, 0.45f}}, {300, -280, 60, 60, {0.35f, 0.55f, 0.30f}},
    {-200, 260, 140, 45, {0.45f, 0.35f, 0.70f}}, {480, 240, 35, 110, {0.80f, 0.60f, 0.20f}},
    {60, -420, 25, 25, {0.20f, 0.20f, 0.25f}},   {-650, 120, 70, 30, {0.60f, 0.25f, 0.20f}},
};

Rgb scenePixel(int x, int y)
{
    const float dx = static_cast<float>(x - kSensorCentreX), dy = static_cast<float>(y - kSensorCentreY);
    // Transmitted light, slightly warm, darkening towards the edges.
    const float vignette = 1.0f - 0.25f * std::min(1.0f, (dx * dx + dy * dy) / (1200.0f * 1200.0f));
    Rgb c{0.92f * vignette, 0.90f * vignette, 0.84f * vignette};
    for (const Blob& b : kBlobs) {
        const float u = (dx - b.cx) / b.rx, v = (dy - b.cy) / b.ry;
        const float d = u * u + v * v;
        if (d < 1.0f) {
            // Darker rim, translucent centre.
            const float t = d > 0.8f ? 0.45f : 0.85f;
            c = {c.r * (1 - t) + b.colour.r * t * c.r, c.g * (1 - t) + b.colour.g * t * c.g,
                 c.b * (1 - t) + b.colour.b * t * c.b};
        }
    }
    // The scale: a baseline and ticks hanging below it, 1000 units long.
    const int ax = static_cast<int>(dx) + 500, ay = static_cast<int>(dy);
    if (ax >= 0 && ax <= 1000) {
        const bool baseline = ay >= -1 && ay <= 1;
        const int tick = ax % kScalePitch;
        const int index = ax / kScalePitch;
        const int length = index % 10 == 0 ? 60 : (index % 5 == 0 ? 40 : 24);
        if (baseline || (tick < 2 && ay > 1 && ay <= length))
            c = {0.08f, 0.08f, 0.10f};
    }
    return c;
}

// The colour patch at a sensor position, if any (pure colours, not toned).
bool patchPixel(int x, int y, Rgb& colour)
{
    static constexpr Rgb kPatches[] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    const int dx = x - kSensorCentreX - kPatchX, dy = y - kSensorCentreY - kPatchY;
    if (dx < 0 || dy < 0 || dy >= kPatchSize)
        return false;
    const int index = dx / kPatchStep;
    if (index >= 4 || dx % kPatchStep >= kPatchSize)
        return false;
    colour = kPatches[index];
    return true;
}

uint8_t clampByte(float v) { return static_cast<uint8_t>(std::clamp(v, 0.0f, 255.0f)); }

} // namespace

SceneTone toneOf(const SceneSettings& s)
{
    SceneTone t{};
    t.exposure = s.exposureMode == 3 ? s.exposureTarget / 120.0f : s.exposureTime / 20000.0f;
    t.exposure *= 1.0f + s.gain / 120.0f;
    const bool autoWb = s.whiteBalanceMode == 1;
    t.balance[0] = autoWb ? 1.0f : (s.wbRed + 40) / 80.0f;
    t.balance[1] = autoWb ? 1.0f : (s.wbGreen + 40) / 80.0f;
    t.balance[2] = autoWb ? 1.0f : (s.wbBlue + 40) / 80.0f;
    t.contrast = s.contrast / 127.0f;
    t.saturation = s.saturation / 51.0f;
    return t;
}

void renderScene(const SceneSettings& s, std::vector<uint8_t>& out, uint32_t pixelFormat)
{
    const bool exchanged = pixelFormat == stream::kPixelFormatYuv422;
    out.resize(size_t(s.width) * s.height * 2);
    const SceneTone t = toneOf(s);
    const float exposure = t.exposure, wr = t.balance[0], wg = t.balance[1], wb = t.balance[2];
    const float contrast = t.contrast, saturation = t.saturation;
    auto tone = [&](float v, float w) { return (v * 255.0f * exposure * w - 128.0f) * contrast + 128.0f; };

    for (uint32_t row = 0; row < s.height; ++row) {
        uint8_t* dst = out.data() + size_t(row) * s.width * 2;
        for (uint32_t col = 0; col < s.width; col += 2) {
            float ys[2], us = 0, vs = 0;
            const int pixels = col + 1 < s.width ? 2 : 1;
            for (int k = 0; k < pixels; ++k) {
                const int x = s.roiX + static_cast<int>(col) + k, y = s.roiY + static_cast<int>(row);
                Rgb patch{};
                const bool isPatch = patchPixel(x, y, patch);
                const Rgb p = isPatch ? patch : scenePixel(x, y);
                float r = isPatch ? p.r : tone(p.r, wr), g = isPatch ? p.g : tone(p.g, wg);
                float b = isPatch ? p.b : tone(p.b, wb);
                if (exchanged)
                    std::swap(r, b);
                ys[k] = 0.257f * r + 0.504f * g + 0.098f * b + 16;
                us += (-0.148f * r - 0.291f * g + 0.439f * b) / static_cast<float>(pixels);
                vs += (0.439f * r - 0.368f * g - 0.071f * b) / static_cast<float>(pixels);
            }
            dst[col * 2] = clampByte(ys[0]);
            dst[col * 2 + 1] = clampByte(us * saturation + 128);
            if (pixels == 2) {
                dst[col * 2 + 2] = clampByte(ys[1]);
                dst[col * 2 + 3] = clampByte(vs * saturation + 128);
            }
        }
    }
}

} // namespace usbsdk::emulator
