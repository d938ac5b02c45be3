#pragma once
// The simulated box's picture: colour bars over a grey ramp with a square
// that moves one step per frame, shaded by the box's image controls, encoded
// as MJPEG or YUYV.

#include <cstdint>
#include <vector>

namespace boxsim {

struct SceneControls {
    int brightness = 0; // added to every channel
    int contrast = 50;  // 50 = unchanged
    int gain = 0;       // percent added on top of contrast
};

class SceneRenderer {
public:
    SceneRenderer();
    ~SceneRenderer();
    SceneRenderer(const SceneRenderer&) = delete;
    SceneRenderer& operator=(const SceneRenderer&) = delete;

    // An RGB24 picture of the scene at frame `frameNo`.
    void renderRgb(int width, int height, uint32_t frameNo, const SceneControls& controls, std::vector<uint8_t>& rgb);
    // Box format 1 (YUYV) or 2 (MJPEG); false when encoding failed.
    bool encode(int boxFormat, int width, int height, uint32_t frameNo, const SceneControls& controls,
                std::vector<uint8_t>& out);

private:
    void* jpeg_ = nullptr; // TurboJPEG compressor
    std::vector<uint8_t> rgb_;
};

// BT.601 studio-range conversion of an RGB24 picture with even width. With
// `exchangeRedBlue` (box format 1, the cameras' alternative 4:2:2 layout) the
// conversion is made with red and blue exchanged, so that decoding it as
// ordinary YUYV yields R, G, B, A byte order, as the program's view expects.
void rgbToYuyv(const uint8_t* rgb, int width, int height, std::vector<uint8_t>& yuyv, bool exchangeRedBlue = false);

} // namespace boxsim
