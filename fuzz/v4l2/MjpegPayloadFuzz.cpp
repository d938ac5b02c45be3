// The MJPEG buffer check on hostile driver buffers: never reads outside
// the buffer, and a length it accepts spans SOI … EOI.
#include "camera/v4l2/MjpegPayload.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const size_t length = v4l2::mjpegPictureLength(data, size);
    if (length > size)
        std::abort();
    if (length > 0 && (data[0] != 0xFF || data[1] != 0xD8 || data[length - 2] != 0xFF || data[length - 1] != 0xD9))
        std::abort();
    return 0;
}
