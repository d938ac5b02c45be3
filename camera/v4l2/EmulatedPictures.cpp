#include "camera/v4l2/EmulatedPictures.h"

#include "camera/FFmpegCodecHandles.h"
#include "camera/v4l2/EmulatedScene.h"

extern "C" {
#include <libavutil/opt.h>
}
#include <libyuv.h>
#include <linux/videodev2.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>

namespace v4l2 {
namespace {

// The scene with its square at `phase`, as libyuv's ARGB (B, G, R, A in memory).
std::vector<uint8_t> sceneArgb(int width, int height, int phase)
{
    std::vector<uint8_t> bgr = renderScene(V4L2_PIX_FMT_BGR24, width, height);
    drawMarker(V4L2_PIX_FMT_BGR24, bgr.data(), bgr.size(), width, height, phase);
    std::vector<uint8_t> argb(size_t(width) * height * 4);
    libyuv::RGB24ToARGB(bgr.data(), width * 3, argb.data(), width * 4, width, height);
    return argb;
}

// The stamp: kStampBits blocks along the top edge, each a fraction of the
// picture's width so it survives scaled decoding; white is 1.
constexpr int kStampBits = 4;
constexpr int kStampDivisions = 32; // a block is width / 32 wide, as high

uint32_t hash(uint32_t x, uint32_t y, uint32_t seed)
{
    uint32_t h = x * 0x8DA6B343u ^ y * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    return h ^ (h >> 15);
}

// Smooth noise in [0, 1) with features `cell` pixels apart.
float valueNoise(int x, int y, int cell, uint32_t seed)
{
    const int cx = x / cell, cy = y / cell;
    const float fx = float(x % cell) / cell, fy = float(y % cell) / cell;
    auto corner = [&](int i, int j) { return float(hash(uint32_t(cx + i), uint32_t(cy + j), seed) >> 8) / 16777216.f; };
    const float sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    const float top = corner(0, 0) + (corner(1, 0) - corner(0, 0)) * sx;
    const float bottom = corner(0, 1) + (corner(1, 1) - corner(0, 1)) * sx;
    return top + (bottom - top) * sy;
}

// The specimen without square and stamp, RGB; made once per size.
std::vector<uint8_t> specimenRgb(int width, int height)
{
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    const int big = std::max(8, width / 40), small = std::max(4, width / 200);
    for (int y = 0; y < height; ++y) {
        uint8_t* p = rgb.data() + size_t(y) * width * 3;
        for (int x = 0; x < width; ++x, p += 3) {
            // Cells where the coarse noise is high, nuclei inside them where
            // the fine noise is too; a pale pink ground elsewhere.
            const float cell = std::clamp((valueNoise(x, y, big, 1) - 0.55f) * 6.f, 0.f, 1.f);
            const float nucleus = cell * std::clamp((valueNoise(x, y, small, 2) - 0.5f) * 5.f, 0.f, 1.f);
            const int grain = int(hash(uint32_t(x), uint32_t(y), 3) >> 28) - 8; // −8 … 7
            const float r = 238 - 60 * cell - 110 * nucleus, g = 222 - 110 * cell - 90 * nucleus,
                        b = 232 - 40 * cell + 10 * nucleus;
            p[0] = uint8_t(std::clamp(int(r) + grain, 0, 255));
            p[1] = uint8_t(std::clamp(int(g) + grain, 0, 255));
            p[2] = uint8_t(std::clamp(int(b) + grain, 0, 255));
        }
    }
    return rgb;
}

void fillRect(std::vector<uint8_t>& rgb, int width, int height, int x0, int y0, int w, int h, uint8_t value)
{
    for (int y = std::max(0, y0); y < std::min(height, y0 + h); ++y)
        for (int x = std::max(0, x0); x < std::min(width, x0 + w); ++x)
            std::fill_n(rgb.data() + (size_t(y) * width + x) * 3, 3, value);
}

} // namespace

std::vector<uint8_t> renderSpecimenJpeg(int width, int height, int phase)
{
    if (width <= 0 || height <= 0)
        return {};
    static std::mutex mutex;
    static std::map<std::pair<int, int>, std::vector<uint8_t>> grounds;
    std::vector<uint8_t> rgb;
    {
        std::lock_guard lock(mutex);
        auto it = grounds.find({width, height});
        if (it == grounds.end())
            it = grounds.emplace(std::make_pair(width, height), specimenRgb(width, height)).first;
        rgb = it->second;
    }
    // The moving square along the bottom edge, as in the plain scene.
    const int side = std::max(2, height / 12);
    const int travel = std::max(1, width - side);
    fillRect(rgb, width, height, travel * (phase % kScenePhases) / (kScenePhases - 1), height - side, side, side, 255);
    // The stamp: a black band with white blocks for the set bits.
    const int block = std::max(1, width / kStampDivisions);
    fillRect(rgb, width, height, 0, 0, block * (kStampBits + 1), block, 0);
    for (int bit = 0; bit < kStampBits; ++bit)
        if (phase >> bit & 1)
            fillRect(rgb, width, height, block * bit + block / 2, block / 4, block / 2, block / 2, 255);

    return encodeJpeg(rgb.data(), width, height);
}

int readSpecimenStamp(const uint8_t* rgba, int width, int height)
{
    const int block = width / kStampDivisions;
    if (!rgba || block < 2 || height < block)
        return -1;
    auto level = [&](int x, int y) { return rgba[(size_t(y) * width + x) * 4 + 1]; };
    // The band's gap after the bits is black; a picture without it has no stamp.
    if (level(block * kStampBits + block / 2, block / 2) > 64)
        return -1;
    int phase = 0;
    for (int bit = 0; bit < kStampBits; ++bit)
        if (level(block * bit + block * 3 / 4, block / 2) > 128)
            phase |= 1 << bit;
    return phase;
}

bool isEmulatedPictureFormat(uint32_t fourcc)
{
    return fourcc == V4L2_PIX_FMT_NV12 || fourcc == V4L2_PIX_FMT_YUV420 || fourcc == V4L2_PIX_FMT_GREY ||
           fourcc == V4L2_PIX_FMT_H264;
}

std::vector<uint8_t> renderPlanarScene(uint32_t fourcc, int width, int height, int phase)
{
    if (width <= 0 || height <= 0)
        return {};
    const std::vector<uint8_t> argb = sceneArgb(width, height, phase);
    const int chromaWidth = (width + 1) / 2, chromaHeight = (height + 1) / 2;
    const size_t luma = size_t(width) * height, chroma = size_t(chromaWidth) * chromaHeight;
    std::vector<uint8_t> out;
    switch (fourcc) {
    case V4L2_PIX_FMT_NV12:
        out.resize(luma + 2 * chroma);
        libyuv::ARGBToNV12(argb.data(), width * 4, out.data(), width, out.data() + luma, chromaWidth * 2, width,
                           height);
        break;
    case V4L2_PIX_FMT_YUV420:
        out.resize(luma + 2 * chroma);
        libyuv::ARGBToI420(argb.data(), width * 4, out.data(), width, out.data() + luma, chromaWidth,
                           out.data() + luma + chroma, chromaWidth, width, height);
        break;
    case V4L2_PIX_FMT_GREY:
        out.resize(luma);
        libyuv::ARGBToJ400(argb.data(), width * 4, out.data(), width, width, height);
        break;
    default: break;
    }
    return out;
}

std::vector<std::vector<uint8_t>> encodeH264Scene(int width, int height)
{
    std::vector<std::vector<uint8_t>> units;
    const AVCodec* encoder = avcodec_find_encoder_by_name("libx264");
    if (!encoder || width <= 0 || height <= 0 || width % 2 || height % 2)
        return units;
    ffmpeg::Codec codec(avcodec_alloc_context3(encoder));
    ffmpeg::Frame frame(av_frame_alloc());
    ffmpeg::Packet packet(av_packet_alloc());
    if (!codec || !frame || !packet)
        return units;
    codec->width = width;
    codec->height = height;
    codec->pix_fmt = AV_PIX_FMT_YUV420P;
    codec->time_base = AVRational{1, 30};
    // One group of pictures per loop of the square, no B-frames: a camera
    // sends each picture as it is taken, and the loop can start over at the
    // key frame.
    codec->gop_size = kScenePhases;
    codec->max_b_frames = 0;
    codec->thread_count = 1;
    av_opt_set(codec->priv_data, "preset", "ultrafast", 0);
    av_opt_set(codec->priv_data, "tune", "zerolatency", 0);
    av_opt_set(codec->priv_data, "x264-params", "repeat-headers=1", 0);
    if (avcodec_open2(codec.get(), encoder, nullptr) < 0)
        return units;
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return units;
    auto drain = [&] {
        while (avcodec_receive_packet(codec.get(), packet.get()) == 0) {
            units.emplace_back(packet->data, packet->data + packet->size);
            av_packet_unref(packet.get());
        }
    };
    for (int phase = 0; phase < kScenePhases; ++phase) {
        if (av_frame_make_writable(frame.get()) < 0)
            return {};
        const std::vector<uint8_t> argb = sceneArgb(width, height, phase);
        libyuv::ARGBToI420(argb.data(), width * 4, frame->data[0], frame->linesize[0], frame->data[1],
                           frame->linesize[1], frame->data[2], frame->linesize[2], width, height);
        frame->pts = phase;
        frame->pict_type = phase == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        if (avcodec_send_frame(codec.get(), frame.get()) < 0)
            return {};
        drain();
    }
    avcodec_send_frame(codec.get(), nullptr);
    drain();
    if (units.size() != size_t(kScenePhases))
        return {};
    return units;
}

} // namespace v4l2
