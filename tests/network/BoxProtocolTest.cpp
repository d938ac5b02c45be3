// The box protocol codec on hostile input: every length is checked, frames
// that do not add up are refused, names are bounded.
#include "camera/boxclient/BoxProtocol.h"
#include "camera/boxclient/CHD_WMP.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace boxproto;

namespace {
Header header(const std::vector<uint8_t>& message)
{
    Header h;
    EXPECT_EQ(parseHeader(std::span<const uint8_t, kHeaderSize>(message.data(), kHeaderSize), h), HeaderError::None);
    return h;
}

std::span<const uint8_t> payloadOf(const std::vector<uint8_t>& message)
{
    return std::span<const uint8_t>(message).subspan(kHeaderSize);
}
} // namespace

TEST(BoxProtocol, RecordsHaveTheDocumentedLayout)
{
    EXPECT_EQ(sizeof(CHD_WMP_SCAN_RECORD), 44u);
    EXPECT_EQ(offsetof(CHD_WMP_SCAN_RECORD, name), 4u);
    EXPECT_EQ(offsetof(CHD_WMP_SCAN_RECORD, address), 24u);
    EXPECT_EQ(offsetof(CHD_WMP_FRAME, format), 4u);
    EXPECT_EQ(offsetof(CHD_WMP_FRAME, resolu), 8u);
    EXPECT_EQ(offsetof(CHD_WMP_FRAME, length), 24u);
    EXPECT_EQ(sizeof(CHD_WMP_FRAME), 28u);
}

TEST(BoxProtocol, HeaderRejectsBadMagicVersionFlagsAndLength)
{
    auto message = buildMessage(0x81, 7, std::vector<int32_t>{0});
    Header h;
    auto parse = [&] { return parseHeader(std::span<const uint8_t, kHeaderSize>(message.data(), kHeaderSize), h); };
    EXPECT_EQ(parse(), HeaderError::None);
    EXPECT_EQ(h.seq, 7u);
    EXPECT_EQ(h.length, 4u);

    const auto good = message;
    message[0] = 'X';
    EXPECT_EQ(parse(), HeaderError::BadMagic);
    message = good;
    message[4] = 2;
    EXPECT_EQ(parse(), HeaderError::BadVersion);
    message = good;
    message[6] = 1;
    EXPECT_EQ(parse(), HeaderError::BadFlags);
    message = good;
    // A length just above the limit is refused before anything is allocated.
    const uint32_t tooLong = kMaxPayload + 1;
    std::memcpy(message.data() + 12, &tooLong, 4);
    EXPECT_EQ(parse(), HeaderError::TooLong);
}

TEST(BoxProtocol, ResponsesMustCarryExactlyTheirFields)
{
    auto ok = buildMessage(0x80 | static_cast<uint8_t>(MsgType::GetCtrl), 3,
                           std::vector<int32_t>{0, 1, -64, 5, 64, 0, 0, 0, 0});
    Inbound in;
    ASSERT_EQ(decodeInbound(header(ok), payloadOf(ok), in), InboundError::None);
    EXPECT_EQ(in.requestType, static_cast<uint8_t>(MsgType::GetCtrl));
    ASSERT_EQ(in.fields.size(), 8u);
    EXPECT_EQ(in.fields[1], -64);

    auto shortOne = buildMessage(0x80 | static_cast<uint8_t>(MsgType::GetCtrl), 3, std::vector<int32_t>{0, 1, 2});
    EXPECT_EQ(decodeInbound(header(shortOne), payloadOf(shortOne), in), InboundError::BadLength);
    auto empty = buildMessage(0x80 | static_cast<uint8_t>(MsgType::GetFormat), 3, std::span<const uint8_t>());
    EXPECT_EQ(decodeInbound(header(empty), payloadOf(empty), in), InboundError::BadLength);
    // A refusal is the status word alone.
    auto refused = buildMessage(0x80 | static_cast<uint8_t>(MsgType::GetCtrl), 3, std::vector<int32_t>{4});
    ASSERT_EQ(decodeInbound(header(refused), payloadOf(refused), in), InboundError::None);
    EXPECT_EQ(in.status, 4);
    auto unknown = buildMessage(0x80 | 0x3F, 3, std::vector<int32_t>{0});
    EXPECT_EQ(decodeInbound(header(unknown), payloadOf(unknown), in), InboundError::UnknownType);
}

TEST(BoxProtocol, FramesThatDoNotAddUpAreRefused)
{
    const std::vector<uint8_t> yuyv(8 * 4 * 2, 0x80);
    FrameView frame;
    auto payload = buildFramePayload(kBoxFormatYUYV, groupResolu(8, 4), 1, 2, yuyv);
    ASSERT_TRUE(parseFrame(payload, frame));
    EXPECT_EQ(frame.data.size(), yuyv.size());

    // YUYV with one byte too few for its resolution.
    auto truncated =
        buildFramePayload(kBoxFormatYUYV, groupResolu(8, 4), 1, 2, std::vector<uint8_t>(yuyv.begin(), yuyv.end() - 1));
    EXPECT_FALSE(parseFrame(truncated, frame));
    // Inner length larger than what was sent.
    auto lying = payload;
    lying[16] = 0xFF;
    EXPECT_FALSE(parseFrame(lying, frame));
    // No resolution, or an absurd one.
    EXPECT_FALSE(parseFrame(buildFramePayload(kBoxFormatMJPEG, 0, 1, 2, yuyv), frame));
    EXPECT_FALSE(parseFrame(buildFramePayload(kBoxFormatMJPEG, static_cast<int32_t>(0x7FFF7FFF), 1, 2, yuyv), frame));
    // Compressed frames only need a consistent length.
    EXPECT_TRUE(parseFrame(buildFramePayload(kBoxFormatMJPEG, groupResolu(640, 480), 1, 2, yuyv), frame));
    EXPECT_FALSE(parseFrame(std::span<const uint8_t>(payload.data(), 19), frame));
}

TEST(BoxProtocol, ResolutionCodesRoundTripAndRejectNonsense)
{
    int w = 0, h = 0;
    EXPECT_EQ(CHD_Video_AnalysisResolu(CHD_Video_GroupResolu(1920, 1080), &w, &h), CHD_OK);
    EXPECT_EQ(w, 1920);
    EXPECT_EQ(h, 1080);
    EXPECT_EQ(CHD_Video_GroupResolu(0, 480), 0);
    EXPECT_EQ(CHD_Video_GroupResolu(-640, 480), 0);
    EXPECT_EQ(CHD_Video_GroupResolu(9000, 480), 0);
    EXPECT_NE(CHD_Video_AnalysisResolu(0, &w, &h), CHD_OK);
    EXPECT_NE(CHD_Video_AnalysisResolu(CHD_Video_GroupResolu(640, 480), nullptr, &h), CHD_OK);
}

TEST(BoxProtocol, DiscoveryRepliesAreCheckedAndNamesBounded)
{
    DiscoverReply reply;
    reply.nonce = 0xABCD;
    reply.value = 3;
    reply.sessionPort = 5000;
    reply.name = "Bench box";
    auto bytes = buildDiscoverReply(reply);
    auto parsed = parseDiscoverReply(bytes);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->nonce, 0xABCDu);
    EXPECT_EQ(parsed->value, 3);
    EXPECT_EQ(parsed->name, "Bench box");

    // A name that fills its 20 bytes without a terminator is cut to 19.
    std::memset(bytes.data() + 20, 'N', 20);
    parsed = parseDiscoverReply(bytes);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->name, std::string(19, 'N'));

    EXPECT_FALSE(parseDiscoverReply(std::span<const uint8_t>(bytes.data(), bytes.size() - 1)));
    auto noPort = buildDiscoverReply(DiscoverReply{1, 1, 0, "x"});
    EXPECT_FALSE(parseDiscoverReply(noPort));
    EXPECT_FALSE(parseDiscoverRequest(bytes));
    EXPECT_EQ(parseDiscoverRequest(buildDiscoverRequest(99)).value_or(0), 99u);
}

TEST(BoxProtocol, RequestsAreCheckedByType)
{
    Request request;
    auto hello = buildHello(1, "vemra");
    ASSERT_TRUE(decodeRequest(header(hello), payloadOf(hello), request));
    EXPECT_EQ(request.accessCode, "vemra");
    auto none = buildHello(1, nullptr);
    ASSERT_TRUE(decodeRequest(header(none), payloadOf(none), request));
    EXPECT_EQ(request.accessCode, "");
    // The code's length byte must match what follows.
    auto lying = hello;
    lying[kHeaderSize] = 30;
    EXPECT_FALSE(decodeRequest(header(lying), payloadOf(lying), request));

    auto setCtrl = buildMessage(static_cast<uint8_t>(MsgType::SetCtrl), 2, std::vector<int32_t>(9, 1));
    EXPECT_TRUE(decodeRequest(header(setCtrl), payloadOf(setCtrl), request));
    auto shortCtrl = buildMessage(static_cast<uint8_t>(MsgType::SetCtrl), 2, std::vector<int32_t>(8, 1));
    EXPECT_FALSE(decodeRequest(header(shortCtrl), payloadOf(shortCtrl), request));
}
