#include "camera/v4l2/MjpegPayload.h"

namespace v4l2 {
namespace {

// The segments after SOI lead to a start-of-scan (0xFFDA) with a frame
// header (SOF0 … SOF15 but DHT, JPG and DAC) before it.
bool headersReachScan(const uint8_t* data, size_t length)
{
    bool frameHeader = false;
    size_t at = 2;
    while (at + 4 <= length) {
        if (data[at] != 0xFF)
            return false;
        const uint8_t marker = data[at + 1];
        if (marker == 0xFF) { // fill byte before a marker
            ++at;
            continue;
        }
        const size_t segment = size_t(data[at + 2]) << 8 | data[at + 3];
        if (segment < 2)
            return false;
        if (marker == 0xDA)
            return frameHeader && at + 2 + segment < length;
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            frameHeader = true;
        at += 2 + segment;
    }
    return false;
}

} // namespace

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
    if (!headersReachScan(data, bytesUsed))
        return 0;
    size_t length = bytesUsed;
    while (length > 2 && data[length - 1] == 0)
        --length;
    return length;
}

} // namespace v4l2
