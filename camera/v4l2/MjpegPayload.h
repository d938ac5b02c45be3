#pragma once
// How much of an MJPEG buffer is a picture. The driver sizes a buffer by the
// bytes it used, but a UVC camera may pad after the picture or deliver a
// picture cut short; neither reaches the host as a frame.
#include <cstddef>
#include <cstdint>

namespace v4l2 {

// The length of the JPEG picture at the start of `data` (start-of-image
// marker first, up to and including the last end-of-image marker); 0 when
// the buffer holds no complete picture.
size_t mjpegPictureLength(const uint8_t* data, size_t bytesUsed);

} // namespace v4l2
