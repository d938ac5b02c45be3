#include "app/view/FrameConverter.h"

#include <libyuv.h>
#include <turbojpeg.h>

#include <utility>

namespace {
// Bytes 0 and 2 of every pixel swapped: B, G, R, A <-> R, G, B, A.
const uint8_t kSwapRedBlue[16] = {2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15};
// Fast upsampling, no reallocation, fast and accurate DCT (accurate wins).
constexpr int kJpegFlags = 0x1D00;

// The working images own their buffers.
void ownBuffer(CWImage& image) { image.externalBuffer = false; }
} // namespace

FrameConverter::FrameConverter() : jpegDecoder_(tjInitDecompress())
{
    ownBuffer(displayImage_);
    ownBuffer(scratchImage_);
}

FrameConverter::~FrameConverter()
{
    if (jpegDecoder_)
        tjDestroy(static_cast<tjhandle>(jpegDecoder_));
}

uint64_t FrameConverter::requiredBytes(int format, int width, int height)
{
    const uint64_t pixels = uint64_t(width) * uint64_t(height);
    switch (format) {
    case FMT_RGB24:
    case FMT_BGR24: return pixels * 3;
    case FMT_YUY2:
    case FMT_YUYV: return pixels * 2;
    case FMT_NV12:
    case FMT_I420: return pixels + 2 * (uint64_t(width + 1) / 2) * (uint64_t(height + 1) / 2);
    case FMT_GREY: return pixels;
    case FMT_MJPG: return 1;
    default: return 0;
    }
}

bool FrameConverter::convert(const CWImage& frame)
{
    if (!frame.data || frame.width <= 0 || frame.height <= 0)
        return false;
    const uint64_t required = requiredBytes(frame.format, frame.width, frame.height);
    // A frame shorter than its format and size need is dropped, never read
    // past its end.
    if (required == 0 || frame.dataSize < required)
        return false;
    // MJPEG decodes straight at the reduced scale the view asked for.
    const tjscalingfactor factor{1, frame.format == FMT_MJPG ? jpegScale_ : 1};
    const int outWidth = TJSCALED(frame.width, factor), outHeight = TJSCALED(frame.height, factor);
    if (!CWImage::checkBuffer(&displayImage_, outWidth, outHeight, 8, 4) ||
        !CWImage::checkBuffer(&scratchImage_, outWidth, outHeight, 8, 4))
        return false;

    const int w = frame.width, h = frame.height;
    uint8_t* out = displayImage_.data;
    uint8_t* scratch = scratchImage_.data;
    const int outStride = w * 4;
    bool swapIntoOutput = true;
    switch (frame.format) {
    case FMT_RGB24: libyuv::RAWToARGB(frame.data, w * 3, scratch, outStride, w, h); break;
    case FMT_BGR24:
        // A negative height makes libyuv read the rows last first.
        libyuv::RGB24ToARGB(frame.data, w * 3, scratch, outStride, w, frame.bottomUp == 1 ? -h : h);
        break;
    case FMT_YUY2: libyuv::YUY2ToARGB(frame.data, w * 2, scratch, outStride, w, h); break;
    case FMT_YUYV:
        // Written straight into the output, so it holds B, G, R, A.
        libyuv::ConvertToARGB(frame.data, frame.dataSize, out, outStride, 0, 0, w, h, w, h, libyuv::kRotate0,
                              libyuv::FOURCC_YUYV);
        swapIntoOutput = false;
        break;
    case FMT_NV12: {
        // libyuv's ARGB is B, G, R, A in memory: swapped into the output below.
        const uint8_t* uv = frame.data + size_t(w) * h;
        libyuv::NV12ToARGB(frame.data, w, uv, (w + 1) / 2 * 2, scratch, outStride, w, h);
        break;
    }
    case FMT_I420: {
        const uint8_t* u = frame.data + size_t(w) * h;
        const uint8_t* v = u + size_t((w + 1) / 2) * ((h + 1) / 2);
        libyuv::I420ToARGB(frame.data, w, u, (w + 1) / 2, v, (w + 1) / 2, scratch, outStride, w, h);
        break;
    }
    case FMT_GREY: libyuv::J400ToARGB(frame.data, w, scratch, outStride, w, h); break;
    case FMT_MJPG:
        if (!decodeJpeg(frame))
            return false;
        swapIntoOutput = false;
        break;
    default: return false;
    }
    if (swapIntoOutput)
        libyuv::ARGBShuffle(scratch, outStride, out, outStride, kSwapRedBlue, w, h);
    displayImage_.format = FMT_RGBA32;
    displayImage_.bottomUp = 0;
    pictureWidth_ = frame.width;
    pictureHeight_ = frame.height;
    return true;
}

void FrameConverter::setJpegScale(int denominator)
{
    jpegScale_ = denominator == 2 || denominator == 4 || denominator == 8 ? denominator : 1;
}

bool FrameConverter::decodeJpeg(const CWImage& frame)
{
    if (!jpegDecoder_)
        return false;
    auto* decoder = static_cast<tjhandle>(jpegDecoder_);
    int jpegWidth = 0, jpegHeight = 0, subsampling = 0, colorspace = 0;
    if (tjDecompressHeader3(decoder, frame.data, frame.dataSize, &jpegWidth, &jpegHeight, &subsampling, &colorspace) !=
        0)
        return false;
    // A JPEG of another size than the frame announces would not fit the
    // picture; it is refused rather than scaled.
    if (jpegWidth != frame.width || jpegHeight != frame.height)
        return false;
    // Decode into the scratch image first: a corrupt JPEG must leave the
    // previous picture intact.
    const int outWidth = scratchImage_.width, outHeight = scratchImage_.height;
    if (tjDecompress2(decoder, frame.data, frame.dataSize, scratchImage_.data, outWidth, outWidth * 4, outHeight,
                      TJPF_RGBA, kJpegFlags) != 0 &&
        tjGetErrorCode(decoder) == TJERR_FATAL)
        return false;
    std::swap(displayImage_.data, scratchImage_.data);
    return true;
}

const uint8_t* FrameConverter::toI420()
{
    const int w = displayImage_.width, h = displayImage_.height;
    // 4:2:0 needs even sizes; odd ones would write the chroma planes past
    // their quarter-size rows (the encoder refuses them anyway).
    if (!displayImage_.data || w <= 0 || h <= 0 || w % 2 || h % 2)
        return nullptr;
    const size_t luma = size_t(w) * h;
    const size_t size = luma * 3 / 2;
    if (i420Buffer_.size() != size)
        i420Buffer_.assign(size, 0);
    uint8_t* y = i420Buffer_.data();
    uint8_t* u = y + luma;
    uint8_t* v = y + luma * 5 / 4;
    libyuv::ABGRToI420(displayImage_.data, w * 4, y, w, u, w / 2, v, w / 2, w, h);
    return i420Buffer_.data();
}
