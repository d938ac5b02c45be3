// Time stamps of packets copied from a live stream into a recording.
#include "camera/network/RemuxTimestamps.h"

#include <gtest/gtest.h>

namespace {
constexpr AVRational kRtp{1, 90000};
constexpr AVRational kFile{1, 15360};
constexpr int64_t kFrame = 6000; // 15 frames/s at 90 kHz
} // namespace

TEST(RemuxTimestamps, RecordingStartsAtZeroInTheOutputTimeBase)
{
    RemuxTimestamps stamps(kRtp, kFile, kFrame);
    auto first = stamps.next(900000, 900000, kFrame);
    EXPECT_EQ(first.pts, 0);
    EXPECT_EQ(first.dts, 0);
    EXPECT_EQ(first.duration, 1024); // 6000 / 90000 s at 1/15360
    auto second = stamps.next(906000, 906000, kFrame);
    EXPECT_EQ(second.pts, 1024);
}

TEST(RemuxTimestamps, PacketsWithoutStampsContinueByOneFrame)
{
    RemuxTimestamps stamps(kRtp, kRtp, kFrame);
    // The first packets of a stream may carry no stamps at all.
    auto a = stamps.next(AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
    auto b = stamps.next(AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
    auto c = stamps.next(AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
    EXPECT_EQ(a.pts, 0);
    EXPECT_EQ(b.pts, kFrame);
    EXPECT_EQ(c.pts, 2 * kFrame);
    EXPECT_EQ(c.dts, 2 * kFrame);
    // Missing durations are one frame long.
    EXPECT_EQ(a.duration, kFrame);
    // A packet with only a decoding time is presented then.
    auto d = stamps.next(AV_NOPTS_VALUE, 3 * kFrame, 0);
    EXPECT_EQ(d.pts, 3 * kFrame);
}

TEST(RemuxTimestamps, DecodingTimesAlwaysRise)
{
    RemuxTimestamps stamps(kRtp, kRtp, kFrame);
    auto a = stamps.next(1000, 1000, kFrame);
    auto repeated = stamps.next(1000, 1000, kFrame);
    auto backwards = stamps.next(500, 500, kFrame);
    EXPECT_GT(repeated.dts, a.dts);
    EXPECT_GT(backwards.dts, repeated.dts);
    EXPECT_GE(backwards.pts, backwards.dts); // never presented before decoded
}

TEST(RemuxTimestamps, KnownDurationsAreKept)
{
    RemuxTimestamps stamps(kRtp, kRtp, kFrame);
    EXPECT_EQ(stamps.next(0, 0, 3000).duration, 3000);
    RemuxTimestamps noRate(kRtp, kRtp, 0); // an unknown rate still gives a duration
    EXPECT_GT(noRate.next(0, 0, 0).duration, 0);
}
