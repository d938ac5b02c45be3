#pragma once
// One emulated camera looking through the emulated microscope: which part of
// the slide a frame shows and at which focus (stage path, focus sweep, shake),
// and the picture itself with uneven light and sensor noise. Everything
// follows from the frame number, so a frame can be made again as ground
// truth. One camera's thread at a time (the emulators call it under their
// camera's lock); the focus levels behind it are shared.
#include "optics/OpticsSettings.h"
#include "optics/StagePath.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <optional>

namespace optics {

struct FieldOfView {
    cv::Point2d centre;   // slide pixels under the centre of the frame
    double focus;         // 0 … 1, as made (the nearest level)
    int level;            // focus level
    double magnification; // level pixels per slide pixel
    cv::Point topLeft;    // the frame's corner in level pixels
};

class Microscope {
public:
    Microscope(const OpticsSettings& settings, double framesPerSecond);

    const OpticsSettings& settings() const { return m_settings; }
    // A stage moved by hand: every frame's field centres here (slide pixels)
    // instead of following the path; nullopt follows the path again.
    void holdStageAt(std::optional<cv::Point2d> centre) { m_held = centre; }
    // The field of frame `frame` of the given size; `restFocus` (0 … 1) is
    // where the focus stands when it does not sweep.
    FieldOfView fieldAt(uint64_t frame, cv::Size size, double restFocus) const;
    // The frame RGB into `rgb` (8UC3, resized as needed): the field, the
    // uneven light, then `tone` (a 256-entry 8UC3 lookup table, optional),
    // then the sensor noise.
    void render(uint64_t frame, cv::Size size, double restFocus, cv::Mat& rgb, const cv::Mat* tone = nullptr);
    // The field only, as the optics show it: no uneven light, no noise.
    void renderField(const FieldOfView& field, cv::Size size, cv::Mat& rgb) const;

private:
    void prepare(cv::Size size);

    const OpticsSettings m_settings;
    const double m_framesPerSecond;
    cv::Size m_size;
    std::optional<cv::Point2d> m_held;
    StagePath m_path;
    cv::Mat m_shading;              // gain × 255 per channel, 8UC3
    cv::Mat m_noiseUp, m_noiseDown; // noise split by sign, 8UC3, larger than a frame
};

} // namespace optics
