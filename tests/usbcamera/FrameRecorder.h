#pragma once
// A host frame callback for tests and tools: counts the frames a camera
// delivers and keeps what the last one looked like (and its emulator stamp),
// so a test can wait for a condition on the stream.
#include "camera/CWImage.h"
#include "usbsdk/emulator/FrameStamp.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

struct FrameRecorder {
    struct Frame {
        int format = 0, width = 0, height = 0;
        unsigned dataSize = 0;
        bool externalBuffer = false;
        std::optional<usbsdk::emulator::FrameStamp> stamp;
    };

    static int callback(void* user, int kind, long param1, long)
    {
        auto* self = static_cast<FrameRecorder*>(user);
        if (kind != 0)
            return 0;
        const auto* image = reinterpret_cast<const CWImage*>(param1);
        Frame f;
        f.format = image->format;
        f.width = image->width;
        f.height = image->height;
        f.dataSize = image->dataSize;
        f.externalBuffer = image->externalBuffer;
        // Touch every byte the image claims, so a size past the buffer shows up under ASan.
        unsigned sum = 0;
        for (unsigned i = 0; i < image->dataSize; i += 64)
            sum += image->data[i];
        if (image->dataSize)
            sum += image->data[image->dataSize - 1];
        f.stamp = usbsdk::emulator::FrameStamp::read(image->data, image->dataSize);
        std::lock_guard lock(self->mutex);
        self->checksum += sum;
        ++self->count;
        self->last = f;
        if (f.stamp) {
            if (self->lastNumber && f.stamp->frameNumber <= *self->lastNumber)
                ++self->outOfOrder;
            self->lastNumber = f.stamp->frameNumber;
        }
        return 0;
    }

    int frames()
    {
        std::lock_guard lock(mutex);
        return count;
    }
    Frame lastFrame()
    {
        std::lock_guard lock(mutex);
        return last;
    }
    int framesOutOfOrder()
    {
        std::lock_guard lock(mutex);
        return outOfOrder;
    }

    // Polls `condition` on the last frame until it holds or `timeout` passes.
    bool waitFor(const std::function<bool(const Frame&, int count)>& condition,
                 std::chrono::milliseconds timeout = std::chrono::seconds(60))
    {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < end) {
            {
                std::lock_guard lock(mutex);
                if (count > 0 && condition(last, count))
                    return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    bool waitForFrames(int n, std::chrono::milliseconds timeout = std::chrono::seconds(60))
    {
        return waitFor([n](const Frame&, int count) { return count >= n; }, timeout);
    }

    std::mutex mutex;
    int count = 0;
    int outOfOrder = 0;
    unsigned checksum = 0;
    std::optional<uint64_t> lastNumber;
    Frame last;
};
