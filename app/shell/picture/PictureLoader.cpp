#include "app/shell/picture/PictureLoader.h"

#include "app/shell/picture/PictureScale.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <tiffio.h>
#include <turbojpeg.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fstream>
#include <string>

namespace shell {
namespace {

uint32_t be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
uint16_t be16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
int32_t le32(const uint8_t* p)
{
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
}

// The frame size of a JPEG's first start-of-frame marker.
void readJpegSize(const uint8_t* bytes, size_t size, PictureHeader& header)
{
    size_t at = 2;
    while (at + 4 <= size) {
        if (bytes[at] != 0xFF)
            return;
        const uint8_t marker = bytes[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        const size_t length = be16(bytes + at + 2);
        if (length < 2)
            return;
        const bool startOfFrame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (startOfFrame) {
            if (at + 9 > size)
                return;
            header.height = be16(bytes + at + 5);
            header.width = be16(bytes + at + 7);
            return;
        }
        at += 2 + length;
    }
}

// The TIFF tags that give the scale and ImageJ's display range.
struct TiffInfo {
    bool ok = false;
    int64_t width = 0;
    int64_t height = 0;
    TiffScaleTags tags;
};

TiffInfo readTiffInfo(const std::string& path)
{
    TiffInfo info;
    TIFFSetWarningHandler(nullptr);
    TIFFSetErrorHandler(nullptr);
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    if (!tiff)
        return info;
    uint32_t width = 0, height = 0;
    info.ok =
        TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width) == 1 && TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height) == 1;
    info.width = width;
    info.height = height;
    char* description = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_IMAGEDESCRIPTION, &description) == 1 && description)
        info.tags.description = description;
    float resolution = 0;
    if (TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &resolution) == 1)
        info.tags.xResolution = resolution;
    uint16_t unit = RESUNIT_INCH;
    if (TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit) == 1)
        info.tags.resolutionUnit = unit;
    TIFFClose(tiff);
    return info;
}

// A JPEG straight into the view's R, G, B, A (no conversion pass of its
// own). `damaged` when the data ends early or cannot be decoded (the general
// decoder would fill the rest with grey and call it a picture); null without
// `damaged` where TurboJPEG cannot say (CMYK, a header it does not read):
// the general decoder decides then.
std::shared_ptr<StillPicture> decodeJpegToRgba(const std::vector<uint8_t>& bytes, bool& damaged)
{
    damaged = false;
    struct Decoder {
        tjhandle handle = tjInitDecompress();
        ~Decoder()
        {
            if (handle)
                tjDestroy(handle);
        }
    } decoder;
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    if (!decoder.handle || tjDecompressHeader3(decoder.handle, bytes.data(), static_cast<unsigned long>(bytes.size()),
                                               &width, &height, &subsampling, &colorspace) != 0)
        return nullptr;
    if (!PictureSizeAllowed(width, height) || colorspace == TJCS_CMYK || colorspace == TJCS_YCCK)
        return nullptr;
    auto picture = std::make_shared<StillPicture>();
    picture->width = width;
    picture->height = height;
    picture->rgba.resize(size_t(width) * size_t(height) * 4);
    if (tjDecompress2(decoder.handle, bytes.data(), static_cast<unsigned long>(bytes.size()), picture->rgba.data(),
                      width, width * 4, height, TJPF_RGBA, 0) != 0) {
        // Warnings about stray bytes leave a whole picture; a cut file does not.
        const std::string why = tjGetErrorStr2(decoder.handle);
        if (tjGetErrorCode(decoder.handle) != TJERR_WARNING || why.find("Premature end") != std::string::npos) {
            damaged = true;
            return nullptr;
        }
    }
    return picture;
}

} // namespace

PictureHeader ReadPictureHeader(const uint8_t* bytes, size_t size)
{
    PictureHeader header;
    if (!bytes || size < 4)
        return header;
    if (size >= 24 && std::equal(bytes, bytes + 8, reinterpret_cast<const uint8_t*>("\x89PNG\r\n\x1a\n"))) {
        header.format = PictureFormat::Png;
        if (std::equal(bytes + 12, bytes + 16, reinterpret_cast<const uint8_t*>("IHDR"))) {
            header.width = be32(bytes + 16);
            header.height = be32(bytes + 20);
        }
    } else if (bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) {
        header.format = PictureFormat::Jpeg;
        readJpegSize(bytes, size, header);
    } else if (bytes[0] == 'B' && bytes[1] == 'M') {
        header.format = PictureFormat::Bmp;
        if (size >= 26) {
            // Negative heights are top-down rows.
            header.width = std::abs(int64_t(le32(bytes + 18)));
            header.height = std::abs(int64_t(le32(bytes + 22)));
        }
    } else if ((bytes[0] == 'I' && bytes[1] == 'I' && bytes[2] == 42 && bytes[3] == 0) ||
               (bytes[0] == 'M' && bytes[1] == 'M' && bytes[2] == 0 && bytes[3] == 42)) {
        header.format = PictureFormat::Tiff;
    }
    return header;
}

bool PictureSizeAllowed(int64_t width, int64_t height)
{
    return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
           width * height <= kMaxPicturePixels;
}

void MapSamplesTo8Bit(const uint16_t* in, uint8_t* out, size_t count, double low, double high)
{
    if (!(high > low) || !std::isfinite(low) || !std::isfinite(high)) {
        low = 0;
        high = 65535;
    }
    const double scale = 255.0 / (high - low);
    for (size_t i = 0; i < count; ++i) {
        const double v = (double(in[i]) - low) * scale;
        out[i] = uint8_t(v <= 0 ? 0 : v >= 255 ? 255 : std::lround(v));
    }
}

PictureLoadResult LoadPictureFile(const std::string& path)
{
    PictureLoadResult result;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        result.error = errno == ENOENT || errno == ENOTDIR ? PictureLoadError::Missing : PictureLoadError::Unreadable;
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        result.error = PictureLoadError::Unreadable;
        return result;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        result.error = PictureLoadError::Unreadable;
        return result;
    }
    // One read of the size the file has (a file that grows meanwhile is read
    // as it was; one that shrank as it is now).
    std::vector<uint8_t> bytes(size_t(info.st_size));
    file.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    if (file.bad()) {
        result.error = PictureLoadError::Unreadable;
        return result;
    }
    bytes.resize(size_t(file.gcount()));
    if (bytes.empty()) {
        result.error = PictureLoadError::Empty;
        return result;
    }
    PictureHeader header = ReadPictureHeader(bytes.data(), bytes.size());
    if (header.format == PictureFormat::Unknown) {
        result.error = PictureLoadError::NotAPicture;
        return result;
    }
    TiffInfo tiff;
    if (header.format == PictureFormat::Tiff) {
        tiff = readTiffInfo(path);
        if (!tiff.ok) {
            result.error = PictureLoadError::Corrupt;
            return result;
        }
        header.width = tiff.width;
        header.height = tiff.height;
    }
    // The header is checked before the decoder allocates anything.
    if ((header.width != 0 || header.height != 0) && !PictureSizeAllowed(header.width, header.height)) {
        result.error = header.width > 0 && header.height > 0 ? PictureLoadError::TooLarge : PictureLoadError::Corrupt;
        return result;
    }
    if (header.format == PictureFormat::Jpeg) {
        bool damaged = false;
        auto picture = decodeJpegToRgba(bytes, damaged);
        if (damaged)
            result.error = PictureLoadError::Corrupt;
        if (picture) {
            picture->path = path;
            result.picture = std::move(picture);
        }
        if (damaged || picture)
            return result;
    }
    cv::Mat decoded;
    try {
        decoded = cv::imdecode(cv::Mat(1, int(bytes.size()), CV_8U, bytes.data()), cv::IMREAD_UNCHANGED);
    } catch (const cv::Exception&) {
        decoded.release();
    }
    bytes.clear();
    bytes.shrink_to_fit();
    if (decoded.empty()) {
        result.error = PictureLoadError::Corrupt;
        return result;
    }
    if (!PictureSizeAllowed(decoded.cols, decoded.rows)) {
        result.error = PictureLoadError::TooLarge;
        return result;
    }
    const int channels = decoded.channels();
    if ((decoded.depth() != CV_8U && decoded.depth() != CV_16U) || (channels != 1 && channels != 3 && channels != 4)) {
        result.error = PictureLoadError::Unsupported;
        return result;
    }
    if (decoded.depth() == CV_16U) {
        // ImageJ's stored display range, else the picture's own extent.
        double low = 0, high = 0;
        if (!ImageJDisplayRange(tiff.tags.description, low, high))
            cv::minMaxLoc(decoded.reshape(1), &low, &high);
        if (!(high > low))
            high = low + 1;
        cv::Mat eight(decoded.size(), CV_8UC(channels));
        for (int y = 0; y < decoded.rows; ++y)
            MapSamplesTo8Bit(decoded.ptr<uint16_t>(y), eight.ptr<uint8_t>(y), size_t(decoded.cols) * channels, low,
                             high);
        decoded = eight;
    }
    auto picture = std::make_shared<StillPicture>();
    picture->width = decoded.cols;
    picture->height = decoded.rows;
    picture->rgba.resize(size_t(decoded.cols) * size_t(decoded.rows) * 4);
    cv::Mat rgba(decoded.rows, decoded.cols, CV_8UC4, picture->rgba.data());
    const int code = channels == 1 ? cv::COLOR_GRAY2RGBA : channels == 3 ? cv::COLOR_BGR2RGBA : cv::COLOR_BGRA2RGBA;
    cv::cvtColor(decoded, rgba, code);
    picture->path = path;
    if (header.format == PictureFormat::Tiff)
        picture->scale = ScaleFromTiffTags(tiff.tags);
    result.picture = std::move(picture);
    return result;
}

} // namespace shell
