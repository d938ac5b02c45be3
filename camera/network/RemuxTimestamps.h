#pragma once
// Time stamps for packets copied from a live stream into a file: the file
// starts at zero, packets without stamps continue from the previous one by a
// frame's duration, decoding times always rise and every packet has a
// duration, so the muxer takes each packet and the file has the right length.

#include <cstdint>

extern "C" {
#include <libavutil/avutil.h>
}

class RemuxTimestamps {
public:
    struct Stamps {
        int64_t pts;
        int64_t dts;
        int64_t duration;
    };

    // `frameTicks` is one frame in the input time base.
    RemuxTimestamps(AVRational input, AVRational output, int64_t frameTicks);

    // Stamps in the output time base for the next packet (input time base,
    // AV_NOPTS_VALUE where missing, duration 0 when unknown).
    Stamps next(int64_t pts, int64_t dts, int64_t duration);

private:
    AVRational input_;
    AVRational output_;
    int64_t frameTicks_;
    int64_t origin_ = AV_NOPTS_VALUE;
    int64_t lastPts_ = AV_NOPTS_VALUE; // input time base
    int64_t lastDts_ = AV_NOPTS_VALUE; // output time base
};
