// Reassembly of 1920x1080 frames from 0x40000-byte transfers, next to plain
// memcpy of the same bytes into the same kind of slot.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "usbsdk/sdk/FrameAssembler.h"
#include "usbsdk/sdk/FrameRing.h"
#include "usbsdk/sdk/Protocol.h"
#include "usbsdk/sdk/StreamFormat.h"

using namespace usbsdk;

namespace {

constexpr uint32_t kWidth = 1920, kHeight = 1080;
constexpr size_t kPayload = size_t(kWidth) * kHeight * 2;

struct Transfers {
    std::vector<uint8_t> leader = std::vector<uint8_t>(stream::kLeaderSize, 0);
    std::vector<uint8_t> payload = std::vector<uint8_t>(kPayload, 0x5A);
    std::vector<uint8_t> trailer = std::vector<uint8_t>(stream::kTrailerSize, 0);
    Transfers()
    {
        protocol::put32(&leader[0], stream::kLeaderMagic);
        protocol::put16(&leader[stream::kLeaderSizeOffset], 52);
        protocol::put32(&leader[stream::kPixelFormatOffset], stream::kPixelFormatYuv422);
        protocol::put32(&leader[stream::kWidthOffset], kWidth);
        protocol::put32(&leader[stream::kHeightOffset], kHeight);
    }
};

void BM_MemcpyFrame(benchmark::State& state)
{
    Transfers t;
    std::vector<uint8_t> slot(FrameRing::kInitialSlotSize * FrameRing::kSlotCount);
    size_t slotIndex = 0;
    for (auto _ : state) {
        uint8_t* dst = slot.data() + slotIndex * FrameRing::kInitialSlotSize;
        std::memcpy(dst, t.leader.data(), t.leader.size());
        for (size_t off = 0; off < kPayload; off += stream::kChunkSize)
            std::memcpy(dst + 52 + off, t.payload.data() + off, std::min(stream::kChunkSize, kPayload - off));
        benchmark::DoNotOptimize(dst);
        benchmark::ClobberMemory();
        slotIndex = (slotIndex + 1) % FrameRing::kSlotCount;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPayload + 52));
}
BENCHMARK(BM_MemcpyFrame);

void BM_ReassembleFrame(benchmark::State& state)
{
    Transfers t;
    FrameRing ring;
    FrameAssembler assembler(ring, 4096);
    for (auto _ : state) {
        assembler.onTransfer(t.leader.data(), t.leader.size());
        for (size_t off = 0; off < kPayload; off += stream::kChunkSize)
            assembler.onTransfer(t.payload.data() + off, std::min(stream::kChunkSize, kPayload - off));
        assembler.onTransfer(t.trailer.data(), t.trailer.size());
        FrameRing::Frame f{};
        if (ring.take(f))
            ring.release();
        benchmark::ClobberMemory();
    }
    if (ring.framesCompleted() != static_cast<int>(state.iterations()))
        state.SkipWithError("frames lost");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kPayload + 52));
}
BENCHMARK(BM_ReassembleFrame);

} // namespace

BENCHMARK_MAIN();
