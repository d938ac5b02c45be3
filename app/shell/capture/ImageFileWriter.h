#pragma once
// Writes a B, G, R, A picture to an image file whose extension names the
// format: JPEG at quality 90, PNG at compression level 6, BMP and TIFF as
// they come. A TIFF with a scale carries it the way ImageJ reads it.
#include "app/shell/capture/ImageScale.h"

#include <cstdint>
#include <string>

namespace shell {

// False when the writer refuses the name or the file cannot be written.
bool WriteImageFile(const std::string& path, const uint8_t* bgra, int width, int height,
                    const ImageScale* scale = nullptr);

// A TIFF of R, G, B samples (alpha dropped) with resolution unit none,
// X and Y resolution = pixels per unit and an ImageJ description naming the
// unit, so ImageJ opens it calibrated.
bool WriteCalibratedTiff(const std::string& path, const uint8_t* bgra, int width, int height, const ImageScale& scale);

// Whether the path ends in "tif" or "tiff" (any case).
bool IsTiffPath(const std::string& path);

} // namespace shell
