// The closest-size search and the format list over the size ranges drivers
// report (discrete, stepwise, continuous).
#include "camera/v4l2/FormatList.h"

#include <gtest/gtest.h>

#include <linux/videodev2.h>

namespace {

using v4l2::Capability;

Capability discrete(uint32_t fourcc, int w, int h) { return Capability{fourcc, w, w, 1, h, h, 1}; }

TEST(ClosestSize, RangesGridsAndFormatsThatMayNotBeChosen)
{
    // A stepwise range on a 16-pixel grid: the nearest grid point, the
    // smaller one on a tie.
    const Capability stepwise{V4L2_PIX_FMT_YUYV, 160, 1920, 16, 120, 1080, 8};
    v4l2::ClosestSize c = v4l2::closestSize({stepwise}, 1000, 700);
    ASSERT_TRUE(c.found);
    EXPECT_EQ(c.width, 992); // 160 + 52·16; 1008 is farther
    EXPECT_EQ(c.height, 696);
    c = v4l2::closestSize({stepwise}, 4000, 50);
    EXPECT_EQ(c.width, 1920);
    EXPECT_EQ(c.height, 120);

    // An exact match wins over an earlier near one; H.264 and formats
    // outside the table (V4L2's RGB24) are never chosen.
    c = v4l2::closestSize({discrete(V4L2_PIX_FMT_H264, 1280, 720), discrete(V4L2_PIX_FMT_RGB24, 1280, 720),
                           discrete(V4L2_PIX_FMT_MJPEG, 1280, 800), discrete(V4L2_PIX_FMT_YUYV, 1280, 720)},
                          1280, 720);
    EXPECT_EQ(c.fourcc, static_cast<uint32_t>(V4L2_PIX_FMT_YUYV));
    c = v4l2::closestSize({discrete(V4L2_PIX_FMT_H264, 1280, 720)}, 1280, 720);
    EXPECT_FALSE(c.found);

    // A range with a step below 1 is skipped.
    c = v4l2::closestSize({Capability{V4L2_PIX_FMT_YUYV, 160, 1920, 0, 120, 1080, 8}}, 640, 480);
    EXPECT_FALSE(c.found);
}

TEST(FormatList, OneEntryPerFormatWithSortedUniqueSizes)
{
    const auto entries =
        v4l2::buildFormatList({discrete(V4L2_PIX_FMT_MJPEG, 1280, 720), discrete(V4L2_PIX_FMT_YUYV, 640, 480),
                               discrete(V4L2_PIX_FMT_MJPEG, 640, 480), discrete(V4L2_PIX_FMT_MJPEG, 1280, 720),
                               Capability{V4L2_PIX_FMT_RGB24, 320, 1280, 1, 240, 720, 1}});
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].fourcc, static_cast<uint32_t>(V4L2_PIX_FMT_MJPEG));
    EXPECT_EQ(entries[0].subtype, 18);
    ASSERT_EQ(entries[0].sizes.size(), 2u);
    EXPECT_EQ(entries[0].sizes[0].width, 640);
    // A continuous range lists its ends and the common sizes inside it.
    EXPECT_EQ(entries[2].subtype, -1);
    ASSERT_EQ(entries[2].sizes.size(), 4u); // 320×240, 640×480, 1280×720 (both end and common), 800×600
    EXPECT_EQ(entries[2].sizes.front().width, 320);
    EXPECT_EQ(entries[2].sizes.back().width, 1280);
}

} // namespace
