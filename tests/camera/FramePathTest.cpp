#include "TestCamera.h"

#include "platform/Tick.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>

using namespace std::chrono_literals;

namespace {
struct Recorder {
    std::mutex mutex;
    std::vector<int> kinds;
    std::vector<long> param2s;
    std::vector<CWImage*> images;
    std::atomic<int> count{0};
};

int recordingCallback(void* user, int kind, long param1, long param2)
{
    auto* rec = static_cast<Recorder*>(user);
    std::lock_guard lock(rec->mutex);
    rec->kinds.push_back(kind);
    rec->param2s.push_back(param2);
    rec->images.push_back(reinterpret_cast<CWImage*>(param1));
    ++rec->count;
    return 0;
}

CWImage frameOver(std::vector<unsigned char>& bytes, int w, int h)
{
    return CWImage(w, h, bytes.data(), static_cast<unsigned>(bytes.size()), static_cast<unsigned>(bytes.size()), true,
                   FMT_RGBA32, 0);
}

// Starts a grab on another thread and waits until it is registered.
std::future<int> startGrab(TestCamera& camera, CWImage& target)
{
    auto result = std::async(std::launch::async, [&] { return camera.GetPreviewImage_Internal(&target); });
    std::this_thread::sleep_for(50ms);
    return result;
}
} // namespace

TEST(FramePath, CallbackGetsKindZeroTheImageAndItsUserData)
{
    TestCamera camera(2, 2);
    Recorder rec;
    ASSERT_EQ(camera.Init(recordingCallback, &rec, 2, 2), CM_OK);
    std::vector<unsigned char> bytes(16, 1);
    CWImage frame = frameOver(bytes, 2, 2);
    camera.deliverFrame(&frame, TestCamera::DeliveryOrder::GrabThenCallback, true);
    ASSERT_EQ(rec.count, 1);
    EXPECT_EQ(rec.kinds[0], 0);
    EXPECT_EQ(rec.param2s[0], 0);
    EXPECT_EQ(rec.images[0], &frame) << "live frames are handed over without copying";
}

TEST(FramePath, GrabThenCallbackServesTheGrabBeforeTheHostSeesTheFrame)
{
    for (auto order : {TestCamera::DeliveryOrder::GrabThenCallback, TestCamera::DeliveryOrder::CallbackThenGrab}) {
        TestCamera camera(2, 2);
        CWImage target;
        bool grabDoneWhenCallbackRan = false;
        struct Ctx {
            CWImage* target;
            bool* seen;
        } ctx{&target, &grabDoneWhenCallbackRan};
        camera.setCallback(
            [](void* user, int, long, long) {
                auto* c = static_cast<Ctx*>(user);
                *c->seen = c->target->data != nullptr;
                return 0;
            },
            &ctx);
        auto grab = startGrab(camera, target);
        std::vector<unsigned char> bytes(16, 9);
        CWImage frame = frameOver(bytes, 2, 2);
        camera.deliverFrame(&frame, order, true);
        EXPECT_EQ(grab.get(), CM_OK);
        EXPECT_EQ(grabDoneWhenCallbackRan, order == TestCamera::DeliveryOrder::GrabThenCallback);
        delete[] target.data;
        target.data = nullptr;
    }
}

TEST(FramePath, GrabCopiesTheNextFrameIntoABufferTheCallerFrees)
{
    TestCamera camera(8, 4);
    CWImage target; // default: externalBuffer true, so the caller frees
    camera.startPreview();
    camera.startDelivering(2ms);
    ASSERT_EQ(camera.Snap(&target), CM_OK);
    camera.Release();
    ASSERT_NE(target.data, nullptr);
    EXPECT_EQ(target.width, 8);
    EXPECT_EQ(target.height, 4);
    EXPECT_EQ(target.format, FMT_RGBA32);
    EXPECT_EQ(target.bottomUp, 0);
    EXPECT_EQ(target.dataSize, 8u * 4u * 4u);
    EXPECT_EQ(target.bufferSize, target.dataSize);
    EXPECT_TRUE(target.externalBuffer);
    for (unsigned i = 1; i < target.dataSize; ++i)
        ASSERT_EQ(target.data[i], target.data[0]) << "one whole frame, not a mix";
    delete[] target.data;
}

TEST(FramePath, GrabTimesOutAfterFiveSecondsAndIsWithdrawn)
{
    TestCamera camera(2, 2);
    CWImage target;
    const uint32_t start = platform::GetTickCount();
    EXPECT_EQ(camera.Snap(&target), CM_E_TIMEOUT);
    const uint32_t waited = platform::GetTickCount() - start;
    EXPECT_GE(waited, 4990u);
    EXPECT_LT(waited, 6500u);

    // A frame after the withdrawal must not write into the abandoned target.
    std::vector<unsigned char> bytes(16, 3);
    CWImage frame = frameOver(bytes, 2, 2);
    camera.deliverFrame(&frame, TestCamera::DeliveryOrder::GrabThenCallback, true);
    EXPECT_EQ(target.data, nullptr);
}

TEST(FramePath, CallbackMayHandBackABufferForTheLibraryToFree)
{
    TestCamera camera(2, 2);
    camera.setCallback(
        [](void*, int, long param1, long) {
            auto* image = reinterpret_cast<CWImage*>(param1);
            image->data = new unsigned char[64]; // leak-checked under AddressSanitizer
            image->externalBuffer = false;
            return 0;
        },
        nullptr);
    std::vector<unsigned char> bytes(16, 3);
    CWImage frame = frameOver(bytes, 2, 2);
    camera.deliverFrame(&frame, TestCamera::DeliveryOrder::GrabThenCallback, true);
    EXPECT_EQ(frame.data, nullptr);
}

TEST(FramePath, PausedCameraDeliversNothing)
{
    TestCamera camera(2, 2);
    Recorder rec;
    camera.Init(recordingCallback, &rec, 2, 2);
    camera.stopPreview();
    camera.startDelivering(1ms);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(rec.count, 0);
    camera.startPreview();
    const uint32_t start = platform::GetTickCount();
    while (rec.count < 5 && platform::GetTickCount() - start < 5000)
        std::this_thread::sleep_for(5ms);
    camera.Release();
    EXPECT_GE(rec.count, 5);
}

TEST(FramePath, MeasuredRateFollowsTheDeliveredFrames)
{
    TestCamera camera(2, 2);
    Recorder rec;
    camera.Init(recordingCallback, &rec, 2, 2);
    camera.startPreview();
    const uint32_t start = platform::GetTickCount();
    camera.startDelivering(10ms);
    while (camera.GetFrameRate() == 0.0f && platform::GetTickCount() - start < 5000)
        std::this_thread::sleep_for(20ms);
    const float rate = camera.GetFrameRate();
    const unsigned delivered = camera.delivered();
    const uint32_t elapsed = platform::GetTickCount() - start;
    camera.Release();
    EXPECT_GE(elapsed, 1000u) << "no rate before a full second";
    // The rate must agree with what really went through in that window.
    const float actual = delivered * 1000.0f / static_cast<float>(elapsed);
    EXPECT_GT(rate, 0.5f * actual);
    EXPECT_LT(rate, 1.5f * actual + 5.0f);
    camera.stopPreview();
    EXPECT_EQ(camera.GetFrameRate(), 0.0f);
}

namespace {
// Each callback checks that it was handed its own user data.
std::atomic<int> tornPairs{0};
std::atomic<int> calls{0};
int tagA = 1, tagB = 2;
int callbackA(void* user, int, long, long)
{
    if (user != &tagA)
        ++tornPairs;
    ++calls;
    return 0;
}
int callbackB(void* user, int, long, long)
{
    if (user != &tagB)
        ++tornPairs;
    ++calls;
    return 0;
}
} // namespace

TEST(FramePath, ReplacingTheCallbackWhileFramesFlowNeverTearsThePair)
{
    TestCamera camera(4, 4);
    camera.Init(callbackA, &tagA, 4, 4);
    camera.startPreview();
    camera.startDelivering(std::chrono::microseconds(50));
    const uint32_t start = platform::GetTickCount();
    for (int i = 0; platform::GetTickCount() - start < 300; ++i) {
        if (i % 2)
            camera.setCallback(callbackA, &tagA);
        else
            camera.setCallback(callbackB, &tagB);
    }
    camera.setCallback(nullptr, nullptr);
    camera.Release();
    EXPECT_GT(calls, 0);
    EXPECT_EQ(tornPairs, 0);
}
