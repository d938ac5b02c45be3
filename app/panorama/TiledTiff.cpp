#include "app/panorama/TiledTiff.h"

#include <tiffio.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace panorama {
namespace {

constexpr uint32_t kTile = 256;

// ImageJ takes the unit to the line's end: one line of plain ASCII.
std::string descriptionUnit(const std::string& unit)
{
    std::string clean;
    for (char c : unit)
        if (c > ' ' && c < 127 && c != '=')
            clean += c;
    return clean.empty() ? "pixel" : clean;
}

} // namespace

bool writeTiledTiff(const std::string& path, const uint8_t* pixels, int width, int height, const TiffScale& scale,
                    std::string* saved, platform::ExistingFile existing, PixelBytes order)
{
    if (!pixels || width <= 0 || height <= 0 || path.empty())
        return false;
    platform::AtomicFile file(path, existing);
    if (!file.isOpen())
        return false;
    TIFFSetWarningHandler(nullptr);
    TIFF* tiff = TIFFOpen(file.tempPath().c_str(), "w");
    if (!tiff)
        return false;
    bool ok = TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(width)) &&
              TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(height)) &&
              TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8) && TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3) &&
              TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
              TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
              TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
              TIFFSetField(tiff, TIFFTAG_TILEWIDTH, kTile) && TIFFSetField(tiff, TIFFTAG_TILELENGTH, kTile);
    if (ok && scale.pixelsPerUnit > 0) {
        const std::string description = "ImageJ=1.54f\nunit=" + descriptionUnit(scale.unit) + "\n";
        ok = TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_NONE) &&
             TIFFSetField(tiff, TIFFTAG_XRESOLUTION, scale.pixelsPerUnit) &&
             TIFFSetField(tiff, TIFFTAG_YRESOLUTION, scale.pixelsPerUnit) &&
             TIFFSetField(tiff, TIFFTAG_IMAGEDESCRIPTION, description.c_str());
    }
    // Tiles at the right and bottom edges are padded with black.
    const int red = order == PixelBytes::Rgba ? 0 : 2, blue = 2 - red;
    std::vector<uint8_t> tile(size_t(kTile) * kTile * 3);
    for (uint32_t ty = 0; ok && ty < uint32_t(height); ty += kTile)
        for (uint32_t tx = 0; ok && tx < uint32_t(width); tx += kTile) {
            std::fill(tile.begin(), tile.end(), uint8_t(0));
            const uint32_t w = std::min(kTile, uint32_t(width) - tx), h = std::min(kTile, uint32_t(height) - ty);
            for (uint32_t y = 0; y < h; ++y) {
                const uint8_t* in = pixels + ((size_t(ty) + y) * size_t(width) + tx) * 4;
                uint8_t* out = tile.data() + size_t(y) * kTile * 3;
                for (uint32_t x = 0; x < w; ++x, in += 4, out += 3) {
                    out[0] = in[red];
                    out[1] = in[1];
                    out[2] = in[blue];
                }
            }
            ok = TIFFWriteTile(tiff, tile.data(), tx, ty, 0, 0) > 0;
        }
    ok = TIFFFlush(tiff) == 1 && ok;
    TIFFClose(tiff);
    if (!ok)
        file.abandon(EIO);
    if (!file.commit())
        return false;
    if (saved)
        *saved = file.finalPath();
    return true;
}

} // namespace panorama
