#include "app/view/FrameConverter.h"

#include <gtest/gtest.h>
#include <libyuv.h>
#include <turbojpeg.h>

#include <cmath>

#include <cstdlib>
#include <vector>

namespace {
struct Rgb {
    int r, g, b;
};

CWImage over(std::vector<uint8_t>& bytes, int w, int h, int format, int bottomUp = 0)
{
    return CWImage(w, h, bytes.data(), unsigned(bytes.size()), unsigned(bytes.size()), true, format, bottomUp);
}

void expectPixel(const CWImage& image, int x, int y, Rgb expected, int tolerance, const char* what)
{
    const uint8_t* p = image.data + (size_t(y) * image.width + x) * 4;
    EXPECT_NEAR(p[0], expected.r, tolerance) << what << " at " << x << "," << y;
    EXPECT_NEAR(p[1], expected.g, tolerance) << what;
    EXPECT_NEAR(p[2], expected.b, tolerance) << what;
}

// Packed 4:2:2 of one colour: Y U Y V per pixel pair.
std::vector<uint8_t> yuy2(int w, int h, uint8_t y, uint8_t u, uint8_t v)
{
    std::vector<uint8_t> bytes(size_t(w) * h * 2);
    for (size_t i = 0; i + 3 < bytes.size(); i += 4) {
        bytes[i] = y;
        bytes[i + 1] = u;
        bytes[i + 2] = y;
        bytes[i + 3] = v;
    }
    return bytes;
}

std::vector<uint8_t> encodeJpeg(const std::vector<uint8_t>& rgb, int w, int h)
{
    tjhandle encoder = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    EXPECT_EQ(tjCompress2(encoder, rgb.data(), w, w * 3, h, TJPF_RGB, &jpeg, &size, TJSAMP_444, 95, 0), 0);
    std::vector<uint8_t> out(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(encoder);
    return out;
}
} // namespace

TEST(FrameConversion, Rgb24InRgbOrderBecomesRgba)
{
    FrameConverter converter;
    std::vector<uint8_t> bytes = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120};
    ASSERT_TRUE(converter.convert(over(bytes, 2, 2, FMT_RGB24)));
    const CWImage& out = converter.displayImage();
    EXPECT_EQ(out.format, FMT_RGBA32);
    expectPixel(out, 0, 0, {10, 20, 30}, 0, "rgb24");
    expectPixel(out, 1, 1, {100, 110, 120}, 0, "rgb24");
    EXPECT_EQ(out.data[3], 255);
}

TEST(FrameConversion, Bgr24IsReadBottomUpWhenFlagged)
{
    FrameConverter converter;
    // Row 0 in memory is blue, row 1 red (B, G, R byte order).
    std::vector<uint8_t> bytes = {255, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 255};
    ASSERT_TRUE(converter.convert(over(bytes, 2, 2, FMT_BGR24, 0)));
    expectPixel(converter.displayImage(), 0, 0, {0, 0, 255}, 0, "top-down");
    ASSERT_TRUE(converter.convert(over(bytes, 2, 2, FMT_BGR24, 1)));
    expectPixel(converter.displayImage(), 0, 0, {255, 0, 0}, 0, "bottom-up: last row first");
    expectPixel(converter.displayImage(), 1, 1, {0, 0, 255}, 0, "bottom-up");
}

TEST(FrameConversion, Yuy2DecodesToRgbaAndYuyvKeepsBlueFirst)
{
    // BT.601 limited-range red.
    auto red = yuy2(4, 2, 81, 90, 240);
    FrameConverter converter;
    ASSERT_TRUE(converter.convert(over(red, 4, 2, FMT_YUY2)));
    expectPixel(converter.displayImage(), 3, 1, {255, 0, 0}, 4, "yuy2");
    // The alternative layout is written without the swap: B, G, R, A.
    ASSERT_TRUE(converter.convert(over(red, 4, 2, FMT_YUYV)));
    expectPixel(converter.displayImage(), 3, 1, {0, 0, 255}, 4, "yuyv");
}

TEST(FrameConversion, PlanarFormatsAndGreyDecodeToRgba)
{
    // 6 × 2 (odd chroma width 3): red in NV12 and I420, a grey level in GREY.
    const int w = 6, h = 2, luma = w * h, chroma = 3;
    std::vector<uint8_t> nv12(size_t(luma), 81), i420(size_t(luma), 81);
    for (int i = 0; i < chroma; ++i)
        nv12.insert(nv12.end(), {90, 240});
    i420.insert(i420.end(), size_t(chroma), 90);
    i420.insert(i420.end(), size_t(chroma), 240);
    FrameConverter converter;
    ASSERT_TRUE(converter.convert(over(nv12, w, h, FMT_NV12)));
    expectPixel(converter.displayImage(), 5, 1, {255, 0, 0}, 4, "nv12");
    ASSERT_TRUE(converter.convert(over(i420, w, h, FMT_I420)));
    expectPixel(converter.displayImage(), 5, 1, {255, 0, 0}, 4, "i420");
    std::vector<uint8_t> grey(size_t(luma), 77);
    ASSERT_TRUE(converter.convert(over(grey, w, h, FMT_GREY)));
    expectPixel(converter.displayImage(), 5, 1, {77, 77, 77}, 1, "grey");
    // One byte short of the chroma planes: dropped.
    nv12.pop_back();
    EXPECT_FALSE(converter.convert(over(nv12, w, h, FMT_NV12)));
}

TEST(FrameConversion, ShortFramesAreDroppedAndThePreviousPictureStays)
{
    FrameConverter converter;
    std::vector<uint8_t> grey(4 * 4 * 3, 77);
    ASSERT_TRUE(converter.convert(over(grey, 4, 4, FMT_RGB24)));
    for (int format : {FMT_RGB24, FMT_BGR24, FMT_YUY2, FMT_YUYV}) {
        std::vector<uint8_t> shortFrame(4 * 4 * 2 - 1, 200);
        EXPECT_FALSE(converter.convert(over(shortFrame, 4, 4, format))) << format;
    }
    expectPixel(converter.displayImage(), 3, 3, {77, 77, 77}, 0, "previous picture");
}

TEST(FrameConversion, UnknownFormatsEmptyFramesAndZeroSizesAreIgnored)
{
    FrameConverter converter;
    std::vector<uint8_t> bytes(64, 1);
    EXPECT_FALSE(converter.convert(over(bytes, 2, 2, FMT_UNKNOWN)));
    EXPECT_FALSE(converter.convert(over(bytes, 2, 2, FMT_H264)));
    EXPECT_FALSE(converter.convert(over(bytes, 0, 2, FMT_RGB24)));
    EXPECT_FALSE(converter.convert(over(bytes, 2, -1, FMT_RGB24)));
    CWImage empty(2, 2, nullptr, 0, 0, true, FMT_RGB24, 0);
    EXPECT_FALSE(converter.convert(empty));
    EXPECT_EQ(converter.displayImage().data, nullptr);
}

TEST(FrameConversion, JpegDecodesAndACorruptOneLeavesThePreviousPicture)
{
    const int w = 32, h = 16;
    std::vector<uint8_t> rgb(w * h * 3);
    for (int i = 0; i < w * h; ++i) {
        rgb[i * 3] = 200;
        rgb[i * 3 + 1] = 40;
        rgb[i * 3 + 2] = 90;
    }
    auto jpeg = encodeJpeg(rgb, w, h);
    FrameConverter converter;
    ASSERT_TRUE(converter.convert(over(jpeg, w, h, FMT_MJPG)));
    expectPixel(converter.displayImage(), 5, 5, {200, 40, 90}, 6, "jpeg");

    std::vector<uint8_t> garbage(300);
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = uint8_t(i * 37 + 11);
    EXPECT_FALSE(converter.convert(over(garbage, w, h, FMT_MJPG)));
    expectPixel(converter.displayImage(), 5, 5, {200, 40, 90}, 6, "previous picture after garbage");

    // A JPEG larger than the frame announces is refused, not written past the buffer.
    std::vector<uint8_t> big(64 * 64 * 3, 128);
    auto bigJpeg = encodeJpeg(big, 64, 64);
    EXPECT_FALSE(converter.convert(over(bigJpeg, w, h, FMT_MJPG)));
}

TEST(FrameConversion, ScaledJpegDecodingMatchesAFullDecodeScaledDown)
{
    // A textured picture: gradients, rings and a fine checker.
    const int w = 160, h = 96;
    std::vector<uint8_t> rgb(size_t(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &rgb[(size_t(y) * w + x) * 3];
            p[0] = uint8_t(x * 255 / w);
            p[1] = uint8_t(128 + 100 * std::sin((x - 80) * (x - 80) / 200.0 + (y - 48) * (y - 48) / 200.0));
            p[2] = uint8_t(((x / 2 + y / 2) % 2) * 60 + y);
        }
    auto jpeg = encodeJpeg(rgb, w, h);
    FrameConverter full;
    ASSERT_TRUE(full.convert(over(jpeg, w, h, FMT_MJPG)));
    for (int scale : {2, 4}) {
        FrameConverter scaled;
        scaled.setJpegScale(scale);
        ASSERT_TRUE(scaled.convert(over(jpeg, w, h, FMT_MJPG)));
        const CWImage& small = scaled.displayImage();
        ASSERT_EQ(small.width, w / scale);
        ASSERT_EQ(small.height, h / scale);
        EXPECT_EQ(scaled.pictureWidth(), w);
        EXPECT_EQ(scaled.pictureHeight(), h);
        // The full picture averaged over scale × scale blocks.
        std::vector<uint8_t> reference(size_t(small.width) * small.height * 4);
        libyuv::ARGBScale(full.displayImage().data, w * 4, w, h, reference.data(), small.width * 4, small.width,
                          small.height, libyuv::kFilterBox);
        double difference = 0;
        for (size_t i = 0; i < reference.size(); ++i)
            if (i % 4 != 3)
                difference += std::abs(int(reference[i]) - int(small.data[i]));
        EXPECT_LT(difference / (small.width * small.height * 3.0), 3.0) << "1/" << scale;
    }
    // Other formats stay at full size.
    FrameConverter scaled;
    scaled.setJpegScale(4);
    ASSERT_TRUE(scaled.convert(over(rgb, w, h, FMT_RGB24)));
    EXPECT_EQ(scaled.displayImage().width, w);
}

TEST(FrameConversion, I420PlanesAreLaidOutForTheRecorder)
{
    FrameConverter converter;
    std::vector<uint8_t> white(4 * 2 * 3, 255);
    ASSERT_TRUE(converter.convert(over(white, 4, 2, FMT_RGB24)));
    const uint8_t* yuv = converter.toI420();
    ASSERT_NE(yuv, nullptr);
    for (int i = 0; i < 8; ++i)
        EXPECT_NEAR(yuv[i], 235, 2) << "luma";
    for (int i = 8; i < 12; ++i)
        EXPECT_NEAR(yuv[i], 128, 2) << "chroma";

    std::vector<uint8_t> odd(3 * 3 * 3, 10);
    ASSERT_TRUE(converter.convert(over(odd, 3, 3, FMT_RGB24)));
    EXPECT_EQ(converter.toI420(), nullptr) << "odd sizes cannot be 4:2:0";
}
