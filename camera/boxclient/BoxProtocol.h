#pragma once
// Wire format of the wireless box protocol, version 1 (docs/box-protocol.md).
// Shared by the client library, the box simulator and the fuzz target. Every
// decoder treats its input as hostile: lengths are checked before use and
// nothing is allocated from a field that was not checked against a limit.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace boxproto {

constexpr uint8_t kMagic[4] = {'P', 'L', 'B', 'X'};
constexpr uint8_t kVersion = 1;
constexpr uint16_t kDefaultDiscoveryPort = 48620;
constexpr uint16_t kDefaultSessionPort = 48621;

constexpr size_t kHeaderSize = 16;
// Largest payload a peer may announce: a 4096 × 2048 YUYV frame plus its record.
constexpr uint32_t kMaxPayload = 16u * 1024u * 1024u + 64u;
constexpr int kMaxDimension = 8192;
constexpr size_t kMaxAccessCode = 32;
constexpr size_t kNameSize = 20;
constexpr size_t kAbilityResolutions = 12;
constexpr size_t kAbilityFormats = 4;
constexpr size_t kControlFields = 8;

enum class MsgType : uint8_t {
    Hello = 0x01,
    VideoBegin = 0x02,
    VideoEnd = 0x03,
    GetAbility = 0x04,
    GetResolu = 0x05,
    SetResolu = 0x06,
    GetFormat = 0x07,
    SetFormat = 0x08,
    GetCtrl = 0x09,
    SetCtrl = 0x0A,
    Snapshot = 0x0B,
    Bye = 0x0C,
    VideoFrame = 0x40,
    Picture = 0x41,
};
constexpr uint8_t kResponseBit = 0x80;

// Status word that heads every response.
enum Status : int32_t {
    kStatusOk = 0,
    kStatusBadRequest = 1,
    kStatusUnsupported = 2,
    kStatusAccessDenied = 3,
    kStatusBadValue = 4,
    kStatusNotStreaming = 5,
};

// Box formats.
enum BoxFormat : int32_t { kBoxFormatYUYV = 1, kBoxFormatMJPEG = 2, kBoxFormatH264 = 3 };

struct Header {
    uint8_t type = 0;
    uint32_t seq = 0;
    uint32_t length = 0;
};

enum class HeaderError { None, BadMagic, BadVersion, BadFlags, TooLong };

HeaderError parseHeader(std::span<const uint8_t, kHeaderSize> bytes, Header& out);
void writeHeader(uint8_t* out, const Header& header);

// Little-endian field access.
void putI32(std::vector<uint8_t>& out, int32_t v);
void putU32(std::vector<uint8_t>& out, uint32_t v);
uint32_t getU32(const uint8_t* p);
int32_t getI32(const uint8_t* p);

// A whole message: header followed by the payload.
std::vector<uint8_t> buildMessage(uint8_t type, uint32_t seq, std::span<const uint8_t> payload);
std::vector<uint8_t> buildMessage(uint8_t type, uint32_t seq, std::span<const int32_t> fields);

// Number of int32 fields after the status word in the response to `request`;
// -1 for a type that has no response.
int responseFieldCount(uint8_t requestType);
// Number of int32 fields a request of this type carries; -1 for Hello (which
// carries an access code) and for unknown types.
int requestFieldCount(uint8_t requestType);

// ---- frames (VideoFrame and Picture payloads) ----
constexpr size_t kFrameFieldsSize = 20; // format, resolu, frameNo, timestamp, length
struct FrameView {
    int32_t format = 0;
    int32_t resolu = 0;
    uint32_t frameNo = 0;
    uint32_t timestampMs = 0;
    std::span<const uint8_t> data;
};
std::vector<uint8_t> buildFramePayload(int32_t format, int32_t resolu, uint32_t frameNo, uint32_t timestampMs,
                                       std::span<const uint8_t> data);
// Checks the inner length against the payload and, for uncompressed formats,
// the byte count against the resolution. False drops the frame.
bool parseFrame(std::span<const uint8_t> payload, FrameView& out);

// ---- messages a client receives ----
struct Inbound {
    enum class Kind { Response, VideoFrame, Picture } kind = Kind::Response;
    uint8_t requestType = 0; // for responses: the request answered
    uint32_t seq = 0;
    int32_t status = 0;
    std::vector<int32_t> fields; // response fields after the status
    FrameView frame;             // for frames; points into the payload
};
enum class InboundError { None, UnknownType, BadLength, BadFrame };
InboundError decodeInbound(const Header& header, std::span<const uint8_t> payload, Inbound& out);

// ---- requests a box receives ----
struct Request {
    uint8_t type = 0;
    uint32_t seq = 0;
    std::string accessCode;      // Hello
    std::vector<int32_t> fields; // all other requests
};
bool decodeRequest(const Header& header, std::span<const uint8_t> payload, Request& out);
std::vector<uint8_t> buildHello(uint32_t seq, const char* accessCode);

// ---- resolution codes: width in the high 16 bits, height in the low 16 ----
int32_t groupResolu(int width, int height);
bool analysisResolu(int32_t code, int& width, int& height);

// ---- discovery (UDP) ----
constexpr size_t kDiscoverRequestSize = 12;
constexpr size_t kDiscoverReplySize = 40;
constexpr uint8_t kDiscoverRequest = 0x10;
constexpr uint8_t kDiscoverReply = 0x90;
struct DiscoverReply {
    uint32_t nonce = 0;
    int32_t value = 0;
    uint16_t sessionPort = 0;
    std::string name; // at most kNameSize - 1 bytes
};
std::vector<uint8_t> buildDiscoverRequest(uint32_t nonce);
std::optional<uint32_t> parseDiscoverRequest(std::span<const uint8_t> bytes);
std::vector<uint8_t> buildDiscoverReply(const DiscoverReply& reply);
std::optional<DiscoverReply> parseDiscoverReply(std::span<const uint8_t> bytes);

} // namespace boxproto
