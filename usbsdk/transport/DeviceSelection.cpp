#include "usbsdk/transport/DeviceSelection.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace usbsdk {

bool hasCameraEndpoints(const InterfaceDescriptor& interface)
{
    bool command = false, ack = false, stream = false;
    for (const EndpointDescriptor& ep : interface.endpoints) {
        if (ep.transferType() != 2)
            continue;
        command |= ep.address == 0x01;
        ack |= ep.address == 0x81;
        stream |= ep.address == 0x83;
    }
    return command && ack && stream;
}

std::optional<int> cameraInterfaceNumber(const ConfigurationDescriptor& configuration)
{
    for (const InterfaceDescriptor& itf : configuration.interfaces)
        if (hasCameraEndpoints(itf))
            return itf.number;
    return std::nullopt;
}

UsbIdList parseUsbIdList(const std::string& text)
{
    UsbIdList ids;
    std::stringstream list(text);
    std::string item;
    while (std::getline(list, item, ',')) {
        unsigned vid = 0, pid = 0;
        char extra = 0;
        if (std::sscanf(item.c_str(), " %x:%x %c", &vid, &pid, &extra) == 2 && vid <= 0xFFFF && pid <= 0xFFFF)
            ids.emplace_back(static_cast<uint16_t>(vid), static_cast<uint16_t>(pid));
    }
    return ids;
}

bool idAllowed(const UsbIdList& allowed, uint16_t vendorId, uint16_t productId)
{
    return allowed.empty() ||
           std::find(allowed.begin(), allowed.end(), std::make_pair(vendorId, productId)) != allowed.end();
}

bool countsAsCamera(const ConfigurationDescriptor* configuration, uint16_t vendorId, uint16_t productId,
                    const UsbIdList& allowed)
{
    if (!allowed.empty())
        return idAllowed(allowed, vendorId, productId);
    return configuration && cameraInterfaceNumber(*configuration).has_value();
}

} // namespace usbsdk
