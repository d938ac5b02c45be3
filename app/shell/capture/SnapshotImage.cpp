#include "app/shell/capture/SnapshotImage.h"

#include <libyuv.h>
#include <turbojpeg.h>

#include <cstring>

namespace shell {
namespace {
// Bytes 0 and 2 of every pixel exchanged.
const uint8_t kSwapRedBlue[16] = {2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15};
// Fast upsampling, no reallocation, fast and accurate DCT (accurate wins).
constexpr int kJpegFlags = 0x1D00;

uint64_t requiredBytes(int format, int width, int height)
{
    const uint64_t pixels = uint64_t(width) * uint64_t(height);
    switch (format) {
    case FMT_RGB24:
    case FMT_BGR24: return pixels * 3;
    case FMT_YUY2:
    case FMT_YUYV: return pixels * 2;
    case FMT_MJPG: return 1;
    default: return 0;
    }
}
} // namespace

SnapshotConverter::SnapshotConverter() : m_jpegDecoder(tjInitDecompress()) {}

SnapshotConverter::~SnapshotConverter()
{
    if (m_jpegDecoder)
        tjDestroy(static_cast<tjhandle>(m_jpegDecoder));
}

bool SnapshotConverter::convert(const CWImage& picture, std::vector<uint8_t>& bgra)
{
    bgra.clear();
    const int w = picture.width, h = picture.height;
    if (!picture.data || w <= 0 || h <= 0)
        return false;
    const uint64_t required = requiredBytes(picture.format, w, h);
    if (required == 0 || picture.dataSize < required)
        return false;
    bgra.resize(size_t(w) * h * 4);
    uint8_t* out = bgra.data();
    const int stride = w * 4;
    int result = 0;
    switch (picture.format) {
    case FMT_RGB24: result = libyuv::RAWToARGB(picture.data, w * 3, out, stride, w, h); break;
    case FMT_BGR24: result = libyuv::RGB24ToARGB(picture.data, w * 3, out, stride, w, h); break;
    case FMT_YUY2: result = libyuv::YUY2ToARGB(picture.data, w * 2, out, stride, w, h); break;
    case FMT_YUYV:
        result = libyuv::ConvertToARGB(picture.data, picture.dataSize, out, stride, 0, 0, w, h, w, h, libyuv::kRotate0,
                                       libyuv::FOURCC_YUYV);
        if (result == 0)
            libyuv::ARGBShuffle(out, stride, out, stride, kSwapRedBlue, w, h);
        break;
    case FMT_MJPG: {
        auto* decoder = static_cast<tjhandle>(m_jpegDecoder);
        int jpegWidth = 0, jpegHeight = 0, subsampling = 0, colorspace = 0;
        // A JPEG of another size than announced would not fit the buffer.
        if (!decoder ||
            tjDecompressHeader3(decoder, picture.data, picture.dataSize, &jpegWidth, &jpegHeight, &subsampling,
                                &colorspace) != 0 ||
            jpegWidth != w || jpegHeight != h)
            result = -1;
        else if (tjDecompress2(decoder, picture.data, picture.dataSize, out, w, stride, h, TJPF_BGRA, kJpegFlags) !=
                     0 &&
                 tjGetErrorCode(decoder) == TJERR_FATAL)
            result = -1;
        break;
    }
    default: result = -1;
    }
    if (result != 0) {
        bgra.clear();
        return false;
    }
    if (picture.bottomUp == 1) {
        std::vector<uint8_t> row(static_cast<size_t>(stride));
        for (int top = 0, bottom = h - 1; top < bottom; ++top, --bottom) {
            std::memcpy(row.data(), out + size_t(top) * stride, size_t(stride));
            std::memcpy(out + size_t(top) * stride, out + size_t(bottom) * stride, size_t(stride));
            std::memcpy(out + size_t(bottom) * stride, row.data(), size_t(stride));
        }
    }
    return true;
}

} // namespace shell
