#include "app/shell/picture/PictureScale.h"

#include <cmath>
#include <cstdlib>

namespace shell {
namespace {

bool isImageJ(std::string_view description) { return description.substr(0, 7) == "ImageJ="; }

// ImageJ writes "micron" for µm, and older versions the escaped sign.
std::string normaliseUnit(std::string unit)
{
    while (!unit.empty() && (unit.back() == '\r' || unit.back() == ' '))
        unit.pop_back();
    if (unit == "\\u00B5m" || unit == "\xC2\xB5m" || unit == "um")
        return "micron";
    return unit;
}

bool parseNumber(const std::string& text, double& value)
{
    if (text.empty() || text.size() > 64)
        return false;
    const std::string copy(text);
    char* end = nullptr;
    value = std::strtod(copy.c_str(), &end);
    return end && end != copy.c_str() && std::isfinite(value);
}

} // namespace

std::optional<std::string> ImageJValue(std::string_view description, std::string_view key)
{
    if (!isImageJ(description) || key.empty())
        return std::nullopt;
    size_t start = 0;
    while (start < description.size()) {
        size_t end = description.find('\n', start);
        if (end == std::string_view::npos)
            end = description.size();
        const std::string_view line = description.substr(start, end - start);
        if (line.size() > key.size() && line.substr(0, key.size()) == key && line[key.size()] == '=')
            return std::string(line.substr(key.size() + 1));
        start = end + 1;
    }
    return std::nullopt;
}

std::optional<ImageScale> ScaleFromTiffTags(const TiffScaleTags& tags)
{
    if (!(tags.xResolution > 0) || !std::isfinite(tags.xResolution))
        return std::nullopt;
    if (const auto unit = ImageJValue(tags.description, "unit")) {
        const std::string name = normaliseUnit(*unit);
        if (name.empty() || name == "pixel" || name == "pixels")
            return std::nullopt;
        // ImageJ's resolution is pixels per its unit whatever the TIFF unit says.
        return ImageScale{tags.xResolution, name};
    }
    switch (tags.resolutionUnit) {
    case 3: return ImageScale{tags.xResolution, "cm"};
    case 2:
        if (tags.xResolution == 72.0)
            return std::nullopt;
        return ImageScale{tags.xResolution, "inch"};
    default: return std::nullopt;
    }
}

bool ImageJDisplayRange(std::string_view description, double& minimum, double& maximum)
{
    const auto low = ImageJValue(description, "min");
    const auto high = ImageJValue(description, "max");
    double a = 0, b = 0;
    if (!low || !high || !parseNumber(*low, a) || !parseNumber(*high, b) || !(b > a))
        return false;
    minimum = a;
    maximum = b;
    return true;
}

} // namespace shell
