#include "camera/factory/DeviceGroups.h"

#include "camera/usb/SensorlinkUse.h"
#include "platform/DebugOutput.h"

#include <cstdio>
#include <cstring>

namespace {
constexpr int kSearchRecords = 16;
}

void listSensorlinkDevices(const SensorlinkApi& sdk, _tag_VideoDeviceList& group, std::vector<std::string>* ports)
{
    // Shares the SDK's initialisation with open cameras, so listing while a
    // camera runs does not end its session.
    SensorlinkUse use(sdk);
    CameraInfo records[kSearchRecords];
    std::memset(records, 0, sizeof records);
    const int32_t found = sdk.searchCamera(records);
    if (found < 0) {
        platform::ConsolePrintf("SENSORLINK: search failed, error 0x%x\n", static_cast<unsigned>(found));
        return;
    }
    if (found == 0) {
        platform::ConsolePrintf("SENSORLINK: no camera found\n");
        return;
    }
    const int count = found < kSearchRecords ? found : kSearchRecords;
    for (int i = 0; i < count; ++i) {
        _tag_VideoDeviceInfo device;
        std::memset(&device, 0, sizeof device);
        if (records[i].name[0] != '\0')
            std::strncpy(device.name, records[i].name, sizeof device.name - 1);
        else
            std::snprintf(device.name, sizeof device.name, "USB 3.0 Camera #%d", i);
        device.vid = records[i].vendorId;
        device.pid = records[i].productId;
        group.devices.push_back(device);
        if (ports) {
            // Where it is plugged in tells it from a camera with the same ids.
            char port[VEXEL_MAX_PORT] = {};
            ports->push_back(sdk.getCameraPort(i, port, sizeof port) >= 0 ? port : "");
        }
    }
}
