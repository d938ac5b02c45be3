#pragma once
// The picture the emulated video device shows: a grey field with eight
// colour patches in true colours (red, green, blue, yellow in the top row;
// cyan, magenta, white, black below), rendered once per format and size,
// and a white square that moves along the bottom edge from frame to frame
// (kScenePhases positions), so a live stream is seen to be live.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace v4l2 {

struct SceneColour {
    uint8_t r, g, b;
};

constexpr int kScenePhases = 16;

// The colour of the patch at (x, y) of a width × height scene; the field
// colour outside the patches.
SceneColour sceneColourAt(int x, int y, int width, int height);
// The scene in V4L2 pixel format `fourcc`, top-down: YUYV, BGR24, RGB24 and
// MJPEG are real pictures; any other format gets a placeholder of
// width × height × 2 bytes. Empty when the size is not positive.
// `phase` 0 … kScenePhases − 1 draws the moving square at that position;
// -1 draws none (stills, and the base that drawMarker draws on).
std::vector<uint8_t> renderScene(uint32_t fourcc, int width, int height, int phase = -1);
// A top-down RGB picture of width × height in `fourcc` (YUYV, BGR24, RGB24 or
// MJPEG) into `out`: the bytes used, 0 for another format or when they do
// not fit in `capacity`.
size_t encodePicture(uint32_t fourcc, const uint8_t* rgb, int width, int height, uint8_t* out, size_t capacity);
// A top-down RGB picture as the emulated cameras' JPEG (4:2:2, quality 85);
// empty when compression fails.
std::vector<uint8_t> encodeJpeg(const uint8_t* rgb, int width, int height);
// Draws the moving square of `phase` into a YUYV, BGR24 or RGB24 picture of
// width × height in place (other formats are left alone).
void drawMarker(uint32_t fourcc, uint8_t* data, size_t length, int width, int height, int phase);

} // namespace v4l2
