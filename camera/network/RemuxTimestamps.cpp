#include "camera/network/RemuxTimestamps.h"

extern "C" {
#include <libavutil/mathematics.h>
}

RemuxTimestamps::RemuxTimestamps(AVRational input, AVRational output, int64_t frameTicks)
    : input_(input), output_(output), frameTicks_(frameTicks > 0 ? frameTicks : 1)
{
}

RemuxTimestamps::Stamps RemuxTimestamps::next(int64_t pts, int64_t dts, int64_t duration)
{
    if (pts == AV_NOPTS_VALUE)
        pts = dts != AV_NOPTS_VALUE ? dts : (lastPts_ != AV_NOPTS_VALUE ? lastPts_ + frameTicks_ : 0);
    if (dts == AV_NOPTS_VALUE)
        dts = pts;
    if (origin_ == AV_NOPTS_VALUE)
        origin_ = pts;
    lastPts_ = pts;

    const auto rounding = static_cast<AVRounding>(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX);
    Stamps out;
    out.pts = av_rescale_q_rnd(pts - origin_, input_, output_, rounding);
    out.dts = av_rescale_q_rnd(dts - origin_, input_, output_, rounding);
    if (lastDts_ != AV_NOPTS_VALUE && out.dts <= lastDts_)
        out.dts = lastDts_ + 1;
    if (out.pts < out.dts)
        out.pts = out.dts;
    lastDts_ = out.dts;
    out.duration = av_rescale_q(duration > 0 ? duration : frameTicks_, input_, output_);
    return out;
}
