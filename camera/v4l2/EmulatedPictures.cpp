#include "camera/v4l2/EmulatedPictures.h"

#include "camera/v4l2/EmulatedScene.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}
#include <libyuv.h>
#include <linux/videodev2.h>

#include <memory>

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

struct CodecDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

} // namespace

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
    std::unique_ptr<AVCodecContext, CodecDeleter> codec(avcodec_alloc_context3(encoder));
    std::unique_ptr<AVFrame, FrameDeleter> frame(av_frame_alloc());
    std::unique_ptr<AVPacket, PacketDeleter> packet(av_packet_alloc());
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
