#include "usbsdk/emulator/FrameStamp.h"

#include "usbsdk/sdk/Protocol.h"

namespace usbsdk::emulator {
namespace {
constexpr size_t kFields = 16;
}

void FrameStamp::write(uint8_t* p, size_t size) const
{
    if (size < kSize)
        return;
    protocol::put32(p, kMagic);
    protocol::put32(p + 4, static_cast<uint32_t>(frameNumber));
    protocol::put32(p + 8, static_cast<uint32_t>(frameNumber >> 32));
    const int32_t fields[kFields] = {exposureMode,   exposureTarget,   gain,     roiX,      roiY,   roiWidth,
                                     roiHeight,      whiteBalanceMode, wbRed,    wbGreen,   wbBlue, exposureTime,
                                     noiseReduction, sharpness,        contrast, saturation};
    for (size_t i = 0; i < kFields; ++i)
        protocol::put32(p + 12 + 4 * i, static_cast<uint32_t>(fields[i]));
}

std::optional<FrameStamp> FrameStamp::read(const uint8_t* p, size_t size)
{
    if (size < kSize || protocol::get32(p) != kMagic)
        return std::nullopt;
    FrameStamp s;
    s.frameNumber = protocol::get32(p + 4) | (uint64_t(protocol::get32(p + 8)) << 32);
    int32_t* fields[kFields] = {&s.exposureMode,   &s.exposureTarget, &s.gain,      &s.roiX,
                                &s.roiY,           &s.roiWidth,       &s.roiHeight, &s.whiteBalanceMode,
                                &s.wbRed,          &s.wbGreen,        &s.wbBlue,    &s.exposureTime,
                                &s.noiseReduction, &s.sharpness,      &s.contrast,  &s.saturation};
    for (size_t i = 0; i < kFields; ++i)
        *fields[i] = static_cast<int32_t>(protocol::get32(p + 12 + 4 * i));
    return s;
}

} // namespace usbsdk::emulator
