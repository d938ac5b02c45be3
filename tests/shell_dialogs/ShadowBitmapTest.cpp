// The shadow picture behind the settings dialog: darkness 150, sharpness 5,
// size 4 around the dialog's 632 x 484 outline with round corners.
#include "ui/ShadowBitmap.h"

#include <gtest/gtest.h>

namespace {

int alphaOf(std::uint32_t pixel) { return static_cast<int>(pixel >> 24); }

TEST(ShadowBitmap, SettingsDialogShadowFadesOverFivePixelsOutsideASolidCore)
{
    ui::ShadowParams params;
    params.size = 4;
    params.offsetX = params.offsetY = 1;
    const ui::ShadowImage image = ui::MakeShadowImage(ui::ShadowMask::RoundRect(632, 484, 3, 3), params);
    ASSERT_EQ(image.width, 640);
    ASSERT_EQ(image.height, 492);

    // Across the middle row: the outline is shrunk by one pixel (sharpness 5
    // - size 4), so the solid part starts at x = 5; beyond it the kernel of
    // radius 5 fades by (1 - d / 6) x 150 per pixel of distance d.
    const int y = image.height / 2;
    const int expected[] = {25, 50, 75, 100, 125, 150, 150};
    for (int x = 0; x < 7; ++x) {
        EXPECT_EQ(alphaOf(image.at(x, y)), expected[x]) << "x " << x;
        EXPECT_EQ(alphaOf(image.at(image.width - 1 - x, y)), expected[x]) << "from the right, x " << x;
    }
    // The same down the middle column, and black premultiplied: colour 0.
    const int x = image.width / 2;
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(image.at(x, i), static_cast<std::uint32_t>(expected[i]) << 24) << "y " << i;
        EXPECT_EQ(alphaOf(image.at(x, image.height - 1 - i)), expected[i]) << "from the bottom, y " << i;
    }
    EXPECT_EQ(image.at(image.width / 2, image.height / 2), 0x96000000u);
    // The corner pixel is farther than the radius from the rounded outline.
    EXPECT_EQ(image.at(0, 0), 0u);
    // Near the rounded corner the shadow is fainter than along the sides.
    EXPECT_GT(alphaOf(image.at(4, 4)), 0);
    EXPECT_LT(alphaOf(image.at(4, 4)), 150);
}

TEST(ShadowBitmap, ColourIsPremultipliedAndLargeSizesKeepASolidCore)
{
    ui::ShadowParams params;
    params.darkness = 200;
    params.sharpness = 2;
    params.size = 6; // grows beyond the sharpness: a solid core of radius 4
    params.color = 0xFF8000;
    const ui::ShadowImage image = ui::MakeShadowImage(ui::ShadowMask::RoundRect(40, 30, 0, 0), params);
    ASSERT_EQ(image.width, 52);
    ASSERT_EQ(image.height, 42);
    const int y = image.height / 2;
    // The parent starts at x = 6; the core reaches 3 pixels out (d < 4 from
    // x = 6 means x >= 3), then alpha (1 - (d - 4) / 3) x 200 to radius 6.
    EXPECT_EQ(alphaOf(image.at(3, y)), 200);
    EXPECT_EQ(alphaOf(image.at(2, y)), 200); // d = 4: 1 - 0 / 3
    EXPECT_EQ(alphaOf(image.at(1, y)), 133); // d = 5: (2 / 3) x 200
    EXPECT_EQ(alphaOf(image.at(0, y)), 67);  // d = 6: (1 / 3) x 200, rounded
    // Premultiplied orange at alpha 200: red 200, green 128 x 200 / 255.
    EXPECT_EQ(image.at(20, y), 0xC8C86400u);

    EXPECT_EQ(ui::MakeShadowImage(ui::ShadowMask{}, params).pixels.size(), 0u);
}

} // namespace
