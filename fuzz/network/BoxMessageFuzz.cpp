// Feeds arbitrary bytes to every decoder of the box protocol that reads
// network input: the session header, client-side messages, box-side requests
// and discovery datagrams.
#include "camera/boxclient/BoxProtocol.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    boxproto::parseDiscoverReply(bytes);
    boxproto::parseDiscoverRequest(bytes);
    if (size < boxproto::kHeaderSize)
        return 0;
    boxproto::Header header;
    if (boxproto::parseHeader(std::span<const uint8_t, boxproto::kHeaderSize>(data, boxproto::kHeaderSize), header) !=
        boxproto::HeaderError::None)
        return 0;
    // The payload is what follows, whatever the header claims: the decoders
    // must cope with either.
    const auto payload = bytes.subspan(boxproto::kHeaderSize);
    boxproto::Inbound inbound;
    if (boxproto::decodeInbound(header, payload, inbound) == boxproto::InboundError::None &&
        inbound.kind != boxproto::Inbound::Kind::Response) {
        // A frame that passed must lie inside the payload.
        volatile uint8_t sink = 0;
        for (uint8_t b : inbound.frame.data)
            sink = sink + b;
    }
    boxproto::Request request;
    boxproto::decodeRequest(header, payload, request);
    return 0;
}
