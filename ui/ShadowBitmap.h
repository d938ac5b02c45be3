#pragma once
// The picture of a window's soft drop shadow, as a pure function: no window,
// no toolkit. The shadow window (ShadowWindow.h) shows it behind its parent.
#include <cstdint>
#include <vector>

namespace ui {

struct ShadowParams {
    int darkness = 150;      // alpha of the solid part, 0..255
    int sharpness = 5;       // width of the soft border
    int size = 0;            // how far the shadow grows beyond the parent on every side
    int offsetX = 5;         // shadow position relative to the parent
    int offsetY = 5;         //   (its top-left is parent + offset - size)
    std::uint32_t color = 0; // 0xRRGGBB, black by default
};

// A window's outline: true for the pixels of the window's region.
struct ShadowMask {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> inside; // width * height, row by row, top first

    // A rectangle with corners rounded by the ellipse radii (rx, ry), as a
    // window region of that size with round corners.
    static ShadowMask RoundRect(int width, int height, int rx, int ry);
};

// Premultiplied 0xAARRGGBB pixels, top row first (QImage's
// Format_ARGB32_Premultiplied), of (parent width + 2 size) x (parent height +
// 2 size). The parent's region is shrunk by (sharpness - size) and spread with
// a round kernel of radius max(size, sharpness): a kernel point at distance d
// from its centre has alpha = darkness for d < core = max(0, size -
// sharpness), (1 - (d - core) / (sharpness + 1)) x darkness up to the radius
// and 0 beyond (rounded to the nearest integer); every pixel takes the
// largest alpha that reaches it.
// Parameters out of range are clamped (darkness 0..255, sharpness and size
// 0..64); an empty mask gives an empty picture.
struct ShadowImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};
ShadowImage MakeShadowImage(const ShadowMask& parent, const ShadowParams& params);

} // namespace ui
