// Arbitrary format codes, sizes, data sizes and JPEG bytes through the frame
// conversion: nothing may be read past the frame or written past the picture.

#include "app/view/FrameConverter.h"

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size)
{
    if (size < 6)
        return 0;
    static const int formats[] = {FMT_RGB24, FMT_BGR24, FMT_RGB32, FMT_RGBA32,  FMT_YUY2,
                                  FMT_YUYV,  FMT_MJPG,  FMT_H264,  FMT_UNKNOWN, -1};
    const int format = formats[input[0] % (sizeof formats / sizeof formats[0])];
    const int width = 1 + (input[1] | (input[2] & 1) << 8);  // 1..512
    const int height = 1 + (input[3] | (input[4] & 1) << 8); // 1..512
    const int bottomUp = input[5] & 1;
    // The frame owns exactly the bytes it announces, so any over-read is caught.
    std::vector<uint8_t> data(input + 6, input + size);
    CWImage frame(width, height, data.empty() ? nullptr : data.data(), unsigned(data.size()), unsigned(data.size()),
                  true, format, bottomUp);
    static FrameConverter converter; // keeps its buffers across inputs, as in the live path
    if (converter.convert(frame))
        converter.toI420();
    return 0;
}
