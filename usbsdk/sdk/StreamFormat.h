#pragma once
// The image stream: a 52-byte leader, the payload in chunks, a 32-byte trailer.
#include <cstddef>
#include <cstdint>

namespace usbsdk::stream {

constexpr uint32_t kLeaderMagic = 0x4C563355;  // "U3VL"
constexpr uint32_t kTrailerMagic = 0x54563355; // "U3VT"
constexpr size_t kLeaderSize = 52;
constexpr size_t kTrailerSize = 32;
constexpr size_t kChunkSize = 0x40000;
constexpr uint32_t kPixelFormatYuv422 = 0x0210003B;

// Offsets in the leader.
constexpr size_t kLeaderSizeOffset = 6;
constexpr size_t kBlockIdOffset = 8;
constexpr size_t kPayloadTypeOffset = 18;
constexpr size_t kTimestampOffset = 20;
constexpr size_t kPixelFormatOffset = 28;
constexpr size_t kWidthOffset = 32;
constexpr size_t kHeightOffset = 36;
constexpr size_t kOffsetXOffset = 40;
constexpr size_t kOffsetYOffset = 44;

// The stream carries 2 bytes per pixel whatever the pixel format.
constexpr size_t frameSize(uint32_t width, uint32_t height) { return size_t(width) * height * 2 + kLeaderSize; }

} // namespace usbsdk::stream
