#pragma once
// The kernel's V4L2 nodes behind the thin device seam: open, ioctl, mmap and
// poll on /dev/videoN, and the listing of capture nodes with their USB ids
// from sysfs.
#include "camera/v4l2/VideoDeviceIo.h"

namespace v4l2 {

// Capture nodes under /dev (device_caps carry video capture and streaming;
// the metadata node of a UVC camera is left out), in node-number order.
std::vector<VideoNode> listKernelVideoNodes(size_t limit);
// Opens /dev/videoN non-blocking; null with `error` (an errno) on failure.
std::unique_ptr<VideoDeviceIo> openKernelVideoNode(const std::string& path, int& error);

// The sysfs folder of a node's USB device: walks up from `deviceFolder`
// (…/video4linux/videoN/device, resolved) to the first folder with idVendor
// and idProduct; reads both (hex). False when there is none (not USB).
bool readUsbIds(const std::string& deviceFolder, int& vid, int& pid);

} // namespace v4l2
