#include "app/shell/capture/ImageFileWriter.h"

#include "app/view/PictureFile.h"

#include <tiffio.h>

#include <strings.h>

#include <cerrno>
#include <vector>

namespace shell {
namespace {

bool endsWithNoCase(const std::string& text, const char* suffix)
{
    const size_t n = std::char_traits<char>::length(suffix);
    return text.size() >= n && ::strcasecmp(text.c_str() + text.size() - n, suffix) == 0;
}

// ImageJ escapes nothing in its description's unit line but takes it to the
// line's end; keep the text on one line of plain ASCII.
std::string descriptionUnit(const std::string& unit)
{
    std::string clean;
    for (char c : unit)
        if (c > ' ' && c < 127 && c != '=')
            clean += c;
    return clean.empty() ? "pixel" : clean;
}

} // namespace

bool IsTiffPath(const std::string& path) { return endsWithNoCase(path, "tif") || endsWithNoCase(path, "tiff"); }

bool WriteImageFile(const std::string& path, const uint8_t* bgra, int width, int height, const ImageScale* scale,
                    std::string* saved, platform::ExistingFile existing)
{
    if (!bgra || width <= 0 || height <= 0 || path.empty())
        return false;
    if (scale && scale->pixelsPerUnit > 0 && IsTiffPath(path))
        return WriteCalibratedTiff(path, bgra, width, height, *scale, saved, existing);
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
    platform::AtomicFile file(path, existing);
    if (!file.isOpen())
        return false;
    TIFFSetWarningHandler(nullptr);
    // libtiff writes the temporary file in place by its name; the checked
    // calls below say whether every strip reached it.
    TIFF* tiff = TIFFOpen(file.tempPath().c_str(), "w");
    if (!tiff)
        return false;
    // ImageJ's own calibrated TIFFs: no TIFF unit (TIFF knows only inches
    // and centimetres), pixels per unit as the resolution, the unit in the
    // description, which ImageJ recognises by its leading "ImageJ=".
    const std::string description = "ImageJ=1.54f\nunit=" + descriptionUnit(scale.unit) + "\n";
    bool ok = TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(width)) &&
              TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(height)) &&
              TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8) && TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3) &&
              TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
              TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
              TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
              TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, uint32_t(-1))) &&
              TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_NONE) &&
              TIFFSetField(tiff, TIFFTAG_XRESOLUTION, scale.pixelsPerUnit) &&
              TIFFSetField(tiff, TIFFTAG_YRESOLUTION, scale.pixelsPerUnit) &&
              TIFFSetField(tiff, TIFFTAG_IMAGEDESCRIPTION, description.c_str());
    std::vector<uint8_t> row(size_t(width) * 3);
    for (int y = 0; ok && y < height; ++y) {
        const uint8_t* in = bgra + size_t(y) * width * 4;
        for (int x = 0; x < width; ++x) {
            row[size_t(x) * 3 + 0] = in[x * 4 + 2];
            row[size_t(x) * 3 + 1] = in[x * 4 + 1];
            row[size_t(x) * 3 + 2] = in[x * 4 + 0];
        }
        ok = TIFFWriteScanline(tiff, row.data(), uint32_t(y), 0) == 1;
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

} // namespace shell
