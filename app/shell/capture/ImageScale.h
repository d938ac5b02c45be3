#pragma once
// The physical scale a snapshot carries when a calibration is selected.
#include <string>

class SFPrimitiveContainer;

namespace shell {

struct ImageScale {
    // Image pixels per unit (> 0).
    double pixelsPerUnit = 0;
    // The unit as ImageJ names it ("micron", "mm", "cm", "inch", ...).
    std::string unit;
};

// The scale of the calibration the measurements use (chosen on the measure
// page), for a picture `imageWidth` wide taken while the preview was
// `previewWidth` wide: a calibration counts preview pixels. False when no
// calibration other than pixels is in force.
bool CurrentImageScale(const SFPrimitiveContainer& measurements, int previewWidth, int imageWidth, ImageScale& scale);

// ImageJ's name of a unit of the calibration list ("um" is "micron").
std::string ImageJUnitName(const std::string& unitName);

} // namespace shell
