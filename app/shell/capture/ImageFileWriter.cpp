#include "app/shell/capture/ImageFileWriter.h"

#include "app/panorama/TiledTiff.h"
#include "app/view/PictureFile.h"

#include <strings.h>

namespace shell {
namespace {

bool endsWithNoCase(const std::string& text, const char* suffix)
{
    const size_t n = std::char_traits<char>::length(suffix);
    return text.size() >= n && ::strcasecmp(text.c_str() + text.size() - n, suffix) == 0;
}

} // namespace

bool IsTiffPath(const std::string& path) { return endsWithNoCase(path, "tif") || endsWithNoCase(path, "tiff"); }

bool WriteImageFile(const std::string& path, const uint8_t* bgra, int width, int height, const ImageScale* scale,
                    std::string* saved, platform::ExistingFile existing)
{
    if (!bgra || width <= 0 || height <= 0 || path.empty())
        return false;
    // TIFFs are tiled, so a reader can show part of a large picture (a
    // panorama) without reading all of it.
    if (IsTiffPath(path)) {
        panorama::TiffScale tiffScale;
        if (scale && scale->pixelsPerUnit > 0)
            tiffScale = {scale->pixelsPerUnit, scale->unit};
        return panorama::writeTiledTiff(path, bgra, width, height, tiffScale, saved, existing,
                                        panorama::PixelBytes::Bgra);
    }
    std::string name;
    if (view::SavePictureFile(path, bgra, width, height, view::PixelOrder::Bgra, existing, name) != 0)
        return false;
    if (saved)
        *saved = name;
    return true;
}

bool WriteCalibratedTiff(const std::string& path, const uint8_t* bgra, int width, int height, const ImageScale& scale,
                         std::string* saved, platform::ExistingFile existing)
{
    if (!bgra || width <= 0 || height <= 0 || !(scale.pixelsPerUnit > 0))
        return false;
    return panorama::writeTiledTiff(path, bgra, width, height, {scale.pixelsPerUnit, scale.unit}, saved, existing,
                                    panorama::PixelBytes::Bgra);
}

} // namespace shell
