#include "DeviceDetails.h"

#include <cstdio>

#include "usbsdk/sdk/Sdk.h"
#include "usbsdk/transport/UsbDevice.h"

namespace sensorlink_tool {

void printDeviceDetails(int count)
{
    auto bus = usbsdk::defaultBus();
    if (!bus)
        return;
    usbsdk::UsbDevice device(bus);
    for (int i = 0; i < count; ++i) {
        if (!device.open(i)) {
            std::printf("  camera %d: cannot open (permissions? see the udev rule in the README)\n", i);
            continue;
        }
        std::printf("  camera %d at %s: USB %x.%02x, \"%s\" \"%s\" serial \"%s\" (language 0x%04x)\n", i,
                    device.path().c_str(), device.bcdUSB() >> 8, device.bcdUSB() & 0xFF, device.manufacturer().c_str(),
                    device.product().c_str(), device.serialNumber().c_str(), device.languageId());
        for (int e = 1; e < device.endpointCount(); ++e) {
            const usbsdk::CCyUSBEndPoint* ep = device.endpoint(e);
            static const char* kTypes[] = {"control", "isochronous", "bulk", "interrupt"};
            std::printf("    endpoint 0x%02x %-11s %s, max packet %d\n", ep->address(), kTypes[ep->attributes() & 3],
                        ep->directionIn() ? "in " : "out", ep->maxPacketSize());
        }
        device.close();
    }
}

} // namespace sensorlink_tool
