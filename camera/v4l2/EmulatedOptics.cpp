#include "camera/v4l2/EmulatedOptics.h"

#include "camera/v4l2/EmulatedScene.h"
#include "optics/Microscope.h"
#include "platform/DebugOutput.h"

#include <opencv2/core.hpp>

#include <string>

namespace v4l2 {

struct EmulatedOptics::State {
    State(const optics::OpticsSettings& settings, int fps) : microscope(settings, fps) {}
    optics::Microscope microscope;
    cv::Mat rgb;
};

EmulatedOptics::EmulatedOptics(const optics::OpticsSettings& settings, int framesPerSecond)
    : m_state(std::make_unique<State>(settings, framesPerSecond))
{
}

EmulatedOptics::~EmulatedOptics() = default;

size_t EmulatedOptics::render(uint64_t sequence, uint32_t fourcc, int width, int height, double restFocus, uint8_t* out,
                              size_t capacity)
{
    if (width < 1 || height < 1)
        return 0;
    m_state->microscope.render(sequence, cv::Size(width, height), restFocus, m_state->rgb);
    return encodePicture(fourcc, m_state->rgb.data, width, height, out, capacity);
}

optics::OpticsSettings videoOpticsFromEnvironment()
{
    optics::OpticsSettings settings;
    std::string error;
    if (!optics::opticsFromEnvironment("LENSBRIDGE_EMULATE_VIDEO_", settings, error))
        platform::DebugPrintf("lensbridge: %s; optics off\n", error.c_str());
    return settings;
}

} // namespace v4l2
