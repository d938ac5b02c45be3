#include "camera/v4l2/MjpegPayload.h"

namespace v4l2 {

size_t mjpegPictureLength(const uint8_t* data, size_t bytesUsed)
{
    // The smallest picture is SOI + EOI.
    if (!data || bytesUsed < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return 0;
    // Padding after the picture is zeros (or anything but a marker), so the
    // last end-of-image marker ends the picture.
    for (size_t i = bytesUsed - 1; i >= 3; --i)
        if (data[i] == 0xD9 && data[i - 1] == 0xFF)
            return i + 1;
    return 0;
}

} // namespace v4l2
