#include "camera/v4l2/H264Decoder.h"

#include "camera/FFmpegCodecHandles.h"

#include <libyuv.h>

namespace v4l2 {

struct H264Decoder::Context {
    ffmpeg::Codec codec;
    ffmpeg::Frame frame{av_frame_alloc()};
    ffmpeg::Packet packet{av_packet_alloc()};

    Context()
    {
        const AVCodec* decoder = avcodec_find_decoder(AV_CODEC_ID_H264);
        if (decoder)
            codec.reset(avcodec_alloc_context3(decoder));
        if (codec) {
            // A live picture: no frame is held back for reordering, and
            // threads work on slices of one picture, not on several pictures.
            codec->flags |= AV_CODEC_FLAG_LOW_DELAY;
            codec->thread_type = FF_THREAD_SLICE;
            if (avcodec_open2(codec.get(), decoder, nullptr) < 0)
                codec.reset();
        }
    }
};

H264Decoder::H264Decoder() : m_context(std::make_unique<Context>()) {}

H264Decoder::~H264Decoder() = default;

void H264Decoder::reset() { m_context = std::make_unique<Context>(); }

bool H264Decoder::decode(const uint8_t* data, size_t length)
{
    Context& c = *m_context;
    if (!c.codec || !c.frame || !c.packet || !data || length == 0 || length > size_t(INT32_MAX))
        return false;
    // The packet borrows the buffer: it is used before this call returns.
    c.packet->data = const_cast<uint8_t*>(data);
    c.packet->size = static_cast<int>(length);
    const int sent = avcodec_send_packet(c.codec.get(), c.packet.get());
    av_packet_unref(c.packet.get());
    if (sent < 0)
        return false;
    bool produced = false;
    while (avcodec_receive_frame(c.codec.get(), c.frame.get()) == 0) {
        const AVFrame& f = *c.frame;
        if ((f.format == AV_PIX_FMT_YUV420P || f.format == AV_PIX_FMT_YUVJ420P) && f.width > 0 && f.height > 0 &&
            f.width % 2 == 0 && f.height % 2 == 0) {
            const size_t luma = size_t(f.width) * f.height;
            m_picture.resize(luma * 3 / 2);
            uint8_t* y = m_picture.data();
            uint8_t* u = y + luma;
            uint8_t* v = u + luma / 4;
            libyuv::I420Copy(f.data[0], f.linesize[0], f.data[1], f.linesize[1], f.data[2], f.linesize[2], y, f.width,
                             u, f.width / 2, v, f.width / 2, f.width, f.height);
            m_width = f.width;
            m_height = f.height;
            produced = true;
        }
        av_frame_unref(c.frame.get());
    }
    return produced;
}

} // namespace v4l2
