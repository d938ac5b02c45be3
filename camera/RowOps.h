#pragma once
// In-place pixel kernels behind CWImage::flip and the camera's software pixel
// processing. They sit on the live path of every frame, so they are written to
// vectorise; each matches the plain per-pixel definition exactly.

#include <cstddef>
#include <cstdint>

// Explicitly hidden: the AVX2 clones' resolvers would otherwise be exported.
#pragma GCC visibility push(hidden)
namespace lensbridge {

// Swaps row i with row rows-1-i for i < rows/2 (the middle row of an odd
// height stays), using one row of temporary memory.
void swapRowsVertically(unsigned char* data, size_t rowBytes, int rows);

// Reverses the order of the 4-byte pixels of every row.
void mirrorPixels4(unsigned char* data, int width, int height);

// Adds the offsets to bytes 0, 1 and 2 of every 4-byte pixel, saturating at 255.
void addOffsets4(unsigned char* data, size_t pixels, uint8_t offset0, uint8_t offset1, uint8_t offset2);

// Bytes 0..2 := (b0*299 + b1*587 + b2*114 + 500) / 1000; byte 3 untouched.
void monochrome4(unsigned char* data, size_t pixels);

// Bytes 0..2 := 255 - value; byte 3 untouched.
void negative4(unsigned char* data, size_t pixels);

} // namespace lensbridge
#pragma GCC visibility pop
