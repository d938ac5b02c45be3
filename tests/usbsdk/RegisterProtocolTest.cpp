// Register transactions against the emulated camera, including every kind of
// bad acknowledgement it can be made to send.
#include <thread>

#include "SdkTestSupport.h"
#include "usbsdk/emulator/RegisterFile.h"
#include "usbsdk/sdk/Protocol.h"

namespace usbsdk::testing {
namespace {

using emulator::AckFault;

class RegisterProtocolTest : public SdkOverEmulator {
protected:
    std::shared_ptr<emulator::EmulatedCamera> camera;
    void SetUp() override { camera = loginCamera(); }
};

TEST_F(RegisterProtocolTest, WritesAndReadsEveryRegisterOfTheMap)
{
    const std::vector<std::pair<uint32_t, int32_t>> values = {
        {0x1100, 3},   {0x1104, 200}, {0x1140, 360}, {0x1220, 650},
        {0x1224, 490}, {0x1228, 640}, {0x122C, 480}, {0x1300, 1},
        {0x1310, 120}, {0x1314, 7},   {0x1318, 0},   {0x1404, 10},
        {0x2024, 255}, {0x2100, 0},   {0x2104, 51},  {0x2030, static_cast<int32_t>(0xC0000007)}};
    ASSERT_EQ(values.size(), camera->registerAddresses().size());
    for (auto [reg, value] : values) {
        ASSERT_EQ(sdk->setParam(0, reg, value), VEXEL_OK) << std::hex << reg;
        int32_t back = 0;
        ASSERT_EQ(sdk->getParam(0, reg, &back), VEXEL_OK) << std::hex << reg;
        EXPECT_EQ(back, value) << std::hex << reg;
        EXPECT_EQ(camera->registerValue(reg), value);
    }
    EXPECT_EQ(sdk->getCtrlConnectState(0), VEXEL_STATE_RUNNING);
}

TEST_F(RegisterProtocolTest, CameraRefusalsFailTheTransaction)
{
    EXPECT_EQ(sdk->setParam(0, 0x1140, 361), VEXEL_E_TRANSACTION); // out of range
    EXPECT_EQ(sdk->getCtrlConnectState(0), VEXEL_STATE_STOPPED);
    int32_t v = 0;
    EXPECT_EQ(sdk->getParam(0, 0x9999, &v), VEXEL_E_TRANSACTION); // no such register
    EXPECT_EQ(sdk->getParam(0, 0x1140, nullptr), VEXEL_E_ARGUMENT);
    EXPECT_EQ(sdk->setParam(0, 0x1140, 5), VEXEL_OK);
    EXPECT_EQ(sdk->getCtrlConnectState(0), VEXEL_STATE_RUNNING);
}

TEST_F(RegisterProtocolTest, RequestIdsCountFromOneAndWrap)
{
    int32_t v = 0;
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(sdk->getParam(0, 0x1100, &v), VEXEL_OK);
    EXPECT_EQ(camera->requestIds(), (std::vector<uint16_t>{1, 2, 3}));
    // Run the counter up to the wrap.
    for (int i = 3; i < 65535; ++i)
        ASSERT_EQ(sdk->getParam(0, 0x1100, &v), VEXEL_OK);
    ASSERT_EQ(sdk->setParam(0, 0x1140, 9), VEXEL_OK);
    ASSERT_EQ(sdk->getParam(0, 0x1140, &v), VEXEL_OK);
    const auto ids = camera->requestIds();
    ASSERT_EQ(ids.size(), 65537u);
    EXPECT_EQ(ids[65534], 65535);
    EXPECT_EQ(ids[65535], 0);
    EXPECT_EQ(ids[65536], 1);
    EXPECT_EQ(v, 9);
}

TEST_F(RegisterProtocolTest, EachKindOfBadAcknowledgementFails)
{
    for (AckFault fault : {AckFault::WrongPrefix, AckFault::WrongStatus, AckFault::WrongCode, AckFault::StaleRequestId,
                           AckFault::Missing}) {
        ASSERT_EQ(sdk->setParam(0, 0x1140, 1), VEXEL_OK);
        ASSERT_EQ(sdk->getCtrlConnectState(0), VEXEL_STATE_RUNNING);
        camera->corruptNextAcks(fault, 1);
        int32_t v = 0;
        EXPECT_EQ(sdk->getParam(0, 0x1140, &v), VEXEL_E_TRANSACTION) << static_cast<int>(fault);
        EXPECT_EQ(sdk->getCtrlConnectState(0), VEXEL_STATE_STOPPED) << static_cast<int>(fault);
    }
    // The channel recovers with the next command.
    int32_t v = 0;
    EXPECT_EQ(sdk->getParam(0, 0x1140, &v), VEXEL_OK);
    EXPECT_EQ(v, 1);
}

TEST_F(RegisterProtocolTest, ALateAcknowledgementDoesNotPoisonLaterCommands)
{
    camera->setAckDelay(1500); // beyond the SDK's 300 ms
    camera->corruptNextAcks(AckFault::Late, 1);
    EXPECT_EQ(sdk->setParam(0, 0x1140, 3), VEXEL_E_TRANSACTION);
    std::this_thread::sleep_for(std::chrono::milliseconds(1600));
    // The stale acknowledgement is now first in line; it is skipped.
    int32_t v = 0;
    EXPECT_EQ(sdk->getParam(0, 0x1140, &v), VEXEL_OK);
    EXPECT_EQ(v, 3); // the write did reach the camera
    EXPECT_EQ(sdk->setParam(0, 0x1140, 4), VEXEL_OK);
}

TEST_F(RegisterProtocolTest, AnAcknowledgementTooShortForItsValueFails)
{
    int32_t v = 0;
    ASSERT_EQ(sdk->setParam(0, 0x1140, 8), VEXEL_OK); // request id 1
    std::vector<uint8_t> header(12, 0);
    protocol::put32(&header[0], protocol::kPrefix);
    protocol::put16(&header[6], protocol::kAckRead);
    protocol::put16(&header[10], 2);
    camera->replaceNextAck(header);
    v = -1;
    EXPECT_EQ(sdk->getParam(0, 0x1140, &v), VEXEL_E_TRANSACTION);
    EXPECT_EQ(v, -1);
    // The same header with its value is fine.
    header.resize(16);
    protocol::put32(&header[12], 8);
    protocol::put16(&header[10], 3);
    camera->replaceNextAck(header);
    EXPECT_EQ(sdk->getParam(0, 0x1140, &v), VEXEL_OK);
    EXPECT_EQ(v, 8);
}

TEST_F(RegisterProtocolTest, TransportFailuresFailTheTransaction)
{
    camera->failNextTransfers(0x01, 1);
    EXPECT_EQ(sdk->setParam(0, 0x1140, 2), VEXEL_E_TRANSACTION);
    EXPECT_EQ(sdk->getCtrlConnectState(0), VEXEL_STATE_STOPPED);
    EXPECT_EQ(camera->registerValue(0x1140), 0);
    camera->stallNextTransfers(0x81, 1);
    EXPECT_EQ(sdk->setParam(0, 0x1140, 2), VEXEL_E_TRANSACTION);
    EXPECT_EQ(sdk->setParam(0, 0x1140, 6), VEXEL_OK);
    camera->unplug();
    EXPECT_EQ(sdk->setParam(0, 0x1140, 7), VEXEL_E_TRANSACTION);
}

TEST_F(RegisterProtocolTest, BlockReadLengthDependsOnTheAddress)
{
    std::vector<uint8_t> buffer(8192, 0);
    int32_t length = 0;
    ASSERT_EQ(sdk->getBlockParam(0, 0x6480, buffer.data(), &length), VEXEL_OK);
    EXPECT_EQ(length, 8192);
    EXPECT_EQ(buffer, camera->blockMemory(0x6480, 8192));
    ASSERT_EQ(sdk->getBlockParam(0, 0x6490, buffer.data(), &length), VEXEL_OK);
    EXPECT_EQ(length, 8192);
    uint8_t small[4] = {};
    ASSERT_EQ(sdk->getBlockParam(0, 0x0100, small, &length), VEXEL_OK);
    EXPECT_EQ(length, 4);
    EXPECT_EQ(std::vector<uint8_t>(small, small + 4), camera->blockMemory(0x0100, 4));
    EXPECT_EQ(sdk->getBlockParam(0, 0x0100, nullptr, &length), VEXEL_E_ARGUMENT);
    EXPECT_EQ(sdk->getBlockParam(0, 0x0100, small, nullptr), VEXEL_E_ARGUMENT);
}

TEST_F(RegisterProtocolTest, BlockReadAcceptsEitherAcknowledgementCode)
{
    // The default camera answers block reads with the read code; a camera that
    // answers with the write code works too.
    auto other = bus->addCamera([] {
        emulator::EmulatorConfig c;
        c.blockReadAckCode = protocol::kAckWrite;
        return c;
    }());
    CameraInfo info{};
    info.index = 1;
    ASSERT_EQ(sdk->loginCamera(&info), 1);
    uint8_t data[4] = {};
    int32_t length = 0;
    EXPECT_EQ(sdk->getBlockParam(1, 0x0200, data, &length), VEXEL_OK);
    EXPECT_EQ(std::vector<uint8_t>(data, data + 4), other->blockMemory(0x0200, 4));
    camera->corruptNextAcks(AckFault::WrongCode, 1);
    EXPECT_EQ(sdk->getBlockParam(0, 0x0200, data, &length), VEXEL_E_TRANSACTION);
}

TEST_F(RegisterProtocolTest, BlockWriteStoresTheDataAndChecksTheWrittenLength)
{
    std::vector<uint8_t> data(300);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i ^ 0x5A);
    ASSERT_EQ(sdk->setBlockParam(0, 0x1000, data.data(), static_cast<int32_t>(data.size())), VEXEL_OK);
    EXPECT_EQ(camera->blockMemory(0x1000, data.size()), data);
    EXPECT_EQ(sdk->setBlockParam(0, 0x1000, data.data(), 4), VEXEL_E_NO_SESSION);
    EXPECT_EQ(sdk->setBlockParam(0, 0x1000, nullptr, 8), VEXEL_E_NO_SESSION);
    // Near the top of block memory the camera stores less than was sent.
    std::vector<uint8_t> big(9000, 1);
    EXPECT_EQ(sdk->setBlockParam(0, 0xFFF0, big.data(), static_cast<int32_t>(big.size())), VEXEL_E_BLOCK_LENGTH);
    EXPECT_EQ(sdk->getCtrlConnectState(0), VEXEL_STATE_RUNNING);
}

TEST_F(RegisterProtocolTest, ConcurrentCallersNeverInterleaveTransactions)
{
    constexpr int kPerThread = 200;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                const uint32_t reg = t % 2 ? 0x2100 : 0x2104;
                int32_t v = 0;
                if (sdk->setParam(0, reg, (i + t) % 200) != VEXEL_OK || sdk->getParam(0, reg, &v) != VEXEL_OK)
                    ++failures;
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failures.load(), 0);
    const auto ids = camera->requestIds();
    ASSERT_EQ(ids.size(), size_t(4 * kPerThread * 2));
    for (size_t i = 0; i < ids.size(); ++i)
        ASSERT_EQ(ids[i], i + 1);
}

} // namespace
} // namespace usbsdk::testing
