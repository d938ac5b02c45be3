#pragma once
// Owning handles for FFmpeg's codec objects: a codec context, a frame, a
// packet. Whatever encodes or decodes holds them so.
extern "C" {
#include <libavcodec/avcodec.h>
}

#include <memory>

namespace ffmpeg {

struct CodecDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

using Codec = std::unique_ptr<AVCodecContext, CodecDeleter>;
using Frame = std::unique_ptr<AVFrame, FrameDeleter>;
using Packet = std::unique_ptr<AVPacket, PacketDeleter>;

} // namespace ffmpeg
