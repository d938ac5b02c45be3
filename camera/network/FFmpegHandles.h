#pragma once
// Owning handles for the FFmpeg objects the RTSP camera keeps: its codec
// objects, and its input, scaler and recording output.
#include "camera/FFmpegCodecHandles.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <memory>

namespace ffmpeg {

struct InputDeleter {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct ScalerDeleter {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
// An output context with its file; closing writes nothing (the trailer is
// written explicitly when a recording ends well).
struct OutputDeleter {
    void operator()(AVFormatContext* c) const
    {
        if (c && c->oformat && !(c->oformat->flags & AVFMT_NOFILE))
            avio_closep(&c->pb);
        avformat_free_context(c);
    }
};

using Input = std::unique_ptr<AVFormatContext, InputDeleter>;
using Scaler = std::unique_ptr<SwsContext, ScalerDeleter>;
using Output = std::unique_ptr<AVFormatContext, OutputDeleter>;

} // namespace ffmpeg
