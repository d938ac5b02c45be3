#include "app/shell/capture/ImageScale.h"

#include "app/measure/SFPrimitiveContainer.h"

namespace shell {

std::string ImageJUnitName(const std::string& unitName)
{
    if (unitName == "um")
        return "micron";
    if (unitName == "in")
        return "inch";
    if (unitName == "uin")
        return "microinch";
    return unitName;
}

bool CurrentImageScale(const SFPrimitiveContainer& measurements, int previewWidth, int imageWidth, ImageScale& scale)
{
    sf::String unitName;
    const float factor = measurements.calibration(unitName);
    const std::string unit = unitName.toAnsiString();
    // Pixels are no scale; unknown units have no name to carry.
    if (previewWidth <= 0 || imageWidth <= 0 || factor <= 0 || unit.empty() || unit == "px" || unit == "n/a")
        return false;
    // factor: units per preview pixel; a still of another width spans the
    // same field with more or fewer pixels.
    const double unitsPerImagePixel = double(factor) * previewWidth / imageWidth;
    scale.pixelsPerUnit = 1.0 / unitsPerImagePixel;
    scale.unit = ImageJUnitName(unit);
    return true;
}

} // namespace shell
