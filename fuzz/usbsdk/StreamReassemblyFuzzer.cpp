// Feeds the frame reassembly with arbitrary transfer sequences, interleaved
// with deliveries, and checks that every delivered frame is whole: it starts
// with a leader whose geometry gives exactly the delivered size.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "usbsdk/sdk/FrameAssembler.h"
#include "usbsdk/sdk/FrameRing.h"
#include "usbsdk/sdk/Protocol.h"
#include "usbsdk/sdk/StreamFormat.h"

using namespace usbsdk;

namespace {

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

void deliverOne(FrameRing& ring)
{
    FrameRing::Frame f{};
    if (!ring.take(f))
        return;
    check(f.size >= static_cast<int>(stream::kLeaderSize));
    check(protocol::get32(f.data) == stream::kLeaderMagic);
    const uint32_t w = protocol::get32(f.data + stream::kWidthOffset);
    const uint32_t h = protocol::get32(f.data + stream::kHeightOffset);
    check(static_cast<size_t>(f.size) == stream::frameSize(w, h));
    check(static_cast<size_t>(f.size) <= ring.slotSize());
    ring.release();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Small slots so that growth and the cap are reached with small inputs.
    FrameRing ring(0x400);
    FrameAssembler assembler(ring, 64);
    std::vector<uint8_t> transfer;
    size_t pos = 0;
    auto next = [&]() -> uint8_t { return pos < size ? data[pos++] : 0; };
    while (pos < size) {
        const uint8_t op = next();
        transfer.clear();
        switch (op % 6) {
        case 0: { // a leader with fuzzed geometry
            transfer.assign(stream::kLeaderSize, 0);
            protocol::put32(&transfer[0], stream::kLeaderMagic);
            protocol::put16(&transfer[stream::kLeaderSizeOffset], next() < 240 ? 52 : next());
            protocol::put32(&transfer[stream::kPixelFormatOffset], next() & 3);
            protocol::put32(&transfer[stream::kWidthOffset], next() | (op & 0x80 ? 0x100u : 0));
            protocol::put32(&transfer[stream::kHeightOffset], next());
            break;
        }
        case 1: transfer.assign(stream::kTrailerSize, next()); break;
        case 2: { // payload of a fuzzed length
            const size_t n = static_cast<size_t>(next()) * 4 + next();
            transfer.assign(n, next());
            break;
        }
        case 3: { // raw bytes as one transfer
            const size_t n = next();
            for (size_t i = 0; i < n && pos < size; ++i)
                transfer.push_back(next());
            break;
        }
        case 4: deliverOne(ring); continue;
        case 5: assembler.restart(); continue;
        }
        assembler.onTransfer(transfer.data(), transfer.size());
        check(ring.framesDropped() <= ring.framesCompleted());
    }
    while (ring.stored() > 0)
        deliverOne(ring);
    return 0;
}
