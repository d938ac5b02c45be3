#pragma once
// The register protocol on the wire: commands on endpoint 0x01, acknowledgements
// on 0x81, little-endian, in the USB3 Vision command/acknowledge framing.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace usbsdk::protocol {

constexpr uint32_t kPrefix = 0x43563355; // "U3VC"
constexpr uint16_t kFlagAckRequested = 0x4000;
constexpr uint16_t kCmdRead = 0x0800;
constexpr uint16_t kAckRead = 0x0801;
constexpr uint16_t kCmdWrite = 0x0802;
constexpr uint16_t kAckWrite = 0x0803;
constexpr size_t kHeaderSize = 12;
constexpr size_t kAckSize = 16;
constexpr size_t kBigBlockLength = 8192;

enum class Kind { SingleRead, SingleWrite, BlockRead, BlockWrite };

// Bytes a block read returns for `address`: 8192 for 0x6480 and 0x6490, else 4.
uint32_t blockReadLength(uint16_t address);

std::vector<uint8_t> singleRead(uint16_t requestId, uint32_t reg);
std::vector<uint8_t> singleWrite(uint16_t requestId, uint32_t reg, int32_t value);
std::vector<uint8_t> blockRead(uint16_t requestId, uint16_t address);
std::vector<uint8_t> blockWrite(uint16_t requestId, uint16_t address, std::span<const uint8_t> data);

struct AckHeader {
    uint32_t prefix;
    uint16_t status;
    uint16_t code;
    uint16_t length;
    uint16_t requestId;
};
AckHeader parseAckHeader(std::span<const uint8_t> ack);

// True when `ack` carries the prefix, status 0, an acknowledgement code that
// answers `kind`, and `requestId`. Block reads accept the read code as well as
// the write code: cameras answer a read command with either.
bool ackMatches(std::span<const uint8_t> ack, Kind kind, uint16_t requestId);

// Little-endian helpers shared with the emulator.
inline void put16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t get32(const uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

} // namespace usbsdk::protocol
