#pragma once
// The record an emulated camera writes over the first bytes of a payload when
// stamping is on: which frame this is and which register values made it.
#include <cstddef>
#include <cstdint>
#include <optional>

namespace usbsdk::emulator {

struct FrameStamp {
    static constexpr uint32_t kMagic = 0x504D5453; // "STMP"
    static constexpr size_t kSize = 80;

    uint64_t frameNumber = 0; // also the leader's block id
    int32_t exposureMode = 0, exposureTarget = 0, gain = 0;
    int32_t roiX = 0, roiY = 0, roiWidth = 0, roiHeight = 0;
    int32_t whiteBalanceMode = 0, wbRed = 0, wbGreen = 0, wbBlue = 0;
    int32_t exposureTime = 0, noiseReduction = 0, sharpness = 0, contrast = 0, saturation = 0;

    void write(uint8_t* payload, size_t payloadSize) const;
    // The stamp at the start of a payload, if there is one.
    static std::optional<FrameStamp> read(const uint8_t* payload, size_t payloadSize);
};

} // namespace usbsdk::emulator
