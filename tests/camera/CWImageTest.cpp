#include "camera/CWImage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

namespace {
// An owned image whose row r is filled with byte value r.
CWImage makeRowNumbered(int format, int width, int height, int bytesPerPixel)
{
    const unsigned size = width * height * bytesPerPixel;
    auto* data = new unsigned char[size];
    for (int r = 0; r < height; ++r)
        std::memset(data + r * width * bytesPerPixel, r, width * bytesPerPixel);
    return CWImage(width, height, data, size, size, false, format, 0);
}
} // namespace

TEST(CWImage, DefaultIsEmptyUnknownAndNotOwning)
{
    CWImage image;
    EXPECT_EQ(image.format, FMT_UNKNOWN);
    EXPECT_EQ(image.width, 0);
    EXPECT_EQ(image.height, 0);
    EXPECT_EQ(image.bottomUp, 0);
    EXPECT_EQ(image.data, nullptr);
    EXPECT_EQ(image.dataSize, 0u);
    EXPECT_EQ(image.bufferSize, 0u);
    EXPECT_TRUE(image.externalBuffer);
}

TEST(CWImage, ConstructorTakesFormatAndOrientationLast)
{
    unsigned char pixels[12] = {};
    CWImage image(2, 3, pixels, 12, 16, true, FMT_YUY2, 1);
    EXPECT_EQ(image.width, 2);
    EXPECT_EQ(image.height, 3);
    EXPECT_EQ(image.data, pixels);
    EXPECT_EQ(image.dataSize, 12u);
    EXPECT_EQ(image.bufferSize, 16u);
    EXPECT_EQ(image.format, FMT_YUY2);
    EXPECT_EQ(image.bottomUp, 1);
}

TEST(CWImage, CopyAssignmentSharesTheBuffer)
{
    unsigned char pixels[4] = {1, 2, 3, 4};
    CWImage source(1, 1, pixels, 4, 4, true, FMT_RGBA32, 0);
    CWImage copy;
    copy = source;
    EXPECT_EQ(copy.data, pixels);
    EXPECT_EQ(copy.format, FMT_RGBA32);
    EXPECT_TRUE(copy.externalBuffer);
}

TEST(CWImageFlip, ReversesRowsAndTogglesOrientationForThreeAndFourBytes)
{
    for (int format : {FMT_RGB24, FMT_BGR24, FMT_RGB32, FMT_RGBA32}) {
        const int bpp = CMBytesPerPixel(format);
        CWImage image = makeRowNumbered(format, 5, 4, bpp);
        image.flip();
        for (int r = 0; r < 4; ++r)
            EXPECT_EQ(image.data[r * 5 * bpp], 3 - r) << "format " << format;
        EXPECT_EQ(image.bottomUp, 1);
        image.flip();
        for (int r = 0; r < 4; ++r)
            EXPECT_EQ(image.data[r * 5 * bpp + bpp - 1], r);
        EXPECT_EQ(image.bottomUp, 0);
    }
}

TEST(CWImageFlip, OddHeightKeepsTheMiddleRow)
{
    CWImage image = makeRowNumbered(FMT_RGB24, 3, 5, 3);
    image.flip();
    const int expected[5] = {4, 3, 2, 1, 0};
    for (int r = 0; r < 5; ++r)
        EXPECT_EQ(image.data[r * 9 + 4], expected[r]);
}

TEST(CWImageFlip, CompressedAndPackedFormatsAreLeftAlone)
{
    for (int format : {FMT_YUY2, FMT_YUYV, FMT_MJPG, FMT_H264, FMT_UNKNOWN}) {
        CWImage image = makeRowNumbered(format, 4, 3, 2);
        image.bottomUp = 1;
        image.flip();
        EXPECT_EQ(image.bottomUp, 1);
        EXPECT_EQ(image.data[0], 0);
        EXPECT_EQ(image.data[2 * 8], 2);
    }
}

TEST(CWImageFlip, TopdownFlipsOnlyBottomUpImages)
{
    CWImage image = makeRowNumbered(FMT_RGBA32, 2, 2, 4);
    image.topdown();
    EXPECT_EQ(image.data[0], 0) << "a top-down image stays as it is";
    image.bottomUp = 1;
    image.topdown();
    EXPECT_EQ(image.data[0], 1);
    EXPECT_EQ(image.bottomUp, 0);
}

TEST(CWImageCheckBuffer, AllocatesTheComputedSizeAndKeepsFormatFields)
{
    CWImage image;
    image.format = FMT_RGBA32;
    ASSERT_TRUE(CWImage::checkBuffer(&image, 640, 480, 8, 4));
    EXPECT_NE(image.data, nullptr);
    EXPECT_EQ(image.dataSize, 640u * 480u * 4u);
    EXPECT_EQ(image.bufferSize, image.dataSize);
    EXPECT_EQ(image.format, FMT_RGBA32);
    EXPECT_TRUE(image.externalBuffer) << "checkBuffer leaves ownership as it was";
    delete[] image.data;
    image.data = nullptr;
}

TEST(CWImageCheckBuffer, SameSizeKeepsTheBufferEvenForMoreBytesPerPixel)
{
    CWImage image;
    image.externalBuffer = false;
    ASSERT_TRUE(CWImage::checkBuffer(&image, 16, 8, 8, 3));
    unsigned char* first = image.data;
    EXPECT_TRUE(CWImage::checkBuffer(&image, 16, 8, 8, 4));
    EXPECT_EQ(image.data, first);
    EXPECT_EQ(image.dataSize, 16u * 8u * 3u) << "the byte size is not compared";
}

TEST(CWImageCheckBuffer, NewSizeReplacesTheBuffer)
{
    CWImage image;
    image.externalBuffer = false;
    ASSERT_TRUE(CWImage::checkBuffer(&image, 16, 8, 8, 4));
    ASSERT_TRUE(CWImage::checkBuffer(&image, 32, 8, 8, 4));
    EXPECT_EQ(image.width, 32);
    EXPECT_EQ(image.dataSize, 32u * 8u * 4u);
}

TEST(CWImageCheckBuffer, RejectsNullAndNonsenseSizes)
{
    EXPECT_FALSE(CWImage::checkBuffer(nullptr, 10, 10, 8, 4));
    CWImage image;
    EXPECT_FALSE(CWImage::checkBuffer(&image, 0, 10, 8, 4));
    EXPECT_FALSE(CWImage::checkBuffer(&image, -5, 10, 8, 4));
    EXPECT_EQ(image.data, nullptr);
    EXPECT_FALSE(CWImage::checkBuffer(&image, 70000, 70000, 8, 4)) << "over 4 GiB cannot be described";
}
