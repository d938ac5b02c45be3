#pragma once
// An open device shared with whoever outlives the camera's hold on it: the
// settings dialog keeps this handle, and the camera invalidates it under the
// lock before it closes the device. Calls after that fail with -ENODEV
// instead of reaching a closed device. Any thread.
#include "camera/v4l2/VideoDeviceIo.h"

#include <cerrno>
#include <mutex>

namespace v4l2 {

class SharedDevice {
public:
    explicit SharedDevice(VideoDeviceIo* io) : m_io(io) {}

    // `use(VideoDeviceIo&)` under the lock while the device is there; its
    // result, or `gone` once it is not.
    template <typename Use, typename Result> Result with(Use&& use, Result gone)
    {
        std::lock_guard lock(m_mutex);
        return m_io ? use(*m_io) : gone;
    }
    // The camera lets go of the device; waits for a call in progress.
    void invalidate()
    {
        std::lock_guard lock(m_mutex);
        m_io = nullptr;
    }

private:
    std::mutex m_mutex;
    VideoDeviceIo* m_io;
};

} // namespace v4l2
