#include "ui/ShadowBitmap.h"

#include <algorithm>
#include <cmath>

namespace ui {
namespace {

// One step of erosion with the 3x3 square: a pixel stays inside only when
// all its eight neighbours are inside (outside the picture counts as outside).
std::vector<std::uint8_t> erodeOnce(const std::vector<std::uint8_t>& in, int w, int h)
{
    std::vector<std::uint8_t> out(in.size(), 0);
    for (int y = 1; y + 1 < h; ++y)
        for (int x = 1; x + 1 < w; ++x) {
            bool all = true;
            for (int dy = -1; dy <= 1 && all; ++dy)
                for (int dx = -1; dx <= 1 && all; ++dx)
                    all = in[static_cast<std::size_t>(y + dy) * w + (x + dx)] != 0;
            out[static_cast<std::size_t>(y) * w + x] = all ? 1 : 0;
        }
    return out;
}

std::uint32_t premultiplied(std::uint32_t rgb, int alpha)
{
    const auto channel = [alpha](std::uint32_t c) { return (c * static_cast<std::uint32_t>(alpha) + 127) / 255; };
    return static_cast<std::uint32_t>(alpha) << 24 | channel((rgb >> 16) & 0xFF) << 16 |
           channel((rgb >> 8) & 0xFF) << 8 | channel(rgb & 0xFF);
}

} // namespace

ShadowMask ShadowMask::RoundRect(int width, int height, int rx, int ry)
{
    ShadowMask mask;
    mask.width = std::max(0, width);
    mask.height = std::max(0, height);
    mask.inside.assign(static_cast<std::size_t>(mask.width) * mask.height, 0);
    rx = std::clamp(rx, 0, mask.width / 2);
    ry = std::clamp(ry, 0, mask.height / 2);
    for (int y = 0; y < mask.height; ++y)
        for (int x = 0; x < mask.width; ++x) {
            // Pixel centres inside the corner ellipses, or away from the corners.
            const double px = x + 0.5, py = y + 0.5;
            const double cx = px < rx ? rx : px > mask.width - rx ? mask.width - rx : px;
            const double cy = py < ry ? ry : py > mask.height - ry ? mask.height - ry : py;
            const double nx = rx ? (px - cx) / rx : 0, ny = ry ? (py - cy) / ry : 0;
            mask.inside[static_cast<std::size_t>(y) * mask.width + x] = nx * nx + ny * ny <= 1.0 ? 1 : 0;
        }
    return mask;
}

ShadowImage MakeShadowImage(const ShadowMask& parent, const ShadowParams& params)
{
    ShadowImage image;
    if (parent.width <= 0 || parent.height <= 0 ||
        parent.inside.size() != static_cast<std::size_t>(parent.width) * parent.height)
        return image;
    const int darkness = std::clamp(params.darkness, 0, 255);
    const int sharpness = std::clamp(params.sharpness, 0, 64);
    const int size = std::clamp(params.size, 0, 64);
    image.width = parent.width + 2 * size;
    image.height = parent.height + 2 * size;
    image.pixels.assign(static_cast<std::size_t>(image.width) * image.height, 0);

    // The parent's region in shadow coordinates, shrunk by sharpness - size.
    std::vector<std::uint8_t> core(image.pixels.size(), 0);
    for (int y = 0; y < parent.height; ++y)
        for (int x = 0; x < parent.width; ++x)
            core[static_cast<std::size_t>(y + size) * image.width + (x + size)] =
                parent.inside[static_cast<std::size_t>(y) * parent.width + x];
    for (int i = 0; i < sharpness - size; ++i)
        core = erodeOnce(core, image.width, image.height);

    // The round kernel's alphas by offset.
    const int radius = std::max(size, sharpness);
    const int coreRadius = std::max(0, size - sharpness);
    const int span = 2 * radius + 1;
    std::vector<int> kernel(static_cast<std::size_t>(span) * span, 0);
    for (int ky = -radius; ky <= radius; ++ky)
        for (int kx = -radius; kx <= radius; ++kx) {
            const double d = std::sqrt(static_cast<double>(kx * kx + ky * ky));
            int alpha = 0;
            if (d < coreRadius)
                alpha = darkness;
            else if (d <= radius)
                alpha = static_cast<int>(std::lround((1.0 - (d - coreRadius) / (sharpness + 1)) * darkness));
            kernel[static_cast<std::size_t>(ky + radius) * span + (kx + radius)] = std::max(0, alpha);
        }

    // Spread: inner pixels of the core are solid; pixels on its edge stamp
    // the kernel, keeping the largest alpha.
    std::vector<int> alpha(image.pixels.size(), 0);
    const auto inCore = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < image.width && y < image.height &&
               core[static_cast<std::size_t>(y) * image.width + x] != 0;
    };
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            if (!inCore(x, y))
                continue;
            const bool edge = !inCore(x - 1, y) || !inCore(x + 1, y) || !inCore(x, y - 1) || !inCore(x, y + 1);
            const int solid = kernel[static_cast<std::size_t>(radius) * span + radius];
            int& own = alpha[static_cast<std::size_t>(y) * image.width + x];
            own = std::max(own, solid);
            if (!edge)
                continue;
            for (int ky = -radius; ky <= radius; ++ky) {
                const int ty = y + ky;
                if (ty < 0 || ty >= image.height)
                    continue;
                for (int kx = -radius; kx <= radius; ++kx) {
                    const int tx = x + kx;
                    if (tx < 0 || tx >= image.width)
                        continue;
                    int& target = alpha[static_cast<std::size_t>(ty) * image.width + tx];
                    target = std::max(target, kernel[static_cast<std::size_t>(ky + radius) * span + (kx + radius)]);
                }
            }
        }
    const std::uint32_t rgb = params.color & 0xFFFFFF;
    for (std::size_t i = 0; i < alpha.size(); ++i)
        image.pixels[i] = alpha[i] ? premultiplied(rgb, alpha[i]) : 0;
    return image;
}

} // namespace ui
