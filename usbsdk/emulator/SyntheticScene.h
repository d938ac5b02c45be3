#pragma once
// The picture of the emulated camera: a stage micrometer under transmitted
// light. A ruled scale (a tick every kScalePitch sensor pixels, longer ticks
// every 5th and 10th) runs across the middle of the sensor; round and oblong
// specimens lie around it, and above it four colour patches (pure red,
// green, blue, white) let tests check colours. Coordinates are sensor pixels,
// so the region of interest moves and crops the scene like a real sensor
// window.
#include "usbsdk/sdk/StreamFormat.h"

#include <cstdint>
#include <vector>

namespace usbsdk::emulator {

struct SceneSettings {
    int32_t roiX = 0, roiY = 0;
    uint32_t width = 0, height = 0;
    int32_t exposureMode = 0, exposureTarget = 120, exposureTime = 20000, gain = 0;
    int32_t whiteBalanceMode = 0, wbRed = 40, wbGreen = 40, wbBlue = 40;
    int32_t contrast = 127, saturation = 51;
    bool operator==(const SceneSettings&) const = default;
};

constexpr int kScalePitch = 10;     // sensor pixels between ticks
constexpr int kSensorCentreX = 970; // centre of the 1940 x 1460 sensor area
constexpr int kSensorCentreY = 730;

// The colour patches: kPatchSize square, the first at (kPatchX, kPatchY)
// relative to the sensor centre, the next ones kPatchStep further right.
constexpr int kPatchX = -280;
constexpr int kPatchY = -200;
constexpr int kPatchSize = 60;
constexpr int kPatchStep = 80;

// How the camera's settings tone the picture: a channel value v (0 … 255)
// becomes (v * exposure * balance - 128) * contrast + 128, and the colour
// difference is scaled by saturation.
struct SceneTone {
    float exposure;   // exposure time (or the automatic target) times gain
    float balance[3]; // red, green, blue; 1 under automatic white balance
    float contrast, saturation;
};
SceneTone toneOf(const SceneSettings& settings);

// Renders packed 4:2:2 (Y0 U Y1 V) into `out`, width * height * 2 bytes.
// For kPixelFormatYuv422 (the cameras' alternative layout) the colour
// conversion is made with red and blue exchanged, so that decoding it as
// ordinary YUYV yields R, G, B, A byte order; any other pixel format gets
// ordinary YUYV.
void renderScene(const SceneSettings& settings, std::vector<uint8_t>& out,
                 uint32_t pixelFormat = stream::kPixelFormatYuv422);

} // namespace usbsdk::emulator
