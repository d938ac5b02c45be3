#pragma once
// Large pictures (a panorama of up to 100 megapixels) as tiled TIFF through
// libtiff: 256 × 256 tiles of R, G, B, so a reader can show any part without
// reading the whole file. A scale goes in the way ImageJ reads it (no TIFF
// unit, pixels per unit as the resolution, the unit in the description). The
// file is written whole under a temporary name and then moved to its own.
// Any thread.
#include "platform/AtomicFile.h"

#include <cstdint>
#include <string>

namespace panorama {

struct TiffScale {
    double pixelsPerUnit = 0; // 0: no scale
    std::string unit;         // ImageJ's name ("micron", "mm", ...)
};

// The order of the four bytes of a pixel.
enum class PixelBytes { Rgba, Bgra };

// `pixels`: width × height × 4 bytes in `order` (A dropped). False, and no
// file left, when the picture is empty or the file cannot be written;
// `saved` gets the name the file got.
bool writeTiledTiff(const std::string& path, const uint8_t* pixels, int width, int height, const TiffScale& scale,
                    std::string* saved = nullptr, platform::ExistingFile existing = platform::ExistingFile::Number,
                    PixelBytes order = PixelBytes::Rgba);

} // namespace panorama
