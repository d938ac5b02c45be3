#include "camera/factory/DeviceGroups.h"

#include "camera/models/CMCameraLarkA.h"
#include "camera/models/CMCameraLarkC.h"
#include "camera/models/CMCameraLarkD.h"
#include "camera/v4l2/CMCameraDirectShow.h"
#include "camera/v4l2/CMCaptureManager.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

enum class VideoCameraClass { DirectShow, LarkA, LarkB, LarkC, LarkD };

// Backend choice by USB ids; the first matching row wins.
struct ChoiceRow {
    int vid, pid;
    VideoCameraClass cls;
};

constexpr ChoiceRow kChoiceTable[] = {
    {0x04F2, 0xA14B, VideoCameraClass::LarkC}, {0x2B16, 0x6689, VideoCameraClass::LarkD},
    {0xEBA1, 0x7585, VideoCameraClass::LarkA}, {0xEBA1, 0x7584, VideoCameraClass::LarkB},
    {0xEBA1, 0x7586, VideoCameraClass::LarkB},
};

VideoCameraClass chooseClass(int vid, int pid)
{
    for (const ChoiceRow& row : kChoiceTable)
        if (row.vid == vid && row.pid == pid)
            return row.cls;
    return VideoCameraClass::DirectShow;
}

// The 4 characters after `marker` as hexadecimal; false when they are not.
bool parseIdAfter(const std::string& path, const char* marker, int& id)
{
    const size_t at = path.find(marker);
    if (at == std::string::npos || at + std::strlen(marker) + 4 > path.size())
        return false;
    const std::string digits = path.substr(at + std::strlen(marker), 4);
    unsigned value = 0;
    char extra = 0;
    if (std::sscanf(digits.c_str(), "%4x%c", &value, &extra) != 1)
        return false;
    id = static_cast<int>(value);
    return true;
}

} // namespace

void fillVideoDeviceRecord(const std::string& name, const std::string& devicePath, _tag_VideoDeviceInfo& device)
{
    std::memset(&device, 0, sizeof device);
    // A name that does not fit with its terminator is left empty.
    if (name.size() + 1 <= sizeof device.name)
        std::memcpy(device.name, name.c_str(), name.size() + 1);
    std::string path = devicePath;
    for (char& c : path)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    int vid = 0, pid = 0;
    if (path.find("vid_") != std::string::npos && path.find("pid_") != std::string::npos &&
        parseIdAfter(path, "vid_", vid) && parseIdAfter(path, "pid_", pid)) {
        device.vid = vid;
        device.pid = pid;
    }
}

void listVideoCaptureDevices(_tag_VideoDeviceList& group, std::vector<std::string>* ports)
{
    v4l2::CMCaptureManager manager;
    manager.listDevices();
    for (const v4l2::VideoNode& node : manager.nodes()) {
        _tag_VideoDeviceInfo device;
        fillVideoDeviceRecord(node.name, node.devicePath, device);
        group.devices.push_back(device);
        if (ports)
            ports->push_back(node.port);
    }
}

CMCameraBase* createVideoCaptureCamera(unsigned index, const _tag_VideoDeviceInfo& device)
{
    const int i = static_cast<int>(index);
    CMCameraBase* camera = nullptr;
    switch (chooseClass(device.vid, device.pid)) {
    case VideoCameraClass::LarkA: camera = new (std::nothrow) CMCameraLarkA(i); break;
    case VideoCameraClass::LarkB: camera = new (std::nothrow) CMCameraLarkB(i); break;
    case VideoCameraClass::LarkC: camera = new (std::nothrow) CMCameraLarkC(i); break;
    case VideoCameraClass::LarkD: camera = new (std::nothrow) CMCameraLarkD(i); break;
    case VideoCameraClass::DirectShow: break;
    }
    // A model camera that cannot be made falls back to the plain device.
    return camera ? camera : new CMCameraDirectShow(i);
}
