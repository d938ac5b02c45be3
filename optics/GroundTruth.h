#pragma once
// Ground truth for tests, benchmarks and the tools: the whole slide with every
// specimen sharp, and the field a frame showed, written as picture files
// (their type by the file's extension: .png, .ppm, .tif, …).
#include "optics/Microscope.h"

#include <string>

namespace optics {

// False when the file cannot be written.
bool writeSharpSlide(const std::string& file);
// The field of frame `frame` of `size` as the optics showed it (its blur and
// magnification, no uneven light, no noise); `field` says where and how.
bool writeFieldOfFrame(const OpticsSettings& settings, double framesPerSecond, uint64_t frame, cv::Size size,
                       double restFocus, const std::string& file, FieldOfView& field);
// One line for a person: "frame N: centre x y (slide pixels), focus …".
std::string describeField(uint64_t frame, const FieldOfView& field, cv::Size size);

} // namespace optics
