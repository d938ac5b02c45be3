#include "usbsdk/sdk/Protocol.h"

namespace usbsdk::protocol {
namespace {

std::vector<uint8_t> header(uint16_t command, uint16_t payloadLength, uint16_t requestId, size_t total)
{
    std::vector<uint8_t> b(total, 0);
    put32(&b[0], kPrefix);
    put16(&b[4], kFlagAckRequested);
    put16(&b[6], command);
    put16(&b[8], payloadLength);
    put16(&b[10], requestId);
    return b;
}

// Block addresses travel in network byte order in the first two bytes.
void putBlockAddress(uint8_t* p, uint16_t address)
{
    p[0] = static_cast<uint8_t>(address >> 8);
    p[1] = static_cast<uint8_t>(address);
    p[2] = p[3] = 0;
}

} // namespace

uint32_t blockReadLength(uint16_t address) { return (address == 0x6480 || address == 0x6490) ? kBigBlockLength : 4; }

std::vector<uint8_t> singleRead(uint16_t requestId, uint32_t reg)
{
    auto b = header(kCmdRead, 12, requestId, 24);
    put32(&b[12], reg);
    put32(&b[16], 8);
    put32(&b[20], 4);
    return b;
}

std::vector<uint8_t> singleWrite(uint16_t requestId, uint32_t reg, int32_t value)
{
    auto b = header(kCmdWrite, 12, requestId, 24);
    put32(&b[12], reg);
    put32(&b[16], 8);
    put32(&b[20], static_cast<uint32_t>(value));
    return b;
}

std::vector<uint8_t> blockRead(uint16_t requestId, uint16_t address)
{
    auto b = header(kCmdRead, 8, requestId, 24);
    putBlockAddress(&b[12], address);
    put32(&b[16], 8);
    put32(&b[20], blockReadLength(address));
    return b;
}

std::vector<uint8_t> blockWrite(uint16_t requestId, uint16_t address, std::span<const uint8_t> data)
{
    auto b = header(kCmdWrite, static_cast<uint16_t>(data.size() + 8), requestId, data.size() + 20);
    putBlockAddress(&b[12], address);
    put32(&b[16], 8);
    std::copy(data.begin(), data.end(), b.begin() + 20);
    return b;
}

AckHeader parseAckHeader(std::span<const uint8_t> ack)
{
    AckHeader h{};
    if (ack.size() < kHeaderSize)
        return h;
    h.prefix = get32(&ack[0]);
    h.status = get16(&ack[4]);
    h.code = get16(&ack[6]);
    h.length = get16(&ack[8]);
    h.requestId = get16(&ack[10]);
    return h;
}

bool ackMatches(std::span<const uint8_t> ack, Kind kind, uint16_t requestId)
{
    if (ack.size() < kHeaderSize)
        return false;
    const AckHeader h = parseAckHeader(ack);
    if (h.prefix != kPrefix || h.status != 0 || h.requestId != requestId)
        return false;
    switch (kind) {
    case Kind::SingleRead: return h.code == kAckRead;
    case Kind::SingleWrite:
    case Kind::BlockWrite: return h.code == kAckWrite;
    case Kind::BlockRead: return h.code == kAckWrite || h.code == kAckRead;
    }
    return false;
}

} // namespace usbsdk::protocol
