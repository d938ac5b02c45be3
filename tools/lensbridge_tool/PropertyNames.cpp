#include "PropertyNames.h"

#include <cstdlib>

namespace {
constexpr PropertyName kNames[] = {
    {CM_PROP_BRIGHTNESS, "brightness"},
    {CM_PROP_CONTRAST, "contrast"},
    {CM_PROP_HUE, "hue"},
    {CM_PROP_SATURATION, "saturation"},
    {CM_PROP_GAMMA, "gamma"},
    {CM_PROP_SHARPNESS, "sharpness"},
    {CM_PROP_GAIN, "gain"},
    {CM_PROP_OFFSET_2, "offset2"},
    {CM_PROP_OFFSET_1, "offset1"},
    {CM_PROP_OFFSET_0, "offset0"},
    {CM_PROP_CONTROL10, "control10"},
    {CM_PROP_EXPOSURE_TARGET, "exposure-target"},
    {CM_PROP_EXPOSURE, "exposure"},
    {CM_PROP_RED_GAIN, "red-gain"},
    {CM_PROP_GREEN_GAIN, "green-gain"},
    {CM_PROP_BLUE_GAIN, "blue-gain"},
    {CM_PROP_WB_TEMPERATURE, "wb-temperature"},
    {CM_PROP_RESERVED17, "reserved17"},
    {CM_PROP_COLOR_MODE, "color-mode"},
    {CM_PROP_POWERLINE, "powerline"},
    {CM_PROP_DENOISE, "denoise"},
    {CM_PROP_IRIS, "iris"},
};
} // namespace

const PropertyName* propertyNames(int& count)
{
    count = static_cast<int>(sizeof kNames / sizeof kNames[0]);
    return kNames;
}

std::optional<tagCMProperty> parseProperty(const std::string& text)
{
    for (const PropertyName& p : kNames)
        if (text == p.name)
            return p.id;
    char* end = nullptr;
    const long number = std::strtol(text.c_str(), &end, 10);
    if (!text.empty() && *end == '\0' && number >= 0 && number <= CM_PROP_IRIS)
        return static_cast<tagCMProperty>(number);
    return std::nullopt;
}

const char* propertyName(tagCMProperty id)
{
    for (const PropertyName& p : kNames)
        if (p.id == id)
            return p.name;
    return "?";
}
