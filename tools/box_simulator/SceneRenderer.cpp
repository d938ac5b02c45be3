#include "SceneRenderer.h"

#include <turbojpeg.h>

#include <algorithm>

namespace boxsim {

namespace {
uint8_t clampByte(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

constexpr uint8_t kBars[8][3] = {{235, 235, 235}, {235, 235, 16}, {16, 235, 235}, {16, 235, 16},
                                 {235, 16, 235},  {235, 16, 16},  {16, 16, 235},  {16, 16, 16}};
} // namespace

SceneRenderer::SceneRenderer() : jpeg_(tjInitCompress()) {}

SceneRenderer::~SceneRenderer()
{
    if (jpeg_)
        tjDestroy(static_cast<tjhandle>(jpeg_));
}

void SceneRenderer::renderRgb(int width, int height, uint32_t frameNo, const SceneControls& controls,
                              std::vector<uint8_t>& rgb)
{
    rgb.resize(static_cast<size_t>(width) * height * 3);
    const int scale = controls.contrast * 2 + controls.gain; // 100 = unchanged
    const int squareSize = std::max(8, height / 6);
    const int squareX = static_cast<int>((frameNo * 4u) % static_cast<uint32_t>(std::max(1, width - squareSize)));
    const int squareY = height - squareSize - height / 12;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = rgb.data() + static_cast<size_t>(y) * width * 3;
        for (int x = 0; x < width; ++x) {
            int r, g, b;
            if (y < height * 2 / 3) {
                const uint8_t* bar = kBars[x * 8 / width];
                r = bar[0], g = bar[1], b = bar[2];
            } else {
                r = g = b = 16 + x * 219 / width;
            }
            if (x >= squareX && x < squareX + squareSize && y >= squareY && y < squareY + squareSize)
                r = g = b = 255;
            row[3 * x + 0] = clampByte((r - 128) * scale / 100 + 128 + controls.brightness);
            row[3 * x + 1] = clampByte((g - 128) * scale / 100 + 128 + controls.brightness);
            row[3 * x + 2] = clampByte((b - 128) * scale / 100 + 128 + controls.brightness);
        }
    }
}

void rgbToYuyv(const uint8_t* rgb, int width, int height, std::vector<uint8_t>& yuyv, bool exchangeRedBlue)
{
    const int red = exchangeRedBlue ? 2 : 0, blue = exchangeRedBlue ? 0 : 2;
    yuyv.resize(static_cast<size_t>(width) * height * 2);
    uint8_t* out = yuyv.data();
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = rgb + static_cast<size_t>(y) * width * 3;
        for (int x = 0; x + 1 < width; x += 2) {
            const uint8_t* p0 = row + 3 * x;
            const uint8_t* p1 = p0 + 3;
            auto luma = [&](const uint8_t* p) {
                return clampByte(((66 * p[red] + 129 * p[1] + 25 * p[blue] + 128) >> 8) + 16);
            };
            const int r = (p0[red] + p1[red]) / 2, g = (p0[1] + p1[1]) / 2, b = (p0[blue] + p1[blue]) / 2;
            *out++ = luma(p0);
            *out++ = clampByte(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
            *out++ = luma(p1);
            *out++ = clampByte(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
        }
    }
}

bool SceneRenderer::encode(int boxFormat, int width, int height, uint32_t frameNo, const SceneControls& controls,
                           std::vector<uint8_t>& out)
{
    renderRgb(width, height, frameNo, controls, rgb_);
    if (boxFormat == 1) {
        rgbToYuyv(rgb_.data(), width, height, out, true);
        return true;
    }
    if (boxFormat != 2 || !jpeg_)
        return false;
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    if (tjCompress2(static_cast<tjhandle>(jpeg_), rgb_.data(), width, 0, height, TJPF_RGB, &jpeg, &size, TJSAMP_422, 80,
                    TJFLAG_FASTDCT) != 0) {
        tjFree(jpeg);
        return false;
    }
    out.assign(jpeg, jpeg + size);
    tjFree(jpeg);
    return true;
}

} // namespace boxsim
