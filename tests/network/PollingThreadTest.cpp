// The polling-thread layer on its own, with a camera whose polls are scripted.
#include "FrameSink.h"
#include "camera/network/CMCameraSDKThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {
// Stops nothing in its own destructor: CMPolledCamera ends the thread before
// anything of the camera (here its history) is destroyed.
class ScriptedCameraCore : public CMCameraSDKThread {
public:
    explicit ScriptedCameraCore(Seal seal) : CMCameraSDKThread(seal, -1) {}

    int Init(CMFrameCallback cb, void* userData, long, long) override { return startThread(cb, userData); }
    void Release() override { stopThread(); }
    int GetSupportedPreviewSizes(std::vector<_tag_CMSIZE>*) override { return CM_E_NOTSUPPORTED; }
    int GetPreviewSize(_tag_CMSIZE&) override { return CM_E_NOTSUPPORTED; }
    int SetPreviewSize(_tag_CMSIZE) override { return CM_E_NOTSUPPORTED; }
    int GetSupportedFormats(std::vector<int>*) override { return CM_E_NOTSUPPORTED; }
    int GetFormat(int&) override { return CM_E_NOTSUPPORTED; }
    int SetFormat(int) override { return CM_E_NOTSUPPORTED; }

    std::atomic<bool> failing{false};
    std::atomic<bool> gone{false};
    std::atomic<unsigned> polls{0};

protected:
    int captureOnce() override
    {
        ++polls;
        history.push_back(polls);
        if (gone)
            return kSourceGone;
        if (failing)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        uint8_t pixel[3] = {1, 2, 3};
        CWImage frame(1, 1, pixel, 3, 3, true, FMT_RGB24, 0);
        deliverFrame(&frame, DeliveryOrder::GrabThenCallback, false);
        return 0;
    }

private:
    std::vector<unsigned> history; // touched by every poll
};
using ScriptedCamera = CMPolledCamera<ScriptedCameraCore>;
} // namespace

TEST(PollingThread, DeletingAPollingCameraEndsTheThreadBeforeTheCameraGoes)
{
    FrameSink sink;
    for (int i = 0; i < 20; ++i) {
        auto camera = std::make_unique<ScriptedCamera>();
        ASSERT_EQ(camera->Init(&FrameSink::callback, &sink, 0, 0), CM_OK);
        camera->startPreview();
        while (camera->polls < 3)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        camera.reset(); // no Release: the destructor alone must be safe
    }
}

TEST(PollingThread, ASourceGoneForGoodIsPolledNoMore)
{
    FrameSink sink;
    ScriptedCamera camera;
    camera.gone = true;
    ASSERT_EQ(camera.Init(&FrameSink::callback, &sink, 0, 0), CM_OK);
    camera.startPreview();
    while (camera.polls == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(camera.polls.load(), 1u);
    camera.Release();
}

TEST(PollingThread, PollsOnlyWhilePreviewing)
{
    FrameSink sink;
    ScriptedCamera camera;
    ASSERT_EQ(camera.Init(&FrameSink::callback, &sink, 0, 0), CM_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(camera.polls.load(), 0u);
    camera.startPreview();
    ASSERT_TRUE(sink.waitFor(5));
    camera.stopPreview();
    EXPECT_TRUE(camera.IsPaused());
    // The poll in flight may still end; after that the thread waits.
    unsigned stopped = camera.polls;
    for (int i = 0; i < 100; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (camera.polls == stopped)
            break;
        stopped = camera.polls;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(camera.polls.load(), stopped);
    camera.Release();
}

TEST(PollingThread, CountsSuccessfulPollsAsTheFrameRate)
{
    FrameSink sink;
    ScriptedCamera camera;
    ASSERT_EQ(camera.Init(&FrameSink::callback, &sink, 0, 0), CM_OK);
    camera.startPreview();
    const auto start = std::chrono::steady_clock::now();
    while (camera.GetFrameRate() == 0.0f && std::chrono::steady_clock::now() - start < std::chrono::seconds(20))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_GT(camera.GetFrameRate(), 0.0f);
    camera.stopPreview();
    EXPECT_EQ(camera.GetFrameRate(), 0.0f);
}

TEST(PollingThread, KeepsRetryingButBacksOffWhenPollsKeepFailing)
{
    FrameSink sink;
    ScriptedCamera camera;
    camera.failing = true;
    ASSERT_EQ(camera.Init(&FrameSink::callback, &sink, 0, 0), CM_OK);
    camera.startPreview();
    // The first failures are retried after a millisecond each...
    const auto start = std::chrono::steady_clock::now();
    while (camera.polls < 110 && std::chrono::steady_clock::now() - start < std::chrono::seconds(20))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GE(camera.polls.load(), 110u);
    // ...a source that stays down is asked far less often than every millisecond.
    const unsigned before = camera.polls;
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_LT(camera.polls - before, 100u);
    EXPECT_GT(camera.polls - before, 0u); // but still asked
    // It recovers at once when the source comes back.
    camera.failing = false;
    EXPECT_TRUE(sink.waitFor(3));
}

TEST(PollingThread, ReleaseEndsPromptlyAndNothingFollows)
{
    FrameSink sink;
    ScriptedCamera camera;
    camera.failing = true;
    ASSERT_EQ(camera.Init(&FrameSink::callback, &sink, 0, 0), CM_OK);
    camera.startPreview();
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // well into the slow retries
    testing::internal::CaptureStdout();
    camera.Release();
    EXPECT_NE(testing::internal::GetCapturedStdout().find("CMCameraSDKThread::threadCapture exit OK!\n"),
              std::string::npos);
    const unsigned polls = camera.polls;
    camera.failing = false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(camera.polls.load(), polls);
    EXPECT_EQ(sink.total(), 0u);
    camera.startPreview(); // no thread any more: harmless
    EXPECT_EQ(camera.polls.load(), polls);
}
