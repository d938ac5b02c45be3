#include "FrameFiles.h"

#include <algorithm>
#include <fstream>
#include <vector>

#include "usbsdk/sdk/Protocol.h"
#include "usbsdk/sdk/StreamFormat.h"

namespace sensorlink_tool {

using usbsdk::protocol::get32;
namespace stream = usbsdk::stream;

bool writeRawFrame(const std::string& path, const uint8_t* frame, size_t size)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(frame), static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
}

bool writePpmFrame(const std::string& path, const uint8_t* frame, size_t size)
{
    if (size < stream::kLeaderSize)
        return false;
    const uint32_t width = get32(frame + stream::kWidthOffset), height = get32(frame + stream::kHeightOffset);
    if (size < stream::frameSize(width, height))
        return false;
    const uint8_t* yuyv = frame + stream::kLeaderSize;
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    auto clamp = [](int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); };
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* pair = yuyv + (size_t(y) * width + (x & ~1u)) * 2;
            const int luma = (x & 1) ? pair[2] : pair[0];
            const int u = pair[1] - 128, v = (x | 1) < width ? pair[3] - 128 : 0;
            const int c = 298 * (luma - 16);
            uint8_t* px = &rgb[(size_t(y) * width + x) * 3];
            px[0] = clamp((c + 409 * v + 128) >> 8);
            px[1] = clamp((c - 100 * u - 208 * v + 128) >> 8);
            px[2] = clamp((c + 516 * u + 128) >> 8);
        }
    }
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << width << ' ' << height << "\n255\n";
    out.write(reinterpret_cast<const char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
    return static_cast<bool>(out);
}

} // namespace sensorlink_tool
