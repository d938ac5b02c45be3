#pragma once
// The camera's registers with their ranges, and its block memory.
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace usbsdk::emulator {

namespace reg {
constexpr uint32_t kExposureMode = 0x1100;   // 3 automatic, 0 manual
constexpr uint32_t kExposureTarget = 0x1104; // automatic-exposure target
constexpr uint32_t kGain = 0x1140;
constexpr uint32_t kRoiX = 0x1220;
constexpr uint32_t kRoiY = 0x1224;
constexpr uint32_t kRoiWidth = 0x1228;
constexpr uint32_t kRoiHeight = 0x122C;
constexpr uint32_t kWhiteBalanceMode = 0x1300; // 1 automatic, 0 manual, 2 one-shot
constexpr uint32_t kWbRed = 0x1310;
constexpr uint32_t kWbGreen = 0x1314;
constexpr uint32_t kWbBlue = 0x1318;
constexpr uint32_t kExposureTime = 0x1404;
constexpr uint32_t kNoiseReduction = 0x2024;
constexpr uint32_t kSharpness = 0x2030; // low 4 bits; the top two bits are write flags
constexpr uint32_t kContrast = 0x2100;
constexpr uint32_t kSaturation = 0x2104;
} // namespace reg

// Acknowledgement status codes of a register command.
constexpr uint16_t kStatusOk = 0;
constexpr uint16_t kStatusNotImplemented = 0x8001;
constexpr uint16_t kStatusInvalidParameter = 0x8002;

class RegisterFile {
public:
    RegisterFile(uint32_t width, uint32_t height);

    // Status of the access; the value on success.
    uint16_t read(uint32_t address, int32_t& value) const;
    uint16_t write(uint32_t address, int32_t value);
    int32_t value(uint32_t address) const;
    bool has(uint32_t address) const { return registers_.count(address) != 0; }
    std::vector<uint32_t> addresses() const;

    // Block memory: 16-bit addresses, reads may run 8192 bytes past the top.
    std::vector<uint8_t> readBlock(uint16_t address, size_t length) const;
    size_t writeBlock(uint16_t address, const uint8_t* data, size_t length);

private:
    struct Register {
        int32_t min, max, value;
        bool rawBits; // value is stored as written; range applies to the low nibble
    };
    std::map<uint32_t, Register> registers_;
    std::vector<uint8_t> block_;
};

} // namespace usbsdk::emulator
