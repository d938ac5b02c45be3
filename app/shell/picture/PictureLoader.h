#pragma once
// Reads a picture file for the view: JPEG, PNG, BMP and TIFF (its first
// page), 8 or 16 bits per sample, grey or colour, with or without alpha,
// into the 8-bit R, G, B, A picture the view shows, with the scale the file
// carries. OpenCV decodes; libtiff reads the tags. Bad input is reported by
// its kind and nothing else happens. Any thread (the window loads on a
// worker so a large file never stops it).
#include "app/shell/PictureSource.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace shell {

enum class PictureLoadError {
    None,
    Missing,     // no such file
    Unreadable,  // it exists but cannot be read (permissions, a folder)
    Empty,       // zero bytes
    NotAPicture, // not JPEG, PNG, BMP or TIFF
    TooLarge,    // more than kMaxPicturePixels, or a side beyond kMaxPictureSide
    Corrupt,     // truncated or damaged: the decoder gave nothing
    Unsupported, // a picture of a sample type the view cannot show (floating point, ...)
};

// Panoramas the program saves reach 100 megapixels.
constexpr int64_t kMaxPicturePixels = 120'000'000;
constexpr int kMaxPictureSide = 65'535;

struct PictureLoadResult {
    PictureLoadError error = PictureLoadError::None;
    std::shared_ptr<StillPicture> picture; // set when error is None
};

PictureLoadResult LoadPictureFile(const std::string& path);

// The format a file's first bytes name, and the picture size its header
// gives; size 0 × 0 where the header says nothing this reader understands
// (the decoder then decides). The program's own parsing of untrusted bytes.
enum class PictureFormat { Unknown, Jpeg, Png, Bmp, Tiff };
struct PictureHeader {
    PictureFormat format = PictureFormat::Unknown;
    int64_t width = 0;
    int64_t height = 0;
};
PictureHeader ReadPictureHeader(const uint8_t* bytes, size_t size);

// Whether a picture of this size may be opened.
bool PictureSizeAllowed(int64_t width, int64_t height);

// Maps 16-bit samples to 8 bits linearly over [low, high] (clamped): the
// display of a 16-bit picture. `count` samples from `in` to `out`.
void MapSamplesTo8Bit(const uint16_t* in, uint8_t* out, size_t count, double low, double high);

} // namespace shell
