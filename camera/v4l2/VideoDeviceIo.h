#pragma once
// The thin seam between the capture code and a video device: open, ioctl,
// mmap and poll, nothing more. The kernel's V4L2 nodes and the emulated video
// device both sit behind it, so every line above it runs unchanged on both.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace v4l2 {

// A still method beside the stream. V4L2 has none, so kernel devices offer
// none; the emulated model cameras do (a one-shot picture at the chosen still
// size). Any thread.
class StillPin {
public:
    struct Format {
        uint32_t fourcc;
        std::vector<std::pair<int, int>> sizes;
    };
    using Handler = std::function<void(const uint8_t* data, size_t length)>;

    virtual ~StillPin() = default;
    virtual std::vector<Format> formats() = 0;
    // 0 or -errno (-EINVAL: format or size not offered).
    virtual int setFormat(uint32_t fourcc, int width, int height) = 0;
    virtual void getFormat(uint32_t& fourcc, int& width, int& height) = 0;
    // The picture of a trigger arrives through the handler (possibly before
    // trigger returns); an empty handler drops it.
    virtual void setHandler(Handler handler) = 0;
    // 0 when the still was requested, -errno when the device refused.
    virtual int trigger() = 0;
};

// One open video node. ioctl and poll may run on the capture thread while a
// host thread adjusts controls.
class VideoDeviceIo {
public:
    virtual ~VideoDeviceIo() = default;
    // 0 or -errno. EINTR is retried here; EAGAIN is returned to the caller.
    virtual int ioctl(unsigned long request, void* arg) = 0;
    // Maps a buffer at the offset VIDIOC_QUERYBUF gave; null on failure.
    virtual void* map(size_t length, uint32_t offset) = 0;
    virtual void unmap(void* address, size_t length) = 0;
    // Waits for a filled buffer: 1 ready or the stream in error (the dequeue
    // then says which: -ENODEV or -EIO once the device is gone), 0 timed out,
    // -errno when waiting itself fails.
    virtual int poll(int timeoutMs) = 0;
    // The still method, or null (every kernel device).
    virtual StillPin* stillPin() { return nullptr; }
};

// A video-capture node as the listing finds it.
struct VideoNode {
    std::string name;       // the card name the driver reports
    std::string path;       // what openVideoNode takes: /dev/videoN or an emulated node
    std::string devicePath; // carries "vid_xxxx&pid_yyyy" when the USB ids are known
    // Where the camera is plugged in, stable while it stays there ("usb:1-2.3"
    // from the USB device behind the node; the node path when it is not USB).
    std::string port;
    int vid = 0;
    int pid = 0;
    bool accessDenied = false; // the user may not open it (not in the node's group)
};

// At most this many devices are listed.
constexpr size_t kMaxVideoDevices = 20;

// Capture nodes of the kernel first, then the emulated cameras, together at
// most kMaxVideoDevices. UI thread.
std::vector<VideoNode> listVideoNodes();
// Opens a node from the listing; null with `error` (an errno) on failure.
std::unique_ptr<VideoDeviceIo> openVideoNode(const std::string& path, int& error);

} // namespace v4l2
