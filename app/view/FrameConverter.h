#pragma once
// Turns camera frames of every pixel format (RGB, YUY2, NV12, I420, grey,
// MJPEG) into the 8-bit RGBA picture the
// view shows and the recorder encodes. The working images are kept between
// frames and reallocated only when the size changes.

#include "camera/CWImage.h"

#include <cstdint>
#include <vector>

class FrameConverter {
public:
    FrameConverter();
    FrameConverter(const FrameConverter&) = delete;
    FrameConverter& operator=(const FrameConverter&) = delete;
    ~FrameConverter();

    // Converts `frame` into displayImage() (format 3, width × 4 bytes per row).
    // Returns false when nothing new was produced: a frame without data or
    // size, shorter than its format and size require, of a format that is
    // not converted, or a JPEG that does not decode. The previous picture then
    // stays as it was.
    bool convert(const CWImage& frame);

    CWImage& displayImage() { return displayImage_; }
    // The size of the last converted frame; displayImage() is smaller when it
    // was an MJPEG frame decoded at a reduced scale.
    int pictureWidth() const { return pictureWidth_; }
    int pictureHeight() const { return pictureHeight_; }

    // MJPEG frames decode at 1/`denominator` of their size (2, 4 or 8; any
    // other value means full size) with TurboJPEG's scaled decoding: a view
    // that shows the picture smaller needs no more, and decoding a quarter
    // of a 4K picture costs a fraction of the full one. Other formats always
    // convert at full size.
    void setJpegScale(int denominator);

    // Converts displayImage() to I420 (Y, then U and V planes) in a buffer
    // kept between frames; width × height × 3 / 2 bytes.
    const uint8_t* toI420();

    // Bytes a frame of this format and size must hold at least; 0 when the
    // format is not converted, 1 for compressed frames.
    static uint64_t requiredBytes(int format, int width, int height);

private:
    bool decodeJpeg(const CWImage& frame);

    CWImage displayImage_;
    CWImage scratchImage_;
    std::vector<uint8_t> i420Buffer_;
    void* jpegDecoder_ = nullptr;
    int jpegScale_ = 1;
    int pictureWidth_ = 0, pictureHeight_ = 0;
};
