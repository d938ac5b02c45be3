#include "camera/v4l2/EmulatedScene.h"

#include <libyuv.h>
#include <linux/videodev2.h>
#include <turbojpeg.h>

#include <algorithm>
#include <memory>

namespace v4l2 {
namespace {

constexpr SceneColour kField{128, 128, 128};
constexpr SceneColour kPatches[2][4] = {
    {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}},
    {{0, 255, 255}, {255, 0, 255}, {255, 255, 255}, {0, 0, 0}},
};
constexpr int kJpegQuality = 85;

std::vector<uint8_t> renderRgb(int width, int height)
{
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    uint8_t* p = rgb.data();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const SceneColour c = sceneColourAt(x, y, width, height);
            *p++ = c.r;
            *p++ = c.g;
            *p++ = c.b;
        }
    return rgb;
}

struct TjDeleter {
    void operator()(void* handle) const { tjDestroy(handle); }
};

// One compressor per thread, made once: frames are compressed one by one.
tjhandle threadCompressor()
{
    thread_local const std::unique_ptr<void, TjDeleter> encoder(tjInitCompress());
    return encoder.get();
}

// Compresses RGB into TurboJPEG's own buffer and hands it to `use`; false
// when compression fails or `use` refuses.
template <typename Use> bool compressJpeg(const uint8_t* rgb, int width, int height, Use&& use)
{
    const tjhandle encoder = threadCompressor();
    if (!encoder)
        return false;
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const int rc =
        tjCompress2(encoder, rgb, width, 0, height, TJPF_RGB, &jpeg, &size, TJSAMP_422, kJpegQuality, TJFLAG_FASTDCT);
    const bool compressed = rc == 0 && jpeg && use(jpeg, size_t(size));
    tjFree(jpeg);
    return compressed;
}

struct Square {
    int x, y, size;
};

// The square of a phase: an eighth of the height, in the bottom margin,
// stepping from the left edge to the right one.
bool markerSquare(int phase, int width, int height, Square& square)
{
    const int size = height / 8 & ~1;
    if (phase < 0 || size < 2 || width < size * 2)
        return false;
    const int travel = width - size;
    square = {(travel * (phase % kScenePhases) / (kScenePhases - 1)) & ~1, height - size - height / 32, size};
    return square.y >= 0;
}

} // namespace

std::vector<uint8_t> encodeJpeg(const uint8_t* rgb, int width, int height)
{
    std::vector<uint8_t> out;
    compressJpeg(rgb, width, height, [&](const uint8_t* jpeg, size_t size) {
        out.assign(jpeg, jpeg + size);
        return true;
    });
    return out;
}

void drawMarker(uint32_t fourcc, uint8_t* data, size_t length, int width, int height, int phase)
{
    Square sq;
    if (!data || !markerSquare(phase, width, height, sq))
        return;
    const int bytes = fourcc == V4L2_PIX_FMT_YUYV                                      ? 2
                      : (fourcc == V4L2_PIX_FMT_BGR24 || fourcc == V4L2_PIX_FMT_RGB24) ? 3
                                                                                       : 0;
    if (bytes == 0 || length < static_cast<size_t>(width) * height * bytes)
        return;
    for (int y = sq.y; y < sq.y + sq.size; ++y) {
        uint8_t* row = data + (static_cast<size_t>(y) * width + sq.x) * bytes;
        if (bytes == 3) {
            std::fill(row, row + static_cast<size_t>(sq.size) * 3, 255);
        } else {
            for (int i = 0; i < sq.size; i += 2) { // Y U Y V of white
                row[i * 2] = 235;
                row[i * 2 + 1] = 128;
                row[i * 2 + 2] = 235;
                row[i * 2 + 3] = 128;
            }
        }
    }
}

size_t encodePicture(uint32_t fourcc, const uint8_t* rgb, int width, int height, uint8_t* out, size_t capacity)
{
    const size_t pixels = static_cast<size_t>(width) * height;
    switch (fourcc) {
    case V4L2_PIX_FMT_RGB24:
        if (capacity < pixels * 3)
            return 0;
        std::copy(rgb, rgb + pixels * 3, out);
        return pixels * 3;
    case V4L2_PIX_FMT_BGR24:
        if (capacity < pixels * 3)
            return 0;
        libyuv::RAWToRGB24(rgb, width * 3, out, width * 3, width, height);
        return pixels * 3;
    case V4L2_PIX_FMT_YUYV: {
        if (capacity < pixels * 2)
            return 0;
        thread_local std::vector<uint8_t> argb;
        argb.resize(pixels * 4);
        libyuv::RAWToARGB(rgb, width * 3, argb.data(), width * 4, width, height);
        libyuv::ARGBToYUY2(argb.data(), width * 4, out, width * 2, width, height);
        return pixels * 2;
    }
    case V4L2_PIX_FMT_MJPEG: {
        size_t used = 0;
        compressJpeg(rgb, width, height, [&](const uint8_t* jpeg, size_t size) {
            if (size > capacity)
                return false;
            std::copy(jpeg, jpeg + size, out);
            used = size;
            return true;
        });
        return used;
    }
    default: return 0;
    }
}

SceneColour sceneColourAt(int x, int y, int width, int height)
{
    // Patches fill the middle of the picture: 4 columns × 2 rows, each patch
    // an eighth of the width and a quarter of the height, on a margin.
    const int left = width / 8, top = height / 4;
    const int cellW = width * 3 / 16, cellH = height / 4;
    if (x < left || y < top || cellW <= 0 || cellH <= 0)
        return kField;
    const int col = (x - left) / cellW, row = (y - top) / cellH;
    if (col >= 4 || row >= 2)
        return kField;
    // A thin field-coloured gap between patches keeps their edges clean.
    const int inX = (x - left) % cellW, inY = (y - top) % cellH;
    if (inX >= cellW * 7 / 8 || inY >= cellH * 7 / 8)
        return kField;
    return kPatches[row][col];
}

std::vector<uint8_t> renderScene(uint32_t fourcc, int width, int height, int phase)
{
    if (width <= 0 || height <= 0)
        return {};
    std::vector<uint8_t> rgb = renderRgb(width, height);
    drawMarker(V4L2_PIX_FMT_RGB24, rgb.data(), rgb.size(), width, height, phase);
    switch (fourcc) {
    case V4L2_PIX_FMT_RGB24: return rgb;
    case V4L2_PIX_FMT_BGR24:
    case V4L2_PIX_FMT_YUYV: {
        std::vector<uint8_t> picture(static_cast<size_t>(width) * height * (fourcc == V4L2_PIX_FMT_YUYV ? 2 : 3));
        encodePicture(fourcc, rgb.data(), width, height, picture.data(), picture.size());
        return picture;
    }
    case V4L2_PIX_FMT_MJPEG: return encodeJpeg(rgb.data(), width, height);
    default: {
        // Formats the emulator does not draw (H.264 among them) still carry
        // bytes, so a stream in them moves.
        std::vector<uint8_t> placeholder(static_cast<size_t>(width) * height * 2, 0x10);
        if (fourcc == V4L2_PIX_FMT_H264 && placeholder.size() >= 5) {
            const uint8_t startCode[5] = {0, 0, 0, 1, 0x09};
            std::copy(startCode, startCode + 5, placeholder.begin());
        }
        return placeholder;
    }
    }
}

} // namespace v4l2
