#include "camera/RowOps.h"

#include <algorithm>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The per-pixel loops are written once as always-inline kernels and compiled
// twice: for AVX2 and for the x86-64 baseline. The AVX2 build is chosen once
// at run time when the processor has it.
#define LENSBRIDGE_KERNEL static inline __attribute__((always_inline))
#if defined(__x86_64__)
#define LENSBRIDGE_DISPATCH(name, params, args)                                                                        \
    __attribute__((target("avx2"))) static void name##Avx2 params { name##Kernel args; }                               \
    static void name##Baseline params { name##Kernel args; }                                                           \
    void name params                                                                                                   \
    {                                                                                                                  \
        static const bool avx2 = __builtin_cpu_supports("avx2");                                                       \
        if (avx2)                                                                                                      \
            name##Avx2 args;                                                                                           \
        else                                                                                                           \
            name##Baseline args;                                                                                       \
    }
#else
#define LENSBRIDGE_DISPATCH(name, params, args)                                                                        \
    void name params { name##Kernel args; }
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

LENSBRIDGE_KERNEL void mirrorPixels4Kernel(unsigned char* data, int width, int height)
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

void addOffsets4(unsigned char* data, size_t pixels, uint8_t offset0, uint8_t offset1, uint8_t offset2)
{
    // A saturating add of zero is the identity, so one uniform pass keeps
    // byte 3 and zero-offset bytes untouched.
    const uint8_t add[4] = {offset0, offset1, offset2, 0};
    const size_t bytes = pixels * 4;
    size_t i = 0;
#if defined(__SSE2__)
    uint32_t pattern;
    std::memcpy(&pattern, add, 4);
    const __m128i offsets = _mm_set1_epi32(static_cast<int>(pattern));
    for (; i + 16 <= bytes; i += 16) {
        const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(data + i), _mm_adds_epu8(px, offsets));
    }
#endif
    for (; i < bytes; ++i) {
        const unsigned sum = data[i] + add[i & 3];
        data[i] = static_cast<uint8_t>(sum > 255 ? 255 : sum);
    }
}

LENSBRIDGE_KERNEL void monochrome4Kernel(unsigned char* data, size_t pixels)
{
    auto* px = reinterpret_cast<Pixel*>(data);
    for (size_t i = 0; i < pixels; ++i) {
        const uint32_t v = px[i];
        const uint32_t sum = (v & 0xFF) * 299 + ((v >> 8) & 0xFF) * 587 + ((v >> 16) & 0xFF) * 114 + 500;
        const uint32_t l = sum / 1000;
        px[i] = (v & 0xFF000000u) | (l << 16) | (l << 8) | l;
    }
}

LENSBRIDGE_KERNEL void negative4Kernel(unsigned char* data, size_t pixels)
{
    auto* px = reinterpret_cast<Pixel*>(data);
    for (size_t i = 0; i < pixels; ++i)
        px[i] ^= 0x00FFFFFFu;
}

LENSBRIDGE_DISPATCH(mirrorPixels4, (unsigned char* data, int width, int height), (data, width, height))
LENSBRIDGE_DISPATCH(monochrome4, (unsigned char* data, size_t pixels), (data, pixels))
LENSBRIDGE_DISPATCH(negative4, (unsigned char* data, size_t pixels), (data, pixels))

} // namespace lensbridge
