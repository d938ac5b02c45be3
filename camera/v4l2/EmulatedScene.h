#pragma once
// The picture the emulated video device shows: a grey field with eight
// colour patches in true colours (red, green, blue, yellow in the top row;
// cyan, magenta, white, black below), rendered once per format and size.
#include <cstdint>
#include <vector>

namespace v4l2 {

struct SceneColour {
    uint8_t r, g, b;
};

// The colour of the patch at (x, y) of a width × height scene; the field
// colour outside the patches.
SceneColour sceneColourAt(int x, int y, int width, int height);
// The scene in V4L2 pixel format `fourcc`, top-down: YUYV, BGR24, RGB24 and
// MJPEG are real pictures; any other format gets a placeholder of
// width × height × 2 bytes. Empty when the size is not positive.
std::vector<uint8_t> renderScene(uint32_t fourcc, int width, int height);

} // namespace v4l2
