// How much of an MJPEG buffer is handed on as a picture.
#include "camera/v4l2/MjpegPayload.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(MjpegPayload, PaddingIsCutPicturesWithoutEndMarkerKeptGarbageDropped)
{
    // SOI, a frame header (SOF0), a scan header (SOS), scan data.
    std::vector<uint8_t> picture = {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x04, 0x08, 0x00,
                                    0xFF, 0xDA, 0x00, 0x03, 0x01, 0x12, 0x34, 0x56};
    std::vector<uint8_t> buffer = picture;
    buffer.insert(buffer.end(), {0xFF, 0xD9, 0, 0, 0, 0});
    EXPECT_EQ(v4l2::mjpegPictureLength(buffer.data(), buffer.size()), picture.size() + 2);
    // No end marker: the picture up to its padding.
    buffer = picture;
    buffer.insert(buffer.end(), {0, 0, 0});
    EXPECT_EQ(v4l2::mjpegPictureLength(buffer.data(), buffer.size()), picture.size());
    // Without a frame header, cut inside a header, or not a JPEG at all: nothing.
    std::vector<uint8_t> noFrame = {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x03, 0x01, 0x12, 0x34};
    EXPECT_EQ(v4l2::mjpegPictureLength(noFrame.data(), noFrame.size()), 0u);
    EXPECT_EQ(v4l2::mjpegPictureLength(picture.data(), 7), 0u);
    std::vector<uint8_t> garbage = {0xFF, 0xD8, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
    EXPECT_EQ(v4l2::mjpegPictureLength(garbage.data(), garbage.size()), 0u);
    garbage[0] = 0;
    EXPECT_EQ(v4l2::mjpegPictureLength(garbage.data(), garbage.size()), 0u);
}

} // namespace
