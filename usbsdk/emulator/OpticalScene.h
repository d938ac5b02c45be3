#pragma once
// The emulated camera's picture when its optics settings are on: the
// microscope slide through focus, stage, shake, uneven light and noise
// (optics/), toned by the camera's exposure, gain, white balance, contrast
// and saturation, in the camera's packed 4:2:2 layouts. Frame by frame:
// a new picture for every frame number. The camera's thread, under its lock.
#include "optics/OpticsSettings.h"
#include "usbsdk/emulator/SyntheticScene.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace usbsdk::emulator {

class OpticalScene {
public:
    OpticalScene(const optics::OpticsSettings& settings, double framesPerSecond);
    ~OpticalScene();

    // Frame `frame` (the leader's block id) into `out`, width * height * 2
    // bytes; the layouts as renderScene makes them.
    void render(const SceneSettings& settings, uint64_t frame, std::vector<uint8_t>& out, uint32_t pixelFormat);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace usbsdk::emulator
