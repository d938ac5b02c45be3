#pragma once
// Collects what a camera's frame callback sees, for assertions from the test thread.

#include "camera/CWImage.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

struct FrameSink {
    struct Seen {
        int format = 0, width = 0, height = 0, bottomUp = 0;
        unsigned dataSize = 0;
        std::vector<uint8_t> head; // first bytes
    };

    static int callback(void* user, int kind, long param1, long)
    {
        auto* self = static_cast<FrameSink*>(user);
        const auto* image = reinterpret_cast<const CWImage*>(param1);
        if (kind != 0 || !image)
            return 0;
        Seen seen{image->format, image->width, image->height, image->bottomUp, image->dataSize, {}};
        const unsigned n = image->dataSize < 16 ? image->dataSize : 16;
        seen.head.assign(image->data, image->data + n);
        // Touch the whole frame so the sanitizers see any short buffer.
        unsigned sum = 0;
        for (unsigned i = 0; i < image->dataSize; i += 61)
            sum += image->data[i];
        std::lock_guard<std::mutex> lock(self->mutex);
        if (self->count == 0)
            self->first.assign(image->data, image->data + image->dataSize);
        self->checksum += sum;
        self->frames.push_back(std::move(seen));
        if (self->frames.size() > 64)
            self->frames.erase(self->frames.begin());
        ++self->count;
        self->changed.notify_all();
        return 0;
    }

    size_t total()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return count;
    }

    // Waits (generously) until at least `n` frames in all have arrived.
    bool waitFor(size_t n, int timeoutMs = 20000)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return count >= n; });
    }

    Seen last()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return frames.empty() ? Seen{} : frames.back();
    }

    // True when no frame arrives for `quietMs`.
    bool staysQuiet(int quietMs)
    {
        const size_t before = total();
        std::this_thread::sleep_for(std::chrono::milliseconds(quietMs));
        return total() == before;
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Seen> frames;
    std::vector<uint8_t> first; // the whole first frame
    size_t count = 0;
    unsigned checksum = 0;
};
