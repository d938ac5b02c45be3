#pragma once
// An emulated video camera's picture when the LENSBRIDGE_EMULATE_VIDEO_FOCUS,
// _STAGE, _SHAKE, _NOISE or _SHADING settings are on: the microscope slide of
// optics/, frame by frame, in the camera's format. The camera's lock held.
#include "optics/OpticsSettings.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace v4l2 {

class EmulatedOptics {
public:
    EmulatedOptics(const optics::OpticsSettings& settings, int framesPerSecond);
    ~EmulatedOptics();

    // Frame `sequence` (the buffer's sequence number) of width × height in
    // `fourcc` into `out`; the bytes used, 0 when they do not fit or the
    // format is not drawn. `restFocus` (0 … 1) is the focus when none sweeps.
    size_t render(uint64_t sequence, uint32_t fourcc, int width, int height, double restFocus, uint8_t* out,
                  size_t capacity);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// The optics the environment asks the emulated video cameras for; off when
// none of the variables is set or one does not parse.
optics::OpticsSettings videoOpticsFromEnvironment();

} // namespace v4l2
