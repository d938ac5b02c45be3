#pragma once
// Writes a B, G, R, A picture to an image file whose extension names the
// format: JPEG at quality 90, PNG at compression level 6, BMP as it comes,
// TIFF in tiles (a reader shows part of a large picture without reading all
// of it). A TIFF with a scale carries it the way ImageJ reads it. Every
// file is written whole under a temporary name and then moved to its own,
// numbered ("-1", "-2", ...) when `existing` says so and the name is taken.
#include "app/shell/capture/ImageScale.h"
#include "platform/AtomicFile.h"

#include <cstdint>
#include <string>

namespace shell {

// False when the writer refuses the name or the file cannot be written; no
// file is left then. `saved`, when given, gets the name the file got.
bool WriteImageFile(const std::string& path, const uint8_t* bgra, int width, int height,
                    const ImageScale* scale = nullptr, std::string* saved = nullptr,
                    platform::ExistingFile existing = platform::ExistingFile::Number);

// A TIFF of R, G, B samples (alpha dropped) with resolution unit none,
// X and Y resolution = pixels per unit and an ImageJ description naming the
// unit, so ImageJ opens it calibrated.
bool WriteCalibratedTiff(const std::string& path, const uint8_t* bgra, int width, int height, const ImageScale& scale,
                         std::string* saved = nullptr,
                         platform::ExistingFile existing = platform::ExistingFile::Number);

// Whether the path ends in "tif" or "tiff" (any case).
bool IsTiffPath(const std::string& path);

} // namespace shell
