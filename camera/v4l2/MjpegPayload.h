#pragma once
// How much of an MJPEG buffer is a picture. The driver sizes a buffer by the
// bytes it used, but a UVC camera may pad after the picture, and some leave
// out the end-of-image marker, which the decoder does without. Garbage (no
// start-of-image marker, no well-formed headers up to a scan) never reaches
// the host as a frame.
#include <cstddef>
#include <cstdint>

namespace v4l2 {

// The length of the JPEG picture at the start of `data`: up to and including
// the last end-of-image marker; without one, up to the last byte that is not
// zero padding, when the headers from the start-of-image marker lead through
// well-formed segments to a start-of-scan. 0 when the buffer holds no picture.
size_t mjpegPictureLength(const uint8_t* data, size_t bytesUsed);

} // namespace v4l2
