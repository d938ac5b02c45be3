// The box simulator sends what it announces: its format 1 (the cameras'
// alternative 4:2:2 layout, shown without a byte swap) arrives in the
// program's picture with the colour bars in their true colours.
#include "app/view/FrameConverter.h"
#include "camera/CWImage.h"
#include "tools/box_simulator/SceneRenderer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(SimulatorColourTest, BoxFormatOneShowsTrueColours)
{
    constexpr int kWidth = 64, kHeight = 48;
    boxsim::SceneRenderer renderer;
    std::vector<uint8_t> yuyv;
    ASSERT_TRUE(renderer.encode(1, kWidth, kHeight, 0, boxsim::SceneControls{}, yuyv));
    CWImage frame(kWidth, kHeight, yuyv.data(), unsigned(yuyv.size()), unsigned(yuyv.size()), true, FMT_YUYV, 0);
    FrameConverter converter;
    ASSERT_TRUE(converter.convert(frame));
    const CWImage& picture = converter.displayImage();
    ASSERT_EQ(picture.width, kWidth);
    // Bars left to right: white, yellow, cyan, green, magenta, red, blue, black.
    struct Bar {
        int index;
        int r, g, b;
    };
    for (const Bar& bar : {Bar{0, 235, 235, 235}, Bar{3, 16, 235, 16}, Bar{5, 235, 16, 16}, Bar{6, 16, 16, 235}}) {
        const int x = bar.index * kWidth / 8 + kWidth / 16;
        const unsigned char* p = picture.data + (size_t(kHeight / 4) * kWidth + x) * 4;
        SCOPED_TRACE("bar " + std::to_string(bar.index));
        EXPECT_NEAR(p[0], bar.r, 12);
        EXPECT_NEAR(p[1], bar.g, 12);
        EXPECT_NEAR(p[2], bar.b, 12);
    }
}

} // namespace
