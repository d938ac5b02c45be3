#include "optics/GroundTruth.h"

#include "optics/Slide.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>

namespace optics {
namespace {

bool save(const std::string& file, const cv::Mat& rgb)
{
    cv::Mat bgr;
    cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
    try {
        return cv::imwrite(file, bgr);
    } catch (const cv::Exception&) {
        return false; // no writer for the extension
    }
}

} // namespace

bool writeSharpSlide(const std::string& file)
{
    return save(file, Slide::instance().renderSharp({0, 0, kSlideWidth, kSlideHeight}));
}

bool writeFieldOfFrame(const OpticsSettings& settings, double framesPerSecond, uint64_t frame, cv::Size size,
                       double restFocus, const std::string& file, FieldOfView& field)
{
    const Microscope microscope(settings, framesPerSecond);
    field = microscope.fieldAt(frame, size, restFocus);
    cv::Mat picture;
    microscope.renderField(field, size, picture);
    return save(file, picture);
}

std::string describeField(uint64_t frame, const FieldOfView& field, cv::Size size)
{
    char text[200];
    std::snprintf(text, sizeof text,
                  "frame %llu: centre %.2f %.2f (slide pixels), focus %.2f (level %d), magnification %.4f, %dx%d",
                  static_cast<unsigned long long>(frame), field.centre.x, field.centre.y, field.focus, field.level,
                  field.magnification, size.width, size.height);
    return text;
}

} // namespace optics
