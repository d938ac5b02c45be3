#pragma once
// Helpers of the video-camera suites: emulated cameras installed per test,
// their position in the device list (after any real capture node of the
// machine), and a frame callback that keeps what arrived.
#include "camera/CWImage.h"
#include "camera/v4l2/EmulatedScene.h"
#include "camera/v4l2/EmulatedVideoDevice.h"
#include "camera/v4l2/KernelVideoDevice.h"

#include <linux/videodev2.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

namespace videotest {

using namespace std::chrono_literals;

// Installs `specs` as the emulated cameras; returns the device index of the first.
inline int installCameras(const std::vector<v4l2::EmulatedCameraSpec>& specs)
{
    setenv("PELLUMO_DEBUG_LOG", "off", 1);
    v4l2::EmulatedVideoBus::instance().reset(specs);
    return static_cast<int>(v4l2::listKernelVideoNodes(v4l2::kMaxVideoDevices).size());
}

inline std::shared_ptr<v4l2::EmulatedCamera> emulated(size_t position)
{
    return v4l2::EmulatedVideoBus::instance().camera(position);
}

// A small, fast camera: the given formats at the given sizes, 100 frames/s.
inline v4l2::EmulatedCameraSpec smallCamera(std::vector<v4l2::EmulatedFormat> formats)
{
    v4l2::EmulatedCameraSpec spec = v4l2::genericCameraSpec(0, 0);
    spec.formats = std::move(formats);
    spec.framesPerSecond = 100;
    return spec;
}

struct Frame {
    int format = 0, width = 0, height = 0, bottomUp = -1;
    std::vector<uint8_t> bytes;
};

// Counts frames and keeps a copy of the last one. Any thread.
class FrameLog {
public:
    static int callback(void* user, int kind, long param1, long)
    {
        auto* self = static_cast<FrameLog*>(user);
        const auto* image = reinterpret_cast<const CWImage*>(param1);
        if (kind != 0 || !image)
            return 0;
        Frame f{image->format, image->width, image->height, image->bottomUp,
                std::vector<uint8_t>(image->data, image->data + image->dataSize)};
        std::lock_guard lock(self->m_mutex);
        if (self->m_released)
            ++self->m_late;
        ++self->m_count;
        self->m_last = std::move(f);
        self->m_changed.notify_all();
        return 0;
    }

    // Waits until `more` frames beyond those seen so far have arrived; false on timeout.
    bool waitFor(int more, std::chrono::milliseconds timeout = 5000ms)
    {
        std::unique_lock lock(m_mutex);
        const int target = m_count + more;
        return m_changed.wait_for(lock, timeout, [&] { return m_count >= target; });
    }
    // Waits until `total` frames have arrived since the log began; false on timeout.
    bool waitForTotal(int total, std::chrono::milliseconds timeout = 5000ms)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_count >= total; });
    }
    int count()
    {
        std::lock_guard lock(m_mutex);
        return m_count;
    }
    Frame last()
    {
        std::lock_guard lock(m_mutex);
        return m_last;
    }
    // From now on every frame is a late one.
    void markReleased()
    {
        std::lock_guard lock(m_mutex);
        m_released = true;
    }
    int late()
    {
        std::lock_guard lock(m_mutex);
        return m_late;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_count = 0, m_late = 0;
    bool m_released = false;
    Frame m_last;
};

// The control writes of an emulated camera made after `from` writes.
inline std::vector<std::pair<uint32_t, int>> writesSince(v4l2::EmulatedCamera& camera, size_t from)
{
    auto all = camera.controlWrites();
    return std::vector<std::pair<uint32_t, int>>(all.begin() + static_cast<long>(std::min(from, all.size())),
                                                 all.end());
}

} // namespace videotest
