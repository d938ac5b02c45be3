// Reassembly and the ring, fed with transfer sequences directly.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "usbsdk/sdk/FrameAssembler.h"
#include "usbsdk/sdk/FrameRing.h"
#include "usbsdk/sdk/Protocol.h"
#include "usbsdk/sdk/StreamFormat.h"

namespace usbsdk {
namespace {

std::vector<uint8_t> leader(uint32_t width, uint32_t height, uint32_t format = stream::kPixelFormatYuv422,
                            uint64_t block = 1)
{
    std::vector<uint8_t> l(52, 0);
    protocol::put32(&l[0], stream::kLeaderMagic);
    protocol::put16(&l[6], 52);
    protocol::put32(&l[8], static_cast<uint32_t>(block));
    protocol::put32(&l[28], format);
    protocol::put32(&l[32], width);
    protocol::put32(&l[36], height);
    return l;
}

class FrameAssemblerTest : public ::testing::Test {
protected:
    FrameRing ring;
    FrameAssembler assembler{ring, 4096};

    void feed(const std::vector<uint8_t>& bytes) { assembler.onTransfer(bytes.data(), bytes.size()); }
    // Sends a whole frame: leader, payload in stream chunks, trailer.
    void sendFrame(uint32_t width, uint32_t height, size_t payloadBytes, uint8_t fill, uint64_t block = 1)
    {
        feed(leader(width, height, stream::kPixelFormatYuv422, block));
        std::vector<uint8_t> chunk;
        for (size_t sent = 0; sent < payloadBytes;) {
            const size_t n = std::min(stream::kChunkSize, payloadBytes - sent);
            chunk.assign(n, fill);
            feed(chunk);
            sent += n;
        }
        feed(std::vector<uint8_t>(32, 0));
    }
    bool takeOne(std::vector<uint8_t>& out)
    {
        FrameRing::Frame f{};
        if (!ring.take(f))
            return false;
        out.assign(f.data, f.data + f.size);
        ring.release();
        return true;
    }
};

TEST_F(FrameAssemblerTest, FullHdFrameInChunksIsStoredWhole)
{
    sendFrame(1920, 1080, 1920 * 1080 * 2, 0x77);
    EXPECT_EQ(ring.framesCompleted(), 1);
    EXPECT_EQ(assembler.geometry().frameSize, 4147252u);
    EXPECT_EQ(ring.slotSize(), FrameRing::kInitialSlotSize);
    std::vector<uint8_t> frame;
    ASSERT_TRUE(takeOne(frame));
    ASSERT_EQ(frame.size(), 4147252u);
    EXPECT_EQ(frame[52], 0x77);
    EXPECT_EQ(frame.back(), 0x77);
    EXPECT_EQ(std::memcmp(frame.data(), leader(1920, 1080).data(), 52), 0);
}

TEST_F(FrameAssemblerTest, BigFramesGrowTheSlotInSteps)
{
    sendFrame(2592, 1944, 2592 * 1944 * 2, 0x11);
    EXPECT_EQ(ring.slotSize(), 0x9C0000u);
    EXPECT_EQ(ring.framesCompleted(), 1);
    std::vector<uint8_t> frame;
    ASSERT_TRUE(takeOne(frame));
    EXPECT_EQ(frame.size(), 10077748u);
}

TEST_F(FrameAssemblerTest, FramesBeyondTheCapAreRefusedAndTheRingKept)
{
    sendFrame(64, 8, 64 * 8 * 2, 1);
    feed(leader(4096, 4096)); // 32 MiB + 52 bytes: one step past the cap
    feed(std::vector<uint8_t>(1000, 2));
    feed(std::vector<uint8_t>(32, 0));
    EXPECT_EQ(ring.framesCompleted(), 1);
    EXPECT_TRUE(ring.valid());
    EXPECT_EQ(assembler.geometry().width, 64u);
    sendFrame(64, 8, 64 * 8 * 2, 3);
    EXPECT_EQ(ring.framesCompleted(), 2);
}

TEST_F(FrameAssemblerTest, ShortOrLongPayloadsAreDiscarded)
{
    sendFrame(16, 4, 16 * 4 * 2 - 2, 1);
    sendFrame(16, 4, 16 * 4 * 2 + 2, 1);
    EXPECT_EQ(ring.framesCompleted(), 0);
    EXPECT_EQ(ring.framesDropped(), 0);
    sendFrame(16, 4, 16 * 4 * 2, 1);
    EXPECT_EQ(ring.framesCompleted(), 1);
}

TEST_F(FrameAssemblerTest, PayloadWithoutLeaderIsIgnored)
{
    feed(std::vector<uint8_t>(128, 9));
    feed(std::vector<uint8_t>(32, 0));
    EXPECT_EQ(ring.framesCompleted(), 0);
    // A leader with a wrong size field is no leader.
    auto bad = leader(16, 4);
    bad[6] = 51;
    feed(bad);
    feed(std::vector<uint8_t>(128, 9));
    feed(std::vector<uint8_t>(32, 0));
    EXPECT_EQ(ring.framesCompleted(), 0);
}

TEST_F(FrameAssemblerTest, ARefusedLeaderEndsTheFrameInProgress)
{
    feed(leader(16, 4));
    feed(std::vector<uint8_t>(64, 1));
    feed(leader(0, 4));
    feed(std::vector<uint8_t>(64, 1));
    feed(std::vector<uint8_t>(32, 0));
    EXPECT_EQ(ring.framesCompleted(), 0);
}

TEST_F(FrameAssemblerTest, APayloadChunkOfLeaderLengthIsPayload)
{
    // 26 x 1 pixels = 52 payload bytes, exactly a leader's length.
    sendFrame(26, 1, 52, 0x42);
    EXPECT_EQ(ring.framesCompleted(), 1);
}

TEST_F(FrameAssemblerTest, APayloadChunkOfTrailerLengthIsPayload)
{
    sendFrame(8, 2, 32, 0x42); // 32 payload bytes, then the trailer
    EXPECT_EQ(ring.framesCompleted(), 1);
    // Missing exactly the last 32 bytes: the trailer lands in the payload and
    // the frame never completes.
    feed(leader(8, 4));
    feed(std::vector<uint8_t>(32, 1));
    feed(std::vector<uint8_t>(32, 0)); // trailer, taken as the missing bytes
    sendFrame(8, 2, 32, 0x43);
    EXPECT_EQ(ring.framesCompleted(), 2);
}

TEST_F(FrameAssemblerTest, PixelFormatChangeIsAGeometryChange)
{
    sendFrame(16, 4, 128, 1);
    feed(leader(16, 4, 0x01080001));
    EXPECT_EQ(assembler.geometry().pixelFormat, 0x01080001u);
}

TEST_F(FrameAssemblerTest, RingHoldsThreeFramesAndCountsDrops)
{
    for (uint64_t b = 1; b <= 6; ++b)
        sendFrame(8, 3, 48, static_cast<uint8_t>(b), b);
    EXPECT_EQ(ring.framesCompleted(), 6);
    EXPECT_EQ(ring.framesDropped(), 3);
    std::vector<uint8_t> frame;
    for (uint32_t expected = 1; expected <= 3; ++expected) {
        ASSERT_TRUE(takeOne(frame));
        EXPECT_EQ(protocol::get32(&frame[8]), expected);
    }
    EXPECT_FALSE(takeOne(frame));
}

TEST_F(FrameAssemblerTest, EachStoredFrameKeepsItsOwnSize)
{
    sendFrame(8, 3, 48, 1);
    sendFrame(4, 2, 16, 2); // smaller geometry while the first still waits
    FrameRing::Frame f{};
    ASSERT_TRUE(ring.take(f));
    EXPECT_EQ(f.size, static_cast<int>(stream::frameSize(8, 3)));
    ring.release();
    ASSERT_TRUE(ring.take(f));
    EXPECT_EQ(f.size, static_cast<int>(stream::frameSize(4, 2)));
    ring.release();
}

TEST_F(FrameAssemblerTest, Width4097NeedsTheLargerLimit)
{
    sendFrame(4097, 1, 4097 * 2, 1);
    EXPECT_EQ(ring.framesCompleted(), 0);
    FrameRing bigRing;
    FrameAssembler big(bigRing, 8192);
    auto l = leader(4097, 1);
    big.onTransfer(l.data(), l.size());
    std::vector<uint8_t> payload(4097 * 2, 1), trailer(32, 0);
    big.onTransfer(payload.data(), payload.size());
    big.onTransfer(trailer.data(), trailer.size());
    EXPECT_EQ(bigRing.framesCompleted(), 1);
}

} // namespace
} // namespace usbsdk
