#include "usbsdk/emulator/RegisterFile.h"

#include <algorithm>

namespace usbsdk::emulator {

RegisterFile::RegisterFile(uint32_t width, uint32_t height) : block_(0x10000 + 8192, 0)
{
    const auto w = static_cast<int32_t>(width), h = static_cast<int32_t>(height);
    // The window starts centred in the 1940 x 1460 sensor area, as the camera
    // backend places it.
    const int32_t x = w < 1940 ? (1940 - w) / 2 : 0, y = h < 1460 ? (1460 - h) / 2 : 0;
    registers_ = {
        {reg::kExposureMode, {0, 3, 0, false}},
        {reg::kExposureTarget, {0, 255, 120, false}},
        {reg::kGain, {0, 360, 0, false}},
        {reg::kRoiX, {0, 8191, x, false}},
        {reg::kRoiY, {0, 8191, y, false}},
        {reg::kRoiWidth, {1, 8192, w, false}},
        {reg::kRoiHeight, {1, 8192, h, false}},
        {reg::kWhiteBalanceMode, {0, 2, 0, false}},
        {reg::kWbRed, {0, 120, 40, false}},
        {reg::kWbGreen, {0, 120, 40, false}},
        {reg::kWbBlue, {0, 120, 40, false}},
        {reg::kExposureTime, {10, 39200, 20000, false}},
        {reg::kNoiseReduction, {0, 255, 127, false}},
        {reg::kSharpness, {0, 15, 4, true}},
        {reg::kContrast, {0, 255, 127, false}},
        {reg::kSaturation, {0, 255, 51, false}},
    };
    // Block memory starts with a recognisable pattern.
    for (size_t i = 0; i < block_.size(); ++i)
        block_[i] = static_cast<uint8_t>(i * 7 + 3);
}

uint16_t RegisterFile::read(uint32_t address, int32_t& value) const
{
    auto it = registers_.find(address);
    if (it == registers_.end())
        return kStatusNotImplemented;
    value = it->second.value;
    return kStatusOk;
}

uint16_t RegisterFile::write(uint32_t address, int32_t value)
{
    auto it = registers_.find(address);
    if (it == registers_.end())
        return kStatusNotImplemented;
    Register& r = it->second;
    const int32_t checked = r.rawBits ? (value & 0xF) : value;
    if (checked < r.min || checked > r.max)
        return kStatusInvalidParameter;
    r.value = value;
    return kStatusOk;
}

int32_t RegisterFile::value(uint32_t address) const
{
    auto it = registers_.find(address);
    return it == registers_.end() ? 0 : it->second.value;
}

std::vector<uint32_t> RegisterFile::addresses() const
{
    std::vector<uint32_t> out;
    for (const auto& [a, r] : registers_)
        out.push_back(a);
    return out;
}

std::vector<uint8_t> RegisterFile::readBlock(uint16_t address, size_t length) const
{
    const size_t n = std::min(length, block_.size() - address);
    return {block_.begin() + address, block_.begin() + address + static_cast<std::ptrdiff_t>(n)};
}

size_t RegisterFile::writeBlock(uint16_t address, const uint8_t* data, size_t length)
{
    const size_t n = std::min(length, block_.size() - address);
    std::copy(data, data + n, block_.begin() + address);
    return n;
}

} // namespace usbsdk::emulator
