#include "camera/RowOps.h"

#include <algorithm>
#include <cstring>
#include <memory>

// The hot loops are cloned for AVX2 and picked at load time; the default
// clone keeps the library running on any x86-64.
#if defined(__x86_64__) && !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
#define LENSBRIDGE_HOT __attribute__((target_clones("avx2", "default")))
#else
#define LENSBRIDGE_HOT
#endif

namespace lensbridge {
namespace {
// Pixels are read as whole 32-bit words; the buffers are byte arrays that may
// come unaligned from a backend.
using Pixel = uint32_t __attribute__((may_alias, aligned(1)));
} // namespace

void swapRowsVertically(unsigned char* data, size_t rowBytes, int rows)
{
    if (rows < 2 || rowBytes == 0)
        return;
    const auto temp = std::make_unique<unsigned char[]>(rowBytes);
    for (int top = 0, bottom = rows - 1; top < bottom; ++top, --bottom) {
        unsigned char* a = data + static_cast<size_t>(top) * rowBytes;
        unsigned char* b = data + static_cast<size_t>(bottom) * rowBytes;
        std::memcpy(temp.get(), a, rowBytes);
        std::memcpy(a, b, rowBytes);
        std::memcpy(b, temp.get(), rowBytes);
    }
}

LENSBRIDGE_HOT
void mirrorPixels4(unsigned char* data, int width, int height)
{
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<Pixel*>(data + static_cast<size_t>(y) * width * 4);
        Pixel* left = row;
        Pixel* right = row + width - 1;
        for (; left < right; ++left, --right) {
            uint32_t t = *left;
            *left = *right;
            *right = t;
        }
    }
}

LENSBRIDGE_HOT
void addOffsets4(unsigned char* data, size_t pixels, uint8_t offset0, uint8_t offset1, uint8_t offset2)
{
    const uint8_t add[4] = {offset0, offset1, offset2, 0};
    // A saturating add of zero is the identity, so one uniform loop keeps
    // byte 3 and zero-offset bytes untouched.
    for (size_t i = 0; i < pixels * 4; i += 4) {
        for (int c = 0; c < 4; ++c) {
            const unsigned sum = data[i + c] + add[c];
            data[i + c] = static_cast<uint8_t>(sum > 255 ? 255 : sum);
        }
    }
}

LENSBRIDGE_HOT
void monochrome4(unsigned char* data, size_t pixels)
{
    auto* px = reinterpret_cast<Pixel*>(data);
    for (size_t i = 0; i < pixels; ++i) {
        const uint32_t v = px[i];
        const uint32_t sum = (v & 0xFF) * 299 + ((v >> 8) & 0xFF) * 587 + ((v >> 16) & 0xFF) * 114 + 500;
        const uint32_t l = sum / 1000;
        px[i] = (v & 0xFF000000u) | (l << 16) | (l << 8) | l;
    }
}

LENSBRIDGE_HOT
void negative4(unsigned char* data, size_t pixels)
{
    auto* px = reinterpret_cast<Pixel*>(data);
    for (size_t i = 0; i < pixels; ++i)
        px[i] ^= 0x00FFFFFFu;
}

} // namespace lensbridge
