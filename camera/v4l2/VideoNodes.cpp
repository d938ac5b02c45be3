#include "camera/v4l2/EmulatedVideoDevice.h"
#include "camera/v4l2/KernelVideoDevice.h"
#include "camera/v4l2/VideoDeviceIo.h"

#include <cerrno>
#include <cstdio>

namespace v4l2 {

std::vector<VideoNode> listVideoNodes()
{
    std::vector<VideoNode> nodes = listKernelVideoNodes(kMaxVideoDevices);
    for (const auto& [path, camera] : EmulatedVideoBus::instance().cameras()) {
        if (nodes.size() >= kMaxVideoDevices)
            break;
        VideoNode node;
        node.name = camera->spec().name;
        node.path = path;
        node.port = camera->spec().port.empty() ? path : camera->spec().port;
        node.vid = camera->spec().vid;
        node.pid = camera->spec().pid;
        node.accessDenied = camera->accessDenied();
        char ids[32];
        std::snprintf(ids, sizeof ids, "usb#vid_%04x&pid_%04x#", node.vid & 0xFFFF, node.pid & 0xFFFF);
        node.devicePath = ids + path;
        nodes.push_back(std::move(node));
    }
    return nodes;
}

std::unique_ptr<VideoDeviceIo> openVideoNode(const std::string& path, int& error)
{
    if (EmulatedVideoBus::isEmulatedPath(path))
        return EmulatedVideoBus::instance().open(path, error);
    return openKernelVideoNode(path, error);
}

} // namespace v4l2
