#pragma once
// The kernel's V4L2 nodes behind the thin device seam: open, ioctl, mmap and
// poll on /dev/videoN, and the listing of capture nodes with their USB ids
// from sysfs. Every system call goes through a call table, so the listing,
// the retries and the failure paths can be driven without a device.
#include "camera/v4l2/VideoDeviceIo.h"

#include <poll.h>
#include <sys/types.h>

#include <functional>

namespace v4l2 {

// The system calls the kernel layer makes, and where it looks for nodes.
// Each function answers as the system call does (-1 with errno set).
struct KernelCalls {
    std::function<int(const char* path, int flags)> open;
    std::function<int(int fd)> close;
    std::function<int(int fd, unsigned long request, void* arg)> ioctl;
    std::function<void*(size_t length, int fd, off_t offset)> mmap; // MAP_FAILED on failure
    std::function<int(void* address, size_t length)> munmap;
    std::function<int(pollfd* fds, nfds_t count, int timeoutMs)> poll;
    std::string devFolder = "/dev";                   // holds videoN
    std::string sysFolder = "/sys/class/video4linux"; // holds videoN/device and videoN/name
};

// The real system calls and folders.
const KernelCalls& systemCalls();

// Capture nodes under the dev folder (device_caps carry video capture and
// streaming; the metadata node of a UVC camera is left out), in node-number
// order. A node the user may not open (EACCES, EPERM) is listed with its
// sysfs name and `accessDenied` set, so the user learns why it does not open.
std::vector<VideoNode> listKernelVideoNodes(size_t limit, const KernelCalls& calls = systemCalls());
// Opens /dev/videoN non-blocking; null with `error` (an errno) on failure.
std::unique_ptr<VideoDeviceIo> openKernelVideoNode(const std::string& path, int& error,
                                                   const KernelCalls& calls = systemCalls());

// The sysfs folder of a node's USB device: walks up from `deviceFolder`
// (…/video4linux/videoN/device, resolved) to the first folder with idVendor
// and idProduct; reads both (hex), and `port` (when given) gets "usb:" and
// that folder's name, the device's port path. False when there is none (not USB).
bool readUsbIds(const std::string& deviceFolder, int& vid, int& pid, std::string* port = nullptr);

} // namespace v4l2
