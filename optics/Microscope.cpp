#include "optics/Microscope.h"

#include "optics/FocusLevels.h"
#include "optics/Slide.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace optics {
namespace {

// Room around the frame in the noise pattern, so each frame takes it from
// another offset.
constexpr int kNoiseSlack = 64;
// The tint of the uneven light: blue falls off a little faster than green,
// red a little slower.
constexpr double kChannelFalloff[3] = {0.85, 1.0, 1.15};

uint64_t mix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

double unitRandom(uint64_t frame, uint64_t stream)
{
    return static_cast<double>(mix(frame * 4 + stream) >> 11) / static_cast<double>(1ull << 53);
}

} // namespace

Microscope::Microscope(const OpticsSettings& settings, double framesPerSecond)
    : m_settings(settings), m_framesPerSecond(framesPerSecond > 0 ? framesPerSecond : 30),
      m_path(settings.stage, cv::Size(1, 1))
{
}

void Microscope::prepare(cv::Size size)
{
    if (size == m_size)
        return;
    m_size = size;
    m_path = StagePath(m_settings.stage, size);
    m_shading.release();
    if (m_settings.shadingPercent > 0) {
        m_shading.create(size, CV_8UC3);
        const double cx = (size.width - 1) / 2.0, cy = (size.height - 1) / 2.0;
        const double corner = cx * cx + cy * cy;
        const double depth = m_settings.shadingPercent / 100.0;
        for (int y = 0; y < size.height; ++y) {
            auto* row = m_shading.ptr<cv::Vec3b>(y);
            for (int x = 0; x < size.width; ++x) {
                const double r2 = corner > 0 ? ((x - cx) * (x - cx) + (y - cy) * (y - cy)) / corner : 0;
                for (int c = 0; c < 3; ++c)
                    row[x][c] = cv::saturate_cast<uint8_t>(255.0 * std::max(0.0, 1 - depth * kChannelFalloff[c] * r2));
            }
        }
    }
    m_noiseUp.release();
    m_noiseDown.release();
    if (m_settings.noiseLevels > 0) {
        cv::Mat noise(size.height + kNoiseSlack, size.width + kNoiseSlack, CV_32F);
        cv::RNG random(0x5EED);
        random.fill(noise, cv::RNG::NORMAL, 0.0, m_settings.noiseLevels);
        // The same noise on the three channels: grey-level noise.
        cv::Mat up, down;
        noise.convertTo(up, CV_8U);
        cv::Mat negated = -noise;
        negated.convertTo(down, CV_8U);
        cv::merge(std::vector<cv::Mat>{up, up, up}, m_noiseUp);
        cv::merge(std::vector<cv::Mat>{down, down, down}, m_noiseDown);
    }
}

FieldOfView Microscope::fieldAt(uint64_t frame, cv::Size size, double restFocus) const
{
    FieldOfView f{};
    // The path made for the frame size in use, or one for another size (ground truth).
    f.centre = m_held           ? *m_held
               : size == m_size ? m_path.centreAt(frame)
                                : StagePath(m_settings.stage, size).centreAt(frame);
    if (m_settings.shakePixels > 0) {
        // Each frame off the path by up to half the shake, so two frames
        // differ by up to the whole of it.
        const double angle = 2 * CV_PI * unitRandom(frame, 1);
        const double radius = m_settings.shakePixels / 2 * std::sqrt(unitRandom(frame, 2));
        f.centre += cv::Point2d(radius * std::cos(angle), radius * std::sin(angle));
    }
    double focus = std::clamp(restFocus, 0.0, 1.0);
    if (m_settings.focusPeriodSeconds > 0) {
        const double phase =
            std::fmod(frame / m_framesPerSecond, m_settings.focusPeriodSeconds) / m_settings.focusPeriodSeconds;
        focus = phase < 0.5 ? 2 * phase : 2 - 2 * phase;
    }
    f.level = static_cast<int>(std::lround(focus * (kFocusLevels - 1)));
    f.focus = focusOfLevel(f.level);
    f.magnification = magnificationAt(f.focus);
    f.topLeft = cv::Point(static_cast<int>(std::lround(f.centre.x * f.magnification - size.width / 2.0)),
                          static_cast<int>(std::lround(f.centre.y * f.magnification - size.height / 2.0)));
    return f;
}

void Microscope::renderField(const FieldOfView& field, cv::Size size, cv::Mat& rgb) const
{
    rgb.create(size, CV_8UC3);
    FocusLevels::instance().copyField(field.level, field.topLeft, rgb);
}

void Microscope::render(uint64_t frame, cv::Size size, double restFocus, cv::Mat& rgb, const cv::Mat* tone)
{
    prepare(size);
    renderField(fieldAt(frame, size, restFocus), size, rgb);
    if (!m_shading.empty())
        cv::multiply(rgb, m_shading, rgb, 1.0 / 255.0);
    if (tone)
        cv::LUT(rgb, *tone, rgb);
    if (!m_noiseUp.empty()) {
        const cv::Rect window(static_cast<int>(unitRandom(frame, 3) * kNoiseSlack),
                              static_cast<int>(unitRandom(frame, 0) * kNoiseSlack), size.width, size.height);
        cv::add(rgb, m_noiseUp(window), rgb);
        cv::subtract(rgb, m_noiseDown(window), rgb);
    }
}

} // namespace optics
