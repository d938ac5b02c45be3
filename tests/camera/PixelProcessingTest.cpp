#include "TestCamera.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {
struct Settings {
    bool flip = false, mirror = false;
    int offset0 = 0, offset1 = 0, offset2 = 0, colorMode = 0;
};

// The processing written out pixel by pixel from its definition.
std::vector<unsigned char> referenceProcess(std::vector<unsigned char> px, int w, int h, const Settings& s)
{
    auto at = [&](int x, int y) { return &px[(static_cast<size_t>(y) * w + x) * 4]; };
    if (s.flip)
        for (int y = 0; y < h / 2; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 4; ++c)
                    std::swap(at(x, y)[c], at(x, h - 1 - y)[c]);
    if (s.mirror)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w / 2; ++x)
                for (int c = 0; c < 4; ++c)
                    std::swap(at(x, y)[c], at(w - 1 - x, y)[c]);
    const int offsets[3] = {s.offset0, s.offset1, s.offset2};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned char* p = at(x, y);
            for (int c = 0; c < 3; ++c)
                if (offsets[c])
                    p[c] = static_cast<unsigned char>(std::min(255, p[c] + offsets[c]));
            if (s.colorMode == 1) {
                const int l = (p[0] * 299 + p[1] * 587 + p[2] * 114 + 500) / 1000;
                p[0] = p[1] = p[2] = static_cast<unsigned char>(l);
            } else if (s.colorMode == 2) {
                for (int c = 0; c < 3; ++c)
                    p[c] = static_cast<unsigned char>(255 - p[c]);
            }
        }
    return px;
}

void apply(TestCamera& camera, const Settings& s)
{
    camera.flip(s.flip);
    camera.mirror(s.mirror);
    camera.SetProperty(CM_PROP_OFFSET_0, s.offset0);
    camera.SetProperty(CM_PROP_OFFSET_1, s.offset1);
    camera.SetProperty(CM_PROP_OFFSET_2, s.offset2);
    camera.SetProperty(CM_PROP_COLOR_MODE, s.colorMode);
}

std::vector<unsigned char> randomPixels(size_t bytes, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<unsigned char> px(bytes);
    for (auto& b : px)
        b = static_cast<unsigned char>(rng());
    return px;
}
} // namespace

TEST(ProcessPixels, MatchesTheDefinitionForEveryCombinationAndAwkwardSizes)
{
    const std::pair<int, int> sizes[] = {{1, 1}, {1, 7}, {3, 1}, {17, 5}, {33, 9}, {64, 3}};
    unsigned seed = 1;
    for (auto [w, h] : sizes)
        for (int mask = 0; mask < 4; ++mask)
            for (int mode = 0; mode < 4; ++mode)
                for (int offsets = 0; offsets < 2; ++offsets) {
                    Settings s;
                    s.flip = mask & 1;
                    s.mirror = mask & 2;
                    s.colorMode = mode; // 3 is not a mode and must change nothing
                    if (offsets) {
                        s.offset0 = 200;
                        s.offset1 = 0;
                        s.offset2 = 37;
                    }
                    TestCamera camera;
                    apply(camera, s);
                    auto px = randomPixels(static_cast<size_t>(w) * h * 4, seed++);
                    const auto expected = referenceProcess(px, w, h, s);
                    CWImage image(w, h, px.data(), static_cast<unsigned>(px.size()), static_cast<unsigned>(px.size()),
                                  true, mask == 3 ? FMT_RGB32 : FMT_RGBA32, 0);
                    camera.processPixels(&image);
                    ASSERT_EQ(px, expected) << w << "x" << h << " flip " << s.flip << " mirror " << s.mirror << " mode "
                                            << mode << " offsets " << offsets;
                }
}

TEST(ProcessPixels, MonochromeExampleAndAlphaUntouched)
{
    TestCamera camera;
    camera.SetProperty(CM_PROP_COLOR_MODE, CM_COLOR_MODE_MONO);
    unsigned char px[4] = {10, 20, 30, 40};
    CWImage image(1, 1, px, 4, 4, true, FMT_RGBA32, 0);
    camera.processPixels(&image);
    EXPECT_EQ(px[0], 18);
    EXPECT_EQ(px[1], 18);
    EXPECT_EQ(px[2], 18);
    EXPECT_EQ(px[3], 40);
}

TEST(ProcessPixels, MonochromeIsExactOverEveryGreyAndExtremes)
{
    // The rounding must be the integer formula's, including at the top end.
    TestCamera camera;
    camera.SetProperty(CM_PROP_COLOR_MODE, CM_COLOR_MODE_MONO);
    std::vector<unsigned char> px;
    for (int v = 0; v < 256; ++v)
        px.insert(px.end(), {static_cast<unsigned char>(v), 255, static_cast<unsigned char>(255 - v), 7});
    const auto expected = referenceProcess(px, 256, 1, Settings{false, false, 0, 0, 0, 1});
    CWImage image(256, 1, px.data(), 1024, 1024, true, FMT_RGBA32, 0);
    camera.processPixels(&image);
    EXPECT_EQ(px, expected);
}

TEST(ProcessPixels, OffsetsSaturateAndZeroOffsetsNeverChangeBytes)
{
    TestCamera camera;
    camera.SetProperty(CM_PROP_OFFSET_0, 200);
    unsigned char px[8] = {100, 255, 0, 255, 56, 1, 2, 3};
    CWImage image(2, 1, px, 8, 8, true, FMT_RGBA32, 0);
    camera.processPixels(&image);
    const unsigned char expected[8] = {255, 255, 0, 255, 255, 1, 2, 3};
    EXPECT_EQ(0, std::memcmp(px, expected, 8));
}

TEST(ProcessPixels, ThreeByteAndPackedImagesAreLeftAlone)
{
    TestCamera camera;
    apply(camera, Settings{true, true, 9, 9, 9, 2});
    for (int format : {FMT_RGB24, FMT_BGR24, FMT_YUY2, FMT_MJPG}) {
        auto px = randomPixels(4 * 3 * 3, 99);
        const auto before = px;
        CWImage image(4, 3, px.data(), static_cast<unsigned>(px.size()), static_cast<unsigned>(px.size()), true, format,
                      0);
        camera.processPixels(&image);
        EXPECT_EQ(px, before) << "format " << format;
    }
}

TEST(ProcessPixels, ShortBuffersAreNeverReadPastTheirEnd)
{
    TestCamera camera;
    apply(camera, Settings{true, true, 1, 1, 1, 1});
    std::vector<unsigned char> px(4 * 4 * 4 - 4, 50); // one pixel short of 4x4
    const auto before = px;
    CWImage image(4, 4, px.data(), static_cast<unsigned>(px.size()), static_cast<unsigned>(px.size()), true, FMT_RGBA32,
                  0);
    camera.processPixels(&image);
    EXPECT_EQ(px, before);
    camera.processPixels(nullptr); // no crash
}
