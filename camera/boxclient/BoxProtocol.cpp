#include "camera/boxclient/BoxProtocol.h"

#include <cstring>

namespace boxproto {

namespace {
bool hasMagic(const uint8_t* p) { return std::memcmp(p, kMagic, sizeof kMagic) == 0; }

uint16_t getU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

void putU16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void putHeaderStart(std::vector<uint8_t>& out, uint8_t type)
{
    out.insert(out.end(), kMagic, kMagic + sizeof kMagic);
    out.push_back(kVersion);
    out.push_back(type);
    putU16(out, 0);
}
} // namespace

void putU32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void putI32(std::vector<uint8_t>& out, int32_t v) { putU32(out, static_cast<uint32_t>(v)); }

uint32_t getU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

int32_t getI32(const uint8_t* p) { return static_cast<int32_t>(getU32(p)); }

HeaderError parseHeader(std::span<const uint8_t, kHeaderSize> bytes, Header& out)
{
    const uint8_t* p = bytes.data();
    if (!hasMagic(p))
        return HeaderError::BadMagic;
    if (p[4] != kVersion)
        return HeaderError::BadVersion;
    if (getU16(p + 6) != 0)
        return HeaderError::BadFlags;
    out.type = p[5];
    out.seq = getU32(p + 8);
    out.length = getU32(p + 12);
    if (out.length > kMaxPayload)
        return HeaderError::TooLong;
    return HeaderError::None;
}

void writeHeader(uint8_t* out, const Header& header)
{
    std::vector<uint8_t> bytes;
    bytes.reserve(kHeaderSize);
    putHeaderStart(bytes, header.type);
    putU32(bytes, header.seq);
    putU32(bytes, header.length);
    std::memcpy(out, bytes.data(), kHeaderSize);
}

std::vector<uint8_t> buildMessage(uint8_t type, uint32_t seq, std::span<const uint8_t> payload)
{
    std::vector<uint8_t> out;
    out.reserve(kHeaderSize + payload.size());
    putHeaderStart(out, type);
    putU32(out, seq);
    putU32(out, static_cast<uint32_t>(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

std::vector<uint8_t> buildMessage(uint8_t type, uint32_t seq, std::span<const int32_t> fields)
{
    std::vector<uint8_t> payload;
    payload.reserve(fields.size() * 4);
    for (int32_t v : fields)
        putI32(payload, v);
    return buildMessage(type, seq, payload);
}

int responseFieldCount(uint8_t requestType)
{
    switch (static_cast<MsgType>(requestType)) {
    case MsgType::Hello:
    case MsgType::VideoBegin:
    case MsgType::VideoEnd:
    case MsgType::SetResolu:
    case MsgType::SetFormat:
    case MsgType::SetCtrl:
    case MsgType::Snapshot:
    case MsgType::Bye: return 0;
    case MsgType::GetAbility: return static_cast<int>(kAbilityResolutions + kAbilityFormats);
    case MsgType::GetResolu:
    case MsgType::GetFormat: return 1;
    case MsgType::GetCtrl: return static_cast<int>(kControlFields);
    default: return -1;
    }
}

int requestFieldCount(uint8_t requestType)
{
    switch (static_cast<MsgType>(requestType)) {
    case MsgType::VideoBegin:
    case MsgType::VideoEnd:
    case MsgType::GetAbility:
    case MsgType::GetResolu:
    case MsgType::GetFormat:
    case MsgType::Bye: return 0;
    case MsgType::SetFormat:
    case MsgType::GetCtrl: return 1;
    case MsgType::SetResolu:
    case MsgType::Snapshot: return 3;
    case MsgType::SetCtrl: return 1 + static_cast<int>(kControlFields);
    default: return -1;
    }
}

std::vector<uint8_t> buildFramePayload(int32_t format, int32_t resolu, uint32_t frameNo, uint32_t timestampMs,
                                       std::span<const uint8_t> data)
{
    std::vector<uint8_t> out;
    out.reserve(kFrameFieldsSize + data.size());
    putI32(out, format);
    putI32(out, resolu);
    putU32(out, frameNo);
    putU32(out, timestampMs);
    putU32(out, static_cast<uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

bool parseFrame(std::span<const uint8_t> payload, FrameView& out)
{
    if (payload.size() < kFrameFieldsSize)
        return false;
    const uint8_t* p = payload.data();
    const uint32_t length = getU32(p + 16);
    if (length != payload.size() - kFrameFieldsSize || length == 0)
        return false;
    int width = 0, height = 0;
    if (!analysisResolu(getI32(p + 4), width, height))
        return false;
    const int32_t format = getI32(p);
    // An uncompressed frame must hold exactly the pixels its resolution names,
    // or a consumer would read past its end.
    if (format == kBoxFormatYUYV && static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 2u != length)
        return false;
    out.format = format;
    out.resolu = getI32(p + 4);
    out.frameNo = getU32(p + 8);
    out.timestampMs = getU32(p + 12);
    out.data = payload.subspan(kFrameFieldsSize);
    return true;
}

InboundError decodeInbound(const Header& header, std::span<const uint8_t> payload, Inbound& out)
{
    out = Inbound{};
    out.seq = header.seq;
    if (header.type == static_cast<uint8_t>(MsgType::VideoFrame) ||
        header.type == static_cast<uint8_t>(MsgType::Picture)) {
        out.kind =
            header.type == static_cast<uint8_t>(MsgType::Picture) ? Inbound::Kind::Picture : Inbound::Kind::VideoFrame;
        return parseFrame(payload, out.frame) ? InboundError::None : InboundError::BadFrame;
    }
    if (!(header.type & kResponseBit))
        return InboundError::UnknownType;
    const uint8_t request = static_cast<uint8_t>(header.type & ~kResponseBit);
    const int count = responseFieldCount(request);
    if (count < 0)
        return InboundError::UnknownType;
    // Known as a response before its length is judged: a malformed answer
    // still fails the request it answers instead of leaving it waiting.
    out.kind = Inbound::Kind::Response;
    out.requestType = request;
    // A failed request carries the status word only.
    if (payload.size() < 4)
        return InboundError::BadLength;
    out.status = getI32(payload.data());
    const size_t expected = 4 + static_cast<size_t>(count) * 4;
    if (out.status != kStatusOk) {
        if (payload.size() != 4)
            return InboundError::BadLength;
        return InboundError::None;
    }
    if (payload.size() != expected)
        return InboundError::BadLength;
    out.fields.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        out.fields.push_back(getI32(payload.data() + 4 + 4 * i));
    return InboundError::None;
}

bool decodeRequest(const Header& header, std::span<const uint8_t> payload, Request& out)
{
    out = Request{};
    out.type = header.type;
    out.seq = header.seq;
    if (header.type == static_cast<uint8_t>(MsgType::Hello)) {
        if (payload.empty() || payload[0] > kMaxAccessCode || payload.size() != 1u + payload[0])
            return false;
        out.accessCode.assign(reinterpret_cast<const char*>(payload.data() + 1), payload[0]);
        return true;
    }
    const int count = requestFieldCount(header.type);
    if (count < 0 || payload.size() != static_cast<size_t>(count) * 4)
        return false;
    for (int i = 0; i < count; ++i)
        out.fields.push_back(getI32(payload.data() + 4 * i));
    return true;
}

std::vector<uint8_t> buildHello(uint32_t seq, const char* accessCode)
{
    const size_t length = accessCode ? strnlen(accessCode, kMaxAccessCode + 1) : 0;
    std::vector<uint8_t> payload;
    const size_t used = length > kMaxAccessCode ? kMaxAccessCode : length;
    payload.push_back(static_cast<uint8_t>(used));
    payload.insert(payload.end(), accessCode, accessCode + used);
    return buildMessage(static_cast<uint8_t>(MsgType::Hello), seq, payload);
}

int32_t groupResolu(int width, int height)
{
    if (width <= 0 || height <= 0 || width > kMaxDimension || height > kMaxDimension)
        return 0;
    return static_cast<int32_t>((static_cast<uint32_t>(width) << 16) | static_cast<uint32_t>(height));
}

bool analysisResolu(int32_t code, int& width, int& height)
{
    const auto bits = static_cast<uint32_t>(code);
    const int w = static_cast<int>(bits >> 16);
    const int h = static_cast<int>(bits & 0xFFFF);
    if (w <= 0 || h <= 0 || w > kMaxDimension || h > kMaxDimension)
        return false;
    width = w;
    height = h;
    return true;
}

std::vector<uint8_t> buildDiscoverRequest(uint32_t nonce)
{
    std::vector<uint8_t> out;
    putHeaderStart(out, kDiscoverRequest);
    putU32(out, nonce);
    return out;
}

std::optional<uint32_t> parseDiscoverRequest(std::span<const uint8_t> bytes)
{
    if (bytes.size() != kDiscoverRequestSize || !hasMagic(bytes.data()) || bytes[4] != kVersion ||
        bytes[5] != kDiscoverRequest)
        return std::nullopt;
    return getU32(bytes.data() + 8);
}

std::vector<uint8_t> buildDiscoverReply(const DiscoverReply& reply)
{
    std::vector<uint8_t> out;
    putHeaderStart(out, kDiscoverReply);
    putU32(out, reply.nonce);
    putI32(out, reply.value);
    putU16(out, reply.sessionPort);
    putU16(out, 0);
    char name[kNameSize] = {};
    std::memcpy(name, reply.name.data(), reply.name.size() < kNameSize ? reply.name.size() : kNameSize - 1);
    out.insert(out.end(), name, name + kNameSize);
    return out;
}

std::optional<DiscoverReply> parseDiscoverReply(std::span<const uint8_t> bytes)
{
    if (bytes.size() != kDiscoverReplySize || !hasMagic(bytes.data()) || bytes[4] != kVersion ||
        bytes[5] != kDiscoverReply)
        return std::nullopt;
    DiscoverReply reply;
    const uint8_t* p = bytes.data();
    reply.nonce = getU32(p + 8);
    reply.value = getI32(p + 12);
    reply.sessionPort = getU16(p + 16);
    if (reply.sessionPort == 0)
        return std::nullopt;
    // The name need not be terminated on the wire; it never exceeds 19 bytes here.
    const char* name = reinterpret_cast<const char*>(p + 20);
    reply.name.assign(name, strnlen(name, kNameSize - 1));
    return reply;
}

} // namespace boxproto
