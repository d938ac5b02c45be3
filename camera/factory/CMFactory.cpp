#include "camera/factory/CMFactory.h"

#include "camera/boxclient/CHD_WMP.h"
#include "camera/factory/DeviceGroups.h"
#include "camera/network/CMCameraWMPBox.h"
#include "camera/network/CWCameraFFmpeg.h"
#include "camera/usb/CMCameraISSR.h"
#include "camera/usb/UsbOpenFailure.h"
#include "camera/usb/UsbOpenFailureRecord.h"
#include "camera/v4l2/CMCameraDirectShow.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {

// The list behind the index form of GetCamera, refilled on every call. The
// host calls it from one thread; the lock keeps two callers from tearing it.
struct FactoryList {
    std::mutex mutex;
    std::vector<_tag_VideoDeviceList> groups;
};

FactoryList& factoryList()
{
    static FactoryList list;
    return list;
}

_tag_VideoDeviceList makeGroup(int type, const char* name)
{
    _tag_VideoDeviceList group;
    group.type = type;
    std::memset(group.name, 0, sizeof group.name);
    std::strncpy(group.name, name, sizeof group.name - 1);
    return group;
}

std::string localIdentity(const char* kind, int vid, int pid, const std::string& port)
{
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", unsigned(vid) & 0xFFFF, unsigned(pid) & 0xFFFF);
    return std::string(kind) + ' ' + ids + ' ' + port;
}

std::string boundedText(const char* text, size_t size) { return std::string(text, strnlen(text, size)); }
} // namespace

int CMFactory::GetVideoDeviceList(std::vector<_tag_VideoDeviceList>* groups)
{
    return GetVideoDeviceList(groups, nullptr);
}

int CMFactory::GetVideoDeviceList(std::vector<_tag_VideoDeviceList>* groups,
                                  std::vector<std::vector<std::string>>* identities)
{
    if (!groups)
        return 0;
    auto append = [&](_tag_VideoDeviceList& group, const char* kind, const std::vector<std::string>& ports) {
        if (group.devices.empty())
            return;
        if (identities) {
            std::vector<std::string> names;
            for (size_t i = 0; i < group.devices.size(); ++i)
                names.push_back(localIdentity(kind, group.devices[i].vid, group.devices[i].pid,
                                              i < ports.size() ? ports[i] : std::string()));
            identities->push_back(std::move(names));
        }
        groups->push_back(std::move(group));
    };
    std::vector<std::string> ports;
    _tag_VideoDeviceList capture = makeGroup(VIDEO_DEVICE_GROUP_DIRECTSHOW, "DirectShow");
    listVideoCaptureDevices(capture, identities ? &ports : nullptr);
    append(capture, "video", ports);

    ports.clear();
    _tag_VideoDeviceList usb = makeGroup(VIDEO_DEVICE_GROUP_SENSORLINK, "SENSORLINK");
    listSensorlinkDevices(sensorlinkApi(), usb, identities ? &ports : nullptr);
    append(usb, "usb3", ports);
    return 0;
}

CMCameraBase* CMFactory::GetCamera(unsigned group, unsigned index, char* name, int nameSize, int* vid, int* pid, bool)
{
    FactoryList& list = factoryList();
    std::lock_guard lock(list.mutex);
    // Every open starts without a reason: one an earlier open recorded is not this camera's.
    recordOpenFailure(CM_OPEN_FAILURE_NONE);
    list.groups.clear();
    GetVideoDeviceList(&list.groups);
    if (group >= list.groups.size() || index >= list.groups[group].devices.size())
        return nullptr;
    const _tag_VideoDeviceList& chosen = list.groups[group];
    const _tag_VideoDeviceInfo& device = chosen.devices[index];
    if (name && nameSize > 0)
        std::strncpy(name, device.name, static_cast<size_t>(nameSize));
    if (vid)
        *vid = device.vid;
    if (pid)
        *pid = device.pid;

    CMCameraBase* camera = nullptr;
    switch (chosen.type) {
    case VIDEO_DEVICE_GROUP_DIRECTSHOW: camera = createVideoCaptureCamera(index, device); break;
    case VIDEO_DEVICE_GROUP_SENSORLINK: camera = new CMCameraISSR(static_cast<int>(index)); break;
    default: return nullptr;
    }
    if (camera)
        camera->SetDeviceInfo(device);
    return camera;
}

CMCameraBase* CMFactory::GetCamera(int kind, const char* address)
{
    switch (kind) {
    case kWirelessBox: return new CMCameraWMPBox(address);
    case kRtspStream: return new CWCameraFFmpeg(std::string(address ? address : ""));
    default: return nullptr;
    }
}

std::string CMFactory::GetCameraIdentity(CMCameraBase* camera)
{
    if (!camera)
        return {};
    const _tag_VideoDeviceInfo info = camera->GetDeviceInfo();
    if (auto* usb = dynamic_cast<CMCameraISSR*>(camera)) {
        const std::string port = usb->OpenedPort();
        return port.empty() ? std::string() : localIdentity("usb3", info.vid, info.pid, port);
    }
    if (auto* video = dynamic_cast<CMCameraDirectShow*>(camera)) {
        const std::string port = video->OpenedPort();
        return port.empty() ? std::string() : localIdentity("video", info.vid, info.pid, port);
    }
    const std::string address = boundedText(info.address, sizeof info.address);
    if (info.vid == kNetworkVendorId && info.pid == kWirelessBoxProductId)
        return "box " + address;
    if (info.vid == kNetworkVendorId && info.pid == kRtspProductId)
        return "rtsp " + address;
    return {};
}

void CMFactory::AbortOpen(CMCameraBase* camera)
{
    if (auto* stream = dynamic_cast<CWCameraFFmpegCore*>(camera))
        stream->AbortOpen();
    else if (auto* box = dynamic_cast<CMCameraWMPBoxCore*>(camera))
        box->AbortOpen();
}

namespace {
// Hosts the program adds to every scan (SetProgramScanHosts); UI thread.
std::string& programScanHosts()
{
    static std::string hosts;
    return hosts;
}
bool blankHosts(const std::string& hosts) { return hosts.find_first_not_of(" \t") == std::string::npos; }
} // namespace

bool CMFactory::SetScanHosts(const char* commaSeparatedHosts)
{
    // Tests and scripts pin the scan with the environment, which may have
    // been set after the scanner was made: it wins over the setting.
    if (const char* pinned = std::getenv("PELLUMO_BOX_SCAN_HOSTS"); pinned && *pinned) {
        if (CHD_WMP_SetScanHosts(pinned) != 0)
            CHD_WMP_SetScanHosts("127.0.0.1");
        return true;
    }
    const std::string typed = commaSeparatedHosts ? commaSeparatedHosts : "";
    std::string hosts = blankHosts(typed) ? "127.0.0.1" : typed;
    if (!blankHosts(programScanHosts()))
        hosts += "," + programScanHosts();
    return CHD_WMP_SetScanHosts(hosts.c_str()) == 0;
}

bool CMFactory::SetProgramScanHosts(const char* commaSeparatedHosts)
{
    const std::string hosts = commaSeparatedHosts ? commaSeparatedHosts : "";
    // Checked by the scanner's own parser, then put back as it was.
    if (!blankHosts(hosts) && CHD_WMP_SetScanHosts(hosts.c_str()) != 0)
        return false;
    programScanHosts() = hosts;
    CHD_WMP_SetScanHosts("127.0.0.1");
    return true;
}

bool CMFactory::StartDeviceScan(int mode) { return CHD_WMP_ScanDevice_Init(mode) == 0; }

void CMFactory::GetDevicesList(std::vector<_tag_VideoDeviceInfo>* boxes)
{
    if (!boxes)
        return;
    CHD_WMP_SCAN_RECORD records[CHD_WMP_MAX_SCAN_RECORDS];
    std::memset(records, 0, sizeof records);
    int count = 0;
    if (CHD_WMP_Scan_GetDeviceInfo(records, &count) != 0 || count <= 0)
        return;
    if (count > CHD_WMP_MAX_SCAN_RECORDS) // never trust a count beyond the array
        count = CHD_WMP_MAX_SCAN_RECORDS;
    for (int i = 0; i < count; ++i) {
        _tag_VideoDeviceInfo box;
        std::memset(&box, 0, sizeof box);
        std::memcpy(box.name, records[i].name, sizeof records[i].name);
        std::memcpy(box.address, records[i].address, sizeof records[i].address);
        box.boxValue = records[i].value;
        box.vid = kNetworkVendorId;
        box.pid = kWirelessBoxProductId;
        boxes->push_back(box);
    }
}

void CMFactory::StopDeviceScan() { CHD_WMP_ScanDevice_UnInit(); }

const char* CMFactory::GetImageFormatDesc(int format)
{
    switch (format) {
    case FMT_RGB24:
    case FMT_BGR24: return "RGB24";
    case FMT_YUY2: return "YUY2";
    case FMT_YUYV: return "YUYV";
    case FMT_MJPG: return "MJPG";
    case FMT_H264: return "H.264";
    case FMT_NV12: return "NV12";
    case FMT_I420: return "YU12";
    case FMT_GREY: return "GREY";
    default: return "Unknown";
    }
}
