#pragma once
// Shared pieces of the SDK suites: an SDK over an emulated bus, and a capture
// callback that keeps copies of the frames it is given.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "usbsdk/Vexel.h"
#include "usbsdk/emulator/EmulatedBus.h"
#include "usbsdk/sdk/Sdk.h"
#include "usbsdk/sdk/StreamFormat.h"

namespace usbsdk::testing {

// Generous: these are "eventually" conditions on a loaded machine.
inline constexpr auto kEventually = std::chrono::seconds(30);

class SdkOverEmulator : public ::testing::Test {
protected:
    std::shared_ptr<emulator::EmulatedBus> bus = std::make_shared<emulator::EmulatedBus>();
    std::unique_ptr<Sdk> sdk;

    void makeSdk(uint32_t maxDimension = 4096, uint32_t commandTimeoutMs = 300)
    {
        auto b = bus;
        sdk = std::make_unique<Sdk>(SdkOptions{maxDimension, commandTimeoutMs, [b] { return b; }});
    }
    // Adds a camera, initialises the SDK and logs camera 0 in.
    std::shared_ptr<emulator::EmulatedCamera> loginCamera(emulator::EmulatorConfig config = {},
                                                          uint32_t maxDimension = 4096)
    {
        auto camera = bus->addCamera(std::move(config));
        makeSdk(maxDimension);
        EXPECT_EQ(sdk->init(), VEXEL_OK);
        CameraInfo list[VEXEL_MAX_CAMERAS]{};
        EXPECT_GE(sdk->searchCamera(list), 1);
        EXPECT_EQ(sdk->loginCamera(&list[0]), 0);
        return camera;
    }
    void TearDown() override
    {
        if (sdk)
            sdk->uninit();
    }
};

inline emulator::EmulatorConfig smallCamera(uint32_t width = 64, uint32_t height = 48, double fps = 0)
{
    emulator::EmulatorConfig c;
    c.width = width;
    c.height = height;
    c.fps = fps;
    c.stamp = true;
    return c;
}

// Collects copies of delivered frames; can hold the delivery thread in the callback.
class FrameCollector {
public:
    static int callback(const uint8_t* frame, int32_t size, void* userData, int32_t userValue)
    {
        auto* self = static_cast<FrameCollector*>(userData);
        self->onFrame(frame, size, userValue);
        return 0;
    }
    void onFrame(const uint8_t* frame, int32_t size, int32_t userValue)
    {
        std::unique_lock lock(mutex_);
        frames_.emplace_back(frame, frame + size);
        userValues_.push_back(userValue);
        cond_.notify_all();
        cond_.wait(lock, [this] { return !holding_; });
    }
    bool waitFor(size_t count)
    {
        std::unique_lock lock(mutex_);
        return cond_.wait_for(lock, kEventually, [&] { return frames_.size() >= count; });
    }
    void hold()
    {
        std::lock_guard lock(mutex_);
        holding_ = true;
    }
    void release()
    {
        std::lock_guard lock(mutex_);
        holding_ = false;
        cond_.notify_all();
    }
    std::vector<std::vector<uint8_t>> frames() const
    {
        std::lock_guard lock(mutex_);
        return frames_;
    }
    size_t count() const
    {
        std::lock_guard lock(mutex_);
        return frames_.size();
    }
    std::vector<int32_t> userValues() const
    {
        std::lock_guard lock(mutex_);
        return userValues_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable cond_;
    std::vector<std::vector<uint8_t>> frames_;
    std::vector<int32_t> userValues_;
    bool holding_ = false;
};

inline uint32_t le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
inline uint64_t blockId(const std::vector<uint8_t>& frame)
{
    return le32(frame.data() + stream::kBlockIdOffset) |
           (uint64_t(le32(frame.data() + stream::kBlockIdOffset + 4)) << 32);
}

// Polls `condition` until it holds or kEventually passes.
inline bool eventually(const std::function<bool()>& condition)
{
    const auto deadline = std::chrono::steady_clock::now() + kEventually;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace usbsdk::testing
