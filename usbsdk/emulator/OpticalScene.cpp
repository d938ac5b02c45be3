#include "usbsdk/emulator/OpticalScene.h"

#include "optics/Microscope.h"
#include "optics/Slide.h"

#include <libyuv.h>
#include <opencv2/core.hpp>

#include <algorithm>

namespace usbsdk::emulator {

struct OpticalScene::State {
    State(const optics::OpticsSettings& settings, double fps) : microscope(settings, fps) {}
    optics::Microscope microscope;
    cv::Mat rgb, argb, tone;
    SceneSettings toned;
    bool toneMade = false;
    uint8_t chroma[256] = {};
};

OpticalScene::OpticalScene(const optics::OpticsSettings& settings, double framesPerSecond)
    : m_state(std::make_unique<State>(settings, framesPerSecond))
{
}

OpticalScene::~OpticalScene() = default;

void OpticalScene::render(const SceneSettings& s, uint64_t frame, std::vector<uint8_t>& out, uint32_t pixelFormat)
{
    State& st = *m_state;
    const int width = static_cast<int>(s.width), height = static_cast<int>(s.height);
    out.resize(size_t(s.width) * s.height * 2);
    if (width < 1 || height < 1)
        return;
    if (!st.toneMade || !(st.toned == s)) {
        // The plain scene's tone curve, as a table per channel.
        const SceneTone t = toneOf(s);
        st.tone.create(1, 256, CV_8UC3);
        for (int v = 0; v < 256; ++v) {
            for (int c = 0; c < 3; ++c)
                st.tone.at<cv::Vec3b>(0, v)[c] = cv::saturate_cast<uint8_t>(
                    (static_cast<float>(v) * t.exposure * t.balance[c] - 128.0f) * t.contrast + 128.0f);
            st.chroma[v] = cv::saturate_cast<uint8_t>((static_cast<float>(v) - 128.0f) * t.saturation + 128.0f);
        }
        st.toned = s;
        st.toneMade = true;
    }
    st.microscope.render(frame, cv::Size(width, height), optics::focusOfLevel(optics::kRestLevel), st.rgb, &st.tone);
    st.argb.create(height, width, CV_8UC4);
    // The alternative layout exchanges red and blue: read the RGB bytes as BGR.
    if (pixelFormat == stream::kPixelFormatYuv422)
        libyuv::RGB24ToARGB(st.rgb.data, static_cast<int>(st.rgb.step), st.argb.data, static_cast<int>(st.argb.step),
                            width, height);
    else
        libyuv::RAWToARGB(st.rgb.data, static_cast<int>(st.rgb.step), st.argb.data, static_cast<int>(st.argb.step),
                          width, height);
    libyuv::ARGBToYUY2(st.argb.data, static_cast<int>(st.argb.step), out.data(), width * 2, width, height);
    if (s.saturation != 51)
        for (size_t i = 1; i < out.size(); i += 2)
            out[i] = st.chroma[out[i]];
}

} // namespace usbsdk::emulator
