#include "usbsdk/transport/UsbBus.h"

namespace usbsdk {

std::vector<UsbDeviceIds> UsbBus::listDevices()
{
    std::vector<UsbDeviceIds> ids;
    const int n = deviceCount();
    for (int i = 0; i < n; ++i) {
        UsbDeviceIds id;
        if (auto connection = open(i)) {
            uint8_t descriptor[18] = {};
            // GET_DESCRIPTOR (device); idVendor at offset 8, idProduct at 10.
            const ControlResult r = connection->control(0x80, 6, 0x0100, 0, descriptor, sizeof descriptor, 5000);
            if (r.ok() && r.length >= 12) {
                id.vendorId = static_cast<uint16_t>(descriptor[8] | descriptor[9] << 8);
                id.productId = static_cast<uint16_t>(descriptor[10] | descriptor[11] << 8);
            }
            id.port = connection->path();
        }
        ids.push_back(id);
    }
    return ids;
}

const char* usbOpenErrorText(UsbOpenError error)
{
    switch (error) {
    case UsbOpenError::None: return "opened";
    case UsbOpenError::NoPermission: return "no permission";
    case UsbOpenError::Busy: return "in use by another program";
    case UsbOpenError::Gone: return "not present";
    case UsbOpenError::Other: break;
    }
    return "cannot be opened";
}

} // namespace usbsdk
