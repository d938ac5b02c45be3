// Frame capture end to end: emulated stream -> reassembly -> ring -> callback.
#include <thread>

#include "SdkTestSupport.h"
#include "usbsdk/emulator/FrameStamp.h"
#include "usbsdk/emulator/RegisterFile.h"
#include "usbsdk/emulator/SyntheticScene.h"

namespace usbsdk::testing {
namespace {

using emulator::FrameStamp;

class CaptureTest : public SdkOverEmulator {
protected:
    FrameCollector collector;
    std::shared_ptr<emulator::EmulatedCamera> camera;

    void start(emulator::EmulatorConfig config, uint32_t maxDimension = 4096)
    {
        camera = loginCamera(std::move(config), maxDimension);
        ASSERT_EQ(sdk->setCaptureCallback(0, &FrameCollector::callback, &collector, 42), VEXEL_OK);
        ASSERT_EQ(sdk->startCapture(0), VEXEL_OK);
    }
    static std::optional<FrameStamp> stampOf(const std::vector<uint8_t>& frame)
    {
        return FrameStamp::read(frame.data() + stream::kLeaderSize, frame.size() - stream::kLeaderSize);
    }
};

TEST_F(CaptureTest, DeliversFramesByteForByte)
{
    start(smallCamera(64, 48));
    camera->emitFrames(3);
    ASSERT_TRUE(collector.waitFor(3));
    const auto frames = collector.frames();
    // The reference picture the camera renders for its current settings.
    emulator::SceneSettings scene;
    scene.width = 64;
    scene.height = 48;
    scene.roiX = camera->registerValue(emulator::reg::kRoiX);
    scene.roiY = camera->registerValue(emulator::reg::kRoiY);
    EXPECT_EQ(scene.roiX, (1940 - 64) / 2);
    std::vector<uint8_t> expected;
    emulator::renderScene(scene, expected);
    for (size_t i = 0; i < 3; ++i) {
        const auto& f = frames[i];
        ASSERT_EQ(f.size(), 64u * 48 * 2 + 52);
        EXPECT_EQ(le32(f.data()), stream::kLeaderMagic);
        EXPECT_EQ(le32(f.data() + stream::kPixelFormatOffset), stream::kPixelFormatYuv422);
        EXPECT_EQ(le32(f.data() + stream::kWidthOffset), 64u);
        EXPECT_EQ(le32(f.data() + stream::kHeightOffset), 48u);
        EXPECT_EQ(blockId(f), i + 1);
        auto stamp = stampOf(f);
        ASSERT_TRUE(stamp);
        EXPECT_EQ(stamp->frameNumber, i + 1);
        // Past the stamp the payload is the scene, unchanged.
        EXPECT_TRUE(std::equal(f.begin() + 52 + FrameStamp::kSize, f.end(), expected.begin() + FrameStamp::kSize));
    }
    EXPECT_EQ(collector.userValues()[0], 42);
    EXPECT_EQ(sdk->session(0)->ring().framesCompleted(), 3);
}

TEST_F(CaptureTest, MultiChunkFramesAreReassembledInOrder)
{
    // 700 x 400 x 2 = 560000 payload bytes: two full chunks and a shorter one.
    start(smallCamera(700, 400));
    camera->emitFrames(2);
    ASSERT_TRUE(collector.waitFor(2));
    const auto frames = collector.frames();
    emulator::SceneSettings scene;
    scene.width = 700;
    scene.height = 400;
    scene.roiX = camera->registerValue(emulator::reg::kRoiX);
    scene.roiY = camera->registerValue(emulator::reg::kRoiY);
    std::vector<uint8_t> expected;
    emulator::renderScene(scene, expected);
    for (const auto& f : frames) {
        ASSERT_EQ(f.size(), stream::frameSize(700, 400));
        EXPECT_TRUE(std::equal(f.begin() + 52 + FrameStamp::kSize, f.end(), expected.begin() + FrameStamp::kSize));
    }
}

TEST_F(CaptureTest, StartStopAndRestart)
{
    start(smallCamera(32, 16));
    EXPECT_EQ(sdk->getCaptureConnectState(0), VEXEL_STATE_RUNNING);
    EXPECT_EQ(sdk->startCapture(0), VEXEL_E_STATE);
    camera->emitFrames(1);
    ASSERT_TRUE(collector.waitFor(1));
    EXPECT_EQ(sdk->stopCapture(0), VEXEL_OK);
    EXPECT_EQ(sdk->getCaptureConnectState(0), VEXEL_STATE_STOPPED);
    EXPECT_EQ(sdk->stopCapture(0), VEXEL_OK);
    ASSERT_EQ(sdk->startCapture(0), VEXEL_OK);
    camera->emitFrames(2);
    ASSERT_TRUE(collector.waitFor(3));
    EXPECT_EQ(blockId(collector.frames()[2]), 3u);
    EXPECT_EQ(sdk->logoutCamera(0), VEXEL_OK); // stops capture
    EXPECT_EQ(sdk->getCaptureConnectState(0), VEXEL_E_NO_SESSION);
}

TEST_F(CaptureTest, SettingsReachTheFramesAfterTheWrite)
{
    start(smallCamera(64, 32));
    camera->emitFrames(1);
    ASSERT_TRUE(collector.waitFor(1));
    ASSERT_EQ(sdk->setParam(0, emulator::reg::kGain, 240), VEXEL_OK);
    ASSERT_EQ(sdk->setParam(0, emulator::reg::kWbRed, 100), VEXEL_OK);
    camera->emitFrames(1);
    ASSERT_TRUE(collector.waitFor(2));
    const auto frames = collector.frames();
    auto before = stampOf(frames[0]), after = stampOf(frames[1]);
    ASSERT_TRUE(before && after);
    EXPECT_EQ(before->gain, 0);
    EXPECT_EQ(after->gain, 240);
    EXPECT_EQ(after->wbRed, 100);
    EXPECT_EQ(after->frameNumber, before->frameNumber + 1);
    // More gain, brighter picture: compare the mean luma past the stamp.
    auto meanLuma = [](const std::vector<uint8_t>& f) {
        double sum = 0;
        size_t n = 0;
        for (size_t i = 52 + FrameStamp::kSize; i < f.size(); i += 2, ++n)
            sum += f[i];
        return sum / static_cast<double>(n);
    };
    EXPECT_GT(meanLuma(frames[1]), meanLuma(frames[0]) + 10);
}

TEST_F(CaptureTest, RegionOfInterestChangesTheGeometry)
{
    start(smallCamera(64, 48));
    camera->emitFrames(1);
    ASSERT_TRUE(collector.waitFor(1));
    ASSERT_EQ(sdk->setParam(0, emulator::reg::kRoiX, 100), VEXEL_OK);
    ASSERT_EQ(sdk->setParam(0, emulator::reg::kRoiWidth, 40), VEXEL_OK);
    ASSERT_EQ(sdk->setParam(0, emulator::reg::kRoiHeight, 20), VEXEL_OK);
    camera->emitFrames(2);
    ASSERT_TRUE(collector.waitFor(3));
    const auto frames = collector.frames();
    EXPECT_EQ(frames[0].size(), stream::frameSize(64, 48));
    for (size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(frames[i].size(), stream::frameSize(40, 20));
        EXPECT_EQ(le32(frames[i].data() + stream::kWidthOffset), 40u);
        EXPECT_EQ(stampOf(frames[i])->roiX, 100);
    }
}

TEST_F(CaptureTest, FullHdFramesFitTheInitialSlot)
{
    start(smallCamera(1920, 1080));
    camera->emitFrames(2);
    ASSERT_TRUE(collector.waitFor(2));
    for (const auto& f : collector.frames())
        EXPECT_EQ(f.size(), 4147252u);
    EXPECT_EQ(sdk->session(0)->ring().slotSize(), 0x500000u);
}

TEST_F(CaptureTest, LargerFramesGrowTheRing)
{
    start(smallCamera(64, 48));
    camera->emitFrames(1);
    ASSERT_TRUE(collector.waitFor(1));
    ASSERT_EQ(sdk->setParam(0, emulator::reg::kRoiWidth, 2592), VEXEL_OK);
    ASSERT_EQ(sdk->setParam(0, emulator::reg::kRoiHeight, 1944), VEXEL_OK);
    camera->emitFrames(2);
    ASSERT_TRUE(collector.waitFor(3));
    const auto frames = collector.frames();
    EXPECT_EQ(frames[1].size(), 10077748u);
    EXPECT_EQ(frames[2].size(), 10077748u);
    EXPECT_EQ(stampOf(frames[2])->roiWidth, 2592);
    EXPECT_EQ(sdk->session(0)->ring().slotSize(), 0x9C0000u);
}

// Holds the first frame in the callback and checks, when let go, that the
// frame memory stayed intact all along.
struct HeldDelivery {
    std::mutex mutex;
    std::condition_variable cond;
    bool entered = false, letGo = false, intact = true;
    int calls = 0;
    std::vector<uint8_t> lastFrame;
    static int callback(const uint8_t* frame, int32_t size, void* userData, int32_t)
    {
        auto* self = static_cast<HeldDelivery*>(userData);
        std::unique_lock lock(self->mutex);
        const std::vector<uint8_t> before(frame, frame + size);
        if (++self->calls == 1) {
            self->entered = true;
            self->cond.notify_all();
            self->cond.wait(lock, [self] { return self->letGo; });
            self->intact = std::equal(before.begin(), before.end(), frame);
        }
        self->lastFrame = before;
        self->cond.notify_all();
        return 0;
    }
};

TEST_F(CaptureTest, TheRingIsRebuiltOnlyAfterTheDeliveryInProgress)
{
    camera = loginCamera(smallCamera(32, 8));
    HeldDelivery held;
    ASSERT_EQ(sdk->setCaptureCallback(0, &HeldDelivery::callback, &held, 0), VEXEL_OK);
    ASSERT_EQ(sdk->startCapture(0), VEXEL_OK);
    camera->emitFrames(1);
    {
        std::unique_lock lock(held.mutex);
        ASSERT_TRUE(held.cond.wait_for(lock, kEventually, [&] { return held.entered; }));
    }
    // A frame too big for the slots arrives while the first is being delivered.
    ASSERT_EQ(sdk->setParam(0, emulator::reg::kRoiWidth, 2592), VEXEL_OK);
    ASSERT_EQ(sdk->setParam(0, emulator::reg::kRoiHeight, 1944), VEXEL_OK);
    camera->emitFrames(1);
    ASSERT_TRUE(eventually([&] { return camera->framesStarted() == 2; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(sdk->session(0)->ring().slotSize(), 0x500000u); // not while delivering
    {
        std::lock_guard lock(held.mutex);
        held.letGo = true;
        held.cond.notify_all();
    }
    std::unique_lock lock(held.mutex);
    ASSERT_TRUE(held.cond.wait_for(lock, kEventually, [&] { return held.calls >= 2; }));
    EXPECT_TRUE(held.intact);
    EXPECT_EQ(held.lastFrame.size(), stream::frameSize(2592, 1944));
    EXPECT_EQ(sdk->session(0)->ring().slotSize(), 0x9C0000u);
}

TEST_F(CaptureTest, AFullRingDropsTheNewestFrames)
{
    start(smallCamera(32, 8));
    collector.hold();
    camera->emitFrames(1);
    ASSERT_TRUE(collector.waitFor(1)); // first frame held in the callback
    camera->emitFrames(5);
    FrameRing& ring = sdk->session(0)->ring();
    ASSERT_TRUE(eventually([&] { return ring.framesCompleted() == 6; }));
    EXPECT_EQ(ring.framesDropped(), 3);
    collector.release();
    ASSERT_TRUE(collector.waitFor(3));
    // Nothing arrives out of order: 1 (held), then 2 and 3 from the ring.
    camera->emitFrames(1);
    ASSERT_TRUE(collector.waitFor(4));
    const auto frames = collector.frames();
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(blockId(frames[0]), 1u);
    EXPECT_EQ(blockId(frames[1]), 2u);
    EXPECT_EQ(blockId(frames[2]), 3u);
    EXPECT_EQ(blockId(frames[3]), 7u);
}

TEST_F(CaptureTest, ShortPayloadsAreDiscardedWithoutCounting)
{
    start(smallCamera(32, 8));
    camera->shortenNextPayloads(1, 2);
    camera->emitFrames(2);
    ASSERT_TRUE(collector.waitFor(1));
    ASSERT_TRUE(eventually([&] { return camera->framesStarted() == 2; }));
    camera->emitFrames(1);
    ASSERT_TRUE(collector.waitFor(2));
    const auto frames = collector.frames();
    EXPECT_EQ(blockId(frames[0]), 2u);
    EXPECT_EQ(blockId(frames[1]), 3u);
    EXPECT_EQ(sdk->session(0)->ring().framesCompleted(), 2);
    EXPECT_EQ(sdk->session(0)->ring().framesDropped(), 0);
}

TEST_F(CaptureTest, ZeroSizedAndOversizedLeadersAreIgnoredWithTheirPayload)
{
    start(smallCamera(32, 8));
    camera->overrideNextLeaders(1, 0, 8);
    camera->emitFrames(1);
    ASSERT_TRUE(eventually([&] { return camera->framesStarted() == 1; }));
    camera->overrideNextLeaders(1, 40000, 8);
    camera->emitFrames(1);
    ASSERT_TRUE(eventually([&] { return camera->framesStarted() == 2; }));
    camera->emitFrames(1);
    ASSERT_TRUE(collector.waitFor(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(collector.count(), 1u);
    EXPECT_EQ(blockId(collector.frames()[0]), 3u);
    EXPECT_EQ(sdk->session(0)->ring().framesCompleted(), 1);
}

TEST_F(CaptureTest, Width4097IsRefusedBySensorlink)
{
    start(smallCamera(4097, 2));
    camera->emitFrames(1);
    ASSERT_TRUE(eventually([&] { return camera->framesStarted() == 1; }));
    ASSERT_EQ(sdk->setParam(0, emulator::reg::kRoiWidth, 4096), VEXEL_OK);
    camera->emitFrames(1);
    ASSERT_TRUE(collector.waitFor(1));
    EXPECT_EQ(le32(collector.frames()[0].data() + stream::kWidthOffset), 4096u);
    EXPECT_EQ(blockId(collector.frames()[0]), 2u);
}

TEST_F(CaptureTest, Width4097IsTakenByVexel)
{
    start(smallCamera(4097, 2), 8192);
    camera->emitFrames(1);
    ASSERT_TRUE(collector.waitFor(1));
    EXPECT_EQ(collector.frames()[0].size(), stream::frameSize(4097, 2));
}

TEST_F(CaptureTest, FailedTransfersAreSurvived)
{
    start(smallCamera(32, 8));
    camera->failNextTransfers(0x83, 10);
    camera->emitFrames(2);
    ASSERT_TRUE(collector.waitFor(2));
    EXPECT_EQ(sdk->getCaptureConnectState(0), VEXEL_STATE_RUNNING);
}

TEST_F(CaptureTest, AStalledStreamIsAbortedAndResumes)
{
    start(smallCamera(32, 8));
    camera->stallNextTransfers(0x83, 1); // the next read never completes by itself
    camera->emitFrames(1);
    ASSERT_TRUE(collector.waitFor(1));
    EXPECT_EQ(sdk->getCaptureConnectState(0), VEXEL_STATE_RUNNING);
}

TEST_F(CaptureTest, UnplugEndsTheStreamAndANewStartResumesAfterReplug)
{
    start(smallCamera(32, 8));
    camera->emitFrames(1);
    ASSERT_TRUE(collector.waitFor(1));
    camera->unplug();
    ASSERT_TRUE(eventually([&] { return sdk->getCaptureConnectState(0) == VEXEL_STATE_STOPPED; }));
    // Stream thread gone, delivery thread still there: state (1, 2).
    EXPECT_EQ(sdk->session(0)->captureRequested(), 1);
    // Replugged, the camera must be logged in again: the old connection stays dead.
    camera->replug();
    CameraInfo info{};
    ASSERT_EQ(sdk->loginCamera(&info), 0);
    ASSERT_EQ(sdk->setCaptureCallback(0, &FrameCollector::callback, &collector, 42), VEXEL_OK);
    ASSERT_EQ(sdk->startCapture(0), VEXEL_OK);
    camera->emitFrames(1);
    ASSERT_TRUE(collector.waitFor(2));
}

TEST_F(CaptureTest, ARepeatingUnplugStrikesAgainAfterEveryReplug)
{
    auto config = smallCamera(32, 8);
    config.unplugEveryFrames = 2;
    start(config);
    for (int plugIn = 0; plugIn < 2; ++plugIn) {
        if (plugIn > 0) {
            camera->replug();
            CameraInfo info{};
            ASSERT_EQ(sdk->loginCamera(&info), 0);
            ASSERT_EQ(sdk->setCaptureCallback(0, &FrameCollector::callback, &collector, 42), VEXEL_OK);
            ASSERT_EQ(sdk->startCapture(0), VEXEL_OK);
        }
        camera->emitFrames(3);
        ASSERT_TRUE(collector.waitFor(2u * (plugIn + 1)));
        ASSERT_TRUE(eventually([&] { return sdk->getCaptureConnectState(0) == VEXEL_STATE_STOPPED; }));
        EXPECT_FALSE(camera->present());
        EXPECT_EQ(collector.count(), 2u * (plugIn + 1));
    }
}

TEST_F(CaptureTest, RestartAfterGivingUpStartsANewStreamThread)
{
    start(smallCamera(32, 8));
    camera->failNextTransfers(0x83, 1000000);
    ASSERT_TRUE(eventually([&] { return sdk->getCaptureConnectState(0) == VEXEL_STATE_STOPPED; }));
    camera->failNextTransfers(0x83, 0);
    ASSERT_EQ(sdk->startCapture(0), VEXEL_OK);
    EXPECT_EQ(sdk->getCaptureConnectState(0), VEXEL_STATE_RUNNING);
    camera->emitFrames(1);
    ASSERT_TRUE(collector.waitFor(1));
}

int callRegistersFromCallback(const uint8_t*, int32_t, void* userData, int32_t)
{
    auto* sdk = static_cast<Sdk*>(userData);
    int32_t v = 0;
    sdk->getParam(0, emulator::reg::kGain, &v);
    sdk->setParam(0, emulator::reg::kGain, v + 1);
    return 0;
}

TEST_F(CaptureTest, TheCallbackMayUseTheRegisterFunctions)
{
    camera = loginCamera(smallCamera(32, 8));
    ASSERT_EQ(sdk->setCaptureCallback(0, &callRegistersFromCallback, sdk.get(), 0), VEXEL_OK);
    ASSERT_EQ(sdk->startCapture(0), VEXEL_OK);
    camera->emitFrames(3);
    ASSERT_TRUE(eventually([&] { return camera->registerValue(emulator::reg::kGain) == 3; }));
}

TEST_F(CaptureTest, TimedStreamRunsAtItsFrameRate)
{
    start(smallCamera(32, 8, 200.0));
    ASSERT_TRUE(collector.waitFor(10));
    const auto frames = collector.frames();
    for (size_t i = 1; i < frames.size(); ++i)
        EXPECT_GT(blockId(frames[i]), blockId(frames[i - 1]));
}

} // namespace
} // namespace usbsdk::testing
