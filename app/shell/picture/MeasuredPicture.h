#pragma once
// A still picture at its full size with its measurements and the scale bar
// drawn into its pixels, as "Save with measurements" writes it. Both run on
// the UI thread (a graphics context made on a thread that then ends is never
// given back by the graphics library). The drawing goes in tiles far below
// any graphics driver's texture limit, so a picture of any size fits.
#include "app/measure/SFPrimitiveContainer.h"
#include "app/shell/PictureSource.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace shell {

// UI thread. Independent copies of the measurements `shown` holds, with its
// colours and calibration, placed at one view pixel per picture pixel.
std::unique_ptr<SFPrimitiveContainer> CopyAtFullSize(const SFPrimitiveContainer& shown);

// UI thread. The picture's B, G, R, A pixels with `measurements` (from
// CopyAtFullSize) and a scale bar of their calibration drawn over them;
// empty when the graphics driver could not draw.
std::vector<uint8_t> DrawMeasuredPicture(const StillPicture& picture, const SFPrimitiveContainer& measurements);

// The unit `measurements` are in, as UTF-8 ("µm", "mm", "px").
std::string MeasurementUnit(const SFPrimitiveContainer& measurements);

} // namespace shell
