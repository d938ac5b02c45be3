#pragma once
// The physical scale stored in a picture file, read the way ImageJ reads it:
// the ImageJ description's unit with the X resolution as pixels per unit
// first; otherwise the TIFF resolution in centimetres or inches, except 72
// per inch (what image editors write when they know nothing). Pure functions
// over the tag values, so the parsing is tested and fuzzed without files.
#include "app/shell/capture/ImageScale.h"

#include <optional>
#include <string>
#include <string_view>

namespace shell {

// The tag values that decide a TIFF's scale.
struct TiffScaleTags {
    std::string description; // ImageDescription ("" when missing)
    double xResolution = 0;  // XResolution (0 when missing)
    int resolutionUnit = 2;  // ResolutionUnit: 1 none, 2 inch (TIFF's default), 3 centimetre
};

// The value of `key` in an ImageJ description ("key=value" lines); none when
// the description is not ImageJ's or has no such line.
std::optional<std::string> ImageJValue(std::string_view description, std::string_view key);

// The scale the tags give; none when they give none (no resolution, a
// resolution that is not a positive finite number, 72 per inch, or an
// ImageJ description whose unit is pixels).
std::optional<ImageScale> ScaleFromTiffTags(const TiffScaleTags& tags);

// ImageJ's display range ("min=" and "max=" of its description); false when
// the description has none or it is empty or reversed.
bool ImageJDisplayRange(std::string_view description, double& minimum, double& maximum);

} // namespace shell
